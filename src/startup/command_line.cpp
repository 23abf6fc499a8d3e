#include "startup/command_line.h"

#include "base/text.h"

namespace setup {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A component number of up to four digits; anything else is invalid.
int ComponentNumber(const char* text) {
  int number = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9' && number <= 9999; ++p) number = number * 10 + (*p - '0');
  return p == text || *p != '\0' || number > 9999 ? kComponentInvalid : number;
}

}  // namespace

void ParseCommandLine(const char* text, CommandLine* line) {
  if (text == nullptr || *text == '\0') return;
  const char* p = SkipSpaces(text);
  while (*p == '-' || *p == '/') {
    char letter = Upper(p[1]);
    if (letter == '\0') break;
    p += 2;
    if (letter == 'D') {
      if (Upper(p[0]) == 'E' && p[0] != '\0' && Upper(p[1]) == 'L') line->removableMedia = true;
    } else if (letter == 'S') {
      p = ReadSwitchValue(p, line->packagePath);
    } else if (letter == 'Q') {
      line->quiet = true;
    } else if (letter == 'C') {
      char number[kPathSize];
      p = ReadSwitchValue(p, number);
      line->component = ComponentNumber(number);
    } else if (letter == 'F') {
      p = ReadSwitchValue(p, line->folder);
    } else if (letter == 'L') {
      p = ReadSwitchValue(p, line->logPath);
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
