// Writing one file entry's contents to a host file with the setup's own code:
// the same reader, volumes, decoder, patches and checks as an installation.
#pragma once

#include <cstdint>
#include <string>

#include "tools/pkgtool/package_file.h"

namespace setup::tools {

// Writes `entry` (of the current component) to `hostPath`, replacing a file
// there. Returns true, or false with a one-line reason in `message`. The
// package data must be open (BeginPackageData).
bool WriteEntryFile(PackageFile& package, const uint8_t* entry, const std::string& hostPath,
                    std::string* message);

}  // namespace setup::tools
