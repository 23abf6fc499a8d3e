#include "tools/mkpkg/picture_check.h"

#include "base/bytes.h"
#include "package/package_loader.h"
#include "wizard/picture.h"

namespace setup::tools {

std::string PictureProblem(const std::vector<uint8_t>& bmp) {
  if (bmp.size() > kMaxRecordSize) {
    return "the picture is " + std::to_string(bmp.size()) + " bytes; the setup takes at most " +
           std::to_string(kMaxRecordSize);
  }
  Picture p;
  PictureResult result = ReadPicture(bmp.data(), static_cast<uint32_t>(bmp.size()), &p);
  const uint8_t* info = bmp.data() + kBitmapFileHeaderSize;
  auto bits = std::to_string(p.bitCount);
  switch (result) {
    case PICTURE_OK: return "";
    case PICTURE_NOT_BMP: return "not a BMP file (no \"BM\" file header and 40-byte info header)";
    case PICTURE_INFO_SIZE:
      return "the info header is " + std::to_string(ReadU32(info)) +
             " bytes; the setup reads the 40-byte BITMAPINFOHEADER";
    case PICTURE_SIZE:
      return "width " + std::to_string(p.width) + " and height " + std::to_string(p.height) +
             ": both must be above 0 (the setup cannot draw top-down pictures)";
    case PICTURE_PLANES: return std::to_string(ReadU16(info + 12)) + " planes; a picture has 1";
    case PICTURE_DEPTH: return bits + " bits per pixel; the setup draws 1, 4, 8, 16, 24 or 32";
    case PICTURE_COMPRESSED:
      return "compression " + std::to_string(ReadU32(info + 16)) +
             "; the setup draws uncompressed (BI_RGB) pictures only";
    case PICTURE_COLOURS:
      return std::to_string(ReadU32(info + 32)) + " colours in the table of a " + bits +
             "-bit picture (at most " + std::to_string(1u << p.bitCount) + ")";
    case PICTURE_CUT:
      return "a " + std::to_string(p.width) + " x " + std::to_string(p.height) + " picture of " +
             bits + " bits with its colour table needs " + std::to_string(p.bytesNeeded) +
             " bytes; the file has " + std::to_string(bmp.size());
  }
  return "";
}

}  // namespace setup::tools
