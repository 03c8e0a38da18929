// The tool's command line: which command to run, on which files, with which options, and the
// help text that describes them.
#pragma once

#include <string>
#include <vector>

enum class Command { kNone, kCheck, kInfo, kImport, kExport, kDialog };

struct Options {
  Command command = Command::kNone;
  std::vector<std::string> files;
  std::string output;        // -o: one output file
  std::string outputFolder;  // -d: a folder for many outputs
  bool preview = false;      // --preview WxH
  int previewWidth = 0;
  int previewHeight = 0;
  bool indices = false;  // --index: a palette image's indices as grey levels
  int method = -1;       // --method 0-3 for this run; -1: the saved setting
  std::string screenshot;
  std::string pluginPath;  // empty: the library beside the program
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// The options, or the reason the command line is not usable (then `error` is not empty).
struct ParsedCommandLine {
  Options options;
  std::string error;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

extern const char kHelpText[];
