// Damaged packages: payloads that do not hold together are refused like an
// incomplete package, with string (6, 31) of the current component, and never
// read past. Also the loader under failing allocations.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "package/file_entry.h"
#include "package/strings.h"
#include "session/load_package.h"
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

Bytes Desc(const std::string& name) {
  return DescriptorBytes(MessageDescriptor("Caption " + name, "Invalid " + name, name));
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// A descriptor with its field at `field` set to `offset` (a value counted from
// the descriptor's end when `fromEnd`).
Bytes DescWithOffset(uint32_t field, int64_t offset, bool fromEnd) {
  Bytes d = Desc("b");
  PutU32(d, field,
         static_cast<uint32_t>(fromEnd ? static_cast<int64_t>(d.size()) + offset : offset));
  return d;
}

Bytes OneEntryList(FileEntrySpec e) {
  e.strings = {"name", "folder", "short", "args", "desk", "dargs"};
  return FileListBytes({e});
}

struct DamageCase {
  const char* name;
  std::function<void(PackageBytes&)> add;  // after component "a", which is good
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

// Component "b" with a list.
std::function<void(PackageBytes&)> ListOfB(uint16_t type, Bytes list, bool compressed = false) {
  return [=](PackageBytes& p) {
    p.Record(REC_COMPONENT, Desc("b"));
    if (compressed) {
      p.Compressed(type, list);
    } else {
      p.Record(type, list);
    }
  };
}

std::function<void(PackageBytes&)> Component(Bytes descriptor) {
  return [=](PackageBytes& p) { p.Record(REC_COMPONENT, descriptor); };
}

std::vector<DamageCase> DamageCases() {
  std::vector<DamageCase> cases;
  auto add = [&](const char* name, std::function<void(PackageBytes&)> f) {
    cases.push_back({name, std::move(f)});
  };
  // Descriptors.
  add("TextOffsetPastDescriptor", Component(DescWithOffset(kDescDisplayName, 10, true)));
  add("TextOffsetAtDescriptorEnd", Component(DescWithOffset(kDescChoiceLabel, 0, true)));
  add("LastTextFieldPastEnd", Component(DescWithOffset(kDescFolderIniKey, 1, true)));
  add("GroupOffsetPastDescriptor", Component(DescWithOffset(kDescStringGroups + 24, 2, true)));
  add("LastGroupPastDescriptor", Component(DescWithOffset(kDescStringGroups + 40, 0, true)));
  add("GroupWithoutRoomForCount", Component(DescWithOffset(kDescStringGroups + 4, -1, true)));
  add("OffsetBeyondFourGigabytes",
      Component(DescWithOffset(kDescDefaultFolder, 0xFFFFFFFF, false)));
  {
    DescriptorSpec fields;
    fields.displayName = "no end";
    Bytes d = DescriptorBytes(fields);
    d.pop_back();
    add("TextWithoutNul", Component(d));
  }
  {
    DescriptorSpec fields;
    fields.groups[6] = {"x", "y"};
    Bytes d = DescriptorBytes(fields);
    d[kDescriptorFixedSize] = 3;  // three texts claimed, two there
    add("GroupCountBeyondItsTexts", Component(d));
  }
  add("DescriptorShorterThanFixedPart", Component(Bytes(kDescriptorFixedSize - 1, 0)));
  add("CompressedDescriptorDamaged", [](PackageBytes& p) {
    p.Compressed(REC_COMPONENT, DescWithOffset(kDescDisplayName, 5, true));
  });
  // File lists.
  {
    FileEntrySpec e;
    e.entrySize = static_cast<uint16_t>(test::FileEntryBytes(e).size() + 1);
    add("EntryRunsPastList", ListOfB(REC_FILE_LIST, OneEntryList(e)));
  }
  {
    // The last string's NUL lies past the entry, though still in the list.
    FileEntrySpec e;
    e.entrySize = static_cast<uint16_t>(test::FileEntryBytes(e).size() - 1);
    add("StringRunsPastEntry", ListOfB(REC_FILE_LIST, OneEntryList(e)));
  }
  add("CountBeyondEntries", ListOfB(REC_FILE_LIST, FileListBytes({FileEntrySpec{}}, 2)));
  add("ListWithoutCount", ListOfB(REC_FILE_LIST, {1, 0, 0}));
  {
    FileEntrySpec e;
    e.entrySize = 20;
    e.padding = 40;
    add("EntrySizeBelowFixedPart", ListOfB(REC_FILE_LIST, OneEntryList(e)));
  }
  {
    Bytes list = OneEntryList(FileEntrySpec{});
    list[4 + 22] = FEF_CHECK_LANGUAGE;  // flag set, block not there
    add("VersionBlockMissing", ListOfB(REC_FILE_LIST, list));
  }
  {
    Bytes list = OneEntryList(FileEntrySpec{});
    list.resize(4 + 20);
    add("FixedPartCutShort", ListOfB(REC_FILE_LIST, list));
  }
  add("CompressedFileListDamaged",
      ListOfB(REC_FILE_LIST, FileListBytes({FileEntrySpec{}}, 3), true));
  // INI, registry and file-patch lists.
  {
    Bytes ini = test::IniListBytes({{0, "f", "s", "k", "v"}});
    ini.pop_back();
    add("IniListRunsPast", ListOfB(REC_INI_ENTRIES, ini));
  }
  add("IniListOfOneByte", ListOfB(REC_INI_ENTRIES, {0}));
  {
    Bytes reg = test::RegistryListBytes({{1, 0, "k", "v", "d"}});
    reg[0] = 2;
    add("RegistryCountBeyondEntries", ListOfB(REC_REGISTRY_ENTRIES, reg));
  }
  {
    Bytes patches = test::PatchListBytes({{-1, "f", "t", {1, 2, 3}}});
    PutU32(patches, 2 + 4, 4);  // pattern length one past the end
    add("PatternRunsPast", ListOfB(REC_FILE_PATCHES, patches));
  }
  {
    Bytes reg = test::RegistryListBytes({{1, 0, "k", "v", "d"}});
    reg.resize(2 + 3);  // inside the root value
    add("RegistryRootCutShort", ListOfB(REC_REGISTRY_ENTRIES, reg));
  }
  // Global records.
  add("TitleWithoutNul", [](PackageBytes& p) { p.Record(REC_TITLE, {'T', 'i'}); });
  add("TitleFontShort", [](PackageBytes& p) { p.Record(REC_TITLE_FONT, Bytes(59, 1)); });
  add("EmptyCompressedTitle", [](PackageBytes& p) { p.Compressed(REC_TITLE, {}); });
  return cases;
}

class LoadDamagedPackageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(LoadDamagedPackageTest, IsRefusedWithTheInvalidDataMessage) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"));
  GetParam().add(p);
  LoaderHarness h;
  EXPECT_EQ(h.Load(p.End(), 48), 0);
  ASSERT_EQ(h.BoxCount(), 1u);
  EXPECT_EQ(h.platform.messageBoxes[0].text, "Invalid a");
  EXPECT_EQ(h.platform.messageBoxes[0].caption, "Caption a");
  EXPECT_EQ(h.platform.messageBoxes[0].type, kMbIconInformation);
  FreePackage(*h.context);
  EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
}

// A start record does not make a damaged package acceptable.
TEST_P(LoadDamagedPackageTest, IsRefusedEvenWithAStartRecord) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a")).Record(REC_START, test::StartBytes(kNoStartPage, 0));
  GetParam().add(p);
  LoaderHarness h;
  EXPECT_EQ(h.Load(p.End(), 48), 0);
  EXPECT_EQ(h.BoxCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadDamagedPackageTest, ::testing::ValuesIn(DamageCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The same limits, met exactly, are fine.
TEST(LoadPackageLimitsTest, PayloadsThatJustFitLoad) {
  DescriptorSpec fields;
  fields.displayName = "";  // its NUL is the descriptor's last byte
  Bytes desc = DescriptorBytes(fields);
  PutU32(desc, kDescChoiceLabel, static_cast<uint32_t>(desc.size() - 1));
  Bytes emptyGroupAtEnd = desc;
  emptyGroupAtEnd.push_back(0);
  emptyGroupAtEnd.push_back(0);
  PutU32(emptyGroupAtEnd, kDescStringGroups + 24, static_cast<uint32_t>(desc.size()));
  FileEntrySpec padded;
  padded.padding = 5;
  Bytes list = FileListBytes({padded, FileEntrySpec{}});
  list.push_back(0xAB);  // bytes after the last entry are not an entry
  PackageBytes p;
  p.Record(REC_COMPONENT, emptyGroupAtEnd)
      .Record(REC_FILE_LIST, list)
      .Record(REC_INI_ENTRIES, {0, 0, 0xFF})
      .Record(REC_REGISTRY_ENTRIES, test::RegistryListBytes({}))
      .Record(REC_TITLE, {0})
      .Record(REC_TITLE_FONT, Bytes(60, 0));
  LoaderHarness h;
  ASSERT_EQ(h.Load(p.End(), 48), 1);
  const ComponentDescriptor* d = h.context->current.descriptor;
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->displayName, "");
  EXPECT_STREQ(d->choiceLabel, "");
  EXPECT_EQ(d->defaultFolder, nullptr);
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "");
  EXPECT_EQ(h.context->current.fileCount, 2u);
}

TEST(LoadPackageLimitsTest, DamagedStartComponentHasNoMessageToShow) {
  PackageBytes p;
  p.Record(REC_COMPONENT, DescWithOffset(kDescDisplayName, 1, true));
  LoaderHarness h;
  EXPECT_EQ(h.Load(p.End(), 48), 0);
  EXPECT_EQ(h.BoxCount(), 0u);
}

TEST(LoadPackageLimitsTest, MessageComesFromTheStartComponent) {
  PackageBytes p;
  p.Record(REC_COMPONENT, Desc("a"))
      .Record(REC_COMPONENT, Desc("b"))
      .Record(REC_START, test::StartBytes(kNoStartPage, 1))
      .Record(REC_TITLE_FONT, Bytes(10, 0));
  LoaderHarness h;
  EXPECT_EQ(h.Load(p.End(), 48), 0);
  ASSERT_EQ(h.BoxCount(), 1u);
  EXPECT_EQ(h.platform.messageBoxes[0].text, "Invalid b");
  EXPECT_EQ(h.platform.messageBoxes[0].caption, "Caption b");
}

// --- Failing allocations -------------------------------------------------------

Bytes RichPackage() {
  FileEntrySpec e;
  e.flags = FEF_CHECK_VERSION | FEF_FILE_TIMES;
  e.strings = {"bin\\app.exe", "Group", "App", "", "App", "-d"};
  PackageBytes p;
  p.Record(REC_SETTINGS, test::U32Bytes(1))
      .Record(REC_WIZARD_BITMAP, Bytes(300, 3))
      .Record(REC_BACKGROUND_BITMAP, Bytes(200, 4))
      .Compressed(REC_TITLE, ByteWriter().Text("Product title").bytes)
      .Record(REC_TITLE_FONT, Bytes(60, 0))
      .Compressed(REC_DIALOGS, Bytes(5000, 7), true)
      .Record(REC_UNINSTALLER, Bytes(100, 0x90))
      .Record(REC_COMPONENT, Desc("a"))
      .Compressed(REC_FILE_LIST, FileListBytes({e, e}))
      .Record(REC_INI_ENTRIES, test::IniListBytes({{0, "a.ini", "s", "k", "v"}}))
      .Record(REC_REGISTRY_ENTRIES, test::RegistryListBytes({{2, 0, "k", "", "d"}}))
      .Record(REC_FILE_PATCHES, test::PatchListBytes({{7, "f", "t", {}}}))
      .Compressed(REC_COMPONENT, Desc("b"), true)
      .Record(REC_FILE_LIST, FileListBytes({e}));
  return p.End(64);
}

// Every allocation from the n-th on fails (the retry after compacting too).
TEST(LoadPackageMemoryTest, FailingFromEveryAllocationLeavesNothingBehind) {
  Bytes file = RichPackage();
  for (int n = 1;; ++n) {
    SCOPED_TRACE(n);
    LoaderHarness h;
    int calls = 0;
    h.platform.allocationFails = [&](uint32_t) { return ++calls >= n; };
    int result = h.Load(file, 48);
    bool failed = calls >= n;
    if (failed) {
      EXPECT_EQ(result, 0);
      EXPECT_LE(h.BoxCount(), 1u);
    } else {
      EXPECT_EQ(result, 1);
    }
    h.platform.allocationFails = nullptr;
    FreePackage(*h.context);
    EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
    EXPECT_EQ(h.platform.invalidFrees, 0);
    FreePackage(*h.context);  // twice is harmless
    EXPECT_EQ(h.platform.invalidFrees, 0);
    if (!failed) break;
    ASSERT_LT(n, 500);
  }
}

// One failed request is retried after compacting the heap.
TEST(LoadPackageMemoryTest, SingleFailureIsRetried) {
  Bytes file = RichPackage();
  for (int n = 1; n < 40; ++n) {
    SCOPED_TRACE(n);
    LoaderHarness h;
    int calls = 0;
    h.platform.allocationFails = [&](uint32_t) { return ++calls == n; };
    EXPECT_EQ(h.Load(file, 48), 1);
    EXPECT_EQ(h.platform.heapCompactions, calls >= n ? 1 : 0);
    FreePackage(*h.context);
    EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
  }
}

// A payload or a saved folder that cannot be had is not a damaged package.
TEST(LoadPackageMemoryTest, OutOfMemoryShowsNothing) {
  for (uint32_t size : {14u /* the title */, 260u /* a saved folder */}) {
    SCOPED_TRACE(size);
    PackageBytes p;
    p.Record(REC_COMPONENT, Desc("a")).Record(REC_TITLE, ByteWriter().Text("Product title").bytes);
    LoaderHarness h;
    h.platform.allocationFails = [&](uint32_t s) { return s == size; };
    EXPECT_EQ(h.Load(p.End(), 48), 0);
    EXPECT_EQ(h.BoxCount(), 0u);
    FreePackage(*h.context);
    EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
  }
}

}  // namespace
}  // namespace setup
