// Output targets on Windows: device names and handles that are no files, new files beside a
// target, and ReplaceFileA, which gives the new file the old one's security, attributes,
// creation time and streams. The ANSI functions take the host's Shift-JIS names unconverted.
#include <windows.h>

#include <cstring>
#include <string>

#include "plugin/file_replacement.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Names the system keeps for devices in every folder, with or without an extension.
constexpr const char* kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
constexpr const char* kNumberedDevices[] = {"COM", "LPT"};

// The system's text for an error, in English where the system has it (the tool's own texts are
// English), without the line break it ends in.
std::string Reason(DWORD code) {
  char text[512];
  DWORD length = 0;
  for (const WORD language :
       {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)}) {
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            code, language, text, sizeof text, nullptr);
    if (length != 0) break;
  }
  if (length == 0) return "system error " + std::to_string(code);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

OutputTarget Refused(const std::string& name, std::string reason) {
  return {TargetKind::kRefused, name, std::move(reason)};
}

// The device names are ASCII, matched in either case.
bool SameLetters(const std::string& text, const char* name) {
  if (text.size() != std::strlen(name)) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char letter = text[i] >= 'a' && text[i] <= 'z' ? char(text[i] - 'a' + 'A') : text[i];
    if (letter != name[i]) return false;
  }
  return true;
}

// "NUL", "c:\images\con.tif", "COM1 .txt", and every name in the device namespace "\\.\".
bool IsDeviceName(const std::string& name) {
  if (name.rfind("\\\\.\\", 0) == 0 || name.rfind("//./", 0) == 0) return true;
  // The last part, walking whole characters: a second byte may equal a backslash.
  size_t start = name.size() >= 2 && name[1] == ':' ? 2 : 0;
  for (size_t i = start; i < name.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(name[i])) != 0) {
      ++i;
    } else if (name[i] == '\\' || name[i] == '/') {
      start = i + 1;
    }
  }
  std::string stem = name.substr(start, name.find_first_of(".:", start) - start);
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : kDeviceNames) {
    if (SameLetters(stem, device)) return true;
  }
  if (stem.size() != 4 || stem[3] < '0' || stem[3] > '9') return false;
  for (const char* device : kNumberedDevices) {
    if (SameLetters(stem.substr(0, 3), device)) return true;
  }
  return false;
}

OutputTarget ByAttributes(const std::string& name, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Refused(name, "is a folder");
  // MoveFileExA and ReplaceFileA refuse it too; it is meant to stay as it is.
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return Refused(name, "the file is read-only");
  return {TargetKind::kFile, name, ""};
}

HANDLE OpenForQuestions(const std::string& name) {
  return CreateFileA(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

// The name the open file has once links are followed, so that a link stays a link and its file
// gets the new content. The ANSI form may lose characters the code page lacks: only a name that
// leads to the same file is taken.
std::string FinalName(HANDLE file, const std::string& name) {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetFinalPathNameByHandleA(file, buffer, sizeof buffer,
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= sizeof buffer) return name;
  std::string final(buffer, length);
  // "\\?\C:\..." is the plain "C:\..." where that form is short enough.
  if (final.rfind("\\\\?\\", 0) == 0 && final.size() > 6 && final[5] == ':' &&
      final.size() - 4 < MAX_PATH) {
    final.erase(0, 4);
  }
  return SameFile(final, name) ? final : name;
}

// The volume and the file's number on it, which no other file shares.
bool IdentityOf(const std::string& name, BY_HANDLE_FILE_INFORMATION& identity) {
  HANDLE file = OpenForQuestions(name);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, &identity) != 0;
  CloseHandle(file);
  return known;
}

bool Flush(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && flushed;
}

}  // namespace

OutputTarget FindOutputTarget(const std::string& name) {
  if (name.empty()) return Refused(name, Reason(ERROR_FILE_NOT_FOUND));
  // Opening a serial port or a pipe, even only to ask, is felt at the other end.
  if (IsDeviceName(name)) return {TargetKind::kStream, name, ""};
  HANDLE file = OpenForQuestions(name);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {TargetKind::kFreeName, name, ""};
    return ByAttributes(name, attributes);
  }
  OutputTarget target;
  BY_HANDLE_FILE_INFORMATION identity;
  const DWORD type = GetFileType(file);
  if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
    // A device, or under Wine a FIFO or a device node of the Unix side.
    target = {TargetKind::kStream, name, ""};
  } else if (GetFileInformationByHandle(file, &identity) != 0) {
    target = ByAttributes(name, identity.dwFileAttributes);
    if (target.kind == TargetKind::kFile) target.path = FinalName(file, name);
  } else {
    target = Refused(name, Reason(GetLastError()));
  }
  CloseHandle(file);
  return target;
}

bool SameFile(const std::string& first, const std::string& second) {
  BY_HANDLE_FILE_INFORMATION a, b;
  return IdentityOf(first, a) && IdentityOf(second, b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

unsigned long ProcessId() {
  return GetCurrentProcessId();
}

Creation CreateNewFile(const std::string& name, const OutputTarget&, std::string& error) {
  // The target's security and attributes reach the new file when ReplaceFileA puts it in place.
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    if (failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS) {
      return Creation::kNameTaken;
    }
    error = Reason(failure);
    return Creation::kFailed;
  }
  if (CloseHandle(file) != 0) return Creation::kCreated;
  error = Reason(GetLastError());
  DeleteFileA(name.c_str());
  return Creation::kFailed;
}

Placement MoveIntoPlace(const std::string& temporary, const OutputTarget& target,
                        std::string& error) {
  if (!Flush(temporary)) {
    error = Reason(GetLastError());
    return Placement::kTargetKept;
  }
  const char* from = temporary.c_str();
  const char* to = target.path.c_str();
  if (target.kind == TargetKind::kFreeName) {
    if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0) return Placement::kPlaced;
    error = Reason(GetLastError());
    return Placement::kTargetKept;
  }
  if (ReplaceFileA(to, from, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0) {
    return Placement::kPlaced;
  }
  const DWORD failure = GetLastError();
  error = Reason(failure);
  // The target went meanwhile; or it went in the replacement, which could not then give the new
  // file its name: either way only the move is left to do.
  if (failure != ERROR_FILE_NOT_FOUND && failure != ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
      failure != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    return Placement::kTargetKept;
  }
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
    return Placement::kPlaced;
  }
  error = Reason(GetLastError());
  return failure == ERROR_FILE_NOT_FOUND ? Placement::kTargetKept : Placement::kTargetLost;
}
