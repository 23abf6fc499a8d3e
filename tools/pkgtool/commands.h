// The pkgtool commands. Each returns the process exit code: 0 when all is
// well, 1 when the package is damaged or a check fails.
#pragma once

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

}  // namespace setup::tools
