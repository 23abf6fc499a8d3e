// WriteEntryToTemporary: an entry's data decoded from the region into a
// ".$$A" file beside the target and verified, rebuilt by a patch from its
// base entry, or written after the package's uninstaller image.
#include "install/entry_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "decode/package_reader.h"
#include "package/file_entry.h"
#include "tools/streamwriter/stream_writer.h"
#include "unit/support/package_data.h"

namespace setup {
namespace {

using test::ByteWriter;
using test::FileEntrySpec;
using test::Noise;
using test::PackageMachine;
using test::RawItem;
using test::ReferenceChecksum;
using test::TimesBlock;

constexpr const char* kTarget = "C:\\app\\file.dll";
constexpr const char* kTemporary = "C:\\app\\file.$$A";

std::string Deflated(const std::string& data) {
  return test::AsString(
      tools::WriteStream(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
}

class RecordingProgress final : public ProgressBar {
 public:
  void SetProgressPercent(int percent) override { values.push_back(percent); }
  std::vector<int> values;
};

class EntryDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m.sim.AddFolder("C:\\app");
    m.context.progress = &progress;
    content = Noise(2500, 31) + std::string(3000, 'k') + Noise(700, 32);
    stream = Deflated(content);
    entry.dataOffset = 33;
    entry.storedSize = static_cast<uint32_t>(stream.size());
    entry.fileSize = static_cast<uint32_t>(content.size());
    entry.checksum = ReferenceChecksum(content);
  }
  // The region: 33 bytes of other data, the entry's stream, 10 more bytes.
  std::string Region() const { return Noise(33, 1) + stream + Noise(10, 2); }
  // The run starts with `earlierSubject` as the subject of no error.
  int Write(const char* target = kTarget, int from = 0, int to = 0,
            const char* earlierSubject = "") {
    m.SetFileList(0, {entry});
    m.Begin();
    m.context.run = {};
    SetSetupError(m.context, 0, earlierSubject);
    CopyText(m.context.targetPath, kTargetPathSize, target);
    return WriteEntryToTemporary(m.context, m.Entry(0, 0), target, temporary, sizeof temporary,
                                 from, to);
  }
  void ExpectFailure(int result, int error, const char* subject) {
    EXPECT_EQ(result, error);
    EXPECT_EQ(m.context.run.error.number, error);
    EXPECT_STREQ(m.context.run.error.subject, subject);
    EXPECT_FALSE(m.sim.FileExists(kTemporary));
    ExpectCleanedUp();
  }
  void ExpectCleanedUp() {
    m.context.reader.decoder.ReleaseBuffers();
    EXPECT_EQ(m.sim.OutstandingBlocks(), 0u);
    EXPECT_EQ(m.sim.invalidFrees, 0);
    EXPECT_LE(m.sim.OpenHandleCount(), 1u);  // at most the package file
  }

  PackageMachine m;
  RecordingProgress progress;
  FileEntrySpec entry;
  std::string content;
  std::string stream;
  char temporary[kPathSize] = {};
};

TEST_F(EntryDataTest, OrdinaryEntryIsDecodedAndVerified) {
  m.WriteSetupFile(Region());
  ASSERT_EQ(Write(), 0) << m.context.run.error.number;
  EXPECT_STREQ(temporary, kTemporary);
  EXPECT_TRUE(m.sim.FileContents(kTemporary) == content);
  EXPECT_FALSE(m.sim.FileExists(kTarget));
  EXPECT_EQ(m.context.run.error.number, 0);
  ExpectCleanedUp();
}

TEST_F(EntryDataTest, TemporaryNameCountsUpWhileTaken) {
  m.WriteSetupFile(Region());
  m.sim.AddFile("C:\\app\\file.$$A", "first");
  m.sim.AddFile("C:\\app\\file.$$B", "second");
  ASSERT_EQ(Write(), 0);
  EXPECT_STREQ(temporary, "C:\\app\\file.$$C");
  EXPECT_TRUE(m.sim.FileContents("C:\\app\\file.$$C") == content);
  EXPECT_EQ(m.sim.FileContents("C:\\app\\file.$$A"), "first");
  EXPECT_EQ(m.sim.FileContents("C:\\app\\file.$$B"), "second");
}

TEST_F(EntryDataTest, TargetWithoutExtensionGetsOneAppended) {
  m.WriteSetupFile(Region());
  m.sim.AddFolder("C:\\my.dir");
  ASSERT_EQ(Write("C:\\my.dir\\readme"), 0);
  EXPECT_STREQ(temporary, "C:\\my.dir\\readme.$$A");
}

TEST_F(EntryDataTest, DataRunningIntoTheNextVolume) {
  std::string region = Region();
  m.WriteRegion(region, {100, static_cast<uint32_t>(region.size() - 100)});
  ASSERT_EQ(Write(), 0) << m.context.run.error.number;
  EXPECT_TRUE(m.sim.FileContents(kTemporary) == content);
}

TEST_F(EntryDataTest, FileTimesAreSet) {
  m.WriteSetupFile(Region());
  entry.flags = FEF_FILE_TIMES;
  entry.times = TimesBlock({FileTime{7, 70}, FileTime{8, 80}, FileTime{9, 90}});
  ASSERT_EQ(Write(), 0);
  auto times = m.sim.FileTimes(kTemporary);
  ASSERT_TRUE(times.has_value());
  EXPECT_EQ((*times)[0].low, 7u);
  EXPECT_EQ((*times)[0].high, 70u);
  EXPECT_EQ((*times)[1].low, 8u);
  EXPECT_EQ((*times)[2].high, 90u);
}

TEST_F(EntryDataTest, ChecksumMismatchNamesTheTarget) {
  m.WriteSetupFile(Region());
  entry.checksum ^= 0x100;
  ExpectFailure(Write(), ERR_CHECKSUM, kTarget);
}

TEST_F(EntryDataTest, DamagedStreamShowsAsAChecksumMismatch) {
  stream = ByteWriter().U8(0x08).U8(0).U8(0).str();  // block type 0
  entry.storedSize = 3;
  m.WriteSetupFile(Region());
  ExpectFailure(Write(), ERR_CHECKSUM, kTarget);
}

// Data that does not come to the entry's fileSize is not its file whatever its
// checksum: writing stops one byte past fileSize and the size found is kept.
TEST_F(EntryDataTest, DataThatIsNotItsFileSizeIsCorrupt) {
  const std::string zeros(1 << 20, '\0');
  struct Row {
    const char* what; const std::string* data; uint32_t fileSize; uint64_t found;
  } rows[] = {
      {"one byte short of the stream", &content, 6199, 6200},
      {"five bytes more than the stream", &content, 6205, 6200},
      {"a MiB of zeros declared as 16 bytes (checksum 0)", &zeros, 16, 17},
      {"zeros declared as 0xFFFFFFF0 bytes", &zeros, 0xFFFFFFF0u, 1u << 20},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    stream = Deflated(*row.data);
    entry.storedSize = static_cast<uint32_t>(stream.size());
    entry.fileSize = row.fileSize;
    entry.checksum = ReferenceChecksum(*row.data);
    m.WriteSetupFile(Region());
    ExpectFailure(Write(), ERR_CHECKSUM, kTarget);
    EXPECT_EQ(m.context.run.error.wrongSize ? m.context.run.error.sizeFound : 0, row.found);
  }
}

TEST_F(EntryDataTest, StoredSizeZeroIsCorrupt) {
  m.WriteSetupFile(Region());
  entry.storedSize = 0;
  EXPECT_EQ(Write(), ERR_CORRUPT);
  EXPECT_EQ(m.context.run.error.number, ERR_CORRUPT);
  EXPECT_FALSE(m.sim.FileExists(kTemporary));
}

TEST_F(EntryDataTest, DataInAMissingVolume) {
  m.WriteSetupFile(Noise(20, 3));
  ExpectFailure(Write(), ERR_CORRUPT, "C:\\SETUP.D01");
}

TEST_F(EntryDataTest, DiskGivenUpAtTheSeek) {
  m.WriteSetupFile(Noise(20, 3));
  m.context.run.removableMedia = true;
  m.sim.answers = {kIdCancel, kIdYes};
  m.SetFileList(0, {entry});
  m.Begin();
  EXPECT_EQ(WriteEntryToTemporary(m.context, m.Entry(0, 0), kTarget, temporary, sizeof temporary,
                                  0, 0),
            ERR_DISK_CANCELLED);
  EXPECT_EQ(m.context.run.pageResult, PAGE_END);
  EXPECT_FALSE(m.sim.FileExists(kTemporary));
}

TEST_F(EntryDataTest, VolumeMissingInTheMiddleOfTheDataAborts) {
  m.WriteSetupFile(Region().substr(0, 33 + stream.size() / 2));
  EXPECT_EQ(Write(), RESULT_ABORTED);
  EXPECT_FALSE(m.sim.FileExists(kTemporary));
  ExpectCleanedUp();
}

TEST_F(EntryDataTest, TemporaryThatCannotBeCreated) {
  m.WriteSetupFile(Region());
  EXPECT_EQ(Write("C:\\missing\\file.dll"), ERR_CREATE);
  EXPECT_EQ(m.context.run.error.number, ERR_CREATE);
  EXPECT_STREQ(m.context.run.error.subject, "C:\\missing\\file.$$A");
}

// --- Patch entries ------------------------------------------------------------------
// Component 0 holds [another entry, the base]; component 1 the patch entry.

class PatchEntryTest : public EntryDataTest {
 protected:
  void SetUp() override {
    EntryDataTest::SetUp();
    baseContent = Noise(3000, 40);
    patched = baseContent.substr(0, 1000) + "NEW" + baseContent.substr(2000, 1000);
    std::string baseStream = Deflated(baseContent);
    // 1000 bytes from 0 (L = 871), 3 literals, 1000 bytes from +1000 (v = 968).
    std::string commands = ByteWriter().U8(0x00).U16(871).U8(0x80).U8(0x82)
                               .U8(0x00).U16(871).U8(0x03).U8(0xC8).str();
    region = Noise(50, 4) + baseStream + RawItem(commands) + RawItem("NEW");
    base.dataOffset = 50;
    base.storedSize = static_cast<uint32_t>(baseStream.size());
    base.fileSize = 3000;
    base.checksum = ReferenceChecksum(baseContent);
    base.strings[0] = "base.dll";
    patch.flags = FEF_PATCH;
    patch.dataOffset = 50 + base.storedSize;
    patch.storedSize = static_cast<uint32_t>(region.size()) - patch.dataOffset;
    patch.fileSize = static_cast<uint32_t>(patched.size());
    patch.checksum = ReferenceChecksum(patched);
    patch.baseComponent = 0;
    patch.baseIndex = 1;
  }
  int WritePatch(int from = 0, int to = 0) {
    m.WriteSetupFile(region);
    FileEntrySpec other;
    other.strings[0] = "other.txt";
    m.SetFileList(0, {other, base});
    m.SetFileList(1, {patch});
    m.Begin();
    m.context.run = {};
    CopyText(m.context.targetPath, kTargetPathSize, kTarget);
    return WriteEntryToTemporary(m.context, m.Entry(1, 0), kTarget, temporary, sizeof temporary,
                                 from, to);
  }

  std::string baseContent, patched, region;
  FileEntrySpec base, patch;
};

TEST_F(PatchEntryTest, BaseIsDecodedVerifiedAndPatched) {
  ASSERT_EQ(WritePatch(0, 50), 0) << m.context.run.error.number;
  EXPECT_STREQ(temporary, kTemporary);
  EXPECT_TRUE(m.sim.FileContents(kTemporary) == patched);
  EXPECT_FALSE(m.sim.FileExists("C:\\app\\file.$AA"));
  // One step of 10000 bytes: 50 after the first command.
  EXPECT_EQ(progress.values, std::vector<int>{50});
  ExpectCleanedUp();
}

TEST_F(PatchEntryTest, WrongBaseChecksumStopsBeforeThePatch) {
  base.checksum ^= 1;
  ExpectFailure(WritePatch(), ERR_CHECKSUM, kTarget);
  EXPECT_FALSE(m.sim.FileExists("C:\\app\\file.$AA"));
  EXPECT_TRUE(progress.values.empty());
}

TEST_F(PatchEntryTest, MissingBaseEntry) {
  patch.baseIndex = 2;
  ExpectFailure(WritePatch(), ERR_CORRUPT, kTarget);
  patch.baseIndex = 1;
  patch.baseComponent = 4;
  ExpectFailure(WritePatch(), ERR_CORRUPT, kTarget);
}

TEST_F(PatchEntryTest, PatchedChecksumMismatch) {
  patch.checksum ^= 1;
  ExpectFailure(WritePatch(), ERR_CHECKSUM, kTarget);
  EXPECT_FALSE(m.sim.FileExists("C:\\app\\file.$AA"));
}

TEST_F(PatchEntryTest, PatchOrBaseThatIsNotItsFileSizeIsCorrupt) {
  struct Row { const char* what; uint32_t baseSize, patchSize; uint64_t found; } rows[] = {
      {"patch output one byte longer than fileSize", 3000, 2002, 2003},
      {"patch output shorter than fileSize", 3000, 2100, 2003},
      {"base declared shorter than its data", 2999, 2003, 3000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    base.fileSize = row.baseSize;
    patch.fileSize = row.patchSize;
    ExpectFailure(WritePatch(), ERR_CHECKSUM, kTarget);
    EXPECT_EQ(m.context.run.error.wrongSize ? m.context.run.error.sizeFound : 0, row.found);
    EXPECT_FALSE(m.sim.FileExists("C:\\app\\file.$AA"));
  }
}

TEST_F(PatchEntryTest, DamagedPatchDataIsCorrupt) {
  // Literal item cut off by the end of the region.
  region.resize(region.size() - 1);
  ExpectFailure(WritePatch(), ERR_CORRUPT, "C:\\SETUP.D01");
  EXPECT_FALSE(m.sim.FileExists("C:\\app\\file.$AA"));
}

// --- The uninstaller ------------------------------------------------------------------

class UninstallerEntryTest : public EntryDataTest {
 protected:
  void SetUp() override {
    EntryDataTest::SetUp();
    image = "MZ" + Noise(600, 50);
    entry.flags = FEF_UNINSTALLER;
    entry.checksum = 0x12345678;  // not looked at
  }
  // The uninstaller's fileSize counts its image and its data.
  void UseImage() {
    entry.fileSize = static_cast<uint32_t>(image.size() + content.size());
    m.context.package.uninstaller =
        Payload{reinterpret_cast<uint8_t*>(image.data()), static_cast<uint32_t>(image.size())};
  }
  std::string image;
};

TEST_F(UninstallerEntryTest, ImageThenDecodedDataWithoutChecksum) {
  m.WriteSetupFile(Region());
  UseImage();
  ASSERT_EQ(Write(), 0) << m.context.run.error.number;
  EXPECT_TRUE(m.sim.FileContents(kTemporary) == image + content);
  ExpectCleanedUp();
}

TEST_F(UninstallerEntryTest, SizeThatDoesNotCountImageAndData) {
  m.WriteSetupFile(Region());
  UseImage();
  struct Row { const char* what; uint32_t fileSize; uint64_t found; } rows[] = {
      {"the data alone", 6200, 6201}, {"one byte short", 6801, 6802}, {"one byte more", 6803, 6802}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    entry.fileSize = row.fileSize;
    ExpectFailure(Write(), ERR_CHECKSUM, kTarget);
    EXPECT_EQ(m.context.run.error.sizeFound, row.found);
  }
}

// Nothing checksums the uninstaller, so a stream that fails says so itself.
TEST_F(UninstallerEntryTest, DamagedStreamIsAChecksumError) {
  stream = ByteWriter().U8(0x08).U8(0).U8(0).str();  // block type 0
  entry.storedSize = 3;
  m.WriteSetupFile(Region());
  UseImage();
  ExpectFailure(Write(), ERR_CHECKSUM, kTarget);
}

// The entry's data is no program on its own: without an image nothing is
// decoded and the file stays empty.
TEST_F(UninstallerEntryTest, WithoutAnImageTheFileStaysEmpty) {
  m.WriteSetupFile(Region());
  ASSERT_EQ(Write(), 0);
  EXPECT_TRUE(m.sim.FileExists(kTemporary));
  EXPECT_EQ(m.sim.FileContents(kTemporary), "");
}

// Room for the image but not for the data: the decoder cannot see the short
// writes, and no checksum would; the file's size on the disk tells.
TEST_F(UninstallerEntryTest, DataThatDoesNotFitOnTheDisk) {
  m.WriteSetupFile(Region());
  UseImage();
  m.sim.AddFolder("A:\\app");
  m.sim.AddFile("A:\\filler", std::string(m.sim.FreeBytes('A') - 4096, 'f'));
  // Sound data that the disk has no room for is a full disk, not damage.
  ExpectFailure(Write("A:\\app\\remove.exe"), ERR_WRITE_SHORT, "A:\\app\\remove.exe");
}

TEST_F(UninstallerEntryTest, ImageThatDoesNotFitOnTheDisk) {
  m.WriteSetupFile(Region());
  UseImage();
  m.sim.AddFolder("A:\\app");
  m.sim.AddFile("A:\\filler", std::string(m.sim.FreeBytes('A') - 512, 'f'));
  EXPECT_EQ(Write("A:\\app\\remove.exe", 0, 0, "earlier subject"), ERR_WRITE_SHORT);
  EXPECT_EQ(m.context.run.error.number, ERR_WRITE_SHORT);
  // A full disk names no file of its own.
  EXPECT_STREQ(m.context.run.error.subject, "earlier subject");
  EXPECT_FALSE(m.sim.FileExists("A:\\app\\remove.$$A"));
}

}  // namespace
}  // namespace setup
