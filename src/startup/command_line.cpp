#include "startup/command_line.h"

#include "base/text.h"

namespace setup {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// The value of /S: quoted, it runs to the closing quote (or the end), so a
// path with spaces survives; unquoted, to the next space.
const char* ReadPathValue(const char* p, char* packagePath) {
  p = SkipSpaces(p);
  char end = ' ';
  if (*p == '"') {
    end = '"';
    ++p;
  }
  uint32_t length = 0;
  while (*p != '\0' && *p != end) {
    if (length < kPathSize - 1) packagePath[length++] = *p;
    ++p;
  }
  packagePath[length] = '\0';
  if (end == '"' && *p == '"') ++p;
  return p;
}

}  // namespace

void ParseCommandLine(const char* text, char* packagePath, bool* removableMedia) {
  if (text == nullptr || *text == '\0') return;
  const char* p = SkipSpaces(text);
  while (*p == '-' || *p == '/') {
    char letter = Upper(p[1]);
    if (letter == '\0') break;
    p += 2;
    if (letter == 'D') {
      if (Upper(p[0]) == 'E' && p[0] != '\0' && Upper(p[1]) == 'L') *removableMedia = true;
    } else if (letter == 'S') {
      p = ReadPathValue(p, packagePath);
    }
    while (*p != '\0' && *p != ' ' && *p != '-' && *p != '/') ++p;
    p = SkipSpaces(p);
  }
}

const char* SkipProgramName(const char* line) {
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (static_cast<unsigned char>(*line) > ' ') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

}  // namespace setup
