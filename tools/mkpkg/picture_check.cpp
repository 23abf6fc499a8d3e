#include "tools/mkpkg/picture_check.h"

#include "package/package_loader.h"

namespace setup::tools {

namespace {

constexpr size_t kFileHeader = 14;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kBiRgb = 0;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

std::string PictureProblem(const std::vector<uint8_t>& bmp) {
  if (bmp.size() < kFileHeader + kInfoHeader || bmp[0] != 'B' || bmp[1] != 'M') {
    return "not a BMP file (no \"BM\" file header and 40-byte info header)";
  }
  if (bmp.size() > kMaxRecordSize) {
    return "the picture is " + std::to_string(bmp.size()) + " bytes; the setup takes at most " +
           std::to_string(kMaxRecordSize);
  }
  const size_t h = kFileHeader;
  uint32_t infoSize = U32(bmp, h);
  int32_t width = static_cast<int32_t>(U32(bmp, h + 4));
  int32_t height = static_cast<int32_t>(U32(bmp, h + 8));
  uint16_t planes = U16(bmp, h + 12);
  uint16_t bits = U16(bmp, h + 14);
  uint32_t compression = U32(bmp, h + 16);
  uint32_t colours = U32(bmp, h + 32);
  if (infoSize != kInfoHeader) {
    return "the info header is " + std::to_string(infoSize) + " bytes; the setup reads the 40-byte BITMAPINFOHEADER";
  }
  if (width <= 0 || height <= 0) {
    return "width " + std::to_string(width) + " and height " + std::to_string(height) +
           ": both must be above 0 (the setup cannot draw top-down pictures)";
  }
  if (planes != 1) return std::to_string(planes) + " planes; a picture has 1";
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return std::to_string(bits) + " bits per pixel; the setup draws 1, 4, 8, 16, 24 or 32";
  }
  if (compression != kBiRgb) {
    return "compression " + std::to_string(compression) + "; the setup draws uncompressed (BI_RGB) pictures only";
  }
  uint64_t table = 0;
  if (colours != 0) {
    if (bits <= 8 && colours > (1u << bits)) {
      return std::to_string(colours) + " colours in the table of a " + std::to_string(bits) +
             "-bit picture (at most " + std::to_string(1u << bits) + ")";
    }
    table = uint64_t{colours} * 4;
  } else if (bits <= 8) {
    table = uint64_t{4} << bits;
  }
  uint64_t stride = (uint64_t{static_cast<uint32_t>(width)} * bits + 31) / 32 * 4;
  uint64_t need = kFileHeader + kInfoHeader + table + stride * static_cast<uint32_t>(height);
  if (need > bmp.size()) {
    return "a " + std::to_string(width) + " x " + std::to_string(height) + " picture of " +
           std::to_string(bits) + " bits with its colour table needs " + std::to_string(need) +
           " bytes; the file has " + std::to_string(bmp.size());
  }
  return "";
}

}  // namespace setup::tools
