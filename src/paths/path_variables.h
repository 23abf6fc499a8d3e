// Path variables: tokens such as #Windows# or #InstallDir# in package texts
// that name paths or values, replaced by the machine's and the run's values
// when the text is used.
//
//   #Windows#        the Windows folder
//   #System#         the system folder
//   #Program Files#  ProgramFilesDir under HKLM\Software\Microsoft\Windows\CurrentVersion;
//                    the token itself stays when that cannot be read
//   #InstallDir#     the destination folder of the current component
//   #SourceDir#      the folder that holds the package file
//   #Date#           today (UTC) as year * 10000 + month * 100 + day
//   #anything else#  nothing
//
// Tokens are compared without regard to case. A value of 4 or more characters
// loses one trailing backslash (C:\ keeps its own). Text that an expansion
// produced is never scanned again, and a lone "#" stays as it is.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// What the expansion and the target folders read of the run.
struct PathPlaces {
  Platform& platform;
  const char* destinationFolder;  // the current component's
  const char* packagePath;
};

// The expansion is built in a scratch text of this size; the part that does
// not fit is counted but not kept.
constexpr uint32_t kExpansionScratchSize = 65500;

// Expands `source` into `dest` (which may be `source` itself, or null to ask
// for the length). Returns the full expanded length, also when the text had to
// be cut. With a destination, a size other than 0 and a non-empty result, the
// result is written cut to size - 1 characters and NUL-terminated; an empty
// result leaves the destination as it was. Without memory for the scratch the
// source is copied unexpanded (cut and terminated) and its length returned.
uint32_t ExpandPathVariables(const PathPlaces& places, char* dest, const char* source,
                             uint32_t size);

}  // namespace setup
