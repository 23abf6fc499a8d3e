// Installing one file entry: one step of the install run.
//
// A step resolves the entry's target, decides whether the file must be
// written at all (a file in use that already holds the new content is left
// alone; a newer or other-language file is kept if the user says so), writes
// the entry's data into a temporary file beside the target and verifies it,
// puts it in place (or hands it to the restart-time replacement when Windows
// holds it), and then does the per-file extras: the shared-file count, font,
// self-registration, finish roles, the desktop shortcut and the progress bar.
// The extras are done for a file kept or skipped too: other setups count on
// the reference count and the registrations being there.
#pragma once

#include <cstdint>

#include "session/setup_context.h"

namespace setup {

// Installs the next entry of the current component's list. Returns 1 when
// the entry was handled, 0 when the list is done or the step failed: the
// setup error number is set, or context.run.aborted when counted input failed
// (the setup ends at once; the temporary file is gone).
int InstallNextFile(SetupContext& context);

// Compares the file at context.targetPath with the entry's version block and
// asks (6, 29) about a newer one, (6, 30) about another language. Returns 1
// to install, 0 to keep the existing file. Any answer but Yes keeps it.
int CheckFileVersion(SetupContext& context, const uint8_t* entry);

// Shortens `path` in place for display to about `maxLength` characters: the
// first folders, "...", and the name.
void ShortenPathForDisplay(char* path, uint32_t maxLength);

}  // namespace setup
