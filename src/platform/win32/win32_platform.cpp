#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <shlobj.h>

namespace setup {

static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ && kFileShareWrite == FILE_SHARE_WRITE);
static_assert(kCreateAlways == CREATE_ALWAYS && kOpenExisting == OPEN_EXISTING);
static_assert(kFileBegin == FILE_BEGIN && kFileCurrent == FILE_CURRENT && kFileEnd == FILE_END);
static_assert(kAttrReadOnly == FILE_ATTRIBUTE_READONLY && kAttrNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kMbYesNo == MB_YESNO && kMbIconQuestion == MB_ICONQUESTION && kIdYes == IDYES);

namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

FileHandle Win32Platform::CreateFileA(const char* path, uint32_t access, uint32_t share,
                                      uint32_t disposition) {
  HANDLE h = ::CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  return reinterpret_cast<FileHandle>(h);
}

int Win32Platform::ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  DWORD n = 0;
  BOOL ok = ::ReadFile(ToHandle(file), buffer, count, &n, nullptr);
  *done = n;
  return ok;
}

int Win32Platform::WriteFile(FileHandle file, const void* buffer, uint32_t count,
                             uint32_t* done) {
  DWORD n = 0;
  BOOL ok = ::WriteFile(ToHandle(file), buffer, count, &n, nullptr);
  *done = n;
  return ok;
}

uint32_t Win32Platform::SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) {
  return ::SetFilePointer(ToHandle(file), distance, nullptr, origin);
}

int Win32Platform::SetEndOfFile(FileHandle file) { return ::SetEndOfFile(ToHandle(file)); }

int Win32Platform::CloseHandle(FileHandle file) { return ::CloseHandle(ToHandle(file)); }

int Win32Platform::DeleteFileA(const char* path) { return ::DeleteFileA(path); }
int Win32Platform::RemoveDirectoryA(const char* path) { return ::RemoveDirectoryA(path); }

int Win32Platform::MoveFileA(const char* from, const char* to) { return ::MoveFileA(from, to); }

uint32_t Win32Platform::GetFileAttributesA(const char* path) {
  return ::GetFileAttributesA(path);
}

int Win32Platform::SetFileAttributesA(const char* path, uint32_t attributes) {
  return ::SetFileAttributesA(path, attributes);
}

int Win32Platform::SetFileTime(FileHandle file, const FileTime* creation,
                               const FileTime* lastAccess, const FileTime* lastWrite) {
  static_assert(sizeof(FileTime) == sizeof(FILETIME));
  return ::SetFileTime(ToHandle(file), reinterpret_cast<const FILETIME*>(creation),
                       reinterpret_cast<const FILETIME*>(lastAccess),
                       reinterpret_cast<const FILETIME*>(lastWrite));
}

uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }

void* Win32Platform::HeapAlloc(uint32_t size, bool zeroed) {
  return ::HeapAlloc(::GetProcessHeap(), zeroed ? HEAP_ZERO_MEMORY : 0, size);
}

void Win32Platform::HeapFree(void* block) { ::HeapFree(::GetProcessHeap(), 0, block); }

void Win32Platform::HeapCompact() { ::HeapCompact(::GetProcessHeap(), 0); }

int Win32Platform::MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                               uint32_t type) {
  return ::MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, type);
}

// --- The rest of the machine -------------------------------------------------

// The roots are the 32-bit values of HKEY_CLASSES_ROOT and the rest.
static_assert(sizeof(HKEY) == sizeof(RegKey));
static_assert(kMoveFileDelayUntilReboot == MOVEFILE_DELAY_UNTIL_REBOOT &&
              kMoveFileReplaceExisting == MOVEFILE_REPLACE_EXISTING);
static_assert(kStillActive == STILL_ACTIVE && kWaitTimeout == WAIT_TIMEOUT);
static_assert(kCsidlFonts == CSIDL_FONTS && kCsidlStartMenu == CSIDL_STARTMENU &&
              kCsidlPrograms == CSIDL_PROGRAMS && kCsidlStartup == CSIDL_STARTUP);
static_assert(kVffFileInUse == VFF_FILEINUSE && kVfffIsSharedFile == VFFF_ISSHAREDFILE);
static_assert(kDriveRemovable == DRIVE_REMOVABLE && kKeyRead == KEY_READ);
static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME));

namespace {

HKEY ToKey(RegKey key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

long Win32Platform::RegOpenKeyA(RegKey root, const char* subKey, RegKey* out) {
  HKEY key = nullptr;
  long result = ::RegOpenKeyA(ToKey(root), subKey, &key);
  *out = reinterpret_cast<RegKey>(key);
  return result;
}

long Win32Platform::RegOpenKeyExA(RegKey root, const char* subKey, uint32_t access,
                                  RegKey* out) {
  HKEY key = nullptr;
  long result = ::RegOpenKeyExA(ToKey(root), subKey, 0, access, &key);
  *out = reinterpret_cast<RegKey>(key);
  return result;
}

long Win32Platform::RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) {
  HKEY key = nullptr;
  long result = ::RegCreateKeyA(ToKey(root), subKey, &key);
  *out = reinterpret_cast<RegKey>(key);
  return result;
}

long Win32Platform::RegQueryValueExA(RegKey key, const char* name, uint32_t* type, void* data,
                                     uint32_t* size) {
  DWORD t = 0;
  DWORD n = size != nullptr ? *size : 0;
  long result = ::RegQueryValueExA(ToKey(key), name, nullptr, &t, static_cast<BYTE*>(data),
                                   size != nullptr ? &n : nullptr);
  if (type != nullptr) *type = t;
  if (size != nullptr) *size = n;
  return result;
}

long Win32Platform::RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data,
                                   uint32_t size) {
  return ::RegSetValueExA(ToKey(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

long Win32Platform::RegCloseKey(RegKey key) { return ::RegCloseKey(ToKey(key)); }

long Win32Platform::RegDeleteValueA(RegKey key, const char* name) {
  return ::RegDeleteValueA(ToKey(key), name);
}

long Win32Platform::RegDeleteKeyA(RegKey root, const char* subKey) {
  return ::RegDeleteKeyA(ToKey(root), subKey);
}

long Win32Platform::RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameSize,
                                  uint32_t* type, void* data, uint32_t* dataSize) {
  DWORD nameLength = *nameSize;
  DWORD valueType = 0;
  DWORD size = dataSize != nullptr ? *dataSize : 0;
  long result = ::RegEnumValueA(ToKey(key), index, name, &nameLength, nullptr, &valueType,
                                static_cast<BYTE*>(data), dataSize != nullptr ? &size : nullptr);
  *nameSize = nameLength;
  if (type != nullptr) *type = valueType;
  if (dataSize != nullptr) *dataSize = size;
  return result;
}

uint32_t Win32Platform::GetPrivateProfileStringA(const char* section, const char* key,
                                                 const char* defaultValue, char* out,
                                                 uint32_t size, const char* file) {
  return ::GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
}

int Win32Platform::WritePrivateProfileStringA(const char* section, const char* key,
                                              const char* value, const char* file) {
  return ::WritePrivateProfileStringA(section, key, value, file);
}

uint32_t Win32Platform::GetWindowsDirectoryA(char* out, uint32_t size) {
  return ::GetWindowsDirectoryA(out, size);
}

uint32_t Win32Platform::GetSystemDirectoryA(char* out, uint32_t size) {
  return ::GetSystemDirectoryA(out, size);
}

uint32_t Win32Platform::GetTempPathA(uint32_t size, char* out) { return ::GetTempPathA(size, out); }

uint32_t Win32Platform::GetDriveTypeA(const char* root) { return ::GetDriveTypeA(root); }

int Win32Platform::GetDiskFreeSpaceA(const char* root, uint32_t* sectorsPerCluster,
                                     uint32_t* bytesPerSector, uint32_t* freeClusters,
                                     uint32_t* totalClusters) {
  DWORD a = 0, b = 0, c = 0, d = 0;
  BOOL ok = ::GetDiskFreeSpaceA(root, &a, &b, &c, &d);
  *sectorsPerCluster = a;
  *bytesPerSector = b;
  *freeClusters = c;
  *totalClusters = d;
  return ok;
}

uint32_t Win32Platform::GetFullPathNameA(const char* path, uint32_t size, char* out,
                                         char** filePart) {
  return ::GetFullPathNameA(path, size, out, filePart);
}

int Win32Platform::CreateDirectoryA(const char* path) { return ::CreateDirectoryA(path, nullptr); }

FindHandle Win32Platform::FindFirstFileA(const char* path, FindData* out) {
  WIN32_FIND_DATAA data;
  HANDLE h = ::FindFirstFileA(path, &data);
  if (h != INVALID_HANDLE_VALUE) {
    static_assert(sizeof(out->fileName) == sizeof(data.cFileName));
    static_assert(sizeof(out->alternateFileName) == sizeof(data.cAlternateFileName));
    out->attributes = data.dwFileAttributes;
    lstrcpynA(out->fileName, data.cFileName, sizeof(out->fileName));
    lstrcpynA(out->alternateFileName, data.cAlternateFileName, sizeof(out->alternateFileName));
  }
  return reinterpret_cast<FindHandle>(h);
}

int Win32Platform::FindClose(FindHandle find) { return ::FindClose(ToHandle(find)); }

uint32_t Win32Platform::GetShortPathNameA(const char* longPath, char* out, uint32_t size) {
  return ::GetShortPathNameA(longPath, out, size);
}

int Win32Platform::MoveFileExA(const char* from, const char* to, uint32_t flags) {
  return ::MoveFileExA(from, to, flags);
}

int Win32Platform::GetVersionExA(VersionInfo* out) {
  OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = sizeof info;  // 148
  if (!::GetVersionExA(&info)) return 0;
  out->majorVersion = info.dwMajorVersion;
  out->minorVersion = info.dwMinorVersion;
  out->buildNumber = info.dwBuildNumber;
  out->platformId = info.dwPlatformId;
  return 1;
}

void Win32Platform::GetSystemTime(SystemTime* out) {
  ::GetSystemTime(reinterpret_cast<SYSTEMTIME*>(out));
}

int Win32Platform::GetSpecialFolderPath(int csidl, char* out) {
  out[0] = '\0';
  LPITEMIDLIST list = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr) return 0;
  BOOL ok = ::SHGetPathFromIDListA(list, out);
  ::CoTaskMemFree(list);
  return ok;
}

uint32_t Win32Platform::VerFindFileA(uint32_t flags, const char* fileName,
                                     const char* windowsFolder, const char* appFolder,
                                     char* currentFolder, uint32_t* currentSize, char* destFolder,
                                     uint32_t* destSize) {
  UINT current = *currentSize;
  UINT dest = *destSize;
  DWORD result = ::VerFindFileA(flags, const_cast<char*>(fileName),
                                const_cast<char*>(windowsFolder), const_cast<char*>(appFolder),
                                currentFolder, &current, destFolder, &dest);
  *currentSize = current;
  *destSize = dest;
  return result;
}

int Win32Platform::CreateProcessA(char* commandLine, ProcessInfo* out) {
  STARTUPINFOA start = {};
  start.cb = sizeof start;  // 68
  PROCESS_INFORMATION info = {};
  BOOL ok = ::CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                             nullptr, nullptr, &start, &info);
  out->process = reinterpret_cast<ProcessHandle>(info.hProcess);
  out->thread = reinterpret_cast<ProcessHandle>(info.hThread);
  out->processId = info.dwProcessId;
  out->threadId = info.dwThreadId;
  return ok;
}

int Win32Platform::GetExitCodeProcess(ProcessHandle process, uint32_t* code) {
  DWORD c = 0;
  BOOL ok = ::GetExitCodeProcess(ToHandle(process), &c);
  *code = c;
  return ok;
}

uint32_t Win32Platform::WaitForSingleObject(ProcessHandle object, uint32_t milliseconds) {
  return ::WaitForSingleObject(ToHandle(object), milliseconds);
}

uint32_t Win32Platform::WinExec(const char* commandLine, int show) {
  return ::WinExec(commandLine, show);
}

int Win32Platform::PeekMessageA(WindowHandle window, uint32_t filterMin, uint32_t filterMax,
                                uint32_t remove) {
  MSG message;
  return ::PeekMessageA(&message, reinterpret_cast<HWND>(window), filterMin, filterMax, remove);
}

// --- Version resources, the shell, fonts and self-registering libraries -------

uint32_t Win32Platform::GetFileVersionInfoSizeA(const char* path) {
  DWORD handle = 0;
  return ::GetFileVersionInfoSizeA(path, &handle);
}

int Win32Platform::GetFileVersionInfoA(const char* path, uint32_t size, void* data) {
  return ::GetFileVersionInfoA(path, 0, size, data);
}

int Win32Platform::VerQueryValueA(const void* block, const char* subBlock, const void** value,
                                  uint32_t* length) {
  void* found = nullptr;
  UINT n = 0;
  BOOL ok = ::VerQueryValueA(block, subBlock, &found, &n);
  *value = found;
  *length = n;
  return ok;
}

uintptr_t Win32Platform::ShellExecuteA(WindowHandle owner, const char* file, const char* folder,
                                       int show) {
  return reinterpret_cast<uintptr_t>(
      ::ShellExecuteA(reinterpret_cast<HWND>(owner), "open", file, nullptr, folder, show));
}

int32_t Win32Platform::CreateShellLink(const ShellLinkInfo& link, const char* linkFile) {
  IShellLinkA* shellLink = nullptr;
  HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&shellLink));
  if (FAILED(result)) return result;
  if (link.path != nullptr) shellLink->SetPath(link.path);
  if (link.workingFolder != nullptr) shellLink->SetWorkingDirectory(link.workingFolder);
  if (link.arguments != nullptr) shellLink->SetArguments(link.arguments);
  if (link.description != nullptr) shellLink->SetDescription(link.description);
  if (link.iconPath != nullptr) shellLink->SetIconLocation(link.iconPath, link.iconIndex);
  IPersistFile* file = nullptr;
  result = shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(result)) {
    WCHAR wide[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, 0, linkFile, -1, wide, MAX_PATH) == 0) {
      result = E_INVALIDARG;
    } else {
      result = file->Save(wide, TRUE);
    }
    file->Release();
  }
  shellLink->Release();
  return result;
}

int Win32Platform::AddFontResourceA(const char* path) { return ::AddFontResourceA(path); }

void Win32Platform::BroadcastFontChange() { ::SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0); }

int Win32Platform::RemoveFontResourceA(const char* path) { return ::RemoveFontResourceA(path); }

LibraryHandle Win32Platform::LoadLibraryA(const char* path) {
  return reinterpret_cast<LibraryHandle>(::LoadLibraryA(path));
}

ProcAddress Win32Platform::GetProcAddress(LibraryHandle library, const char* name) {
  return reinterpret_cast<ProcAddress>(::GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

int32_t Win32Platform::CallRegistrationFunction(ProcAddress function) {
  using Registration = HRESULT(STDAPICALLTYPE*)();
  return reinterpret_cast<Registration>(function)();
}

int Win32Platform::FreeLibrary(LibraryHandle library) {
  return ::FreeLibrary(reinterpret_cast<HMODULE>(library));
}

}  // namespace setup
