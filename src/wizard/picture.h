// Pictures from the package: BMP file images, checked before GDI sees them.
//
// The setup draws a picture with StretchDIBits straight from the package's
// bytes, so everything GDI will read (the 40-byte BITMAPINFOHEADER, the colour
// table and every row of pixels) must lie inside the record. A picture that
// does not pass is not drawn.
#pragma once

#include <cstdint>

namespace setup {

constexpr uint32_t kBitmapFileHeaderSize = 14;
constexpr uint32_t kBitmapInfoHeaderSize = 40;

// What is wrong with a picture, in the order the checks run.
enum PictureResult {
  PICTURE_OK,
  PICTURE_NOT_BMP,     // shorter than both headers, or no "BM"
  PICTURE_INFO_SIZE,   // the info header is not the 40-byte BITMAPINFOHEADER
  PICTURE_SIZE,        // width or height 0 or below (top-down pictures included)
  PICTURE_PLANES,      // planes other than 1
  PICTURE_DEPTH,       // bits per pixel other than 1, 4, 8, 16, 24, 32
  PICTURE_COMPRESSED,  // anything but BI_RGB
  PICTURE_COLOURS,     // more table colours than the depth has
  PICTURE_CUT,         // the colour table or the pixels run past the end
};

struct Picture {
  const uint8_t *info;         // the BITMAPINFOHEADER, as StretchDIBits takes it
  const uint8_t *colourTable;  // blue, green, red, reserved per colour
  const uint8_t *pixels;
  int32_t width;
  int32_t height;
  uint16_t bitCount;
  uint32_t colourCount;  // entries in the colour table
  uint64_t bytesNeeded;  // headers, colour table and pixels
};

// Checks the BMP file image of `size` bytes at `data` and describes it.
PictureResult ReadPicture(const uint8_t *data, uint32_t size, Picture *picture);

}  // namespace setup
