// Initial destination folders: right after the package is loaded, each
// component's folder becomes the one an earlier installation left in the
// registry or an INI file, or else its expanded default.
//
// Rules this code settles:
// - A folder counts as found only when the registry value or the INI key is
//   really there. Without it the default folder is expanded like any default
//   (an INI read whose default stood in for the missing key would otherwise
//   keep "#Program Files#" unexpanded and cut it back to nothing).
// - A found folder is cut back, one character at a time, to the longest
//   prefix that is an existing folder, and then written in its stored form.
//   Its existence is tested by its attributes, so the process's current
//   folder never changes here: relative paths resolve against the folder the
//   setup was started in, whatever was found.
// - A found folder whose stored form does not fit 260 bytes stays as found.
#pragma once

#include <cstdint>

#include "package/package_state.h"
#include "platform/platform.h"

namespace setup {

// Leaves one component's initial folder in `destinationFolder` (260 bytes),
// which comes in holding the folder of the component before it (or empty).
void FindInitialFolder(Platform& platform, const char* packagePath,
                       const ComponentDescriptor& descriptor, char* destinationFolder);

// Gives every component its initial folder, in order, each starting from the
// folder found for the one before it, and leaves the folder of component
// `currentIndex` in `destinationFolder`.
void FindInitialFolders(Platform& platform, const char* packagePath, PackageState& package,
                        int currentIndex, char* destinationFolder);

}  // namespace setup
