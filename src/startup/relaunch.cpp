#include "startup/relaunch.h"

#include "base/file_io.h"
#include "base/memory.h"
#include "base/text.h"
#include "base/text_format.h"

namespace setup {

namespace {

constexpr int kTemporaryNames = 999;  // _inst0.exe to _inst998.exe

// Creates the first free "_inst<n>.exe" in the temporary folder; a name that
// opens is taken already. Returns the new file, or kInvalidFile when all are
// taken or none can be created.
FileHandle CreateCopyFile(Platform& platform, char* copyPath) {
  char folder[kPathSize] = {};
  uint32_t length = platform.GetTempPathA(kPathSize, folder);
  if (length == 0 || length >= kPathSize) return kInvalidFile;
  if (folder[length - 1] != '\\') AppendText(folder, kPathSize, "\\");
  for (int i = 0; i < kTemporaryNames; ++i) {
    char name[16];
    FormatText(name, sizeof name, "_inst%d.exe", "", i);
    CopyText(copyPath, kPathSize, folder);
    if (!AppendText(copyPath, kPathSize, name)) return kInvalidFile;
    FileHandle existing = OpenForRead(platform, copyPath);
    if (existing != kInvalidFile) {
      CloseFile(platform, &existing);
      continue;
    }
    FileHandle created = CreateForWrite(platform, copyPath);
    if (created != kInvalidFile) return created;
  }
  return kInvalidFile;
}


}  // namespace

bool ProgramDriveRoot(const char* programPath, char root[4]) {
  // A network path ("\\server\...") has no colon there either.
  if (programPath[0] == '\0' || programPath[1] != ':') return false;
  root[0] = programPath[0];
  root[1] = ':';
  root[2] = '\\';
  root[3] = '\0';
  return true;
}

bool BuildRelaunchCommand(const char* copyPath, const char* packagePath, const char* arguments,
                          char* out, uint32_t size) {
  CopyText(out, size, "\"");
  bool fits = AppendText(out, size, copyPath) && AppendText(out, size, "\" /S\"") &&
              AppendText(out, size, packagePath) && AppendText(out, size, "\" /DEL");
  if (fits && arguments != nullptr && arguments[0] != '\0') {
    fits = AppendText(out, size, " ") && AppendText(out, size, arguments);
  }
  return fits;
}

namespace {

// Starts the copy. Without `exitCode` it runs on its own (WinExec, with the
// show command); with one, this process waits for it to end and passes on
// its exit code, so that whoever started a quiet setup learns how it went.
bool StartCopy(Platform& platform, const char* copyPath, const char* packagePath,
               const char* arguments, int show, uint32_t* exitCode) {
  // Two quoted paths and the switches, and room for a long line of our own
  // switches (three paths); a longer one is not passed on cut.
  char command[kPathSize * 6];
  bool started = false;
  if (BuildRelaunchCommand(copyPath, packagePath, arguments, command, sizeof command)) {
    if (exitCode == nullptr) {
      started = platform.WinExec(command, show) > 31;
    } else {
      ProcessInfo process = {};
      started = platform.CreateProcessA(command, &process) != 0;
      if (started) {
        platform.CloseHandle(process.thread);
        platform.WaitForSingleObject(process.process, kInfinite);
        platform.GetExitCodeProcess(process.process, exitCode);
        platform.CloseHandle(process.process);
      }
    }
  }
  return started;
}

}  // namespace

RelaunchResult RelaunchFromRemovable(Platform& platform, const char* programPath,
                                     const char* packagePath, uint32_t stubSize, int show,
                                     const char* arguments, uint32_t* exitCode) {
  char root[4];
  if (!ProgramDriveRoot(programPath, root) || platform.GetDriveTypeA(root) != kDriveRemovable) {
    return RELAUNCH_NOT_NEEDED;
  }
  char copyPath[kPathSize] = {};
  FileHandle copy = CreateCopyFile(platform, copyPath);
  if (copy == kInvalidFile) return RELAUNCH_FAILED;
  FileHandle package = OpenForRead(platform, packagePath);
  if (package == kInvalidFile) {
    // Nothing was written: the empty copy is left, as the old setups leave it.
    CloseFile(platform, &copy);
    return RELAUNCH_FAILED;
  }
  void* block = nullptr;
  if (!AllocBlock(platform, stubSize, &block)) {
    // No memory: no relaunch, and (as with an unreadable package) the empty
    // copy stays.
    CloseFile(platform, &package);
    CloseFile(platform, &copy);
    return RELAUNCH_FAILED;
  }
  bool copied = ReadExact(platform, package, block, stubSize) &&
                WriteBytes(platform, copy, block, stubSize) == WRITE_OK;
  FreeBlock(platform, &block);
  CloseFile(platform, &package);
  CloseFile(platform, &copy);
  if (copied && StartCopy(platform, copyPath, packagePath, arguments, show, exitCode)) {
    return RELAUNCH_STARTED;
  }
  // A half-written copy would start as a broken program; one that did not
  // start is of no use. Either way the setup runs on from the disk.
  platform.DeleteFileA(copyPath);
  return RELAUNCH_FAILED;
}

}  // namespace setup
