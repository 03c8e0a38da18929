#include "host/program_arguments.h"

#if defined(_WIN32)
#include <windows.h>
// The shell's own functions: CommandLineToArgvW.
#include <shellapi.h>

#include <algorithm>

namespace {

bool HasWildcard(const std::wstring& argument) {
  return argument.find_first_of(L"*?") != std::wstring::npos;
}

// The names a pattern such as C:\pictures\*.tif stands for, in order; the pattern itself when
// nothing matches, so that the command says the file is missing.
std::vector<std::wstring> Expand(const std::wstring& pattern) {
  const size_t separator = pattern.find_last_of(L"\\/:");
  const std::wstring folder =
      separator == std::wstring::npos ? L"" : pattern.substr(0, separator + 1);
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(folder + name);
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
  }
  if (names.empty()) return {pattern};
  std::sort(names.begin(), names.end());
  return names;
}

// The name in the ANSI code page, false when it has a character the code page lacks (a name
// "like" it would open another file, or none).
bool ToAnsi(const std::wstring& wide, std::string& ansi) {
  ansi.clear();
  if (wide.empty()) return true;
  BOOL lost = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                       nullptr, 0, nullptr, &lost);
  if (size <= 0) return false;
  ansi.resize(size_t(size));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), ansi.data(),
                      size, nullptr, &lost);
  return lost == FALSE;
}

}  // namespace

bool ProgramArguments(int, char**, std::vector<std::string>& arguments, std::string& error) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    error = "cannot read the command line";
    return false;
  }
  arguments.clear();
  bool ok = true;
  for (int i = 1; i < count && ok; ++i) {
    const std::wstring argument = wide[i];
    const bool option = argument.size() > 1 && argument[0] == L'-';
    for (const std::wstring& name : !option && HasWildcard(argument)
                                        ? Expand(argument)
                                        : std::vector<std::wstring>{argument}) {
      std::string ansi;
      if (!ToAnsi(name, ansi)) {
        error = ansi + ": the name has characters that code page " + std::to_string(GetACP()) +
                " lacks, and the plug-in takes names only in that code page";
        ok = false;
        break;
      }
      arguments.push_back(ansi);
    }
  }
  LocalFree(wide);
  return ok;
}

#else

bool ProgramArguments(int argc, char** argv, std::vector<std::string>& arguments, std::string&) {
  arguments.assign(argv + 1, argv + argc);  // the shell has expanded wildcards already
  return true;
}

#endif
