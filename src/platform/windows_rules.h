// Behaviour of Windows calls that every backend other than the real one must
// copy, written once. The Win32 backend gets it from Windows itself; the
// simulated machine and the host backend compute it here, so that the engine
// meets the same answers everywhere. No <windows.h>: only the numbers.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// ---------------------------------------------------------------------------
// SetFilePointer without a high part

// The origins it knows: kFileBegin, kFileCurrent, kFileEnd.
inline bool IsSeekOrigin(uint32_t origin) { return origin <= kFileEnd; }

// The position a seek moves to from `originPosition` (0, the current position
// or the size, by origin). The distance is a signed 32-bit value from every
// origin, so a negative distance from the start is a negative seek. Returns
// the new position, or kInvalidSetFilePointer with the error GetLastError
// then reports in *error: kErrorNegativeSeek before the start,
// kErrorInvalidParameter for a position that needs the high part. On success
// *error is 0. A failed seek leaves the position where it was.
inline uint32_t SeekTarget(uint64_t originPosition, int32_t distance, uint32_t* error) {
  int64_t target = static_cast<int64_t>(originPosition) + distance;
  if (target < 0) {
    *error = kErrorNegativeSeek;
    return kInvalidSetFilePointer;
  }
  if (target >= static_cast<int64_t>(kInvalidSetFilePointer)) {
    *error = kErrorInvalidParameter;
    return kInvalidSetFilePointer;
  }
  *error = 0;
  return static_cast<uint32_t>(target);
}

// ---------------------------------------------------------------------------
// MessageBoxA answers

// The buttons of a box type (its low four bits), left to right.
struct MessageBoxButtons {
  int ids[3];
  int count;
};

inline MessageBoxButtons ButtonsOf(uint32_t type) {
  switch (type & 0x0F) {
    case kMbOkCancel: return {{kIdOk, kIdCancel, 0}, 2};
    case kMbAbortRetryIgnore: return {{kIdAbort, kIdRetry, kIdIgnore}, 3};
    case kMbYesNoCancel: return {{kIdYes, kIdNo, kIdCancel}, 3};
    case kMbYesNo: return {{kIdYes, kIdNo, 0}, 2};
    case kMbRetryCancel: return {{kIdRetry, kIdCancel, 0}, 2};
    case kMbCancelTryContinue: return {{kIdCancel, kIdTryAgain, kIdContinue}, 3};
    default: return {{kIdOk, 0, 0}, 1};
  }
}

inline bool IsButtonOf(uint32_t type, int answer) {
  MessageBoxButtons buttons = ButtonsOf(type);
  for (int i = 0; i < buttons.count; ++i) {
    if (buttons.ids[i] == answer) return true;
  }
  return false;
}

// The answer of a person who just confirms: the first button.
inline int FirstButton(uint32_t type) { return ButtonsOf(type).ids[0]; }

// The answer that declines what the box proposes (Cancel, No, Abort; OK when
// it is the only button): what a program without a person takes.
inline int DecliningButton(uint32_t type) {
  switch (type & 0x0F) {
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbYesNo: return kIdNo;
    case kMbOkCancel:
    case kMbYesNoCancel:
    case kMbRetryCancel:
    case kMbCancelTryContinue: return kIdCancel;
    default: return kIdOk;
  }
}

}  // namespace setup
