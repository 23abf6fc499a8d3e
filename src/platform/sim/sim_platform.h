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
#include <utility>
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
  // Another process holds the file open without sharing; or, with
  // `sharesReading`, as Windows holds a loaded program or library: others may
  // still read it, but not write, delete or rename it.
  void HoldOpenByOtherProcess(std::string_view path, bool held = true,
                              bool sharesReading = false);
  uint64_t FreeBytes(char letter) const;
  uint32_t ClusterSize(char letter) const;
  DriveKind Kind(char letter) const;
  size_t OpenHandleCount() const { return handles_.size(); }
  // All files, by stored path, for listing in failure messages.
  std::vector<std::string> ListFiles() const;
  // Every file with its contents and attributes, and every folder ("\" at
  // its end): the machine's file tree, to compare before and after.
  std::vector<std::string> FileTree() const;

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

  // --- The rest of the machine, as tests set it up and inspect it -----------
  //
  // One switch makes the machine Windows NT or Windows 98: GetVersionExA's
  // platform, MoveFileExA (not there on 98), and GetDiskFreeSpaceA (capped
  // near 2 GB on 98). Relative paths resolve against `currentFolder`.

  bool windowsNt = true;
  bool administrator = true;  // NT: a delayed move needs it
  std::string windowsFolder = "C:\\WINDOWS";
  std::string systemFolder = "C:\\WINDOWS\\SYSTEM";
  std::string tempFolder = "C:\\TEMP\\";
  std::string currentFolder;
  std::map<int, std::string> specialFolders;  // by CSIDL; a missing one fails
  SystemTime clock = {2001, 3, 1, 5, 12, 0, 0, 0};
  uint64_t clockMs = 0;  // advanced by waits

  // Registry: keys named without regard to case, values with their types.
  // A string value is stored as given; SetRegistryString adds the NUL.
  void SetRegistryValue(RegKey root, std::string_view key, std::string_view name, uint32_t type,
                        std::string_view data);
  void SetRegistryString(RegKey root, std::string_view key, std::string_view name,
                         std::string_view value);
  // The value's type and bytes; nullopt when there is none.
  std::optional<std::pair<uint32_t, std::string>> RegistryValue(RegKey root, std::string_view key,
                                                                std::string_view name) const;
  bool RegistryKeyExists(RegKey root, std::string_view key) const;
  // Every key, and every value with its type and data, in one sorted list.
  std::vector<std::string> RegistryTree() const;
  size_t OpenKeyCount() const { return regHandles_.size(); }
  int registryOpens = 0;  // every RegOpenKey(Ex)A call
  int profileFlushes = 0;  // WritePrivateProfileStringA(null, null, null, file)

  // Delayed moves that MoveFileExA recorded (NT); `to` empty is a deletion.
  struct DelayedMove {
    std::string from;
    std::string to;
    bool replace;
  };
  std::vector<DelayedMove> delayedMoves;

  // Started processes. Each runs until a test ends it, or for the lifetime
  // the front of `processScript` gives it (taken when it starts). A wait on
  // it advances the clock by its time-out, or to the process's end.
  struct Process {
    std::string commandLine;
    bool viaWinExec;
    bool running;
    uint32_t exitCode;
    uint64_t startMs;
    uint64_t endMs;
    uint64_t lifetimeMs;  // kForever: until EndProcess
    int openHandles;
  };
  static constexpr uint64_t kForever = ~0ull;
  struct ScriptedProcess {
    uint64_t lifetimeMs;
    uint32_t exitCode;
  };
  std::vector<Process> processes;
  std::deque<ScriptedProcess> processScript;
  bool processCreationFails = false;
  void EndProcess(size_t index, uint32_t exitCode);
  int waits = 0;
  int peeks = 0;
  size_t OpenFindCount() const { return finds_.size(); }

  // The short (8.3) name a file or folder has: its own name when that is
  // already one, else the first six letters, "~N" and three of the extension.
  std::string ShortPath(std::string_view path) const;

  // --- Version resources, the shell, fonts and libraries --------------------

  // A file's version resource (it must exist when asked for).
  void SetFileVersion(std::string_view path, uint32_t versionMS, uint32_t versionLS,
                      uint16_t language = 0x0409, uint16_t codePage = 1252);
  struct ShellExecution {
    std::string file;
    std::string folder;
    int show;
  };
  std::vector<ShellExecution> shellExecutions;
  struct ShellLinkRecord {
    std::string path, workingFolder, arguments, description, iconPath;
    int iconIndex;
  };
  std::map<std::string, ShellLinkRecord> links;  // by the link file's full path
  std::vector<std::string> fonts;                // added by AddFontResourceA and not removed, in order
  int fontBroadcasts = 0;
  // Libraries that export DllRegisterServer, by full path, and what it returns.
  std::map<std::string, int32_t> selfRegistering;
  std::vector<std::string> registered;  // every DllRegisterServer called, in order
  std::vector<std::string> unregistered;  // every DllUnregisterServer called, in order
  size_t LoadedLibraryCount() const { return libraries_.size(); }

  // --- Platform --------------------------------------------------------------

  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override;
  int ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) override;
  int WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) override;
  uint32_t SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) override;
  int SetEndOfFile(FileHandle file) override;
  int CloseHandle(FileHandle file) override;
  int DeleteFileA(const char* path) override;
  int RemoveDirectoryA(const char* path) override;
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

  // --- The rest of the machine ----------------------------------------------

  long RegOpenKeyA(RegKey root, const char* subKey, RegKey* out) override;
  long RegOpenKeyExA(RegKey root, const char* subKey, uint32_t access, RegKey* out) override;
  long RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) override;
  long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, void* data,
                        uint32_t* size) override;
  long RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data,
                      uint32_t size) override;
  long RegCloseKey(RegKey key) override;
  long RegDeleteValueA(RegKey key, const char* name) override;
  long RegDeleteKeyA(RegKey root, const char* subKey) override;
  long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                     void* data, uint32_t* dataSize) override;
  uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                    const char* defaultValue, char* out, uint32_t size,
                                    const char* file) override;
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* file) override;
  uint32_t GetWindowsDirectoryA(char* out, uint32_t size) override;
  uint32_t GetSystemDirectoryA(char* out, uint32_t size) override;
  uint32_t GetTempPathA(uint32_t size, char* out) override;
  uint32_t GetDriveTypeA(const char* root) override;
  int GetDiskFreeSpaceA(const char* root, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                        uint32_t* freeClusters, uint32_t* totalClusters) override;
  uint32_t GetFullPathNameA(const char* path, uint32_t size, char* out, char** filePart) override;
  int CreateDirectoryA(const char* path) override;
  FindHandle FindFirstFileA(const char* path, FindData* out) override;
  int FindClose(FindHandle find) override;
  uint32_t GetShortPathNameA(const char* longPath, char* out, uint32_t size) override;
  int MoveFileExA(const char* from, const char* to, uint32_t flags) override;
  int GetVersionExA(VersionInfo* out) override;
  void GetSystemTime(SystemTime* out) override { *out = clock; }
  int GetSpecialFolderPath(int csidl, char* out) override;
  uint32_t VerFindFileA(uint32_t flags, const char* fileName, const char* windowsFolder,
                        const char* appFolder, char* currentFolder, uint32_t* currentSize,
                        char* destFolder, uint32_t* destSize) override;
  int CreateProcessA(char* commandLine, ProcessInfo* out) override;
  int GetExitCodeProcess(ProcessHandle process, uint32_t* code) override;
  uint32_t WaitForSingleObject(ProcessHandle object, uint32_t milliseconds) override;
  uint32_t WinExec(const char* commandLine, int show) override;
  int PeekMessageA(WindowHandle, uint32_t, uint32_t, uint32_t) override {
    ++peeks;
    return 0;
  }

  // --- Version resources, the shell, fonts and libraries --------------------

  uint32_t GetFileVersionInfoSizeA(const char* path) override;
  int GetFileVersionInfoA(const char* path, uint32_t size, void* data) override;
  int VerQueryValueA(const void* block, const char* subBlock, const void** value,
                     uint32_t* length) override;
  uintptr_t ShellExecuteA(WindowHandle owner, const char* file, const char* folder,
                          int show) override;
  int32_t CreateShellLink(const ShellLinkInfo& link, const char* linkFile) override;
  int AddFontResourceA(const char* path) override;
  void BroadcastFontChange() override { ++fontBroadcasts; }
  int RemoveFontResourceA(const char* path) override;
  LibraryHandle LoadLibraryA(const char* path) override;
  ProcAddress GetProcAddress(LibraryHandle library, const char* name) override;
  int32_t CallRegistrationFunction(ProcAddress function) override;
  int FreeLibrary(LibraryHandle library) override;

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
    bool heldSharesReading = false;
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

  // --- The rest of the machine ----------------------------------------------

  struct RegValue {
    std::string name;
    uint32_t type;
    std::string data;
  };
  struct RegNode {
    std::map<std::string, RegValue> values;  // by upper-case name
  };
  // A key's lookup name: the root's number, then the upper-case path.
  static std::string RegPath(RegKey root, std::string_view subKey);
  std::string RegPathOf(RegKey key, const char* subKey, bool* known) const;
  RegKey NewRegHandle(const std::string& path);
  // Profile files: a name without a folder lives in the Windows folder.
  std::string ProfilePath(const char* file) const;
  // The full path of `path` against the current folder, "." and ".." taken out.
  std::string FullPath(std::string_view path) const;
  std::string ShortName(const std::string& key) const;
  // The key of an existing child of `folderKey` whose short name is `part`.
  std::optional<std::string> ChildByShortName(const std::string& folderKey,
                                              const std::string& part) const;
  size_t ProcessIndex(ProcessHandle handle) const;

  std::map<std::string, RegNode> registry_;
  std::map<RegKey, std::string> regHandles_;
  RegKey nextRegHandle_ = 0x1000;
  std::map<FindHandle, std::string> finds_;
  std::map<ProcessHandle, size_t> processHandles_;
  ProcessHandle nextProcessHandle_ = 0x40000;

  // Version resources by file key: the block GetFileVersionInfoA hands out.
  std::map<std::string, std::string> versions_;
  std::map<LibraryHandle, std::string> libraries_;  // loaded, by handle: the full path
  LibraryHandle nextLibrary_ = 0x10000000;
};

}  // namespace setup
