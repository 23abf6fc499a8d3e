#include "platform/sim/sim_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace setup {
namespace {

// A machine with C: (fixed, 4 KiB clusters, 1 MiB free) and a few files.
class SimTest : public ::testing::Test {
 protected:
  SimTest() { sim.AddDrive('C', 1 << 20, 4096); }

  FileHandle Open(const char* path, uint32_t access, uint32_t share = 0,
                  uint32_t disposition = kOpenExisting) {
    return sim.CreateFileA(path, access, share, disposition);
  }

  // Writes through a fresh handle and closes it; returns the bytes written.
  uint32_t WriteNew(const char* path, const std::string& data) {
    FileHandle h = Open(path, kGenericWrite, 0, kCreateAlways);
    EXPECT_NE(h, kInvalidFile) << path;
    uint32_t done = 0;
    EXPECT_EQ(sim.WriteFile(h, data.data(), static_cast<uint32_t>(data.size()), &done), 1);
    sim.CloseHandle(h);
    return done;
  }

  std::string Read(FileHandle h, uint32_t count) {
    std::string out(count, '\0');
    uint32_t done = 0xDEAD;
    EXPECT_EQ(sim.ReadFile(h, out.data(), count, &done), 1);
    out.resize(done);
    return out;
  }

  SimPlatform sim;
};

// --- Drives and names ---------------------------------------------------------

TEST_F(SimTest, DrivesKeepTheirSizeClusterAndKind) {
  sim.AddDrive('d', 5000, 512, DriveKind::CdRom);
  EXPECT_EQ(sim.FreeBytes('D'), 5000u);
  EXPECT_EQ(sim.FreeBytes('d'), 5000u);
  EXPECT_EQ(sim.ClusterSize('D'), 512u);
  EXPECT_EQ(sim.Kind('d'), DriveKind::CdRom);
  EXPECT_EQ(sim.Kind('C'), DriveKind::Fixed);
  EXPECT_TRUE(sim.FolderExists("d:\\"));
  EXPECT_EQ(sim.GetFileAttributesA("D:\\"), kAttrDirectory);
}

TEST_F(SimTest, UnknownDriveIsAMissingPath) {
  EXPECT_EQ(Open("Q:\\file.txt", kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(sim.GetFileAttributesA("Q:\\"), kInvalidFileAttributes);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);
}

TEST_F(SimTest, NamesMatchInAnyCaseAndKeepTheirStoredCase) {
  sim.AddFile("C:\\Program Files\\App\\ReadMe.TXT", "hello");
  EXPECT_TRUE(sim.FileExists("c:\\PROGRAM FILES\\app\\readme.txt"));
  EXPECT_TRUE(sim.FolderExists("C:/program files/APP"));
  EXPECT_EQ(sim.StoredPath("c:\\program files\\app\\README.txt"),
            "C:\\Program Files\\App\\ReadMe.TXT");
  EXPECT_EQ(sim.StoredPath("c:\\program files\\new.txt"), "C:\\Program Files\\new.txt");

  FileHandle h = Open("C:/PROGRAM FILES/./x/../App/readme.txt", kGenericRead, kFileShareRead);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(Read(h, 100), "hello");
  sim.CloseHandle(h);
  EXPECT_EQ(sim.ListFiles(), std::vector<std::string>{"C:\\Program Files\\App\\ReadMe.TXT"});
}

TEST_F(SimTest, ReplacingAFileKeepsTheNameItWasCreatedWith) {
  WriteNew("C:\\Setup.Log", "first");
  WriteNew("C:\\SETUP.LOG", "second");
  EXPECT_EQ(sim.StoredPath("c:\\setup.log"), "C:\\Setup.Log");
  EXPECT_EQ(sim.FileContents("C:\\setup.log"), "second");
  EXPECT_EQ(sim.ListFiles().size(), 1u);
}

TEST_F(SimTest, RenameToTheSameNameInAnotherCaseChangesOnlyTheCase) {
  sim.AddFile("C:\\dir\\old.txt", "data");
  ASSERT_EQ(sim.MoveFileA("C:\\DIR\\OLD.TXT", "C:\\dir\\Old.Txt"), 1);
  EXPECT_EQ(sim.StoredPath("C:\\dir\\old.txt"), "C:\\dir\\Old.Txt");
  EXPECT_EQ(sim.FileContents("C:\\dir\\old.txt"), "data");
  EXPECT_EQ(sim.ListFiles().size(), 1u);
}

// --- Missing names ------------------------------------------------------------

TEST_F(SimTest, MissingFileAndMissingFolderGiveDifferentErrors) {
  sim.AddFolder("C:\\dir");
  sim.AddFile("C:\\plain.txt", "x");

  EXPECT_EQ(Open("C:\\dir\\none.txt", kGenericRead), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(Open("C:\\nodir\\none.txt", kGenericRead), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(Open("C:\\nodir\\new.txt", kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);
  // A file in the middle of a path is not a folder.
  EXPECT_EQ(Open("C:\\plain.txt\\new.txt", kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(sim.DeleteFileA("C:\\dir\\none.txt"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(sim.DeleteFileA("C:\\nodir\\none.txt"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(sim.DeleteFileA("C:\\plain.txt\\none.txt"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(sim.GetFileAttributesA("C:\\dir\\none.txt"), kInvalidFileAttributes);
  EXPECT_EQ(sim.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(sim.GetFileAttributesA("C:\\nodir\\none.txt"), kInvalidFileAttributes);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(sim.SetFileAttributesA("C:\\dir\\none.txt", kAttrNormal), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(sim.SetFileAttributesA("C:\\nodir\\none.txt", kAttrNormal), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(sim.MoveFileA("C:\\dir\\none.txt", "C:\\dir\\b.txt"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(sim.MoveFileA("C:\\nodir\\none.txt", "C:\\dir\\b.txt"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(sim.MoveFileA("C:\\plain.txt", "C:\\nodir\\b.txt"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorPathNotFound);
  EXPECT_TRUE(sim.FileExists("C:\\plain.txt"));
}

TEST_F(SimTest, FoldersCannotBeOpenedOrDeletedAsFiles) {
  sim.AddFolder("C:\\dir");
  EXPECT_EQ(Open("C:\\dir", kGenericRead), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(Open("C:\\dir", kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.DeleteFileA("C:\\dir"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(sim.FolderExists("C:\\dir"));
}

TEST_F(SimTest, CreateAlwaysReportsWhetherTheFileWasThere) {
  FileHandle h = Open("C:\\new.txt", kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), 0u);
  sim.CloseHandle(h);
  h = Open("C:\\NEW.TXT", kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorAlreadyExists);
  sim.CloseHandle(h);
}

TEST_F(SimTest, UnsupportedDispositionIsRejected) {
  sim.AddFile("C:\\a.txt", "x");
  EXPECT_EQ(Open("C:\\a.txt", kGenericRead, 0, 4 /* OPEN_ALWAYS */), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

// --- Read-only attribute --------------------------------------------------------

TEST_F(SimTest, ReadOnlyFileRefusesWritesReplacementAndDeletion) {
  sim.AddFile("C:\\ro.txt", "keep", kAttrReadOnly);
  EXPECT_EQ(sim.GetFileAttributesA("C:\\RO.TXT"), kAttrReadOnly);

  EXPECT_EQ(Open("C:\\ro.txt", kGenericWrite), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(Open("C:\\ro.txt", kGenericRead | kGenericWrite, kFileShareRead), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(Open("C:\\ro.txt", kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  // Even a read-only open may not replace it.
  EXPECT_EQ(Open("C:\\ro.txt", kGenericRead, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.DeleteFileA("C:\\ro.txt"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.FileContents("C:\\ro.txt"), "keep");
  EXPECT_EQ(sim.OpenHandleCount(), 0u);

  FileHandle h = Open("C:\\ro.txt", kGenericRead, kFileShareRead);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(Read(h, 10), "keep");
  sim.CloseHandle(h);
}

TEST_F(SimTest, ClearingReadOnlyMakesTheFileWritableAgain) {
  sim.AddFile("C:\\ro.txt", "keep", kAttrReadOnly);
  ASSERT_EQ(sim.SetFileAttributesA("C:\\ro.txt", kAttrNormal), 1);
  EXPECT_EQ(sim.GetFileAttributesA("C:\\ro.txt"), kAttrNormal);
  EXPECT_EQ(WriteNew("C:\\ro.txt", "new"), 3u);
  EXPECT_EQ(sim.FileContents("C:\\ro.txt"), "new");

  ASSERT_EQ(sim.SetFileAttributesA("C:\\ro.txt", kAttrReadOnly | kAttrNormal), 1);
  EXPECT_EQ(sim.GetFileAttributesA("C:\\ro.txt"), kAttrReadOnly);
  ASSERT_EQ(sim.SetFileAttributesA("C:\\ro.txt", 0), 1);
  EXPECT_EQ(sim.DeleteFileA("C:\\ro.txt"), 1);
  EXPECT_FALSE(sim.FileExists("C:\\ro.txt"));
}

TEST_F(SimTest, ReadOnlyFileCanStillBeRenamed) {
  sim.AddFile("C:\\ro.txt", "keep", kAttrReadOnly);
  ASSERT_EQ(sim.MoveFileA("C:\\ro.txt", "C:\\moved.txt"), 1);
  EXPECT_EQ(sim.GetFileAttributesA("C:\\moved.txt"), kAttrReadOnly);
}

TEST_F(SimTest, FolderKeepsItsDirectoryAttribute) {
  sim.AddFolder("C:\\dir");
  ASSERT_EQ(sim.SetFileAttributesA("C:\\dir", kAttrReadOnly), 1);
  EXPECT_EQ(sim.GetFileAttributesA("C:\\dir"), kAttrDirectory | kAttrReadOnly);
  ASSERT_EQ(sim.SetFileAttributesA("C:\\dir", kAttrNormal), 1);
  EXPECT_EQ(sim.GetFileAttributesA("C:\\dir"), kAttrDirectory);
}

// --- Sharing ----------------------------------------------------------------------

TEST_F(SimTest, WriterWithoutSharingLocksEveryoneElseOut) {
  sim.AddFile("C:\\f.bin", "data");
  FileHandle writer = Open("C:\\f.bin", kGenericWrite, 0);
  ASSERT_NE(writer, kInvalidFile);
  const uint32_t shareAll = kFileShareRead | kFileShareWrite;
  EXPECT_EQ(Open("C:\\F.BIN", kGenericRead, shareAll), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(Open("C:\\f.bin", kGenericWrite, shareAll), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(Open("C:\\f.bin", kGenericWrite, shareAll, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(sim.OpenHandleCount(), 1u);

  ASSERT_EQ(sim.CloseHandle(writer), 1);
  FileHandle reader = Open("C:\\f.bin", kGenericRead, kFileShareRead);
  EXPECT_NE(reader, kInvalidFile);
  sim.CloseHandle(reader);
}

TEST_F(SimTest, ReadersSharingReadAdmitReadersOnly) {
  sim.AddFile("C:\\f.bin", "data");
  FileHandle a = Open("C:\\f.bin", kGenericRead, kFileShareRead);
  FileHandle b = Open("C:\\f.bin", kGenericRead, kFileShareRead);
  ASSERT_NE(a, kInvalidFile);
  ASSERT_NE(b, kInvalidFile);
  EXPECT_NE(a, b);
  // Each handle has its own position.
  EXPECT_EQ(Read(a, 2), "da");
  EXPECT_EQ(Read(b, 4), "data");
  EXPECT_EQ(Read(a, 4), "ta");

  EXPECT_EQ(Open("C:\\f.bin", kGenericWrite, kFileShareRead), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  // A reader that will not share reading clashes with the readers already there.
  EXPECT_EQ(Open("C:\\f.bin", kGenericRead, 0), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  // Replacing is refused, and the refusal does not truncate.
  EXPECT_EQ(Open("C:\\f.bin", kGenericWrite, kFileShareRead, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(sim.FileContents("C:\\f.bin"), "data");
  sim.CloseHandle(a);
  sim.CloseHandle(b);
}

TEST_F(SimTest, ReadWriteHandleSharingReadAdmitsOnlyOpenersThatShareWriting) {
  sim.AddFile("C:\\f.bin", "data");
  FileHandle rw = Open("C:\\f.bin", kGenericRead | kGenericWrite, kFileShareRead);
  ASSERT_NE(rw, kInvalidFile);
  // This reader does not let the existing handle write.
  EXPECT_EQ(Open("C:\\f.bin", kGenericRead, kFileShareRead), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  FileHandle reader = Open("C:\\f.bin", kGenericRead, kFileShareRead | kFileShareWrite);
  EXPECT_NE(reader, kInvalidFile);
  EXPECT_EQ(Open("C:\\f.bin", kGenericWrite, kFileShareRead | kFileShareWrite), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  sim.CloseHandle(reader);
  sim.CloseHandle(rw);
}

TEST_F(SimTest, WritersSharingWriteAdmitEachOther) {
  sim.AddFile("C:\\f.bin", "data");
  const uint32_t shareAll = kFileShareRead | kFileShareWrite;
  FileHandle a = Open("C:\\f.bin", kGenericWrite, shareAll);
  FileHandle b = Open("C:\\f.bin", kGenericRead | kGenericWrite, shareAll);
  EXPECT_NE(a, kInvalidFile);
  EXPECT_NE(b, kInvalidFile);
  sim.CloseHandle(a);
  sim.CloseHandle(b);
}

TEST_F(SimTest, OpenFileCannotBeDeletedOrRenamed) {
  sim.AddFile("C:\\f.bin", "data");
  FileHandle h = Open("C:\\f.bin", kGenericRead, kFileShareRead);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(sim.DeleteFileA("C:\\f.bin"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.MoveFileA("C:\\f.bin", "C:\\g.bin"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  sim.CloseHandle(h);
  EXPECT_EQ(sim.DeleteFileA("C:\\f.bin"), 1);
}

TEST_F(SimTest, FileHeldByAnotherProcess) {
  sim.AddFile("C:\\dir\\busy.dll", "code");
  sim.HoldOpenByOtherProcess("c:\\DIR\\busy.dll");

  for (uint32_t access : {kGenericRead, kGenericWrite, kGenericRead | kGenericWrite}) {
    EXPECT_EQ(Open("C:\\dir\\busy.dll", access, kFileShareRead | kFileShareWrite), kInvalidFile);
    EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation) << access;
  }
  EXPECT_EQ(Open("C:\\dir\\busy.dll", kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(sim.GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(sim.DeleteFileA("C:\\dir\\busy.dll"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.MoveFileA("C:\\dir\\busy.dll", "C:\\dir\\old.dll"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.FileContents("C:\\dir\\busy.dll"), "code");
  // Its attributes can still be read.
  EXPECT_EQ(sim.GetFileAttributesA("C:\\dir\\busy.dll"), kAttrNormal);

  sim.HoldOpenByOtherProcess("C:\\dir\\busy.dll", false);
  EXPECT_EQ(sim.MoveFileA("C:\\dir\\busy.dll", "C:\\dir\\old.dll"), 1);
}

// --- Handles ----------------------------------------------------------------------

TEST_F(SimTest, HandlesOnlyDoWhatTheyWereOpenedFor) {
  sim.AddFile("C:\\f.bin", "data");
  char buffer[4];
  uint32_t done = 99;
  FileHandle reader = Open("C:\\f.bin", kGenericRead, kFileShareRead);
  EXPECT_EQ(sim.WriteFile(reader, "xx", 2, &done), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(done, 0u);
  sim.CloseHandle(reader);

  FileHandle writer = Open("C:\\f.bin", kGenericWrite);
  done = 99;
  EXPECT_EQ(sim.ReadFile(writer, buffer, 4, &done), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(done, 0u);
  sim.CloseHandle(writer);
  EXPECT_EQ(sim.FileContents("C:\\f.bin"), "data");
}

TEST_F(SimTest, ClosedHandleIsInvalid) {
  sim.AddFile("C:\\f.bin", "data");
  FileHandle h = Open("C:\\f.bin", kGenericRead, kFileShareRead);
  EXPECT_EQ(sim.OpenHandleCount(), 1u);
  ASSERT_EQ(sim.CloseHandle(h), 1);
  EXPECT_EQ(sim.OpenHandleCount(), 0u);
  EXPECT_EQ(sim.CloseHandle(h), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorInvalidHandle);
  char buffer[4];
  uint32_t done = 0;
  EXPECT_EQ(sim.ReadFile(h, buffer, 4, &done), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(sim.WriteFile(h, buffer, 4, &done), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(sim.SetFilePointer(h, 0, kFileBegin), kInvalidSetFilePointer);
  EXPECT_EQ(sim.GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(sim.SetFilePointer(kInvalidFile, 0, kFileBegin), kInvalidSetFilePointer);
}

// --- File pointer and reading ---------------------------------------------------------

TEST_F(SimTest, ReadingAtOrPastTheEndDeliversNothingAndSucceeds) {
  sim.AddFile("C:\\f.bin", "abc");
  FileHandle h = Open("C:\\f.bin", kGenericRead, kFileShareRead);
  EXPECT_EQ(Read(h, 10), "abc");
  EXPECT_EQ(Read(h, 10), "");
  EXPECT_EQ(sim.SetFilePointer(h, 1000, kFileBegin), 1000u);
  EXPECT_EQ(Read(h, 10), "");
  EXPECT_EQ(sim.SetFilePointer(h, 0, kFileCurrent), 1000u);
  sim.CloseHandle(h);
  sim.AddFile("C:\\empty.bin", "");
  h = Open("C:\\empty.bin", kGenericRead, kFileShareRead);
  EXPECT_EQ(Read(h, 10), "");
  sim.CloseHandle(h);
}

// --- Space on the drive -----------------------------------------------------------------

TEST_F(SimTest, FilesTakeWholeClusters) {
  const uint64_t free = sim.FreeBytes('C');
  EXPECT_EQ(WriteNew("C:\\one.bin", "x"), 1u);
  EXPECT_EQ(sim.FreeBytes('C'), free - 4096);
  EXPECT_EQ(WriteNew("C:\\full.bin", std::string(4096, 'y')), 4096u);
  EXPECT_EQ(sim.FreeBytes('C'), free - 2 * 4096);
  EXPECT_EQ(WriteNew("C:\\more.bin", std::string(4097, 'z')), 4097u);
  EXPECT_EQ(sim.FreeBytes('C'), free - 4 * 4096);
  // An empty file takes nothing.
  EXPECT_EQ(WriteNew("C:\\empty.bin", ""), 0u);
  EXPECT_EQ(sim.FreeBytes('C'), free - 4 * 4096);
  sim.AddFile("C:\\added.bin", "abc");
  EXPECT_EQ(sim.FreeBytes('C'), free - 5 * 4096);
}

TEST_F(SimTest, DeletingGivesTheClustersBack) {
  const uint64_t free = sim.FreeBytes('C');
  WriteNew("C:\\a.bin", std::string(10000, 'a'));
  EXPECT_EQ(sim.FreeBytes('C'), free - 3 * 4096);
  ASSERT_EQ(sim.DeleteFileA("C:\\a.bin"), 1);
  EXPECT_EQ(sim.FreeBytes('C'), free);
}

TEST_F(SimTest, CreateAlwaysTruncatesAndGivesTheClustersBack) {
  const uint64_t free = sim.FreeBytes('C');
  sim.AddFile("C:\\a.bin", std::string(10000, 'a'));
  FileHandle h = Open("C:\\a.bin", kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(sim.FileContents("C:\\a.bin"), "");
  EXPECT_EQ(sim.FreeBytes('C'), free);
  uint32_t done = 0;
  ASSERT_EQ(sim.WriteFile(h, "xy", 2, &done), 1);
  sim.CloseHandle(h);
  EXPECT_EQ(sim.FileContents("C:\\a.bin"), "xy");
  EXPECT_EQ(sim.FreeBytes('C'), free - 4096);
}

TEST_F(SimTest, OverwritingInPlaceTakesNoMoreSpace) {
  sim.AddFile("C:\\a.bin", std::string(5000, 'a'));
  const uint64_t free = sim.FreeBytes('C');
  FileHandle h = Open("C:\\a.bin", kGenericWrite);
  ASSERT_EQ(sim.SetFilePointer(h, 100, kFileBegin), 100u);
  uint32_t done = 0;
  ASSERT_EQ(sim.WriteFile(h, std::string(4000, 'b').data(), 4000, &done), 1);
  EXPECT_EQ(done, 4000u);
  EXPECT_EQ(sim.FreeBytes('C'), free);
  // Growing within the last cluster is free as well.
  ASSERT_EQ(sim.SetFilePointer(h, 0, kFileEnd), 5000u);
  ASSERT_EQ(sim.WriteFile(h, std::string(3192, 'c').data(), 3192, &done), 1);
  EXPECT_EQ(sim.FreeBytes('C'), free);
  ASSERT_EQ(sim.WriteFile(h, "d", 1, &done), 1);
  EXPECT_EQ(sim.FreeBytes('C'), free - 4096);
  sim.CloseHandle(h);
  std::string expected = std::string(100, 'a') + std::string(4000, 'b') +
                         std::string(900, 'a') + std::string(3192, 'c') + "d";
  EXPECT_EQ(sim.FileContents("C:\\a.bin"), expected);
}

TEST_F(SimTest, WriteBeyondFreeSpaceWritesWhatFitsAndSucceeds) {
  sim.AddDrive('E', 10000, 4096);  // two whole clusters free
  FileHandle h = Open("E:\\big.bin", kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidFile);
  std::string data(9000, 'q');
  uint32_t done = 0;
  ASSERT_EQ(sim.WriteFile(h, data.data(), 9000, &done), 1);
  EXPECT_EQ(done, 8192u);
  EXPECT_EQ(sim.FreeBytes('E'), 10000u - 8192u);
  EXPECT_EQ(sim.SetFilePointer(h, 0, kFileCurrent), 8192u);
  // Nothing more fits.
  ASSERT_EQ(sim.WriteFile(h, data.data(), 10, &done), 1);
  EXPECT_EQ(done, 0u);
  sim.CloseHandle(h);
  EXPECT_EQ(sim.FileContents("E:\\big.bin"), std::string(8192, 'q'));
  ASSERT_EQ(sim.DeleteFileA("E:\\big.bin"), 1);
  EXPECT_EQ(sim.FreeBytes('E'), 10000u);
}

TEST_F(SimTest, FullDriveStillTakesWritesWithinTheFilesOwnClusters) {
  sim.AddDrive('E', 4096, 4096);
  sim.AddFile("E:\\a.bin", "abc");  // takes the only cluster
  ASSERT_EQ(sim.FreeBytes('E'), 0u);
  FileHandle h = Open("E:\\a.bin", kGenericWrite);
  uint32_t done = 0;
  ASSERT_EQ(sim.WriteFile(h, "X", 1, &done), 1);  // overwrite
  EXPECT_EQ(done, 1u);
  ASSERT_EQ(sim.SetFilePointer(h, 0, kFileEnd), 3u);
  std::string tail(5000, 't');
  ASSERT_EQ(sim.WriteFile(h, tail.data(), 5000, &done), 1);  // grows to the cluster's end
  EXPECT_EQ(done, 4093u);
  sim.CloseHandle(h);
  EXPECT_EQ(sim.FileContents("E:\\a.bin"), "Xbc" + std::string(4093, 't'));
  EXPECT_EQ(sim.FreeBytes('E'), 0u);
}

TEST_F(SimTest, WritePastTheEndFillsTheGapWithZeros) {
  FileHandle h = Open("C:\\gap.bin", kGenericWrite, 0, kCreateAlways);
  const uint64_t free = sim.FreeBytes('C');
  ASSERT_EQ(sim.SetFilePointer(h, 5000, kFileBegin), 5000u);
  uint32_t done = 0;
  ASSERT_EQ(sim.WriteFile(h, "end", 3, &done), 1);
  EXPECT_EQ(done, 3u);
  sim.CloseHandle(h);
  EXPECT_EQ(sim.FileContents("C:\\gap.bin"), std::string(5000, '\0') + "end");
  EXPECT_EQ(sim.FreeBytes('C'), free - 2 * 4096);
}

TEST_F(SimTest, WritingNothingPastTheEndLeavesTheFile) {
  sim.AddFile("C:\\a.bin", "abc");
  const uint64_t free = sim.FreeBytes('C');
  FileHandle h = Open("C:\\a.bin", kGenericWrite);
  ASSERT_EQ(sim.SetFilePointer(h, 100000, kFileBegin), 100000u);
  uint32_t done = 7;
  ASSERT_EQ(sim.WriteFile(h, "", 0, &done), 1);
  EXPECT_EQ(done, 0u);
  sim.CloseHandle(h);
  EXPECT_EQ(sim.FileContents("C:\\a.bin"), "abc");
  EXPECT_EQ(sim.FreeBytes('C'), free);
}

TEST_F(SimTest, WritePastTheEndOfAFullDriveWritesNothing) {
  sim.AddDrive('E', 4096, 4096);
  sim.AddFile("E:\\a.bin", "abc");  // takes the only cluster
  ASSERT_EQ(sim.FreeBytes('E'), 0u);
  FileHandle h = Open("E:\\a.bin", kGenericWrite);
  ASSERT_EQ(sim.SetFilePointer(h, 100000, kFileBegin), 100000u);
  uint32_t done = 7;
  ASSERT_EQ(sim.WriteFile(h, "xyz", 3, &done), 1);
  EXPECT_EQ(done, 0u);
  sim.CloseHandle(h);
  EXPECT_EQ(sim.FileContents("E:\\a.bin"), "abc");
  EXPECT_EQ(sim.FreeBytes('E'), 0u);
  ASSERT_EQ(sim.DeleteFileA("E:\\a.bin"), 1);
  EXPECT_EQ(sim.FreeBytes('E'), 4096u);
}

// --- Moving -------------------------------------------------------------------------------

TEST_F(SimTest, MoveNeverReplacesAnExistingFile) {
  sim.AddFile("C:\\a.txt", "a");
  sim.AddFile("C:\\b.txt", "b");
  EXPECT_EQ(sim.MoveFileA("C:\\a.txt", "C:\\B.TXT"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(sim.FileContents("C:\\a.txt"), "a");
  EXPECT_EQ(sim.FileContents("C:\\b.txt"), "b");
  EXPECT_EQ(sim.StoredPath("C:\\b.txt"), "C:\\b.txt");
}

TEST_F(SimTest, MoveWithinADriveKeepsTheSpace) {
  sim.AddFolder("C:\\To");
  sim.AddFile("C:\\from\\a.txt", std::string(5000, 'a'));
  const uint64_t free = sim.FreeBytes('C');
  ASSERT_EQ(sim.MoveFileA("C:\\from\\a.txt", "c:\\to\\New.txt"), 1);
  EXPECT_FALSE(sim.FileExists("C:\\from\\a.txt"));
  EXPECT_EQ(sim.FileContents("C:\\to\\new.txt"), std::string(5000, 'a'));
  EXPECT_EQ(sim.StoredPath("C:\\to\\new.txt"), "C:\\To\\New.txt");
  EXPECT_EQ(sim.FreeBytes('C'), free);
}

TEST_F(SimTest, MoveAcrossDrivesMovesTheSpace) {
  sim.AddDrive('D', 100000, 512);
  sim.AddFile("C:\\a.bin", std::string(1000, 'a'));
  const uint64_t freeC = sim.FreeBytes('C');
  ASSERT_EQ(sim.MoveFileA("C:\\a.bin", "D:\\a.bin"), 1);
  EXPECT_EQ(sim.FreeBytes('C'), freeC + 4096);
  EXPECT_EQ(sim.FreeBytes('D'), 100000u - 1024u);
  EXPECT_EQ(sim.FileContents("D:\\a.bin"), std::string(1000, 'a'));
  EXPECT_FALSE(sim.FileExists("C:\\a.bin"));
}

TEST_F(SimTest, MoveAcrossDrivesFailsWhenTheTargetIsFull) {
  sim.AddDrive('D', 1000, 512);
  sim.AddFile("C:\\a.bin", std::string(1500, 'a'));
  const uint64_t freeC = sim.FreeBytes('C');
  EXPECT_EQ(sim.MoveFileA("C:\\a.bin", "D:\\a.bin"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorDiskFull);
  EXPECT_TRUE(sim.FileExists("C:\\a.bin"));
  EXPECT_FALSE(sim.FileExists("D:\\a.bin"));
  EXPECT_EQ(sim.FreeBytes('C'), freeC);
  EXPECT_EQ(sim.FreeBytes('D'), 1000u);
}

TEST_F(SimTest, FolderRenameTakesItsContentsAlong) {
  sim.AddFile("C:\\Old\\sub\\a.txt", "a");
  sim.AddFile("C:\\Old\\b.txt", "b");
  sim.AddFile("C:\\OldX.txt", "x");  // shares the prefix, stays put
  ASSERT_EQ(sim.MoveFileA("C:\\old", "C:\\New"), 1);
  EXPECT_FALSE(sim.FolderExists("C:\\Old"));
  EXPECT_EQ(sim.FileContents("C:\\new\\sub\\a.txt"), "a");
  EXPECT_EQ(sim.FileContents("C:\\new\\b.txt"), "b");
  EXPECT_EQ(sim.FileContents("C:\\OldX.txt"), "x");
  EXPECT_EQ(sim.StoredPath("C:\\NEW\\SUB\\A.TXT"), "C:\\New\\sub\\a.txt");
}

TEST_F(SimTest, FolderRenameIsRefusedWhileAFileInsideIsOpen) {
  sim.AddFile("C:\\dir\\a.txt", "a");
  FileHandle h = Open("C:\\dir\\a.txt", kGenericRead, kFileShareRead);
  EXPECT_EQ(sim.MoveFileA("C:\\dir", "C:\\other"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.MoveFileA("C:\\dir", "C:\\dir\\inner"), 0);
  sim.CloseHandle(h);
  EXPECT_TRUE(sim.FileExists("C:\\dir\\a.txt"));
  sim.AddDrive('D', 100000);
  EXPECT_EQ(sim.MoveFileA("C:\\dir", "D:\\dir"), 0);
  EXPECT_EQ(sim.GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(sim.FileExists("C:\\dir\\a.txt"));
}

// --- Heap ---------------------------------------------------------------------------------

TEST_F(SimTest, HeapCountsBlocksAndFailsOnDemand) {
  void* a = sim.HeapAlloc(100, false);
  void* b = sim.HeapAlloc(0, false);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(sim.OutstandingBlocks(), 2u);

  sim.allocationFails = [](uint32_t size) { return size > 1000; };
  EXPECT_EQ(sim.HeapAlloc(1001, true), nullptr);
  void* c = sim.HeapAlloc(1000, true);
  EXPECT_NE(c, nullptr);
  EXPECT_EQ(sim.OutstandingBlocks(), 3u);

  sim.HeapFree(a);
  sim.HeapFree(b);
  sim.HeapFree(c);
  EXPECT_EQ(sim.OutstandingBlocks(), 0u);
  EXPECT_EQ(sim.invalidFrees, 0);
  sim.HeapCompact();
  EXPECT_EQ(sim.heapCompactions, 1);
}

TEST_F(SimTest, HeapZeroesOnlyWhenAsked) {
  auto* dirty = static_cast<unsigned char*>(sim.HeapAlloc(64, false));
  auto* clean = static_cast<unsigned char*>(sim.HeapAlloc(64, true));
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(dirty[i], SimPlatform::kFreshByte) << i;
    EXPECT_EQ(clean[i], 0) << i;
  }
  sim.HeapFree(dirty);
  sim.HeapFree(clean);
}

TEST_F(SimTest, HeapNoticesFreesOfBlocksItDoesNotHold) {
  void* a = sim.HeapAlloc(8, false);
  sim.HeapFree(a);
  sim.HeapFree(a);
  EXPECT_EQ(sim.invalidFrees, 1);
  int local = 0;
  sim.HeapFree(&local);
  EXPECT_EQ(sim.invalidFrees, 2);
  sim.HeapFree(nullptr);  // allowed, like HeapFree
  EXPECT_EQ(sim.invalidFrees, 2);
}

// --- Message boxes --------------------------------------------------------------------

TEST_F(SimTest, MessageBoxesAreRecordedAndAnsweredInOrder) {
  sim.answers = {kIdNo, kIdRetry};
  EXPECT_EQ(sim.MessageBoxA(0x1234, "Replace?", "Setup", kMbYesNo | kMbIconQuestion), kIdNo);
  EXPECT_EQ(sim.MessageBoxA(0, "Disk", "Setup", kMbAbortRetryIgnore), kIdRetry);
  EXPECT_EQ(sim.MessageBoxA(0, nullptr, nullptr, kMbOk), kIdOk);
  ASSERT_EQ(sim.messageBoxes.size(), 3u);
  EXPECT_EQ(sim.messageBoxes[0].owner, 0x1234u);
  EXPECT_EQ(sim.messageBoxes[0].text, "Replace?");
  EXPECT_EQ(sim.messageBoxes[0].caption, "Setup");
  EXPECT_EQ(sim.messageBoxes[0].type, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(sim.messageBoxes[2].text, "");
  EXPECT_TRUE(sim.answers.empty());
}

TEST_F(SimTest, UnansweredMessageBoxGetsItsFirstButton) {
  EXPECT_EQ(sim.MessageBoxA(0, "t", "c", kMbOk), kIdOk);
  EXPECT_EQ(sim.MessageBoxA(0, "t", "c", kMbOkCancel), kIdOk);
  EXPECT_EQ(sim.MessageBoxA(0, "t", "c", kMbAbortRetryIgnore), kIdAbort);
  EXPECT_EQ(sim.MessageBoxA(0, "t", "c", 0x03 /* MB_YESNOCANCEL */), kIdYes);
  EXPECT_EQ(sim.MessageBoxA(0, "t", "c", kMbYesNo | kMbIconQuestion | kMbDefButton2), kIdYes);
  EXPECT_EQ(sim.MessageBoxA(0, "t", "c", 0x05 /* MB_RETRYCANCEL */), kIdRetry);
  EXPECT_EQ(sim.MessageBoxA(0, "t", "c", kMbOk | kMbIconInformation), kIdOk);
}

}  // namespace
}  // namespace setup
