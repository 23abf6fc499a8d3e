// Figures and placements the destination and finish pages show, worked out
// without a window.
#pragma once

#include <cstdint>

namespace setup {

// The space the component's files need, in megabytes rounded up: each file's
// size rounded up to 32 KiB first. Summed in 64 bits, so a component of more
// than 4 GB shows its size rather than a wrapped one.
uint32_t NeededMegabytes(const uint8_t* firstEntry, uint32_t count);

// Free space in megabytes rounded up, from the drive's kilobytes; 0 when the
// free space is unknown (the all-ones value).
uint32_t FreeMegabytes(uint32_t freeKilobytes);

// The finish page's buttons: Cancel, which ends without asking, and Back for
// the restart when one is needed.
uint32_t FinishButtonFlags(bool restartNeeded);

// The finish page's line (control 1001, 1002 or 1003) that takes the restart
// notice: the first one the other texts leave free.
struct FinishLines {
  bool openButtonShown;
  bool runBoxVisible;
  bool runBoxMovedUp;
  bool openLineEmpty;  // string (5,2)
  bool runLineEmpty;   // string (5,3)
};
int RestartNoticeControl(const FinishLines& lines);

}  // namespace setup
