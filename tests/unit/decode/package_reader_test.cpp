// The package reader: the file-data region read at logical offsets across the
// setup file and its volume files, disk prompts on removable media, and the
// counted input it serves to the decoder.
#include "decode/package_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/file_io.h"
#include "tools/streamwriter/stream_writer.h"
#include "unit/support/package_data.h"

namespace setup {
namespace {

using test::ByteWriter;
using test::Noise;
using test::PackageMachine;

std::string Name(const char* packagePath, uint32_t number, uint32_t size = kPathSize) {
  char out[kPathSize] = {};
  if (!VolumeFileName(packagePath, number, out, size)) return "<no room>";
  return out;
}

TEST(VolumeFileNameTest, ReplacesTheExtensionWithTheVolumeNumber) {
  EXPECT_EQ(Name("C:\\SETUP.EXE", 0), "C:\\SETUP.EXE");
  EXPECT_EQ(Name("C:\\SETUP.EXE", 1), "C:\\SETUP.D01");
  EXPECT_EQ(Name("C:\\SETUP.EXE", 2), "C:\\SETUP.D02");
  EXPECT_EQ(Name("C:\\SETUP.EXE", 99), "C:\\SETUP.D99");
  EXPECT_EQ(Name("C:\\SETUP.EXE", 100), "C:\\SETUP.D100");
  EXPECT_EQ(Name("A:\\disk1\\inst.long.exe", 7), "A:\\disk1\\inst.long.D07");
}

TEST(VolumeFileNameTest, AppendsWhenTheFileNameHasNoExtension) {
  EXPECT_EQ(Name("C:\\setup", 1), "C:\\setup.D01");
  EXPECT_EQ(Name("C:\\my.dir\\setup", 1), "C:\\my.dir\\setup.D01");
  EXPECT_EQ(Name("C:\\my.dir\\setup", 12), "C:\\my.dir\\setup.D12");
}

TEST(VolumeFileNameTest, FailsWhenTheNameDoesNotFit) {
  // "C:\S.EXE" (8) becomes "C:\S.D01" (8) + NUL: 9 bytes needed.
  EXPECT_EQ(Name("C:\\S.EXE", 1, 9), "C:\\S.D01");
  EXPECT_EQ(Name("C:\\S.EXE", 1, 8), "<no room>");
}

// Region of 240 bytes: 100 in the setup file, 60 in SETUP.D01, 80 in SETUP.D02.
class PackageReaderTest : public ::testing::Test {
 protected:
  void WriteAll() { m.WriteRegion(region, {100, 60, 80}); }
  std::string At(uint32_t offset, uint32_t n) const { return region.substr(offset, n); }
  std::vector<SimPlatform::MessageBoxCall>& Boxes() { return m.sim.messageBoxes; }

  PackageMachine m;
  const std::string region = Noise(240, 1);
};

TEST_F(PackageReaderTest, BeginStandsAtTheFirstRegionByte) {
  WriteAll();
  m.Begin();
  EXPECT_EQ(TellFile(m.platform, m.context.reader.handle), 41u + 4u);
  EXPECT_EQ(m.Read(10), At(0, 10));
  EXPECT_EQ(m.Read(10), At(10, 10));
}

TEST_F(PackageReaderTest, BeginWithoutThePackageFileIsAnOpenError) {
  EXPECT_EQ(BeginPackageData(m.context), ERR_OPEN);
  EXPECT_EQ(m.context.run.error.number, ERR_OPEN);
  EXPECT_STREQ(m.context.run.error.subject, "C:\\SETUP.EXE");
}

TEST_F(PackageReaderTest, ReadSpanningVolumesReturnsTheFullCount) {
  WriteAll();
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 90), 0);
  bool read = false;
  EXPECT_EQ(m.Read(30, &read), At(90, 30));
  EXPECT_TRUE(read);
  EXPECT_EQ(m.context.reader.volume, 1u);
  // 120..170 runs over the end of SETUP.D01 (160) into SETUP.D02.
  EXPECT_EQ(m.Read(50, &read), At(120, 50));
  EXPECT_TRUE(read);
  EXPECT_EQ(m.context.reader.volume, 2u);
  EXPECT_EQ(m.Read(70), At(170, 70));
}

TEST_F(PackageReaderTest, DataAtTheEndOfTheSetupFileComesFromVolumeOneAfterItsLength) {
  WriteAll();
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 100), 0);
  EXPECT_EQ(m.context.reader.volume, 1u);
  EXPECT_STREQ(m.context.reader.fileName, "C:\\SETUP.D01");
  EXPECT_EQ(TellFile(m.platform, m.context.reader.handle), 4u);
  EXPECT_EQ(m.Read(5), At(100, 5));
}

TEST_F(PackageReaderTest, SkippingForwardThenReadingOnIntoTheNextVolume) {
  WriteAll();
  m.Begin();
  EXPECT_EQ(m.Read(5), At(0, 5));
  // Skip the data of other files, then read over the end of the setup file.
  ASSERT_EQ(SeekPackageData(m.context.reader, 97), 0);
  EXPECT_EQ(m.Read(6), At(97, 6));
}

TEST_F(PackageReaderTest, SeekPassesOverWholeVolumes) {
  WriteAll();
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 170), 0);
  EXPECT_EQ(m.context.reader.volume, 2u);
  EXPECT_EQ(m.context.reader.volumeBase, 160u);
  EXPECT_EQ(TellFile(m.platform, m.context.reader.handle), 4u + 10u);
  EXPECT_EQ(m.Read(10), At(170, 10));
}

TEST_F(PackageReaderTest, SetupFileWithoutDataGoesStraightToVolumeOne) {
  m.WriteRegion(region.substr(0, 160), {0, 160});
  m.Begin();
  EXPECT_EQ(m.Read(12), At(0, 12));
  ASSERT_EQ(SeekPackageData(m.context.reader, 0), 0);
  EXPECT_EQ(m.context.reader.volume, 1u);
  EXPECT_EQ(m.Read(3), At(0, 3));
}

TEST_F(PackageReaderTest, ReadPassesOverAnEmptyVolume) {
  m.WriteRegion(region.substr(0, 160), {100, 0, 0, 60});
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 95), 0);
  bool read = false;
  EXPECT_EQ(m.Read(10, &read), At(95, 10));
  EXPECT_TRUE(read);
  EXPECT_EQ(m.context.reader.volume, 3u);
  ASSERT_EQ(SeekPackageData(m.context.reader, 100), 0);
  EXPECT_EQ(m.context.reader.volume, 3u);
  EXPECT_EQ(m.Read(4), At(100, 4));
}

TEST_F(PackageReaderTest, ReadsStopAtTheVolumeDataBeforeTrailingBytes) {
  m.WriteSetupFile(At(0, 100));
  m.WriteVolume("C:\\SETUP.D01", At(100, 60), "JUNKJUNKJUNK");
  m.WriteVolume("C:\\SETUP.D02", At(160, 80), "MORE JUNK");
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 150), 0);
  EXPECT_EQ(m.Read(20), At(150, 20));
  // Past the last volume's data: the junk is not delivered.
  ASSERT_EQ(SeekPackageData(m.context.reader, 235), 0);
  bool read = true;
  std::string tail = m.Read(10, &read);
  EXPECT_FALSE(read);
  EXPECT_EQ(tail, At(235, 5));
}

TEST_F(PackageReaderTest, MissingVolumeAtASeekIsCorruptWithItsName) {
  m.WriteSetupFile(At(0, 100));
  m.Begin();
  EXPECT_EQ(SeekPackageData(m.context.reader, 100), ERR_CORRUPT);
  EXPECT_EQ(m.context.run.error.number, ERR_CORRUPT);
  EXPECT_STREQ(m.context.run.error.subject, "C:\\SETUP.D01");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PackageReaderTest, MissingLaterVolumeIsNamedInTheError) {
  m.WriteRegion(region.substr(0, 160), {100, 60});
  m.Begin();
  EXPECT_EQ(SeekPackageData(m.context.reader, 200), ERR_CORRUPT);
  EXPECT_STREQ(m.context.run.error.subject, "C:\\SETUP.D02");
}

TEST_F(PackageReaderTest, MissingVolumeDuringAReadFailsTheRead) {
  m.WriteSetupFile(At(0, 100));
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 95), 0);
  bool read = true;
  m.Read(10, &read);
  EXPECT_FALSE(read);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PackageReaderTest, VolumeFilesTooShortForTheirLengthCountAsMissing) {
  const std::vector<std::string> shortFiles = {
      "",                                      // no length field
      std::string("\x3c\x00\x00", 3),          // 3 bytes of a length field
      ByteWriter().U32(10).Raw(At(100, 9)).str(),      // states 10, holds 9
      ByteWriter().U32(0xFFFFFFF0u).Raw(At(100, 60)).str(),
  };
  for (const std::string& contents : shortFiles) {
    SCOPED_TRACE(contents.size());
    m.WriteSetupFile(At(0, 100));
    m.sim.AddFile("C:\\SETUP.D01", contents);
    m.context.run = {};
    m.Begin();
    EXPECT_EQ(SeekPackageData(m.context.reader, 100), ERR_CORRUPT);
    EXPECT_STREQ(m.context.run.error.subject, "C:\\SETUP.D01");
  }
  // Exactly long enough is fine.
  m.sim.AddFile("C:\\SETUP.D01", ByteWriter().U32(10).Raw(At(100, 10)).str());
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 105), 0);
  EXPECT_EQ(m.Read(5), At(105, 5));
}

TEST_F(PackageReaderTest, SeekBackToAnEarlierVolumeReopensIt) {
  WriteAll();
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 200), 0);
  EXPECT_EQ(m.Read(5), At(200, 5));
  ASSERT_EQ(SeekPackageData(m.context.reader, 10), 0);
  EXPECT_EQ(m.context.reader.volume, 0u);
  EXPECT_EQ(m.Read(5), At(10, 5));
  ASSERT_EQ(SeekPackageData(m.context.reader, 130), 0);
  EXPECT_EQ(m.Read(40), At(130, 40));
  ASSERT_EQ(SeekPackageData(m.context.reader, 101), 0);
  EXPECT_EQ(m.Read(3), At(101, 3));
}

TEST_F(PackageReaderTest, ResumingInsideAVolumeFileCountsFromItsLengthField) {
  WriteAll();
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 110), 0);
  // As if the last read had stopped 10 bytes into SETUP.D01's data.
  ASSERT_EQ(m.context.reader.bytesLeft, 50u);
  FileHandle handle = OpenNextVolume(m.context.reader);
  ASSERT_NE(handle, kInvalidFile);
  EXPECT_EQ(m.context.reader.volume, 1u);
  EXPECT_EQ(TellFile(m.platform, handle), 4u + 10u);
  EXPECT_EQ(m.Read(5), At(110, 5));
}

TEST_F(PackageReaderTest, ResumingInsideTheSetupFileCountsFromTheRegionStart) {
  WriteAll();
  m.Begin();
  EXPECT_EQ(m.Read(7), At(0, 7));
  FileHandle handle = OpenNextVolume(m.context.reader);
  ASSERT_NE(handle, kInvalidFile);
  EXPECT_EQ(m.context.reader.volume, 0u);
  EXPECT_EQ(TellFile(m.platform, handle), 41u + 4u + 7u);
  EXPECT_EQ(m.Read(5), At(7, 5));
}

TEST_F(PackageReaderTest, UnreadCountedGoesBackWithinTheVolume) {
  WriteAll();
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 10), 0);
  EXPECT_EQ(m.Read(10), At(10, 10));
  m.context.reader.source.UnreadCounted(m.context.reader.handle, 4);
  EXPECT_EQ(m.Read(3), At(16, 3));
}

TEST_F(PackageReaderTest, UnreadCountedReachingIntoThePreviousVolumeGoesBackThere) {
  WriteAll();
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 95), 0);
  EXPECT_EQ(m.Read(10), At(95, 10));
  ASSERT_EQ(m.context.reader.volume, 1u);
  m.context.reader.source.UnreadCounted(m.context.reader.handle, 7);
  EXPECT_EQ(m.Read(4), At(98, 4));
  EXPECT_EQ(m.Read(4), At(102, 4));
}

// A stream of package format split over the end of the setup file.
class CountedDecodeTest : public PackageReaderTest {
 protected:
  void SetUp() override {
    std::string noise = Noise(6000, 5);
    for (size_t i = 0; i < 6000; ++i) content.push_back(static_cast<char>('a' + noise[i] % 5));
    std::vector<uint8_t> s = tools::WriteStream(reinterpret_cast<const uint8_t*>(content.data()),
                                                content.size());
    stream.assign(s.begin(), s.end());
    ASSERT_GT(stream.size(), 200u);
    std::string all = At(0, 30) + stream + At(30, 20);
    split = 30 + static_cast<uint32_t>(stream.size()) / 2;
    m.WriteSetupFile(all.substr(0, split));
    volume1 = all.substr(split);
  }
  int Decode(std::string* out) {
    out->assign(content.size(), '\0');
    return m.context.reader.decoder.DecodeToMemory(out->data(), static_cast<uint32_t>(out->size()),
                                            m.context.reader.handle,
                                            static_cast<uint32_t>(stream.size()));
  }

  std::string content;
  std::string stream;
  std::string volume1;
  uint32_t split = 0;
};

TEST_F(CountedDecodeTest, StreamRunningIntoTheNextVolumeDecodes) {
  m.WriteVolume("C:\\SETUP.D01", volume1, "trailing junk");
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 30), 0);
  std::string out;
  ASSERT_EQ(Decode(&out), DECODE_OK);
  EXPECT_EQ(out, content);
  EXPECT_EQ(m.context.reader.decoder.InputFile(), m.context.reader.handle);
  EXPECT_EQ(m.context.reader.volume, 1u);
  // Reading goes on right after the stream.
  EXPECT_EQ(m.Read(20), At(30, 20));
}

TEST_F(CountedDecodeTest, MissingVolumeAbortsTheDecode) {
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 30), 0);
  std::string out;
  EXPECT_EQ(Decode(&out), DECODE_ABORTED);
}

TEST_F(CountedDecodeTest, CancelledDiskAbortsTheDecode) {
  m.context.run.removableMedia = true;
  m.sim.answers = {kIdCancel, kIdYes};
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 30), 0);
  std::string out;
  EXPECT_EQ(Decode(&out), DECODE_ABORTED);
  EXPECT_EQ(m.context.run.pageResult, PAGE_END);
  EXPECT_EQ(Boxes().size(), 3u);
}

TEST_F(CountedDecodeTest, DiskInsertedAtThePromptLetsTheDecodeGoOn) {
  m.context.run.removableMedia = true;
  m.platform.onMessageBox = [&](const SimPlatform::MessageBoxCall&, int) {
    m.WriteVolume("C:\\SETUP.D01", volume1);
  };
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 30), 0);
  std::string out;
  ASSERT_EQ(Decode(&out), DECODE_OK);
  EXPECT_EQ(out, content);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Please insert disk number 2.");
}

// --- The reader and its prompt ------------------------------------------------

// A prompt of the test's own: records the disks asked for and gives the
// scripted answers; on the answer `insertAt` it puts SETUP.D01 in place first.
struct ScriptedPrompt {
  std::vector<DiskAnswer> answers;
  size_t insertAt = SIZE_MAX;
  std::function<void()> insert;
  std::vector<uint32_t> disks;

  static DiskAnswer Ask(void* session, uint32_t disk) {
    auto& self = *static_cast<ScriptedPrompt*>(session);
    size_t i = self.disks.size();
    self.disks.push_back(disk);
    if (i == self.insertAt) self.insert();
    return i < self.answers.size() ? self.answers[i] : DiskAnswer::kNotAsked;
  }
};

TEST(PackageReaderPromptTest, AMissingVolumeEndsAsThePromptAnswers) {
  using A = DiskAnswer;
  struct Case {
    const char* what;
    std::vector<A> answers;
    size_t insertAt;  // SIZE_MAX: the volume never appears
    int seek;
    size_t asked;
  };
  const Case cases[] = {
      {"nobody can be asked", {A::kNotAsked}, SIZE_MAX, ERR_CORRUPT, 1},
      {"the user gives up", {A::kGaveUp}, SIZE_MAX, ERR_DISK_CANCELLED, 1},
      {"asked again until nobody can be", {A::kTryAgain, A::kTryAgain, A::kNotAsked}, SIZE_MAX,
       ERR_CORRUPT, 3},
      {"the disk is inserted", {A::kTryAgain}, 0, 0, 1},
      {"inserted at the second question", {A::kTryAgain, A::kTryAgain}, 1, 0, 2},
  };
  const std::string region = Noise(160, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PackageMachine m;
    m.WriteSetupFile(region.substr(0, 100));
    ASSERT_EQ(BeginPackageData(m.context.reader, "C:\\SETUP.EXE", 41, 100), 0);
    ScriptedPrompt prompt{c.answers, c.insertAt,
                          [&] { m.WriteVolume("C:\\SETUP.D01", region.substr(100, 60)); }, {}};
    m.context.reader.prompt = {&ScriptedPrompt::Ask, &prompt};
    EXPECT_EQ(SeekPackageData(m.context.reader, 120), c.seek);
    EXPECT_EQ(prompt.disks, std::vector<uint32_t>(c.asked, 2u));
    if (c.seek == 0) {
      EXPECT_EQ(m.Read(5), region.substr(120, 5));
    } else if (c.seek == ERR_CORRUPT) {
      EXPECT_STREQ(m.context.run.error.subject, "C:\\SETUP.D01");
    }
    // The reader tells no one and ends nothing: that is the session's part.
    EXPECT_TRUE(m.sim.messageBoxes.empty());
    EXPECT_EQ(m.context.run.pageResult, 0);
  }
}

// The setup file and the first volume on one removable drive, swapped by the user.
class DiskSwapTest : public ::testing::Test {
 protected:
  DiskSwapTest() : m("A:\\SETUP.EXE") {}
  void SetUp() override {
    m.context.run.removableMedia = true;
    m.WriteSetupFile(region.substr(0, 100));
    disk1 = *m.sim.FileContents("A:\\SETUP.EXE");
    disk2 = ByteWriter().U32(60).Raw(region.substr(100, 60)).str();
    m.platform.onMessageBox = [this](const SimPlatform::MessageBoxCall& box, int) {
      if (box.text == "Please insert disk number 2.") {
        m.sim.DeleteFileA("A:\\SETUP.EXE");
        m.sim.AddFile("A:\\SETUP.D01", disk2);
      } else if (box.text == "Please insert disk number 1.") {
        m.sim.DeleteFileA("A:\\SETUP.D01");
        m.sim.AddFile("A:\\SETUP.EXE", disk1);
      }
    };
  }

  PackageMachine m;
  const std::string region = Noise(160, 2);
  std::string disk1, disk2;
};

TEST_F(DiskSwapTest, SeekBackAsksForTheEarlierDisk) {
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 120), 0);
  EXPECT_EQ(m.Read(5), region.substr(120, 5));
  ASSERT_EQ(SeekPackageData(m.context.reader, 10), 0);
  EXPECT_EQ(m.Read(5), region.substr(10, 5));
  ASSERT_EQ(m.sim.messageBoxes.size(), 2u);
  EXPECT_EQ(m.sim.messageBoxes[0].text, "Please insert disk number 2.");
  EXPECT_EQ(m.sim.messageBoxes[1].text, "Please insert disk number 1.");
}

TEST_F(DiskSwapTest, ReadCutShortInsideTheSetupFileResumesFromTheRegionStart) {
  m.Begin();
  EXPECT_EQ(m.Read(4), region.substr(0, 4));
  // The disk goes away under the open file: only 20 bytes of data are left
  // readable. The reader asks for disk 1 again and resumes where it stopped.
  m.sim.AddFile("A:\\SETUP.EXE", disk1.substr(0, 41 + 4 + 20));
  bool read = false;
  EXPECT_EQ(m.Read(50, &read), region.substr(4, 50));
  EXPECT_TRUE(read);
  ASSERT_EQ(m.sim.messageBoxes.size(), 1u);
  EXPECT_EQ(m.sim.messageBoxes[0].text, "Please insert disk number 1.");
  EXPECT_EQ(m.Read(10), region.substr(54, 10));
}

}  // namespace
}  // namespace setup
