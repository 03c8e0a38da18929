// The conversion setting without a registry: the file $XDG_CONFIG_HOME (or ~/.config) followed by
// the key path, holding one line "TransformMethod=dword:XXXXXXXX" like a registry export. It is
// replaced atomically (a temporary file renamed over it), so a crash never leaves half a file.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/pending_output.h"
#include "plugin/setting_store.h"

namespace {

std::string ConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return "";
  return std::string(home) + "/.config";
}

std::string SettingFile() {
  const std::string folder = ConfigFolder();
  if (folder.empty()) return "";
  std::string path = folder;
  for (const char* c = kSettingKeyPath; *c != '\0'; ++c) path += *c == '\\' ? '/' : *c;
  return path;
}

bool MakeFolders(const std::string& filePath) {
  for (size_t slash = filePath.find('/', 1); slash != std::string::npos;
       slash = filePath.find('/', slash + 1)) {
    const std::string folder = filePath.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

const std::string kPrefix = std::string(kSettingValueName) + "=dword:";

}  // namespace

void LoadStoredTransformMethod(int8_t& setting) {
  const std::string path = SettingFile();
  if (path.empty()) return;
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return;
  char line[64] = {};
  const bool read = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  if (!read || std::strncmp(line, kPrefix.c_str(), kPrefix.size()) != 0) return;
  const char* digits = line + kPrefix.size();
  char* end = nullptr;
  const unsigned long value = std::strtoul(digits, &end, 16);
  const bool wellFormed = end == digits + 8 && (*end == '\n' || *end == '\0');
  if (wellFormed) setting = static_cast<int8_t>(value & 0xFF);
}

void SaveStoredTransformMethod(int8_t setting) {
  const std::string path = SettingFile();
  if (path.empty() || !MakeFolders(path)) return;
  // Written as every output is: beside the file, which it replaces once complete.
  PendingOutput output(path);
  std::string error;  // failures are silent
  if (!output.Create(error)) return;
  std::FILE* file = std::fopen(output.WritePath().c_str(), "w");
  if (file == nullptr) return;
  const uint32_t value = static_cast<uint32_t>(static_cast<int32_t>(setting));
  const bool written = std::fprintf(file, "%s%08x\n", kPrefix.c_str(), value) > 0;
  const bool flushed = std::fflush(file) == 0;
  if (std::fclose(file) == 0 && written && flushed) output.Commit(error);
}
