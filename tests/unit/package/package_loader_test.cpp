// LoadPackage over setup files written byte by byte: where records go, which
// packages are complete, incomplete or damaged, and what is left to free.
#include "package/package_loader.h"
#include "session/load_package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "base/memory.h"
#include "package/file_entry.h"
#include "package/strings.h"
#include "tools/streamwriter/stream_writer.h"
#include "unit/support/package_bytes.h"

namespace setup {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::DescriptorBytes;
using test::DescriptorSpec;
using test::FileEntrySpec;
using test::FileListBytes;
using test::LoaderHarness;
using test::MessageDescriptor;
using test::PackageBytes;
using test::StartBytes;
using test::U32Bytes;

Bytes Desc(const std::string& name) {
  return DescriptorBytes(MessageDescriptor("Caption " + name, "Invalid " + name, name));
}

Bytes Text(const std::string& s) { return ByteWriter().Text(s).bytes; }

Bytes OneFile(const std::string& name) {
  FileEntrySpec e;
  e.strings[0] = name;
  return FileListBytes({e});
}

std::string PayloadText(const Payload& p) {
  return p.data == nullptr ? "<null>" : std::string(reinterpret_cast<char*>(p.data), p.size);
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The one box of a damaged or incomplete package: string (6, 31) of the
// current component, captioned with its (6, 0), without an owner.
void ExpectInvalidDataBox(const LoaderHarness& h, const std::string& name) {
  ASSERT_EQ(h.BoxCount(), 1u);
  const SimPlatform::MessageBoxCall& box = h.platform.messageBoxes[0];
  EXPECT_EQ(box.text, "Invalid " + name);
  EXPECT_EQ(box.caption, "Caption " + name);
  EXPECT_EQ(box.type, kMbIconInformation);
  EXPECT_EQ(box.owner, 0u);
}

// Frees and checks that nothing the load took is left behind.
void ExpectAllFreed(LoaderHarness& h) {
  FreePackage(*h.context);
  EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
  EXPECT_EQ(h.platform.invalidFrees, 0);
}

class LoadPackageTest : public ::testing::Test {
 protected:
  PackageState& package() { return h.context->package; }
  int Load(const Bytes& file, uint32_t stub = 48) { return h.Load(file, stub); }
  void ExpectNoMessage() { EXPECT_EQ(h.BoxCount(), 0u); }
  void ExpectInvalidDataBox(const std::string& name) { setup::ExpectInvalidDataBox(h, name); }
  void ExpectAllFreed() { setup::ExpectAllFreed(h); }

  LoaderHarness h;
};

TEST_F(LoadPackageTest, CompletePackageFillsTheState) {
  PackageBytes p;
  p.Record(REC_SETTINGS, U32Bytes(0x11))
      .Record(REC_TITLE, Text("Title"))
      .Record(REC_COMPONENT, Desc("a"))
      .Record(REC_FILE_LIST, OneFile("app.exe"));
  Bytes file = p.End(100);
  ASSERT_EQ(Load(file), 1);
  ExpectNoMessage();
  EXPECT_EQ(package().settings, 0x11u);
  EXPECT_EQ(PayloadText(package().title), std::string("Title", 6));
  EXPECT_EQ(package().componentCount, 1);
  EXPECT_EQ(package().startPage, kNoStartPage);
  EXPECT_EQ(package().startComponent, 0);
  // The region start is the offset of D; the data follows it.
  EXPECT_EQ(package().regionStart, file.size() - 104);
  EXPECT_EQ(package().regionLength, 100u);
  EXPECT_EQ(h.context->current.index, 0);
  EXPECT_EQ(h.context->current.fileCount, 1u);
  EXPECT_STREQ(FileEntryString(h.context->current.firstEntry, 0), "app.exe");
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 31), "Invalid a");
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, EndRecordLengthIsOnlyTestedForZero) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"));
  EXPECT_EQ(Load(p.End(40, std::nullopt, 1)), 1);
  EXPECT_EQ(package().regionLength, 40u);
}

TEST_F(LoadPackageTest, StubSizeZeroMeansNoPackage) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"));
  EXPECT_EQ(Load(p.End(), 0), 0);
  ExpectNoMessage();
  EXPECT_EQ(package().componentCount, 0);
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, MissingFileGivesNoMessage) {
  CopyText(h.context->packagePath, kPathSize, "C:\\absent.exe");
  h.context->stubSize = 48;
  EXPECT_EQ(LoadPackage(*h.context), 0);
  ExpectNoMessage();
}

TEST_F(LoadPackageTest, StubLongerThanFileGivesNoMessage) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"));
  Bytes file = p.End();
  EXPECT_EQ(Load(file, static_cast<uint32_t>(file.size()) + 1), 0);
  ExpectNoMessage();
}

// Every cut inside the record stream, payloads and compressed ones included,
// up to the end record's header, fails without a message and leaks nothing.
TEST(LoadPackageTruncationTest, CutInsideRecordStreamFailsSilently) {
  PackageBytes p;
  p.Record(REC_SETTINGS, U32Bytes(1))
      .Compressed(REC_TITLE, Text("A compressed title, long enough to be worth it"))
      .Record(REC_COMPONENT, Desc("a"))
      .Record(REC_FILE_LIST, OneFile("x"))
      .Record(0x1238, Bytes(9, 0x42));
  Bytes full = p.End(16);
  size_t dStart = full.size() - 16 - 4;
  for (size_t cut = p.stubSize(); cut < dStart; ++cut) {
    SCOPED_TRACE(cut);
    LoaderHarness h;
    EXPECT_EQ(h.Load(Bytes(full.begin(), full.begin() + cut), p.stubSize()), 0);
    EXPECT_EQ(h.BoxCount(), 0u);
    FreePackage(*h.context);
    EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
  }
}

// A file cut inside D is a truncated setup file: the user is told, and a
// start record cannot make a region of unknown length acceptable.
TEST(LoadPackageTruncationTest, CutInsideRegionLengthIsRefusedWithTheMessage) {
  for (bool start : {false, true}) {
    PackageBytes p;
    if (start) p.Record(REC_START, U32Bytes(0));
    p.Record(REC_COMPONENT, Desc("a"));
    Bytes full = p.End(16);
    size_t dStart = full.size() - 16 - 4;
    for (size_t cut = dStart; cut < dStart + 4; ++cut) {
      SCOPED_TRACE(testing::Message() << "start " << start << " cut " << cut);
      LoaderHarness h;
      EXPECT_EQ(h.Load(Bytes(full.begin(), full.begin() + cut), p.stubSize()), 0);
      setup::ExpectInvalidDataBox(h, "a");
      FreePackage(*h.context);
      EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
    }
  }
}

TEST_F(LoadPackageTest, CutInsideRegionIsIncomplete) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"));
  Bytes full = p.End(16);
  for (size_t missing : {1, 8, 16}) {
    SCOPED_TRACE(missing);
    LoaderHarness cut;
    EXPECT_EQ(cut.Load(Bytes(full.begin(), full.end() - missing), 48), 0);
    setup::ExpectInvalidDataBox(cut, "a");
  }
  EXPECT_EQ(Load(Bytes(full.begin(), full.end() - 3)), 0);
  // Every record was loaded all the same.
  EXPECT_EQ(package().componentCount, 1);
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, ExtendedFileIsIncomplete) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"));
  Bytes file = p.End(16);
  file.push_back(0);
  EXPECT_EQ(Load(file), 0);
  ExpectInvalidDataBox("a");
}

TEST_F(LoadPackageTest, StartRecordSkipsTheSizeCheck) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a")).Record(REC_START, StartBytes(kNoStartPage, 0));
  Bytes file = p.End(16, 1000);
  EXPECT_EQ(Load(file), 1);
  ExpectNoMessage();
  EXPECT_EQ(package().regionLength, 1000u);
}

TEST_F(LoadPackageTest, StartRecordChoosesPageAndComponent) {
  PackageBytes p;
  p.Record(REC_START, StartBytes(3, 1))
      .Record(REC_COMPONENT, Desc("a"))
      .Record(REC_COMPONENT, Desc("b"))
      .Record(REC_FILE_LIST, OneFile("b.txt"));
  ASSERT_EQ(Load(p.End()), 1);
  EXPECT_EQ(package().startPage, 3);
  EXPECT_EQ(package().startComponent, 1);
  EXPECT_EQ(h.context->current.index, 1);
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "Caption b");
  EXPECT_STREQ(FileEntryString(h.context->current.firstEntry, 0), "b.txt");
}

TEST_F(LoadPackageTest, StartComponentWithoutSlotFallsBackToFirst) {
  for (uint16_t start : {2, 6, 0xFFFF}) {
    SCOPED_TRACE(start);
    LoaderHarness one;
    PackageBytes p;
    p.Record(REC_COMPONENT, Desc("a")).Record(REC_COMPONENT, Desc("b"));
    p.Record(REC_START, StartBytes(kNoStartPage, start));
    ASSERT_EQ(one.Load(p.End(), 48), 1);
    EXPECT_EQ(one.context->current.index, 0);
    EXPECT_STREQ(GetPackageString(one.context->current, 6, 0), "Caption a");
  }
}

TEST_F(LoadPackageTest, ZeroLengthRecordsAreNotRead) {
  PackageBytes p;
  // A zero-length settings record would take the next header as its value; a
  // zero-length component record opens no component.
  p.Header(REC_SETTINGS, 0, 0)
      .Header(REC_COMPONENT, 0, 0)
      .Header(REC_TITLE, 0, 0)
      .Record(REC_COMPONENT, Desc("a"))
      .Header(REC_START, 0, 0)
      .Record(REC_FILE_LIST, OneFile("x"));
  ASSERT_EQ(Load(p.End()), 1);
  EXPECT_EQ(package().settings, 0u);
  EXPECT_EQ(package().title.data, nullptr);
  EXPECT_EQ(package().componentCount, 1);
  EXPECT_NE(package().components[0].fileList.data, nullptr);
  EXPECT_EQ(package().startPage, kNoStartPage);
}

TEST_F(LoadPackageTest, ZeroLengthStartRecordDoesNotMakeThePackageComplete) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a")).Header(REC_START, 0, 0);
  EXPECT_EQ(Load(p.End(16, 17)), 0);
  ExpectInvalidDataBox("a");
}

TEST_F(LoadPackageTest, ZeroLengthEndRecordEndsTheStreamIncomplete) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a")).Header(REC_END, 0, 0).Record(REC_TITLE, Text("late"));
  EXPECT_EQ(Load(p.End()), 0);
  ExpectInvalidDataBox("a");
  EXPECT_EQ(package().title.data, nullptr);
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, UnknownRecordsAreSkippedByTheirLength) {
  // The unknown payloads hold what looks like a settings record.
  Bytes fake = ByteWriter().U16(REC_SETTINGS).U16(0).U32(4).U32(0xBAD).bytes;
  PackageBytes p;
  p.Record(0x1238, fake).Record(0x5555, Bytes(3000, 0x7F)).Record(0xFFFF, fake);
  p.Record(REC_SETTINGS, U32Bytes(7)).Record(REC_COMPONENT, Desc("a"));
  ASSERT_EQ(Load(p.End()), 1);
  EXPECT_EQ(package().settings, 7u);
}

TEST_F(LoadPackageTest, SettingsAndStartAreReadRawWhateverTheFlags) {
  PackageBytes p;
  p.Record(REC_SETTINGS, {0x10, 0, 0, 0, 0xAA, 0xBB}, REC_COMPRESSED)
      .Record(REC_COMPONENT, Desc("a"))
      .Record(REC_START, StartBytes(4, 0), REC_COMPRESSED);
  ASSERT_EQ(Load(p.End(16, 99)), 1);
  EXPECT_EQ(package().settings, SETUP_REMOVE_PREVIOUS);
  EXPECT_EQ(package().startPage, 4);
}

TEST_F(LoadPackageTest, LaterGlobalRecordReplacesEarlier) {
  PackageBytes p;
  p.Record(REC_TITLE, Text("First"))
      .Record(REC_DIALOGS, Bytes(10, 1))
      .Record(REC_COMPONENT, Desc("a"))
      .Record(REC_TITLE, Text("Second"))
      .Record(REC_DIALOGS, Bytes(30, 2));
  ASSERT_EQ(Load(p.End()), 1);
  EXPECT_EQ(PayloadText(package().title), std::string("Second", 7));
  EXPECT_EQ(package().dialogs.size, 30u);
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, ComponentListsLandInTheirSlots) {
  Bytes ini = test::IniListBytes({{0, "a.ini", "S", "K", "V"}});
  Bytes reg = test::RegistryListBytes({{2, 1, "Software\\X", "", "#InstallDir#"}});
  Bytes patches = test::PatchListBytes({{-1, "f.cfg", "text", {'a', 'b'}}});
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"))
      .Record(REC_FILE_LIST, OneFile("old"))
      .Record(REC_INI_ENTRIES, ini)
      .Record(REC_FILE_LIST, OneFile("a.exe"))
      .Record(REC_COMPONENT, Desc("b"))
      .Record(REC_REGISTRY_ENTRIES, reg)
      .Record(REC_FILE_PATCHES, patches);
  ASSERT_EQ(Load(p.End()), 1);
  const ComponentSlot& a = package().components[0];
  const ComponentSlot& b = package().components[1];
  EXPECT_EQ(package().componentCount, 2);
  EXPECT_EQ(PayloadText(a.fileList), AsString(OneFile("a.exe")));
  EXPECT_EQ(PayloadText(a.iniEntries), AsString(ini));
  EXPECT_EQ(a.registryEntries.data, nullptr);
  EXPECT_EQ(a.filePatches.data, nullptr);
  EXPECT_EQ(b.fileList.data, nullptr);
  EXPECT_EQ(b.iniEntries.data, nullptr);
  EXPECT_EQ(PayloadText(b.registryEntries), AsString(reg));
  EXPECT_EQ(PayloadText(b.filePatches), AsString(patches));
  EXPECT_STREQ(a.descriptor.choiceLabel, "a");
  EXPECT_STREQ(b.descriptor.choiceLabel, "b");
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, ListsBeforeTheFirstComponentAreSkipped) {
  PackageBytes p;
  // Not even looked at: a damaged list here does not matter.
  p.Record(REC_FILE_LIST, OneFile("stray"))
      .Record(REC_INI_ENTRIES, {5, 0, 1})
      .Record(REC_COMPONENT, Desc("a"));
  ASSERT_EQ(Load(p.End()), 1);
  EXPECT_EQ(package().components[0].fileList.data, nullptr);
  EXPECT_EQ(package().components[0].iniEntries.data, nullptr);
  EXPECT_EQ(h.context->current.fileCount, 0u);
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, SeventhComponentAndItsListsAreSkipped) {
  PackageBytes p;
  for (int i = 0; i < 7; ++i) {
    const std::string n{'c', static_cast<char>('0' + i)};
    p.Record(REC_COMPONENT, i < 6 ? Desc(n) : Bytes{1, 2, 3})
        .Record(REC_FILE_LIST, i < 6 ? OneFile(n + ".txt") : Bytes{9, 9});
  }
  p.Record(REC_REGISTRY_ENTRIES, {1, 0, 0xFF});
  ASSERT_EQ(Load(p.End()), 1);
  EXPECT_EQ(package().componentCount, 6);
  EXPECT_STREQ(package().components[5].descriptor.choiceLabel, "c5");
  EXPECT_EQ(PayloadText(package().components[5].fileList), AsString(OneFile("c5.txt")));
  EXPECT_EQ(package().components[5].registryEntries.data, nullptr);
  ExpectAllFreed();
}

// A length that runs past the file is a cut-short stream, found before any
// buffer is asked for.
TEST_F(LoadPackageTest, RecordLongerThanTheFileAllocatesNothing) {
  for (uint16_t type :
       {REC_WIZARD_BITMAP, REC_DIALOGS, REC_COMPONENT, REC_FILE_LIST, REC_SETTINGS}) {
    SCOPED_TRACE(type);
    LoaderHarness one;
    std::vector<uint32_t> sizes;
    one.platform.allocationFails = [&](uint32_t size) {
      sizes.push_back(size);
      return size > (1u << 20);
    };
    PackageBytes p;
    p.Record(REC_COMPONENT, Desc("a")).Header(type, 0, 0x7FFFFFF0, Bytes(64, 0));
    Bytes file = p.End();
    EXPECT_EQ(one.Load(file, 48), 0);
    EXPECT_EQ(one.BoxCount(), 0u);
    for (uint32_t size : sizes) EXPECT_LE(size, file.size());
  }
}

// --- Compressed payloads ---------------------------------------------------

TEST_F(LoadPackageTest, CompressedPayloadsDecodeToTheirBytes) {
  Bytes dialogs(70000);
  for (size_t i = 0; i < dialogs.size(); ++i) dialogs[i] = static_cast<uint8_t>(i % 251 ^ i / 509);
  Bytes uninstaller(5000, 0x90);
  Bytes ini = test::IniListBytes({{1, "w.ini", "Sec", "Key", "Value"}});
  PackageBytes p;
  p.Compressed(REC_DIALOGS, dialogs)
      .Compressed(REC_UNINSTALLER, uninstaller, /*zlib=*/true)
      .Compressed(REC_COMPONENT, Desc("a"), true)
      .Compressed(REC_FILE_LIST, OneFile("z.dll"))
      .Compressed(REC_INI_ENTRIES, ini, true);
  ASSERT_EQ(Load(p.End()), 1);
  ExpectNoMessage();
  EXPECT_EQ(PayloadText(package().dialogs), AsString(dialogs));
  EXPECT_EQ(package().uninstaller.size, 5000u);
  EXPECT_EQ(PayloadText(package().uninstaller), AsString(uninstaller));
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 31), "Invalid a");
  EXPECT_STREQ(FileEntryString(h.context->current.firstEntry, 0), "z.dll");
  EXPECT_EQ(PayloadText(package().components[0].iniEntries), AsString(ini));
  // The decoder's buffers go too.
  ExpectAllFreed();
}

TEST_F(LoadPackageTest, CompressedPayloadOfAnotherSizeIsDamaged) {
  Bytes title = Text("Compressed title");
  for (int delta : {-1, +1}) {
    SCOPED_TRACE(delta);
    LoaderHarness one;
    Bytes payload = test::CompressedPayload(title);
    ByteWriter w;
    w.U32(static_cast<uint32_t>(title.size() + delta));
    std::copy(w.bytes.begin(), w.bytes.end(), payload.begin());
    PackageBytes p;
    p.Record(REC_COMPONENT, Desc("a")).Record(REC_TITLE, payload, REC_COMPRESSED);
    EXPECT_EQ(one.Load(p.End(), 48), 0);
    ASSERT_EQ(one.BoxCount(), 1u);
    EXPECT_EQ(one.platform.messageBoxes[0].text, "Invalid a");
    EXPECT_EQ(one.context->package.title.data, nullptr);
    FreePackage(*one.context);
    EXPECT_EQ(one.platform.OutstandingBlocks(), 0u);
  }
}

// A declared size beyond 1032 bytes per compressed byte (plus 1032) is never
// allocated; one at the limit is.
TEST_F(LoadPackageTest, DeclaredSizeBeyondTheExpansionLimitIsNotAllocated) {
  Bytes stream = {0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // 7 compressed bytes
  const uint32_t limit = 1032 * 7 + 1032;
  for (uint32_t declared : {limit, limit + 1, 0xFFFFFFFFu}) {
    SCOPED_TRACE(declared);
    LoaderHarness one;
    std::vector<uint32_t> sizes;
    one.platform.allocationFails = [&](uint32_t size) {
      sizes.push_back(size);
      return false;
    };
    PackageBytes p;
    p.Record(REC_COMPONENT, Desc("a"))
        .Record(REC_TITLE, ByteWriter().U32(declared).Raw(stream).bytes, REC_COMPRESSED);
    EXPECT_EQ(one.Load(p.End(), 48), 0);
    EXPECT_EQ(one.BoxCount(), 1u);
    bool asked = std::find(sizes.begin(), sizes.end(), declared) != sizes.end();
    EXPECT_EQ(asked, declared == limit);
  }
}

// Streams of zeros within the expansion limit: each record is bounded by
// kMaxRecordSize and all of them together by kMaxRecordsTotal; a record past
// either is refused before its block is allocated.
TEST_F(LoadPackageTest, RecordsBeyondTheirSizeBoundsAreRefusedUnallocated) {
  const uint32_t mib = 1u << 20;
  // Each row: its records (type, decoded size), whether the package loads, and
  // a size never allocated (0 for none).
  struct Row {
    const char* what; std::vector<std::pair<uint16_t, uint32_t>> records; int loaded; uint32_t refused;
  } rows[] = {
      {"a 32 MiB picture", {{REC_WIZARD_BITMAP, 32 * mib}}, 1, 0},
      {"a picture one byte past 32 MiB", {{REC_WIZARD_BITMAP, 32 * mib + 1}}, 0, 32 * mib + 1},
      {"records of 22, 22 and 21 MiB", {{REC_WIZARD_BITMAP, 22 * mib},
                                       {REC_BACKGROUND_BITMAP, 22 * mib},
                                       {REC_UNINSTALLER, 21 * mib}}, 0, 21 * mib},
      {"a picture of 22 MiB given three times", {{REC_WIZARD_BITMAP, 22 * mib},
                                                 {REC_WIZARD_BITMAP, 22 * mib},
                                                 {REC_WIZARD_BITMAP, 22 * mib - 1}}, 0, 22 * mib - 1},
      {"two pictures of 30 MiB", {{REC_WIZARD_BITMAP, 30 * mib},
                                               {REC_BACKGROUND_BITMAP, 30 * mib}}, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LoaderHarness one;
    std::vector<uint32_t> sizes;
    one.platform.allocationFails = [&](uint32_t size) {
      sizes.push_back(size);
      return false;
    };
    PackageBytes p;
    for (const auto& [type, size] : row.records) p.Compressed(type, Bytes(size, 0));
    p.Record(REC_COMPONENT, Desc("a"));
    EXPECT_EQ(one.Load(p.End(), 48), row.loaded);
    if (row.refused != 0) {
      EXPECT_EQ(std::count(sizes.begin(), sizes.end(), row.refused), 0);
    }
    FreePackage(*one.context);
    EXPECT_EQ(one.platform.OutstandingBlocks(), 0u);
  }
}

TEST_F(LoadPackageTest, CompressedPayloadWithoutRoomForItsSizeIsDamaged) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a")).Header(REC_TITLE, REC_COMPRESSED, 3, {4, 0, 0});
  EXPECT_EQ(Load(p.End()), 0);
  ExpectInvalidDataBox("a");
}

TEST_F(LoadPackageTest, UndecodableCompressedPayloadIsDamaged) {
  PackageBytes p;
  // Block type 0 does not exist.
  p.Record(REC_COMPONENT, Desc("a"))
      .Record(REC_FILE_LIST, ByteWriter().U32(40).U32(0).bytes, REC_COMPRESSED);
  EXPECT_EQ(Load(p.End()), 0);
  ExpectInvalidDataBox("a");
  ExpectAllFreed();
}

// The decoder reads straight from the file; a stream that goes on past its
// record takes bytes that belong to the next one.
TEST_F(LoadPackageTest, CompressedPayloadReachingPastItsRecordIsDamaged) {
  // Stored, so the stream ends with the data, whose last 8 bytes are also the
  // header of an empty record of unknown type.
  Bytes data = {'d', 'a', 't', 'a', 0x38, 0x12, 0, 0, 0, 0, 0, 0};
  Bytes stream = tools::WriteStream(data.data(), data.size(), {tools::Compressor::Zlib, 0});
  ASSERT_TRUE(std::equal(data.end() - 8, data.end(), stream.end() - 8));
  Bytes payload = ByteWriter().U32(static_cast<uint32_t>(data.size())).Raw(stream).bytes;
  PackageBytes whole, overlapping;
  whole.Record(REC_COMPONENT, Desc("a")).Record(REC_DIALOGS, payload, REC_COMPRESSED);
  ASSERT_EQ(Load(whole.End()), 1);
  EXPECT_EQ(PayloadText(package().dialogs), AsString(data));
  overlapping.Record(REC_COMPONENT, Desc("a"))
      .Header(REC_DIALOGS, REC_COMPRESSED, static_cast<uint32_t>(payload.size() - 8), payload);
  LoaderHarness h2;
  EXPECT_EQ(h2.Load(overlapping.End(), 48), 0);
  setup::ExpectInvalidDataBox(h2, "a");
  EXPECT_EQ(h2.context->package.dialogs.data, nullptr);
}

// --- Direct payload reads ----------------------------------------------------

TEST(ReadRecordPayloadTest, ReadsRawAndCompressedAndFailsShortReads) {
  LoaderHarness h;
  Bytes compressed = test::CompressedPayload(Text("packed"));
  ByteWriter file;
  file.Raw(Text("plain")).Raw(compressed).Raw(Bytes{1, 2});
  h.platform.AddFile("C:\\p.bin", AsString(file.bytes));
  FileHandle f = OpenForRead(h.platform, "C:\\p.bin");
  Payload payload{};
  StreamDecoder& decoder = h.context->reader.decoder;
  EXPECT_EQ(ReadRecordPayload(h.platform, decoder, f, {REC_TITLE, 0, 6}, &payload), PAYLOAD_OK);
  EXPECT_EQ(PayloadText(payload), std::string("plain", 6));
  FreeBlock(h.platform, &payload.data);
  RecordHeader packed{REC_TITLE, REC_COMPRESSED, static_cast<uint32_t>(compressed.size())};
  EXPECT_EQ(ReadRecordPayload(h.platform, decoder, f, packed, &payload), PAYLOAD_OK);
  EXPECT_EQ(PayloadText(payload), std::string("packed", 7));
  FreeBlock(h.platform, &payload.data);
  SeekFile(h.platform, f, static_cast<int32_t>(file.size() - 2), kFileBegin);
  payload.data = reinterpret_cast<uint8_t*>(&payload);  // must come back null
  EXPECT_EQ(ReadRecordPayload(h.platform, decoder, f, {REC_TITLE, 0, 3}, &payload),
            PAYLOAD_READ_FAILED);
  EXPECT_EQ(payload.data, nullptr);
  SeekFile(h.platform, f, static_cast<int32_t>(file.size() - 2), kFileBegin);
  RecordHeader cutSize{REC_TITLE, REC_COMPRESSED, 8};
  EXPECT_EQ(ReadRecordPayload(h.platform, decoder, f, cutSize, &payload), PAYLOAD_READ_FAILED);
  h.platform.allocationFails = [](uint32_t) { return true; };
  SeekFile(h.platform, f, 0, kFileBegin);
  EXPECT_EQ(ReadRecordPayload(h.platform, decoder, f, {REC_TITLE, 0, 6}, &payload),
            PAYLOAD_NO_MEMORY);
  EXPECT_EQ(payload.data, nullptr);
  h.platform.allocationFails = nullptr;
  CloseFile(h.platform, &f);
  h.context->reader.decoder.ReleaseBuffers();
  EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

TEST(LoadPackageRefusalTest, PackageWithoutComponentsIsRefused) {
  PackageBytes p;
  p.Record(REC_SETTINGS, U32Bytes(0)).Record(REC_TITLE, Text("T"));
  LoaderHarness h;
  EXPECT_EQ(h.Load(p.End(), p.stubSize()), 0);
  // No component, so no text for the message either.
  EXPECT_EQ(h.BoxCount(), 0u);
}

TEST(LoadPackageRefusalTest, DecoderWithoutMemoryIsNotTakenForDamage) {
  // The first allocation that a compressed payload's decode makes is its
  // input buffer (a 4096-byte block and 16 bytes carried over from the one
  // before), right after the payload's own block.
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"))
      .Compressed(REC_TITLE, Text("A compressed title, long enough to be worth it"));
  Bytes file = p.End();
  LoaderHarness h;
  int calls = 0;
  h.platform.allocationFails = [&](uint32_t size) { return size == 4096 + 16 && ++calls <= 2; };
  EXPECT_EQ(h.Load(file, p.stubSize()), 0);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(h.BoxCount(), 0u);  // out of memory is silent; damage would show (6, 31)
}

}  // namespace
}  // namespace setup
