// The conversion setting in the registry: a REG_DWORD under the current user's key.
#include <windows.h>

#include "plugin/setting_store.h"

namespace {

// The registry API refuses a path that starts with a backslash: the path counts from the hive's
// root anyway, so the backslash is dropped.
const char* RelativeKeyPath() {
  return kSettingKeyPath[0] == '\\' ? kSettingKeyPath + 1 : kSettingKeyPath;
}

}  // namespace

void LoadStoredTransformMethod(int8_t& setting) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, RelativeKeyPath(), 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  DWORD type = 0;
  uint8_t value[4] = {};
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, kSettingValueName, nullptr, &type, value, &size) == ERROR_SUCCESS &&
      type == REG_DWORD) {
    setting = static_cast<int8_t>(value[0]);  // only the low byte counts
  }
  RegCloseKey(key);
}

void SaveStoredTransformMethod(int8_t setting) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, RelativeKeyPath(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const DWORD value = static_cast<DWORD>(static_cast<int32_t>(setting));
  RegSetValueExA(key, kSettingValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(key);
}
