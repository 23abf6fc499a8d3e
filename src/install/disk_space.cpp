#include "install/disk_space.h"

#include "base/file_io.h"
#include "package/file_entry.h"
#include "paths/target_path.h"
#include "session/setup_context.h"

namespace setup {

namespace {

// What GetDiskFreeSpaceA tells of the drive that holds `path`.
struct DriveFacts {
  uint64_t clusterBytes;
  uint64_t freeClusters;
};

bool ReadDriveFacts(Platform& platform, const char* path, DriveFacts* facts) {
  char root[4];
  const char* asked = path;
  if (path[0] != '\0' && path[1] == ':') {
    root[0] = path[0];
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
    asked = root;
  }
  uint32_t sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!platform.GetDiskFreeSpaceA(asked, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                  &totalClusters)) {
    return false;
  }
  facts->clusterBytes = static_cast<uint64_t>(bytesPerSector) * sectorsPerCluster;
  facts->freeClusters = freeClusters;
  return true;
}

uint32_t ClampKilobytes(uint64_t kilobytes) {
  return kilobytes < kUnknownFreeSpace ? static_cast<uint32_t>(kilobytes) : kUnknownFreeSpace - 1;
}

// x rounded up to a whole number of clusters.
uint64_t Clusters(uint64_t x, uint64_t cluster) { return (x + cluster - 1) / cluster * cluster; }

// Whether the file opens for the access; other openers may read and write.
bool Opens(Platform& platform, const char* path, uint32_t access) {
  FileHandle file = platform.CreateFileA(path, access, kFileShareRead | kFileShareWrite,
                                         kOpenExisting);
  if (file == kInvalidFile) return false;
  platform.CloseHandle(file);
  return true;
}

bool Reachable(Platform& platform, const char* path) {
  return Opens(platform, path, kGenericRead) && Opens(platform, path, kGenericWrite);
}

// Whether an existing target can be read and written, if need be after
// making it writable; its attributes are put back as they were either way.
bool MakeReachable(Platform& platform, const char* path, bool* readOnlyMet) {
  if (Reachable(platform, path)) return true;
  *readOnlyMet = true;
  uint32_t found = platform.GetFileAttributesA(path);
  if (found == kInvalidFileAttributes) return false;
  uint32_t writable = found & ~kAttrReadOnly;
  if (writable == 0) writable = kAttrNormal;
  platform.SetFileAttributesA(path, writable);
  bool reachable = Reachable(platform, path);
  platform.SetFileAttributesA(path, found);
  return reachable;
}

}  // namespace

uint32_t DriveFreeKilobytes(Platform& platform, const char* path) {
  DriveFacts facts;
  if (!ReadDriveFacts(platform, path, &facts)) return kUnknownFreeSpace;
  // At most 2^32 clusters of 2^32 bytes: the product fits 64 bits.
  return ClampKilobytes(facts.clusterBytes * facts.freeClusters / 1024);
}

uint32_t DriveClusterKilobytes(Platform& platform, const char* path) {
  DriveFacts facts;
  if (!ReadDriveFacts(platform, path, &facts)) return kDefaultClusterKilobytes;
  return ClampKilobytes((facts.clusterBytes + 1023) / 1024);
}

DiskCheck CheckDiskSpace(const PathPlaces& places, const CheckedFiles& files, SetupError& error,
                         bool* readOnlyMet) {
  Platform& platform = places.platform;
  uint32_t free = DriveFreeKilobytes(platform, places.destinationFolder);
  uint64_t cluster = 1024ull * DriveClusterKilobytes(platform, places.destinationFolder);
  if (cluster == 0) cluster = 1024;
  *readOnlyMet = false;
  uint64_t needed = 0;
  uint64_t largest = 0;
  char target[kTargetPathSize];
  uint8_t* entry = files.firstEntry;
  for (uint32_t i = 0; i < files.count && entry != nullptr; ++i, entry = NextFileEntry(entry)) {
    TargetResult resolved = ResolveTargetPath(places, EntryFolderKind(entry), EntryPlacement(entry),
                                              FileEntryString(entry, ENTRY_NAME), target,
                                              sizeof target);
    uint64_t size = Clusters(EntryFileSize(entry), cluster);
    if (size > largest) largest = size;
    if (EntryPlacement(entry) == PLACE_SOURCE) continue;
    // A path that does not fit names no file that could be there.
    FileHandle file = resolved == TargetResult::kTooLong ? kInvalidFile
                                                        : OpenForRead(platform, target);
    if (file == kInvalidFile) {
      needed += size;
      continue;
    }
    uint32_t length = FileSize(platform, file);
    uint64_t existing = length == kInvalidSetFilePointer ? 0 : Clusters(length, cluster);
    CloseFile(platform, &file);
    if (existing < size) needed += size - existing;
    if (EntryFolderKind(entry) == FOLDER_FONTS) {
      if (EntryPlacement(entry) == PLACE_UNINSTALL) SetEntryPlacement(entry, PLACE_KEEP);
      continue;
    }
    if (resolved == TargetResult::kInUse) continue;
    if (!MakeReachable(platform, target, readOnlyMet)) {
      CopyText(error.subject, kPathSize, target);
      return DISK_CHECK_READ_ONLY;
    }
  }
  needed += largest;  // already whole clusters
  if (free != kUnknownFreeSpace && needed / 1024 >= free) return DISK_CHECK_NO_ROOM;
  return DISK_CHECK_OK;
}

}  // namespace setup
