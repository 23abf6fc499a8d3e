#include "tools/mkpkg/default_texts.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace setup::tools {
namespace {

using Key = std::pair<int, int>;  // (group, index)

// The conversions of a printf-style format, "%%" left out: "%lu", "%s", ...
std::vector<std::string> Conversions(const std::string& text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    size_t j = i + 1;
    if (j < text.size() && text[j] == '%') {
      i = j;
      continue;
    }
    while (j < text.size() && std::string("-+ #0").find(text[j]) != std::string::npos) ++j;
    while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) ||
                               text[j] == '.' || text[j] == '*')) {
      ++j;
    }
    while (j < text.size() && std::string("hlLqjzt").find(text[j]) != std::string::npos) ++j;
    found.push_back(text.substr(i, j < text.size() ? j - i + 1 : j - i));
    i = j;
  }
  return found;
}

// Every (group, index) the setup reads, with the arguments it formats the
// text with; texts shown or asked as they stand take none.
std::map<Key, std::vector<std::string>> ReadTexts() {
  std::map<Key, std::vector<std::string>> reads;
  for (int group : {0, 1, 2, 3, 4, 5, 9}) {
    for (int index = 0; index <= 4; ++index) reads[{group, index}] = {};
  }
  reads[{2, 5}] = {};
  reads[{2, 6}] = {};
  reads[{2, 7}] = {"%lu"};  // megabytes, unsigned
  reads[{3, 2}] = {"%s"};   // the destination folder
  for (int index = 5; index <= 7; ++index) reads[{5, index}] = {};
  reads[{5, 4}] = {"%s"};  // the error text
  for (int index : {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15}) reads[{6, index}] = {};
  for (int index : {9, 16, 17, 18, 19, 20, 21, 22}) reads[{6, index}] = {"%s"};  // the file
  reads[{6, 28}] = {"%d"};  // the disk number
  reads[{6, 29}] = {"%s"};
  reads[{6, 30}] = {"%s"};
  reads[{6, 31}] = {};
  for (int index = 0; index <= 6; ++index) reads[{7, index}] = {};
  return reads;
}

// Read texts that are empty on purpose.
const std::set<Key> kEmptyOnPurpose = {{1, 1}, {5, 2}, {5, 3}};

TEST(DefaultTextsTest, EveryReadTextIsPresentWithExactlyTheConversionsSupplied) {
  StringGroups groups = DefaultTexts();
  for (const auto& [key, conversions] : ReadTexts()) {
    auto [group, index] = key;
    SCOPED_TRACE("string (" + std::to_string(group) + "," + std::to_string(index) + ")");
    ASSERT_LT(static_cast<size_t>(index), groups[group].size());
    const std::string& text = groups[group][index];
    EXPECT_EQ(text.empty(), kEmptyOnPurpose.count(key) == 1) << '"' << text << '"';
    EXPECT_EQ(Conversions(text), conversions) << '"' << text << '"';
  }
}

TEST(DefaultTextsTest, UnreadTextsHoldNoConversions) {
  StringGroups groups = DefaultTexts();
  std::map<Key, std::vector<std::string>> reads = ReadTexts();
  for (int group = 0; group < 11; ++group) {
    for (size_t index = 0; index < groups[group].size(); ++index) {
      if (reads.count({group, static_cast<int>(index)})) continue;
      EXPECT_TRUE(Conversions(groups[group][index]).empty())
          << "(" << group << "," << index << ") " << groups[group][index];
    }
  }
}

TEST(DefaultTextsTest, GroupSizes) {
  StringGroups groups = DefaultTexts();
  const std::map<int, size_t> sizes = {{0, 5}, {1, 5}, {2, 8},  {3, 5}, {4, 5}, {5, 8},
                                       {6, 32}, {7, 7}, {8, 0}, {9, 5}, {10, 0}};
  for (const auto& [group, size] : sizes) EXPECT_EQ(groups[group].size(), size) << group;
}

TEST(DefaultTextsTest, TextsThatOtherPartsQuote) {
  StringGroups g = DefaultTexts();
  EXPECT_EQ(g[6][13],
            "You are currently in the process of installing components.\n"
            "If you exit now, these components will not be installed correctly.\n\n"
            "Are you sure you want to cancel?");
  EXPECT_EQ(g[6][15], "The Install wizard did not complete the installation successfully.");
  EXPECT_EQ(g[6][16], "Cannot open the following file:\n%s");
  EXPECT_EQ(g[6][18], "File corrupt or unreadable:\n%s");
  EXPECT_EQ(g[6][21], "CRC error - cannot install the following file:\n%s");
  EXPECT_EQ(g[6][0], "Setup");
  EXPECT_EQ(g[7], (std::vector<std::string>{"< Back", "Next >", "Cancel", "Install", "OK",
                                            "Cancel", "Restart"}));
}

TEST(DefaultTextsTest, PlainAnsiWithSingleLineFeeds) {
  StringGroups groups = DefaultTexts();
  for (int group = 0; group < 11; ++group) {
    for (size_t index = 0; index < groups[group].size(); ++index) {
      const std::string& text = groups[group][index];
      for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE(byte == '\n' || byte >= 0x20) << "(" << group << "," << index << ")";
      }
      EXPECT_EQ(text.find('\r'), std::string::npos);
      if (!text.empty()) {
        EXPECT_NE(text.back(), '\n') << "(" << group << "," << index << ")";
      }
    }
  }
}

TEST(DefaultTextsTest, ConversionScannerSeesWhatTheFormatterSees) {
  EXPECT_EQ(Conversions("%lu MB"), (std::vector<std::string>{"%lu"}));
  EXPECT_EQ(Conversions("100%% of %s and %-5d"), (std::vector<std::string>{"%s", "%-5d"}));
  EXPECT_EQ(Conversions("no format"), std::vector<std::string>{});
  EXPECT_EQ(Conversions("end %"), (std::vector<std::string>{"%"}));
}

TEST(StringGroupEncodingTest, CountThenNulTerminatedTexts) {
  EXPECT_EQ(EncodeStringGroup({"ab", "", "c"}),
            (std::vector<uint8_t>{0x03, 0x00, 'a', 'b', 0x00, 0x00, 'c', 0x00}));
  EXPECT_EQ(EncodeStringGroup({}), (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_EQ(EncodeStringGroup({"\xE9\n"}), (std::vector<uint8_t>{0x01, 0x00, 0xE9, 0x0A, 0x00}));

  std::vector<std::string> many(0x1234, "x");
  std::vector<uint8_t> bytes = EncodeStringGroup(many);
  ASSERT_EQ(bytes.size(), 2u + 2 * 0x1234);
  EXPECT_EQ(bytes[0], 0x34);
  EXPECT_EQ(bytes[1], 0x12);
}

TEST(StringGroupEncodingTest, RefusesNulAndTooManyTexts) {
  EXPECT_THROW(EncodeStringGroup({"ok", std::string("a\0b", 3)}), std::runtime_error);
  EXPECT_EQ(EncodeStringGroup(std::vector<std::string>(65535)).size(), 2u + 65535);
  EXPECT_THROW(EncodeStringGroup(std::vector<std::string>(65536)), std::runtime_error);
}

}  // namespace
}  // namespace setup::tools
