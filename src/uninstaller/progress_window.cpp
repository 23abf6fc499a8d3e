#include "uninstaller/progress_window.h"

namespace setup {

namespace {

constexpr char kClassName[] = "UninstallProgress";
constexpr int kWidth = 400;
constexpr int kBarLeft = 12;
constexpr int kBarWidth = kWidth - 2 * kBarLeft - 8;

HWND Child(HWND parent, HINSTANCE instance, const char* text, DWORD style, int x, int y, int w,
           int h) {
  HWND child = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                               parent, nullptr, instance, nullptr);
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  return child;
}

}  // namespace

bool ProgressWindow::Create(HINSTANCE instance, const char* caption, const char* heading) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  RECT frame = {0, 0, kWidth, 100};
  AdjustWindowRect(&frame, WS_CAPTION, FALSE);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  window_ = CreateWindowExA(WS_EX_DLGMODALFRAME, kClassName, caption, WS_POPUP | WS_CAPTION,
                            (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                            (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                            nullptr, instance, nullptr);
  if (window_ == nullptr) return false;
  Child(window_, instance, heading, SS_LEFT | SS_NOPREFIX, kBarLeft, 12, kWidth - 2 * kBarLeft, 16);
  item_ = Child(window_, instance, "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, kBarLeft, 32,
                kWidth - 2 * kBarLeft, 16);
  Child(window_, instance, "", SS_ETCHEDFRAME, kBarLeft, 60, kBarWidth + 8, 20);
  bar_ = Child(window_, instance, "", SS_GRAYRECT, kBarLeft + 4, 64, 0, 12);
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  PumpMessages();
  return true;
}

void ProgressWindow::Show(const char* item, int percent) {
  if (window_ == nullptr) return;
  SetWindowTextA(item_, item);
  int width = kBarWidth * (percent < 0 ? 0 : percent > 100 ? 100 : percent) / 100;
  SetWindowPos(bar_, nullptr, 0, 0, width, 12, SWP_NOMOVE | SWP_NOZORDER);
  PumpMessages();
}

void ProgressWindow::Destroy() {
  if (window_ != nullptr) DestroyWindow(window_);
  window_ = nullptr;
  PumpMessages();
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace setup
