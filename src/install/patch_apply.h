// Rebuilding a patch entry's file from its base file.
//
// The patch data, at the entry's data offset, is two data items: a command
// stream and a literal stream. Commands copy literal bytes in order, or bytes
// of the base from a position given as a signed distance from the end of the
// previous base copy:
//
//   0x80-0xFF, n = (c >> 5) & 3 = 0:  (c & 0x1F) + 1 literals
//   0x80-0xFF, n = 1..3:              n literals, then (c & 0x1F) + 2 base bytes
//   0x01-0x7F:                        c + 1 base bytes
//   0x00, u16 L:                      L + 129 base bytes
//
// Each base copy is followed by its distance: 10xxxxxx (6-bit, -32..31),
// 0xxxxxxx + 1 byte (15-bit v, d = v +/- 32), or 11xxxxxx + 2 bytes (22-bit v,
// d = v +/- 16416), the sign taken from v.
#pragma once

#include <cstdint>

#include "session/setup_context.h"

namespace setup {

// What a patch run reads and reports to, besides its entry and base.
struct PatchTarget {
  PackageReader& reader;   // the package data, open; the run positions it
  SetupError& error;       // the setup error number and subject
  ProgressBar* progress;   // null for none
  const char* targetPath;  // the file being installed, which damage is reported on
};

// Turns the file at `basePath` (the base entry's file, already verified) into
// `entry`'s file, under the same name. Returns 1 on success, 0 with the setup
// error number and subject set, or RESULT_ABORTED when counted input failed.
// The percentages before and after this entry drive the progress bar.
int ApplyPatch(const PatchTarget& target, const uint8_t* entry, const char* basePath,
               int progressFrom, int progressTo);

}  // namespace setup
