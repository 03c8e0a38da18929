// The plug-in library loaded at run time, as a host loads it: by file name, with every entry
// point found by its plain exported name. Nothing of the plug-in is linked into the tool.
#pragma once

#include <string>

#include "plugin/host_interface.h"

class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Loads the library and finds its entry points; false with a reason when the file cannot be
  // loaded or lacks an entry point.
  bool Load(const std::string& path, std::string& error);

  // libvarneltiff.so or varneltiff.dll in the folder of the running program.
  static std::string DefaultPath();
  // The folder of the running program, ending in a separator.
  static std::string ProgramFolder();

  // The address of an export by its plain name, or null.
  void* Find(const char* name) const;

  decltype(&UNITED_SupportedInformation) supportedInformation = nullptr;
  decltype(&UNITED_Verbose) verbose = nullptr;
  decltype(&IMPORT_SupportedExtensions) importSupportedExtensions = nullptr;
  decltype(&IMPORT_InterfaceVersion) importInterfaceVersion = nullptr;
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
  // The pointer to the most recent options panel, exported as data.
  void** exportOptionForm = nullptr;
  // Why a file is refused, in English: an export beyond the host interface, so a plug-in
  // without it still loads, and this stays null.
  decltype(&VARNELTIFF_RefusalReason) refusalReason = nullptr;
  // Where a readable file's picture differs on purpose from a general reader's: also optional.
  decltype(&VARNELTIFF_ReadingNotes) readingNotes = nullptr;

  const std::string& Path() const { return path; }

 private:
  template <typename Function>
  bool Bind(Function& function, const char* name, std::string& error);

  void* library = nullptr;
  std::string path;
};
