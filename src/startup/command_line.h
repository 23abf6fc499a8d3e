// The setup's command line. "-" may stand for "/", letters may be in either
// case, and parsing stops at the first word that is no switch.
//
//   /S path    the package file, when it is not the program itself (the
//              relaunched copy reads the original on the disk)
//   /DEL       this process is that copy (any switch beginning with DEL)
//   /Q         quiet: install without any window, then end with an exit code
//   /C n       quiet: the component to install (0, the first, by default)
//   /F folder  quiet: the destination folder (the component's own by default)
//   /L file    a plain-text log of what was done, quiet or not
//
// A value runs to the closing quote when it starts with one, otherwise to the
// next space; spaces between the letter and the value are allowed.
#pragma once

#include "base/text.h"

namespace setup {

// A /C whose value is not a number of up to four digits.
constexpr int kComponentInvalid = -1;

struct CommandLine {
  char* packagePath;       // 260 bytes, changed only by /S (cut to 259 characters)
  bool removableMedia;     // /DEL
  bool quiet;              // /Q
  int component;           // /C: 0 to 9999 (0 when not given), or kComponentInvalid
  char folder[kPathSize];  // /F, empty when not given
  char logPath[kPathSize]; // /L, empty when not given
};

// Reads `text` (without the program name; null or empty changes nothing)
// into `line`, whose packagePath must point at the package path and whose
// other fields start zero-filled.
void ParseCommandLine(const char* text, CommandLine* line);

// The command line after the program's name (quoted or not) and the blanks
// that follow it: what WinMain is given.
const char* SkipProgramName(const char* line);

}  // namespace setup
