// File entries written byte by byte: the fields at their offsets, where the
// version block, the file times and the strings start for each flag set, the
// walk over a list, the base of a patch entry, and the list check.
#include "package/file_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/component.h"
#include "package/package_state.h"
#include "unit/support/package_bytes.h"

namespace setup {
namespace {

using test::Bytes;
using test::FileEntryBytes;
using test::FileEntrySpec;
using test::FileListBytes;
using test::LoaderHarness;
using test::PackageBytes;

FileEntrySpec Named(const std::string& name, uint8_t flags = 0) {
  FileEntrySpec e;
  e.flags = flags;
  e.strings = {name, "Folder\\", "Short", "/a", "Desk", "/b"};
  for (int i = 0; i < 20; ++i) e.version[i] = static_cast<uint8_t>(0xA0 + i);
  for (int i = 0; i < 24; ++i) e.times[i] = static_cast<uint8_t>(0xC0 + i);
  return e;
}

TEST(FileEntryFieldsTest, AccessorsReadTheirOffsets) {
  FileEntrySpec e;
  e.state = 0x1122;
  e.iconIndex = 0x3344;
  e.dataOffset = 0x01020304;
  e.storedSize = 0x05060708;
  e.fileSize = 0x090A0B0C;
  e.checksum = 0x0D0E0F10;
  e.flags = FEF_UNINSTALLER | FEF_PATCH;
  e.folderKind = FOLDER_FONTS;
  e.finishRole = ROLE_PROGRAM;
  e.sharedFile = 1;
  e.placement = PLACE_SOURCE;
  e.specialKind = SPECIAL_SELF_REGISTER;
  e.baseComponent = 4;
  e.baseIndex = 200;
  Bytes b = FileEntryBytes(e);
  const uint8_t* p = b.data();
  EXPECT_EQ(EntrySize(p), b.size());
  EXPECT_EQ(EntryState(p), 0x1122);
  EXPECT_EQ(EntryIconIndex(p), 0x3344);
  EXPECT_EQ(EntryDataOffset(p), 0x01020304u);
  EXPECT_EQ(EntryStoredSize(p), 0x05060708u);
  EXPECT_EQ(EntryFileSize(p), 0x090A0B0Cu);
  EXPECT_EQ(EntryChecksum(p), 0x0D0E0F10u);
  EXPECT_EQ(EntryFlags(p), FEF_UNINSTALLER | FEF_PATCH);
  EXPECT_EQ(EntryFolderKind(p), FOLDER_FONTS);
  EXPECT_EQ(EntryFinishRole(p), ROLE_PROGRAM);
  EXPECT_EQ(EntrySharedFile(p), 1);
  EXPECT_EQ(EntryPlacement(p), PLACE_SOURCE);
  EXPECT_EQ(EntrySpecialKind(p), SPECIAL_SELF_REGISTER);
  EXPECT_EQ(EntryBaseComponent(p), 4);
  EXPECT_EQ(EntryBaseIndex(p), 200);
  // The two fields the engine writes, and nothing around them.
  Bytes before = b;
  SetEntryState(b.data(), STATE_REPLACING);
  SetEntryPlacement(b.data(), PLACE_KEEP);
  EXPECT_EQ(b[2], STATE_REPLACING);
  EXPECT_EQ(b[3], 0);
  EXPECT_EQ(b[26], PLACE_KEEP);
  b[2] = before[2], b[3] = before[3], b[26] = before[26];
  EXPECT_EQ(b, before);
}

struct LayoutCase {
  uint8_t flags;
  uint32_t strings;  // offset of string 0
  uint32_t times;    // offset of the file times, when present
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << "flags " << int{c.flags} << ", strings at " << c.strings;
}

class FileEntryLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FileEntryLayoutTest, BlocksAndStringsWhereTheFlagsSay) {
  const LayoutCase& c = GetParam();
  FileEntrySpec fields = Named("dir\\file.txt", c.flags);
  Bytes b = FileEntryBytes(fields);
  const uint8_t* e = b.data();
  EXPECT_EQ(EntryHasVersion(e), (c.flags & (FEF_CHECK_VERSION | FEF_CHECK_LANGUAGE)) != 0);
  EXPECT_EQ(EntryHasTimes(e), (c.flags & FEF_FILE_TIMES) != 0);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(FileEntryString(e, 0)), e + c.strings);
  uint32_t at = c.strings;
  for (int i = 0; i < kEntryStrings; ++i) {
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(FileEntryString(e, i)), e + at) << i;
    EXPECT_EQ(FileEntryString(e, i), fields.strings[i]) << i;
    at += static_cast<uint32_t>(fields.strings[i].size()) + 1;
  }
  EXPECT_EQ(at, b.size());
  EXPECT_EQ(FileEntryVersion(e), e + 30);
  if (EntryHasVersion(e)) {
    EXPECT_EQ(FileEntryVersion(e)[0], 0xA0);
  }
  if (EntryHasTimes(e)) {
    EXPECT_EQ(FileEntryTimes(e), e + c.times);
    EXPECT_EQ(FileEntryTimes(e)[0], 0xC0);
    EXPECT_EQ(FileEntryTimes(e)[23], 0xC0 + 23);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, FileEntryLayoutTest,
    ::testing::Values(LayoutCase{0, 30, 30}, LayoutCase{FEF_UNINSTALLER | FEF_PATCH | 0xE0, 30, 30},
                      LayoutCase{FEF_CHECK_VERSION, 50, 50}, LayoutCase{FEF_CHECK_LANGUAGE, 50, 50},
                      LayoutCase{FEF_CHECK_VERSION | FEF_CHECK_LANGUAGE, 50, 50},
                      LayoutCase{FEF_FILE_TIMES, 54, 30},
                      LayoutCase{FEF_CHECK_VERSION | FEF_FILE_TIMES, 74, 50},
                      LayoutCase{FEF_CHECK_LANGUAGE | FEF_FILE_TIMES | FEF_PATCH, 74, 50}),
    [](const auto& info) { return "Flags" + std::to_string(info.param.flags); });

TEST(FileEntryStringsTest, SixEmptyStringsAreSixNuls) {
  Bytes b = FileEntryBytes(FileEntrySpec{});
  ASSERT_EQ(b.size(), 36u);
  EXPECT_EQ(EntrySize(b.data()), 36);
  for (int i = 0; i < kEntryStrings; ++i) {
    EXPECT_EQ(b[30 + i], 0);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(FileEntryString(b.data(), i)), b.data() + 30 + i);
  }
}

TEST(FileEntryStringsTest, NextEntryStepsByEntrySize) {
  FileEntrySpec padded = Named("first", FEF_FILE_TIMES);
  padded.padding = 7;
  Bytes list = FileListBytes({padded, Named("second", FEF_CHECK_LANGUAGE), FileEntrySpec{}});
  uint8_t* first = list.data() + 4;
  uint8_t* second = NextFileEntry(first);
  EXPECT_EQ(second, first + FileEntryBytes(padded).size());
  EXPECT_STREQ(FileEntryString(second, 0), "second");
  const uint8_t* third = NextFileEntry(static_cast<const uint8_t*>(second));
  EXPECT_EQ(EntrySize(third), 36);
  EXPECT_EQ(NextFileEntry(third), list.data() + list.size());
}

// --- Patch bases ----------------------------------------------------------------

class FindPatchBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FileEntrySpec big = Named("zero", FEF_CHECK_VERSION | FEF_FILE_TIMES);
    big.padding = 11;
    PackageBytes p;
    p.Record(REC_COMPONENT, Desc())
        .Record(REC_FILE_LIST, FileListBytes({big, Named("one"), Named("two", FEF_FILE_TIMES)}))
        .Record(REC_COMPONENT, Desc())
        .Record(REC_FILE_LIST, FileListBytes({Named("own")}))
        .Record(REC_COMPONENT, Desc());  // no file list
    ASSERT_EQ(h.Load(p.End(), 48), 1);
  }
  static Bytes Desc() { return test::DescriptorBytes(test::DescriptorSpec{}); }
  const char* BaseName(uint8_t component, uint8_t index) {
    FileEntrySpec patch = Named("patched", FEF_PATCH);
    patch.baseComponent = component;
    patch.baseIndex = index;
    Bytes entry = FileEntryBytes(patch);
    const uint8_t* base = FindPatchBase(h.context->package, entry.data());
    return base == nullptr ? nullptr : FileEntryString(base, 0);
  }

  LoaderHarness h;
};

TEST_F(FindPatchBaseTest, FindsTheEntryByComponentAndIndex) {
  EXPECT_STREQ(BaseName(0, 0), "zero");
  EXPECT_STREQ(BaseName(0, 1), "one");
  EXPECT_STREQ(BaseName(0, 2), "two");
  EXPECT_STREQ(BaseName(1, 0), "own");
  // Whatever the current component is.
  SelectComponent(h.context->package, h.context->current, 2);
  EXPECT_STREQ(BaseName(0, 2), "two");
}

TEST_F(FindPatchBaseTest, MissingComponentOrIndexGivesNull) {
  EXPECT_EQ(BaseName(0, 3), nullptr);
  EXPECT_EQ(BaseName(0, 255), nullptr);
  EXPECT_EQ(BaseName(1, 1), nullptr);
  EXPECT_EQ(BaseName(2, 0), nullptr);  // a component without a file list
  EXPECT_EQ(BaseName(3, 0), nullptr);  // no such component
  EXPECT_EQ(BaseName(5, 0), nullptr);
  EXPECT_EQ(BaseName(6, 0), nullptr);
  EXPECT_EQ(BaseName(255, 0), nullptr);
}

// --- The list check -------------------------------------------------------------

bool Valid(const Bytes& list) {
  return ValidateFileList(list.data(), static_cast<uint32_t>(list.size()));
}

TEST(ValidateFileListTest, AcceptsWellFormedLists) {
  FileEntrySpec padded = Named("p", FEF_CHECK_VERSION);
  padded.padding = 4;
  EXPECT_TRUE(Valid(FileListBytes({})));
  EXPECT_TRUE(Valid(FileListBytes({FileEntrySpec{}})));
  EXPECT_TRUE(Valid(FileListBytes(
      {Named("a", FEF_FILE_TIMES | FEF_CHECK_LANGUAGE), padded, Named("c", FEF_FILE_TIMES)})));
  Bytes trailing = FileListBytes({Named("a")});
  trailing.push_back(0x55);  // after the counted entries: not looked at
  EXPECT_TRUE(Valid(trailing));
}

TEST(ValidateFileListTest, RefusesEveryCutOfAList) {
  Bytes full = FileListBytes(
      {Named("a", FEF_FILE_TIMES | FEF_CHECK_VERSION), Named("b"), Named("c", FEF_CHECK_LANGUAGE)});
  ASSERT_TRUE(Valid(full));
  for (size_t size = 0; size < full.size(); ++size) {
    // Copied so that the sanitizer sees the end of the buffer.
    Bytes cut(full.begin(), full.begin() + size);
    EXPECT_FALSE(Valid(cut)) << size;
  }
  EXPECT_FALSE(ValidateFileList(nullptr, 100));
}

TEST(ValidateFileListTest, RefusesEntriesThatDoNotHoldTogether) {
  FileEntrySpec e = Named("name");
  uint16_t size = static_cast<uint16_t>(FileEntryBytes(e).size());
  auto with = [&](uint16_t entrySize, uint8_t flags, size_t padding) {
    FileEntrySpec fields = e;
    fields.entrySize = entrySize;
    fields.flags = flags;
    fields.padding = padding;
    return Valid(FileListBytes({fields}));
  };
  EXPECT_TRUE(with(size, 0, 0));
  EXPECT_FALSE(with(size + 1, 0, 0));  // past the list
  EXPECT_FALSE(with(size - 1, 0, 0));  // last string ends past the entry
  EXPECT_FALSE(with(0, 0, 100));       // would never move on
  EXPECT_FALSE(with(29, 0, 100));      // inside the fixed part
  EXPECT_FALSE(with(35, 0, 100));      // no room for six strings
  FileEntrySpec empty;
  empty.padding = 50;
  empty.entrySize = 36;  // six empty strings, the padding left outside
  EXPECT_TRUE(Valid(FileListBytes({empty})));
  // A flag whose block is not there: strings would start past the entry.
  Bytes list = FileListBytes({FileEntrySpec{}});
  list[4 + 22] = FEF_CHECK_LANGUAGE;
  EXPECT_FALSE(Valid(list));
  list[4 + 22] = FEF_FILE_TIMES;
  EXPECT_FALSE(Valid(list));
  // More entries counted than there are.
  EXPECT_FALSE(Valid(FileListBytes({e, e}, 3)));
  EXPECT_FALSE(Valid(FileListBytes({e}, 0xFFFFFFFF)));
}

}  // namespace
}  // namespace setup
