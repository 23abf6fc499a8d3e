// Drawing primitives the wizard shares: solid rectangles, sunken 3D edges, a
// package picture centred in a control, and the palette of an 8-bit picture.
// Pictures reach GDI only after ReadPicture has found every byte it will read.
#include <windows.h>

#include "wizard/background_layout.h"
#include "wizard/picture.h"
#include "wizard/wizard.h"

namespace setup {

void FillSolidRect(HDC dc, int x, int y, int width, int height, COLORREF colour) {
  SetBkColor(dc, colour);
  RECT rect = {x, y, x + width, y + height};
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void DrawSunkenBox(HDC dc, int left, int top, int right, int bottom, bool fill) {
  int width = right - left;
  int height = bottom - top;
  if (fill) FillSolidRect(dc, left + 1, top + 1, width - 2, height - 2, GetSysColor(COLOR_BTNFACE));
  COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  FillSolidRect(dc, left, top, width - 1, 1, shadow);
  FillSolidRect(dc, left, top, 1, height - 1, shadow);
  COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
  FillSolidRect(dc, left, bottom - 1, width, 1, light);
  FillSolidRect(dc, right - 1, top, 1, height, light);
}

void DrawSunkenControl(HWND window, HDC dc, int control, bool fill) {
  RECT rect;
  if (ControlRect(window, control, &rect)) {
    DrawSunkenBox(dc, rect.left, rect.top, rect.right, rect.bottom, fill);
  }
}

HPALETTE CreateDibPalette(HDC dc, const uint8_t* colourTable, uint32_t colourCount,
                          uint16_t bitCount) {
  if (bitCount != 8) return nullptr;
  PaletteEntry systemEntries[256];
  const PaletteEntry* system = nullptr;
  // On a 256-colour palette display the twenty static colours stay in place.
  if (GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) == 8 &&
      (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0) {
    static_assert(sizeof(PaletteEntry) == sizeof(PALETTEENTRY));
    GetSystemPaletteEntries(dc, 0, 256, reinterpret_cast<PALETTEENTRY*>(systemEntries));
    system = systemEntries;
  }
  struct {
    WORD version;
    WORD count;
    PaletteEntry entries[256];
  } palette;
  palette.version = 0x300;
  palette.count = 256;
  BuildPicturePalette(colourTable, colourCount, system, palette.entries);
  return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&palette));
}

// Selects the picture's palette (8-bit pictures only); returns the palette
// made and the one it replaced in `old`.
HPALETTE SelectPicturePalette(HDC dc, const Picture& picture, bool background, HPALETTE* old) {
  HPALETTE made = CreateDibPalette(dc, picture.colourTable, picture.colourCount, picture.bitCount);
  *old = nullptr;
  if (made != nullptr) {
    *old = SelectPalette(dc, made, background);
    RealizePalette(dc);
  }
  return made;
}

void ReleasePicturePalette(HDC dc, HPALETTE made, HPALETTE old) {
  if (made == nullptr) return;
  SelectPalette(dc, old, TRUE);
  DeleteObject(made);
}

void DrawPictureAt(HDC dc, const Picture& picture, int x, int y) {
  StretchDIBits(dc, x, y, picture.width, picture.height, 0, 0, picture.width, picture.height,
                picture.pixels, reinterpret_cast<const BITMAPINFO*>(picture.info), DIB_RGB_COLORS,
                SRCCOPY);
}

void DrawPictureInControl(HWND window, HDC dc, int control, const uint8_t* data,
                          uint32_t size) {
  RECT rect;
  if (!ControlRect(window, control, &rect)) return;
  IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  Picture picture;
  if (data == nullptr || ReadPicture(data, size, &picture) != PICTURE_OK) return;
  HPALETTE old;
  HPALETTE made = SelectPicturePalette(dc, picture, FALSE, &old);
  int x = CentredStart(rect.left, rect.right - rect.left, picture.width);
  int y = CentredStart(rect.top, rect.bottom - rect.top, picture.height);
  DrawPictureAt(dc, picture, x, y);
  ReleasePicturePalette(dc, made, old);
  // The edge covers the picture's outermost pixels.
  DrawSunkenBox(dc, x, y, x + picture.width, y + picture.height, false);
}

}  // namespace setup
