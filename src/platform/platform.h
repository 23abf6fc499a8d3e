// The platform seam: the one interface through which the setup engine reaches
// the operating system.
//
// Each method is one Windows call, with the same arguments, results and error
// reporting (a failed call leaves its reason for GetLastError). The Win32
// backend passes every call straight through; the simulated backend plays a
// small Windows machine in memory so that the engine runs in unit tests; the
// host backend serves the native tools on any OS.
//
// Nothing outside src/platform/win32/ sees <windows.h>. The constants below carry
// the values Windows gives them, under names of our own so that they never
// collide with the macros of the Windows headers.
#pragma once

#include <cstdint>

namespace setup {

// A file handle as the engine sees it; kInvalidFile is INVALID_HANDLE_VALUE.
using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

// A FILETIME: 100-nanosecond ticks since 1601, in two halves.
struct FileTime {
  uint32_t low;
  uint32_t high;
};

// A window handle; 0 is "no window".
using WindowHandle = uintptr_t;

// CreateFileA access rights, sharing modes and dispositions.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 0x00000001u;
constexpr uint32_t kFileShareWrite = 0x00000002u;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;

// SetFilePointer origins and its failure value.
constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileCurrent = 1;
constexpr uint32_t kFileEnd = 2;
constexpr uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;

// File attributes.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// GetLastError values the engine tells apart.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorNegativeSeek = 131;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorDirectory = 267;

// MessageBoxA types and answers.
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbOkCancel = 0x01;
constexpr uint32_t kMbAbortRetryIgnore = 0x02;
constexpr uint32_t kMbYesNoCancel = 0x03;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbRetryCancel = 0x05;
constexpr uint32_t kMbCancelTryContinue = 0x06;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbDefButton2 = 0x100;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr int kIdTryAgain = 10;
constexpr int kIdContinue = 11;

// --- The rest of the machine: registry, profiles, folders, versions, processes
//
// Registry keys: the four predefined roots have the values Windows gives them.
using RegKey = uintptr_t;
constexpr RegKey kHkeyClassesRoot = 0x80000000u;
constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;
constexpr RegKey kHkeyUsers = 0x80000003u;
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorNoMoreItems = 259;

// GetDriveTypeA results.
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdRom = 5;

// MoveFileExA flags.
constexpr uint32_t kMoveFileReplaceExisting = 0x1;
constexpr uint32_t kMoveFileDelayUntilReboot = 0x4;

// GetVersionExA: dwPlatformId.
constexpr uint32_t kVerPlatformWin32Windows = 1;
constexpr uint32_t kVerPlatformWin32Nt = 2;

// Shell folders (CSIDL_ values).
constexpr int kCsidlDesktop = 0x00;
constexpr int kCsidlPrograms = 0x02;
constexpr int kCsidlStartup = 0x07;
constexpr int kCsidlStartMenu = 0x0B;
constexpr int kCsidlFonts = 0x14;

// VerFindFileA flag and result bits.
constexpr uint32_t kVfffIsSharedFile = 0x1;
constexpr uint32_t kVffCurNeDest = 0x1;
constexpr uint32_t kVffFileInUse = 0x2;
constexpr uint32_t kVffBufferTooSmall = 0x4;

// Processes and waits.
using ProcessHandle = intptr_t;  // closed with CloseHandle, like a file
constexpr uint32_t kStillActive = 259;
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr uint32_t kPmNoRemove = 0;
constexpr int kSwShowNormal = 1;
constexpr int kSwShow = 5;

// WIN32_FIND_DATAA, as far as the engine reads it.
struct FindData {
  uint32_t attributes;
  char fileName[260];
  char alternateFileName[14];
};
using FindHandle = intptr_t;  // kInvalidFile when nothing was found

// OSVERSIONINFOA, as far as the engine reads it.
struct VersionInfo {
  uint32_t majorVersion;
  uint32_t minorVersion;
  uint32_t buildNumber;
  uint32_t platformId;
};

// SYSTEMTIME.
struct SystemTime {
  uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

// PROCESS_INFORMATION.
struct ProcessInfo {
  ProcessHandle process;
  ProcessHandle thread;
  uint32_t processId;
  uint32_t threadId;
};

// --- Version resources, the shell, fonts and self-registering libraries ------

// VS_FIXEDFILEINFO, as far as the engine reads it (VerQueryValueA of "\\").
struct FixedFileInfo {
  uint32_t signature;  // 0xFEEF04BD
  uint32_t structVersion;
  uint32_t fileVersionMS;
  uint32_t fileVersionLS;
  uint32_t productVersionMS;
  uint32_t productVersionLS;
  uint32_t fileFlagsMask;
  uint32_t fileFlags;
  uint32_t fileOS;
  uint32_t fileType;
  uint32_t fileSubtype;
  uint32_t fileDateMS;
  uint32_t fileDateLS;
};
static_assert(sizeof(FixedFileInfo) == 52);

// A shell link as IShellLinkA takes it; null fields are not set.
struct ShellLinkInfo {
  const char* path;
  const char* workingFolder;
  const char* arguments;
  const char* description;
  const char* iconPath;
  int iconIndex;
};

using LibraryHandle = uintptr_t;  // 0: not loaded
using ProcAddress = uintptr_t;    // 0: not found

class Platform {
 public:
  virtual ~Platform() = default;

  // Files (KERNEL32).
  virtual FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                                 uint32_t disposition) = 0;
  // Returns nonzero on success; *done receives the bytes moved (0 at end of file).
  virtual int ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) = 0;
  virtual int WriteFile(FileHandle file, const void* buffer, uint32_t count,
                        uint32_t* done) = 0;
  // Returns the new position, or kInvalidSetFilePointer.
  virtual uint32_t SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) = 0;
  // Cuts or extends the file to its current position.
  virtual int SetEndOfFile(FileHandle file) = 0;
  virtual int CloseHandle(FileHandle file) = 0;
  virtual int DeleteFileA(const char* path) = 0;
  // Empty folders only.
  virtual int RemoveDirectoryA(const char* path) = 0;
  virtual int MoveFileA(const char* from, const char* to) = 0;
  virtual uint32_t GetFileAttributesA(const char* path) = 0;
  virtual int SetFileAttributesA(const char* path, uint32_t attributes) = 0;
  // Null times are left as they are.
  virtual int SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                          const FileTime* lastWrite) = 0;
  virtual uint32_t GetLastError() = 0;

  // The process heap (HeapAlloc, HeapFree, HeapCompact on GetProcessHeap()).
  virtual void* HeapAlloc(uint32_t size, bool zeroed) = 0;
  virtual void HeapFree(void* block) = 0;
  virtual void HeapCompact() = 0;

  // USER32.
  virtual int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                          uint32_t type) = 0;

  // --- The rest of the machine ----------------------------------------------

  // ADVAPI32 registry; each returns a Windows error code (0 for success).
  virtual long RegOpenKeyA(RegKey root, const char* subKey, RegKey* out) = 0;
  virtual long RegOpenKeyExA(RegKey root, const char* subKey, uint32_t access, RegKey* out) = 0;
  virtual long RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) = 0;
  // `type` and `data` may be null; *size is in: the buffer, out: the value's size.
  virtual long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, void* data,
                                uint32_t* size) = 0;
  virtual long RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data,
                              uint32_t size) = 0;
  virtual long RegCloseKey(RegKey key) = 0;
  virtual long RegDeleteValueA(RegKey key, const char* name) = 0;
  // A key without subkeys (as NT requires).
  virtual long RegDeleteKeyA(RegKey root, const char* subKey) = 0;
  // The value at `index` (0 up, kErrorNoMoreItems past the last): its name
  // (*nameSize in: the buffer, out: the length without the NUL) and, when
  // `data` is not null, its type and data as RegQueryValueExA gives them.
  virtual long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameSize,
                             uint32_t* type, void* data, uint32_t* dataSize) = 0;

  // KERNEL32 profile (INI) functions.
  virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                            const char* defaultValue, char* out, uint32_t size,
                                            const char* file) = 0;
  // All three null: flush the profile cache of `file`.
  virtual int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                         const char* file) = 0;

  // Folders and drives.
  virtual uint32_t GetWindowsDirectoryA(char* out, uint32_t size) = 0;
  virtual uint32_t GetSystemDirectoryA(char* out, uint32_t size) = 0;
  virtual uint32_t GetTempPathA(uint32_t size, char* out) = 0;
  virtual uint32_t GetDriveTypeA(const char* root) = 0;
  virtual int GetDiskFreeSpaceA(const char* root, uint32_t* sectorsPerCluster,
                                uint32_t* bytesPerSector, uint32_t* freeClusters,
                                uint32_t* totalClusters) = 0;
  // *filePart (may be null) receives the name part's position in `out`.
  virtual uint32_t GetFullPathNameA(const char* path, uint32_t size, char* out,
                                    char** filePart) = 0;
  virtual int CreateDirectoryA(const char* path) = 0;
  virtual FindHandle FindFirstFileA(const char* path, FindData* out) = 0;
  virtual int FindClose(FindHandle find) = 0;
  virtual uint32_t GetShortPathNameA(const char* longPath, char* out, uint32_t size) = 0;
  virtual int MoveFileExA(const char* from, const char* to, uint32_t flags) = 0;

  // System facts.
  virtual int GetVersionExA(VersionInfo* out) = 0;
  virtual void GetSystemTime(SystemTime* out) = 0;
  // SHGetSpecialFolderLocation and SHGetPathFromIDListA: `out` holds 260 bytes.
  virtual int GetSpecialFolderPath(int csidl, char* out) = 0;
  // VERSION: where a shared file's current copy is and where it should go.
  virtual uint32_t VerFindFileA(uint32_t flags, const char* fileName, const char* windowsFolder,
                                const char* appFolder, char* currentFolder,
                                uint32_t* currentSize, char* destFolder, uint32_t* destSize) = 0;

  // Processes: CreateProcessA with the command line only, handles inherited,
  // normal priority, the parent's environment and current folder.
  virtual int CreateProcessA(char* commandLine, ProcessInfo* out) = 0;
  virtual int GetExitCodeProcess(ProcessHandle process, uint32_t* code) = 0;
  virtual uint32_t WaitForSingleObject(ProcessHandle object, uint32_t milliseconds) = 0;
  virtual uint32_t WinExec(const char* commandLine, int show) = 0;
  // USER32: whether a message waits (the message itself is not kept).
  virtual int PeekMessageA(WindowHandle window, uint32_t filterMin, uint32_t filterMax,
                           uint32_t remove) = 0;

  // --- Version resources, the shell, fonts and self-registering libraries --

  // VERSION: the size of a file's version block (0: none), the block, and a
  // value in it ("\\" for the fixed part, "\\VarFileInfo\\Translation").
  virtual uint32_t GetFileVersionInfoSizeA(const char* path) = 0;
  virtual int GetFileVersionInfoA(const char* path, uint32_t size, void* data) = 0;
  virtual int VerQueryValueA(const void* block, const char* subBlock, const void** value,
                             uint32_t* length) = 0;
  // SHELL32: ShellExecuteA with the "open" verb and no parameters; returns a
  // value above 32 on success.
  virtual uintptr_t ShellExecuteA(WindowHandle owner, const char* file, const char* folder,
                                  int show) = 0;
  // OLE32: a shell link object (CoCreateInstance of CLSID_ShellLink) given
  // the fields and saved to `linkFile` (IPersistFile::Save); an HRESULT.
  virtual int32_t CreateShellLink(const ShellLinkInfo& link, const char* linkFile) = 0;
  // GDI32 and USER32: AddFontResourceA, then WM_FONTCHANGE to every top window.
  virtual int AddFontResourceA(const char* path) = 0;
  virtual void BroadcastFontChange() = 0;
  virtual int RemoveFontResourceA(const char* path) = 0;
  // KERNEL32: LoadLibraryA, GetProcAddress, FreeLibrary; and a call of an
  // exported function without arguments that returns an HRESULT
  // (DllRegisterServer, DllUnregisterServer).
  virtual LibraryHandle LoadLibraryA(const char* path) = 0;
  virtual ProcAddress GetProcAddress(LibraryHandle library, const char* name) = 0;
  virtual int32_t CallRegistrationFunction(ProcAddress function) = 0;
  virtual int FreeLibrary(LibraryHandle library) = 0;
};

}  // namespace setup
