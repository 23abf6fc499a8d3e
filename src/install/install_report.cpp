#include "install/install_report.h"

#include <initializer_list>

#include "base/run_log.h"
#include "base/text_format.h"
#include "session/messages.h"

namespace setup {

namespace {

const char* RootName(RegKey root) {
  switch (root) {
    case kHkeyClassesRoot: return "HKCR\\";
    case kHkeyLocalMachine: return "HKLM\\";
    case kHkeyUsers: return "HKU\\";
    default: return "HKCU\\";
  }
}

// The texts one after another, cut to `size`.
void Join(char* out, uint32_t size, std::initializer_list<const char*> parts) {
  out[0] = '\0';
  for (const char* part : parts) AppendText(out, size, part);
}

// Appends "error N: message" to `detail`, on one line.
void AppendErrorDetail(const SetupContext& context, char* detail, uint32_t size) {
  uint32_t length = TextLength(detail);
  length += FormatText(detail + length, size - length, "error %d: ", "", context.run.error.number);
  FormatErrorText(context, detail + length, size - length, context.run.error.number);
  // A message of several lines stays on the file's one line.
  for (char* p = detail; *p != '\0'; ++p) {
    if (*p == '\r' || *p == '\n' || *p == '\t') *p = ' ';
  }
}

}  // namespace

void ReportFile(const SetupContext& context, const char* action, const char* detail) {
  if (context.run.log != nullptr) context.run.log->Line(action, context.targetPath, detail);
}

void ReportFileFailure(const SetupContext& context) {
  if (context.run.log == nullptr) return;
  // The log's line holds 1200 characters; a longer message is cut there.
  char detail[1200];
  detail[0] = '\0';
  AppendErrorDetail(context, detail, sizeof detail);
  context.run.log->Line("failed", context.targetPath, detail);
}

void ReportResult(const SetupContext& context, int exitCode) {
  const RunState& run = context.run;
  if (run.log == nullptr) return;
  const char* outcome = run.installed ? (run.restartNeeded ? "restart needed"
                                                           : "installed")
                        : run.error.number != ERR_NONE ? "failed"
                                                       : "not installed";
  char detail[1200];
  detail[0] = '\0';
  if (exitCode != kNoExitCode) FormatText(detail, sizeof detail, "exit code %d", "", exitCode);
  if (!run.installed && run.error.number != ERR_NONE) {
    if (detail[0] != '\0') AppendText(detail, sizeof detail, "; ");
    AppendErrorDetail(context, detail, sizeof detail);
  }
  run.log->Line("result", outcome, detail);
}

void ReportRegistryValue(RunLog* log, RegKey root, const char* key, const char* name,
                         const char* data) {
  if (log == nullptr) return;
  char subject[kPathSize * 2];
  Join(subject, sizeof subject, {RootName(root), key, "\\", name != nullptr ? name : ""});
  log->Line("registry", subject, data);
}

void ReportIniValue(RunLog* log, const char* file, const char* section, const char* key,
                    const char* value) {
  if (log == nullptr) return;
  char detail[kPathSize * 2];
  Join(detail, sizeof detail, {"[", section, "] ", key, "=", value});
  log->Line("ini", file, detail);
}

}  // namespace setup
