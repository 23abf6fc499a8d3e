// The install run: the package data opened, the current component's files
// installed one per step (InstallNextFile), and one finishing step that
// writes the uninstall log and registration, the Start-menu shortcuts, the
// destination folder's registry and INI values and the component's registry,
// INI and file-patch lists.
//
//   BeginInstallRun -> InstallNextFile ... until 0 -> FinishInstallRun
//
// A run that stopped on an error finishes without the finishing step; one
// that the user cancelled, or whose package data could not be read after the
// user was told (context.run.aborted), is abandoned: its input is closed and
// nothing more happens. Files installed so far stay either way.
#pragma once

#include "session/setup_context.h"

namespace setup {

// Prepares the run: error cleared, the list's first entry next, earlier
// installations removed when the package asks for it, and the package reader
// set back to the start of the file-data region. Returns 1 when steps may
// follow, 0 when the package file cannot be opened (error 16).
int BeginInstallRun(SetupContext& context);

// The finishing step, once the steps are over; without an error it writes
// the log and the component's values and lists.
void FinishInstallRun(SetupContext& context);

// Ends a run without its finishing step: the input is closed.
void AbandonInstallRun(SetupContext& context);

}  // namespace setup
