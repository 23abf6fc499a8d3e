// A simulated Windows machine for tests.
//
// It keeps drives, folders and files in memory with the rules of the Windows
// file system that the engine meets: drive letters; names compared without
// regard to case but stored with the case they were created with; the
// read-only attribute; sharing modes between open handles; files held open by
// another process (opening fails with a sharing violation, deleting or renaming
// with access denied); free space and cluster size per drive, with writes that
// come up short when a drive is full. The process heap can be made to fail on
// demand, and message boxes are recorded and answered from a script.
//
// Paths are absolute ("C:\dir\file"); "/" counts as "\".
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace setup {

enum class DriveKind { Fixed, Removable, Remote, CdRom };

class SimPlatform final : public Platform {
 public:
  SimPlatform();
  ~SimPlatform() override;

  // --- The machine, as tests set it up and inspect it -----------------------

  void AddDrive(char letter, uint64_t freeBytes, uint32_t clusterSize = 4096,
                DriveKind kind = DriveKind::Fixed);
  // Creates the folder and any missing parents.
  void AddFolder(std::string_view path);
  // Creates or replaces a file (its folder must exist, or is created).
  void AddFile(std::string_view path, std::string_view contents,
               uint32_t attributes = kAttrNormal);
  bool FileExists(std::string_view path) const;
  bool FolderExists(std::string_view path) const;
  // A file's creation, last-access and last-write times; nullopt when there is no file.
  std::optional<std::array<FileTime, 3>> FileTimes(std::string_view path) const;
  // Contents of a file; nullopt when there is none.
  std::optional<std::string> FileContents(std::string_view path) const;
  // The full path with every part in its stored case.
  std::string StoredPath(std::string_view path) const;
  // Another process holds the file open without sharing.
  void HoldOpenByOtherProcess(std::string_view path, bool held = true);
  uint64_t FreeBytes(char letter) const;
  uint32_t ClusterSize(char letter) const;
  DriveKind Kind(char letter) const;
  size_t OpenHandleCount() const { return handles_.size(); }
  // All files, by stored path, for listing in failure messages.
  std::vector<std::string> ListFiles() const;

  // Heap: decides whether an allocation of a given size fails (null: never).
  std::function<bool(uint32_t size)> allocationFails;
  int heapCompactions = 0;
  // Frees of a pointer the heap does not hold (double frees, foreign blocks).
  int invalidFrees = 0;
  // The fill of a block allocated without zeroing.
  static constexpr unsigned char kFreshByte = 0xCD;
  size_t OutstandingBlocks() const { return blocks_.size(); }

  // Message boxes: every box is recorded; answers are taken from the front of
  // `answers`. With none left, a box gets its first button (OK, Yes, Abort).
  struct MessageBoxCall {
    WindowHandle owner;
    std::string text;
    std::string caption;
    uint32_t type;
  };
  std::vector<MessageBoxCall> messageBoxes;
  std::deque<int> answers;

  // --- Platform --------------------------------------------------------------

  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override;
  int ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) override;
  int WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) override;
  uint32_t SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) override;
  int CloseHandle(FileHandle file) override;
  int DeleteFileA(const char* path) override;
  int MoveFileA(const char* from, const char* to) override;
  uint32_t GetFileAttributesA(const char* path) override;
  int SetFileAttributesA(const char* path, uint32_t attributes) override;
  int SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                  const FileTime* lastWrite) override;
  uint32_t GetLastError() override { return lastError_; }

  void* HeapAlloc(uint32_t size, bool zeroed) override;
  void HeapFree(void* block) override;
  void HeapCompact() override { ++heapCompactions; }

  int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                  uint32_t type) override;

 private:
  struct Drive {
    uint64_t freeBytes;
    uint32_t clusterSize;
    DriveKind kind;
  };
  struct Node {
    std::string name;  // last part, stored case
    bool folder = false;
    std::string data;
    uint32_t attributes = kAttrNormal;
    bool heldByOther = false;
    std::array<FileTime, 3> times{};
  };
  struct OpenFile {
    std::string key;
    uint32_t access;
    uint32_t share;
    uint64_t position = 0;
  };

  // The lookup key of a path (upper case, "\" separators, no trailing "\"),
  // or nullopt when the path is not absolute on a known drive.
  std::optional<std::string> KeyOf(std::string_view path) const;
  static std::string ParentKey(const std::string& key);
  static std::string LastPart(std::string_view path);
  Node* Find(const std::string& key);
  const Node* Find(const std::string& key) const;
  Drive& DriveOf(const std::string& key);
  uint64_t Allocated(const Drive& drive, uint64_t size) const;
  bool Shared(const std::string& key, uint32_t access, uint32_t share) const;
  bool OpenByUs(const std::string& key) const;
  // The error for a name that is not there: its folder missing, or only it.
  uint32_t MissingError(const std::optional<std::string>& key) const;
  int MoveFolder(const std::string& fromKey, const std::string& toKey, const std::string& name);
  int Fail(uint32_t error);

  std::map<char, Drive> drives_;
  std::map<std::string, Node> nodes_;
  std::map<FileHandle, OpenFile> handles_;
  std::map<void*, uint32_t> blocks_;
  FileHandle nextHandle_ = 0x100;
  uint32_t lastError_ = 0;
};

}  // namespace setup
