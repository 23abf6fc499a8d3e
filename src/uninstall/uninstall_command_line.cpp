#include "uninstall/uninstall_command_line.h"

namespace setup {

namespace {

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// Quoted, a value runs to the closing quote; unquoted, to the next space.
const char* ReadValue(const char* p, char* value) {
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

}  // namespace

void ParseUninstallCommandLine(const char* text, UninstallCommandLine* line) {
  *line = UninstallCommandLine{};
  if (text == nullptr) return;
  const char* p = SkipSpaces(text);
  while (*p == '-' || *p == '/') {
    char letter = static_cast<char>(p[1] & ~0x20);
    if (p[1] == '\0') break;
    p += 2;
    if (letter == 'X' || letter == 'Q') {
      line->quiet = true;
    } else if (letter == 'L') {
      p = ReadValue(p, line->logPath);
    }
    while (*p != '\0' && *p != ' ' && *p != '-' && *p != '/') ++p;
    p = SkipSpaces(p);
  }
}

}  // namespace setup
