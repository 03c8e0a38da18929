#include "tests/plugin_loader.h"

#include <cstdio>
#include <cstdlib>

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

template <typename Function>
void Bind(const PluginApi& api, Function& function, const char* name) {
  function = reinterpret_cast<Function>(api.Find(name));
  if (function == nullptr) {
    std::fprintf(stderr, "the plug-in does not export %s\n", name);
    std::abort();
  }
}

}  // namespace

PluginApi LoadPlugin() {
  PluginApi api;
  const std::string path = ProgramFolder() + kLibraryName;
#if defined(_WIN32)
  api.library = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  api.library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (api.library == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", path.c_str());
    std::abort();
  }
  Bind(api, api.supportedInformation, "UNITED_SupportedInformation");
  Bind(api, api.verbose, "UNITED_Verbose");
  Bind(api, api.importInterfaceVersion, "IMPORT_InterfaceVersion");
  Bind(api, api.importSupportedExtensions, "IMPORT_SupportedExtensions");
  Bind(api, api.validFileCheck, "IMPORT_ValidFileCheck");
  Bind(api, api.imageInformation, "IMPORT_ImageInformation");
  Bind(api, api.createImage, "IMPORT_CreateImage");
  Bind(api, api.createPreviewImage, "IMPORT_CreatePreviewImage");
  Bind(api, api.freeImage, "IMPORT_FreeImage");
  Bind(api, api.pluginCallback, "PLUGINCALLBACK");
  Bind(api, api.plugoutCallback, "PLUGOUTCALLBACK");
  Bind(api, api.exportInterfaceVersion, "EXPORT_InterfaceVersion");
  Bind(api, api.exportSupportedExtensions, "EXPORT_SupportedExtensions");
  Bind(api, api.enterOption, "EXPORT_EnterOption");
  Bind(api, api.leaveOption, "EXPORT_LeaveOption");
  Bind(api, api.beforeTransform, "EXPORT_BeforeTransform");
  Bind(api, api.writeToFile, "EXPORT_WriteToFile");
  Bind(api, api.exportOptionForm, "_ExportOptionForm");
  return api;
}

void UnloadPlugin(PluginApi& api) {
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(api.library));
#else
  dlclose(api.library);
#endif
  api = PluginApi{};
}

void* PluginApi::Find(const char* name) const {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

const PluginApi& Plugin() {
  static const PluginApi api = LoadPlugin();
  return api;
}

std::string ProgramFolder() {
  char buffer[4096] = {};
#if defined(_WIN32)
  GetModuleFileNameA(nullptr, buffer, sizeof buffer - 1);
  const char separator = '\\';
#else
  if (readlink("/proc/self/exe", buffer, sizeof buffer - 1) < 0) return "./";
  const char separator = '/';
#endif
  std::string path(buffer);
  const size_t end = path.find_last_of("/\\");
  return end == std::string::npos ? std::string(".") + separator : path.substr(0, end + 1);
}
