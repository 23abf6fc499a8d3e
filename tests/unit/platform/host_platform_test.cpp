#include "platform/host/host_platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace setup {
namespace {

namespace fs = std::filesystem;

// A fresh host folder per test, named to the engine with backslashes.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "host-platform-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // The engine's name for a file under the folder: "\tmp\host-platform-...\name".
  std::string E(const std::string& name) const {
    char out[4096];
    ToEnginePath((root / name).c_str(), out, sizeof out);
    return out;
  }
  std::string HostFile(const std::string& name) const { return (root / name).string(); }

  void Put(const std::string& name, const std::string& data) {
    std::ofstream(root / name, std::ios::binary) << data;
  }
  std::string Get(const std::string& name) {
    std::ifstream in(root / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string Read(FileHandle h, uint32_t count) {
    std::string out(count, '\0');
    uint32_t done = 0xDEAD;
    EXPECT_EQ(host.ReadFile(h, out.data(), count, &done), 1);
    out.resize(done);
    return out;
  }

  fs::path root;
  HostPlatform host;
};

TEST(HostPathTest, EnginePathsUseBackslashesAndFitTheBuffer) {
  char out[16];
  ToEnginePath("/tmp/a/b.txt", out, sizeof out);
  EXPECT_STREQ(out, "\\tmp\\a\\b.txt");
  char small[6];
  ToEnginePath("/tmp/a/b.txt", small, sizeof small);
  EXPECT_STREQ(small, "\\tmp\\");
  char untouched = 'x';
  ToEnginePath("/tmp", &untouched, 0);
  EXPECT_EQ(untouched, 'x');
}

TEST_F(HostTest, CreateWriteReadRoundTripThroughBackslashPaths) {
  FileHandle h = host.CreateFileA(E("new.bin").c_str(), kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(host.GetLastError(), 0u);
  uint32_t done = 0;
  ASSERT_EQ(host.WriteFile(h, "hello world", 11, &done), 1);
  EXPECT_EQ(done, 11u);
  ASSERT_EQ(host.CloseHandle(h), 1);
  EXPECT_EQ(Get("new.bin"), "hello world");

  h = host.CreateFileA(E("new.bin").c_str(), kGenericRead, kFileShareRead, kOpenExisting);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(Read(h, 5), "hello");
  EXPECT_EQ(Read(h, 100), " world");
  EXPECT_EQ(Read(h, 100), "");  // at the end: nothing, and success
  host.CloseHandle(h);
}

TEST_F(HostTest, CreateAlwaysTruncatesAndReportsTheFileWasThere) {
  Put("f.txt", "old contents");
  FileHandle h = host.CreateFileA(E("f.txt").c_str(), kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorAlreadyExists);
  uint32_t done = 0;
  host.WriteFile(h, "new", 3, &done);
  host.CloseHandle(h);
  EXPECT_EQ(Get("f.txt"), "new");
}

TEST_F(HostTest, ReadWriteHandleOverwritesInPlace) {
  Put("f.txt", "0123456789");
  FileHandle h = host.CreateFileA(E("f.txt").c_str(), kGenericRead | kGenericWrite,
                                  kFileShareRead, kOpenExisting);
  ASSERT_NE(h, kInvalidFile);
  ASSERT_EQ(host.SetFilePointer(h, 3, kFileBegin), 3u);
  uint32_t done = 0;
  ASSERT_EQ(host.WriteFile(h, "abc", 3, &done), 1);
  EXPECT_EQ(Read(h, 2), "67");
  host.CloseHandle(h);
  EXPECT_EQ(Get("f.txt"), "012abc6789");
}

TEST_F(HostTest, MissingFileAndMissingFolderGiveDifferentErrors) {
  Put("plain.txt", "x");
  EXPECT_EQ(host.CreateFileA(E("none.txt").c_str(), kGenericRead, 0, kOpenExisting), kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(host.CreateFileA(E("nodir\\none.txt").c_str(), kGenericRead, 0, kOpenExisting),
            kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(host.CreateFileA(E("nodir\\new.txt").c_str(), kGenericWrite, 0, kCreateAlways),
            kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(host.CreateFileA(E("plain.txt\\new.txt").c_str(), kGenericWrite, 0, kCreateAlways),
            kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(host.DeleteFileA(E("none.txt").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(host.DeleteFileA(E("nodir\\none.txt").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(host.GetFileAttributesA(E("none.txt").c_str()), kInvalidFileAttributes);
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(host.GetFileAttributesA(E("nodir\\none.txt").c_str()), kInvalidFileAttributes);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(host.SetFileAttributesA(E("nodir\\none.txt").c_str(), kAttrNormal), 0);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(host.MoveFileA(E("none.txt").c_str(), E("b.txt").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(host.MoveFileA(E("nodir\\none.txt").c_str(), E("b.txt").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(host.MoveFileA(E("plain.txt").c_str(), E("nodir\\b.txt").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(Get("plain.txt"), "x");
}

TEST_F(HostTest, FoldersAreNotFiles) {
  fs::create_directory(root / "dir");
  EXPECT_EQ(host.GetFileAttributesA(E("dir").c_str()), kAttrDirectory);
  EXPECT_EQ(host.CreateFileA(E("dir").c_str(), kGenericRead, 0, kOpenExisting), kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(host.CreateFileA(E("dir").c_str(), kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(host.DeleteFileA(E("dir").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(fs::is_directory(root / "dir"));
  // Made one level at a time, as on Windows.
  EXPECT_EQ(host.CreateDirectoryA(E("dir\\sub").c_str()), 1);
  EXPECT_EQ(host.CreateDirectoryA(E("dir\\sub").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(host.CreateDirectoryA(E("none\\sub").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorPathNotFound);
}

// A named pipe or a device read as a file would hang or never end: opening
// one to read counts as a missing file, whatever link leads to it.
TEST_F(HostTest, PipesAndDevicesToReadAreMissing) {
  ASSERT_EQ(mkfifo(HostFile("pipe").c_str(), 0600), 0);
  fs::create_symlink(root / "pipe", root / "link");
  for (std::string path : {E("pipe"), E("link"), std::string("\\dev\\zero")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(host.CreateFileA(path.c_str(), kGenericRead, 0, kOpenExisting), kInvalidFile);
    EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
  }
}

// A link planted under a name the engine creates never carries the new file
// somewhere else: it is refused, and nothing appears at the link's target.
TEST_F(HostTest, CreatingThroughADanglingLinkMakesNothing) {
  fs::create_symlink(root / "elsewhere.txt", root / "planted.$$A");
  EXPECT_EQ(host.CreateFileA(E("planted.$$A").c_str(), kGenericWrite, 0, kCreateAlways),
            kInvalidFile);
  EXPECT_FALSE(fs::exists(root / "elsewhere.txt"));
}

// Windows keeps everyone, administrators too, from writing a read-only file, so
// these hold when the tests run as root.
TEST_F(HostTest, ReadOnlyAttributeRefusesWritesReplacementAndDeletion) {
  Put("ro.txt", "keep");
  ASSERT_EQ(host.SetFileAttributesA(E("ro.txt").c_str(), kAttrReadOnly), 1);
  EXPECT_EQ(host.GetFileAttributesA(E("ro.txt").c_str()), kAttrReadOnly);
  struct stat st;
  ASSERT_EQ(stat(HostFile("ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);  // no one may write it

  EXPECT_EQ(host.CreateFileA(E("ro.txt").c_str(), kGenericWrite, 0, kOpenExisting), kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(host.CreateFileA(E("ro.txt").c_str(), kGenericRead | kGenericWrite, kFileShareRead,
                             kOpenExisting),
            kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(host.CreateFileA(E("ro.txt").c_str(), kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(host.DeleteFileA(E("ro.txt").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(Get("ro.txt"), "keep");

  FileHandle h = host.CreateFileA(E("ro.txt").c_str(), kGenericRead, kFileShareRead, kOpenExisting);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(Read(h, 10), "keep");
  host.CloseHandle(h);

  ASSERT_EQ(host.SetFileAttributesA(E("ro.txt").c_str(), kAttrNormal), 1);
  EXPECT_EQ(host.GetFileAttributesA(E("ro.txt").c_str()), kAttrNormal);
  h = host.CreateFileA(E("ro.txt").c_str(), kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidFile);
  host.CloseHandle(h);
  EXPECT_EQ(host.DeleteFileA(E("ro.txt").c_str()), 1);
  EXPECT_FALSE(fs::exists(root / "ro.txt"));
}

// Refusals that come from the system itself, for a user other than root.
TEST_F(HostTest, UnreadableFileIsAccessDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes through permission bits";
  Put("locked.txt", "x");
  ASSERT_EQ(chmod(HostFile("locked.txt").c_str(), 0), 0);  // unreadable as well
  EXPECT_EQ(host.CreateFileA(E("locked.txt").c_str(), kGenericRead, 0, kOpenExisting),
            kInvalidFile);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
}

TEST_F(HostTest, HandlesOnlyDoWhatTheyWereOpenedFor) {
  Put("f.txt", "data");
  FileHandle reader = host.CreateFileA(E("f.txt").c_str(), kGenericRead, kFileShareRead,
                                       kOpenExisting);
  uint32_t done = 99;
  EXPECT_EQ(host.WriteFile(reader, "xx", 2, &done), 0);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(done, 0u);
  host.CloseHandle(reader);

  FileHandle writer = host.CreateFileA(E("f.txt").c_str(), kGenericWrite, 0, kOpenExisting);
  char buffer[4];
  EXPECT_EQ(host.ReadFile(writer, buffer, 4, &done), 0);
  EXPECT_EQ(host.GetLastError(), kErrorAccessDenied);
  host.CloseHandle(writer);
  EXPECT_EQ(Get("f.txt"), "data");

  EXPECT_EQ(host.CloseHandle(writer), 0);
  EXPECT_EQ(host.GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(host.ReadFile(writer, buffer, 4, &done), 0);
  EXPECT_EQ(host.GetLastError(), kErrorInvalidHandle);
}

TEST_F(HostTest, WriteToAFullDeviceFailsWithDiskFull) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  FileHandle h = host.CreateFileA("\\dev\\full", kGenericWrite, 0, kOpenExisting);
  ASSERT_NE(h, kInvalidFile);
  uint32_t done = 99;
  EXPECT_EQ(host.WriteFile(h, "abc", 3, &done), 0);
  EXPECT_EQ(host.GetLastError(), kErrorDiskFull);
  EXPECT_EQ(done, 0u);
  host.CloseHandle(h);
}

TEST_F(HostTest, DeleteRemovesTheFile) {
  Put("f.txt", "x");
  ASSERT_EQ(host.DeleteFileA(E("f.txt").c_str()), 1);
  EXPECT_FALSE(fs::exists(root / "f.txt"));
}

TEST_F(HostTest, MoveRenamesButNeverReplaces) {
  Put("a.txt", "a");
  Put("b.txt", "b");
  fs::create_directory(root / "sub");
  EXPECT_EQ(host.MoveFileA(E("a.txt").c_str(), E("b.txt").c_str()), 0);
  EXPECT_EQ(host.GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(Get("a.txt"), "a");
  EXPECT_EQ(Get("b.txt"), "b");

  ASSERT_EQ(host.MoveFileA(E("a.txt").c_str(), E("sub\\c.txt").c_str()), 1);
  EXPECT_FALSE(fs::exists(root / "a.txt"));
  EXPECT_EQ(Get("sub/c.txt"), "a");
  // A file moved onto its own name stays.
  EXPECT_EQ(host.MoveFileA(E("b.txt").c_str(), E("b.txt").c_str()), 1);
  EXPECT_EQ(Get("b.txt"), "b");
  // Another case of the name is a rename.
  ASSERT_EQ(host.MoveFileA(E("b.txt").c_str(), E("B.txt").c_str()), 1);
  EXPECT_EQ(Get("B.txt"), "b");
}

TEST_F(HostTest, MoveCarriesAFileToAnotherFileSystem) {
  std::error_code error;
  fs::path other = "/dev/shm";
  struct stat a, b;
  if (stat(root.c_str(), &a) != 0 || stat(other.c_str(), &b) != 0 || a.st_dev == b.st_dev ||
      access(other.c_str(), W_OK) != 0) {
    GTEST_SKIP() << "no second writable file system";
  }
  std::string name = other / ("host-platform-move-" + std::to_string(getpid()));
  Put("a.txt", "across");
  ASSERT_EQ(host.SetFileAttributesA(E("a.txt").c_str(), kAttrReadOnly), 1);
  char target[4096];
  ToEnginePath(name.c_str(), target, sizeof target);
  int moved = host.MoveFileA(E("a.txt").c_str(), target);
  uint32_t attributes = host.GetFileAttributesA(target);
  std::ifstream in(name, std::ios::binary);
  std::string contents((std::istreambuf_iterator<char>(in)), {});
  fs::remove(name, error);
  ASSERT_EQ(moved, 1) << host.GetLastError();
  EXPECT_EQ(contents, "across");
  EXPECT_EQ(attributes, kAttrReadOnly);
  EXPECT_FALSE(fs::exists(root / "a.txt"));
}

TEST_F(HostTest, HeapBlocks) {
  auto* zeroed = static_cast<unsigned char*>(host.HeapAlloc(1000, true));
  ASSERT_NE(zeroed, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(zeroed[i], 0);
  void* empty = host.HeapAlloc(0, false);
  EXPECT_NE(empty, nullptr);
  host.HeapFree(zeroed);
  host.HeapFree(empty);
  host.HeapFree(nullptr);
}

TEST_F(HostTest, MessageBoxesPrintAndTakeTheSafeAnswer) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(host.MessageBoxA(0, "Overwrite?", "Setup", kMbYesNo | kMbIconQuestion), kIdNo);
  EXPECT_EQ(host.MessageBoxA(0, "Go on?", "", kMbOkCancel), kIdCancel);
  EXPECT_EQ(host.MessageBoxA(0, "Disk", nullptr, kMbAbortRetryIgnore), kIdAbort);
  EXPECT_EQ(host.MessageBoxA(0, "Done", "Setup", kMbOk), kIdOk);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Setup: Overwrite?\nGo on?\nDisk\nSetup: Done\n");
}

}  // namespace
}  // namespace setup
