#include "host/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
constexpr const char* kLibraryName = "varneltiff.dll";
#else
constexpr const char* kLibraryName = "libvarneltiff.so";
#endif

}  // namespace

std::string PluginLibrary::ProgramFolder() {
  char buffer[4096] = {};
#if defined(_WIN32)
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer - 1);
  if (length == 0 || length >= sizeof buffer - 1) return ".\\";
#else
  if (readlink("/proc/self/exe", buffer, sizeof buffer - 1) < 0) return "./";
#endif
  const std::string path(buffer);
  const size_t end = path.find_last_of("/\\");
  return end == std::string::npos ? std::string("./") : path.substr(0, end + 1);
}

namespace {

std::string LoadError() {
#if defined(_WIN32)
  return "cannot load the plug-in (error " + std::to_string(GetLastError()) + ")";
#else
  const char* reason = dlerror();
  return std::string("cannot load the plug-in: ") + (reason != nullptr ? reason : "unknown error");
#endif
}

}  // namespace

PluginLibrary::~PluginLibrary() {
  if (library == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

std::string PluginLibrary::DefaultPath() {
  return ProgramFolder() + kLibraryName;
}

void* PluginLibrary::Find(const char* name) const {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

template <typename Function>
bool PluginLibrary::Bind(Function& function, const char* name, std::string& error) {
  function = reinterpret_cast<Function>(Find(name));
  if (function != nullptr) return true;
  error = std::string("the plug-in does not export ") + name;
  return false;
}

bool PluginLibrary::Load(const std::string& libraryPath, std::string& error) {
  path = libraryPath;
#if defined(_WIN32)
  library = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  // A bare name would be searched for on the library path; the tool means a file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (library == nullptr) {
    error = LoadError();
    return false;
  }
  refusalReason = reinterpret_cast<decltype(refusalReason)>(Find("VARNELTIFF_RefusalReason"));
  readingNotes = reinterpret_cast<decltype(readingNotes)>(Find("VARNELTIFF_ReadingNotes"));
  return Bind(supportedInformation, "UNITED_SupportedInformation", error) &&
         Bind(verbose, "UNITED_Verbose", error) &&
         Bind(importSupportedExtensions, "IMPORT_SupportedExtensions", error) &&
         Bind(importInterfaceVersion, "IMPORT_InterfaceVersion", error) &&
         Bind(validFileCheck, "IMPORT_ValidFileCheck", error) &&
         Bind(imageInformation, "IMPORT_ImageInformation", error) &&
         Bind(createImage, "IMPORT_CreateImage", error) &&
         Bind(createPreviewImage, "IMPORT_CreatePreviewImage", error) &&
         Bind(freeImage, "IMPORT_FreeImage", error) &&
         Bind(pluginCallback, "PLUGINCALLBACK", error) &&
         Bind(plugoutCallback, "PLUGOUTCALLBACK", error) &&
         Bind(exportInterfaceVersion, "EXPORT_InterfaceVersion", error) &&
         Bind(exportSupportedExtensions, "EXPORT_SupportedExtensions", error) &&
         Bind(enterOption, "EXPORT_EnterOption", error) &&
         Bind(leaveOption, "EXPORT_LeaveOption", error) &&
         Bind(beforeTransform, "EXPORT_BeforeTransform", error) &&
         Bind(writeToFile, "EXPORT_WriteToFile", error) &&
         Bind(exportOptionForm, "_ExportOptionForm", error);
}
