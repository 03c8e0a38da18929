// dialog: the host's export dialog, a small window with the plug-in's panel in it and OK and
// Cancel; the choice becomes the saved setting when OK is pressed. Windows only.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/commands.h"
#include "host/export_session.h"
#include "host/png_writer.h"
#include "host/terminal.h"
#include "host/transforms.h"
#include "plugin/pending_output.h"

namespace {

constexpr wchar_t kDialogClass[] = L"VarnelTiffHostExportDialog";
// The panel fills the dialog's client area and draws its group in the left 283 x 159 pixels;
// the buttons stand in a column to the right of that.
constexpr int kPanelWidth = 283;
constexpr int kPanelHeight = 159;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kMargin = 8;
constexpr int kClientWidth = kPanelWidth + kButtonWidth + kMargin;
constexpr int kClientHeight = kPanelHeight;
constexpr UINT_PTR kInterruptTimer = 1;

// -1 while the dialog is open, then 1 for OK and 0 for Cancel or closing.
int dialogResult = -1;

LRESULT CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        dialogResult = LOWORD(wParam) == IDOK ? 1 : 0;
        return 0;
      }
      break;
    case WM_CLOSE:
      dialogResult = 0;
      return 0;
    case WM_TIMER:
      if (wParam == kInterruptTimer && Interrupted()) dialogResult = 0;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateDialogWindow() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DialogProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kDialogClass;
  RegisterClassW(&windowClass);
  constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  constexpr DWORD kExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExtendedStyle);
  return CreateWindowExW(kExtendedStyle, kDialogClass, L"VarnelTiff export", kStyle, CW_USEDEFAULT,
                         CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                         nullptr, instance, nullptr);
}

HWND CreateButton(HWND dialog, int id, const wchar_t* text, int top, DWORD kind) {
  HWND button = CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | kind,
                                kPanelWidth, top, kButtonWidth, kButtonHeight, dialog,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               TRUE);
  return button;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// The dialog's client area (the panel and the buttons) as it stands on the screen: rows top first,
// RGB. A copy of what is on the screen, because asking a window to print itself leaves out the
// controls' own painting on some systems (Wine saves a plain grey rectangle).
bool CaptureClientArea(HWND window, RgbImage& picture) {
  RECT client;
  GetClientRect(window, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width < 1 || height < 1) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC windowDc = GetDC(window);
  HDC memory = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool captured = false;
  if (bitmap != nullptr && memory != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    captured = BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    if (captured) {
      const auto* bgra = static_cast<const uint8_t*>(bits);
      const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
      picture.width = width;
      picture.height = height;
      picture.pixels.resize(3 * count);
      for (size_t i = 0; i < count; ++i) {
        picture.pixels[3 * i] = bgra[4 * i + 2];
        picture.pixels[3 * i + 1] = bgra[4 * i + 1];
        picture.pixels[3 * i + 2] = bgra[4 * i];
      }
    }
    SelectObject(memory, previous);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(window, windowDc);
  return captured;
}

// Lets the window system show the dialog: it is mapped and painted by messages that arrive over
// a short while, not at once.
void LetTheDialogAppear(HWND dialog) {
  SetForegroundWindow(dialog);
  const DWORD until = GetTickCount() + 300;
  while (GetTickCount() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    PumpMessages();
  }
  RedrawWindow(dialog, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages();
}

bool SaveScreenshot(HWND dialog, const std::string& path, std::string& error) {
  LetTheDialogAppear(dialog);
  RgbImage picture;
  if (!CaptureClientArea(dialog, picture)) {
    error = "cannot capture the dialog";
    return false;
  }
  PendingOutput output(path);
  return output.Create(error) &&
         WritePng(output.WritePath(), picture.pixels, picture.width, picture.height, 3, error) &&
         output.Commit(error);
}

}  // namespace

int RunDialog(const Options& options, PluginLibrary& plugin) {
  std::string error;
  if (!ExportSideUsable(plugin, error)) {
    ReportFailure(plugin.Path(), error);
    return kExitFailure;
  }
  const ExportSession session(plugin);
  HWND dialog = CreateDialogWindow();
  if (dialog == nullptr) {
    ReportFailure("dialog", "cannot create the window");
    return kExitFailure;
  }
  HWND ok = CreateButton(dialog, IDOK, L"OK", kMargin, BS_DEFPUSHBUTTON);
  HWND cancel =
      CreateButton(dialog, IDCANCEL, L"Cancel", 2 * kMargin + kButtonHeight, BS_PUSHBUTTON);
  plugin.enterOption(dialog, dialog, 0);
  // The panel covers the whole client area: the buttons stay above it.
  for (HWND button : {ok, cancel}) {
    SetWindowPos(button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  ShowWindow(dialog, SW_SHOW);
  UpdateWindow(dialog);

  int status = kExitSuccess;
  dialogResult = -1;
  if (!options.screenshot.empty()) {
    if (!SaveScreenshot(dialog, options.screenshot, error)) {
      ReportFailure(options.screenshot, error);
      status = kExitFailure;
    }
    dialogResult = 0;  // a screenshot changes nothing
  } else {
    SetTimer(dialog, kInterruptTimer, 100, nullptr);
    MSG message;
    while (dialogResult < 0 && GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (IsDialogMessageW(dialog, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    KillTimer(dialog, kInterruptTimer);
    if (Interrupted()) status = kExitInterrupted;
  }
  plugin.leaveOption(dialogResult == 1 ? 1 : 0);
  PumpMessages();  // the panel goes when its release message is dispatched
  DestroyWindow(dialog);
  PumpMessages();
  // The setting now in effect, as the next export will use it.
  int32_t code = 0;
  plugin.beforeTransform(&code, 0);
  const char* name = TransformName(code);
  std::printf("conversion: %s\n", name != nullptr ? name : "none (the setting is out of range)");
  return status;
}
