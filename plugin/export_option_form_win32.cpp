// The export options panel as a real Win32 child window: a group box and four auto radio buttons.
// The windows are made with the W functions from the Shift-JIS texts, so they read right
// whatever the system's ANSI code page is.
#include <windows.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "plugin/export_option_form.h"
#include "plugin/texts.h"

namespace {

constexpr wchar_t kClassName[] = L"VarnelTiffExportOptionForm";
constexpr wchar_t kWindowText[] = L"ExportOptionForm";
constexpr UINT kShiftJisCodePage = 932;

// No caption, border or system menu: the panel is a plain area inside the host's dialog.
constexpr DWORD kPanelStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// Lets the host dialog's keyboard navigation step into the radio buttons.
constexpr DWORD kPanelExtendedStyle = WS_EX_CONTROLPARENT;
// Only the panel's own window class ever receives it, so any WM_APP value is free.
constexpr UINT kReleaseMessage = WM_APP + 0x56;

// The layout in pixels, as designed at 96 dots per inch.
constexpr int kDesignWidth = 283;
constexpr int kDesignHeight = 159;
constexpr int kGroupLeft = 8;
constexpr int kGroupTop = 16;
constexpr int kGroupWidth = 241;
constexpr int kGroupHeight = 129;
constexpr int kFontHeight = -12;  // negative: character height, not cell height
constexpr int kButtonCount = 4;
constexpr int kFirstButtonId = 100;

// The buttons stand in one column inside the group. Below the caption line (the design text
// height) and the frame the height is split into four equal rows; half the remainder of that
// division goes above the first row. The column is as wide as the group less its frame.
constexpr int kTextHeight = 12;
constexpr int kUsableHeight = kGroupHeight - kTextHeight - 5;
constexpr int kButtonHeight = kUsableHeight / kButtonCount;
constexpr int kFirstButtonTop = kTextHeight + 1 + (kUsableHeight % kButtonCount) / 2;
constexpr int kButtonLeft = 8;
constexpr int kButtonWidth = kGroupWidth - 10;
static_assert(kButtonHeight == 28 && kFirstButtonTop == 13 && kButtonWidth == 231);

// Panels created and not yet destroyed. Only pointer values are compared, so IsAlive may be
// asked about a freed panel.
std::vector<const TExportOptionForm*> livePanels;

// One hook for the thread's panels while any exists: it resizes each panel when its parent's
// size changes, without touching the parent's own window procedure.
HHOOK parentSizeHook = nullptr;

struct PanelTexts {
  std::wstring caption;
  std::wstring methods[kButtonCount];
  std::wstring fontFace;
};

std::wstring FromShiftJis(const char* text) {
  const int length = MultiByteToWideChar(kShiftJisCodePage, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(kShiftJisCodePage, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length) - 1);  // the terminating zero
  return wide;
}

PanelTexts ConvertTexts() {
  PanelTexts texts;
  texts.caption = FromShiftJis(kPanelCaption);
  for (int i = 0; i < kButtonCount; ++i) texts.methods[i] = FromShiftJis(kMethodTexts[i]);
  texts.fontFace = FromShiftJis(kPanelFontFace);
  return texts;
}

// The module that holds this code: the plug-in DLL, not the host's program.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      kClassName, &module);
  return module;
}

void ForgetPanel(const TExportOptionForm* form) {
  std::erase(livePanels, form);
  if (livePanels.empty() && parentSizeHook != nullptr) {
    UnhookWindowsHookEx(parentSizeHook);
    parentSizeHook = nullptr;
  }
}

void FitToParent(HWND panel) {
  RECT client;
  RECT current;
  if (!GetClientRect(GetParent(panel), &client) || !GetWindowRect(panel, &current)) return;
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (current.right - current.left == width && current.bottom - current.top == height) return;
  SetWindowPos(panel, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK FollowParentSize(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto& sent = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    // WM_SIZE normally; WM_WINDOWPOSCHANGED too, for a parent that handles that one itself and
    // so never receives WM_SIZE.
    if (sent.message == WM_SIZE || sent.message == WM_WINDOWPOSCHANGED) {
      for (size_t i = 0; i < livePanels.size(); ++i) {
        HWND panel = static_cast<HWND>(livePanels[i]->Window());
        if (panel != nullptr && GetParent(panel) == sent.hwnd) FitToParent(panel);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A group box draws only its frame and caption and leaves its inside as it was, and the panel
// clips its children, so nothing would paint there. The frame fills its own inside with the
// panel's colour instead, around the buttons that stand on it.
void FillAroundSiblings(HWND frame, HDC dc) {
  const int saved = SaveDC(dc);
  for (HWND sibling = GetWindow(frame, GW_HWNDFIRST); sibling != nullptr;
       sibling = GetWindow(sibling, GW_HWNDNEXT)) {
    if (sibling == frame || !IsWindowVisible(sibling)) continue;
    RECT rect;
    GetWindowRect(sibling, &rect);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
    ExcludeClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  }
  RECT client;
  GetClientRect(frame, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  RestoreDC(dc, saved);
}

// The frame's window procedure: the button class's own, kept in the frame's user data, with
// its background erased by FillAroundSiblings.
LRESULT CALLBACK FrameProcedure(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    FillAroundSiblings(frame, reinterpret_cast<HDC>(wParam));
    return 1;
  }
  const auto buttonProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(frame, GWLP_USERDATA));
  return CallWindowProcW(buttonProcedure, frame, message, wParam, lParam);
}

}  // namespace

struct TExportOptionForm::Platform {
  static bool RegisterWindowClass(HINSTANCE module);
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static bool BuildControls(TExportOptionForm& form, const PanelTexts& texts, HINSTANCE module);
};

bool TExportOptionForm::Platform::RegisterWindowClass(HINSTANCE module) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  registered = RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

LRESULT CALLBACK TExportOptionForm::Platform::WindowProcedure(HWND window, UINT message,
                                                              WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* form = static_cast<TExportOptionForm*>(
          reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
      form->window = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
      break;
    }
    case kReleaseMessage:
      DestroyWindow(window);
      return 0;
    case WM_NCDESTROY: {
      // The last message the window gets, whether it was released or its parent went first;
      // the controls are gone by now, so their font can go too.
      auto* form = reinterpret_cast<TExportOptionForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (form != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (form->font != nullptr) DeleteObject(static_cast<HFONT>(form->font));
        ForgetPanel(form);
        delete form;
      }
      break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool TExportOptionForm::Platform::BuildControls(TExportOptionForm& form, const PanelTexts& texts,
                                                HINSTANCE module) {
  HWND panel = static_cast<HWND>(form.window);
  HWND frame = CreateWindowExW(0, L"BUTTON", texts.caption.c_str(),
                               WS_CHILD | WS_VISIBLE | BS_GROUPBOX, kGroupLeft, kGroupTop,
                               kGroupWidth, kGroupHeight, panel, nullptr, module, nullptr);
  if (frame == nullptr) return false;
  form.TIFConvMethodRG.frame = frame;
  SetWindowLongPtrW(frame, GWLP_USERDATA, GetWindowLongPtrW(frame, GWLP_WNDPROC));
  SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProcedure));

  // The buttons are the panel's children, not the frame's, so that their notifications and the
  // dialog manager's group navigation stay within the panel. The first one opens the group and
  // is its tab stop.
  for (int i = 0; i < kButtonCount; ++i) {
    DWORD style = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;
    if (i == 0) style |= WS_GROUP | WS_TABSTOP;
    HWND button = CreateWindowExW(
        0, L"BUTTON", texts.methods[i].c_str(), style, kGroupLeft + kButtonLeft,
        kGroupTop + kFirstButtonTop + i * kButtonHeight, kButtonWidth, kButtonHeight, panel,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)), module, nullptr);
    if (button == nullptr) return false;
    form.TIFConvMethodRG.buttons[i] = button;
  }

  // Without the font the controls fall back to the system font: still usable, so not fatal.
  HFONT font = CreateFontW(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, texts.fontFace.c_str());
  form.font = font;
  if (font != nullptr) {
    SendMessageW(frame, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (void* button : form.TIFConvMethodRG.buttons) {
      SendMessageW(static_cast<HWND>(button), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
  }
  return true;
}

TExportOptionForm* TExportOptionForm::Create(void* parentWindow) {
  HWND parent = static_cast<HWND>(parentWindow);
  if (parent == nullptr || !IsWindow(parent)) return nullptr;

  // Everything that can throw comes before the first window exists.
  PanelTexts texts;
  try {
    texts = ConvertTexts();
    livePanels.reserve(livePanels.size() + 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  HINSTANCE module = ThisModule();
  if (!Platform::RegisterWindowClass(module)) return nullptr;

  auto* form = new (std::nothrow) TExportOptionForm;
  if (form == nullptr) return nullptr;
  livePanels.push_back(form);

  // From WM_NCCREATE on, the window owns the object: WM_NCDESTROY frees it.
  HWND window = CreateWindowExW(kPanelExtendedStyle, kClassName, kWindowText, kPanelStyle, 0, 0,
                                kDesignWidth, kDesignHeight, parent, nullptr, module, form);
  if (window == nullptr) {
    if (IsAlive(form)) {  // the window never took it
      ForgetPanel(form);
      delete form;
    }
    return nullptr;
  }
  if (!Platform::BuildControls(*form, texts, module)) {
    DestroyWindow(window);
    return nullptr;
  }

  // The panel covers the parent's whole client area, at (0, 0), and keeps doing so.
  FitToParent(window);
  if (parentSizeHook == nullptr) {
    parentSizeHook =
        SetWindowsHookExW(WH_CALLWNDPROCRET, FollowParentSize, nullptr, GetCurrentThreadId());
  }
  return form;
}

int TExportOptionForm::SelectedIndex() const {
  for (int i = 0; i < kButtonCount; ++i) {
    HWND button = static_cast<HWND>(TIFConvMethodRG.buttons[i]);
    if (SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED) return i;
  }
  return -1;
}

void TExportOptionForm::SetSelectedIndex(int index) {
  const int selected = std::clamp(index, -1, kButtonCount - 1);
  for (int i = 0; i < kButtonCount; ++i) {
    HWND button = static_cast<HWND>(TIFConvMethodRG.buttons[i]);
    SendMessageW(button, BM_SETCHECK, i == selected ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void TExportOptionForm::Release() {
  PostMessageW(static_cast<HWND>(window), kReleaseMessage, 0, 0);
}

bool TExportOptionForm::IsAlive(const TExportOptionForm* form) {
  return form != nullptr &&
         std::find(livePanels.begin(), livePanels.end(), form) != livePanels.end();
}
