// Turning a file entry's stored data into a file: decoded, rebuilt from its
// base by a patch, or (for the uninstaller) the package's uninstaller image
// followed by the decoded data.
#pragma once

#include <cstdint>

#include "session/setup_context.h"

namespace setup {

// Creates a temporary file beside `targetPath` (its extension replaced by
// ".$$A", counting up while taken), writes the entry's contents into it and
// verifies them against the entry's checksum (the base's too, for a patch).
// The package data must be open (BeginPackageData). Returns 0 with the
// temporary name in `temporary`, a setup error number (set with its subject;
// the temporary file is deleted), or RESULT_ABORTED.
int WriteEntryToTemporary(SetupContext& context, const uint8_t* entry, const char* targetPath,
                          char* temporary, uint32_t size, int progressFrom, int progressTo);

}  // namespace setup
