// Loads the plug-in library the way a host does (by file, at run time) and finds every entry
// point by its plain name.
#pragma once

#include <string>

#include "plugin/host_interface.h"

struct PluginApi {
  void* library = nullptr;
  decltype(&UNITED_SupportedInformation) supportedInformation = nullptr;
  decltype(&UNITED_Verbose) verbose = nullptr;
  decltype(&IMPORT_InterfaceVersion) importInterfaceVersion = nullptr;
  decltype(&IMPORT_SupportedExtensions) importSupportedExtensions = nullptr;
  decltype(&IMPORT_ValidFileCheck) validFileCheck = nullptr;
  decltype(&IMPORT_ImageInformation) imageInformation = nullptr;
  decltype(&IMPORT_CreateImage) createImage = nullptr;
  decltype(&IMPORT_CreatePreviewImage) createPreviewImage = nullptr;
  decltype(&IMPORT_FreeImage) freeImage = nullptr;
  decltype(&PLUGINCALLBACK) pluginCallback = nullptr;
  decltype(&PLUGOUTCALLBACK) plugoutCallback = nullptr;
  decltype(&EXPORT_InterfaceVersion) exportInterfaceVersion = nullptr;
  decltype(&EXPORT_SupportedExtensions) exportSupportedExtensions = nullptr;
  decltype(&EXPORT_EnterOption) enterOption = nullptr;
  decltype(&EXPORT_LeaveOption) leaveOption = nullptr;
  decltype(&EXPORT_BeforeTransform) beforeTransform = nullptr;
  decltype(&EXPORT_WriteToFile) writeToFile = nullptr;
  // The panel pointer the library exports as data.
  void** exportOptionForm = nullptr;

  // The address of an export by name, or null.
  void* Find(const char* name) const;
};

// Loads the library that sits beside the running test program; aborts the test run when the
// library or one of the entry points above is missing. Loaded once for the whole program.
const PluginApi& Plugin();

// A fresh load of the library (its globals as at load time, unless it is loaded elsewhere in
// the program), and its unload.
PluginApi LoadPlugin();
void UnloadPlugin(PluginApi& api);

// The folder of the running program, ending in a separator.
std::string ProgramFolder();
