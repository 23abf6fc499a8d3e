// ApplyPatch: command and literal streams written byte by byte, applied to a
// base file in a simulated folder, the result checked byte for byte against
// slices of the base.
#include "install/patch_apply.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "package/file_entry.h"
#include "unit/support/package_data.h"

namespace setup {
namespace {

using test::ByteWriter;
using test::CompressedItem;
using test::FileEntrySpec;
using test::Noise;
using test::PackageMachine;
using test::RawItem;
using test::ReferenceChecksum;
using test::StoredStream;
using test::TimesBlock;

// The run's reader, error, progress bar and target, as the install engine
// hands them over.
PatchTarget Target(PackageMachine& m) {
  return {m.context.reader, m.context.run.error, m.context.progress, m.context.targetPath};
}

constexpr const char* kBase = "C:\\app\\file.$$A";
constexpr const char* kOutput = "C:\\app\\file.$AA";
constexpr const char* kTarget = "C:\\app\\file.dll";
constexpr const char* kEarlierSubject = "C:\\earlier";
constexpr uint32_t kPatchOffset = 17;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

class RecordingProgress final : public ProgressBar {
 public:
  void SetProgressPercent(int percent) override { values.push_back(percent); }
  std::vector<int> values;
};

class PatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyText(m.context.targetPath, kTargetPathSize, kTarget);
    m.context.progress = &progress;
  }

  // Writes the patch data (two raw items unless `items` is given) behind 17
  // bytes of other data, the entry and the base file, then applies the patch.
  int Apply(const std::string& commands, const std::string& literals, int from = 0, int to = 0,
            std::string items = {}) {
    if (items.empty()) {
      items = RawItem(commands, commands.size() > 0xFFFF) + RawItem(literals, literals.size() > 0xFFFF);
    }
    m.WriteSetupFile(Noise(kPatchOffset, 8) + items);
    fields.dataOffset = kPatchOffset;
    m.SetFileList(0, {fields});
    m.sim.AddFile(kBase, base);
    m.Begin();
    return ApplyPatch(Target(m), m.Entry(0, 0), kBase, from, to);
  }
  // The patch must rebuild `expected` into the base path.
  void ExpectResult(const std::string& commands, const std::string& literals,
                    const std::string& expected) {
    fields.fileSize = static_cast<uint32_t>(expected.size());
    fields.checksum = ReferenceChecksum(expected);
    ASSERT_EQ(Apply(commands, literals), 1) << "error " << m.context.run.error.number;
    std::optional<std::string> got = m.sim.FileContents(kBase);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->size(), expected.size());
    EXPECT_TRUE(*got == expected) << "patched file differs";
    EXPECT_FALSE(m.sim.FileExists(kOutput));
    ExpectCleanedUp();
  }
  // The patch must fail with `error` naming `subject`, leaving the base. An
  // error without a file of its own keeps kEarlierSubject.
  void ExpectFailure(const std::string& commands, const std::string& literals, int error,
                     const char* subject) {
    m.context.run = {};
    SetSetupError(m.context, 0, kEarlierSubject);
    EXPECT_EQ(Apply(commands, literals), 0);
    EXPECT_EQ(m.context.run.error.number, error);
    EXPECT_STREQ(m.context.run.error.subject, subject);
    EXPECT_FALSE(m.sim.FileExists(kOutput));
    EXPECT_EQ(m.sim.FileContents(kBase), base);
    ExpectCleanedUp();
  }
  void ExpectCleanedUp() {
    m.context.reader.decoder.ReleaseBuffers();
    EXPECT_EQ(m.sim.OutstandingBlocks(), 0u);
    EXPECT_EQ(m.sim.invalidFrees, 0);
    EXPECT_EQ(m.sim.OpenHandleCount(), 1u);  // the package file
  }
  std::string B(size_t from, size_t n) const { return base.substr(from, n); }

  PackageMachine m;
  RecordingProgress progress;
  FileEntrySpec fields;
  std::string base = Noise(70000, 21);
};

// --- Commands -----------------------------------------------------------------

TEST_F(PatchTest, LiteralRunsCopyOneToThirtyTwoBytes) {
  std::string literals = "A" + std::string("BCDEFG") + Noise(32, 4);
  ExpectResult(Bytes({0x80, 0x85, 0x9F}), literals, literals);
}

TEST_F(PatchTest, LiteralsFollowedByBaseBytes) {
  // 0xA5: 1 literal, 7 base bytes; 0xC0: 2 literals, 2 base bytes;
  // 0xFF: 3 literals, 33 base bytes (distance +5).
  std::string commands = Bytes({0xA5, 0x80, 0xC0, 0x80, 0xFF, 0x85});
  std::string expected = "L" + B(0, 7) + "MN" + B(7, 2) + "OPQ" + B(14, 33);
  ExpectResult(commands, "LMNOPQ", expected);
}

TEST_F(PatchTest, BaseRunsOfEveryLength) {
  std::string commands = Bytes({0x01, 0x80,           // 2 bytes
                                0x7F, 0x80,           // 128 bytes
                                0x00, 0x00, 0x00, 0x80,  // L = 0: 129 bytes
                                0x00, 0x02, 0x01, 0x80});  // L = 0x0102: 387 bytes
  ExpectResult(commands, "", B(0, 2) + B(2, 128) + B(130, 129) + B(259, 387));
}

TEST_F(PatchTest, CopyLongerThanTheCopyBufferGoesInPieces) {
  // L = 65535: 65664 bytes, more than one 65536-byte buffer.
  ExpectResult(Bytes({0x00, 0xFF, 0xFF, 0x80}), "", B(0, 65664));
}

TEST_F(PatchTest, EveryDistanceForm) {
  struct Case {
    int distance;
    std::string encoded;
  };
  const std::vector<Case> cases = {
      {0, Bytes({0x80})},          {31, Bytes({0x9F})},          {-32, Bytes({0xA0})},
      {-1, Bytes({0xBF})},         {32, Bytes({0x00, 0x00})},    {-33, Bytes({0x7F, 0xFF})},
      {16415, Bytes({0x3F, 0xFF})}, {-16416, Bytes({0x40, 0x00})}, {4690, Bytes({0x12, 0x32})},
      {16416, Bytes({0xC0, 0x00, 0x00})}, {-16417, Bytes({0xFF, 0xFF, 0xFF})},
      {16674, Bytes({0xC0, 0x01, 0x02})}, {-16418, Bytes({0xFF, 0xFF, 0xFE})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.distance);
    m.context.run = {};
    // First 20 bytes from 19980 (d = 19980: v = 3564 in the 3-byte form), so
    // the base position is 20000; then 4 bytes at the distance under test.
    std::string commands = Bytes({0x13, 0xC0, 0x0D, 0xEC, 0x03}) + c.encoded;
    ExpectResult(commands, "", B(19980, 20) + B(20000 + c.distance, 4));
  }
}

TEST_F(PatchTest, DistanceCountsFromTheEndOfThePreviousBaseCopy) {
  // 50 bytes at +50 end at 100; a literal does not move the base position;
  // then -10 reads from 90.
  std::string commands = Bytes({0x31, 0x00, 0x12, 0x80, 0x04, 0xB6});
  ExpectResult(commands, "x", B(50, 50) + "x" + B(90, 5));
}

TEST_F(PatchTest, CopiesUpToTheLastBaseByte) {
  base = "0123456789";
  ExpectResult(Bytes({0x01, 0x88}), "", "89");
}

TEST_F(PatchTest, EmptyCommandStreamGivesAnEmptyFile) {
  ExpectResult("", "", "");
  fields.checksum = 1;
  base = "base";
  ExpectFailure("", "", ERR_CHECKSUM, kTarget);
}

TEST_F(PatchTest, CompressedStreams) {
  std::string commands = Bytes({0x83, 0x01, 0x82});
  std::string literals = "wxyz";
  std::string expected = "wxyz" + B(2, 2);
  fields.fileSize = 6;
  fields.checksum = ReferenceChecksum(expected);
  std::string items = CompressedItem(3, StoredStream(commands)) +
                      CompressedItem(4, StoredStream(literals), true, true);
  ASSERT_EQ(Apply("", "", 0, 0, items), 1) << m.context.run.error.number;
  EXPECT_EQ(m.sim.FileContents(kBase), expected);
}

TEST_F(PatchTest, OutputNameCountsUpWhileTaken) {
  m.sim.AddFile(kOutput, "someone else's");
  fields.fileSize = 1;
  fields.checksum = ReferenceChecksum("!");
  ASSERT_EQ(Apply(Bytes({0x80}), "!"), 1);
  EXPECT_EQ(m.sim.FileContents(kBase), "!");
  EXPECT_EQ(m.sim.FileContents(kOutput), "someone else's");
  EXPECT_FALSE(m.sim.FileExists("C:\\app\\file.$AB"));
}

TEST_F(PatchTest, FileTimesAreSetOnTheOutput) {
  fields.flags = FEF_FILE_TIMES;
  fields.times = TimesBlock({FileTime{0x11111111, 0x01}, FileTime{0x22222222, 0x02},
                  FileTime{0x33333333, 0x03}});
  ExpectResult(Bytes({0x80}), "t", "t");
  auto times = m.sim.FileTimes(kBase);
  ASSERT_TRUE(times.has_value());
  EXPECT_EQ((*times)[0].low, 0x11111111u);
  EXPECT_EQ((*times)[0].high, 1u);
  EXPECT_EQ((*times)[1].low, 0x22222222u);
  EXPECT_EQ((*times)[1].high, 2u);
  EXPECT_EQ((*times)[2].low, 0x33333333u);
  EXPECT_EQ((*times)[2].high, 3u);
}

// --- Damaged patch data -----------------------------------------------------------

TEST_F(PatchTest, MoreLiteralsThanTheStreamHolds) {
  // The subject of a failed write is the file being written. The entry's
  // size is out of reach, so that the damage is what stops the patch.
  fields.fileSize = 1000;
  ExpectFailure(Bytes({0x85}), "abc", ERR_WRITE, kOutput);
  ExpectFailure(Bytes({0x80, 0x80}), "a", ERR_WRITE, kOutput);
  ExpectFailure(Bytes({0xA5, 0x80}), "", ERR_WRITE, kOutput);
}

TEST_F(PatchTest, CommandOrDistanceCutOffByTheEndOfTheStream) {
  const std::vector<std::string> cut = {
      Bytes({0x00}),             Bytes({0x00, 0x05}),       Bytes({0x00, 0x05, 0x00}),
      Bytes({0x01}),             Bytes({0x01, 0x00}),       Bytes({0x01, 0xC0}),
      Bytes({0x01, 0xC0, 0x00}), Bytes({0xA5}),             Bytes({0x80, 0x01}),
  };
  fields.fileSize = 1000;
  for (const std::string& commands : cut) {
    SCOPED_TRACE(commands.size());
    ExpectFailure(commands, "xy", ERR_WRITE, kOutput);
  }
}

TEST_F(PatchTest, BaseCopyOutsideTheBaseFile) {
  base = "0123456789";
  fields.fileSize = 1000;  // room for what the copies would write
  ExpectFailure(Bytes({0x01, 0xBF}), "", ERR_CORRUPT, kTarget);              // from -1
  ExpectFailure(Bytes({0x01, 0x89}), "", ERR_CORRUPT, kTarget);              // 9..11
  ExpectFailure(Bytes({0x01, 0x80, 0x01, 0xBC}), "", ERR_CORRUPT, kTarget);  // 2 - 4
  ExpectFailure(Bytes({0x01, 0xDF, 0xFF, 0xFF}), "", ERR_CORRUPT, kTarget);  // 2^21 + 16415
  ExpectFailure(Bytes({0x01, 0xE0, 0x00, 0x00}), "", ERR_CORRUPT, kTarget);  // -(2^21 + 16416)
}

TEST_F(PatchTest, ChecksumMismatch) {
  fields.fileSize = 2;
  fields.checksum = ReferenceChecksum("ab") + 1;
  ExpectFailure(Bytes({0x81}), "ab", ERR_CHECKSUM, kTarget);
}

TEST_F(PatchTest, UnreadablePatchDataNamesThePackage) {
  m.context.run = {};
  std::string items = CompressedItem(3, Bytes({0x08, 0x00, 0x00})) + RawItem("");
  EXPECT_EQ(Apply("", "", 0, 0, items), 0);
  EXPECT_EQ(m.context.run.error.number, ERR_CORRUPT);
  EXPECT_STREQ(m.context.run.error.subject, "C:\\SETUP.EXE");
  EXPECT_FALSE(m.sim.FileExists(kOutput));
  EXPECT_EQ(m.sim.FileContents(kBase), base);
  ExpectCleanedUp();
}

TEST_F(PatchTest, PatchDataInAMissingVolume) {
  m.context.run = {};
  fields.dataOffset = 500;
  m.WriteSetupFile(Noise(100, 1));
  m.SetFileList(0, {fields});
  m.sim.AddFile(kBase, base);
  m.Begin();
  EXPECT_EQ(ApplyPatch(Target(m), m.Entry(0, 0), kBase, 0, 0), 0);
  EXPECT_EQ(m.context.run.error.number, ERR_CORRUPT);
  EXPECT_STREQ(m.context.run.error.subject, "C:\\SETUP.D01");
  EXPECT_EQ(m.sim.FileContents(kBase), base);
}

// --- Files and memory -------------------------------------------------------------

TEST_F(PatchTest, MissingBaseFile) {
  m.WriteSetupFile(Noise(kPatchOffset, 8) + RawItem("") + RawItem(""));
  m.SetFileList(0, {fields});
  m.Begin();
  EXPECT_EQ(ApplyPatch(Target(m), m.Entry(0, 0), kBase, 0, 0), 0);
  EXPECT_EQ(m.context.run.error.number, ERR_OPEN);
  EXPECT_STREQ(m.context.run.error.subject, kBase);
}

TEST_F(PatchTest, OutputThatCannotBeCreated) {
  m.sim.AddFile(kOutput, "held");
  m.sim.HoldOpenByOtherProcess(kOutput);
  m.context.run = {};
  EXPECT_EQ(Apply(Bytes({0x80}), "x"), 0);
  EXPECT_EQ(m.context.run.error.number, ERR_CREATE);
  EXPECT_STREQ(m.context.run.error.subject, kOutput);
  EXPECT_EQ(m.sim.FileContents(kBase), base);
}

TEST_F(PatchTest, NoMemoryForAStreamOrTheCopyBuffer) {
  for (uint32_t size : {5u, 3u, 65536u}) {
    SCOPED_TRACE(size);
    m.sim.allocationFails = [size](uint32_t n) { return n == size; };
    ExpectFailure(Bytes({0x84, 0x01, 0x80}), "12345", ERR_OUT_OF_MEMORY, kEarlierSubject);
  }
}

TEST_F(PatchTest, DiskFullWhileWriting) {
  // The base and the output on the nearly full removable drive.
  const char* basePath = "A:\\file.$$A";
  m.sim.AddFile("A:\\filler", std::string(m.sim.FreeBytes('A') - 2048, 'f'));
  // 128 bytes from 0, then again and again from 128 bytes back (d = -128):
  // 2688 bytes for 1536 free.
  std::string commands = Bytes({0x7F, 0x80});
  for (int i = 0; i < 20; ++i) commands += Bytes({0x7F, 0x7F, 0xA0});
  m.WriteSetupFile(Noise(kPatchOffset, 8) + RawItem(commands) + RawItem(""));
  fields.dataOffset = kPatchOffset;
  fields.fileSize = 2688;
  m.SetFileList(0, {fields});
  m.sim.AddFile(basePath, Noise(200, 3));
  m.Begin();
  m.context.run = {};
  SetSetupError(m.context, 0, kEarlierSubject);
  EXPECT_EQ(ApplyPatch(Target(m), m.Entry(0, 0), basePath, 0, 0), 0);
  EXPECT_EQ(m.context.run.error.number, ERR_WRITE_SHORT);
  EXPECT_STREQ(m.context.run.error.subject, kEarlierSubject);
  EXPECT_FALSE(m.sim.FileExists("A:\\file.$AA"));
  EXPECT_EQ(m.sim.FileContents(basePath), Noise(200, 3));
}

// --- Progress -----------------------------------------------------------------------

TEST_F(PatchTest, ProgressIsSetAfterCommandsWhenItChanges) {
  // fileSize 50006: the divisor is (50006 + 10000) / 10000 = 6. One literal,
  // then five copies of 10000 bytes (L = 9871), each followed by a literal.
  base = Noise(50000, 5);
  fields.fileSize = 50006;
  std::string commands = Bytes({0x80});
  std::string literals = "0";
  std::string expected = "0";
  for (int k = 0; k < 5; ++k) {
    commands += Bytes({0x00, 0x8F, 0x26, 0x80, 0x80});
    literals += static_cast<char>('1' + k);
    expected += B(10000 * k, 10000) + static_cast<char>('1' + k);
  }
  fields.checksum = ReferenceChecksum(expected);
  ASSERT_EQ(Apply(commands, literals, 10, 60), 1) << m.context.run.error.number;
  // 10 + (written + 10000) / 10000 * 50 / 6 after each command.
  EXPECT_EQ(progress.values, (std::vector<int>{18, 26, 35, 43, 51, 60}));
}

TEST_F(PatchTest, ProgressIsLeftAloneWhenFromEqualsTo) {
  fields.fileSize = 130;
  fields.checksum = ReferenceChecksum(B(0, 128) + "ab");
  ASSERT_EQ(Apply(Bytes({0x7F, 0x80, 0x81}), "ab", 40, 40), 1);
  EXPECT_TRUE(progress.values.empty());
}

TEST_F(PatchTest, HugeFileSizeMovesNoProgressAndIsNotTheSizeWritten) {
  // (fileSize + 10000) / 10000 is 0 in 32 bits for the two largest sizes; the
  // third gives a divisor so large that the percentage stays at 0. The patch
  // writes 128 bytes, which are not the entry's file.
  for (uint32_t size : {0xFFFFFFFFu, 0xFFFFD8F0u, 0xFFFFD8EFu}) {
    SCOPED_TRACE(size);
    progress.values.clear();
    fields.fileSize = size;
    fields.checksum = ReferenceChecksum(B(0, 128));
    m.context.run = {};
    ASSERT_EQ(Apply(Bytes({0x7F, 0x80}), "", 0, 100), 0);
    EXPECT_EQ(m.context.run.error.number, ERR_CHECKSUM);
    EXPECT_EQ(m.context.run.error.sizeFound, 128u);
    EXPECT_TRUE(progress.values.empty());
    EXPECT_EQ(m.sim.FileContents(kBase), base);
  }
}

}  // namespace
}  // namespace setup
