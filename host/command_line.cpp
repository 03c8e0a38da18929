#include "host/command_line.h"

#include <charconv>
#include <map>

const char kHelpText[] =
    "Usage: varneltiff COMMAND [OPTIONS] FILE...\n"
    "Reads and writes TIFF files through the VarnelTiff plug-in, loaded as a host loads it.\n"
    "\n"
    "Commands:\n"
    "  check FILE...            tell for each file whether the plug-in can read it, and why not\n"
    "  info FILE                show the plug-in's report of the file's tags\n"
    "  import FILE... (-o OUT.png | -d DIR) [--preview WxH] [--index]\n"
    "                           decode TIFF files and write them as PNG\n"
    "  export IN -o OUT.tif [--method 0-3]\n"
    "                           write a PNG or BMP picture as a TIFF file\n"
    "  dialog [--screenshot FILE.png]\n"
    "                           choose the conversion method in the export dialog (Windows only)\n"
    "\n"
    "Options:\n"
    "  -o FILE                  the output file (one input only)\n"
    "  -d DIR                   write each output into DIR, named after its input\n"
    "  --preview WxH            decode a preview for a box of W by H pixels (reduced by a power\n"
    "                           of two, at least as large as the box in one direction)\n"
    "  --index                  write a palette image's indices as an 8-bit grey PNG\n"
    "  --method N               conversion method for this run only, instead of the saved one:\n"
    "                           0 full colour; 1 full colour, or 256 colours where the picture\n"
    "                           has no more; 2 optimised 256 colours; 3 the 256-colour Windows\n"
    "                           palette\n"
    "  --screenshot FILE.png    save the dialog as a picture and close it\n"
    "  --plugin PATH            the plug-in library to load (default: the one beside varneltiff)\n"
    "  -q                       no progress on stderr\n"
    "  --help                   show this help\n"
    "  --version                show the version of the tool and of the plug-in\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad usage, 130 interrupted.\n";

namespace {

bool ParseCount(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end && value >= 1;
}

// "WxH" with two positive numbers.
bool ParseBox(const std::string& text, int& width, int& height) {
  const size_t cross = text.find_first_of("xX");
  if (cross == std::string::npos) return false;
  return ParseCount(text.substr(0, cross), width) && ParseCount(text.substr(cross + 1), height);
}

const std::map<std::string, Command> kCommands = {
    {"check", Command::kCheck},   {"info", Command::kInfo},     {"import", Command::kImport},
    {"export", Command::kExport}, {"dialog", Command::kDialog},
};

// What each command needs once all arguments are read; empty when the line is complete.
std::string CheckCompleteness(const Options& options) {
  const size_t count = options.files.size();
  switch (options.command) {
    case Command::kNone:
      return "no command given";
    case Command::kCheck:
      return count == 0 ? "check needs at least one file" : "";
    case Command::kInfo:
      return count != 1 ? "info takes exactly one file" : "";
    case Command::kImport:
      if (count == 0) return "import needs at least one file";
      if (options.output.empty() == options.outputFolder.empty()) {
        return "import needs either -o OUT.png or -d DIR";
      }
      if (!options.output.empty() && count > 1) return "-o takes one input; use -d DIR for more";
      return "";
    case Command::kExport:
      if (count != 1) return "export takes exactly one input";
      return options.output.empty() ? "export needs -o OUT.tif" : "";
    case Command::kDialog:
      return count != 0 ? "dialog takes no files" : "";
  }
  return "";
}

// Which options make sense for which command.
bool Allowed(Command command, const std::string& option) {
  if (option == "-o") return command == Command::kImport || command == Command::kExport;
  if (option == "-d" || option == "--preview" || option == "--index") {
    return command == Command::kImport;
  }
  if (option == "--method") return command == Command::kExport;
  if (option == "--screenshot") return command == Command::kDialog;
  return true;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine result;
  Options& options = result.options;
  std::vector<std::string> commandOptions;  // checked once the command is known
  bool onlyFiles = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool isOption = !onlyFiles && argument.size() > 1 && argument[0] == '-';
    if (!isOption) {
      if (options.command == Command::kNone && !onlyFiles) {
        const auto found = kCommands.find(argument);
        if (found == kCommands.end()) {
          result.error = "unknown command '" + argument + "'";
          return result;
        }
        options.command = found->second;
      } else {
        options.files.push_back(argument);
      }
      continue;
    }
    if (argument == "--") {
      onlyFiles = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "-q") {
      options.quiet = true;
    } else if (argument == "--index") {
      commandOptions.push_back(argument);
      options.indices = true;
    } else if (argument == "-o" || argument == "-d" || argument == "--preview" ||
               argument == "--method" || argument == "--screenshot" || argument == "--plugin") {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
        result.error = "option " + argument + " needs a value";
        return result;
      }
      const std::string& value = arguments[++i];
      commandOptions.push_back(argument);
      if (argument == "-o") {
        options.output = value;
      } else if (argument == "-d") {
        options.outputFolder = value;
      } else if (argument == "--preview") {
        options.preview = true;
        if (!ParseBox(value, options.previewWidth, options.previewHeight)) {
          result.error = "--preview needs WxH with two positive numbers, not '" + value + "'";
          return result;
        }
      } else if (argument == "--method") {
        if (value.size() != 1 || value[0] < '0' || value[0] > '3') {
          result.error = "--method needs 0, 1, 2 or 3, not '" + value + "'";
          return result;
        }
        options.method = value[0] - '0';
      } else if (argument == "--screenshot") {
        options.screenshot = value;
      } else {
        options.pluginPath = value;
      }
    } else {
      result.error = "unknown option '" + argument + "'";
      return result;
    }
  }
  if (options.help || options.version) return result;
  for (const std::string& option : commandOptions) {
    if (options.command != Command::kNone && !Allowed(options.command, option)) {
      result.error = "option " + option + " does not apply to this command";
      return result;
    }
  }
  result.error = CheckCompleteness(options);
  return result;
}
