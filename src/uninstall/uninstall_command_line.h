// The uninstaller's command line. "/X" is what a setup passes when it
// removes an earlier installation, "/Q" what an administrator passes: both
// run without any window and take the quiet answers. "/L file" writes the
// plain-text log. "-" may stand for "/", letters may be in either case, a
// value may stand in double quotes, and parsing stops at the first word that
// is no switch.
#pragma once

#include "base/text.h"

namespace setup {

struct UninstallCommandLine {
  bool quiet;
  char logPath[kPathSize];  // empty: no log
};

void ParseUninstallCommandLine(const char* text, UninstallCommandLine* line);

}  // namespace setup
