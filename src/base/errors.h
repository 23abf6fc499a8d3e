// Setup error numbers. Each one is also the index of its message in string
// group 6, which FormatErrorText fills with the error subject.
#pragma once

#include "base/text.h"

namespace setup {

constexpr int ERR_NONE = 0;
constexpr int ERR_TARGET_READ_ONLY = 9;   // an existing target cannot be made writable
constexpr int ERR_DISK_SPACE = 11;        // not enough disk space
constexpr int ERR_OUT_OF_MEMORY = 12;
constexpr int ERR_DISK_CANCELLED = 15;    // the user gave up at the disk prompt
constexpr int ERR_OPEN = 16;              // a file cannot be opened
constexpr int ERR_CREATE = 17;            // a file cannot be created
constexpr int ERR_CORRUPT = 18;           // a file or volume is corrupt, unreadable or missing
constexpr int ERR_WRITE = 19;             // a write failed
constexpr int ERR_WRITE_SHORT = 20;       // a write came up short (disk full)
constexpr int ERR_CHECKSUM = 21;          // checksum mismatch
constexpr int ERR_REPLACE = 22;           // an existing file could not be replaced

// The setup error number and the path its message quotes: one per run, set by
// whichever step failed and read by the one that tells the user.
struct SetupError {
  int number;                 // ERR_NONE while all is well
  char subject[kPathSize];
  // Set with ERR_CORRUPT when a file's data does not come to its entry's
  // fileSize: the bytes found, or fileSize + 1 where writing stopped.
  bool wrongSize;
  uint64_t sizeFound;
};

// Sets the error number and its subject (null: none).
inline void RecordError(SetupError& error, int number, const char* subject) {
  error.number = number;
  error.wrongSize = false;
  CopyText(error.subject, kPathSize, subject != nullptr ? subject : "");
}

// Sets the error number and keeps the subject an earlier step recorded:
// running out of memory or disk has no file of its own to name.
inline void RecordErrorNumber(SetupError& error, int number) { error.number = number; }

}  // namespace setup
