// The Windows rules that every non-Windows backend copies (platform/
// windows_rules.h), checked the same way over the simulated machine and the
// host backend: seek targets and their errors, errors for missing files and
// folders, and message-box answers.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>

#include "platform/host/host_platform.h"
#include "platform/sim/sim_platform.h"
#include "platform/windows_rules.h"

namespace setup {
namespace {

namespace fs = std::filesystem;

// Each backend gives a Platform and the engine's names for files in a folder
// of its own, and can put a file there.
struct SimBackend {
  SimBackend() { sim.AddDrive('C', 1 << 20); }
  Platform& platform() { return sim; }
  std::string Path(const std::string& name) const { return "C:\\" + name; }
  void Put(const std::string& name, const std::string& data) { sim.AddFile(Path(name), data); }
  void Quiet() {}

  SimPlatform sim;
};

struct HostBackend {
  HostBackend() {
    std::string pattern = (fs::temp_directory_path() / "conformance-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) root = pattern;
  }
  ~HostBackend() {
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }
  Platform& platform() { return host; }
  std::string Path(const std::string& name) const {
    char out[4096];
    ToEnginePath((root / name).c_str(), out, sizeof out);
    return out;
  }
  void Put(const std::string& name, const std::string& data) {
    std::ofstream(root / name, std::ios::binary) << data;
  }
  // The host backend prints every message box; keep the test output clean.
  void Quiet() { ::testing::internal::CaptureStderr(); }

  fs::path root;
  HostPlatform host;
};

template <typename Backend>
class ConformanceTest : public ::testing::Test {
 protected:
  FileHandle OpenTenBytes() {
    backend.Put("f.bin", "0123456789");
    return p().CreateFileA(backend.Path("f.bin").c_str(), kGenericRead, kFileShareRead,
                           kOpenExisting);
  }
  Platform& p() { return backend.platform(); }

  Backend backend;
};

using Backends = ::testing::Types<SimBackend, HostBackend>;
TYPED_TEST_SUITE(ConformanceTest, Backends);

// One seek from a given start on a 10-byte file: the position it gives, or
// kInvalidSetFilePointer with its error and the position left where it was.
struct SeekCase {
  const char* what;
  uint32_t from;  // the position before, set from the start
  int32_t distance;
  uint32_t origin;
  uint32_t position;
  uint32_t error;  // when the seek fails
};

const SeekCase kSeeks[] = {
    {"from the start", 0, 4, kFileBegin, 4, 0},
    {"back from here", 4, -3, kFileCurrent, 1, 0},
    {"forward from here", 3, 3, kFileCurrent, 6, 0},
    {"back from the end", 6, -2, kFileEnd, 8, 0},
    {"to the end: the size", 0, 0, kFileEnd, 10, 0},
    {"past the end", 0, 100, kFileBegin, 100, 0},
    {"just before 4 GiB", INT32_MAX, INT32_MAX, kFileCurrent, 0xFFFFFFFEu, 0},
    {"before the start from here", 5, -6, kFileCurrent, kInvalidSetFilePointer,
     kErrorNegativeSeek},
    {"before the start from the end", 5, -11, kFileEnd, kInvalidSetFilePointer,
     kErrorNegativeSeek},
    {"negative from the start", 5, -1, kFileBegin, kInvalidSetFilePointer, kErrorNegativeSeek},
    {"most negative from the start", 5, INT32_MIN, kFileBegin, kInvalidSetFilePointer,
     kErrorNegativeSeek},
    {"to 4 GiB: needs the high part", 0xFFFFFFFEu, 1, kFileCurrent, kInvalidSetFilePointer,
     kErrorInvalidParameter},
    {"unknown origin", 5, 0, 7, kInvalidSetFilePointer, kErrorInvalidParameter},
};

TYPED_TEST(ConformanceTest, SeekTargetsAndTheirErrors) {
  for (const SeekCase& c : kSeeks) {
    SCOPED_TRACE(c.what);
    FileHandle h = this->OpenTenBytes();
    ASSERT_NE(h, kInvalidFile);
    // Positions beyond 2 GiB are reached in two steps.
    uint32_t first = c.from > INT32_MAX ? INT32_MAX : c.from;
    ASSERT_EQ(this->p().SetFilePointer(h, static_cast<int32_t>(first), kFileBegin), first);
    if (c.from > first) {
      ASSERT_EQ(this->p().SetFilePointer(h, static_cast<int32_t>(c.from - first), kFileCurrent),
                c.from);
    }
    EXPECT_EQ(this->p().SetFilePointer(h, c.distance, c.origin), c.position);
    if (c.position == kInvalidSetFilePointer) {
      EXPECT_EQ(this->p().GetLastError(), c.error);
      EXPECT_EQ(this->p().SetFilePointer(h, 0, kFileCurrent), c.from);
    }
    this->p().CloseHandle(h);
  }
}

TYPED_TEST(ConformanceTest, ReadsFollowTheFilePointer) {
  FileHandle h = this->OpenTenBytes();
  ASSERT_NE(h, kInvalidFile);
  char buffer[16] = {};
  uint32_t done = 0xDEAD;
  ASSERT_EQ(this->p().SetFilePointer(h, -3, kFileEnd), 7u);
  EXPECT_EQ(this->p().ReadFile(h, buffer, 5, &done), 1);
  EXPECT_EQ(std::string(buffer, done), "789");
  // At or past the end a read succeeds and delivers nothing.
  EXPECT_EQ(this->p().ReadFile(h, buffer, 5, &done), 1);
  EXPECT_EQ(done, 0u);
  ASSERT_EQ(this->p().SetFilePointer(h, 100, kFileBegin), 100u);
  EXPECT_EQ(this->p().ReadFile(h, buffer, 5, &done), 1);
  EXPECT_EQ(done, 0u);
  this->p().CloseHandle(h);
}

TYPED_TEST(ConformanceTest, MissingFileAndMissingFolderGiveDifferentErrors) {
  Platform& p = this->p();
  std::string none = this->backend.Path("none.txt");
  std::string deep = this->backend.Path("nodir\\none.txt");
  EXPECT_EQ(p.CreateFileA(none.c_str(), kGenericRead, 0, kOpenExisting), kInvalidFile);
  EXPECT_EQ(p.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(p.CreateFileA(deep.c_str(), kGenericRead, 0, kOpenExisting), kInvalidFile);
  EXPECT_EQ(p.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(p.CreateFileA(deep.c_str(), kGenericWrite, 0, kCreateAlways), kInvalidFile);
  EXPECT_EQ(p.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(p.GetFileAttributesA(none.c_str()), kInvalidFileAttributes);
  EXPECT_EQ(p.GetLastError(), kErrorFileNotFound);
}

// Whoever answers a box, the answer is one of its buttons.
TYPED_TEST(ConformanceTest, UnansweredMessageBoxesAnswerWithOneOfTheirButtons) {
  this->backend.Quiet();
  for (uint32_t type : {kMbOk, kMbOkCancel, kMbAbortRetryIgnore, kMbYesNoCancel, kMbYesNo,
                        kMbRetryCancel, kMbCancelTryContinue,
                        kMbYesNo | kMbIconQuestion | kMbDefButton2}) {
    int answer = this->p().MessageBoxA(0, "text", "caption", type);
    EXPECT_TRUE(IsButtonOf(type, answer)) << "type " << type << " answered " << answer;
  }
  if constexpr (std::is_same_v<TypeParam, HostBackend>) ::testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace setup
