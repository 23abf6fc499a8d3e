// What the engine tells the /L log, at the places where outcomes are decided:
// one line per file, registry value, INI value, file patch and shortcut.
// Every function does nothing when the run has no log (context.run.log is
// null), so the engine calls them unconditionally.
//
// Actions in the first column: "installed", "skipped", "scheduled" (at the
// next restart), "failed" for files; "registry", "ini", "patch" and
// "shortcut" for the rest; "result" for the last line.
#pragma once

#include <cstdint>

#include "session/setup_context.h"

namespace setup {

class RunLog;

// A line about the file being installed (context.targetPath).
void ReportFile(const SetupContext& context, const char* action, const char* detail);

// "failed" for the file being installed, with the setup error number and
// its message, on one line.
void ReportFileFailure(const SetupContext& context);

// A registry value written: "registry", "ROOT\key\name", its data. A null or
// empty name is the key's default value.
void ReportRegistryValue(RunLog* log, RegKey root, const char* key, const char* name,
                         const char* data);

// An INI value written: "ini", the file, "[section] key=value".
void ReportIniValue(RunLog* log, const char* file, const char* section, const char* key,
                    const char* value);

// The last line: "result", what became of the install ("installed",
// "installed, restart needed", "failed", "not installed"), and the exit code
// of a quiet run (kNoExitCode in the wizard, whose exit code says nothing) or
// the error.
constexpr int kNoExitCode = -0x7FFF;
void ReportResult(const SetupContext& context, int exitCode);

}  // namespace setup
