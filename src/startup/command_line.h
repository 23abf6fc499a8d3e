// The setup's command line: "/S path" names the package file when it is not
// the program itself (the relaunched copy reads the original on the disk),
// "/DEL" marks this process as that copy. "-" may stand for "/", letters may
// be in either case, and parsing stops at the first word that is no switch.
#pragma once

namespace setup {

// Reads `text` (without the program name; null or empty changes nothing).
// `packagePath` (260 bytes) receives the value of /S, quotes removed and cut
// to 259 characters; `removableMedia` is set by any switch whose letters begin
// with DEL.
void ParseCommandLine(const char* text, char* packagePath, bool* removableMedia);

// The command line after the program's name (quoted or not) and the blanks
// that follow it: what WinMain is given.
const char* SkipProgramName(const char* line);

}  // namespace setup
