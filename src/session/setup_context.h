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

// The progress bar, as the install engine sees it.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetProgressPercent(int percent) = 0;
};

constexpr uint32_t kTargetPathSize = 520;

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
