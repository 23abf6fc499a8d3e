#include "base/text.h"

namespace setup {

uint32_t TextLength(const char* text) {
  uint32_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

void CopyText(char* to, uint32_t size, const char* from) {
  if (size == 0) return;
  uint32_t i = 0;
  for (; i + 1 < size && from[i] != '\0'; ++i) to[i] = from[i];
  to[i] = '\0';
}

bool AppendText(char* to, uint32_t size, const char* from) {
  uint32_t n = TextLength(to);
  uint32_t i = 0;
  for (; n + 1 < size && from[i] != '\0'; ++i, ++n) to[n] = from[i];
  if (n < size) to[n] = '\0';
  return from[i] == '\0';
}

bool TextEqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
    char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

bool ReplaceExtension(char* path, uint32_t size, const char* extension) {
  uint32_t n = TextLength(path);
  uint32_t cut = n;
  for (uint32_t i = n; i-- > 0;) {
    if (path[i] == '\\') break;
    if (path[i] == '.') {
      cut = i;
      break;
    }
  }
  if (cut + TextLength(extension) + 1 > size) return false;
  path[cut] = '\0';
  AppendText(path, size, extension);
  return true;
}

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

const char* ReadSwitchValue(const char* p, char* value) {
  p = SkipSpaces(p);
  char end = ' ';
  if (*p == '"') {
    end = '"';
    ++p;
  }
  uint32_t length = 0;
  while (*p != '\0' && *p != end) {
    if (length < kPathSize - 1) value[length++] = *p;
    ++p;
  }
  value[length] = '\0';
  if (end == '"' && *p == '"') ++p;
  return p;
}

}  // namespace setup
