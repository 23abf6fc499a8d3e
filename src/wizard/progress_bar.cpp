// The progress bar: composed in a memory bitmap of the bar's size and copied
// to the page in one BitBlt, so that each update replaces the whole bar
// without flicker. The geometry is progress_layout's.
#include <windows.h>

#include "base/text_format.h"
#include "wizard/progress_layout.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

constexpr int kBarArea = 1009;
constexpr int kPercentText = 1010;
constexpr uint32_t kMostBlocks = 512;  // a bar 2,000 pixels wide at the least height

}  // namespace

void DrawProgressBar(Wizard& wizard, HWND page, HDC dc) {
  HDC own = nullptr;
  if (dc == nullptr) dc = own = GetDC(page);
  if (dc == nullptr) return;
  char text[16];
  FormatText(text, sizeof text, "%d%%", "", static_cast<int32_t>(wizard.progressPercent));
  SetDlgItemTextA(page, kPercentText, text);
  RECT area;
  if (ControlRect(page, kBarArea, &area)) {
    int w = area.right - area.left;
    int h = area.bottom - area.top;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(dc, w, h) : nullptr;
    if (bitmap != nullptr) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      FillSolidRect(memory, 0, 0, w, h, GetSysColor(COLOR_BTNFACE));
      FillSolidRect(memory, 0, 0, w, 1, GetSysColor(COLOR_BTNSHADOW));
      FillSolidRect(memory, 0, 0, 1, h, GetSysColor(COLOR_BTNSHADOW));
      FillSolidRect(memory, w - 1, 0, 1, h, GetSysColor(COLOR_BTNHIGHLIGHT));
      FillSolidRect(memory, 0, h - 1, w, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
      HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_ACTIVECAPTION));
      if (brush != nullptr) {
        int32_t lefts[kMostBlocks];
        uint32_t count = ProgressBlockLefts(w, h, wizard.progressPercent, lefts, kMostBlocks);
        for (uint32_t i = 0; i < count; ++i) {
          RECT block = {lefts[i], 2, lefts[i] + h / 2, h - 2};
          FillRect(memory, &block, brush);
        }
        BitBlt(dc, area.left, area.top, w, h, memory, 0, 0, SRCCOPY);
        DeleteObject(brush);
      }
      SelectObject(memory, old);
      DeleteObject(bitmap);
    }
    if (memory != nullptr) DeleteDC(memory);
  }
  if (own != nullptr) ReleaseDC(page, own);
}

}  // namespace setup
