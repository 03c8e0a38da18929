// What the export commands share: the interface version check, and the plug-in's export side
// taken up with PLUGINCALLBACK (the setting is loaded) and left with PLUGOUTCALLBACK (it is
// saved), on every path.
#pragma once

#include <string>

#include "host/plugin_library.h"

// False with a reason when the plug-in's export side speaks another interface version.
inline bool ExportSideUsable(PluginLibrary& plugin, std::string& error) {
  int32_t version = 0;
  plugin.exportInterfaceVersion(&version);
  if (version == kInterfaceVersion) return true;
  error = "export interface version " + std::to_string(version) + " is not supported";
  return false;
}

class ExportSession {
 public:
  explicit ExportSession(PluginLibrary& plugin) : plugin(plugin) { plugin.pluginCallback(0); }
  ~ExportSession() { plugin.plugoutCallback(); }
  ExportSession(const ExportSession&) = delete;
  ExportSession& operator=(const ExportSession&) = delete;

 private:
  PluginLibrary& plugin;
};
