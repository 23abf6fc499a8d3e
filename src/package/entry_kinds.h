// The values of a file entry's folder kind and placement. They sit below the
// entry's own layout because the path code, which sits below the install
// engine, resolves targets from them.
#pragma once

#include <cstdint>

namespace setup {

// folderKind
constexpr uint8_t FOLDER_INSTALL = 0;
constexpr uint8_t FOLDER_WINDOWS = 1;
constexpr uint8_t FOLDER_SYSTEM = 2;
constexpr uint8_t FOLDER_FONTS = 3;

// placement
constexpr uint8_t PLACE_KEEP = 0;
constexpr uint8_t PLACE_UNINSTALL = 1;
constexpr uint8_t PLACE_SOURCE = 2;

}  // namespace setup
