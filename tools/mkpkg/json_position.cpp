#include "tools/mkpkg/json_position.h"

#include <cctype>
#include <vector>

namespace setup::tools {

namespace {

// A walk over JSON text that knows only enough to skip values and find
// members; the text has been parsed already, so it is well formed.
class Walk {
 public:
  explicit Walk(const std::string& text) : t_(text) {}
  size_t Blank(size_t i) const {
    while (i < t_.size() && std::isspace(static_cast<unsigned char>(t_[i]))) ++i;
    return i;
  }
  // Past a string starting at its quote; its raw text (escapes as written).
  size_t String(size_t i, std::string* raw) const {
    size_t j = i + 1;
    while (j < t_.size() && t_[j] != '"') j += t_[j] == '\\' ? 2 : 1;
    if (raw != nullptr) *raw = t_.substr(i + 1, j - i - 1);
    return j + 1;
  }
  size_t Value(size_t i) const {
    i = Blank(i);
    if (i >= t_.size()) return i;
    if (t_[i] == '"') return String(i, nullptr);
    if (t_[i] == '{' || t_[i] == '[') {
      char close = t_[i] == '{' ? '}' : ']';
      i = Blank(i + 1);
      while (i < t_.size() && t_[i] != close) {
        if (close == '}') i = Blank(String(i, nullptr)) + 1;  // the key and its colon
        i = Blank(Value(i));
        if (i < t_.size() && t_[i] == ',') i = Blank(i + 1);
      }
      return i + 1;
    }
    while (i < t_.size() && std::string(",}] \t\r\n").find(t_[i]) == std::string::npos) ++i;
    return i;
  }
  // The start of member `key` of the object at `i`, or of element `index`
  // of the array there; npos when there is none.
  size_t Member(size_t i, const std::string& key) const {
    i = Blank(i);
    if (i >= t_.size() || t_[i] != '{') return std::string::npos;
    i = Blank(i + 1);
    while (i < t_.size() && t_[i] == '"') {
      std::string name;
      size_t value = Blank(Blank(String(i, &name)) + 1);
      if (name == key) return value;
      i = Blank(Value(value));
      if (i < t_.size() && t_[i] == ',') i = Blank(i + 1);
    }
    return std::string::npos;
  }
  size_t Element(size_t i, size_t index) const {
    i = Blank(i);
    if (i >= t_.size() || t_[i] != '[') return std::string::npos;
    i = Blank(i + 1);
    for (size_t n = 0; i < t_.size() && t_[i] != ']'; ++n) {
      if (n == index) return i;
      i = Blank(Value(i));
      if (i < t_.size() && t_[i] == ',') i = Blank(i + 1);
    }
    return std::string::npos;
  }

 private:
  const std::string& t_;
};

}  // namespace

std::pair<int, int> LineAndColumn(const std::string& text, size_t offset) {
  int line = 1, column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

std::optional<std::pair<int, int>> FieldPosition(const std::string& text, const std::string& field) {
  Walk walk(text);
  size_t at = walk.Blank(0);
  if (at >= text.size() || text[at] != '{') return std::nullopt;
  size_t i = 0;
  while (i < field.size()) {
    size_t next = at;
    if (field[i] == '[') {
      size_t close = field.find(']', i);
      if (close == std::string::npos) break;
      next = walk.Element(at, std::stoul(field.substr(i + 1, close - i - 1)));
      i = close + 1;
    } else {
      if (field[i] == '.') ++i;
      size_t end = field.find_first_of(".[", i);
      if (end == std::string::npos) end = field.size();
      next = walk.Member(at, field.substr(i, end - i));
      i = end;
    }
    if (next == std::string::npos) break;
    at = next;
  }
  return LineAndColumn(text, at);
}

}  // namespace setup::tools
