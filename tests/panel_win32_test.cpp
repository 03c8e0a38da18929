// The export options panel as Windows sees it: its windows, texts, layout, styles and font, the
// selection, following the parent's size, and both ways it goes away. Needs an X display under
// Wine (the Wine session gives one). Also saves a screenshot of the panel as panel.png, and checks
// the screenshot that the host tool's `dialog --screenshot` saved before this program ran, both in
// the artifact folder of the kind of Wine prefix the tests run in.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "plugin/export_option_form.h"

namespace {

// Wine knows no "ＭＳ Ｐゴシック" and takes any font of the Shift-JIS character set instead, here
// possibly one without Latin letters or digits. As on a Japanese Windows, the prefix gets the face
// mapped to IPA P Gothic. Wine reads the mapping when a process starts, so the run that adds it
// runs the tests again in a new process and passes on its exit code.
int MapPanelFontUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return 0;
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  const wchar_t face[] = L"ＭＳ Ｐゴシック";
  const wchar_t replacement[] = L"IPAPGothic";
  bool added = false;
  if (RegQueryValueExW(key, face, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    added = RegSetValueExW(key, face, 0, REG_SZ, reinterpret_cast<const BYTE*>(replacement),
                           sizeof replacement) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  if (!added) return 0;

  std::wstring commandLine = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 0;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  ExitProcess(exitCode);
}
const int panelFontMapped = MapPanelFontUnderWine();

// artifacts/win32 or artifacts/wow64: each kind of prefix has its own dialog screenshot.
std::filesystem::path ArtifactFolder() {
  const char* kind = std::getenv("VARNELTIFF_WINE_KIND");
  return std::filesystem::path(VARNELTIFF_ARTIFACT_DIR) / (kind != nullptr ? kind : "win32");
}

constexpr wchar_t kHostClass[] = L"VarnelTiffPanelTestHost";
constexpr int kHostWidth = 400;
constexpr int kHostHeight = 300;

const wchar_t* const kMethodTexts[4] = {
    L"全てフルカラー",
    L"フルカラー と 可能ならば、256色 を使う",
    L"最適化 256色",
    L"ウィンドウズパレット 256色 強制変換",
};

HWND CreateHostWindow() {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kHostClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExW(0, kHostClass, L"Export", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                         kHostWidth, kHostHeight, nullptr, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// A window's rectangle in the client coordinates of `reference`.
RECT RectIn(HWND window, HWND reference) {
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

::testing::AssertionResult HasRect(HWND window, HWND reference, int left, int top, int width,
                                   int height) {
  const RECT rect = RectIn(window, reference);
  if (rect.left == left && rect.top == top && rect.right - rect.left == width &&
      rect.bottom - rect.top == height) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "at (" << rect.left << ", " << rect.top << ") " << rect.right - rect.left << " by "
         << rect.bottom - rect.top << ", expected (" << left << ", " << top << ") " << width
         << " by " << height;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

::testing::AssertionResult FillsClientArea(HWND panel, HWND parent) {
  RECT client;
  GetClientRect(parent, &client);
  return HasRect(panel, parent, 0, 0, client.right, client.bottom);
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = CreateHostWindow();
    ASSERT_NE(host, nullptr) << "no window: run the test with an X display";
    form = TExportOptionForm::Create(host);
    ASSERT_NE(form, nullptr);
    panel = static_cast<HWND>(form->Window());
    const std::vector<HWND> children = ChildrenOf(panel);
    ASSERT_EQ(children.size(), 5u);  // the group's frame, then its four buttons
    frame = children[0];
    for (int i = 0; i < 4; ++i) buttons[i] = children[i + 1];
  }

  void TearDown() override {
    if (IsWindow(host)) DestroyWindow(host);
    PumpMessages();
  }

  int CheckedButton() const {
    int checked = -1;
    for (int i = 0; i < 4; ++i) {
      if (SendMessageW(buttons[i], BM_GETCHECK, 0, 0) == BST_CHECKED) {
        if (checked != -1) return -2;  // more than one: never right for a radio group
        checked = i;
      }
    }
    return checked;
  }

  HWND host = nullptr;
  TExportOptionForm* form = nullptr;
  HWND panel = nullptr;
  HWND frame = nullptr;
  HWND buttons[4] = {};
};

TEST(PanelCreate, RefusesAParentThatIsNoWindow) {
  EXPECT_EQ(TExportOptionForm::Create(nullptr), nullptr);
  EXPECT_EQ(TExportOptionForm::Create(reinterpret_cast<void*>(0x1234)), nullptr);
  HWND gone = CreateHostWindow();
  ASSERT_NE(gone, nullptr) << "no window: run the test with an X display";
  DestroyWindow(gone);
  EXPECT_EQ(TExportOptionForm::Create(gone), nullptr);
  EXPECT_FALSE(TExportOptionForm::IsAlive(nullptr));
}

TEST_F(PanelTest, IsAVisibleBorderlessChildOfTheParent) {
  EXPECT_EQ(ClassOf(panel), L"VarnelTiffExportOptionForm");
  EXPECT_EQ(TextOf(panel), L"ExportOptionForm");
  EXPECT_EQ(GetParent(panel), host);
  EXPECT_EQ(GetWindow(host, GW_CHILD), panel);
  EXPECT_TRUE(IsWindowVisible(panel));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(panel, GWL_STYLE)), 0x56000000u);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(panel, GWL_EXSTYLE)),
            static_cast<DWORD>(WS_EX_CONTROLPARENT));
  EXPECT_TRUE(TExportOptionForm::IsAlive(form));
}

TEST_F(PanelTest, HoldsTheCaptionedGroupAndFourRadioButtons) {
  EXPECT_EQ(_wcsicmp(ClassOf(frame).c_str(), L"Button"), 0);
  EXPECT_EQ(TextOf(frame), L"変換方式");
  const LONG frameStyle = GetWindowLongW(frame, GWL_STYLE);
  EXPECT_EQ(frameStyle & BS_TYPEMASK, BS_GROUPBOX);
  EXPECT_TRUE(frameStyle & WS_VISIBLE);

  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(_wcsicmp(ClassOf(buttons[i]).c_str(), L"Button"), 0);
    EXPECT_EQ(TextOf(buttons[i]), kMethodTexts[i]);
    const LONG style = GetWindowLongW(buttons[i], GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON);
    EXPECT_TRUE(style & WS_VISIBLE);
    // The first button opens the group and is its one tab stop.
    EXPECT_EQ((style & WS_GROUP) != 0, i == 0);
    EXPECT_EQ((style & WS_TABSTOP) != 0, i == 0);
  }
}

TEST_F(PanelTest, LaysOutTheDesignedPixels) {
  EXPECT_TRUE(FillsClientArea(panel, host));
  EXPECT_TRUE(HasRect(frame, panel, 8, 16, 241, 129));
  const int tops[4] = {13, 41, 69, 97};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(HasRect(buttons[i], frame, 8, tops[i], 231, 28)) << "button " << i;
  }
}

TEST_F(PanelTest, GroupAndButtonsShareTheShiftJisFont) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(frame, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  for (HWND button : buttons) {
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)), font);
  }
  LOGFONTW description{};
  ASSERT_EQ(GetObjectW(font, sizeof description, &description), int{sizeof description});
  EXPECT_EQ(description.lfHeight, -12);
  EXPECT_EQ(description.lfCharSet, SHIFTJIS_CHARSET);
  EXPECT_EQ(description.lfWeight, FW_NORMAL);
  EXPECT_EQ(std::wstring(description.lfFaceName), L"ＭＳ Ｐゴシック");

  // The panel deletes its font with its windows.
  form->Release();
  PumpMessages();
  EXPECT_EQ(GetObjectType(font), 0u);
}

// Every character of the caption and the items has a glyph in the font the panel gets, so
// none is drawn as a box.
TEST_F(PanelTest, FontHasAGlyphForEveryText) {
  HDC dc = GetDC(panel);
  const HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(frame, WM_GETFONT, 0, 0)));
  std::vector<std::wstring> texts(std::begin(kMethodTexts), std::end(kMethodTexts));
  texts.push_back(L"変換方式");
  for (const std::wstring& text : texts) {
    std::vector<WORD> glyphs(text.size());
    ASSERT_EQ(GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                               GGI_MARK_NONEXISTING_GLYPHS),
              text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for U+" << std::hex << int{text[i]};
    }
  }
  SelectObject(dc, previous);
  ReleaseDC(panel, dc);
}

TEST_F(PanelTest, SelectionIsClampedAndShownByTheButtons) {
  struct Case {
    int requested;
    int selected;
  };
  const Case cases[] = {{2, 2}, {-1, -1}, {7, 3}, {-5, -1}, {0, 0}, {3, 3}, {4, 3}, {1, 1}};
  for (const Case& c : cases) {
    form->SetSelectedIndex(c.requested);
    EXPECT_EQ(form->SelectedIndex(), c.selected) << "requested " << c.requested;
    EXPECT_EQ(CheckedButton(), c.selected) << "requested " << c.requested;
  }
}

TEST_F(PanelTest, ClickingAButtonSelectsItAlone) {
  form->SetSelectedIndex(0);
  SendMessageW(buttons[1], BM_CLICK, 0, 0);
  EXPECT_EQ(form->SelectedIndex(), 1);
  EXPECT_EQ(CheckedButton(), 1);
  SendMessageW(buttons[3], BM_CLICK, 0, 0);
  EXPECT_EQ(form->SelectedIndex(), 3);
  EXPECT_EQ(CheckedButton(), 3);
}

TEST_F(PanelTest, FollowsTheParentsSizeButTheGroupStays) {
  const SIZE sizes[] = {{640, 480}, {200, 150}, {kHostWidth, kHostHeight}};
  for (const SIZE& size : sizes) {
    SetWindowPos(host, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(FillsClientArea(panel, host)) << size.cx << " by " << size.cy;
    EXPECT_TRUE(HasRect(frame, panel, 8, 16, 241, 129));
  }
}

TEST_F(PanelTest, ReleaseTakesEffectWhenTheLoopDispatchesIt) {
  form->Release();
  EXPECT_TRUE(IsWindow(panel));
  EXPECT_TRUE(IsWindowVisible(panel));
  EXPECT_TRUE(TExportOptionForm::IsAlive(form));

  PumpMessages();
  EXPECT_FALSE(IsWindow(panel));
  for (HWND button : buttons) EXPECT_FALSE(IsWindow(button));
  EXPECT_FALSE(TExportOptionForm::IsAlive(form));
  EXPECT_TRUE(IsWindow(host));
}

TEST_F(PanelTest, DestroyingTheParentFreesThePanel) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(frame, WM_GETFONT, 0, 0));
  DestroyWindow(host);
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_FALSE(TExportOptionForm::IsAlive(form));
  EXPECT_EQ(GetObjectType(font), 0u);
}

// The host opens the next panel before the loop has dispatched the last one's release; panels
// in other windows must not be resized by this parent's changes.
TEST_F(PanelTest, APanelOutlivesItsPredecessorAndFollowsOnlyItsOwnParent) {
  form->Release();
  TExportOptionForm* next = TExportOptionForm::Create(host);
  ASSERT_NE(next, nullptr);
  HWND otherHost = CreateHostWindow();
  ASSERT_NE(otherHost, nullptr);
  SetWindowPos(otherHost, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
  TExportOptionForm* other = TExportOptionForm::Create(otherHost);
  ASSERT_NE(other, nullptr);
  PumpMessages();
  EXPECT_FALSE(TExportOptionForm::IsAlive(form));
  EXPECT_TRUE(TExportOptionForm::IsAlive(next));

  SetWindowPos(host, nullptr, 0, 0, 520, 410, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(FillsClientArea(static_cast<HWND>(next->Window()), host));
  EXPECT_TRUE(FillsClientArea(static_cast<HWND>(other->Window()), otherHost));
  SetWindowPos(otherHost, nullptr, 0, 0, 350, 260, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(FillsClientArea(static_cast<HWND>(other->Window()), otherHost));
  EXPECT_TRUE(FillsClientArea(static_cast<HWND>(next->Window()), host));

  DestroyWindow(otherHost);
  EXPECT_FALSE(TExportOptionForm::IsAlive(other));
  EXPECT_TRUE(TExportOptionForm::IsAlive(next));
}

// Copies the parent's client area as the user sees it, top row first, three bytes per pixel.
std::vector<unsigned char> CaptureClientArea(HWND window, int& width, int& height) {
  RECT client;
  GetClientRect(window, &client);
  width = client.right;
  height = client.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC windowDc = GetDC(window);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<unsigned char> rgb;
  if (bitmap != nullptr) {
    HGDIOBJ previous = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* bgra = static_cast<const unsigned char*>(bits);
    rgb.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); ++i) {
      rgb.push_back(bgra[4 * i + 2]);
      rgb.push_back(bgra[4 * i + 1]);
      rgb.push_back(bgra[4 * i]);
    }
    SelectObject(memoryDc, previous);
    DeleteObject(bitmap);
  }
  DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);
  return rgb;
}

TEST_F(PanelTest, ScreenshotShowsTheButtonFaceBackground) {
  form->SetSelectedIndex(2);
  RedrawWindow(host, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages();
  int width = 0;
  int height = 0;
  const std::vector<unsigned char> rgb = CaptureClientArea(host, width, height);
  ASSERT_FALSE(rgb.empty());

  // The panel shows the button face colour, not the host's white window background: beside the
  // group, and inside it above the first button and below the last, where the frame draws
  // nothing.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const POINT points[] = {{300, height - 5}, {200, 26}, {100, 141}};
  for (const POINT& point : points) {
    const size_t at =
        (static_cast<size_t>(point.y) * static_cast<size_t>(width) + static_cast<size_t>(point.x)) *
        3;
    EXPECT_EQ(rgb[at], GetRValue(face)) << point.x << ", " << point.y;
    EXPECT_EQ(rgb[at + 1], GetGValue(face)) << point.x << ", " << point.y;
    EXPECT_EQ(rgb[at + 2], GetBValue(face)) << point.x << ", " << point.y;
  }

  const std::filesystem::path folder = ArtifactFolder();
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "panel.png").string();
  EXPECT_NE(stbi_write_png(file.c_str(), width, height, 3, rgb.data(), width * 3), 0) << file;
}

// The host tool's dialog as it saved it: the panel's group box, its four buttons and the Japanese
// texts drawn on the button face, not an empty rectangle. The file is removed once read, so a run
// of the tool that saves nothing cannot pass on an old picture.
TEST(DialogScreenshot, ShowsThePanelWithItsTexts) {
  const std::string file = (ArtifactFolder() / "dialog.png").string();
  int width = 0;
  int height = 0;
  int channels = 0;
  unsigned char* rgb = stbi_load(file.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(rgb, nullptr) << file;
  std::remove(file.c_str());
  const auto at = [&](int x, int y) {
    return rgb + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
  };
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  // Pixels in a rectangle of the picture that are dark (text) or merely not the button face
  // (frame lines and the shading of the radio circles).
  const auto count = [&](int left, int top, int right, int bottom, bool dark) {
    int found = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) {
        const unsigned char* pixel = at(x, y);
        found += dark ? pixel[0] + pixel[1] + pixel[2] < 3 * 96
                      : RGB(pixel[0], pixel[1], pixel[2]) != face;
      }
    }
    return found;
  };
  ASSERT_GE(width, 283);
  ASSERT_GE(height, 159);
  for (const POINT& point : {POINT{200, 26}, POINT{100, 141}}) {
    EXPECT_EQ(RGB(at(point.x, point.y)[0], at(point.x, point.y)[1], at(point.x, point.y)[2]), face)
        << point.x << ", " << point.y;
  }
  EXPECT_GT(count(12, 8, 90, 30, true), 30) << "the group box's caption";
  EXPECT_GT(count(6, 30, 11, 140, false), 100) << "the group box's left side";
  EXPECT_GT(count(244, 30, 251, 140, false), 100) << "the group box's right side";
  for (int row = 0; row < 4; ++row) {
    const int top = 29 + 28 * row;
    EXPECT_GT(count(16, top, 30, top + 28, false), 20) << "radio button " << row;
    EXPECT_GT(count(34, top, 240, top + 28, true), 40) << "text of button " << row;
  }
  stbi_image_free(rgb);
}

}  // namespace
