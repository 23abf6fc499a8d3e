#include "base/run_log.h"

#include "base/file_io.h"
#include "base/text.h"
#include "base/text_format.h"

namespace setup {

bool RunLog::Open(Platform& platform, const char* path) {
  Close();
  platform_ = &platform;
  if (path == nullptr || path[0] == '\0') return false;
  file_ = CreateForWrite(platform, path);
  return file_ != kInvalidFile;
}

void RunLog::Line(const char* action, const char* subject, const char* detail) {
  if (file_ == kInvalidFile) return;
  char line[1200];
  CopyText(line, sizeof line - 2, action);
  AppendText(line, sizeof line - 2, "\t");
  AppendText(line, sizeof line - 2, subject != nullptr ? subject : "");
  if (detail != nullptr && detail[0] != '\0') {
    AppendText(line, sizeof line - 2, "\t");
    AppendText(line, sizeof line - 2, detail);
  }
  AppendText(line, sizeof line, "\r\n");
  WriteBytes(*platform_, file_, line, TextLength(line));
}

void RunLog::LineNumber(const char* action, const char* subject, long number) {
  char detail[16];
  FormatText(detail, sizeof detail, "%ld", nullptr, static_cast<int32_t>(number));
  Line(action, subject, detail);
}

void RunLog::Close() {
  if (file_ != kInvalidFile) CloseFile(*platform_, &file_);
}

}  // namespace setup
