// Loading the package at start, as the session does it: the records read into
// the package state, the start component made current, and the user told when
// the package is damaged.
#pragma once

#include "session/setup_context.h"

namespace setup {

// Loads the package at context.packagePath, whose stub is context.stubSize
// bytes. Returns 1 when the package was read and is complete. Returns 0 when
// the file carries no package or cannot be read (no message), or when it is
// incomplete or damaged (string (6, 31) shown when the package has it).
int LoadPackage(SetupContext& context);

// Releases everything LoadPackage kept; safe after a failed or partial load.
void FreePackage(SetupContext& context);

}  // namespace setup
