#include "install/quiet_install.h"

#include "base/run_log.h"
#include "install/install_report.h"
#include "package/component.h"
#include "paths/path_folders.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

// What a folder typed or given may not hold: control characters, the ones
// Windows forbids in names, and a colon anywhere but after the drive letter.
bool HasForbiddenCharacter(const char* folder) {
  for (uint32_t i = 0; folder[i] != '\0'; ++i) {
    char c = folder[i];
    if (static_cast<unsigned char>(c) < 32 || (c == ':' && i != 1)) return true;
    for (const char* f = "<>\"|?*"; *f != '\0'; ++f) {
      if (c == *f) return true;
    }
  }
  return false;
}

bool Refuse(RunLog* log, const char* folder, const char* why) {
  if (log != nullptr) log->Line("folder", folder, why);
  return false;
}

}  // namespace

bool PrepareQuietFolder(Platform& platform, const char* requested, char* folder, RunLog* log) {
  char given[kPathSize];
  CopyText(given, sizeof given, requested[0] != '\0' ? requested : folder);
  StripBackslash(given);
  if (HasForbiddenCharacter(given)) {
    return Refuse(log, given, "forbidden character");
  }
  // Room for the backslash the files' names follow; an empty text is no path.
  char full[kPathSize];
  uint32_t length = platform.GetFullPathNameA(given, kPathSize, full, nullptr);
  if (TextLength(given) >= kPathSize - 1 || length == 0 || length >= kPathSize - 1) {
    return Refuse(log, given, "too long or empty");
  }
  StripBackslash(full);
  if (!FolderExists(platform, full)) {
    AppendBackslash(full, kPathSize);
    MakePathFolders(platform, full);
    StripBackslash(full);
    if (!FolderExists(platform, full)) return Refuse(log, full, "cannot be made");
    if (log != nullptr) log->Line("folder", full, "made");
  }
  CopyText(folder, kPathSize, full);
  AppendBackslash(folder, kPathSize);
  return true;
}

int QuietExitCode(UnattendedResult result, const RunState& run) {
  if (result == UNATTENDED_DONE) return run.restartNeeded ? QUIET_RESTART_NEEDED : QUIET_DONE;
  if (run.error.number != ERR_NONE) return run.error.number;
  // Without a number: a question outside the policy, the read-only targets
  // declined, or package data that ran out.
  if (result == UNATTENDED_UNANSWERED) return QUIET_UNANSWERED;
  return result == UNATTENDED_DECLINED ? ERR_TARGET_READ_ONLY : ERR_CORRUPT;
}

int RunQuietInstall(SetupContext& context, int component, const char* folder) {
  RunState& run = context.run;
  int code = QUIET_BAD_COMPONENT;
  if (component >= 0 && component < context.package.componentCount) {
    SelectComponent(context.package, context.current, component);
    code = QUIET_BAD_FOLDER;
    if (PrepareQuietFolder(context.platform, folder, context.current.destinationFolder,
                           run.log)) {
      code = QuietExitCode(RunUnattendedInstall(context), run);
    }
  }
  ReportResult(context, code);
  return code;
}

}  // namespace setup
