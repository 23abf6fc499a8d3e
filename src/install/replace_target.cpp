#include "install/replace_target.h"

#include "base/file_io.h"
#include "decode/checksum.h"
#include "install/install_report.h"
#include "install/restart_replace.h"
#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "session/messages.h"

namespace setup {

namespace {

// What NT reports for a file that is read-only, held open, or locked.
bool IsAccessDenied(uint32_t error) {
  return error == kErrorAccessDenied || error == kErrorSharingViolation || error == 33;
}

bool IsMissing(uint32_t error) {
  return error == kErrorFileNotFound || error == kErrorPathNotFound;
}

enum class TargetAccess { kMissing, kReadOnly, kWritable };

// A read-only target refuses to be opened for writing with access denied; a
// file held open by another process refuses with a sharing violation and is
// not read-only. The attribute is asked first: some systems (Wine run as an
// administrator) open a read-only file for writing and only refuse to delete it.
TargetAccess CheckTargetAccess(Platform& platform, const char* path) {
  uint32_t attributes = platform.GetFileAttributesA(path);
  if (attributes != kInvalidFileAttributes && (attributes & kAttrReadOnly)) {
    return TargetAccess::kReadOnly;
  }
  // No file: nothing to test or delete (most targets of a first installation).
  if (attributes == kInvalidFileAttributes && IsMissing(platform.GetLastError())) {
    return TargetAccess::kMissing;
  }
  FileHandle file =
      platform.CreateFileA(path, kGenericWrite, kFileShareRead | kFileShareWrite, kOpenExisting);
  if (file != kInvalidFile) {
    platform.CloseHandle(file);
    return TargetAccess::kWritable;
  }
  return platform.GetLastError() == kErrorAccessDenied ? TargetAccess::kReadOnly
                                                       : TargetAccess::kWritable;
}

}  // namespace

bool ExistingFileMatches(Platform& platform, const char* path, const uint8_t* entry) {
  FileHandle file = OpenForRead(platform, path);
  if (file == kInvalidFile) return EntryFileSize(entry) == 0 && EntryChecksum(entry) == 0;
  bool matches = FileSize(platform, file) == EntryFileSize(entry) &&
                 FileChecksum(platform, file) == EntryChecksum(entry);
  CloseFile(platform, &file);
  return matches;
}

int AskFileInUse(SetupContext& context, uint8_t* entry, const char* temporary) {
  Platform& platform = context.platform;
  const char* target = context.targetPath;
  uint8_t folderKind = EntryFolderKind(entry);
  bool windowsFolder = folderKind == FOLDER_WINDOWS || folderKind == FOLDER_SYSTEM;
  bool differs = !windowsFolder && folderKind != FOLDER_FONTS &&
                 !ExistingFileMatches(platform, target, entry);
  // Windows' own folders are never asked about; nor is anything when nobody
  // could answer: the new file waits for the restart.
  if (windowsFolder || (context.run.quiet && differs)) {
    // A restart that would replace nothing is no answer: the file is not
    // installed, and the run says so.
    if (!ScheduleReplaceAtRestart(platform, context.run.windowsNt, target, temporary)) {
      platform.DeleteFileA(temporary);
      return kIdAbort;
    }
    ReportFile(context, "scheduled", "in use: at restart");
    context.run.restartNeeded = true;
    SetEntryState(entry, STATE_DONE);
    return kIdIgnore;
  }
  int answer = kIdIgnore;
  if (differs) {
    SetSetupError(context, ERR_NONE, target);
    char text[kMessageSize];
    FormatPathMessage(context, 22, target, text, sizeof text);
    answer = AskSetupQuestion(context, QUESTION_FILE_IN_USE, text, kMbAbortRetryIgnore);
  }
  if (answer != kIdRetry) platform.DeleteFileA(temporary);
  if (answer == kIdIgnore) {
    SetEntryState(entry, STATE_DONE);
    ReportFile(context, "skipped", "in use: kept");
  }
  // Any answer but these (a box that could not be shown) keeps the old file
  // and counts as Abort.
  if (answer != kIdRetry && answer != kIdIgnore) answer = kIdAbort;
  return answer;
}

bool ReplaceTargetFile(SetupContext& context, uint8_t* entry, const char* temporary) {
  Platform& platform = context.platform;
  const char* target = context.targetPath;
  SetEntryState(entry, STATE_REPLACING);
  TargetAccess access = CheckTargetAccess(platform, target);
  if (access == TargetAccess::kReadOnly) {
    uint32_t attributes = platform.GetFileAttributesA(target);
    for (;;) {
      platform.SetFileAttributesA(target, kAttrNormal);
      if (platform.DeleteFileA(target)) break;
      int answer = AskFileInUse(context, entry, temporary);
      if (answer != kIdRetry) {
        // The old file stays as it was found.
        if (attributes != kInvalidFileAttributes) platform.SetFileAttributesA(target, attributes);
        return false;
      }
    }
    if (!platform.MoveFileA(temporary, target)) return true;
    platform.SetFileAttributesA(target, kAttrReadOnly);
    SetEntryState(entry, STATE_DONE);
    ReportFile(context, "installed", "replaced, read-only");
    return false;
  }
  bool existed = access != TargetAccess::kMissing;
  while (existed) {
    if (platform.DeleteFileA(target)) break;
    uint32_t error = platform.GetLastError();
    if (IsMissing(error)) {
      existed = false;
      break;
    }
    // Any other failure leaves the old file where it is: not replaced.
    if (!IsAccessDenied(error)) return false;
    if (AskFileInUse(context, entry, temporary) != kIdRetry) return false;
  }
  if (!platform.MoveFileA(temporary, target)) return true;
  SetEntryState(entry, existed ? STATE_DONE : STATE_NEW);
  ReportFile(context, "installed", existed ? "replaced" : "new");
  return false;
}

}  // namespace setup
