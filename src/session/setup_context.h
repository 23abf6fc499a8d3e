// Everything one run of the setup keeps: the loaded package, the current
// component, the reader of package data, and the shared run state. Tests build
// their own; the program has one.
#pragma once

#include <cstdint>

#include "base/errors.h"
#include "base/text.h"
#include "decode/package_reader.h"
#include "package/package_state.h"
#include "platform/platform.h"

namespace setup {

class RunLog;

// The progress bar, as the install engine sees it.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetProgressPercent(int percent) = 0;
};

// The progress page's file-name control (1008): the file being installed,
// shortened for display.
class FileNameDisplay {
 public:
  virtual ~FileNameDisplay() = default;
  virtual void ShowFileName(const char* text) = 0;
};

constexpr uint32_t kTargetPathSize = 520;

// The question a message box is asking, for whoever answers instead of a
// person (the unattended install): set while the box is up, else
// QUESTION_NONE.
enum Question : int {
  QUESTION_NONE = 0,        // a message, or a box the engine did not tag
  QUESTION_DISK_SPACE,      // (6, 11) not enough room: go on anyway?
  QUESTION_READ_ONLY,       // (6, 7) write-protected targets: overwrite them?
  QUESTION_VERSION,         // (6, 29) the installed file is newer: overwrite it?
  QUESTION_LANGUAGE,        // (6, 30) the installed file has another language
  QUESTION_FILE_IN_USE,     // (6, 22) Abort, Retry or Ignore
  QUESTION_INSERT_DISK,     // (6, 28) OK when inserted, or Cancel
  QUESTION_LEAVE,           // (6, 13) leave the installation incomplete?
};

// Page results of the wizard.
constexpr int PAGE_NEXT = 1;
constexpr int PAGE_END = 2;
constexpr int PAGE_BACK = 1007;

struct RunState {
  SetupError error;                 // setup error number and the path its message quotes
  bool removableMedia;              // running as the copy relaunched from removable media
  bool windowsNt;
  WindowHandle frameWindow;         // owners of message boxes, 0 while none exists
  WindowHandle backgroundWindow;
  int pageResult;
  // After-install entries: forgotten by every confirmed cancel.
  const uint8_t* documentEntry;
  const uint8_t* programEntry;
  const uint8_t* screenSaverEntry;
  Question question;                // what the message box now up asks
  // Nobody is at the screen (/Q): no question about a file in use (it is
  // replaced at the next restart) and no disk prompt (a volume missing from
  // the package's folder ends the run with ERR_DISK_CANCELLED).
  bool quiet;
  RunLog* log;                      // the /L log, null when there is none

  // The install run.
  bool inputOpen;                   // the package data is open; steps may follow
  bool aborted;                     // counted input failed: the setup ends at once
  bool restartNeeded;               // a file waits for the restart-time replacement
  bool installed;                   // the finishing step ran: the component is installed
  int entryIndex;                   // of the entry being installed; -1 before the first
  uint8_t* currentEntry;            // the entry the next step installs
  char temporaryPath[kPathSize];    // this step's temporary file, empty when none
  char uninstallerPath[kPathSize];  // the installed uninstaller, empty when none
};

struct SetupContext {
  explicit SetupContext(Platform& p)
      : platform(p), reader(p, run.error) {}
  SetupContext(const SetupContext&) = delete;
  SetupContext& operator=(const SetupContext&) = delete;

  Platform& platform;
  char packagePath[kPathSize] = {};
  char openPath[kPathSize] = {};
  char targetPath[kTargetPathSize] = {};  // the file being installed
  uint32_t stubSize = 0;
  PackageState package = {};
  CurrentComponent current = {};
  RunState run = {};
  ProgressBar* progress = nullptr;
  FileNameDisplay* fileName = nullptr;
  PackageReader reader;  // and its decoder
};

// Sets the setup error number and the path its message quotes.
void SetSetupError(SetupContext& context, int error, const char* subject);

// Sets the setup error number and keeps the subject an earlier step recorded:
// running out of memory or disk has no file of its own to name.
void SetSetupErrorNumber(SetupContext& context, int error);

// Opens the package data of this run: the package file's region, as the
// loader found it (see BeginPackageData), with the session's disk prompt.
int BeginPackageData(SetupContext& context);

}  // namespace setup
