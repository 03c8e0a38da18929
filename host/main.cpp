// varneltiff: a host for the VarnelTiff plug-in on the command line. It loads the plug-in
// library at run time and calls nothing but its exported entry points.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "host/command_line.h"
#include "host/commands.h"
#include "host/plugin_library.h"
#include "host/program_arguments.h"
#include "host/terminal.h"
#include "host/text_encoding.h"
#include "varneltiff_version.h"

namespace {

// VerboseSink has no context argument: the identity of the one call running.
std::string pluginName;
std::string pluginCopyright;

void PLUGIN_CALL CaptureIdentity(int32_t, const char* name, const char* copyright, const char*) {
  try {
    pluginName = name != nullptr ? name : "";
    pluginCopyright = copyright != nullptr ? copyright : "";
  } catch (...) {
    // Nothing may be thrown back through the plug-in's frames.
  }
}

int RunCommand(const Options& options, PluginLibrary& plugin) {
  switch (options.command) {
    case Command::kCheck:
      return RunCheck(options, plugin);
    case Command::kInfo:
      return RunInfo(options, plugin);
    case Command::kImport:
      return RunImport(options, plugin);
    case Command::kExport:
      return RunExport(options, plugin);
    case Command::kDialog:
#if defined(_WIN32)
      return RunDialog(options, plugin);
#endif
    case Command::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace

int RunVersion(PluginLibrary* plugin) {
  std::printf("varneltiff %s\n", VARNELTIFF_VERSION);
  if (plugin == nullptr) return kExitSuccess;
  plugin->verbose(CaptureIdentity);
  std::printf("plug-in: %s (%s)\n", ShiftJisToTerminal(pluginName).c_str(), plugin->Path().c_str());
  if (!pluginCopyright.empty()) {
    std::printf("%s\n", ShiftJisToTerminal(pluginCopyright).c_str());
  }
  return kExitSuccess;
}

int main(int argc, char** argv) {
  std::vector<std::string> arguments;
  std::string argumentError;
  if (!ProgramArguments(argc, argv, arguments, argumentError)) {
    std::fprintf(stderr, "varneltiff: %s\n", argumentError.c_str());
    return kExitFailure;
  }
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  const Options& options = parsed.options;
  if (options.help && parsed.error.empty()) {
    std::fputs(kHelpText, stdout);
    return kExitSuccess;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "varneltiff: %s\nTry 'varneltiff --help' for more information.\n",
                 parsed.error.c_str());
    return kExitUsage;
  }
  const std::string path =
      options.pluginPath.empty() ? PluginLibrary::DefaultPath() : options.pluginPath;
  PluginLibrary plugin;
  std::string error;
  if (options.version) {
    const bool loaded = plugin.Load(path, error);
    if (!loaded) std::fprintf(stderr, "varneltiff: %s: %s\n", path.c_str(), error.c_str());
    return RunVersion(loaded ? &plugin : nullptr);
  }
#if !defined(_WIN32)
  if (options.command == Command::kDialog) {
    ReportFailure("dialog", "the export dialog is a Windows window; this build has none");
    return kExitFailure;
  }
#endif
  if (!plugin.Load(path, error)) {
    ReportFailure(path, error);
    return kExitFailure;
  }
  InstallInterruptHandler();
  try {
    return RunCommand(options, plugin);
  } catch (const std::bad_alloc&) {
    ReportFailure(options.files.empty() ? "varneltiff" : options.files.front(), "out of memory");
    return kExitFailure;
  }
}
