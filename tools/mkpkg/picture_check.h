// Whether a file is a picture the setup can draw: a BMP file image whose
// pixels StretchDIBits takes as they are, found where the setup looks for them
// (after the 40-byte BITMAPINFOHEADER and its colour table).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace setup::tools {

// "" for a drawable picture; otherwise what is wrong with it.
std::string PictureProblem(const std::vector<uint8_t>& bmp);

}  // namespace setup::tools
