// The disk-space and write-access check on the simulated machine: drives of
// both families with their cluster sizes and free space, file lists written
// byte by byte, existing targets read-only, hidden or in use.
#include "install/disk_space.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "package/file_entry.h"
#include "platform/sim/sim_platform.h"
#include "unit/support/byte_writer.h"

namespace setup {
namespace {

using test::Bytes;
using test::FileEntrySpec;

constexpr uint64_t KiB = 1024;
constexpr uint64_t MiB = 1024 * KiB;
constexpr uint64_t GiB = 1024 * MiB;
constexpr uint64_t TiB = 1024 * GiB;

TEST(DriveFiguresTest, FreeSpaceAndClusterSize) {
  struct Row {
    const char* name;
    bool nt;
    uint64_t freeBytes;
    uint32_t clusterSize;
    const char* path;
    uint32_t freeKilobytes;
    uint32_t clusterKilobytes;
  };
  const Row rows[] = {
      {"a small drive", true, 10 * MiB, 4096, "C:\\App", 10 * 1024, 4},
      {"5 GB, past 32 bits of bytes", true, 5 * GiB, 32768, "C:\\App\\", 5 * 1024 * 1024, 32},
      {"1 TB and a cluster", true, TiB + 4096, 4096, "c:\\x", 1024 * 1024 * 1024 + 4, 4},
      {"2 TB", true, 2 * TiB, 4096, "C:\\Program Files\\App", 2u * 1024 * 1024 * 1024, 4},
      {"16 TB is more than 32 bits of KiB: clamped", true, 16 * TiB, 65536, "C:\\",
       kUnknownFreeSpace - 1, 64},
      {"Windows 98 reports at most 2 GB", false, 5 * GiB, 32768, "C:\\App", 65535 * 32, 32},
      {"half-KiB clusters round up", true, 1 * MiB, 512, "C:\\App", 1024, 1},
      {"a drive that is not there", true, 1 * MiB, 4096, "Q:\\App", kUnknownFreeSpace,
       kDefaultClusterKilobytes},
      {"a network path is asked as it is", true, 1 * MiB, 4096, "\\\\server\\share\\App",
       kUnknownFreeSpace, kDefaultClusterKilobytes},
  };
  for (const Row& row : rows) {
    SimPlatform sim;
    sim.windowsNt = row.nt;
    sim.AddDrive('C', row.freeBytes, row.clusterSize);
    EXPECT_EQ(DriveFreeKilobytes(sim, row.path), row.freeKilobytes) << row.name;
    EXPECT_EQ(DriveClusterKilobytes(sim, row.path), row.clusterKilobytes) << row.name;
  }
}

struct File {
  std::string name;
  uint32_t fileSize;
  std::optional<uint32_t> existing = std::nullopt;  // the size of the file already there
  uint8_t placement = PLACE_UNINSTALL;
  uint8_t folderKind = FOLDER_INSTALL;
  uint32_t attributes = kAttrNormal;
};

// A machine with C: (the destination C:\App and the package in C:\SRC), the
// existing files, and then `freeBytes` free.
class DiskSpaceTest : public ::testing::Test {
 protected:
  void Prepare(const std::vector<File>& files, uint64_t freeBytes, uint32_t cluster,
               bool nt = true) {
    sim->windowsNt = nt;
    sim->AddDrive('C', 64 * GiB, cluster);
    sim->AddFolder("C:\\App");
    sim->AddFolder("C:\\WINDOWS\\FONTS");
    sim->specialFolders[kCsidlFonts] = "C:\\WINDOWS\\FONTS";
    std::vector<FileEntrySpec> entries;
    for (const File& f : files) {
      FileEntrySpec e;
      e.fileSize = f.fileSize;
      e.placement = f.placement;
      e.folderKind = f.folderKind;
      e.strings[ENTRY_NAME] = f.name;
      entries.push_back(e);
      if (f.existing) sim->AddFile(Target(f), std::string(*f.existing, 'x'), f.attributes);
    }
    sim->AddDrive('C', freeBytes, cluster);
    list = test::FileListBytes(entries);
  }

  static std::string Target(const File& f) {
    return (f.folderKind == FOLDER_FONTS ? "C:\\WINDOWS\\FONTS\\" : "C:\\App\\") + f.name;
  }

  DiskCheck Check(const char* destination = "C:\\App\\") {
    PathPlaces places{*sim, destination, "C:\\SRC\\SETUP.EXE"};
    CheckedFiles files{list.data() + 4, ReadU32(list.data())};
    readOnlyMet = true;  // the check clears it
    error = SetupError{};
    return CheckDiskSpace(places, files, error, &readOnlyMet);
  }

  std::unique_ptr<SimPlatform> sim;  // a new machine for each scenario
  Bytes list;
  SetupError error{};
  bool readOnlyMet = false;
};

// Each list needs `neededKiB` (the files' growth in whole clusters, and one
// more copy of the largest): exactly that much free is not enough, one
// cluster more is.
TEST_F(DiskSpaceTest, RoomInWholeClusters) {
  struct Row {
    const char* name;
    uint32_t cluster;
    std::vector<File> files;
    uint64_t neededKiB;
  };
  const uint32_t k4 = 4096, k32 = 32768;
  const Row rows[] = {
      {"1 byte on 32 KiB clusters", k32, {{"a", 1}}, 32 + 32},
      {"40000 bytes on 32 KiB clusters", k32, {{"a", 40000}}, 64 + 64},
      {"20000 over 10000 bytes on 4 KiB clusters", k4, {{"a", 20000, 10000}}, 8 + 20},
      {"a smaller file over a larger one needs only the reserve", k4, {{"a", 10000, 20000}}, 12},
      {"1 MiB, new", k4, {{"a", 1 << 20}}, 2048},
      {"an empty file needs nothing", k4, {{"a", 0}}, 0},
      {"a file from the source folder counts toward the reserve only", k4,
       {{"big", 1 << 20, std::nullopt, PLACE_SOURCE}, {"b", 5000}}, 8 + 1024},
      {"new, replaced and larger files together", k32,
       {{"a", 5000}, {"b", 100}, {"c", 70000, 9000}, {"d", 1000, 1000}}, 32 + 32 + 64 + 0 + 96},
      {"files past 4 GiB in all", k4,
       {{"a", 0xFFFFFFFFu}, {"b", 0xFFFFFFFFu}, {"c", 0xFFFFFFFFu}}, 4 * 4 * 1024 * 1024},
      {"an existing font counts like any file", k4,
       {{"f.ttf", 9000, 4000, PLACE_UNINSTALL, FOLDER_FONTS}}, 8 + 12},
  };
  for (const Row& row : rows) {
    for (bool enough : {false, true}) {
      sim = std::make_unique<SimPlatform>();
      uint64_t free = row.neededKiB * KiB + (enough ? row.cluster : 0);
      Prepare(row.files, free, row.cluster);
      ASSERT_EQ(DriveFreeKilobytes(*sim, "C:\\"), free / KiB) << row.name;
      EXPECT_EQ(Check(), enough ? DISK_CHECK_OK : DISK_CHECK_NO_ROOM)
          << row.name << (enough ? ", one cluster more" : ", exactly");
      EXPECT_FALSE(readOnlyMet) << row.name;
      EXPECT_EQ(sim->OpenHandleCount(), 0u) << row.name;
    }
  }
}

TEST_F(DiskSpaceTest, TodaysDrives) {
  struct Row {
    const char* name;
    bool nt;
    uint64_t freeBytes;
    uint32_t cluster;
    std::vector<File> files;
    const char* destination;
    DiskCheck expected;
  };
  const File big{"a", 0xFFFFFFFFu};
  const Row rows[] = {
      {"a 2 TB drive takes three 4 GB files", true, 2 * TiB, 4096, {big, {"b", 0xFFFFFFFFu}, {"c", 1}},
       "C:\\App\\", DISK_CHECK_OK},
      {"a 5 GB drive takes a 3 GB file and its reserve", true, 5 * GiB, 32768,
       {{"a", 0xC0000000u}}, "C:\\App\\", DISK_CHECK_NO_ROOM},
      {"a 16 TB drive, clamped, takes 4 GB files", true, 16 * TiB, 65536, {big, big},
       "C:\\App\\", DISK_CHECK_OK},
      {"Windows 98 sees 2 GB of a 5 GB drive", false, 5 * GiB, 32768, {{"a", 1200000000u}},
       "C:\\App\\", DISK_CHECK_NO_ROOM},
      {"free space that cannot be found out never says no", true, 1 * MiB, 4096, {big, big},
       "Q:\\App\\", DISK_CHECK_OK},
  };
  for (const Row& row : rows) {
    sim = std::make_unique<SimPlatform>();
    Prepare(row.files, row.freeBytes, row.cluster, row.nt);
    EXPECT_EQ(Check(row.destination), row.expected) << row.name;
  }
}

TEST_F(DiskSpaceTest, ExistingTargets) {
  constexpr uint32_t kHidden = 0x02, kSystem = 0x04;
  struct Row {
    const char* name;
    File file;
    bool heldByOther;
    bool openByUs;  // a handle of ours that lets others read but not write
    DiskCheck expected;
    bool readOnlyMet;
    uint32_t attributesAfter;
    uint8_t placementAfter;
  };
  const Row rows[] = {
      {"a plain file", {"a.exe", 10, 10}, false, false, DISK_CHECK_OK, false, kAttrNormal,
       PLACE_UNINSTALL},
      {"a read-only file is met and stays read-only",
       {"a.exe", 10, 10, PLACE_UNINSTALL, FOLDER_INSTALL, kAttrReadOnly}, false, false,
       DISK_CHECK_OK, true, kAttrReadOnly, PLACE_UNINSTALL},
      {"read-only, hidden and system stay as they were",
       {"a.exe", 10, 10, PLACE_KEEP, FOLDER_INSTALL, kAttrReadOnly | kHidden | kSystem}, false,
       false, DISK_CHECK_OK, true, kAttrReadOnly | kHidden | kSystem, PLACE_KEEP},
      {"a file in use that cannot be written keeps its attributes",
       {"a.exe", 10, 10, PLACE_UNINSTALL, FOLDER_INSTALL, kHidden}, false, true,
       DISK_CHECK_READ_ONLY, true, kHidden, PLACE_UNINSTALL},
      {"a file another process holds counts as new and is not touched",
       {"a.exe", 10, 10, PLACE_UNINSTALL, FOLDER_INSTALL, kAttrReadOnly}, true, false,
       DISK_CHECK_OK, false, kAttrReadOnly, PLACE_UNINSTALL},
      {"an existing font is kept at uninstall, read-only or not",
       {"f.ttf", 10, 10, PLACE_UNINSTALL, FOLDER_FONTS, kAttrReadOnly}, false, false,
       DISK_CHECK_OK, false, kAttrReadOnly, PLACE_KEEP},
      {"a new font stays in the uninstall log", {"f.ttf", 10, std::nullopt, PLACE_UNINSTALL, FOLDER_FONTS},
       false, false, DISK_CHECK_OK, false, kInvalidFileAttributes, PLACE_UNINSTALL},
  };
  for (const Row& row : rows) {
    sim = std::make_unique<SimPlatform>();
    Prepare({row.file}, 1 * GiB, 4096);
    std::string path = Target(row.file);
    sim->HoldOpenByOtherProcess(path, row.heldByOther);
    FileHandle ours = row.openByUs ? sim->CreateFileA(path.c_str(), kGenericRead, kFileShareRead,
                                                     kOpenExisting)
                                   : kInvalidFile;
    EXPECT_EQ(Check(), row.expected) << row.name;
    EXPECT_EQ(readOnlyMet, row.readOnlyMet) << row.name;
    EXPECT_EQ(std::string(error.subject),
              row.expected == DISK_CHECK_READ_ONLY ? path : std::string())
        << row.name;
    EXPECT_EQ(error.number, ERR_NONE) << row.name;
    EXPECT_EQ(sim->GetFileAttributesA(path.c_str()), row.attributesAfter) << row.name;
    EXPECT_EQ(EntryPlacement(list.data() + 4), row.placementAfter) << row.name;
    if (ours != kInvalidFile) sim->CloseHandle(ours);
    EXPECT_EQ(sim->OpenHandleCount(), 0u) << row.name;
  }
}

}  // namespace
}  // namespace setup
