// The quiet install (/Q): one component installed with nobody at the screen,
// every question answered by a fixed policy, the outcome told by the exit
// code (and the /L log).
//
// The policy, question by question (QuietAnswer in session/messages.h):
//   create the destination folder                 yes
//   not enough disk space                         no: stop with error 11
//   existing targets that are read-only           yes: replaced, read-only again
//     (one that cannot be made writable at all    stops with error 9)
//   the file on the machine is newer, or has
//     another language                            no: the file there is kept
//   a file in use                                 replaced at the next restart
//                                                 (exit code 3010)
//   insert the next disk                          nobody can: a volume missing
//                                                 from the package's folder
//                                                 stops with error 15
//   leave the installation incomplete             yes
// Every message box of the setup passes through the session's
// ShowSetupMessage, which in a quiet run shows none and answers instead (the
// package loader's message on a damaged package included). The file in use
// and the disk are decided by the engine and the session (context.run.quiet),
// since neither question has a button for what the policy wants.
//
// The destination folder, given with /F or the component's own, is checked
// as the destination page checks a typed one: no character that Windows
// forbids in a path, room for its backslash within 260 bytes, made absolute
// against the current folder, created when missing. A folder that fails is
// QUIET_BAD_FOLDER and nothing is installed.
//
// The after-install actions (the program to run, the document, the screen
// saver) are never started, and neither is a restart.
#pragma once

#include <cstdint>

#include "install/unattended_install.h"

namespace setup {

// Exit codes of the quiet mode; a failed run ends with its setup error number
// (9, 11, 12, 15 to 22).
constexpr int QUIET_DONE = 0;
constexpr int QUIET_RESTART_NEEDED = 3010;  // installed; files wait for the restart
constexpr int QUIET_BAD_FOLDER = 5;         // the destination folder cannot be used
constexpr int QUIET_BAD_COMPONENT = 87;     // /C names no component of the package
constexpr int QUIET_UNANSWERED = 1;         // a question outside the policy stopped the run
constexpr int QUIET_NO_PACKAGE = -1;        // the package cannot be loaded

// Turns `requested` (empty: `folder` as it stands) into the destination
// folder in `folder` (260 bytes): absolute, existing (made when missing), with
// its backslash. False, with `folder` unchanged, when it cannot be used; the
// reason is logged.
bool PrepareQuietFolder(Platform& platform, const char* requested, char* folder, RunLog* log);

// The exit code of a finished unattended run.
int QuietExitCode(UnattendedResult result, const RunState& run);

// The whole quiet install of a loaded package (context.run.quiet set):
// component `component` (below 0: not a component) into `folder`
// (empty: its own). Returns the exit code; the log gets its result line.
int RunQuietInstall(SetupContext& context, int component, const char* folder);

}  // namespace setup
