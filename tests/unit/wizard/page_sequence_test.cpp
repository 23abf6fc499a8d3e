// The page loop walked as a user would: Next on every page, Back from each,
// single-page mode and the frame's place on the screen.
#include "wizard/page_sequence.h"

#include <gtest/gtest.h>

#include <vector>

namespace setup {
namespace {

// The slots a user meets pressing Next on every page: a page that jumps asks
// where to (GoToPage: index - 1, then the loop's Next); the others just go on.
std::vector<int32_t> WalkWithNext(const WizardShape& shape) {
  std::vector<int32_t> seen;
  int32_t index = FirstPageIndex(kNormalWizard);
  while (index != kLoopEnded && seen.size() < 20) {
    if (PageTemplate(index) == kNoTemplate) {
      index = NextPageIndex(index, 2, false);  // the end marker ends the wizard
      continue;
    }
    seen.push_back(index);
    bool jumps = index <= PAGE_COMPONENTS;
    int32_t from = jumps ? NextPageAfter(index, shape) - 1 : index;
    index = NextPageIndex(from, 1, false);
  }
  return seen;
}

TEST(PageSequenceTest, NextOnEveryPageVisitsThePagesThePackageHas) {
  struct Case {
    WizardShape shape;
    std::vector<int32_t> pages;
  };
  const Case cases[] = {
      {{1, true}, {0, 1, 4, 5, 6, 7}},    {{1, false}, {0, 4, 5, 6, 7}},
      {{3, true}, {0, 1, 2, 4, 5, 6, 7}}, {{2, false}, {0, 2, 4, 5, 6, 7}},
      {{0, true}, {0, 1, 2, 4, 5, 6, 7}}, {{0, false}, {0, 4, 5, 6, 7}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WalkWithNext(c.shape), c.pages)
        << c.shape.componentCount << " components, information " << c.shape.hasInformation;
  }
}

TEST(PageSequenceTest, BackLeadsToThePageThatCameBefore) {
  struct Case {
    int32_t from;
    WizardShape shape;
    int32_t to;
  };
  const Case cases[] = {
      {PAGE_INFORMATION, {1, true}, PAGE_WELCOME},
      {PAGE_COMPONENTS, {2, true}, PAGE_INFORMATION},
      {PAGE_COMPONENTS, {2, false}, PAGE_WELCOME},
      {PAGE_DESTINATION, {1, true}, PAGE_INFORMATION},
      {PAGE_DESTINATION, {1, false}, PAGE_WELCOME},
      {PAGE_DESTINATION, {2, false}, PAGE_COMPONENTS},
      {PAGE_DESTINATION, {0, true}, PAGE_COMPONENTS},
      {PAGE_READY, {1, true}, PAGE_DESTINATION},
  };
  for (const Case& c : cases) EXPECT_EQ(PageBefore(c.from, c.shape), c.to) << c.from;
}

TEST(PageSequenceTest, TheLoopsOwnStepsAndSinglePageMode) {
  EXPECT_EQ(NextPageIndex(0, 1007, false), 0);  // Back at the first page reruns it
  EXPECT_EQ(NextPageIndex(5, 1007, false), 4);
  EXPECT_EQ(NextPageIndex(5, 42, false), 5);  // any other result: the same page
  EXPECT_EQ(NextPageIndex(7, 1, false), PAGE_END_MARKER);
  EXPECT_EQ(NextPageIndex(PAGE_END_MARKER, 1, false), kLoopEnded);
  EXPECT_EQ(NextPageIndex(4, 2, false), kLoopEnded);
  for (int32_t result : {1, 2, 1007, 5}) EXPECT_EQ(NextPageIndex(4, result, true), kLoopEnded);
  EXPECT_EQ(FirstPageIndex(4), 4);
  EXPECT_EQ(FirstPageIndex(9), kLoopEnded);  // no such slot: nothing runs
  EXPECT_EQ(PageTemplate(PAGE_READY), PageTemplate(PAGE_WELCOME));
  EXPECT_EQ(PageTextGroup(PAGE_COMPONENTS), 9);
}

TEST(PageSequenceTest, TheFrameIsCentredButStaysOnTheBackground) {
  EXPECT_EQ(FrameOrigin(320, 400, 640), 120);
  EXPECT_EQ(FrameOrigin(320, 501, 640), 70);   // 320 - 250, truncated half
  EXPECT_EQ(FrameOrigin(600, 400, 640), 240);  // pulled back inside the window
  EXPECT_EQ(FrameOrigin(100, 800, 640), 0);    // larger than the window: at 0
}

}  // namespace
}  // namespace setup
