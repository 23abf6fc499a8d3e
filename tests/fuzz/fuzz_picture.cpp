// Pictures from the package: a picture that passes the check has every byte
// GDI reads (headers, colour table, pixel rows) inside the record, which the
// sanitizer sees by touching them all.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "wizard/background_layout.h"
#include "wizard/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A copy of exactly the input's size, so that a read past it is caught.
  std::vector<uint8_t> record(data, data + size);
  setup::Picture picture;
  if (setup::ReadPicture(record.data(), static_cast<uint32_t>(record.size()), &picture) !=
      setup::PICTURE_OK) {
    return 0;
  }
  volatile uint8_t sum = 0;
  const uint8_t *end = record.data() + picture.bytesNeeded;
  for (const uint8_t *p = picture.info; p < end; ++p) sum = sum + *p;
  if (picture.bitCount == 8) {
    setup::PaletteEntry palette[256];
    uint32_t colours = picture.colourCount < 256 ? picture.colourCount : 256;
    setup::BuildPicturePalette(picture.colourTable, colours, nullptr, palette);
  }
  return 0;
}
