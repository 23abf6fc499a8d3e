// Removing what one setup run put on the machine, as its uninstall log tells
// it, and nothing else.
//
// Files and desktop shortcuts of the file record go first, each with what
// its flags ask: a self-registered library is unregistered, a font's
// resource and its Fonts value are removed, a shared file's SharedDLLs count
// is lowered and the file is only deleted when the count reaches 0 and the
// user (asked through RemovalQuestions) agrees. A read-only file loses the
// attribute the setup kept; a file in use is deleted at the next restart.
// Then the Start-menu shortcuts, and the group folders they leave empty
// below the Programs folder; the folders below the destination folder that
// are left empty; the uninstall registration key.
//
// The destination folder is the uninstaller's own folder. The uninstaller
// cannot delete itself while it runs: its file, and then its folder, are
// deleted at the next restart (on the 95 family only the file: WININIT.INI
// cannot delete folders). A folder is only ever removed empty, so nothing
// the setup did not put there is lost. Registry and INI values that the
// setup wrote from its lists are not in the log and stay.
#pragma once

#include <cstdint>

#include "base/run_log.h"
#include "install/uninstall_log_reader.h"
#include "platform/platform.h"

namespace setup {

enum LeftReason : int {
  LEFT_AT_RESTART,   // in use: deleted when Windows restarts
  LEFT_SHARED_KEPT,  // a shared file no program counts any more, kept
  LEFT_STILL_USED,   // a shared file other programs still count
  LEFT_NOT_EMPTY,    // a folder that still holds files
  LEFT_FAILED,       // could not be deleted, nor scheduled
};

// The uninstaller's side of the removal: the question about shared files,
// progress, and every item left behind.
class RemovalQuestions {
 public:
  virtual ~RemovalQuestions() = default;
  // Whether to delete a shared file whose count has reached 0.
  virtual bool RemoveSharedFile(const char* path) = 0;
  virtual void Progress(const char* path, int percent) = 0;
  virtual void Left(const char* path, LeftReason reason) = 0;
};

struct RemovalResult {
  uint32_t removed;    // files, shortcuts and folders deleted now
  bool restartNeeded;  // something of the product waits for the restart
  bool failed;         // something could be neither deleted nor scheduled
};

struct RemovalSettings {
  bool windowsNt;
  const char* uninstallerPath;  // the running uninstaller: its folder is the destination
  RunLog* log;                  // null: no log
};

RemovalResult RemoveInstallation(Platform& platform, const RemovalSettings& settings,
                                 const UninstallLogRecords& records, RemovalQuestions& questions);

}  // namespace setup
