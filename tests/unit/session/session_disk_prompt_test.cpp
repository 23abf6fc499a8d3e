// The session's disk prompt, through the package reader it answers for: the
// prompt and the cancel question on removable media, trying again, and giving
// up, which ends the wizard and forgets the after-install entries.
#include "session/session_disk_prompt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "decode/package_reader.h"
#include "session/setup_context.h"
#include "unit/support/package_data.h"

namespace setup {
namespace {

using test::ByteWriter;
using test::Noise;
using test::PackageMachine;

class DiskPromptTest : public ::testing::Test {
 protected:
  std::string At(uint32_t offset, uint32_t n) const { return region.substr(offset, n); }
  std::vector<SimPlatform::MessageBoxCall>& Boxes() { return m.sim.messageBoxes; }

  void SetUp() override {
    m.context.run.removableMedia = true;
    m.context.run.pageResult = PAGE_NEXT;
  }
  void InsertVolumeOneAtBox(size_t box) {
    m.platform.onMessageBox = [this, box](const SimPlatform::MessageBoxCall&, int) {
      if (Boxes().size() == box) m.WriteVolume("C:\\SETUP.D01", At(100, 60));
    };
  }
  void ExpectPrompt(size_t i, const std::string& text) {
    ASSERT_LT(i, Boxes().size());
    EXPECT_EQ(Boxes()[i].text, text);
    EXPECT_EQ(Boxes()[i].caption, test::kCaption);
    EXPECT_EQ(Boxes()[i].type, kMbOkCancel | kMbIconInformation);
  }
  void ExpectQuestion(size_t i) {
    ASSERT_LT(i, Boxes().size());
    EXPECT_EQ(Boxes()[i].text, test::kCancelQuestion);
    EXPECT_EQ(Boxes()[i].caption, test::kCaption);
    EXPECT_EQ(Boxes()[i].type, kMbYesNo | kMbIconQuestion);
  }

  PackageMachine m;
  const std::string region = Noise(240, 1);
};

TEST_F(DiskPromptTest, AsksForDiskTwoAndTriesAgainOnOk) {
  m.WriteSetupFile(At(0, 100));
  InsertVolumeOneAtBox(1);
  m.sim.answers = {kIdOk};
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 100), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  ExpectPrompt(0, "Please insert disk number 2.");
  EXPECT_EQ(m.Read(10), At(100, 10));
  EXPECT_EQ(m.context.run.pageResult, PAGE_NEXT);
}

TEST_F(DiskPromptTest, AsksAgainWhileTheDiskIsStillMissing) {
  m.WriteSetupFile(At(0, 100));
  InsertVolumeOneAtBox(3);
  m.sim.answers = {kIdOk, kIdOk, kIdOk};
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 100), 0);
  EXPECT_EQ(Boxes().size(), 3u);
  ExpectPrompt(2, "Please insert disk number 2.");
}

TEST_F(DiskPromptTest, NoToTheCancelQuestionShowsThePromptAgain) {
  m.WriteSetupFile(At(0, 100));
  InsertVolumeOneAtBox(3);
  m.sim.answers = {kIdCancel, kIdNo, kIdOk};
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 100), 0);
  ASSERT_EQ(Boxes().size(), 3u);
  ExpectPrompt(0, "Please insert disk number 2.");
  ExpectQuestion(1);
  ExpectPrompt(2, "Please insert disk number 2.");
  EXPECT_EQ(m.context.run.pageResult, PAGE_NEXT);
  EXPECT_EQ(m.Read(3), At(100, 3));
}

TEST_F(DiskPromptTest, YesToTheCancelQuestionEndsTheWizard) {
  m.WriteSetupFile(At(0, 100));
  uint8_t someEntry[4] = {};
  m.context.run.documentEntry = someEntry;
  m.context.run.programEntry = someEntry;
  m.context.run.screenSaverEntry = someEntry;
  m.sim.answers = {kIdCancel, kIdYes};
  m.Begin();
  EXPECT_EQ(SeekPackageData(m.context.reader, 100), ERR_DISK_CANCELLED);
  ASSERT_EQ(Boxes().size(), 3u);
  ExpectPrompt(0, "Please insert disk number 2.");
  ExpectQuestion(1);
  EXPECT_EQ(Boxes()[2].text, test::kNotCompleted);
  EXPECT_EQ(Boxes()[2].caption, test::kCaption);
  EXPECT_EQ(Boxes()[2].type, kMbOk | kMbIconInformation);
  EXPECT_EQ(m.context.run.pageResult, PAGE_END);
  EXPECT_EQ(m.context.run.documentEntry, nullptr);
  EXPECT_EQ(m.context.run.programEntry, nullptr);
  EXPECT_EQ(m.context.run.screenSaverEntry, nullptr);
}

TEST_F(DiskPromptTest, CancelDuringAReadFailsTheRead) {
  m.WriteSetupFile(At(0, 100));
  m.sim.answers = {kIdCancel, kIdYes};
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 96), 0);
  bool read = true;
  m.Read(10, &read);
  EXPECT_FALSE(read);
  EXPECT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(m.context.run.pageResult, PAGE_END);
}

TEST_F(DiskPromptTest, DiskNumberIsTheVolumeNumberPlusOne) {
  m.WriteRegion(region.substr(0, 160), {100, 60});
  m.sim.answers = {kIdCancel, kIdYes};
  m.Begin();
  EXPECT_EQ(SeekPackageData(m.context.reader, 170), ERR_DISK_CANCELLED);
  ExpectPrompt(0, "Please insert disk number 3.");
}

TEST_F(DiskPromptTest, TooShortVolumeFileIsAskedForLikeAMissingOne) {
  m.WriteSetupFile(At(0, 100));
  m.sim.AddFile("C:\\SETUP.D01", ByteWriter().U32(60).Raw(At(100, 20)).str());
  InsertVolumeOneAtBox(1);
  m.sim.answers = {kIdOk};
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 150), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(m.Read(10), At(150, 10));
}

TEST_F(DiskPromptTest, LongPromptTextIsCutToItsBuffer) {
  m.texts[28] = std::string(500, 'x') + " %d";
  m.InstallTexts();
  m.WriteSetupFile(At(0, 100));
  m.sim.answers = {kIdCancel, kIdYes};
  m.Begin();
  EXPECT_EQ(SeekPackageData(m.context.reader, 100), ERR_DISK_CANCELLED);
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes()[0].text, std::string(199, 'x'));
}

}  // namespace
}  // namespace setup
