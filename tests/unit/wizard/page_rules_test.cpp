#include "wizard/page_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

TEST(PageRules, ButtonFlagsAndCaptions) {
  EXPECT_EQ(PageButtonFlags(6, 0xFFFF), 6u);
  EXPECT_EQ(PageButtonFlags(6, 4), 0x106u);
  EXPECT_EQ(PageButtonFlags(0x104, 6), 0x104u);

  struct Case {
    const char* setup;
    const char* page;
    uint32_t size;
    const char* caption;
  } cases[] = {
      {"Demo Setup", "Welcome", 64, "Demo Setup - Welcome"},
      {"Demo Setup", "", 64, "Demo Setup"},
      {"Demo Setup", "Welcome", 14, "Demo Setup - "},
      {"", "Welcome", 64, " - Welcome"},
  };
  for (const Case& c : cases) {
    char out[64];
    BuildPageCaption(out, c.size, c.setup, c.page);
    EXPECT_STREQ(out, c.caption);
  }
}

TEST(PageRules, ChosenComponent) {
  const bool none[3] = {false, false, false};
  const bool second[3] = {false, true, true};
  EXPECT_EQ(ChosenComponent(none, 3, 2), 2);  // nothing checked: left as it is
  EXPECT_EQ(ChosenComponent(second, 3, 0), 1);
  EXPECT_EQ(ChosenComponent(second, 1, 0), 0);  // buttons past the count do not count
}

TEST(PageRules, FoldersAndFormats) {
  EXPECT_TRUE(FolderFits(std::string(258, 'a').c_str()));
  EXPECT_FALSE(FolderFits(std::string(259, 'a').c_str()));
  EXPECT_FALSE(FullPathFits(0));
  EXPECT_TRUE(FullPathFits(259));
  EXPECT_FALSE(FullPathFits(260));

  struct Case {
    const char* format;
    const char* filled;
  } cases[] = {
      {"Install to %s now.", "Install to C:\\App now."},
      {"100%% into %s", "100% into C:\\App"},
      {"%s and %s", "%s and %s"},        // two conversions: shown as it is
      {"%d files to %s", "%d files to %s"},
      {"No folder here", "No folder here"},
  };
  for (const Case& c : cases) {
    char out[64];
    FillTextFormat(out, sizeof out, c.format, "C:\\App");
    EXPECT_STREQ(out, c.filled) << c.format;
  }
  struct NumberCase {
    const char* format;
    const char* filled;
  } numbers[] = {
      {"%d MB", "42 MB"},
      {"%-5lu MB (100%%)", "42    MB (100%)"},
      {"%d of %d MB", "%d of %d MB"},
      {"%s MB", "%s MB"},
      {"%", "%"},
      {"no figure", "no figure"},
  };
  for (const NumberCase& c : numbers) {
    char out[64];
    FillNumberFormat(out, sizeof out, c.format, 42);
    EXPECT_STREQ(out, c.filled) << c.format;
  }
  char message[16];
  BuildCheckMessage(message, sizeof message, "Check:", "Disk is full");
  EXPECT_STREQ(message, "Check:\n\nDisk is");
}

TEST(PageRules, AfterInstallEntriesAtTheEnd) {
  EXPECT_TRUE(KeepAfterInstallEntries(false, 0));
  EXPECT_FALSE(KeepAfterInstallEntries(true, 0));   // closed in the middle of the run
  EXPECT_FALSE(KeepAfterInstallEntries(false, 18));  // stopped by an error
}

}  // namespace
}  // namespace setup
