#include "uninstall/uninstall_command_line.h"

namespace setup {

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
      p = ReadSwitchValue(p, line->logPath);
    }
    while (*p != '\0' && *p != ' ' && *p != '-' && *p != '/') ++p;
    p = SkipSpaces(p);
  }
}

}  // namespace setup
