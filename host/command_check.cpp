// check and info: whether the plug-in reads a file, and its report of the file's tags.
#include <cstdio>

#include "host/commands.h"
#include "host/import_session.h"
#include "host/terminal.h"
#include "host/text_encoding.h"

int RunCheck(const Options& options, PluginLibrary& plugin) {
  std::string error;
  if (!ImportSideUsable(plugin, error)) {
    ReportFailure(plugin.Path(), error);
    return kExitFailure;
  }
  bool allReadable = true;
  for (const std::string& file : options.files) {
    if (plugin.validFileCheck(file.c_str()) == 1) {
      const std::string notes = ReadingNotes(plugin, file);
      std::printf("%s: readable%s\n", file.c_str(),
                  notes.empty() ? "" : (" (" + notes + ")").c_str());
    } else {
      allReadable = false;
      std::printf("%s: not readable: %s\n", file.c_str(), RefusalReason(plugin, file).c_str());
    }
  }
  return allReadable ? kExitSuccess : kExitFailure;
}

int RunInfo(const Options& options, PluginLibrary& plugin) {
  std::string error;
  if (!ImportSideUsable(plugin, error)) {
    ReportFailure(plugin.Path(), error);
    return kExitFailure;
  }
  const std::string& file = options.files.front();
  // The plug-in answers a refused file with its message instead of a report: ask first, so the
  // message goes to stderr as a failure and not to stdout as a result.
  if (plugin.validFileCheck(file.c_str()) != 1) {
    ReportFailure(file, RefusalReason(plugin, file));
    return kExitFailure;
  }
  std::fputs(ShiftJisToTerminal(ImageInformation(plugin, file)).c_str(), stdout);
  return kExitSuccess;
}
