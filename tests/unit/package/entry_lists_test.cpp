// INI, registry and file-patch lists written byte by byte, read with the
// cursor, and cut short at every byte.
#include "package/entry_lists.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "unit/support/package_bytes.h"

namespace setup {
namespace {

using test::Bytes;
using test::IniListBytes;
using test::PatchListBytes;
using test::RegistryListBytes;

ListCursor CursorOn(const Bytes& b) {
  return ListCursor(b.data(), static_cast<uint32_t>(b.size()));
}

TEST(IniListTest, ReadsEntriesInOrder) {
  Bytes b =
      IniListBytes({{INI_ONLY_IF_MISSING, "#Windows#\\win.ini", "Section", "Key", "#InstallDir#"},
                    {0, "app.ini", "", "", ""}});
  ListCursor cursor = CursorOn(b);
  EXPECT_EQ(cursor.count(), 2);
  IniEntry e;
  ASSERT_TRUE(cursor.Next(&e));
  EXPECT_EQ(e.flags, INI_ONLY_IF_MISSING);
  EXPECT_STREQ(e.file, "#Windows#\\win.ini");
  EXPECT_STREQ(e.section, "Section");
  EXPECT_STREQ(e.key, "Key");
  EXPECT_STREQ(e.value, "#InstallDir#");
  ASSERT_TRUE(cursor.Next(&e));
  EXPECT_EQ(e.flags, 0);
  EXPECT_STREQ(e.file, "app.ini");
  EXPECT_STREQ(e.section, "");
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(e.value), b.data() + b.size() - 1);
  EXPECT_FALSE(cursor.Next(&e));
  EXPECT_FALSE(cursor.Next(&e));
  EXPECT_FALSE(cursor.damaged());
  EXPECT_TRUE(ValidateIniList(b.data(), static_cast<uint32_t>(b.size())));
}

TEST(RegistryListTest, ReadsEntriesInOrder) {
  Bytes b = RegistryListBytes({{2, REG_KEEP_EXISTING, "Software\\Maker", "", "#InstallDir#\\x"},
                               {0xFFFFFFFF, 0, "k", "Name", "data"}});
  ListCursor cursor = CursorOn(b);
  RegistryEntry e;
  ASSERT_TRUE(cursor.Next(&e));
  EXPECT_EQ(e.root, 2u);
  EXPECT_EQ(e.flags, REG_KEEP_EXISTING);
  EXPECT_STREQ(e.key, "Software\\Maker");
  EXPECT_STREQ(e.valueName, "");
  EXPECT_STREQ(e.data, "#InstallDir#\\x");
  ASSERT_TRUE(cursor.Next(&e));
  EXPECT_EQ(e.root, 0xFFFFFFFFu);
  EXPECT_STREQ(e.valueName, "Name");
  EXPECT_STREQ(e.data, "data");
  EXPECT_FALSE(cursor.Next(&e));
  EXPECT_FALSE(cursor.damaged());
}

TEST(FilePatchListTest, ReadsEntriesWithTheirPatterns) {
  Bytes pattern = {'k', 0, 'e', 0, 'y', 0xFF};
  Bytes b = PatchListBytes({{-1, "app.cfg", "C:\\New", pattern}, {0x1234, "b.bin", "", {}}});
  ListCursor cursor = CursorOn(b);
  FilePatchEntry e;
  ASSERT_TRUE(cursor.Next(&e));
  EXPECT_EQ(e.offset, -1);
  EXPECT_EQ(e.patternLength, pattern.size());
  EXPECT_STREQ(e.file, "app.cfg");
  EXPECT_STREQ(e.text, "C:\\New");
  EXPECT_EQ(Bytes(e.pattern, e.pattern + e.patternLength), pattern);
  ASSERT_TRUE(cursor.Next(&e));
  EXPECT_EQ(e.offset, 0x1234);
  EXPECT_EQ(e.patternLength, 0u);
  EXPECT_EQ(e.pattern, b.data() + b.size());
  EXPECT_STREQ(e.file, "b.bin");
  EXPECT_FALSE(cursor.Next(&e));
  EXPECT_FALSE(cursor.damaged());
}

TEST(EntryListTest, AbsentAndEmptyLists) {
  IniEntry ini;
  ListCursor none(nullptr, 0);
  EXPECT_EQ(none.count(), 0);
  EXPECT_FALSE(none.Next(&ini));
  EXPECT_FALSE(none.damaged());
  EXPECT_TRUE(ValidateRegistryList(nullptr, 0));
  Bytes zero = {0, 0, 'x', 'y'};  // no entries; what follows is not read
  ListCursor empty = CursorOn(zero);
  EXPECT_FALSE(empty.Next(&ini));
  EXPECT_FALSE(empty.damaged());
  EXPECT_TRUE(ValidateFilePatchList(zero.data(), 4));
  // One byte cannot hold the count.
  Bytes one = {1};
  EXPECT_FALSE(ValidateIniList(one.data(), 1));
  EXPECT_TRUE(CursorOn(one).damaged());
}

TEST(EntryListTest, BytesAfterTheCountedEntriesAreIgnored) {
  Bytes b = IniListBytes({{0, "f", "s", "k", "v"}});
  b.push_back(7);
  b.push_back(0);
  EXPECT_TRUE(ValidateIniList(b.data(), static_cast<uint32_t>(b.size())));
}

// Every cut of a two-entry list: the entries wholly inside are read, then the
// cursor stops and reports damage.
struct CutCase {
  const char* name;
  Bytes list;
  size_t firstEnd;  // size of the count and the first entry
  std::function<bool(ListCursor&)> next;
  bool (*validate)(const uint8_t*, uint32_t);
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class EntryListCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(EntryListCutTest, EveryCutIsDamaged) {
  const CutCase& c = GetParam();
  ASSERT_TRUE(c.validate(c.list.data(), static_cast<uint32_t>(c.list.size())));
  for (size_t size = 1; size < c.list.size(); ++size) {
    SCOPED_TRACE(size);
    Bytes cut(c.list.begin(), c.list.begin() + size);
    EXPECT_FALSE(c.validate(cut.data(), static_cast<uint32_t>(size)));
    ListCursor cursor = CursorOn(cut);
    int read = 0;
    while (c.next(cursor)) ++read;
    EXPECT_EQ(read, size >= c.firstEnd ? 1 : 0);
    EXPECT_TRUE(cursor.damaged());
    EXPECT_FALSE(c.next(cursor));  // stays done
  }
}

CutCase IniCut() {
  Bytes first = IniListBytes({{1, "one.ini", "S", "K", "V"}});
  return {"Ini", IniListBytes({{1, "one.ini", "S", "K", "V"}, {0, "two.ini", "A", "B", "C"}}),
          first.size(),
          [](ListCursor& c) {
            IniEntry e;
            return c.Next(&e);
          },
          ValidateIniList};
}

CutCase RegistryCut() {
  Bytes first = RegistryListBytes({{1, 0, "Key", "", "Data"}});
  return {"Registry", RegistryListBytes({{1, 0, "Key", "", "Data"}, {3, 1, "Other", "V", ""}}),
          first.size(),
          [](ListCursor& c) {
            RegistryEntry e;
            return c.Next(&e);
          },
          ValidateRegistryList};
}

CutCase PatchCut() {
  Bytes first = PatchListBytes({{-1, "f.cfg", "text", {'a', 'b', 'c'}}});
  return {"FilePatch",
          PatchListBytes({{-1, "f.cfg", "text", {'a', 'b', 'c'}}, {16, "g.cfg", "t2", {'z'}}}),
          first.size(),
          [](ListCursor& c) {
            FilePatchEntry e;
            return c.Next(&e);
          },
          ValidateFilePatchList};
}

INSTANTIATE_TEST_SUITE_P(Kinds, EntryListCutTest,
                         ::testing::Values(IniCut(), RegistryCut(), PatchCut()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FilePatchListTest, PatternLengthPastTheEndIsDamaged) {
  for (uint32_t length : {4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(length);
    Bytes b = PatchListBytes({{-1, "f", "t", {1, 2, 3}}});
    for (int i = 0; i < 4; ++i) b[6 + i] = static_cast<uint8_t>(length >> (8 * i));
    ListCursor cursor = CursorOn(b);
    FilePatchEntry e;
    EXPECT_FALSE(cursor.Next(&e));
    EXPECT_TRUE(cursor.damaged());
    EXPECT_FALSE(ValidateFilePatchList(b.data(), static_cast<uint32_t>(b.size())));
  }
}

TEST(EntryListTest, CountBeyondTheEntriesIsDamaged) {
  Bytes b = RegistryListBytes({{1, 0, "k", "v", "d"}});
  b[0] = 2;
  EXPECT_FALSE(ValidateRegistryList(b.data(), static_cast<uint32_t>(b.size())));
  b[0] = 0;
  b[1] = 1;  // 256
  EXPECT_FALSE(ValidateRegistryList(b.data(), static_cast<uint32_t>(b.size())));
}

}  // namespace
}  // namespace setup
