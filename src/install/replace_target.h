// Putting a finished temporary file in its target's place.
//
// The old file is deleted and the temporary file renamed to the target's
// name, so that for a moment neither exists: the entry is STATE_REPLACING
// from before the delete until the rename has succeeded, and a run that ends
// with an entry in that state reports error 22. A rename that fails after the
// old file is gone leaves the temporary file, the only complete copy of the
// new content, under its own name for the user; nothing is lost.
//
// A delete refused as access denied (a read-only file, or a file held open:
// NT reports a sharing or lock violation) is asked about with Abort, Retry,
// Ignore, except in the Windows and System folders, where the file goes to the
// restart-time replacement without a question, and for fonts and files that
// already hold the new content, which are kept without one. In a quiet run
// (nobody to ask) every file in use that is not kept so goes to the
// restart-time replacement as well.
#pragma once

#include <cstdint>

#include "session/setup_context.h"

namespace setup {

// Whether the file at `path` is exactly the entry's file: fileSize bytes with
// its checksum. A file that cannot be opened counts as empty.
bool ExistingFileMatches(Platform& platform, const char* path, const uint8_t* entry);

// Moves `temporary` over context.targetPath; the outcome is the entry's
// state: STATE_DONE (an old file was replaced, kept at Ignore, or handed to
// the restart-time replacement), STATE_NEW (no file was there) or
// STATE_REPLACING (not replaced: error 22). Returns true when the temporary
// file is to stay where it is: the old file is gone and the rename failed.
// Otherwise, when the entry is left STATE_REPLACING, the old file is in place
// and the temporary file may go.
bool ReplaceTargetFile(SetupContext& context, uint8_t* entry, const char* temporary);

// The target could not be deleted: asks (or decides) what to do. Returns
// kIdAbort, kIdRetry or kIdIgnore; on all but Retry the temporary file is
// gone (deleted, or handed to the restart-time replacement). Ignore sets the
// entry STATE_DONE; Abort leaves it as it was.
int AskFileInUse(SetupContext& context, uint8_t* entry, const char* temporary);

}  // namespace setup
