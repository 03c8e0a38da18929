// What the import commands share: the interface version check, the reason a file is refused in
// the plug-in's own words, and an imported image that goes back to the plug-in when done.
#pragma once

#include <string>

#include "host/plugin_library.h"

// False with a reason when the plug-in's import side speaks another interface version.
bool ImportSideUsable(PluginLibrary& plugin, std::string& error);

// Why a file the plug-in refused cannot be read: the system's reason when the file does not
// open, else the plug-in's English reason ("compression 8"), when it gives one, followed by its
// own message in brackets, in the terminal's encoding.
std::string RefusalReason(PluginLibrary& plugin, const std::string& file);

// The plug-in's notes on a readable file, joined by "; " (empty when it has none to give).
std::string ReadingNotes(PluginLibrary& plugin, const std::string& file);

// The report text IMPORT_ImageInformation gives, still in Shift-JIS.
std::string ImageInformation(PluginLibrary& plugin, const std::string& file);

// A HostImage from the plug-in's heap, handed back through IMPORT_FreeImage exactly once.
class ImportedImage {
 public:
  ImportedImage(PluginLibrary& plugin, HostImage* image) : plugin(plugin), image(image) {}
  ~ImportedImage() { plugin.freeImage(image); }
  ImportedImage(const ImportedImage&) = delete;
  ImportedImage& operator=(const ImportedImage&) = delete;

  const HostImage* get() const { return image; }

 private:
  PluginLibrary& plugin;
  HostImage* image;
};
