// pkgtool's progress line: names cut to a width only between whole
// characters and whole escapes.
#include "tools/pkgtool/describe.h"

#include <gtest/gtest.h>

#include <string>

namespace setup::tools {
namespace {

TEST(DescribeTest, PrintablePrefixCutsBetweenWholeCharacters) {
  struct Row {
    std::string name;  // Windows-1252
    size_t columns;
    std::string shown;  // UTF-8
  } const rows[] = {
      {"readme.txt", 60, "readme.txt"},
      {"readme.txt", 4, "read"},
      {std::string(58, 'a') + "\x01" + "b", 60, std::string(58, 'a')},  // the escape would not fit
      {std::string(56, 'a') + "\x01" + "b", 60, std::string(56, 'a') + "\\x01"},
      {std::string(61, '\xE9'), 60, [] { std::string s; for (int i = 0; i < 60; ++i) s += "\xC3\xA9"; return s; }()},
      {"a\\b\x85", 3, "a\\b"},  // a backslash of the name is one column; U+2026 would be the fourth
      {"", 60, ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PrintablePrefix(row.name.c_str(), row.columns), row.shown) << row.name;
  }
}

}  // namespace
}  // namespace setup::tools
