#include "wizard/picture.h"

#include "base/bytes.h"

namespace setup {

namespace {

constexpr uint32_t kBiRgb = 0;

bool DrawableDepth(uint16_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

PictureResult ReadPicture(const uint8_t *data, uint32_t size, Picture *picture) {
  *picture = Picture{};
  if (data == nullptr || size < kBitmapFileHeaderSize + kBitmapInfoHeaderSize || data[0] != 'B' ||
      data[1] != 'M') {
    return PICTURE_NOT_BMP;
  }
  const uint8_t *info = data + kBitmapFileHeaderSize;
  picture->info = info;
  picture->width = static_cast<int32_t>(ReadU32(info + 4));
  picture->height = static_cast<int32_t>(ReadU32(info + 8));
  picture->bitCount = ReadU16(info + 14);
  uint32_t colours = ReadU32(info + 32);
  if (ReadU32(info) != kBitmapInfoHeaderSize) return PICTURE_INFO_SIZE;
  if (picture->width <= 0 || picture->height <= 0) return PICTURE_SIZE;
  if (ReadU16(info + 12) != 1) return PICTURE_PLANES;
  uint16_t bits = picture->bitCount;
  if (!DrawableDepth(bits)) return PICTURE_DEPTH;
  if (ReadU32(info + 16) != kBiRgb) return PICTURE_COMPRESSED;
  // The table has biClrUsed entries when that is set, else a full table for
  // the depths with one, else none. GDI reads no more than the depth can use.
  if (colours != 0 && bits <= 8 && colours > (1u << bits)) return PICTURE_COLOURS;
  if (colours == 0 && bits <= 8) colours = 1u << bits;
  picture->colourCount = colours;
  uint64_t table = uint64_t{colours} * 4;
  uint64_t stride = (uint64_t{static_cast<uint32_t>(picture->width)} * bits + 31) / 32 * 4;
  uint64_t headers = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
  picture->bytesNeeded = headers + table + stride * static_cast<uint32_t>(picture->height);
  if (picture->bytesNeeded > size) return PICTURE_CUT;
  picture->colourTable = info + kBitmapInfoHeaderSize;
  picture->pixels = picture->colourTable + table;
  return PICTURE_OK;
}

}  // namespace setup
