#include "tools/mkpkg/dialog_templates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "wizard/dialog_template.h"

namespace setup::tools {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kPopup = 0x80000000, kChild = 0x40000000, kVisible = 0x10000000,
                   kDisabled = 0x08000000, kCaption = 0x00C00000, kSysMenu = 0x00080000,
                   kVScroll = 0x00200000, kGroup = 0x00020000;
constexpr uint32_t kSetFont = 0x40, kControl = 0x400;
constexpr uint32_t kMultiline = 0x4, kReadOnly = 0x800;

// ---- A reader of in-memory DLGTEMPLATEs, written from the published layout ----

struct ParsedItem {
  size_t offset = 0;  // from the template's first byte
  uint32_t style = 0, exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint16_t id = 0;
  uint16_t classOrdinal = 0;  // 0 when the class is a name
  std::u16string className;
  std::u16string text;
};

struct ParsedTemplate {
  uint32_t style = 0, exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::u16string title;
  uint16_t pointSize = 0;
  std::u16string font;
  std::vector<ParsedItem> items;
  size_t size = 0;  // bytes up to the end of the last item's creation data
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint16_t U16() {
    Need(2);
    uint16_t v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t low = U16();
    return low | static_cast<uint32_t>(U16()) << 16;
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  std::u16string Sz() {
    std::u16string s;
    for (uint16_t c = U16(); c != 0; c = U16()) s.push_back(static_cast<char16_t>(c));
    return s;
  }
  void AlignToDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
  void Skip(size_t n) {
    Need(n);
    pos_ += n;
  }
  size_t pos() const { return pos_; }

 private:
  void Need(size_t n) {
    if (pos_ + n > size_) throw std::runtime_error("template runs past its buffer");
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

ParsedTemplate ParseTemplate(const uint8_t* data, size_t size) {
  Reader r(data, size);
  ParsedTemplate t;
  t.style = r.U32();
  t.exStyle = r.U32();
  uint16_t count = r.U16();
  t.x = r.I16();
  t.y = r.I16();
  t.cx = r.I16();
  t.cy = r.I16();
  EXPECT_EQ(r.U16(), 0u) << "menu";
  EXPECT_EQ(r.U16(), 0u) << "class";
  t.title = r.Sz();
  if (t.style & kSetFont) {
    t.pointSize = r.U16();
    t.font = r.Sz();
  }
  for (uint16_t i = 0; i < count; ++i) {
    r.AlignToDword();
    ParsedItem item;
    item.offset = r.pos();
    item.style = r.U32();
    item.exStyle = r.U32();
    item.x = r.I16();
    item.y = r.I16();
    item.cx = r.I16();
    item.cy = r.I16();
    item.id = r.U16();
    uint16_t first = r.U16();
    if (first == 0xFFFF) {
      item.classOrdinal = r.U16();
    } else {
      item.className.push_back(static_cast<char16_t>(first));
      if (first != 0) item.className += r.Sz();
    }
    uint16_t textFirst = r.U16();
    if (textFirst == 0xFFFF) {
      r.U16();  // a resource ordinal; the templates here never use one
      ADD_FAILURE() << "item " << item.id << " has an ordinal text";
    } else if (textFirst != 0) {
      item.text.push_back(static_cast<char16_t>(textFirst));
      item.text += r.Sz();
    }
    r.Skip(r.U16());
    t.items.push_back(item);
  }
  t.size = r.pos();
  return t;
}

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

uint32_t ReadU32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

const ParsedItem* FindItem(const ParsedTemplate& t, uint16_t id) {
  for (const ParsedItem& item : t.items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

// ---- A small template, byte for byte ----

DialogTemplate SmallTemplate() {
  DialogTemplate d;
  d.style = 0x40000440;  // WS_CHILD | DS_CONTROL | DS_SETFONT
  d.x = 1;
  d.y = 2;
  d.cx = 100;
  d.cy = 50;
  d.title = "Hi!";
  d.pointSize = 8;
  d.font = "Ab";
  DialogItem text;
  text.style = 0x50000000;  // WS_CHILD | WS_VISIBLE
  text.x = 3;
  text.y = 4;
  text.cx = 90;
  text.cy = 8;
  text.id = 1000;
  text.windowClass = "Static";
  text.text = "T\x80";  // the euro sign in Windows-1252
  DialogItem custom;
  custom.style = 0x50010001;
  custom.exStyle = 0x200;
  custom.x = 10;
  custom.y = 20;
  custom.cx = 50;
  custom.cy = 14;
  custom.id = 1;
  custom.windowClass = "Xy";
  d.items = {text, custom};
  return d;
}

const Bytes kSmallTemplateBytes = {
    // 0: style, extended style, item count, x, y, cx, cy
    0x40, 0x04, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00,
    0x01, 0x00, 0x02, 0x00, 0x64, 0x00, 0x32, 0x00,
    // 18: no menu, default class, title "Hi!"
    0x00, 0x00, 0x00, 0x00, 0x48, 0x00, 0x69, 0x00, 0x21, 0x00, 0x00, 0x00,
    // 30: point size 8, font "Ab"
    0x08, 0x00, 0x41, 0x00, 0x62, 0x00, 0x00, 0x00,
    // 38: padding to the first item
    0x00, 0x00,
    // 40: item 1000
    0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x00, 0x00,
    0x03, 0x00, 0x04, 0x00, 0x5A, 0x00, 0x08, 0x00, 0xE8, 0x03,
    0xFF, 0xFF, 0x82, 0x00,              // class ordinal: static
    0x54, 0x00, 0xAC, 0x20, 0x00, 0x00,  // "T", U+20AC
    0x00, 0x00,                          // no creation data
    // 70: padding to the second item
    0x00, 0x00,
    // 72: item 1
    0x01, 0x00, 0x01, 0x50, 0x00, 0x02, 0x00, 0x00,
    0x0A, 0x00, 0x14, 0x00, 0x32, 0x00, 0x0E, 0x00, 0x01, 0x00,
    0x58, 0x00, 0x79, 0x00, 0x00, 0x00,  // class name "Xy"
    0x00, 0x00,                          // empty text
    0x00, 0x00,                          // no creation data
};

TEST(DialogTemplateEncodingTest, SmallTemplateMatchesHandWrittenBytes) {
  EXPECT_EQ(EncodeDialogTemplate(SmallTemplate()), kSmallTemplateBytes);
}

TEST(DialogTemplateEncodingTest, FontBlockOnlyWithSetFont) {
  DialogTemplate d = SmallTemplate();
  d.style = 0x40000400;
  d.items.clear();
  const Bytes expected = {
      0x00, 0x04, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
      0x02, 0x00, 0x64, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00, 0x00, 0x48, 0x00,
      0x69, 0x00, 0x21, 0x00, 0x00, 0x00,
  };
  EXPECT_EQ(EncodeDialogTemplate(d), expected);
}

TEST(DialogTemplateEncodingTest, PredefinedClassesBecomeOrdinals) {
  const std::map<std::string, uint16_t> classes = {
      {"button", 0x80},  {"EDIT", 0x81},      {"static", 0x82},
      {"ListBox", 0x83}, {"scrollbar", 0x84}, {"combobox", 0x85},
  };
  for (const auto& [name, ordinal] : classes) {
    DialogTemplate d;
    DialogItem item;
    item.windowClass = name;
    d.items = {item};
    Bytes bytes = EncodeDialogTemplate(d);
    // Header 18, menu, class, empty title: the item starts at 24; its class at 42.
    ASSERT_EQ(bytes.size(), 24u + 18 + 4 + 2 + 2) << name;
    EXPECT_EQ(bytes[42], 0xFF);
    EXPECT_EQ(bytes[43], 0xFF);
    EXPECT_EQ(bytes[44], ordinal) << name;
    EXPECT_EQ(bytes[45], 0x00);
  }
}

TEST(DialogTemplateEncodingTest, Windows1252TextsBecomeUtf16) {
  EXPECT_EQ(Windows1252ToUtf16("A\xE9\x80\x9F\x81\xFF"),
            (std::u16string{u'A', 0x00E9, 0x20AC, 0x0178, 0x0081, 0x00FF}));
}

TEST(DialogTemplateEncodingTest, RefusesEmbeddedNulAndMissingClass) {
  DialogTemplate d = SmallTemplate();
  d.title = std::string("a\0b", 3);
  EXPECT_THROW(EncodeDialogTemplate(d), std::runtime_error);
  d = SmallTemplate();
  d.items[1].text = std::string("\0", 1);
  EXPECT_THROW(EncodeDialogTemplate(d), std::runtime_error);
  d = SmallTemplate();
  d.items[1].windowClass.clear();
  EXPECT_THROW(EncodeDialogTemplate(d), std::runtime_error);
}

// ---- The block ----

TEST(DialogBlockTest, OffsetTableThenTemplatesAtTwoByteAlignment) {
  // A 26-byte template (no items, title "A") puts the next one at 8 + 26 = 34,
  // which is 2 mod 4; its items stay aligned to its own first byte.
  DialogTemplate first;
  first.title = "A";
  Bytes a = EncodeDialogTemplate(first);
  ASSERT_EQ(a.size(), 26u);
  Bytes expected = {0x08, 0x00, 0x00, 0x00, 0x22, 0x00, 0x00, 0x00};
  expected.insert(expected.end(), a.begin(), a.end());
  expected.insert(expected.end(), kSmallTemplateBytes.begin(), kSmallTemplateBytes.end());

  Bytes block = BuildDialogBlock({a, EncodeDialogTemplate(SmallTemplate())});
  EXPECT_EQ(block, expected);

  ParsedTemplate parsed = ParseTemplate(block.data() + 34, block.size() - 34);
  ASSERT_EQ(parsed.items.size(), 2u);
  EXPECT_EQ(parsed.items[0].offset, 40u);
  EXPECT_EQ(parsed.items[1].offset, 72u);
  EXPECT_EQ(parsed.items[0].text, (std::u16string{u'T', 0x20AC}));
  EXPECT_EQ(parsed.items[1].className, u"Xy");
  EXPECT_EQ(parsed.size, kSmallTemplateBytes.size());
}

TEST(DialogBlockTest, OddTemplateIsPaddedAndEmptyOneRefused) {
  EXPECT_EQ(BuildDialogBlock({{0x01, 0x02, 0x03}, {0x04, 0x05}}),
            (Bytes{0x08, 0, 0, 0, 0x0C, 0, 0, 0, 0x01, 0x02, 0x03, 0x00, 0x04, 0x05}));
  EXPECT_THROW(BuildDialogBlock({{0x01, 0x02}, {}}), std::runtime_error);
}

TEST(DialogBlockTest, TemplateWithEverythingAfterItMustFitTheCopy) {
  // One template: the table is not part of the copy, so exactly 16384 fits.
  EXPECT_EQ(BuildDialogBlock({Bytes(16384, 0)}).size(), 4u + 16384);
  EXPECT_THROW(BuildDialogBlock({Bytes(16386, 0)}), std::runtime_error);

  // Each part fits on its own, but the first one's copy would run 2 bytes over.
  try {
    BuildDialogBlock({Bytes(8000, 0), Bytes(4000, 0), Bytes(4386, 0)});
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find("template 0"), std::string::npos) << message;
    EXPECT_NE(message.find("16386"), std::string::npos) << message;
    EXPECT_NE(message.find("16384"), std::string::npos) << message;
  }
  EXPECT_NO_THROW(BuildDialogBlock({Bytes(8000, 0), Bytes(4000, 0), Bytes(4384, 0)}));
}

// ---- The default set ----

// The control ids the setup's code looks up, per template number.
const std::map<int, std::set<uint16_t>> kRequiredIds = {
    {0, {1, 2, 1007, 1006, 1011, 1012}},
    {1, {1, 2, 1007, 1006, 1011, 1012}},
    {2, {1000, 1001, 1002, 1003, 1004, 1005, 1016, 1017, 1018, 1019}},
    {3, {1000, 1001, 1002, 1003}},
    {4, {1000, 1001, 1002, 1003, 1008, 1009, 1010}},
    {5, {1000, 1001, 1002, 1003}},
    {6, {1000, 1001, 1002, 1003, 1014, 1015}},
    {7, {101, 1009, 1121, 1137, 1091, 1, 2, 1152, 1120, 1136, 1089, 1088, 1038, 1040}},
    {8, {1000, 1001, 1021, 1022, 1023, 1024, 1025, 1026}},
    {9, {}},
};

class DefaultDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    defaults_ = DefaultDialogTemplates();
    ASSERT_EQ(defaults_.size(), 10u);
    std::vector<Bytes> encoded;
    for (const DialogTemplate& d : defaults_) encoded.push_back(EncodeDialogTemplate(d));
    block_ = BuildDialogBlock(encoded);
    // Read each template the way the setup does: from a zero-filled 16 KiB
    // copy of everything from its offset to the end of the block.
    for (int n = 0; n < 10; ++n) {
      uint32_t offset = ReadU32(block_, 4 * n);
      offsets_.push_back(offset);
      ASSERT_LE(block_.size() - offset, kDialogCopySize);
      Bytes copy(kDialogCopySize, 0);
      std::copy(block_.begin() + offset, block_.end(), copy.begin());
      parsed_.push_back(ParseTemplate(copy.data(), copy.size()));
      ASSERT_EQ(parsed_.back().size, encoded[n].size()) << "template " << n;
    }
  }

  std::vector<DialogTemplate> defaults_;
  Bytes block_;
  std::vector<uint32_t> offsets_;
  std::vector<ParsedTemplate> parsed_;
};

TEST_F(DefaultDialogsTest, BlockHoldsTenTemplatesBackToBack) {
  EXPECT_EQ(offsets_[0], 40u);
  for (int n = 1; n < 10; ++n) {
    EXPECT_EQ(offsets_[n], offsets_[n - 1] + parsed_[n - 1].size) << n;
    EXPECT_EQ(offsets_[n] % 2, 0u) << n;
  }
  EXPECT_EQ(block_.size(), offsets_[9] + parsed_[9].size);
  // And the setup takes every one of them.
  for (uint32_t n = 0; n < 10; ++n) {
    TemplateSpan span = FindDialogTemplate(block_.data(), static_cast<uint32_t>(block_.size()), n);
    EXPECT_TRUE(DialogTemplateFits(span.start, span.size)) << n;
  }
}

TEST_F(DefaultDialogsTest, ParseBackToWhatWasEncoded) {
  for (int n = 0; n < 10; ++n) {
    SCOPED_TRACE("template " + std::to_string(n));
    const DialogTemplate& d = defaults_[n];
    const ParsedTemplate& p = parsed_[n];
    EXPECT_EQ(p.style, d.style);
    EXPECT_EQ(p.exStyle, d.exStyle);
    EXPECT_EQ(p.cx, d.cx);
    EXPECT_EQ(p.cy, d.cy);
    EXPECT_EQ(p.title, U16(d.title));
    EXPECT_TRUE(p.style & kSetFont);
    EXPECT_EQ(p.pointSize, 8u);
    EXPECT_EQ(p.font, u"MS Sans Serif");
    ASSERT_EQ(p.items.size(), d.items.size());
    for (size_t i = 0; i < d.items.size(); ++i) {
      EXPECT_EQ(p.items[i].offset % 4, 0u) << "item " << i;
      EXPECT_EQ(p.items[i].id, d.items[i].id);
      EXPECT_EQ(p.items[i].style, d.items[i].style);
      EXPECT_EQ(p.items[i].text, U16(d.items[i].text));
      EXPECT_GE(p.items[i].classOrdinal, 0x80u) << "item " << d.items[i].id;
      EXPECT_LE(p.items[i].classOrdinal, 0x85u) << "item " << d.items[i].id;
    }
  }
}

TEST_F(DefaultDialogsTest, CarryTheControlsTheSetupLooksUp) {
  for (int n = 0; n < 10; ++n) {
    SCOPED_TRACE("template " + std::to_string(n));
    std::set<uint16_t> ids;
    for (const ParsedItem& item : parsed_[n].items) {
      EXPECT_TRUE(ids.insert(item.id).second) << "id " << item.id << " twice";
    }
    for (uint16_t id : kRequiredIds.at(n)) EXPECT_TRUE(ids.count(id)) << "id " << id;
    EXPECT_TRUE(MissingControls(n, defaults_[n]).empty());
  }
}

TEST_F(DefaultDialogsTest, FramesAreChildDialogsWithHiddenPlaceholders) {
  const ParsedTemplate& windowed = parsed_[0];
  const ParsedTemplate& fullScreen = parsed_[1];
  EXPECT_EQ(windowed.style & (kChild | kPopup | kVisible), kChild | kVisible);
  EXPECT_EQ(windowed.style & kCaption, 0u);
  EXPECT_EQ(windowed.style & kSysMenu, 0u);
  EXPECT_EQ(fullScreen.style & (kChild | kPopup | kVisible), kChild | kVisible);
  EXPECT_EQ(fullScreen.style & kCaption, kCaption);
  EXPECT_EQ(fullScreen.style & kSysMenu, kSysMenu);
  for (const ParsedTemplate* frame : {&windowed, &fullScreen}) {
    EXPECT_EQ(frame->cx, windowed.cx);
    EXPECT_EQ(frame->cy, windowed.cy);
    for (uint16_t id : {1006, 1011, 1012}) EXPECT_FALSE(FindItem(*frame, id)->style & kVisible);
    for (uint16_t id : {1, 2, 1007}) {
      const ParsedItem* button = FindItem(*frame, id);
      EXPECT_EQ(button->classOrdinal, 0x80u);
      EXPECT_TRUE(button->style & kVisible);
    }
    EXPECT_EQ(FindItem(*frame, 1)->style & 0xF, 1u) << "Next is the default push button";
    EXPECT_EQ(FindItem(*frame, 2)->style & 0xF, 0u);
    EXPECT_EQ(FindItem(*frame, 1007)->style & 0xF, 0u);

    // Picture on the left, page area to its right, separator and buttons below.
    const ParsedItem* picture = FindItem(*frame, 1011);
    const ParsedItem* page = FindItem(*frame, 1006);
    const ParsedItem* separator = FindItem(*frame, 1012);
    EXPECT_LT(picture->x + picture->cx, page->x);
    EXPECT_LT(page->y + page->cy, separator->y);
    for (uint16_t id : {1, 2, 1007}) EXPECT_GT(FindItem(*frame, id)->y, separator->y);
    EXPECT_LT(FindItem(*frame, 1007)->x, FindItem(*frame, 1)->x);
    EXPECT_LT(FindItem(*frame, 1)->x, FindItem(*frame, 2)->x);
  }
}

TEST_F(DefaultDialogsTest, PagesAreControlChildrenTheSizeOfThePageArea) {
  const ParsedItem* area = FindItem(parsed_[0], 1006);
  ASSERT_NE(area, nullptr);
  for (int n : {2, 3, 4, 5, 6, 8, 9}) {
    SCOPED_TRACE("template " + std::to_string(n));
    const ParsedTemplate& page = parsed_[n];
    EXPECT_EQ(page.style & (kChild | kPopup | kControl | kVisible),
              kChild | kControl | kVisible);
    EXPECT_EQ(page.style & kCaption, 0u);
    EXPECT_EQ(page.cx, area->cx);
    EXPECT_EQ(page.cy, area->cy);
  }
}

TEST_F(DefaultDialogsTest, ControlsHaveTheirKinds) {
  const ParsedItem* info = FindItem(parsed_[3], 1000);
  EXPECT_EQ(info->classOrdinal, 0x81u);
  EXPECT_EQ(info->style & (kMultiline | kReadOnly | kVScroll),
            kMultiline | kReadOnly | kVScroll);

  EXPECT_EQ(FindItem(parsed_[2], 1004)->classOrdinal, 0x81u);
  EXPECT_EQ(FindItem(parsed_[2], 1005)->classOrdinal, 0x80u);
  EXPECT_FALSE(FindItem(parsed_[4], 1009)->style & kVisible);

  const ParsedItem* open = FindItem(parsed_[6], 1014);
  const ParsedItem* run = FindItem(parsed_[6], 1015);
  EXPECT_EQ(open->classOrdinal, 0x80u);
  EXPECT_EQ(open->style & 0xF, 0u);  // push button
  EXPECT_EQ(run->classOrdinal, 0x80u);
  EXPECT_EQ(run->style & 0xF, 3u);  // auto check box

  for (uint16_t id = 1021; id <= 1026; ++id) {
    const ParsedItem* radio = FindItem(parsed_[8], id);
    EXPECT_EQ(radio->classOrdinal, 0x80u);
    EXPECT_EQ(radio->style & 0xF, 9u) << id;  // auto radio button
    EXPECT_EQ((radio->style & kGroup) != 0, id == 1021) << id;
  }
}

TEST_F(DefaultDialogsTest, FolderChooserIsACaptionedPopupWithTheFileControlsHidden) {
  const ParsedTemplate& chooser = parsed_[7];
  EXPECT_EQ(chooser.style & (kPopup | kChild), kPopup);
  EXPECT_EQ(chooser.style & kCaption, kCaption);
  for (uint16_t id : {101, 1009, 1121, 1137, 1091, 1, 2}) {
    const ParsedItem* item = FindItem(chooser, id);
    EXPECT_EQ(item->style & (kVisible | kDisabled), kVisible) << id;
  }
  for (uint16_t id : {1152, 1120, 1136, 1089, 1088, 1038, 1040}) {
    const ParsedItem* item = FindItem(chooser, id);
    EXPECT_EQ(item->style & (kVisible | kDisabled), kDisabled) << id;
  }
  EXPECT_EQ(FindItem(chooser, 101)->classOrdinal, 0x81u);
  EXPECT_EQ(FindItem(chooser, 1121)->classOrdinal, 0x83u);
  EXPECT_EQ(FindItem(chooser, 1137)->classOrdinal, 0x85u);
  EXPECT_EQ(FindItem(chooser, 1)->style & 0xF, 1u);
}

TEST_F(DefaultDialogsTest, ControlsLieInsideTheirDialogAndVisibleOnesDoNotOverlap) {
  for (int n = 0; n < 10; ++n) {
    SCOPED_TRACE("template " + std::to_string(n));
    const ParsedTemplate& t = parsed_[n];
    std::vector<const ParsedItem*> visible;
    for (const ParsedItem& item : t.items) {
      EXPECT_GE(item.x, 0) << item.id;
      EXPECT_GE(item.y, 0) << item.id;
      EXPECT_GT(item.cx, 0) << item.id;
      EXPECT_GT(item.cy, 0) << item.id;
      EXPECT_LE(item.x + item.cx, t.cx) << item.id;
      // A combo box's height includes its dropped-down list.
      if (item.classOrdinal != 0x85) {
        EXPECT_LE(item.y + item.cy, t.cy) << item.id;
      }
      if (item.style & kVisible) visible.push_back(&item);
    }
    for (size_t i = 0; i < visible.size(); ++i) {
      for (size_t j = i + 1; j < visible.size(); ++j) {
        const ParsedItem& a = *visible[i];
        const ParsedItem& b = *visible[j];
        bool apart = a.x + a.cx <= b.x || b.x + b.cx <= a.x || a.y + a.cy <= b.y ||
                     b.y + b.cy <= a.y;
        EXPECT_TRUE(apart) << a.id << " and " << b.id;
      }
    }
  }
}

// ---- Required controls ----

TEST(MissingControlsTest, NamesEachMissingRequiredControl) {
  std::vector<DialogTemplate> defaults = DefaultDialogTemplates();
  DialogTemplate frame = defaults[0];
  std::erase_if(frame.items, [](const DialogItem& i) { return i.id == 1006; });
  std::vector<std::string> missing = MissingControls(0, frame);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_NE(missing[0].find("1006"), std::string::npos) << missing[0];
  // The full-screen frame needs the same controls.
  EXPECT_EQ(MissingControls(1, frame).size(), 1u);
  // A page template does not need the frame's controls.
  EXPECT_TRUE(MissingControls(9, frame).empty());

  DialogTemplate chooser = defaults[7];
  std::erase_if(chooser.items,
                [](const DialogItem& i) { return i.id == 101 || i.id == 1040; });
  missing = MissingControls(7, chooser);
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_NE(missing[0].find("101"), std::string::npos);
  EXPECT_NE(missing[1].find("1040"), std::string::npos);

  DialogTemplate components = defaults[8];
  components.items.pop_back();
  EXPECT_TRUE(MissingControls(8, components).empty()) << "1003 is optional";
  std::erase_if(components.items, [](const DialogItem& i) { return i.id == 1026; });
  EXPECT_EQ(MissingControls(8, components).size(), 1u);

  // Every required id of the progress page, taken away one at a time, is noticed.
  for (uint16_t id : {1008, 1009, 1010}) {
    DialogTemplate progress = defaults[4];
    std::erase_if(progress.items, [id](const DialogItem& i) { return i.id == id; });
    EXPECT_EQ(MissingControls(4, progress).size(), 1u) << id;
  }
}

// Nothing shows a frame or a page: each must be a visible child, a page also
// a control of the frame; the folder chooser is a pop-up.
TEST(StyleProblemsTest, NamesEachStyleTheSetupReliesOn) {
  std::vector<DialogTemplate> defaults = DefaultDialogTemplates();
  for (int n = 0; n < kDialogCount; ++n) {
    EXPECT_TRUE(StyleProblems(n, defaults[n]).empty()) << n;
  }
  constexpr uint32_t kChild = 0x40000000, kVisible = 0x10000000, kCaption = 0x00C00000,
                     kSysMenu = 0x00080000, kControl = 0x0400;
  DialogTemplate page = defaults[kDialogSpare];
  page.style &= ~(kVisible | kControl);
  std::vector<std::string> problems = StyleProblems(kDialogSpare, page);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("WS_VISIBLE"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("DS_CONTROL"), std::string::npos) << problems[1];

  // The windowed frame has no caption; the full-screen frame needs one.
  DialogTemplate frame = defaults[kDialogFrameWindowed];
  EXPECT_EQ(frame.style & kCaption, 0u);
  problems = StyleProblems(kDialogFrameFullScreen, frame);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("WS_CAPTION"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("WS_SYSMENU"), std::string::npos) << problems[1];
  frame.style |= kCaption | kSysMenu;
  EXPECT_TRUE(StyleProblems(kDialogFrameFullScreen, frame).empty());
  frame.style &= ~kChild;
  EXPECT_EQ(StyleProblems(kDialogFrameFullScreen, frame).size(), 1u);

  DialogTemplate chooser = defaults[kDialogFolderChooser];
  chooser.style |= kChild;
  EXPECT_EQ(StyleProblems(kDialogFolderChooser, chooser).size(), 1u);
  EXPECT_THROW(StyleProblems(10, page), std::out_of_range);
}

TEST(MissingControlsTest, RefusesNumbersOutsideTheSet) {
  EXPECT_THROW(MissingControls(10, DialogTemplate{}), std::out_of_range);
  EXPECT_THROW(MissingControls(-1, DialogTemplate{}), std::out_of_range);
}

// ---- JSON overrides ----

TEST(DialogJsonTest, ReadsNamesNumbersAndDefaults) {
  nlohmann::json j = nlohmann::json::parse(R"({
    "style": ["WS_CHILD", "WS_VISIBLE", "DS_CONTROL", "DS_SETFONT"],
    "cx": 225, "cy": -5, "title": "Caf\u00e9 \u20ac",
    "items": [
      { "windowClass": "edit", "id": 1000, "x": -3, "y": 4, "cx": 200, "cy": 100,
        "style": ["WS_CHILD", "WS_VSCROLL", "ES_MULTILINE", "ES_READONLY", 4096],
        "exStyle": ["WS_EX_CLIENTEDGE"] },
      { "windowClass": "button", "id": -1, "text": "&OK", "style": 1342242817,
        "exStyle": 4 }
    ]
  })");
  DialogTemplate d = DialogTemplateFromJson(j);
  EXPECT_EQ(d.style, 0x50000440u);
  EXPECT_EQ(d.exStyle, 0u);
  EXPECT_EQ(d.x, 0);
  EXPECT_EQ(d.cx, 225);
  EXPECT_EQ(d.cy, -5);
  EXPECT_EQ(d.title, "Caf\xE9 \x80");
  EXPECT_EQ(d.pointSize, 8u);
  EXPECT_EQ(d.font, "MS Sans Serif");
  ASSERT_EQ(d.items.size(), 2u);
  EXPECT_EQ(d.items[0].style, 0x40201804u);
  EXPECT_EQ(d.items[0].exStyle, 0x200u);
  EXPECT_EQ(d.items[0].x, -3);
  EXPECT_EQ(d.items[0].cy, 100);
  EXPECT_EQ(d.items[0].windowClass, "edit");
  EXPECT_EQ(d.items[0].text, "");
  EXPECT_EQ(d.items[1].id, 0xFFFF);
  EXPECT_EQ(d.items[1].style, 0x50010001u);
  EXPECT_EQ(d.items[1].exStyle, 4u);
  EXPECT_EQ(d.items[1].text, "&OK");

  nlohmann::json font = {{"pointSize", 10}, {"font", "Arial"}};
  DialogTemplate f = DialogTemplateFromJson(font);
  EXPECT_EQ(f.pointSize, 10u);
  EXPECT_EQ(f.font, "Arial");
}

TEST(DialogJsonTest, SmallTemplateFromJsonEncodesToTheSameBytes) {
  nlohmann::json j = {
      {"style", {"WS_CHILD", "DS_CONTROL", "DS_SETFONT"}},
      {"x", 1}, {"y", 2}, {"cx", 100}, {"cy", 50},
      {"title", "Hi!"}, {"font", "Ab"},
      {"items",
       {{{"windowClass", "Static"}, {"id", 1000}, {"style", {"WS_CHILD", "WS_VISIBLE"}},
         {"x", 3}, {"y", 4}, {"cx", 90}, {"cy", 8}, {"text", "T\u20ac"}},
        {{"windowClass", "Xy"}, {"id", 1}, {"style", 0x50010001}, {"exStyle", 0x200},
         {"x", 10}, {"y", 20}, {"cx", 50}, {"cy", 14}}}},
  };
  EXPECT_EQ(EncodeDialogTemplate(DialogTemplateFromJson(j)), kSmallTemplateBytes);
}

void ExpectRejected(const nlohmann::json& j, const std::string& field) {
  try {
    DialogTemplateFromJson(j);
    ADD_FAILURE() << "accepted " << j.dump();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(field), std::string::npos)
        << "message \"" << e.what() << "\" does not name " << field;
  }
}

TEST(DialogJsonTest, BadInputNamesTheField) {
  using nlohmann::json;
  ExpectRejected(json::array(), "object");
  ExpectRejected({{"stlye", 0}}, "stlye");
  ExpectRejected({{"style", "WS_CHILD"}}, "style");
  ExpectRejected({{"style", {"WS_CHILD", "WS_CHLD"}}}, "style[1]");
  ExpectRejected({{"style", {"WS_EX_CLIENTEDGE"}}}, "exStyle");
  ExpectRejected({{"exStyle", {"WS_CHILD"}}}, "exStyle[0]");
  ExpectRejected({{"style", -1}}, "style");
  ExpectRejected({{"style", 4294967296}}, "style");
  ExpectRejected({{"cx", 32768}}, "cx");
  ExpectRejected({{"x", 1.5}}, "x");
  ExpectRejected({{"pointSize", 0}}, "pointSize");
  ExpectRejected({{"font", ""}}, "font");
  ExpectRejected({{"title", 7}}, "title");
  ExpectRejected({{"title", "\u03a9"}}, "title");
  ExpectRejected({{"title", "a\xff"}}, "title");
  ExpectRejected({{"title", std::string("a\0b", 3)}}, "title");
  ExpectRejected({{"items", {{"windowClass", "edit"}}}}, "items");
  ExpectRejected({{"items", json::array({json{{"id", 5}}})}}, "items[0].windowClass");
  ExpectRejected({{"items", json::array({json{{"windowClass", "edit"}, {"id", 65536}}})}},
                 "items[0].id");
  ExpectRejected({{"items", json::array({json{{"windowClass", "edit"}},
                                          json{{"windowClass", "edit"}, {"cy", -40000}}})}},
                 "items[1].cy");
  ExpectRejected({{"items", json::array({json{{"windowClass", "edit"}, {"txt", "a"}}})}},
                 "items[0].txt");
}

TEST(DialogJsonTest, StyleNamesHaveTheirWin32Values) {
  const std::map<std::string, uint32_t> styles = {
      {"WS_POPUP", 0x80000000},   {"WS_CHILD", 0x40000000},     {"WS_VISIBLE", 0x10000000},
      {"WS_DISABLED", 0x08000000}, {"WS_CAPTION", 0x00C00000},  {"WS_BORDER", 0x00800000},
      {"WS_VSCROLL", 0x00200000}, {"WS_SYSMENU", 0x00080000},   {"WS_GROUP", 0x00020000},
      {"WS_TABSTOP", 0x00010000}, {"DS_SETFONT", 0x40},         {"DS_MODALFRAME", 0x80},
      {"DS_CONTROL", 0x400},      {"DS_3DLOOK", 0x4},           {"BS_DEFPUSHBUTTON", 1},
      {"BS_AUTOCHECKBOX", 3},     {"BS_AUTORADIOBUTTON", 9},    {"BS_PUSHBUTTON", 0},
      {"ES_MULTILINE", 4},        {"ES_AUTOVSCROLL", 0x40},     {"ES_AUTOHSCROLL", 0x80},
      {"ES_READONLY", 0x800},     {"SS_NOPREFIX", 0x80},        {"SS_LEFTNOWORDWRAP", 0xC},
      {"LBS_OWNERDRAWFIXED", 0x10}, {"LBS_HASSTRINGS", 0x40},   {"CBS_DROPDOWNLIST", 3},
      {"CBS_HASSTRINGS", 0x200},
  };
  for (const auto& [name, value] : styles) {
    uint32_t found = 0xDEADBEEF;
    EXPECT_TRUE(LookUpStyleName(name, false, &found)) << name;
    EXPECT_EQ(found, value) << name;
  }
  uint32_t found = 0;
  EXPECT_TRUE(LookUpStyleName("WS_EX_CLIENTEDGE", true, &found));
  EXPECT_EQ(found, 0x200u);
  EXPECT_FALSE(LookUpStyleName("WS_EX_CLIENTEDGE", false, &found));
  EXPECT_FALSE(LookUpStyleName("ws_child", false, &found));
}

}  // namespace
}  // namespace setup::tools
