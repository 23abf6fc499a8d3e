// Component descriptors: offsets turned into pointers, every one checked
// against the descriptor's end; and switching the current component.
#include "package/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/file_entry.h"
#include "package/strings.h"
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
using test::PackageBytes;

constexpr uint32_t kTextFields[] = {kDescDisplayName,      kDescChoiceLabel,    kDescDefaultFolder,
                                    kDescFolderRegKey,     kDescFolderRegValue, kDescFolderIniFile,
                                    kDescFolderIniSection, kDescFolderIniKey};

bool Parse(const Bytes& block, ComponentDescriptor* out) {
  return ParseComponentDescriptor(block.data(), static_cast<uint32_t>(block.size()), out);
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

DescriptorSpec FullSpec() {
  DescriptorSpec fields;
  fields.options = COMP_FOLDER_EDITABLE | COMP_FOLDER_TO_REGISTRY | COMP_FOLDER_TO_INI;
  fields.reserved = 0xBEEF;
  fields.displayName = "Product 1.0";
  fields.choiceLabel = "Full installation";
  fields.defaultFolder = "#Program Files#\\Product";
  fields.folderRootKey = 7;
  fields.folderRegKey = "Software\\Maker\\Product";
  fields.folderRegValue = "Path";
  fields.folderIniFile = "#Windows#\\product.ini";
  fields.folderIniSection = "Setup";
  fields.folderIniKey = "Folder";
  for (int g = 0; g < kStringGroups; ++g)
    fields.groups[g] = {std::string("g").append(std::to_string(g)), "second"};
  return fields;
}

TEST(ParseComponentDescriptorTest, TurnsEveryOffsetIntoAPointer) {
  Bytes block = DescriptorBytes(FullSpec());
  ComponentDescriptor d;
  ASSERT_TRUE(Parse(block, &d));
  EXPECT_EQ(d.options, COMP_FOLDER_EDITABLE | COMP_FOLDER_TO_REGISTRY | COMP_FOLDER_TO_INI);
  EXPECT_EQ(d.folderRootKey, 7u);
  const char* texts[] = {d.displayName,    d.choiceLabel,   d.defaultFolder,    d.folderRegKey,
                         d.folderRegValue, d.folderIniFile, d.folderIniSection, d.folderIniKey};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(texts[i]),
              block.data() + GetU32(block, kTextFields[i]));
  }
  EXPECT_STREQ(d.displayName, "Product 1.0");
  EXPECT_STREQ(d.defaultFolder, "#Program Files#\\Product");
  EXPECT_STREQ(d.folderIniKey, "Folder");
  for (int g = 0; g < kStringGroups; ++g) {
    SCOPED_TRACE(g);
    EXPECT_EQ(d.groups[g].data, block.data() + GetU32(block, kDescStringGroups + 4 * g));
    EXPECT_EQ(std::string(StringInGroup(d.groups[g], 0)), "g" + std::to_string(g));
    EXPECT_STREQ(StringInGroup(d.groups[g], 1), "second");
  }
}

TEST(ParseComponentDescriptorTest, ZeroOffsetsLeaveItemsAbsent) {
  DescriptorSpec fields;
  fields.choiceLabel = "only this";
  fields.groups[6] = {"caption"};
  Bytes block = DescriptorBytes(fields);
  ComponentDescriptor d;
  ASSERT_TRUE(Parse(block, &d));
  EXPECT_EQ(d.displayName, nullptr);
  EXPECT_EQ(d.defaultFolder, nullptr);
  EXPECT_EQ(d.folderRegKey, nullptr);
  EXPECT_EQ(d.folderRegValue, nullptr);
  EXPECT_EQ(d.folderIniFile, nullptr);
  EXPECT_EQ(d.folderIniSection, nullptr);
  EXPECT_EQ(d.folderIniKey, nullptr);
  EXPECT_STREQ(d.choiceLabel, "only this");
  for (int g = 0; g < kStringGroups; ++g) EXPECT_EQ(d.groups[g].data == nullptr, g != 6) << g;
  // A bare fixed part is a descriptor with nothing in it.
  EXPECT_TRUE(Parse(Bytes(kDescriptorFixedSize, 0), &d));
  EXPECT_EQ(d.choiceLabel, nullptr);
}

TEST(ParseComponentDescriptorTest, RefusesBlocksShorterThanTheFixedPart) {
  ComponentDescriptor d;
  EXPECT_FALSE(Parse(Bytes(kDescriptorFixedSize - 1, 0), &d));
  EXPECT_FALSE(Parse(Bytes(), &d));
  EXPECT_FALSE(ParseComponentDescriptor(nullptr, 200, &d));
}

TEST(ParseComponentDescriptorTest, EveryTextFieldIsChecked) {
  Bytes good = DescriptorBytes(FullSpec());
  uint32_t size = static_cast<uint32_t>(good.size());
  for (uint32_t field : kTextFields) {
    SCOPED_TRACE(field);
    ComponentDescriptor d;
    for (uint32_t offset : {size, size + 1, 0x80000000u, 0xFFFFFFFFu}) {
      Bytes block = good;
      PutU32(block, field, offset);
      EXPECT_FALSE(Parse(block, &d)) << offset;
    }
    // Its last byte, a NUL: the empty text.
    Bytes block = good;
    PutU32(block, field, size - 1);
    ASSERT_TRUE(Parse(block, &d));
  }
}

TEST(ParseComponentDescriptorTest, TextMustEndInsideTheDescriptor) {
  DescriptorSpec fields;
  fields.folderIniKey = "Folder";
  Bytes block = DescriptorBytes(fields);
  block.back() = 'X';
  ComponentDescriptor d;
  EXPECT_FALSE(Parse(block, &d));
  block.push_back(0);
  ASSERT_TRUE(Parse(block, &d));
  EXPECT_STREQ(d.folderIniKey, "FolderX");
}

TEST(ParseComponentDescriptorTest, EveryStringGroupIsChecked) {
  Bytes good = DescriptorBytes(FullSpec());
  uint32_t size = static_cast<uint32_t>(good.size());
  for (int g = 0; g < kStringGroups; ++g) {
    SCOPED_TRACE(g);
    ComponentDescriptor d;
    for (uint32_t offset : {size - 1, size, size + 2, 0xFFFFFFFFu}) {
      Bytes block = good;
      PutU32(block, kDescStringGroups + 4 * g, offset);
      EXPECT_FALSE(Parse(block, &d)) << offset;
    }
  }
}

TEST(ParseComponentDescriptorTest, GroupTextsMustEndInsideTheDescriptor) {
  DescriptorSpec fields;
  fields.groups[6] = {"one", "two"};
  Bytes block = DescriptorBytes(fields);
  ComponentDescriptor d;
  uint32_t at = GetU32(block, kDescStringGroups + 24);
  for (uint16_t count : {3, 0xFFFF}) {
    block[at] = static_cast<uint8_t>(count);
    block[at + 1] = static_cast<uint8_t>(count >> 8);
    EXPECT_FALSE(Parse(block, &d)) << count;
  }
  block[at] = 2;
  block[at + 1] = 0;
  block.back() = 'o';  // "two" loses its NUL
  EXPECT_FALSE(Parse(block, &d));
  // Claims fewer texts than there are: fine, the rest are never looked up.
  block[at] = 1;
  ASSERT_TRUE(Parse(block, &d));
  EXPECT_STREQ(StringInGroup(d.groups[6], 0), "one");
  EXPECT_STREQ(StringInGroup(d.groups[6], 1), "");
  // A group with no texts in the last two bytes.
  Bytes empty = DescriptorBytes(DescriptorSpec{});
  empty.push_back(0);
  empty.push_back(0);
  PutU32(empty, kDescStringGroups + 40, static_cast<uint32_t>(empty.size() - 2));
  ASSERT_TRUE(Parse(empty, &d));
  EXPECT_NE(d.groups[10].data, nullptr);
  EXPECT_STREQ(StringInGroup(d.groups[10], 0), "");
}

// --- The current component ------------------------------------------------------

class SelectComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FileEntrySpec a, b;
    a.strings[0] = "a.exe";
    b.strings[0] = "b.dll";
    b.padding = 3;
    PackageBytes p;
    p.Record(REC_COMPONENT, Named("zero"))
        .Record(REC_FILE_LIST, FileListBytes({a, b}))
        .Record(REC_COMPONENT, Named("one"))
        .Record(REC_COMPONENT, Named("two"))
        .Record(REC_FILE_LIST, FileListBytes({}));
    ASSERT_EQ(h.Load(p.End(), 48), 1);
  }
  static Bytes Named(const std::string& name) {
    DescriptorSpec fields;
    fields.choiceLabel = name;
    fields.groups[6] = {"Caption " + name};
    return DescriptorBytes(fields);
  }
  CurrentComponent& current() { return h.context->current; }
  void SetFolder(const char* folder) { CopyText(current().destinationFolder, kPathSize, folder); }
  std::string Folder() { return current().destinationFolder; }

  LoaderHarness h;
};

TEST_F(SelectComponentTest, SwitchesStringsFilesAndDescriptor) {
  const PackageState& package = h.context->package;
  EXPECT_EQ(current().index, 0);
  EXPECT_EQ(current().fileCount, 2u);
  EXPECT_EQ(current().firstEntry, package.components[0].fileList.data + 4);
  EXPECT_STREQ(FileEntryString(NextFileEntry(current().firstEntry), 0), "b.dll");
  SelectComponent(h.context->package, h.context->current, 1);
  EXPECT_EQ(current().index, 1);
  EXPECT_EQ(current().descriptor, &package.components[1].descriptor);
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "Caption one");
  EXPECT_EQ(current().fileCount, 0u);  // no file list record
  EXPECT_EQ(current().firstEntry, nullptr);
  SelectComponent(h.context->package, h.context->current, 2);
  EXPECT_STREQ(current().descriptor->choiceLabel, "two");
  EXPECT_EQ(current().fileCount, 0u);  // a list of no entries
  EXPECT_EQ(current().firstEntry, nullptr);
  SelectComponent(h.context->package, h.context->current, 0);
  EXPECT_EQ(current().fileCount, 2u);
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "Caption zero");
}

TEST_F(SelectComponentTest, KeepsEachComponentsEditedFolder) {
  SetFolder("C:\\Edited zero");
  SelectComponent(h.context->package, h.context->current, 1);
  EXPECT_EQ(Folder(), "");
  SetFolder("D:\\Edited one");
  SelectComponent(h.context->package, h.context->current, 0);
  EXPECT_EQ(Folder(), "C:\\Edited zero");
  SelectComponent(h.context->package, h.context->current, 0);  // reselecting keeps it too
  EXPECT_EQ(Folder(), "C:\\Edited zero");
  SelectComponent(h.context->package, h.context->current, 1);
  EXPECT_EQ(Folder(), "D:\\Edited one");
  SelectComponent(h.context->package, h.context->current, 2);
  EXPECT_EQ(Folder(), "");
  EXPECT_STREQ(h.context->package.components[0].savedFolder, "C:\\Edited zero");
  EXPECT_STREQ(h.context->package.components[1].savedFolder, "D:\\Edited one");
}

TEST_F(SelectComponentTest, LongestFolderSurvivesTheRoundTrip) {
  std::string longest(kPathSize - 1, 'x');
  longest[0] = 'C';
  SetFolder(longest.c_str());
  SelectComponent(h.context->package, h.context->current, 2);
  SelectComponent(h.context->package, h.context->current, 0);
  EXPECT_EQ(Folder(), longest);
}

TEST_F(SelectComponentTest, SlotWithoutComponentHasNothing) {
  SetFolder("C:\\Kept");
  for (int index : {3, 5, 6, -1}) {
    SCOPED_TRACE(index);
    SelectComponent(h.context->package, h.context->current, index);
    EXPECT_EQ(current().descriptor, nullptr);
    EXPECT_EQ(current().fileCount, 0u);
    EXPECT_EQ(current().firstEntry, nullptr);
    EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "");
  }
  SelectComponent(h.context->package, h.context->current, 0);
  EXPECT_EQ(Folder(), "C:\\Kept");
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "Caption zero");
}

}  // namespace
}  // namespace setup
