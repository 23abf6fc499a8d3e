// Dialog templates written out here word by word in the published DLGTEMPLATE
// layout, then cut, padded and damaged.
#include "wizard/dialog_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/support/byte_writer.h"

namespace setup {
namespace {

void Utf16(test::ByteWriter& w, const std::string& text) {
  for (char c : text) w.U16(static_cast<uint8_t>(c));
  w.U16(0);
}

void AlignDword(test::ByteWriter& w) {
  while (w.size() % 4 != 0) w.U8(0);
}

// A frame-like template: a caption and a font, a button (class by ordinal,
// with creation data) and a static text (class by name, title by ordinal).
test::Bytes Template(uint16_t itemCount = 2, uint16_t creationSize = 4) {
  test::ByteWriter w;
  w.U32(0x80C800C0 | 0x40).U32(0).U16(itemCount).U16(0).U16(0).U16(200).U16(100);
  w.U16(0).U16(0);  // no menu, the standard class
  Utf16(w, "Setup");
  w.U16(8);
  Utf16(w, "MS Sans Serif");
  AlignDword(w);
  w.U32(0x50010001).U32(0).U16(10).U16(80).U16(50).U16(14).U16(1);
  w.U16(0xFFFF).U16(0x0080);
  Utf16(w, "Next");
  w.U16(creationSize).Fill(4, 0xAB);  // the size word may claim more than there is
  AlignDword(w);
  w.U32(0x50000000).U32(0).U16(10).U16(10).U16(100).U16(40).U16(1000);
  Utf16(w, "STATIC");
  w.U16(0xFFFF).U16(7);
  w.U16(0);
  return w.bytes;
}

TEST(DialogTemplateTest, EveryPartMustLieInsideTheTemplate) {
  test::Bytes whole = Template();
  ASSERT_TRUE(DialogTemplateFits(whole.data(), static_cast<uint32_t>(whole.size())));
  for (uint32_t cut = 0; cut < whole.size(); ++cut) {
    test::Bytes part(whole.begin(), whole.begin() + cut);
    EXPECT_FALSE(DialogTemplateFits(part.data(), cut)) << "cut to " << cut << " bytes";
  }
  struct Case {
    const char* what;
    test::Bytes bytes;
    bool fits;
  };
  test::Bytes extended = whole;
  extended[0] = 1, extended[1] = 0, extended[2] = 0xFF, extended[3] = 0xFF;
  test::Bytes unendingTitle = whole;
  unendingTitle.resize(30);  // the caption's text never ends
  const Case cases[] = {
      {"no items", Template(0), true},
      {"more items than bytes", Template(3), false},
      {"creation data past the end", Template(2, 400), false},
      {"the extended form", extended, false},
      {"a title that never ends", unendingTitle, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DialogTemplateFits(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())), c.fits)
        << c.what;
  }
}

TEST(DialogTemplateTest, TemplatesAreFoundByTheOffsetTableAndCopiedUpTo16KiB) {
  test::ByteWriter w;
  w.U32(12).U32(20).U32(1 << 20);  // template 2 points past the block
  w.Fill(20000 - w.size(), 0);
  const uint8_t* block = w.bytes.data();
  uint32_t size = static_cast<uint32_t>(w.size());
  TemplateSpan first = FindDialogTemplate(block, size, 0);
  EXPECT_EQ(first.start, block + 12);
  EXPECT_EQ(first.size, kTemplateCopySize);  // the rest of the block is longer
  TemplateSpan second = FindDialogTemplate(block, size - 5000, 1);
  EXPECT_EQ(second.size, size - 5000 - 20);
  EXPECT_EQ(FindDialogTemplate(block, size, 2).start, nullptr);
  EXPECT_EQ(FindDialogTemplate(block, 7, 1).start, nullptr);  // the table ends before it
  EXPECT_EQ(FindDialogTemplate(nullptr, 0, 0).start, nullptr);
}

}  // namespace
}  // namespace setup
