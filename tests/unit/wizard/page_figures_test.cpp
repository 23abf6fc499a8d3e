// What the destination and finish pages show: space in megabytes, the finish
// page's buttons and the line that takes the restart notice.
#include "wizard/page_figures.h"

#include <gtest/gtest.h>

#include <vector>

#include "unit/support/byte_writer.h"

namespace setup {
namespace {

uint32_t Needed(const std::vector<uint32_t>& sizes) {
  std::vector<test::FileEntrySpec> specs;
  for (uint32_t size : sizes) {
    test::FileEntrySpec spec;
    spec.fileSize = size;
    spec.strings[0] = "f";
    specs.push_back(spec);
  }
  test::Bytes list = test::FileListBytes(specs);
  return NeededMegabytes(list.data() + 4, static_cast<uint32_t>(sizes.size()));
}

TEST(PageFiguresTest, SpaceIsCountedInWholeClustersAndMegabytesRoundedUp) {
  EXPECT_EQ(Needed({}), 0u);
  EXPECT_EQ(Needed({1, 1, 1, 1}), 1u);  // 128 KiB
  EXPECT_EQ(Needed({32 * 32768}), 1u);  // exactly 1 MiB
  EXPECT_EQ(Needed({32 * 32768 + 1}), 2u);
  // Two files of almost 4 GiB each: 8 GiB, not a sum wrapped at 32 bits.
  EXPECT_EQ(Needed({0xFFFF0000u, 0xFFFF0000u}), 8192u);
  EXPECT_EQ(FreeMegabytes(0), 0u);
  EXPECT_EQ(FreeMegabytes(1), 1u);
  EXPECT_EQ(FreeMegabytes(2048), 2u);
  EXPECT_EQ(FreeMegabytes(0xFFFFFFFEu), 4194304u);  // 4 TiB less a kilobyte
  EXPECT_EQ(FreeMegabytes(0xFFFFFFFFu), 0u);        // unknown
}

TEST(PageFiguresTest, TheRestartNoticeTakesTheFirstFreeLine) {
  struct Case {
    FinishLines lines;
    int control;
  };
  const Case cases[] = {
      // Nothing shown: (5,2) empty gives 1001, else (5,3) empty gives 1002, else 1003.
      {{false, false, false, true, true}, 1001},
      {{false, false, false, false, true}, 1002},
      {{false, false, false, false, false}, 1003},
      {{true, false, false, true, true}, 1002},  // the open button's line is taken
      {{false, true, true, true, false}, 1002},  // the box moved up into the button's row
      {{true, true, false, false, false}, 1003},
  };
  for (const Case& c : cases) EXPECT_EQ(RestartNoticeControl(c.lines), c.control);
  EXPECT_EQ(FinishButtonFlags(false), 0x104u);
  EXPECT_EQ(FinishButtonFlags(true), 0x105u);
}

}  // namespace
}  // namespace setup
