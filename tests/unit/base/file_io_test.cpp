#include "base/file_io.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "unit/support/forwarding_platform.h"

namespace setup {
namespace {

// Passes every call to a simulated machine and notes the file calls the
// wrappers make, so that the exact modes and the calls they skip can be seen.
class RecordingPlatform final : public test::ForwardingPlatform {
 public:
  RecordingPlatform() : ForwardingPlatform(sim) {}
  struct Open {
    uint32_t access, share, disposition;
    bool operator==(const Open&) const = default;
  };
  SimPlatform sim;
  std::vector<Open> opens;
  int closes = 0;
  // Reads fail after moving their bytes, as a read can that breaks off part way.
  bool readErrorAfterBytes = false;

  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override {
    opens.push_back({access, share, disposition});
    return sim.CreateFileA(path, access, share, disposition);
  }
  int ReadFile(FileHandle f, void* b, uint32_t n, uint32_t* done) override {
    int ok = sim.ReadFile(f, b, n, done);
    if (ok && readErrorAfterBytes) return 0;  // e.g. a device error part way (host backend)
    return ok;
  }
  int CloseHandle(FileHandle f) override {
    ++closes;
    return sim.CloseHandle(f);
  }
};

class FileIoTest : public ::testing::Test {
 protected:
  FileIoTest() {
    p.sim.AddDrive('C', 1 << 20, 4096);
    p.sim.AddFile("C:\\data.bin", "0123456789");
  }
  RecordingPlatform p;
};

// --- Opening ----------------------------------------------------------------------

TEST_F(FileIoTest, EachOpenerAsksForItsAccessSharingAndDisposition) {
  FileHandle h = OpenForRead(p, "C:\\data.bin");
  CloseFile(p, &h);
  h = OpenForWrite(p, "C:\\data.bin");
  CloseFile(p, &h);
  h = OpenForReadWrite(p, "C:\\data.bin");
  CloseFile(p, &h);
  h = CreateForWrite(p, "C:\\new.bin");
  CloseFile(p, &h);
  using O = RecordingPlatform::Open;
  std::vector<O> expected = {
      {kGenericRead, kFileShareRead, kOpenExisting},
      {kGenericWrite, 0, kOpenExisting},
      {kGenericRead | kGenericWrite, kFileShareRead, kOpenExisting},
      {kGenericWrite, 0, kCreateAlways},
  };
  EXPECT_EQ(p.opens, expected);
}

TEST_F(FileIoTest, ReadersShareWithReadersButNotWithWriters) {
  FileHandle a = OpenForRead(p, "C:\\data.bin");
  FileHandle b = OpenForRead(p, "C:\\data.bin");
  EXPECT_NE(a, kInvalidFile);
  EXPECT_NE(b, kInvalidFile);
  EXPECT_EQ(OpenForWrite(p, "C:\\data.bin"), kInvalidFile);
  EXPECT_EQ(p.GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(OpenForReadWrite(p, "C:\\data.bin"), kInvalidFile);
  EXPECT_EQ(CreateForWrite(p, "C:\\data.bin"), kInvalidFile);
  EXPECT_EQ(p.sim.FileContents("C:\\data.bin"), "0123456789");
  CloseFile(p, &a);
  CloseFile(p, &b);
}

TEST_F(FileIoTest, WritersLockOthersOut) {
  FileHandle w = OpenForWrite(p, "C:\\data.bin");
  ASSERT_NE(w, kInvalidFile);
  EXPECT_EQ(OpenForRead(p, "C:\\data.bin"), kInvalidFile);
  EXPECT_EQ(p.GetLastError(), kErrorSharingViolation);
  CloseFile(p, &w);

  FileHandle rw = OpenForReadWrite(p, "C:\\data.bin");
  ASSERT_NE(rw, kInvalidFile);
  EXPECT_EQ(OpenForRead(p, "C:\\data.bin"), kInvalidFile);
  CloseFile(p, &rw);

  FileHandle created = CreateForWrite(p, "C:\\new.bin");
  ASSERT_NE(created, kInvalidFile);
  EXPECT_EQ(OpenForRead(p, "C:\\new.bin"), kInvalidFile);
  CloseFile(p, &created);
  EXPECT_EQ(p.sim.OpenHandleCount(), 0u);
}

TEST_F(FileIoTest, OpenersFailOnMissingFilesButCreateMakesOne) {
  EXPECT_EQ(OpenForRead(p, "C:\\none.bin"), kInvalidFile);
  EXPECT_EQ(p.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(OpenForWrite(p, "C:\\none.bin"), kInvalidFile);
  EXPECT_EQ(OpenForReadWrite(p, "C:\\none.bin"), kInvalidFile);
  EXPECT_FALSE(p.sim.FileExists("C:\\none.bin"));

  FileHandle h = CreateForWrite(p, "C:\\data.bin");
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(p.sim.FileContents("C:\\data.bin"), "");  // truncated
  CloseFile(p, &h);
}

// --- Reading -------------------------------------------------------------------------

TEST_F(FileIoTest, ReadExactWantsEveryByte) {
  FileHandle h = OpenForRead(p, "C:\\data.bin");
  char buffer[16] = {};
  EXPECT_TRUE(ReadExact(p, h, buffer, 4));
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_TRUE(ReadExact(p, h, buffer, 0));
  // Only six bytes are left: a short read is a failure.
  EXPECT_FALSE(ReadExact(p, h, buffer, 7));
  EXPECT_FALSE(ReadExact(p, h, buffer, 1));  // at the end
  CloseFile(p, &h);
}

TEST_F(FileIoTest, ReadExactFailsWhenTheCallFails) {
  FileHandle h = OpenForWrite(p, "C:\\data.bin");
  char buffer[4];
  EXPECT_FALSE(ReadExact(p, h, buffer, 4));
  EXPECT_FALSE(ReadExact(p, kInvalidFile, buffer, 0));
  CloseFile(p, &h);
}

TEST_F(FileIoTest, ReadUpToReturnsWhatItGot) {
  FileHandle h = OpenForRead(p, "C:\\data.bin");
  char buffer[16];
  EXPECT_EQ(ReadUpTo(p, h, buffer, 4), 4u);
  EXPECT_EQ(ReadUpTo(p, h, buffer, 16), 6u);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(ReadUpTo(p, h, buffer, 16), 0u);
  CloseFile(p, &h);

  h = OpenForWrite(p, "C:\\data.bin");
  EXPECT_EQ(ReadUpTo(p, h, buffer, 4), 0u);
  CloseFile(p, &h);
}

TEST_F(FileIoTest, ReadThatFailsPartWayCountsAsNothing) {
  FileHandle h = OpenForRead(p, "C:\\data.bin");
  p.readErrorAfterBytes = true;
  char buffer[16];
  EXPECT_EQ(ReadUpTo(p, h, buffer, 4), 0u);
  EXPECT_FALSE(ReadExact(p, h, buffer, 4));
  CloseFile(p, &h);
}

// --- Writing -------------------------------------------------------------------------

TEST_F(FileIoTest, WriteBytesTellsFailureFromAShortWrite) {
  FileHandle h = CreateForWrite(p, "C:\\out.bin");
  EXPECT_EQ(WriteBytes(p, h, "abc", 3), WRITE_OK);
  CloseFile(p, &h);
  EXPECT_EQ(p.sim.FileContents("C:\\out.bin"), "abc");

  // The call itself fails on a handle that cannot write.
  h = OpenForRead(p, "C:\\out.bin");
  EXPECT_EQ(WriteBytes(p, h, "abc", 3), WRITE_FAILED);
  CloseFile(p, &h);
  EXPECT_EQ(WriteBytes(p, kInvalidFile, "abc", 3), WRITE_FAILED);

  // A full drive takes part of it.
  p.sim.AddDrive('E', 4096, 4096);
  h = CreateForWrite(p, "E:\\out.bin");
  std::string big(5000, 'x');
  EXPECT_EQ(WriteBytes(p, h, big.data(), 5000), WRITE_SHORT);
  EXPECT_EQ(WriteBytes(p, h, "y", 1), WRITE_SHORT);  // nothing fits at all
  CloseFile(p, &h);
  EXPECT_EQ(p.sim.FileContents("E:\\out.bin"), std::string(4096, 'x'));
}

// --- Position and size ---------------------------------------------------------------

TEST_F(FileIoTest, SeekAndTell) {
  FileHandle h = OpenForRead(p, "C:\\data.bin");
  EXPECT_EQ(SeekFile(p, h, 3, kFileBegin), 3u);
  EXPECT_EQ(TellFile(p, h), 3u);
  EXPECT_EQ(SeekFile(p, h, 2, kFileCurrent), 5u);
  EXPECT_EQ(SeekFile(p, h, -1, kFileEnd), 9u);
  char c = 0;
  EXPECT_TRUE(ReadExact(p, h, &c, 1));
  EXPECT_EQ(c, '9');
  EXPECT_EQ(TellFile(p, h), 10u);
  EXPECT_EQ(SeekFile(p, h, -20, kFileCurrent), kInvalidSetFilePointer);
  EXPECT_EQ(TellFile(p, h), 10u);
  CloseFile(p, &h);
  EXPECT_EQ(TellFile(p, kInvalidFile), kInvalidSetFilePointer);
}

TEST_F(FileIoTest, FileSizeLeavesThePositionWhereItWas) {
  FileHandle h = OpenForRead(p, "C:\\data.bin");
  EXPECT_EQ(FileSize(p, h), 10u);
  EXPECT_EQ(TellFile(p, h), 0u);
  SeekFile(p, h, 7, kFileBegin);
  EXPECT_EQ(FileSize(p, h), 10u);
  EXPECT_EQ(TellFile(p, h), 7u);
  char c = 0;
  ASSERT_TRUE(ReadExact(p, h, &c, 1));
  EXPECT_EQ(c, '7');
  // Past the end, too.
  SeekFile(p, h, 50, kFileBegin);
  EXPECT_EQ(FileSize(p, h), 10u);
  EXPECT_EQ(TellFile(p, h), 50u);
  CloseFile(p, &h);
}

TEST_F(FileIoTest, FileSizeFollowsWrites) {
  FileHandle h = CreateForWrite(p, "C:\\grow.bin");
  EXPECT_EQ(FileSize(p, h), 0u);
  ASSERT_EQ(WriteBytes(p, h, "abcdef", 6), WRITE_OK);
  EXPECT_EQ(FileSize(p, h), 6u);
  EXPECT_EQ(TellFile(p, h), 6u);
  CloseFile(p, &h);
  EXPECT_EQ(FileSize(p, kInvalidFile), kInvalidSetFilePointer);
}

// --- Closing -------------------------------------------------------------------------

TEST_F(FileIoTest, CloseFileClosesOnceAndForgetsTheHandle) {
  FileHandle h = OpenForRead(p, "C:\\data.bin");
  ASSERT_NE(h, kInvalidFile);
  CloseFile(p, &h);
  EXPECT_EQ(h, kInvalidFile);
  EXPECT_EQ(p.closes, 1);
  EXPECT_EQ(p.sim.OpenHandleCount(), 0u);
  CloseFile(p, &h);
  EXPECT_EQ(p.closes, 1);  // an invalid handle is not passed on
  // The file is free again.
  EXPECT_EQ(p.sim.DeleteFileA("C:\\data.bin"), 1);
}

}  // namespace
}  // namespace setup
