#include "platform/sim/sim_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/windows_rules.h"

namespace setup {

namespace {

std::vector<std::string> SplitParts(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

SimPlatform::SimPlatform() = default;

SimPlatform::~SimPlatform() {
  for (auto& [block, size] : blocks_) std::free(block);
}

// --- Machine set-up ---------------------------------------------------------

void SimPlatform::AddDrive(char letter, uint64_t freeBytes, uint32_t clusterSize,
                           DriveKind kind) {
  char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  drives_[upper] = Drive{freeBytes, clusterSize, kind};
  Node root;
  root.name = std::string(1, upper) + ":";
  root.folder = true;
  root.attributes = kAttrDirectory;
  nodes_[root.name] = root;
}

void SimPlatform::AddFolder(std::string_view path) {
  std::vector<std::string> parts = SplitParts(path);
  if (parts.empty()) return;
  std::string key = Upper(parts[0]);
  for (size_t i = 1; i < parts.size(); ++i) {
    key += '\\';
    key += Upper(parts[i]);
    if (Find(key) == nullptr) {
      Node node;
      node.name = parts[i];
      node.folder = true;
      node.attributes = kAttrDirectory;
      nodes_[key] = node;
    }
  }
}

void SimPlatform::AddFile(std::string_view path, std::string_view contents,
                          uint32_t attributes) {
  std::optional<std::string> key = KeyOf(path);
  if (!key) return;
  std::string folder(path.substr(0, path.find_last_of("\\/")));
  AddFolder(folder);
  Node& node = nodes_[*key];
  Drive& drive = DriveOf(*key);
  drive.freeBytes += Allocated(drive, node.data.size());
  node.name = LastPart(path);
  node.folder = false;
  node.data = std::string(contents);
  node.attributes = attributes;
  uint64_t need = Allocated(drive, node.data.size());
  drive.freeBytes = drive.freeBytes > need ? drive.freeBytes - need : 0;
}

bool SimPlatform::FileExists(std::string_view path) const {
  std::optional<std::string> key = KeyOf(path);
  const Node* node = key ? Find(*key) : nullptr;
  return node != nullptr && !node->folder;
}

bool SimPlatform::FolderExists(std::string_view path) const {
  std::optional<std::string> key = KeyOf(path);
  const Node* node = key ? Find(*key) : nullptr;
  return node != nullptr && node->folder;
}

std::optional<std::string> SimPlatform::FileContents(std::string_view path) const {
  std::optional<std::string> key = KeyOf(path);
  const Node* node = key ? Find(*key) : nullptr;
  if (node == nullptr || node->folder) return std::nullopt;
  return node->data;
}

std::string SimPlatform::StoredPath(std::string_view path) const {
  std::vector<std::string> parts = SplitParts(path);
  std::string stored;
  std::string key;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) {
      key += '\\';
      stored += '\\';
    }
    key += Upper(parts[i]);
    const Node* node = Find(key);
    stored += node != nullptr ? node->name : parts[i];
  }
  return stored;
}

void SimPlatform::HoldOpenByOtherProcess(std::string_view path, bool held, bool sharesReading) {
  std::optional<std::string> key = KeyOf(path);
  if (Node* node = key ? Find(*key) : nullptr) {
    node->heldByOther = held;
    node->heldSharesReading = held && sharesReading;
  }
}

uint64_t SimPlatform::FreeBytes(char letter) const {
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives_.end() ? 0 : it->second.freeBytes;
}

uint32_t SimPlatform::ClusterSize(char letter) const {
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives_.end() ? 0 : it->second.clusterSize;
}

DriveKind SimPlatform::Kind(char letter) const {
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives_.end() ? DriveKind::Fixed : it->second.kind;
}

std::vector<std::string> SimPlatform::ListFiles() const {
  std::vector<std::string> files;
  for (const auto& [key, node] : nodes_) {
    if (!node.folder) files.push_back(StoredPath(key));
  }
  return files;
}

std::vector<std::string> SimPlatform::FileTree() const {
  std::vector<std::string> tree;
  for (const auto& [key, node] : nodes_) {
    tree.push_back(node.folder ? StoredPath(key) + "\\"
                               : StoredPath(key) + " [" + std::to_string(node.attributes) + "] " + node.data);
  }
  return tree;
}

// --- Helpers ----------------------------------------------------------------

// A relative path resolves against the current folder; a part given by its
// short name finds the file or folder that has it.
std::optional<std::string> SimPlatform::KeyOf(std::string_view given) const {
  std::string full = FullPath(given);
  std::string_view path = full;
  if (path.size() < 2 || path[1] != ':') return std::nullopt;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  if (drives_.count(letter) == 0) return std::nullopt;
  std::string key(1, letter);
  key += ':';
  for (const std::string& part : SplitParts(path.substr(2))) {
    std::string next = key + "\\" + Upper(part);
    if (Find(next) == nullptr) {
      if (std::optional<std::string> byShort = ChildByShortName(key, Upper(part))) next = *byShort;
    }
    key = next;
  }
  return key;
}

std::string SimPlatform::ParentKey(const std::string& key) {
  size_t slash = key.rfind('\\');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::string SimPlatform::LastPart(std::string_view path) {
  std::vector<std::string> parts = SplitParts(path);
  return parts.empty() ? std::string() : parts.back();
}

SimPlatform::Node* SimPlatform::Find(const std::string& key) {
  auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

const SimPlatform::Node* SimPlatform::Find(const std::string& key) const {
  auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

SimPlatform::Drive& SimPlatform::DriveOf(const std::string& key) { return drives_.at(key[0]); }

uint64_t SimPlatform::Allocated(const Drive& drive, uint64_t size) const {
  uint64_t cluster = drive.clusterSize == 0 ? 1 : drive.clusterSize;
  return (size + cluster - 1) / cluster * cluster;
}

// Whether a new open with `access` and `share` is compatible with every open
// handle on the file, and with a holder in another process.
bool SimPlatform::Shared(const std::string& key, uint32_t access, uint32_t share) const {
  const Node* node = Find(key);
  if (node != nullptr && node->heldByOther &&
      !(node->heldSharesReading && !(access & kGenericWrite) && (share & kFileShareRead))) {
    return false;
  }
  for (const auto& [handle, open] : handles_) {
    if (open.key != key) continue;
    if ((access & kGenericRead) && !(open.share & kFileShareRead)) return false;
    if ((access & kGenericWrite) && !(open.share & kFileShareWrite)) return false;
    if ((open.access & kGenericRead) && !(share & kFileShareRead)) return false;
    if ((open.access & kGenericWrite) && !(share & kFileShareWrite)) return false;
  }
  return true;
}

bool SimPlatform::OpenByUs(const std::string& key) const {
  return std::any_of(handles_.begin(), handles_.end(),
                     [&](const auto& entry) { return entry.second.key == key; });
}

uint32_t SimPlatform::MissingError(const std::optional<std::string>& key) const {
  if (!key) return kErrorPathNotFound;
  const Node* parent = Find(ParentKey(*key));
  return parent != nullptr && parent->folder ? kErrorFileNotFound : kErrorPathNotFound;
}

int SimPlatform::Fail(uint32_t error) {
  lastError_ = error;
  return 0;
}

// --- Files ------------------------------------------------------------------

FileHandle SimPlatform::CreateFileA(const char* path, uint32_t access, uint32_t share,
                                    uint32_t disposition) {
  std::optional<std::string> key = KeyOf(path);
  if (!key) {
    Fail(kErrorPathNotFound);
    return kInvalidFile;
  }
  Node* parent = Find(ParentKey(*key));
  if (parent == nullptr || !parent->folder) {
    Fail(kErrorPathNotFound);
    return kInvalidFile;
  }
  Node* node = Find(*key);
  if (node != nullptr && node->folder) {
    Fail(kErrorAccessDenied);
    return kInvalidFile;
  }
  if (disposition == kOpenExisting && node == nullptr) {
    Fail(kErrorFileNotFound);
    return kInvalidFile;
  }
  if (disposition != kOpenExisting && disposition != kCreateAlways) {
    Fail(kErrorInvalidParameter);
    return kInvalidFile;
  }
  bool writes = (access & kGenericWrite) != 0 || disposition == kCreateAlways;
  if (node != nullptr && writes && (node->attributes & kAttrReadOnly)) {
    Fail(kErrorAccessDenied);
    return kInvalidFile;
  }
  if (node != nullptr && !Shared(*key, access, share)) {
    Fail(kErrorSharingViolation);
    return kInvalidFile;
  }
  bool replaced = disposition == kCreateAlways && node != nullptr;
  if (disposition == kCreateAlways) {
    Drive& drive = DriveOf(*key);
    if (node != nullptr) {
      drive.freeBytes += Allocated(drive, node->data.size());
      node->data.clear();
      node->attributes = kAttrNormal;
    } else {
      Node created;
      created.name = LastPart(path);
      nodes_[*key] = created;
    }
  }
  FileHandle handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = OpenFile{*key, access, share};
  // A replaced file still counts as success; the last error tells it apart.
  lastError_ = replaced ? kErrorAlreadyExists : 0;
  return handle;
}

int SimPlatform::ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  *done = 0;
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  if (!(it->second.access & kGenericRead)) return Fail(kErrorAccessDenied);
  const std::string& data = nodes_.at(it->second.key).data;
  uint64_t pos = it->second.position;
  uint64_t available = pos < data.size() ? data.size() - pos : 0;
  uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(available, count));
  if (n != 0) std::memcpy(buffer, data.data() + pos, n);
  it->second.position += n;
  *done = n;
  return 1;
}

// A write that does not fit on the drive writes what fits and comes up short.
int SimPlatform::WriteFile(FileHandle file, const void* buffer, uint32_t count,
                           uint32_t* done) {
  *done = 0;
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  if (!(it->second.access & kGenericWrite)) return Fail(kErrorAccessDenied);
  Node& node = nodes_.at(it->second.key);
  Drive& drive = DriveOf(it->second.key);
  uint64_t pos = it->second.position;
  uint64_t oldAllocated = Allocated(drive, node.data.size());
  uint64_t n = count;
  // The file may grow into its own last cluster and the drive's free clusters.
  uint64_t cluster = drive.clusterSize == 0 ? 1 : drive.clusterSize;
  uint64_t capacity = (oldAllocated + drive.freeBytes) / cluster * cluster;
  if (pos + n > capacity) n = capacity > pos ? capacity - pos : 0;
  // Nothing written leaves the file as it was, even with the position past
  // its end (a write of 0 bytes, or a full drive).
  if (n == 0) return 1;
  if (pos + n > node.data.size()) node.data.resize(pos + n, '\0');
  std::memcpy(&node.data[pos], buffer, n);
  it->second.position = pos + n;
  drive.freeBytes = drive.freeBytes + oldAllocated - Allocated(drive, node.data.size());
  *done = static_cast<uint32_t>(n);
  return 1;
}

// The file ends at the handle's position: cut, or grown with zeros as far as
// the drive has room.
int SimPlatform::SetEndOfFile(FileHandle file) {
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  if (!(it->second.access & kGenericWrite)) return Fail(kErrorAccessDenied);
  Node& node = nodes_.at(it->second.key);
  Drive& drive = DriveOf(it->second.key);
  uint64_t oldAllocated = Allocated(drive, node.data.size());
  uint64_t newAllocated = Allocated(drive, it->second.position);
  if (newAllocated > oldAllocated && newAllocated - oldAllocated > drive.freeBytes) {
    return Fail(kErrorDiskFull);
  }
  node.data.resize(it->second.position, '\0');
  drive.freeBytes = drive.freeBytes + oldAllocated - newAllocated;
  return 1;
}

uint32_t SimPlatform::SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) {
  auto it = handles_.find(file);
  if (it == handles_.end()) {
    Fail(kErrorInvalidHandle);
    return kInvalidSetFilePointer;
  }
  if (!IsSeekOrigin(origin)) {
    Fail(kErrorInvalidParameter);
    return kInvalidSetFilePointer;
  }
  uint64_t base = origin == kFileCurrent ? it->second.position
                  : origin == kFileEnd   ? nodes_.at(it->second.key).data.size()
                                         : 0;
  uint32_t error = 0;
  uint32_t target = SeekTarget(base, distance, &error);
  if (target == kInvalidSetFilePointer) {
    Fail(error);
    return kInvalidSetFilePointer;
  }
  it->second.position = target;
  lastError_ = 0;
  return target;
}

int SimPlatform::CloseHandle(FileHandle file) {
  auto process = processHandles_.find(file);
  if (process != processHandles_.end()) {
    --processes[process->second].openHandles;
    processHandles_.erase(process);
    return 1;
  }
  if (handles_.erase(file) == 0) return Fail(kErrorInvalidHandle);
  return 1;
}

int SimPlatform::DeleteFileA(const char* path) {
  std::optional<std::string> key = KeyOf(path);
  Node* node = key ? Find(*key) : nullptr;
  if (node == nullptr) return Fail(MissingError(key));
  if (node->folder || (node->attributes & kAttrReadOnly) || node->heldByOther || OpenByUs(*key)) {
    return Fail(kErrorAccessDenied);
  }
  Drive& drive = DriveOf(*key);
  drive.freeBytes += Allocated(drive, node->data.size());
  nodes_.erase(*key);
  return 1;
}

int SimPlatform::RemoveDirectoryA(const char* path) {
  std::optional<std::string> key = KeyOf(path);
  Node* node = key ? Find(*key) : nullptr;
  if (node == nullptr) return Fail(MissingError(key));
  if (!node->folder || ParentKey(*key).empty()) return Fail(kErrorDirectory);
  // Any key below this one sorts right after it.
  auto child = nodes_.lower_bound(*key + "\\");
  if (child != nodes_.end() && child->first.compare(0, key->size() + 1, *key + "\\") == 0) {
    return Fail(kErrorDirNotEmpty);
  }
  nodes_.erase(*key);
  return 1;
}

int SimPlatform::MoveFileA(const char* from, const char* to) {
  std::optional<std::string> fromKey = KeyOf(from);
  std::optional<std::string> toKey = KeyOf(to);
  Node* node = fromKey ? Find(*fromKey) : nullptr;
  if (node == nullptr) return Fail(MissingError(fromKey));
  if (!toKey) return Fail(kErrorPathNotFound);
  Node* toParent = Find(ParentKey(*toKey));
  if (toParent == nullptr || !toParent->folder) return Fail(kErrorPathNotFound);
  // The same name in another case is a rename, not a clash.
  if (Find(*toKey) != nullptr && *toKey != *fromKey) return Fail(kErrorAlreadyExists);
  if (node->folder) return MoveFolder(*fromKey, *toKey, LastPart(to));
  if (node->heldByOther || OpenByUs(*fromKey)) return Fail(kErrorAccessDenied);
  Node moved = *node;
  moved.name = LastPart(to);
  if ((*fromKey)[0] != (*toKey)[0]) {
    Drive& source = DriveOf(*fromKey);
    Drive& target = DriveOf(*toKey);
    uint64_t size = Allocated(target, moved.data.size());
    if (size > target.freeBytes) return Fail(kErrorDiskFull);
    target.freeBytes -= size;
    source.freeBytes += Allocated(source, moved.data.size());
  }
  nodes_.erase(*fromKey);
  nodes_[*toKey] = moved;
  return 1;
}

// A folder is renamed with everything in it, on its own drive only, and not
// while anything inside is open; a drive's root never moves.
int SimPlatform::MoveFolder(const std::string& fromKey, const std::string& toKey,
                            const std::string& name) {
  std::string prefix = fromKey + "\\";
  bool root = ParentKey(fromKey).empty();
  bool intoItself = toKey.compare(0, prefix.size(), prefix) == 0;
  if (root || intoItself || fromKey[0] != toKey[0]) return Fail(kErrorAccessDenied);
  std::vector<std::string> inside;
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->second.heldByOther || OpenByUs(it->first)) return Fail(kErrorAccessDenied);
    inside.push_back(it->first);
  }
  Node folder = nodes_.at(fromKey);
  folder.name = name;
  nodes_.erase(fromKey);
  nodes_[toKey] = folder;
  for (const std::string& key : inside) {
    auto entry = nodes_.extract(key);
    entry.key() = toKey + key.substr(fromKey.size());
    nodes_.insert(std::move(entry));
  }
  return 1;
}

uint32_t SimPlatform::GetFileAttributesA(const char* path) {
  std::optional<std::string> key = KeyOf(path);
  const Node* node = key ? Find(*key) : nullptr;
  if (node == nullptr) {
    Fail(MissingError(key));
    return kInvalidFileAttributes;
  }
  return node->attributes;
}

int SimPlatform::SetFileAttributesA(const char* path, uint32_t attributes) {
  std::optional<std::string> key = KeyOf(path);
  Node* node = key ? Find(*key) : nullptr;
  if (node == nullptr) return Fail(MissingError(key));
  uint32_t kept = node->attributes & kAttrDirectory;
  uint32_t set = attributes & ~(kAttrNormal | kAttrDirectory);
  node->attributes = kept | set;
  if (node->attributes == 0) node->attributes = kAttrNormal;
  return 1;
}

int SimPlatform::SetFileTime(FileHandle file, const FileTime* creation,
                             const FileTime* lastAccess, const FileTime* lastWrite) {
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  if (!(it->second.access & kGenericWrite)) return Fail(kErrorAccessDenied);
  Node& node = nodes_.at(it->second.key);
  const FileTime* given[3] = {creation, lastAccess, lastWrite};
  for (int i = 0; i < 3; ++i) {
    if (given[i] != nullptr) node.times[i] = *given[i];
  }
  return 1;
}

std::optional<std::array<FileTime, 3>> SimPlatform::FileTimes(std::string_view path) const {
  std::optional<std::string> key = KeyOf(path);
  const Node* node = key ? Find(*key) : nullptr;
  if (node == nullptr || node->folder) return std::nullopt;
  return node->times;
}

// --- Heap and message boxes --------------------------------------------------

void* SimPlatform::HeapAlloc(uint32_t size, bool zeroed) {
  if (allocationFails && allocationFails(size)) return nullptr;
  void* block = zeroed ? std::calloc(1, size == 0 ? 1 : size) : std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) return nullptr;
  // The real heap hands out old contents; never let a block look zeroed by luck.
  if (!zeroed) std::memset(block, kFreshByte, size);
  blocks_[block] = size;
  return block;
}

void SimPlatform::HeapFree(void* block) {
  if (block == nullptr) return;  // HeapFree accepts null
  if (blocks_.erase(block) != 0) {
    std::free(block);
  } else {
    ++invalidFrees;  // a double free, or a block from elsewhere
  }
}

int SimPlatform::MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                             uint32_t type) {
  messageBoxes.push_back(MessageBoxCall{owner, text != nullptr ? text : "",
                                        caption != nullptr ? caption : "", type});
  if (!answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return FirstButton(type);
}

}  // namespace setup
