// The pkgtool commands. Each returns the process exit code: 0 when all is
// well, 1 when the package is damaged or a check fails.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "tools/pkgtool/package_file.h"

namespace setup::tools {

int ListPackage(PackageFile& package, std::ostream& out);
int VerifyPackage(PackageFile& package, std::ostream& out, std::ostream& err);
int ExtractPackage(PackageFile& package, const std::string& destination,
                   std::optional<int> component, bool showProgress, std::ostream& err);
int DumpPackage(PackageFile& package, std::ostream& out);
// Prints the uninstall log of an installed uninstaller: found from the end of
// the file, or read at `offset` (the file record's header) when given.
int PrintUninstallLog(const std::string& path, std::optional<uint64_t> offset, std::ostream& out,
                      std::ostream& err);

}  // namespace setup::tools
