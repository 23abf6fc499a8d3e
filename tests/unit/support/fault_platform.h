// A platform that makes one chosen call fail, for fault-injection sweeps.
//
// Every call that changes the machine is counted: creating or opening a file
// for writing, writing, moving or renaming, deleting, making folders, setting
// attributes or times, cutting a file, creating registry keys and setting
// values, profile writes, delayed moves, and saving shell links. Call number
// `failAt` (1 for the first) fails in the chosen way:
//
//   kDiskFull      a write stores half of its bytes and reports the short
//                  count; any other call fails with ERROR_DISK_FULL
//   kAccessDenied  the call fails with ERROR_ACCESS_DENIED
//   kKilled        that call and every later one that would change the
//                  machine fail, as if the process had died there; calls that
//                  only read still answer, so the machine can be inspected,
//                  and killed() tells the driver to stop
//
// With failAt 0 nothing fails and the calls are only counted, so a clean run
// tells how many injection points a scenario has. Every counted call is
// described in calls() ("WriteFile C:\App\X.$$A"), for failure messages.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "unit/support/forwarding_platform.h"

namespace setup::test {

class FaultPlatform : public ForwardingPlatform {
 public:
  enum class Mode { kDiskFull, kAccessDenied, kKilled };

  explicit FaultPlatform(Platform& inner) : ForwardingPlatform(inner) {}

  void FailAt(uint64_t call, Mode mode) {
    failAt_ = call;
    mode_ = mode;
  }
  uint64_t count() const { return count_; }
  bool killed() const { return killed_; }
  // Whether the chosen call has come (and failed).
  bool injected() const { return injected_; }
  const std::vector<std::string>& calls() const { return calls_; }

  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override;
  int WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) override;
  int SetEndOfFile(FileHandle file) override;
  int CloseHandle(FileHandle file) override;
  int DeleteFileA(const char* path) override;
  int MoveFileA(const char* from, const char* to) override;
  int MoveFileExA(const char* from, const char* to, uint32_t flags) override;
  int SetFileAttributesA(const char* path, uint32_t attributes) override;
  int SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                  const FileTime* lastWrite) override;
  int CreateDirectoryA(const char* path) override;
  uint32_t GetLastError() override;
  long RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) override;
  long RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data,
                      uint32_t size) override;
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* file) override;
  int32_t CreateShellLink(const ShellLinkInfo& link, const char* linkFile) override;

 private:
  // Counts a mutating call; returns the failure to inject now, if any.
  enum class Fault { kNone, kDiskFull, kDenied, kDead };
  Fault Count(const std::string& what);
  // Makes GetLastError report `error` until the next forwarded call.
  void Fail(uint32_t error) {
    lastError_ = error;
    haveError_ = true;
  }
  std::string PathOf(FileHandle file) const;

  uint64_t failAt_ = 0;
  Mode mode_ = Mode::kAccessDenied;
  uint64_t count_ = 0;
  bool killed_ = false;
  bool injected_ = false;
  uint32_t lastError_ = 0;
  bool haveError_ = false;
  std::map<FileHandle, std::string> paths_;  // open files, for the descriptions
  std::vector<std::string> calls_;
};

}  // namespace setup::test
