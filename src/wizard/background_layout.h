// The background window's drawing decisions: the blue-to-black gradient, its
// dithered bands on true-colour displays, where tiles and centred pictures go,
// and the palette an 8-bit picture gets. The Win32 painting only carries them
// out.
#pragma once

#include <cstdint>

namespace setup {

struct Rgb {
  uint8_t red, green, blue;
  bool operator==(const Rgb &) const = default;
};

// The gradient's colour for the row `y` rows below the top of a client area
// `height` rows high: blue falls from 255 to 0 along y² / height².
Rgb GradientColour(int32_t y, int32_t height);

constexpr uint32_t kDitherPatternBytes = 192;  // 8 by 8 pixels, blue-green-red

// The 8 by 8 pattern of the band whose top row is `bandTop`: its eight sample
// colours are the gradient at rows bandTop + 8k (no further than `height`),
// laid out by the dither table, row by row as the pattern bitmap stores them.
void FillDitherBand(int32_t bandTop, int32_t height, uint8_t pattern[kDitherPatternBytes]);

// How many tiles of `tile` pixels, starting at 0, it takes to cover `extent`
// pixels (the last one cut at the edge); 0 for a tile of no size.
int32_t TileCount(int32_t extent, int32_t tile);

// Where a picture of `picture` pixels starts when centred in a control of
// `control` pixels at `at` (either axis); it may start before the control.
int32_t CentredStart(int32_t at, int32_t control, int32_t picture);

struct PaletteEntry {
  uint8_t red, green, blue, flags;
};
constexpr uint8_t kPaletteNoCollapse = 0x04;

// The 256-entry palette of an 8-bit picture: each entry from the colour table
// (blue, green, red, reserved; entries past `colourCount` black), the first
// and last ten marked not to collapse. With `systemPalette` (the display's 256
// entries, on a palette display of 8 bits) those twenty are the system's
// entries as they are.
void BuildPicturePalette(const uint8_t *colourTable, uint32_t colourCount,
                         const PaletteEntry *systemPalette, PaletteEntry out[256]);

}  // namespace setup
