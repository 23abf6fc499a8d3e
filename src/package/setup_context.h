// Everything one run of the setup keeps: the loaded package, the current
// component, the reader of package data, and the shared run state. Tests build
// their own; the program has one.
#pragma once

#include <cstdint>

#include "decode/package_reader.h"
#include "decode/stream_decoder.h"
#include "package/package_state.h"
#include "paths/path_helpers.h"
#include "platform/platform.h"

namespace setup {

// The progress bar, as the install engine sees it.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetProgressPercent(int percent) = 0;
};

struct CurrentComponent {
  int index;
  const ComponentDescriptor* descriptor;  // null until a component is selected
  uint32_t fileCount;
  uint8_t* firstEntry;                    // null when the component has no files
  char destinationFolder[kPathSize];
};

constexpr uint32_t kTargetPathSize = 520;

// Page results of the wizard.
constexpr int PAGE_NEXT = 1;
constexpr int PAGE_END = 2;
constexpr int PAGE_BACK = 1007;

struct RunState {
  int errorNumber;                  // setup error number, 0 while all is well
  char errorSubject[kPathSize];     // the path its message quotes
  // Set with ERR_CORRUPT when a file's data does not come to its entry's
  // fileSize: the bytes found, or fileSize + 1 where writing stopped.
  bool wrongSize;
  uint64_t sizeFound;
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
      : platform(p), dataSource(*this), decoder(p, &dataSource) {}
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
  PackageReader reader = {kInvalidFile, {}, 0, 0, 0, 0, {}, 0};
  ProgressBar* progress = nullptr;
  PackageDataSource dataSource;
  StreamDecoder decoder;
};

// Sets the setup error number and the path its message quotes.
void SetSetupError(SetupContext& context, int error, const char* subject);

// Sets the setup error number and keeps the subject an earlier step recorded:
// running out of memory or disk has no file of its own to name.
void SetSetupErrorNumber(SetupContext& context, int error);

}  // namespace setup
