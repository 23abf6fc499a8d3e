#include "decode/checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/file_io.h"
#include "platform/sim/sim_platform.h"

namespace setup {
namespace {

uint32_t Sum(const std::string& s, uint32_t initial = 0) {
  return ComputeChecksum(s.data(), static_cast<uint32_t>(s.size()), initial);
}

TEST(ChecksumTest, KnownValues) {
  EXPECT_EQ(Sum(""), 0u);
  EXPECT_EQ(Sum("abc"), 0x000002ABu);
  EXPECT_EQ(Sum("abcd"), 0x64636261u);
  EXPECT_EQ(Sum("abcde"), 0xC8C6C527u);
  EXPECT_EQ(Sum(std::string(8, '\xFF')), 0xFFFFFFFEu);
}

TEST(ChecksumTest, ChainsOnlyAtWholeWords) {
  EXPECT_EQ(Sum("e", Sum("abcd")), Sum("abcde"));
  EXPECT_NE(Sum("de", Sum("abc")), Sum("abcde"));
}

TEST(ChecksumTest, UnalignedBufferSumsTheSame) {
  std::string padded = "xabcde";
  EXPECT_EQ(ComputeChecksum(padded.data() + 1, 5, 0), 0xC8C6C527u);
}

TEST(ChecksumTest, FileSumEqualsOnePassAcrossChunks) {
  SimPlatform platform;
  platform.AddDrive('C', 1 << 20);
  std::string data(40000, '\0');
  std::mt19937 rng(7);
  for (char& c : data) c = static_cast<char>(rng());
  platform.AddFile("C:\\f.bin", data);
  FileHandle file = OpenForRead(platform, "C:\\f.bin");
  EXPECT_EQ(FileChecksum(platform, file), Sum(data));
  CloseFile(platform, &file);

  platform.AddFile("C:\\empty.bin", "");
  file = OpenForRead(platform, "C:\\empty.bin");
  EXPECT_EQ(FileChecksum(platform, file), 0u);
  CloseFile(platform, &file);
  EXPECT_EQ(platform.OutstandingBlocks(), 0u);
}

TEST(ChecksumTest, FileSumIsZeroWithoutABuffer) {
  SimPlatform platform;
  platform.AddDrive('C', 1 << 20);
  platform.AddFile("C:\\f.bin", "abcd");
  platform.allocationFails = [](uint32_t) { return true; };
  FileHandle file = OpenForRead(platform, "C:\\f.bin");
  EXPECT_EQ(FileChecksum(platform, file), 0u);
  EXPECT_EQ(platform.heapCompactions, 1);
  CloseFile(platform, &file);
}

}  // namespace
}  // namespace setup
