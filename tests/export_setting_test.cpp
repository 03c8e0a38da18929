// The conversion setting through the entry points, against the real store (Wine's registry, or
// the settings file natively): each case starts from a clean store and a freshly loaded library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/plugin_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#endif

namespace {

enum class Stored { kNothing, kNumber, kText };

#if defined(_WIN32)
constexpr const char* kKey = "Software\\KORVANE\\Pexor\\Plugin\\KORVANE\\ROriz";
constexpr bool kHasWindows = true;

void ClearStore() {
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KORVANE");
}

void Store(Stored kind, uint32_t value) {
  if (kind == Stored::kNothing) return;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  if (kind == Stored::kNumber) {
    RegSetValueExA(key, "TransformMethod", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  } else {
    RegSetValueExA(key, "TransformMethod", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2);
  }
  RegCloseKey(key);
}

bool ReadStored(uint32_t& value) {
  DWORD type = 0, size = sizeof value;
  return RegGetValueA(HKEY_CURRENT_USER, kKey, "TransformMethod", RRF_RT_ANY, &type, &value,
                      &size) == ERROR_SUCCESS &&
         type == REG_DWORD;
}

// A top-level window of the host for the panel to live in.
struct HostWindow {
  HostWindow() {
    window = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                             300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~HostWindow() { DestroyWindow(window); }
  HWND window;
};

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

BOOL CALLBACK CollectRadioButton(HWND child, LPARAM list) {
  if ((GetWindowLongW(child, GWL_STYLE) & 0xF) == BS_AUTORADIOBUTTON)
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

// The panel's radio buttons in creation order.
std::vector<HWND> RadioButtons(HWND panel) {
  std::vector<HWND> buttons;
  EnumChildWindows(panel, CollectRadioButton, reinterpret_cast<LPARAM>(&buttons));
  return buttons;
}

int CheckedButton(HWND panel) {
  const std::vector<HWND> buttons = RadioButtons(panel);
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (SendMessageW(buttons[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return static_cast<int>(i);
  }
  return -1;
}
#else
constexpr bool kHasWindows = false;

std::string StoreFolder() {
  return "/tmp/varneltiff-setting-test-" + std::to_string(getpid());
}
std::string StoreFile() {
  return StoreFolder() + "/Software/KORVANE/Pexor/Plugin/KORVANE/ROriz";
}

void ClearStore() {
  std::filesystem::remove_all(StoreFolder());
  setenv("XDG_CONFIG_HOME", StoreFolder().c_str(), 1);
}

void Store(Stored kind, uint32_t value) {
  if (kind == Stored::kNothing) return;
  std::filesystem::create_directories(std::filesystem::path(StoreFile()).parent_path());
  std::ofstream file(StoreFile());
  char line[64];
  if (kind == Stored::kNumber) {
    std::snprintf(line, sizeof line, "TransformMethod=dword:%08x\n", value);
  } else {
    std::snprintf(line, sizeof line, "TransformMethod=\"2\"\n");
  }
  file << line;
}

bool ReadStored(uint32_t& value) {
  std::ifstream file(StoreFile());
  std::string line;
  if (!std::getline(file, line) || line.rfind("TransformMethod=dword:", 0) != 0) return false;
  value = static_cast<uint32_t>(std::stoul(line.substr(22), nullptr, 16));
  return true;
}
#endif

constexpr int kUntouched = 77;

struct SettingCase {
  const char* name;
  Stored stored;
  uint32_t value;
  bool load;               // PLUGINCALLBACK first
  int expectedCode;        // from EXPORT_BeforeTransform; kUntouched when it stores nothing
  int expectedChecked;     // the button checked when the panel opens, -1 for none
  int click;               // the button the user clicks, -1 for none
  int accept;              // the flag given to EXPORT_LeaveOption
  uint32_t expectedSaved;  // what PLUGOUTCALLBACK stores
};

const SettingCase kCases[] = {
    {"first run", Stored::kNothing, 0, true, 1, 0, -1, 1, 0},
    {"two", Stored::kNumber, 2, true, 9, 2, -1, 1, 2},
    {"only the low byte of 259", Stored::kNumber, 259, true, 10, 3, -1, 0, 3},
    {"four accepted", Stored::kNumber, 4, true, kUntouched, 3, -1, 1, 3},
    {"four cancelled", Stored::kNumber, 4, true, kUntouched, 3, -1, 0, 4},
    {"minus one kept", Stored::kNumber, 0xFFFFFFFF, true, kUntouched, -1, -1, 1, 0xFFFFFFFF},
    {"minus one, user chose", Stored::kNumber, 0xFFFFFFFF, true, kUntouched, -1, 1, 1, 1},
    {"a text value is ignored", Stored::kText, 0, true, 1, 0, -1, 0, 0},
    {"save without load", Stored::kNumber, 2, false, 1, 0, -1, 0, 0},
    {"click, then cancel", Stored::kNumber, 2, true, 9, 2, 0, 0, 2},
    {"click, then accept", Stored::kNumber, 2, true, 9, 2, 0, 1, 0},
};

TEST(ExportSetting, StoreTransformCodePanelAndSave) {
  for (const SettingCase& test : kCases) {
    if (test.click >= 0 && !kHasWindows) continue;  // the stand-in panel cannot be clicked
    SCOPED_TRACE(test.name);
    ClearStore();
    Store(test.stored, test.value);
    FreshPlugin plugin = LoadPlugin();
    if (test.load) plugin->pluginCallback(0);
    int32_t code = kUntouched;
    plugin->beforeTransform(&code, 0);
    EXPECT_EQ(code, test.expectedCode);

#if defined(_WIN32)
    HostWindow host;
    plugin->enterOption(host.window, host.window, 0);
    HWND panel = GetWindow(host.window, GW_CHILD);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(CheckedButton(panel), test.expectedChecked);
    if (test.click >= 0) {
      SendMessageW(RadioButtons(panel).at(test.click), BM_CLICK, 0, 0);
      EXPECT_EQ(CheckedButton(panel), test.click);
    }
    plugin->leaveOption(test.accept);
    EXPECT_TRUE(IsWindow(panel)) << "the panel goes only when the host's loop runs";
    PumpMessages();
    EXPECT_FALSE(IsWindow(panel));
#else
    int parent = 0;
    plugin->enterOption(&parent, &parent, 0);
    plugin->leaveOption(test.accept);
#endif
    plugin->plugoutCallback();
    uint32_t saved = 0;
    EXPECT_TRUE(ReadStored(saved));
    EXPECT_EQ(saved, test.expectedSaved);
    plugin.reset();
  }
  ClearStore();
}

TEST(ExportSetting, LeavingWithoutALivePanelDoesNothing) {
  ClearStore();
  Store(Stored::kNumber, 1);
  FreshPlugin plugin = LoadPlugin();
  plugin->pluginCallback(0);
  EXPECT_EQ(*plugin->exportOptionForm, nullptr);
  plugin->leaveOption(1);  // never entered

#if defined(_WIN32)
  HostWindow host;
  void* parent = host.window;
  void* notAWindow = reinterpret_cast<void*>(0x1234);
#else
  int parentObject = 0;
  void* parent = &parentObject;
  void* notAWindow = nullptr;
#endif
  plugin->enterOption(parent, parent, 0);
  void* first = *plugin->exportOptionForm;
  EXPECT_NE(first, nullptr);
  plugin->enterOption(parent, parent, 0);  // entered again: the first panel is released
  void* second = *plugin->exportOptionForm;
  EXPECT_NE(second, nullptr);
  plugin->leaveOption(1);
  EXPECT_EQ(*plugin->exportOptionForm, second) << "the pointer names the latest panel";
  plugin->leaveOption(1);  // already left
  plugin->enterOption(parent, notAWindow, 0);
  plugin->leaveOption(1);  // no panel could be made
#if defined(_WIN32)
  PumpMessages();
  EXPECT_EQ(GetWindow(host.window, GW_CHILD), nullptr) << "both panels are gone";
#endif
  int32_t code = 0;
  plugin->beforeTransform(&code, 0);
  EXPECT_EQ(code, 5);
  plugin.reset();
  ClearStore();
}

}  // namespace
