// What the setup will do oddly with a project that mkpkg still builds: each
// warning names the field it is about (components[1].files[3].shortcut) and
// says what will happen. mkpkg prints them on standard error; with --strict
// they are errors.
#pragma once

#include <string>
#include <vector>

#include "tools/mkpkg/project.h"

namespace setup::tools {

// Reads the sources of entries that ask for a version check (to look for
// their version information); every other check looks at the project alone.
std::vector<std::string> ProjectWarnings(const Project& project);

}  // namespace setup::tools
