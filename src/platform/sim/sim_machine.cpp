// The simulated machine beyond files and the heap: registry, profile (INI)
// files, system folders, drives, short names, delayed moves, versions of
// Windows, shell folders, shared-file lookup and processes.
//
// Profile files are text in the simulated file system and are edited in
// place, as Windows does: a changed value rewrites its own line, a new key
// goes after the last line of its section, a new section goes at the end, and
// every other byte of the file stays as it was.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim/sim_platform.h"

namespace setup {

namespace {

std::string UpperText(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool SameText(std::string_view a, std::string_view b) { return UpperText(a) == UpperText(b); }

std::string Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) {
    --e;
  }
  return std::string(s.substr(b, e - b));
}

// Copies a text as the string functions of Windows do: the result is cut to
// size - 1 characters and terminated; returns the characters copied.
uint32_t CopyOut(const std::string& text, char* out, uint32_t size) {
  if (size == 0) return 0;
  uint32_t n = static_cast<uint32_t>(std::min<size_t>(text.size(), size - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

// A folder query: the whole text and its NUL, or the size needed.
uint32_t FolderOut(const std::string& text, char* out, uint32_t size) {
  if (text.size() + 1 > size) return static_cast<uint32_t>(text.size() + 1);
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<uint32_t>(text.size());
}

// One line of a profile file, with its terminator.
struct IniLine {
  size_t begin;
  size_t end;  // past the terminator
  std::string text;  // without the terminator
};

std::vector<IniLine> IniLines(const std::string& data) {
  std::vector<IniLine> lines;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    size_t end = nl == std::string::npos ? data.size() : nl + 1;
    std::string text = data.substr(pos, end - pos);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    lines.push_back(IniLine{pos, end, text});
    pos = end;
  }
  return lines;
}

// The section a line opens, if it is a header.
std::optional<std::string> IniSection(const std::string& line) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return std::nullopt;
  size_t close = t.find(']');
  return Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// The key a line sets, if it sets one.
std::optional<std::string> IniKey(const std::string& line, std::string* value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos || IniSection(line)) return std::nullopt;
  std::string key = Trim(line.substr(0, eq));
  if (key.empty() || key[0] == ';') return std::nullopt;
  if (value != nullptr) {
    std::string v = Trim(line.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    *value = v;
  }
  return key;
}

bool IsShortNameChar(char c) {
  return c > ' ' && std::strchr("\"*+,/:;<=>?[\\]|.", c) == nullptr;
}

// A name that is already a valid 8.3 name needs no short name of its own.
bool IsShortName(const std::string& name) {
  size_t dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (char c : base + ext) {
    if (!IsShortNameChar(c)) return false;
  }
  return true;
}

// The first six letters and the extension of a generated short name.
std::pair<std::string, std::string> ShortStem(const std::string& name) {
  size_t dot = name.rfind('.');
  std::string base;
  std::string ext;
  for (size_t i = 0; i < (dot == std::string::npos ? name.size() : dot); ++i) {
    if (IsShortNameChar(name[i]) && base.size() < 6) base += name[i];
  }
  if (dot != std::string::npos) {
    for (size_t i = dot + 1; i < name.size() && ext.size() < 3; ++i) {
      if (IsShortNameChar(name[i])) ext += name[i];
    }
  }
  return {UpperText(base), UpperText(ext)};
}

}  // namespace

// --- Paths ---------------------------------------------------------------------

std::string SimPlatform::FullPath(std::string_view path) const {
  std::string text(path);
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  std::string combined;
  if (text.size() >= 2 && text[1] == ':') {
    combined = text;
  } else if (!text.empty() && text[0] == '\\') {
    combined = currentFolder.substr(0, 2) + text;
  } else {
    combined = currentFolder;
    if (!combined.empty() && combined.back() != '\\') combined += '\\';
    combined += text;
  }
  if (combined.size() < 2 || combined[1] != ':') return combined;
  bool trailing = combined.size() > 3 && combined.back() == '\\';
  std::vector<std::string> parts;
  size_t pos = 2;
  while (pos < combined.size()) {
    size_t next = combined.find('\\', pos);
    if (next == std::string::npos) next = combined.size();
    std::string part = combined.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string out = combined.substr(0, 2);
  for (const std::string& part : parts) out += "\\" + part;
  if (parts.empty() || trailing) out += '\\';
  return out;
}

std::string SimPlatform::ShortName(const std::string& key) const {
  const Node* node = Find(key);
  if (node == nullptr) return std::string();
  if (IsShortName(node->name)) return node->name;
  auto stem = ShortStem(node->name);
  // Siblings with long names of the same first six letters are numbered in
  // name order, whatever their extensions.
  std::string prefix = ParentKey(key) + "\\";
  int number = 1;
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first == key) break;
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
    if (!IsShortName(it->second.name) && ShortStem(it->second.name).first == stem.first) ++number;
  }
  std::string shortName = stem.first + "~" + std::to_string(number);
  if (!stem.second.empty()) shortName += "." + stem.second;
  return shortName;
}

std::optional<std::string> SimPlatform::ChildByShortName(const std::string& folderKey,
                                                         const std::string& part) const {
  if (part.find('~') == std::string::npos) return std::nullopt;
  std::string prefix = folderKey + "\\";
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
    if (UpperText(ShortName(it->first)) == part) return it->first;
  }
  return std::nullopt;
}

std::string SimPlatform::ShortPath(std::string_view path) const {
  std::optional<std::string> key = KeyOf(path);
  if (!key || Find(*key) == nullptr) return std::string();
  std::string out = key->substr(0, 2);
  size_t pos = 3;
  while (pos <= key->size()) {
    size_t next = key->find('\\', pos);
    if (next == std::string::npos) next = key->size();
    out += '\\';
    out += ShortName(key->substr(0, next));
    pos = next + 1;
  }
  if (out.size() == 2) out += '\\';
  return out;
}

uint32_t SimPlatform::GetFullPathNameA(const char* path, uint32_t size, char* out,
                                       char** filePart) {
  std::string full = FullPath(path);
  uint32_t n = FolderOut(full, out, size);
  if (n == full.size() && filePart != nullptr) {
    size_t slash = full.rfind('\\');
    *filePart = slash + 1 < full.size() ? out + slash + 1 : nullptr;
  }
  return n;
}

uint32_t SimPlatform::GetShortPathNameA(const char* longPath, char* out, uint32_t size) {
  std::string shortPath = ShortPath(longPath);
  if (shortPath.empty()) {
    Fail(MissingError(KeyOf(longPath)));
    return 0;
  }
  return FolderOut(shortPath, out, size);
}

int SimPlatform::CreateDirectoryA(const char* path) {
  std::optional<std::string> key = KeyOf(path);
  if (!key) return Fail(kErrorPathNotFound);
  if (Find(*key) != nullptr) return Fail(kErrorAlreadyExists);
  Node* parent = Find(ParentKey(*key));
  if (parent == nullptr || !parent->folder) return Fail(kErrorPathNotFound);
  Node node;
  node.name = LastPart(path);
  node.folder = true;
  node.attributes = kAttrDirectory;
  nodes_[*key] = node;
  return 1;
}

// Exact names only: the engine asks for the stored form of one name.
FindHandle SimPlatform::FindFirstFileA(const char* path, FindData* out) {
  std::optional<std::string> key = KeyOf(path);
  const Node* node = key ? Find(*key) : nullptr;
  if (node == nullptr || ParentKey(*key).empty() || std::strpbrk(path, "*?") != nullptr) {
    Fail(node == nullptr ? MissingError(key) : kErrorFileNotFound);
    return kInvalidFile;
  }
  std::memset(out, 0, sizeof *out);
  out->attributes = node->attributes;
  CopyOut(node->name, out->fileName, sizeof out->fileName);
  std::string shortName = ShortName(*key);
  if (shortName != node->name) CopyOut(shortName, out->alternateFileName, sizeof out->alternateFileName);
  FindHandle handle = nextHandle_;
  nextHandle_ += 4;
  finds_[handle] = *key;
  return handle;
}

int SimPlatform::FindClose(FindHandle find) {
  return finds_.erase(find) != 0 ? 1 : Fail(kErrorInvalidHandle);
}

// Windows 95 and 98 have no MoveFileExA; NT keeps a delayed move until the
// restart, and only an administrator may ask for one.
int SimPlatform::MoveFileExA(const char* from, const char* to, uint32_t flags) {
  if (!windowsNt) return Fail(kErrorCallNotImplemented);
  if (flags & kMoveFileDelayUntilReboot) {
    if (!administrator) return Fail(kErrorAccessDenied);
    if (!FileExists(from) && !FolderExists(from)) return Fail(MissingError(KeyOf(from)));
    delayedMoves.push_back(DelayedMove{FullPath(from), to != nullptr ? FullPath(to) : std::string(),
                                       (flags & kMoveFileReplaceExisting) != 0});
    return 1;
  }
  if (to != nullptr && (flags & kMoveFileReplaceExisting) && FileExists(to) &&
      KeyOf(to) != KeyOf(from)) {
    if (!DeleteFileA(to)) return 0;
  }
  return to != nullptr ? MoveFileA(from, to) : DeleteFileA(from);
}

// --- Folders, drives and system facts -------------------------------------------

uint32_t SimPlatform::GetWindowsDirectoryA(char* out, uint32_t size) {
  return FolderOut(windowsFolder, out, size);
}

uint32_t SimPlatform::GetSystemDirectoryA(char* out, uint32_t size) {
  return FolderOut(systemFolder, out, size);
}

uint32_t SimPlatform::GetTempPathA(uint32_t size, char* out) {
  return FolderOut(tempFolder, out, size);
}

uint32_t SimPlatform::GetDriveTypeA(const char* root) {
  std::string full = FullPath(root != nullptr ? root : "");
  if (full.size() < 2 || full[1] != ':') return kDriveNoRootDir;
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(full[0]))));
  if (it == drives_.end()) return kDriveNoRootDir;
  switch (it->second.kind) {
    case DriveKind::Removable: return kDriveRemovable;
    case DriveKind::Remote: return kDriveRemote;
    case DriveKind::CdRom: return kDriveCdRom;
    default: return kDriveFixed;
  }
}

// Windows 95 and 98 report at most 2 GB (65535 clusters of 32 KB) of free and
// total space, whatever the drive holds; NT reports it all (within 32 bits of
// clusters).
int SimPlatform::GetDiskFreeSpaceA(const char* root, uint32_t* sectorsPerCluster,
                                   uint32_t* bytesPerSector, uint32_t* freeClusters,
                                   uint32_t* totalClusters) {
  std::string full = FullPath(root != nullptr ? root : "");
  auto it = full.size() >= 2 && full[1] == ':'
                ? drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(full[0]))))
                : drives_.end();
  if (it == drives_.end()) return Fail(kErrorPathNotFound);
  const Drive& drive = it->second;
  uint64_t cluster = drive.clusterSize < 512 ? 512 : drive.clusterSize;
  uint64_t used = 0;
  std::string prefix = std::string(1, it->first) + ":\\";
  for (const auto& [key, node] : nodes_) {
    if (!node.folder && key.compare(0, prefix.size(), prefix) == 0) used += Allocated(drive, node.data.size());
  }
  uint64_t freeCount = drive.freeBytes / cluster;
  uint64_t totalCount = freeCount + used / cluster;
  uint64_t cap = windowsNt ? 0xFFFFFFFFull : 0x7FFF8000ull / cluster;
  *bytesPerSector = 512;
  *sectorsPerCluster = static_cast<uint32_t>(cluster / 512);
  *freeClusters = static_cast<uint32_t>(std::min(freeCount, cap));
  *totalClusters = static_cast<uint32_t>(std::min(totalCount, cap));
  return 1;
}

int SimPlatform::GetVersionExA(VersionInfo* out) {
  *out = windowsNt ? VersionInfo{4, 0, 1381, kVerPlatformWin32Nt}
                   : VersionInfo{4, 10, 1998, kVerPlatformWin32Windows};
  return 1;
}

int SimPlatform::GetSpecialFolderPath(int csidl, char* out) {
  out[0] = '\0';
  auto it = specialFolders.find(csidl);
  if (it == specialFolders.end()) return 0;
  CopyOut(it->second, out, 260);
  return 1;
}

// The shared-file lookup: the current copy is the first one found in the
// system folder, the Windows folder or the application's folder; a shared
// file belongs in the system folder. A copy held by another process is in use.
uint32_t SimPlatform::VerFindFileA(uint32_t flags, const char* fileName,
                                   const char* /*windowsFolder*/, const char* appFolder,
                                   char* currentFolder, uint32_t* currentSize, char* destFolder,
                                   uint32_t* destSize) {
  std::string current;
  bool inUse = false;
  for (const std::string& folder : {systemFolder, windowsFolder, std::string(appFolder)}) {
    if (folder.empty()) continue;
    std::string path = folder + (folder.back() == '\\' ? "" : "\\") + fileName;
    if (FileExists(path)) {
      current = folder;
      std::optional<std::string> key = KeyOf(path);
      inUse = Find(*key)->heldByOther || OpenByUs(*key);
      break;
    }
  }
  std::string dest = (flags & kVfffIsSharedFile) ? systemFolder : std::string(appFolder);
  uint32_t result = 0;
  if (!current.empty() && !SameText(current, dest)) result |= kVffCurNeDest;
  if (inUse) result |= kVffFileInUse;
  if (current.size() + 1 > *currentSize || dest.size() + 1 > *destSize) result |= kVffBufferTooSmall;
  *currentSize = CopyOut(current, currentFolder, *currentSize);
  *destSize = CopyOut(dest, destFolder, *destSize);
  return result;
}

// --- Registry --------------------------------------------------------------------

std::string SimPlatform::RegPath(RegKey root, std::string_view subKey) {
  std::string path = std::to_string(root);
  for (const std::string& part : [&] {
         std::vector<std::string> parts;
         std::string part;
         for (char c : subKey) {
           if (c == '\\') {
             if (!part.empty()) parts.push_back(part);
             part.clear();
           } else {
             part += c;
           }
         }
         if (!part.empty()) parts.push_back(part);
         return parts;
       }()) {
    path += '\\';
    path += UpperText(part);
  }
  return path;
}

std::string SimPlatform::RegPathOf(RegKey key, const char* subKey, bool* known) const {
  std::string base;
  *known = true;
  if (key >= kHkeyClassesRoot && key <= kHkeyUsers) {
    base = std::to_string(key);
  } else {
    auto it = regHandles_.find(key);
    if (it == regHandles_.end()) {
      *known = false;
      return std::string();
    }
    base = it->second;
  }
  std::string rest = RegPath(0, subKey != nullptr ? subKey : "");
  return base + rest.substr(1);
}

RegKey SimPlatform::NewRegHandle(const std::string& path) {
  RegKey handle = nextRegHandle_;
  nextRegHandle_ += 4;
  regHandles_[handle] = path;
  return handle;
}

void SimPlatform::SetRegistryValue(RegKey root, std::string_view key, std::string_view name,
                                   uint32_t type, std::string_view data) {
  std::string path = RegPath(root, key);
  // Every key on the way exists, as RegCreateKeyA makes them.
  for (size_t pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1)) {
    registry_[path.substr(0, pos)];
  }
  registry_[path].values[UpperText(name)] = RegValue{std::string(name), type, std::string(data)};
}

void SimPlatform::SetRegistryString(RegKey root, std::string_view key, std::string_view name,
                                    std::string_view value) {
  std::string data(value);
  data.push_back('\0');
  SetRegistryValue(root, key, name, kRegSz, data);
}

std::optional<std::pair<uint32_t, std::string>> SimPlatform::RegistryValue(
    RegKey root, std::string_view key, std::string_view name) const {
  auto node = registry_.find(RegPath(root, key));
  if (node == registry_.end()) return std::nullopt;
  auto value = node->second.values.find(UpperText(name));
  if (value == node->second.values.end()) return std::nullopt;
  return std::make_pair(value->second.type, value->second.data);
}

std::vector<std::string> SimPlatform::RegistryTree() const {
  std::vector<std::string> tree;
  for (const auto& [path, node] : registry_) {
    tree.push_back(path);
    for (const auto& [upper, value] : node.values) {
      tree.push_back(path + " : " + value.name + " = " + std::to_string(value.type) + ":" + value.data);
    }
  }
  return tree;
}

bool SimPlatform::RegistryKeyExists(RegKey root, std::string_view key) const {
  return registry_.count(RegPath(root, key)) != 0;
}

long SimPlatform::RegOpenKeyA(RegKey root, const char* subKey, RegKey* out) {
  return RegOpenKeyExA(root, subKey, kKeyAllAccess, out);
}

long SimPlatform::RegOpenKeyExA(RegKey root, const char* subKey, uint32_t, RegKey* out) {
  ++registryOpens;
  *out = 0;
  bool known = false;
  std::string path = RegPathOf(root, subKey, &known);
  if (!known) return kErrorInvalidHandle;
  if (path.find('\\') != std::string::npos && registry_.count(path) == 0) {
    return kErrorFileNotFound;
  }
  *out = NewRegHandle(path);
  return 0;
}

long SimPlatform::RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) {
  *out = 0;
  bool known = false;
  std::string path = RegPathOf(root, subKey, &known);
  if (!known) return kErrorInvalidHandle;
  for (size_t pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1)) {
    registry_[path.substr(0, pos)];
  }
  registry_[path];
  *out = NewRegHandle(path);
  return 0;
}

long SimPlatform::RegQueryValueExA(RegKey key, const char* name, uint32_t* type, void* data,
                                   uint32_t* size) {
  bool known = false;
  std::string path = RegPathOf(key, nullptr, &known);
  if (!known) return kErrorInvalidHandle;
  auto node = registry_.find(path);
  if (node == registry_.end()) return kErrorFileNotFound;
  auto value = node->second.values.find(UpperText(name != nullptr ? name : ""));
  if (value == node->second.values.end()) return kErrorFileNotFound;
  const std::string& bytes = value->second.data;
  if (type != nullptr) *type = value->second.type;
  if (data != nullptr && (size == nullptr || *size < bytes.size())) {
    if (size != nullptr) *size = static_cast<uint32_t>(bytes.size());
    return kErrorMoreData;
  }
  if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
  if (size != nullptr) *size = static_cast<uint32_t>(bytes.size());
  return 0;
}

long SimPlatform::RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data,
                                 uint32_t size) {
  bool known = false;
  std::string path = RegPathOf(key, nullptr, &known);
  if (!known) return kErrorInvalidHandle;
  std::string n = name != nullptr ? name : "";
  registry_[path].values[UpperText(n)] =
      RegValue{n, type, std::string(static_cast<const char*>(data), size)};
  return 0;
}

long SimPlatform::RegCloseKey(RegKey key) {
  return regHandles_.erase(key) != 0 ? 0 : static_cast<long>(kErrorInvalidHandle);
}

long SimPlatform::RegDeleteValueA(RegKey key, const char* name) {
  bool known = false;
  std::string path = RegPathOf(key, nullptr, &known);
  if (!known) return kErrorInvalidHandle;
  auto node = registry_.find(path);
  if (node == registry_.end()) return kErrorFileNotFound;
  return node->second.values.erase(UpperText(name != nullptr ? name : "")) != 0
             ? 0
             : static_cast<long>(kErrorFileNotFound);
}

long SimPlatform::RegDeleteKeyA(RegKey root, const char* subKey) {
  bool known = false;
  std::string path = RegPathOf(root, subKey, &known);
  if (!known) return kErrorInvalidHandle;
  if (registry_.count(path) == 0 || path.find('\\') == std::string::npos) return kErrorFileNotFound;
  auto below = registry_.lower_bound(path + "\\");
  if (below != registry_.end() && below->first.compare(0, path.size() + 1, path + "\\") == 0) {
    return kErrorAccessDenied;  // NT refuses a key that has subkeys
  }
  registry_.erase(path);
  return 0;
}

long SimPlatform::RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameSize,
                                uint32_t* type, void* data, uint32_t* dataSize) {
  bool known = false;
  std::string path = RegPathOf(key, nullptr, &known);
  if (!known) return kErrorInvalidHandle;
  auto node = registry_.find(path);
  if (node == registry_.end() || index >= node->second.values.size()) return kErrorNoMoreItems;
  const RegValue& value = std::next(node->second.values.begin(), index)->second;
  if (value.name.size() + 1 > *nameSize) return kErrorMoreData;
  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameSize = static_cast<uint32_t>(value.name.size());
  if (type != nullptr) *type = value.type;
  if (dataSize != nullptr) {
    if (data != nullptr && *dataSize < value.data.size()) {
      *dataSize = static_cast<uint32_t>(value.data.size());
      return kErrorMoreData;
    }
    if (data != nullptr) std::memcpy(data, value.data.data(), value.data.size());
    *dataSize = static_cast<uint32_t>(value.data.size());
  }
  return 0;
}

// --- Profile files ------------------------------------------------------------------

std::string SimPlatform::ProfilePath(const char* file) const {
  std::string name(file);
  if (name.find_first_of("\\/:") != std::string::npos) return name;
  return windowsFolder + "\\" + name;
}

uint32_t SimPlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                               const char* defaultValue, char* out,
                                               uint32_t size, const char* file) {
  std::optional<std::string> data = FileContents(ProfilePath(file));
  std::vector<IniLine> lines = IniLines(data.value_or(std::string()));
  // A list (of sections, or of a section's keys): each name and its NUL, and
  // one more NUL; cut to fit, a list returns size - 2.
  if (section == nullptr || key == nullptr) {
    std::string list;
    std::optional<std::string> current;
    for (const IniLine& line : lines) {
      if (std::optional<std::string> name = IniSection(line.text)) {
        current = name;
        if (section == nullptr) list += *name + '\0';
      } else if (section != nullptr && current && SameText(*current, section)) {
        if (std::optional<std::string> k = IniKey(line.text, nullptr)) list += *k + '\0';
      }
    }
    if (size < 2) {
      if (size == 1) out[0] = '\0';
      return 0;
    }
    if (list.size() + 1 > size) {
      std::memcpy(out, list.data(), size - 2);
      out[size - 2] = '\0';
      out[size - 1] = '\0';
      return size - 2;
    }
    std::memcpy(out, list.data(), list.size());
    out[list.size()] = '\0';
    if (list.empty() && size > 1) out[1] = '\0';
    return static_cast<uint32_t>(list.size());
  }
  std::optional<std::string> current;
  for (const IniLine& line : lines) {
    if (std::optional<std::string> name = IniSection(line.text)) {
      current = name;
      continue;
    }
    std::string value;
    std::optional<std::string> k = IniKey(line.text, &value);
    if (current && k && SameText(*current, section) && SameText(*k, key)) {
      return CopyOut(value, out, size);
    }
  }
  // The default loses its trailing blanks.
  std::string fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  return CopyOut(fallback, out, size);
}

int SimPlatform::WritePrivateProfileStringA(const char* section, const char* key,
                                            const char* value, const char* file) {
  if (section == nullptr && key == nullptr && value == nullptr) {
    // Nothing is cached here: every write is already in the file. Windows
    // answers the flush with 0 and no error, so its result means nothing.
    ++profileFlushes;
    lastError_ = 0;
    return 0;
  }
  if (section == nullptr) return Fail(kErrorInvalidParameter);
  std::string path = ProfilePath(file);
  std::optional<std::string> fileKey = KeyOf(path);
  const Node* node = fileKey ? Find(*fileKey) : nullptr;
  if (node != nullptr && (node->folder || (node->attributes & kAttrReadOnly) || node->heldByOther)) {
    return Fail(kErrorAccessDenied);
  }
  if (node == nullptr) {
    const Node* parent = fileKey ? Find(ParentKey(*fileKey)) : nullptr;
    if (parent == nullptr || !parent->folder) return Fail(kErrorPathNotFound);
  }
  std::string data = node != nullptr ? node->data : std::string();
  std::vector<IniLine> lines = IniLines(data);
  // Where the section is: its header line and the end of its last non-blank line.
  std::optional<size_t> header;
  size_t sectionEnd = 0;
  size_t sectionStop = data.size();  // where the next section begins
  std::optional<size_t> keyLine;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (std::optional<std::string> name = IniSection(lines[i].text)) {
      if (header) {
        sectionStop = lines[i].begin;
        break;
      }
      if (SameText(*name, section)) {
        header = i;
        sectionEnd = lines[i].end;
      }
      continue;
    }
    if (!header) continue;
    if (!Trim(lines[i].text).empty()) sectionEnd = lines[i].end;
    std::optional<std::string> k = IniKey(lines[i].text, nullptr);
    if (key != nullptr && k && !keyLine && SameText(*k, key)) keyLine = i;
  }
  std::string updated = data;
  if (key == nullptr) {
    if (header) updated.erase(lines[*header].begin, sectionStop - lines[*header].begin);
  } else if (keyLine) {
    const IniLine& line = lines[*keyLine];
    size_t terminator = line.begin + line.text.size();
    if (value == nullptr) {
      updated.erase(line.begin, line.end - line.begin);
    } else {
      updated.replace(line.begin, terminator - line.begin, std::string(key) + "=" + value);
    }
  } else if (value != nullptr) {
    std::string entry = std::string(key) + "=" + value + "\r\n";
    if (header) {
      // A last line without its line end gets one before the new key.
      if (sectionEnd > 0 && updated[sectionEnd - 1] != '\n') entry = "\r\n" + entry;
      updated.insert(sectionEnd, entry);
    } else {
      if (!updated.empty() && updated.back() != '\n') updated += "\r\n";
      updated += "[" + std::string(section) + "]\r\n" + entry;
    }
  }
  if (node == nullptr || updated != data) AddFile(path, updated);
  return 1;
}

// --- Processes -----------------------------------------------------------------------

size_t SimPlatform::ProcessIndex(ProcessHandle handle) const {
  auto it = processHandles_.find(handle);
  return it == processHandles_.end() ? processes.size() : it->second;
}

void SimPlatform::EndProcess(size_t index, uint32_t exitCode) {
  Process& p = processes.at(index);
  if (!p.running) return;
  p.running = false;
  p.exitCode = exitCode;
  p.endMs = clockMs;
}

int SimPlatform::CreateProcessA(char* commandLine, ProcessInfo* out) {
  std::memset(out, 0, sizeof *out);
  if (processCreationFails) return Fail(kErrorFileNotFound);
  ScriptedProcess script{kForever, 0};
  if (!processScript.empty()) {
    script = processScript.front();
    processScript.pop_front();
  }
  processes.push_back(
      Process{commandLine, false, true, kStillActive, clockMs, 0, script.lifetimeMs, 2});
  size_t index = processes.size() - 1;
  if (script.lifetimeMs == 0) EndProcess(index, script.exitCode);
  // The exit code a scripted process ends with waits in its lifetime slot.
  if (script.lifetimeMs != kForever && script.lifetimeMs != 0) processes[index].exitCode = script.exitCode;
  out->process = nextProcessHandle_;
  out->thread = nextProcessHandle_ + 4;
  out->processId = static_cast<uint32_t>(index + 1);
  out->threadId = static_cast<uint32_t>(index + 1001);
  processHandles_[out->process] = index;
  processHandles_[out->thread] = index;
  nextProcessHandle_ += 8;
  return 1;
}

int SimPlatform::GetExitCodeProcess(ProcessHandle process, uint32_t* code) {
  size_t index = ProcessIndex(process);
  if (index == processes.size()) return Fail(kErrorInvalidHandle);
  *code = processes[index].running ? kStillActive : processes[index].exitCode;
  return 1;
}

uint32_t SimPlatform::WaitForSingleObject(ProcessHandle object, uint32_t milliseconds) {
  ++waits;
  size_t index = ProcessIndex(object);
  if (index == processes.size()) {
    Fail(kErrorInvalidHandle);
    return kWaitFailed;
  }
  Process& p = processes[index];
  if (!p.running) return kWaitObject0;
  if (p.lifetimeMs != kForever && p.startMs + p.lifetimeMs <= clockMs + milliseconds) {
    clockMs = p.startMs + p.lifetimeMs;
    uint32_t code = p.exitCode;
    p.exitCode = kStillActive;
    EndProcess(index, code);
    return kWaitObject0;
  }
  clockMs += milliseconds;
  return kWaitTimeout;
}

uint32_t SimPlatform::WinExec(const char* commandLine, int) {
  if (processCreationFails) return 2;  // ERROR_FILE_NOT_FOUND, below 32
  processes.push_back(Process{commandLine, true, true, kStillActive, clockMs, 0, kForever, 0});
  return 33;
}

// --- Version resources, the shell, fonts and libraries ----------------------------
//
// A simulated version block is "SIMV", the fixed part and one translation
// (language, code page); only VerQueryValueA reads inside it.

namespace {

constexpr char kVersionMagic[4] = {'S', 'I', 'M', 'V'};
constexpr uint32_t kVersionBlockSize = 4 + sizeof(FixedFileInfo) + 4;

}  // namespace

void SimPlatform::SetFileVersion(std::string_view path, uint32_t versionMS, uint32_t versionLS,
                                 uint16_t language, uint16_t codePage) {
  std::optional<std::string> key = KeyOf(path);
  if (!key) return;
  FixedFileInfo info{};
  info.signature = 0xFEEF04BDu;
  info.structVersion = 0x10000;
  info.fileVersionMS = info.productVersionMS = versionMS;
  info.fileVersionLS = info.productVersionLS = versionLS;
  std::string block(kVersionMagic, 4);
  block.append(reinterpret_cast<const char*>(&info), sizeof info);
  uint16_t translation[2] = {language, codePage};
  block.append(reinterpret_cast<const char*>(translation), 4);
  versions_[*key] = block;
}

uint32_t SimPlatform::GetFileVersionInfoSizeA(const char* path) {
  std::optional<std::string> key = KeyOf(path);
  if (!key || Find(*key) == nullptr) {
    Fail(MissingError(key));
    return 0;
  }
  auto it = versions_.find(*key);
  if (it == versions_.end()) {
    Fail(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
    return 0;
  }
  return static_cast<uint32_t>(it->second.size());
}

int SimPlatform::GetFileVersionInfoA(const char* path, uint32_t size, void* data) {
  std::optional<std::string> key = KeyOf(path);
  auto it = key && Find(*key) != nullptr ? versions_.find(*key) : versions_.end();
  if (it == versions_.end()) return Fail(kErrorFileNotFound);
  std::memcpy(data, it->second.data(), std::min<size_t>(size, it->second.size()));
  return 1;
}

int SimPlatform::VerQueryValueA(const void* block, const char* subBlock, const void** value,
                                uint32_t* length) {
  *value = nullptr;
  *length = 0;
  const char* bytes = static_cast<const char*>(block);
  if (std::memcmp(bytes, kVersionMagic, 4) != 0) return 0;
  if (std::strcmp(subBlock, "\\") == 0) {
    *value = bytes + 4;
    *length = sizeof(FixedFileInfo);
    return 1;
  }
  if (SameText(subBlock, "\\VarFileInfo\\Translation")) {
    *value = bytes + 4 + sizeof(FixedFileInfo);
    *length = 4;
    return 1;
  }
  return 0;
}

uintptr_t SimPlatform::ShellExecuteA(WindowHandle, const char* file, const char* folder,
                                     int show) {
  if (!FileExists(file)) return 2;  // SE_ERR_FNF
  shellExecutions.push_back(ShellExecution{file, folder != nullptr ? folder : "", show});
  return 42;
}

int32_t SimPlatform::CreateShellLink(const ShellLinkInfo& link, const char* linkFile) {
  std::optional<std::string> key = KeyOf(linkFile);
  const Node* parent = key ? Find(ParentKey(*key)) : nullptr;
  if (parent == nullptr || !parent->folder) return static_cast<int32_t>(0x80070003u);
  auto text = [](const char* s) { return std::string(s != nullptr ? s : ""); };
  links[FullPath(linkFile)] =
      ShellLinkRecord{text(link.path),        text(link.workingFolder), text(link.arguments),
                      text(link.description), text(link.iconPath),      link.iconIndex};
  AddFile(linkFile, "shell link");
  return 0;
}

int SimPlatform::AddFontResourceA(const char* path) {
  if (!FileExists(path)) return 0;
  fonts.push_back(FullPath(path));
  return 1;
}

int SimPlatform::RemoveFontResourceA(const char* path) {
  auto it = std::find_if(fonts.begin(), fonts.end(),
                         [&](const std::string& font) { return SameText(font, FullPath(path)); });
  if (it == fonts.end()) return 0;
  fonts.erase(it);
  return 1;
}

LibraryHandle SimPlatform::LoadLibraryA(const char* path) {
  if (!FileExists(path)) {
    Fail(MissingError(KeyOf(path)));
    return 0;
  }
  LibraryHandle handle = nextLibrary_;
  nextLibrary_ += 0x10000;
  libraries_[handle] = FullPath(path);
  return handle;
}

// A library's DllRegisterServer is known by its library's handle + 1, its
// DllUnregisterServer by the handle + 2.
ProcAddress SimPlatform::GetProcAddress(LibraryHandle library, const char* name) {
  auto it = libraries_.find(library);
  if (it == libraries_.end()) return Fail(kErrorInvalidHandle);
  for (const auto& [path, result] : selfRegistering) {
    if (!SameText(path, it->second)) continue;
    if (std::strcmp(name, "DllRegisterServer") == 0) return library + 1;
    if (std::strcmp(name, "DllUnregisterServer") == 0) return library + 2;
  }
  return Fail(127);  // ERROR_PROC_NOT_FOUND
}

int32_t SimPlatform::CallRegistrationFunction(ProcAddress function) {
  bool unregister = (function & 0xFFFF) == 2;
  auto it = libraries_.find(function & ~static_cast<ProcAddress>(0xFFFF));
  if (it == libraries_.end()) return static_cast<int32_t>(0x8000FFFFu);  // E_UNEXPECTED
  (unregister ? unregistered : registered).push_back(it->second);
  for (const auto& [path, result] : selfRegistering) {
    if (SameText(path, it->second)) return result;
  }
  return static_cast<int32_t>(0x8000FFFFu);
}

int SimPlatform::FreeLibrary(LibraryHandle library) {
  return libraries_.erase(library) != 0 ? 1 : Fail(kErrorInvalidHandle);
}

}  // namespace setup
