// Earlier installations of the package's other components: their uninstallers
// run, one after the other and each to its end, before an install run starts.
//
// A component has an uninstaller when its file list's first entry carries
// FEF_UNINSTALLER. Its uninstaller is the "UninstallString" of
// HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\<displayName>: a
// plain file name, which must exist; a value in quotes or with arguments names
// no file and is skipped. The uninstaller is started with "/X".
#pragma once

#include <cstdint>

#include "package/package_state.h"
#include "platform/platform.h"

namespace setup {

// How long one turn of the wait for an uninstaller waits on its process.
constexpr uint32_t kProcessWaitMs = 50;

// When the package asks for it (SETUP_REMOVE_PREVIOUS), runs the uninstallers
// of every component but `currentIndex`, in order.
// Nothing that fails stops the others: a component without a registration,
// an uninstaller file or a process is skipped.
void RemovePreviousInstallations(Platform& platform, const PackageState& package,
                                 int currentIndex);

// Starts `"program" arguments` (the program in quotes, so that a path with
// spaces is one program). Returns 1 and the process handle, which the caller
// closes, or 0 and a handle of 0.
int StartProgram(Platform& platform, const char* program, const char* arguments,
                 ProcessHandle* process);

// Waits up to kProcessWaitMs for the process to end and returns 1 while it
// runs. A process that has ended counts as ended whatever its exit code (259
// included); a handle that cannot be waited on counts as ended.
int IsProcessRunning(Platform& platform, ProcessHandle process);

}  // namespace setup
