// The plain-text log an administrator asks for with /L "file": one line per
// thing done, "action<TAB>subject" with an optional "<TAB>detail", CRLF at
// the end, in the order things happened. The setup and the uninstaller both
// write it.
//
// A log that cannot be created logs nothing; the run never stops for it. A
// line longer than the buffer is cut, never split.
#pragma once

#include "platform/platform.h"

namespace setup {

class RunLog {
 public:
  // Creates (or empties) the file; false when it cannot be created.
  bool Open(Platform& platform, const char* path);
  bool IsOpen() const { return file_ != kInvalidFile; }
  // `detail` may be null or empty, and then its column is left out.
  void Line(const char* action, const char* subject, const char* detail = nullptr);
  // The same, with a number as the detail (an error or exit code).
  void LineNumber(const char* action, const char* subject, long number);
  void Close();

 private:
  Platform* platform_ = nullptr;
  FileHandle file_ = kInvalidFile;
};

}  // namespace setup
