// Where the conversion setting lives between runs: the current user's registry key on Windows,
// a small file mirroring the key path under the user's configuration folder elsewhere.
#pragma once

#include <cstdint>

// The key path counts from the root of the current user's hive.
constexpr const char* kSettingKeyPath = "\\Software\\KORVANE\\Pexor\\Plugin\\KORVANE\\ROriz";
constexpr const char* kSettingValueName = "TransformMethod";

// Reads the stored 32-bit value and keeps its low byte as a signed value. Any failure (no key,
// no value, a value that is not a 32-bit number) is silent and leaves `setting` as it was.
void LoadStoredTransformMethod(int8_t& setting);

// Stores the setting sign-extended to 32 bits, creating the key when needed; failures are silent.
void SaveStoredTransformMethod(int8_t setting);
