// The uninstaller's one window: a small frame with the caption, a line that
// says what it does, the item being removed, and a bar. The bar is a grey
// rectangle control whose width follows the progress, so no painting code
// is needed.
#pragma once

#include <windows.h>

namespace setup {

class ProgressWindow {
 public:
  // Creates and shows the window, centred on the screen; false when it
  // could not be made (the removal then runs without it).
  bool Create(HINSTANCE instance, const char* caption, const char* heading);
  void Show(const char* item, int percent);
  void Destroy();
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
  HWND item_ = nullptr;
  HWND bar_ = nullptr;
};

// Dispatches every message waiting for this thread's windows.
void PumpMessages();

}  // namespace setup
