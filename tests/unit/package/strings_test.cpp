// String groups and their lookup, error texts, message boxes, and the
// formatter that fills package texts.
#include "package/strings.h"
#include "session/messages.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/text_format.h"
#include "package/component.h"
#include "unit/support/package_bytes.h"

namespace setup {
namespace {

using test::Bytes;
using test::DescriptorBytes;
using test::DescriptorSpec;
using test::LoaderHarness;
using test::PackageBytes;

// A context whose current descriptor is parsed from bytes written here.
class PackageStringTest : public ::testing::Test {
 protected:
  void Use(const DescriptorSpec& fields) {
    block_ = DescriptorBytes(fields);
    ASSERT_TRUE(ParseComponentDescriptor(block_.data(), static_cast<uint32_t>(block_.size()),
                                         &descriptor_));
    h.context->current.descriptor = &descriptor_;
  }
  const char* Get(unsigned group, unsigned index) {
    const char* text = GetPackageString(h.context->current, group, index);
    EXPECT_NE(text, nullptr);
    return text;
  }
  bool InsideBlock(const char* text) const {
    auto p = reinterpret_cast<const uint8_t*>(text);
    return p >= block_.data() && p < block_.data() + block_.size();
  }

  LoaderHarness h;
  Bytes block_;
  ComponentDescriptor descriptor_{};
};

std::vector<std::string> Numbered(int n, const std::string& prefix) {
  std::vector<std::string> texts;
  for (int i = 0; i < n; ++i) texts.push_back(prefix + std::to_string(i));
  return texts;
}

TEST_F(PackageStringTest, NoComponentYetGivesEmptyTexts) {
  EXPECT_STREQ(Get(6, 0), "");
  EXPECT_STREQ(Get(0, 0), "");
}

TEST_F(PackageStringTest, EveryIndexOfAThirtyTwoTextGroup) {
  DescriptorSpec fields;
  fields.groups[6] = Numbered(32, "text ");
  Use(fields);
  for (unsigned i = 0; i < 32; ++i) EXPECT_EQ(std::string(Get(6, i)), "text " + std::to_string(i));
  EXPECT_STREQ(Get(6, 31), "text 31");
  EXPECT_TRUE(InsideBlock(Get(6, 31)));
  EXPECT_STREQ(Get(6, 32), "");
  EXPECT_STREQ(Get(6, 1000), "");
}

TEST_F(PackageStringTest, MissingGroupsAreEmpty) {
  DescriptorSpec fields;
  fields.groups[0] = {"page"};
  fields.groups[10] = {"last group"};
  fields.groups[7] = {};
  Use(fields);
  EXPECT_STREQ(Get(0, 0), "page");
  EXPECT_STREQ(Get(10, 0), "last group");
  EXPECT_STREQ(Get(3, 0), "");   // offset 0: absent
  EXPECT_STREQ(Get(7, 0), "");   // present, no texts
  EXPECT_STREQ(Get(11, 0), "");  // no such group
  EXPECT_STREQ(Get(12, 5), "");
  EXPECT_STREQ(Get(UINT_MAX, 0), "");
}

TEST_F(PackageStringTest, EmptyTextInTheMiddleIsAnEntry) {
  DescriptorSpec fields;
  fields.groups[2] = {"first", "", "", "fourth"};
  Use(fields);
  EXPECT_STREQ(Get(2, 0), "first");
  EXPECT_STREQ(Get(2, 1), "");
  EXPECT_TRUE(InsideBlock(Get(2, 1)));  // the entry itself, not a stand-in
  EXPECT_STREQ(Get(2, 2), "");
  EXPECT_STREQ(Get(2, 3), "fourth");
  EXPECT_STREQ(Get(2, 4), "");
}

TEST(StringInGroupTest, StopsAtTheEndOfItsBytes) {
  // Three texts claimed; the third has no NUL within the group's size.
  const uint8_t bytes[] = {3, 0, 'a', 0, 'b', 'c', 0, 'd', 'e'};
  StringGroup group{bytes, sizeof bytes};
  EXPECT_STREQ(StringInGroup(group, 0), "a");
  EXPECT_STREQ(StringInGroup(group, 1), "bc");
  EXPECT_STREQ(StringInGroup(group, 2), "");
  EXPECT_STREQ(StringInGroup(StringGroup{bytes, 1}, 0), "");
  EXPECT_STREQ(StringInGroup(StringGroup{nullptr, 0}, 0), "");
}

TEST(PackageStringFollowTest, LookupsFollowTheCurrentComponent) {
  PackageBytes p;
  p.Record(REC_COMPONENT, DescriptorBytes(test::MessageDescriptor("First", "bad 1")))
      .Record(REC_COMPONENT, DescriptorBytes(test::MessageDescriptor("Second", "bad 2")));
  LoaderHarness h;
  ASSERT_EQ(h.Load(p.End(), 48), 1);
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "First");
  SelectComponent(h.context->package, h.context->current, 1);
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 0), "Second");
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 31), "bad 2");
  SelectComponent(h.context->package, h.context->current, 0);
  EXPECT_STREQ(GetPackageString(h.context->current, 6, 31), "bad 1");
}

// --- Error texts ------------------------------------------------------------

class FormatErrorTextTest : public PackageStringTest {
 protected:
  void SetUp() override {
    DescriptorSpec fields;
    std::vector<std::string> texts = Numbered(16, "m");
    texts[12] = "Out of memory.";
    texts[13] = "100% sure: %d of %x, %%, %";
    texts[14] = "The file %s cannot be opened.";
    texts[15] = "%s: %d %x %5.2d %c %% %";
    fields.groups[6] = texts;
    Use(fields);
    SetSetupError(*h.context, 16, "C:\\Program Files\\App\\app.exe");
  }
  std::string Format(int error, uint32_t size = 1024) {
    std::vector<char> buffer(size + 16, '#');
    FormatErrorText(*h.context, buffer.data(), size, error);
    for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << "overrun at " << i;
    return std::string(buffer.data());
  }
};

TEST_F(FormatErrorTextTest, InsertsTheSubject) {
  EXPECT_EQ(Format(14), "The file C:\\Program Files\\App\\app.exe cannot be opened.");
}

TEST_F(FormatErrorTextTest, TextWithoutTextConversionIsCopiedAsItStands) {
  EXPECT_EQ(Format(12), "Out of memory.");
  EXPECT_EQ(Format(13), "100% sure: %d of %x, %%, %");
}

TEST_F(FormatErrorTextTest, StrayConversionsReadNoArguments) {
  EXPECT_EQ(Format(15), "C:\\Program Files\\App\\app.exe: 0 %x    00 %c % %");
}

TEST_F(FormatErrorTextTest, SubjectIsInsertedVerbatim) {
  SetSetupError(*h.context, 16, "C:\\50%s%d%n");
  EXPECT_EQ(Format(14), "The file C:\\50%s%d%n cannot be opened.");
}

TEST_F(FormatErrorTextTest, MissingTextGivesEmptyBuffer) {
  EXPECT_EQ(Format(16), "");
  EXPECT_EQ(Format(300), "");
}

TEST_F(FormatErrorTextTest, NeverRunsPastASmallBuffer) {
  EXPECT_EQ(Format(14, 12), "The file C:");
  EXPECT_EQ(Format(13, 8), "100% su");
  EXPECT_EQ(Format(12, 1), "");
  EXPECT_EQ(Format(15, 4), "C:\\");
}

// --- Message boxes ------------------------------------------------------------

TEST_F(PackageStringTest, MessagesCarryTheCaptionAndTheRightOwner) {
  DescriptorSpec fields;
  fields.groups[6] = {"Product Setup"};
  Use(fields);
  h.platform.answers = {kIdNo, kIdYes, kIdOk};
  EXPECT_EQ(ShowSetupMessage(*h.context, "no window yet", kMbYesNo), kIdNo);
  h.context->run.backgroundWindow = 0x20;
  EXPECT_EQ(ShowSetupMessage(*h.context, "background", kMbYesNo | kMbIconQuestion), kIdYes);
  h.context->run.frameWindow = 0x30;
  ShowSetupMessage(*h.context, "frame", kMbIconInformation);
  ASSERT_EQ(h.platform.messageBoxes.size(), 3u);
  const auto& boxes = h.platform.messageBoxes;
  EXPECT_EQ(boxes[0].owner, 0u);
  EXPECT_EQ(boxes[1].owner, 0x20u);
  EXPECT_EQ(boxes[2].owner, 0x30u);
  EXPECT_EQ(boxes[1].text, "background");
  EXPECT_EQ(boxes[1].type, kMbYesNo | kMbIconQuestion);
  for (const auto& box : boxes) EXPECT_EQ(box.caption, "Product Setup");
}

// --- The formatter ------------------------------------------------------------

std::string Fmt(const char* format, const char* text, int32_t number, uint32_t size = 64) {
  std::vector<char> buffer(size + 8, '#');
  uint32_t length = FormatText(buffer.data(), size, format, text, number);
  for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << "overrun at " << i;
  if (size == 0) return "<nothing>";
  EXPECT_EQ(length, std::strlen(buffer.data()));
  return std::string(buffer.data());
}

TEST(FormatTextTest, Numbers) {
  EXPECT_EQ(Fmt("disk %d", "", 3), "disk 3");
  EXPECT_EQ(Fmt("%d|%i|%ld", "", -42), "-42|-42|-42");
  EXPECT_EQ(Fmt("%u", "", -1), "4294967295");
  EXPECT_EQ(Fmt("%d", "", INT32_MIN), "-2147483648");
  EXPECT_EQ(Fmt("[%5d][%-5d][%05d][%.3d][%-05d]", "", 42), "[   42][42   ][00042][042][42   ]");
  EXPECT_EQ(Fmt("[%05d][%6.3d]", "", -7), "[-0007][  -007]");
  EXPECT_EQ(Fmt("%d%%", "", 75), "75%");
}

TEST(FormatTextTest, TextArgument) {
  EXPECT_EQ(Fmt("Insert %s now", "disk 2", 0), "Insert disk 2 now");
  EXPECT_EQ(Fmt("%s and %s", "x", 0), "x and x");
  EXPECT_EQ(Fmt("[%s]", nullptr, 0), "[]");
  EXPECT_EQ(Fmt("%ls", "wide?", 0), "wide?");
  // Width pads, '-' pads on the right, precision cuts; '0' pads a text with spaces.
  EXPECT_EQ(Fmt("[%-8s|%.2s|%8s|%.0s|%3s|%08s]", "C:\\abc", 0),
            "[C:\\abc  |C:|  C:\\abc||C:\\abc|  C:\\abc]");
  EXPECT_EQ(Fmt("[%5.1s]", "xyz", 0), "[    x]");
}

TEST(FormatTextTest, ForeignConversionsAreCopied) {
  EXPECT_EQ(Fmt("%x %08X %c %p %n %f", "s", 5), "%x %08X %c %p %n %f");
  EXPECT_EQ(Fmt("100%", "s", 5), "100%");
  EXPECT_EQ(Fmt("ends %l", "s", 5), "ends %l");
  EXPECT_EQ(Fmt("ends %-07.", "s", 5), "ends %-07.");
}

TEST(FormatTextTest, OutputStaysInsideItsBuffer) {
  EXPECT_EQ(Fmt("%99999d", "", 1, 16).size(), 15u);
  EXPECT_EQ(Fmt("%s%s%s", "abcdefgh", 0, 10), "abcdefgha");
  EXPECT_EQ(Fmt("%d", "", 123456, 4), "123");
  EXPECT_EQ(Fmt("anything", "", 0, 1), "");
  EXPECT_EQ(Fmt("anything", "", 0, 0), "<nothing>");
}

TEST(FormatTextTest, HasTextConversion) {
  EXPECT_TRUE(HasTextConversion("%s"));
  EXPECT_TRUE(HasTextConversion("file %s."));
  EXPECT_FALSE(HasTextConversion(""));
  EXPECT_FALSE(HasTextConversion("%"));
  EXPECT_FALSE(HasTextConversion("% s %d %S"));
}

}  // namespace
}  // namespace setup
