// Pictures from the package and the drawing decisions of the background and
// the progress bar. Picture bytes are written out here field by field (the
// refusals mkpkg reports by name are checked in the tools' tests).
#include <gtest/gtest.h>

#include <vector>

#include "base/bytes.h"
#include "wizard/background_layout.h"
#include "wizard/picture.h"
#include "wizard/progress_layout.h"

namespace setup {
namespace {

struct BmpFields {
  int32_t width = 3, height = 2;
  uint16_t bits = 8, planes = 1;
  uint32_t colours = 0;
};

// A BMP file image with the given header fields, `extra` bytes longer (or
// shorter) than its table and pixels need; headers only when that is huge.
std::vector<uint8_t> Bmp(const BmpFields &f, int extra = 0) {
  uint64_t table = f.colours != 0 ? uint64_t{f.colours} * 4 : f.bits <= 8 ? 4u << f.bits : 0;
  uint64_t stride =
      (uint64_t{static_cast<uint32_t>(f.width > 0 ? f.width : 1)} * f.bits + 31) / 32 * 4;
  uint64_t rows = static_cast<uint32_t>(f.height > 0 ? f.height : -f.height);
  uint64_t need = 14 + 40 + table + stride * rows;
  std::vector<uint8_t> b(need > (1u << 20) ? 54 : need + extra, 0);
  b[0] = 'B';
  b[1] = 'M';
  uint8_t *info = b.data() + 14;
  WriteU32(info, 40);
  WriteU32(info + 4, static_cast<uint32_t>(f.width));
  WriteU32(info + 8, static_cast<uint32_t>(f.height));
  WriteU16(info + 12, f.planes);
  WriteU16(info + 14, f.bits);
  WriteU32(info + 32, f.colours);
  return b;
}

TEST(PictureTest, OnlyPicturesWhoseBytesAllLieInTheRecordAreDrawn) {
  struct Case {
    const char *what;
    BmpFields fields;
    int extra;
    PictureResult expected;
    uint32_t pixelsAt;  // offset of the pixels when drawable
  };
  const Case cases[] = {
      {"8-bit, full table", {}, 0, PICTURE_OK, 14 + 40 + 1024},
      {"8-bit, one byte short", {}, -1, PICTURE_CUT, 0},
      {"8-bit, 2 colours used", {.colours = 2}, 0, PICTURE_OK, 14 + 40 + 8},
      {"8-bit, 257 colours", {.colours = 257}, 0, PICTURE_COLOURS, 0},
      {"24-bit, no table", {.bits = 24}, 0, PICTURE_OK, 14 + 40},
      {"24-bit, 4 colours used", {.bits = 24, .colours = 4}, 0, PICTURE_OK, 14 + 40 + 16},
      {"1-bit rows padded", {.width = 33, .bits = 1}, 0, PICTURE_OK, 14 + 40 + 8},
      {"two planes", {.planes = 2}, 0, PICTURE_PLANES, 0},
      {"pixels past 4 GiB",
       {.width = 0x7FFFFFFF, .height = 0x7FFFFFFF, .bits = 32},
       0,
       PICTURE_CUT,
       0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = Bmp(c.fields, c.extra);
    Picture picture;
    ASSERT_EQ(ReadPicture(bytes.data(), static_cast<uint32_t>(bytes.size()), &picture), c.expected);
    if (c.expected == PICTURE_OK) {
      EXPECT_EQ(picture.pixels - bytes.data(), c.pixelsAt);
      EXPECT_EQ(picture.bytesNeeded, bytes.size());
    }
  }
  // Headers of one byte too few are no picture.
  std::vector<uint8_t> headers = Bmp({.bits = 24});
  Picture picture;
  EXPECT_EQ(ReadPicture(headers.data(), 53, &picture), PICTURE_NOT_BMP);
}

TEST(BackgroundTest, GradientFallsAlongASquareAndBandsSampleEveryEighthRow) {
  struct Row {
    int32_t y, height;
    uint8_t blue;
  };
  // 255 - 255 * y² / h², the fall truncated towards zero.
  for (const Row &r : {Row{0, 480, 255}, Row{240, 480, 192}, Row{472, 480, 9}, Row{480, 480, 0},
                       Row{1, 2000, 255}, Row{1999, 2000, 1}}) {
    EXPECT_EQ(GradientColour(r.y, r.height), (Rgb{0, 0, r.blue})) << r.y << " of " << r.height;
  }
  // The last band of a 480-row area samples 472 once and 480 seven times: the
  // eight pixels the table gives sample 0 are the only blue ones.
  uint8_t pattern[kDitherPatternBytes];
  FillDitherBand(472, 480, pattern);
  int blue = 0;
  for (int i = 0; i < 64; ++i) blue += pattern[i * 3] == 9 && pattern[i * 3 + 1] == 0;
  EXPECT_EQ(blue, 8);
  EXPECT_EQ(pattern[(2 * 8 + 7) * 3], 9);  // row 2, column 7 takes sample 0
  EXPECT_EQ(pattern[(1 * 8 + 7) * 3], 0);  // row 1, column 7 takes sample 1
}

TEST(BackgroundTest, TilesCentringAndThePaletteOfAnEightBitPicture) {
  EXPECT_EQ(TileCount(640, 64) * TileCount(480, 64), 80);  // 10 x 8, the last row cut
  EXPECT_EQ(TileCount(480, 0), 0);
  EXPECT_EQ(CentredStart(10, 100, 40), 40);
  EXPECT_EQ(CentredStart(10, 100, 140), -10);  // larger than the control: clipped
  EXPECT_EQ(CentredStart(0, 2, 5), -1);
  uint8_t table[4 * 16];
  for (int i = 0; i < 64; ++i) table[i] = static_cast<uint8_t>(i);  // blue, green, red, 0
  PaletteEntry system[256], own[256], onPaletteDisplay[256];
  for (int i = 0; i < 256; ++i) system[i] = {0xEE, 0xEE, static_cast<uint8_t>(i), 0};
  BuildPicturePalette(table, 16, nullptr, own);
  BuildPicturePalette(table, 16, system, onPaletteDisplay);
  EXPECT_EQ(own[12].red, 50);
  EXPECT_EQ(own[12].blue, 48);
  EXPECT_EQ(own[12].flags | onPaletteDisplay[12].flags, 0);
  EXPECT_EQ(own[3].flags & own[250].flags, kPaletteNoCollapse);
  EXPECT_EQ(own[100].red | own[100].green | own[100].blue, 0);            // past the table: black
  EXPECT_EQ(onPaletteDisplay[3].blue + onPaletteDisplay[250].blue, 253);  // the system's own
  EXPECT_EQ(onPaletteDisplay[12].red, 50);
}

TEST(ProgressBarTest, BlocksReachThePercentageButNeverTheRightEdge) {
  struct Case {
    uint32_t width, height, percent, count, last;
  };
  const Case cases[] = {
      {200, 20, 0, 1, 1},       // one block even at 0
      {200, 20, 50, 8, 85},     // up to x + 10 < 100
      {200, 20, 100, 16, 181},  // ends at 191, short of the edge at 199
      {8, 20, 100, 1, 1},       // narrower than a block: still the first
  };
  for (const Case &c : cases) {
    int32_t lefts[64];
    uint32_t n = ProgressBlockLefts(c.width, c.height, c.percent, lefts, 64);
    EXPECT_EQ(n, c.count) << c.width << " " << c.percent;
    EXPECT_EQ(lefts[n - 1], static_cast<int32_t>(c.last));
    for (uint32_t i = 1; i < n; ++i) EXPECT_EQ(lefts[i] - lefts[i - 1], 12);
  }
  EXPECT_EQ(ClampPercent(250), 100u);
}

}  // namespace
}  // namespace setup
