// The background window: in full-screen mode it covers the screen with the
// package's picture as tiles or a blue-to-black gradient and the shadowed
// title; in windowed mode it only wraps the frame and paints nothing. Every
// paint makes the brushes, palettes and fonts it uses and releases them.
#include <windows.h>

#include "package/package_state.h"
#include "session/setup_context.h"
#include "wizard/background_layout.h"
#include "wizard/picture.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

COLORREF GradientAt(int32_t y, int32_t height) {
  Rgb colour = GradientColour(y, height);
  return RGB(colour.red, colour.green, colour.blue);
}

void PaintTiles(HDC dc, const Picture& picture, const RECT& client) {
  HPALETTE old;
  HPALETTE made = SelectPicturePalette(dc, picture, FALSE, &old);
  int32_t rows = TileCount(client.bottom - client.top, picture.height);
  int32_t columns = TileCount(client.right - client.left, picture.width);
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t column = 0; column < columns; ++column) {
      DrawPictureAt(dc, picture, client.left + column * picture.width,
                    client.top + row * picture.height);
    }
  }
  ReleasePicturePalette(dc, made, old);
}

// True colour: 8-row bands, each one FillRect with an 8 by 8 dither brush.
void PaintDitheredGradient(HDC dc, const RECT& client) {
  int32_t height = client.bottom - client.top;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                              sizeof(BITMAPINFOHEADER) + kDitherPatternBytes);
  if (block == nullptr) return;
  auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(block));
  if (header != nullptr) {
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = 8;
    header->biHeight = 8;
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biSizeImage = kDitherPatternBytes;
    auto* pattern = reinterpret_cast<uint8_t*>(header + 1);
    for (int32_t top = 0; top < height; top += 8) {
      FillDitherBand(top, height, pattern);
      HBRUSH brush = CreateDIBPatternBrushPt(header, DIB_RGB_COLORS);
      if (brush == nullptr) continue;
      HGDIOBJ old = SelectObject(dc, brush);
      RECT band = {client.left, client.top + top, client.right, client.top + top + 8};
      FillRect(dc, &band, brush);
      SelectObject(dc, old);
      DeleteObject(brush);
    }
    GlobalUnlock(block);
  }
  GlobalFree(block);
}

// Palette displays: row by row over the paint rectangle, a new brush only
// where the colour changes.
void PaintRowGradient(HDC dc, const RECT& client, const RECT& paint) {
  int32_t height = client.bottom - client.top;
  HBRUSH brush = nullptr;
  COLORREF last = 0;
  for (int32_t y = paint.top; y <= paint.bottom; ++y) {
    COLORREF colour = GradientAt(y, height);
    if (brush == nullptr || colour != last) {
      if (brush != nullptr) DeleteObject(brush);
      brush = CreateSolidBrush(colour);
      last = colour;
    }
    if (brush == nullptr) continue;
    RECT row = {paint.left, client.top + y, paint.right, client.top + y + 1};
    FillRect(dc, &row, brush);
  }
  if (brush != nullptr) DeleteObject(brush);
}

void PaintTitle(HDC dc, const char* title, const LOGFONTA* titleFont) {
  HFONT font = CreateFontIndirectA(titleFont);
  HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  int length = lstrlenA(title);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  TextOutA(dc, 14, 14, title, length);
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, 10, 10, title, length);
  if (font != nullptr) {
    SelectObject(dc, old);
    DeleteObject(font);
  }
}

}  // namespace

void PaintBackground(HWND window, const uint8_t* pictureData, uint32_t pictureSize,
                     const char* title, const LOGFONTA* titleFont) {
  RECT client;
  GetClientRect(window, &client);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) return;
  Picture picture;
  if (pictureData != nullptr) {
    // A picture that does not pass its check (or has no size to tile by) is
    // not drawn at all.
    if (ReadPicture(pictureData, pictureSize, &picture) == PICTURE_OK) {
      PaintTiles(dc, picture, client);
    }
  } else if (GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) > 8) {
    PaintDitheredGradient(dc, client);
  } else {
    PaintRowGradient(dc, client, paint.rcPaint);
  }
  if (title != nullptr && title[0] != '\0' && titleFont != nullptr) {
    PaintTitle(dc, title, titleFont);
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK BackgroundWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* wizard = reinterpret_cast<Wizard*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (wizard == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      if (!wizard->FullScreen() || IsIconic(window)) break;
      const PackageState& package = wizard->context.package;
      // The loader refuses a title without its NUL.
      const char* title = reinterpret_cast<const char*>(package.title.data);
      const LOGFONTA* font = package.titleFont.size >= sizeof(LOGFONTA)
                                 ? reinterpret_cast<const LOGFONTA*>(package.titleFont.data)
                                 : nullptr;
      PaintBackground(window, package.backgroundBitmap.data, package.backgroundBitmap.size,
                      title, font);
      if (wizard->frame != nullptr) RedrawWindow(wizard->frame, nullptr, nullptr, RDW_FRAME);
      return 0;
    }
    case WM_ACTIVATEAPP:
      // The frame's caption follows the application's activation.
      if (wizard->frame != nullptr) PostMessageA(wizard->frame, WM_NCACTIVATE, wParam, 0);
      break;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MAXIMIZE:
        case SC_RESTORE:
          if (wizard->frame != nullptr) ShowWindow(wizard->frame, SW_SHOWNORMAL);
          break;
        case SC_CLOSE:
          wizard->context.run.pageResult = PAGE_END;
          return 0;
      }
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace setup
