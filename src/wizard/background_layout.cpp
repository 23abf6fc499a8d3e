#include "wizard/background_layout.h"

namespace setup {

namespace {

// Which of a band's eight sample colours each pattern pixel takes.
constexpr uint8_t kDitherTable[8][8] = {
    {0, 3, 1, 4, 2, 5, 3, 6}, {7, 4, 6, 3, 5, 2, 4, 1}, {2, 5, 3, 6, 4, 7, 5, 0},
    {1, 6, 0, 5, 7, 4, 6, 3}, {4, 7, 5, 0, 6, 1, 7, 2}, {3, 0, 2, 7, 1, 6, 0, 5},
    {6, 1, 7, 2, 0, 3, 1, 4}, {5, 2, 4, 1, 3, 0, 2, 7},
};

constexpr Rgb kGradientStart = {0, 0, 255};
constexpr Rgb kGradientEnd = {0, 0, 0};

// start + (end - start) * y² / height², truncated towards zero. The product
// is taken in 64 bits: y² alone passes 32 bits on a screen 46341 rows high.
uint8_t Blend(uint8_t start, uint8_t end, int32_t y, int32_t height) {
  int64_t step = (int64_t{end} - start) * y * y / (int64_t{height} * height);
  return static_cast<uint8_t>(start + step);
}

}  // namespace

Rgb GradientColour(int32_t y, int32_t height) {
  if (height <= 0) return kGradientStart;
  return {Blend(kGradientStart.red, kGradientEnd.red, y, height),
          Blend(kGradientStart.green, kGradientEnd.green, y, height),
          Blend(kGradientStart.blue, kGradientEnd.blue, y, height)};
}

void FillDitherBand(int32_t bandTop, int32_t height, uint8_t pattern[kDitherPatternBytes]) {
  Rgb samples[8];
  for (int k = 0; k < 8; ++k) {
    int32_t row = bandTop + 8 * k;
    samples[k] = GradientColour(row < height ? row : height, height);
  }
  uint8_t *p = pattern;
  for (const auto &row : kDitherTable) {
    for (uint8_t which : row) {
      *p++ = samples[which].blue;
      *p++ = samples[which].green;
      *p++ = samples[which].red;
    }
  }
}

int32_t TileCount(int32_t extent, int32_t tile) {
  if (tile <= 0 || extent <= 0) return 0;
  return static_cast<int32_t>((int64_t{extent} + tile - 1) / tile);
}

int32_t CentredStart(int32_t at, int32_t control, int32_t picture) {
  return static_cast<int32_t>(at + (int64_t{control} - picture) / 2);
}

void BuildPicturePalette(const uint8_t *colourTable, uint32_t colourCount,
                         const PaletteEntry *systemPalette, PaletteEntry out[256]) {
  for (uint32_t i = 0; i < 256; ++i) {
    PaletteEntry entry = {0, 0, 0, 0};
    if (i < colourCount) {
      const uint8_t *c = colourTable + i * 4;
      entry = {c[2], c[1], c[0], 0};
    }
    // The first and last ten are the display's static colours: on a palette
    // display they are taken over as the system has them.
    if (i < 10 || i >= 246) {
      entry.flags = kPaletteNoCollapse;
      if (systemPalette != nullptr) entry = systemPalette[i];
    }
    out[i] = entry;
  }
}

}  // namespace setup
