// Data items: flags, a u16 or u32 size, for compressed items a u16 or u32
// stream length, then the raw bytes or one stream, read from the file-data
// region at the reader's position.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/memory.h"
#include "decode/package_reader.h"
#include "tools/streamwriter/stream_writer.h"
#include "unit/support/package_data.h"

namespace setup {
namespace {

using test::ByteWriter;
using test::CompressedItem;
using test::Noise;
using test::PackageMachine;
using test::RawItem;
using test::StoredStream;

struct Item {
  int result;
  uint32_t size;
  std::string bytes;
  bool bufferTouched;
};

std::string Text(size_t size, unsigned seed) {
  std::string out;
  for (size_t i = 0; i < size; ++i) out.push_back(static_cast<char>('a' + (i * seed + i / 7) % 23));
  return out;
}

std::string Deflated(const std::string& data, tools::Compressor compressor, int level) {
  tools::StreamOptions options;
  options.compressor = compressor;
  options.level = level;
  return test::AsString(
      tools::WriteStream(reinterpret_cast<const uint8_t*>(data.data()), data.size(), options));
}

class DataItemTest : public ::testing::Test {
 protected:
  // The region, all in the setup file or split into volumes after `lengths`.
  void Put(const std::string& region, std::vector<uint32_t> lengths = {}) {
    if (lengths.empty()) lengths = {static_cast<uint32_t>(region.size())};
    m.WriteRegion(region, lengths);
    m.Begin();
    ASSERT_EQ(SeekPackageData(m.context.reader, 0), 0);
  }
  Item Read() {
    uint8_t sentinel = 0;
    uint8_t* buffer = &sentinel;
    Item item{};
    item.size = 0xDEADBEEF;
    item.result = ReadDataItem(m.context.reader, &buffer, &item.size);
    item.bufferTouched = buffer != &sentinel;
    if (item.result == 0 && item.bufferTouched) {
      item.bytes.assign(reinterpret_cast<char*>(buffer), item.size);
      FreeBlock(m.platform, &buffer);
    }
    return item;
  }
  void ExpectItem(const std::string& expected) {
    Item item = Read();
    ASSERT_EQ(item.result, 0);
    EXPECT_EQ(item.size, expected.size());
    EXPECT_TRUE(item.bytes == expected) << "item of " << expected.size() << " bytes differs";
  }
  void ExpectCorrupt(const char* subject) {
    Item item = Read();
    EXPECT_EQ(item.result, ERR_CORRUPT);
    EXPECT_EQ(m.context.run.error.number, ERR_CORRUPT);
    EXPECT_STREQ(m.context.run.error.subject, subject);
    EXPECT_FALSE(item.bufferTouched);
  }
  void ExpectNoBlocksLeft() {
    m.context.reader.decoder.ReleaseBuffers();
    EXPECT_EQ(m.sim.OutstandingBlocks(), 0u);
    EXPECT_EQ(m.sim.invalidFrees, 0);
  }

  PackageMachine m;
};

TEST_F(DataItemTest, RawItemWithU16Size) {
  Put(ByteWriter().U8(0x00).U16(11).Raw("hello world").Raw("tail").str());
  ExpectItem("hello world");
  EXPECT_EQ(m.Read(4), "tail");
}

TEST_F(DataItemTest, RawItemWithU32Size) {
  std::string data = Noise(70000, 3);
  Put(ByteWriter().U8(0x02).U32(70000).Raw(data).Raw("tail").str());
  ExpectItem(data);
  EXPECT_EQ(m.Read(4), "tail");
}

TEST_F(DataItemTest, CompressedItemInEveryFieldWidth) {
  const std::string data = "stored block data";
  const std::string stream = StoredStream(data);  // 3 + 17 bytes
  const std::vector<std::string> items = {
      ByteWriter().U8(0x01).U16(17).U16(20).Raw(stream).str(),
      ByteWriter().U8(0x03).U32(17).U16(20).Raw(stream).str(),
      ByteWriter().U8(0x05).U16(17).U32(20).Raw(stream).str(),
      ByteWriter().U8(0x07).U32(17).U32(20).Raw(stream).str(),
  };
  for (const std::string& item : items) {
    SCOPED_TRACE(static_cast<int>(item[0]));
    Put(item + RawItem("next"));
    ExpectItem(data);
    ExpectItem("next");
  }
}

TEST_F(DataItemTest, CompressedItemsFromBothCompressors) {
  const std::string data = Text(20000, 5) + Noise(3000, 4);
  for (tools::Compressor c : {tools::Compressor::Libdeflate, tools::Compressor::Zlib}) {
    for (int level : {1, 9}) {
      SCOPED_TRACE(level);
      std::string stream = Deflated(data, c, level);
      Put(CompressedItem(static_cast<uint32_t>(data.size()), stream, false, false) + "after");
      ExpectItem(data);
      EXPECT_EQ(m.Read(5), "after");
    }
  }
}

TEST_F(DataItemTest, SizeZeroReadsOnlyFlagsAndSize) {
  // Flags that ask for a compressed length still read none when the size is 0.
  Put(ByteWriter().U8(0x00).U16(0).U8(0x03).U32(0).U8(0x01).U16(0).str() + RawItem("next"));
  for (int i = 0; i < 3; ++i) {
    Item item = Read();
    EXPECT_EQ(item.result, 0);
    EXPECT_EQ(item.size, 0u);
    EXPECT_FALSE(item.bufferTouched);
  }
  ExpectItem("next");
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, StreamShorterThanTheSizeIsCorrupt) {
  Put(CompressedItem(18, StoredStream("only seventeen!!!"), false, false));
  ExpectCorrupt("C:\\SETUP.EXE");
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, StreamLongerThanTheSizeIsCorrupt) {
  Put(CompressedItem(10, StoredStream(std::string(4000, 'z')), false, false));
  ExpectCorrupt("C:\\SETUP.EXE");
  ExpectNoBlocksLeft();
}

// A stream that needs more bytes than its stated length takes them straight
// from the volume file. What it takes must still count against the volume.
TEST_F(DataItemTest, StreamLongerThanItsStatedLengthKeepsTheVolumeCountRight) {
  std::string stream = StoredStream("abcdef");  // 9 bytes, stated as 8
  std::string item = ByteWriter().U8(0x01).U16(6).U16(8).Raw(stream).str();
  m.WriteSetupFile("0123456789");
  m.WriteVolume("C:\\SETUP.D01", item, "JJJJJJJJ");
  m.WriteVolume("C:\\SETUP.D02", RawItem("next"));
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 10), 0);
  ExpectItem("abcdef");
  ExpectItem("next");
}

TEST_F(DataItemTest, StreamReachingPastTheVolumeDataIsCorrupt) {
  // The stream's last byte stands after the volume's data, among trailing bytes.
  std::string stream = StoredStream("abcdef");
  std::string item = ByteWriter().U8(0x01).U16(6).U16(8).Raw(stream).str();
  m.WriteSetupFile("0123456789");
  m.WriteVolume("C:\\SETUP.D01", item.substr(0, item.size() - 1), item.substr(item.size() - 1) + "JJJ");
  m.WriteVolume("C:\\SETUP.D02", RawItem("next"));
  m.Begin();
  ASSERT_EQ(SeekPackageData(m.context.reader, 10), 0);
  ExpectCorrupt("C:\\SETUP.D01");
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, InvalidStreamIsCorrupt) {
  // Block type 0 does not exist.
  Put(CompressedItem(4, ByteWriter().U8(0x08).U8(0).U8(0).str(), false, false));
  ExpectCorrupt("C:\\SETUP.EXE");
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, ItemCutOffByTheEndOfTheRegionIsCorrupt) {
  const std::vector<std::string> cut = {
      ByteWriter().U8(0x00).U8(5).str(),             // half a u16 size
      ByteWriter().U8(0x02).U16(5).U8(0).str(),      // three quarters of a u32 size
      ByteWriter().U8(0x01).U16(5).U8(8).str(),      // half a stream length
      ByteWriter().U8(0x00).U16(5).Raw("abcd").str(),  // one data byte short
  };
  for (const std::string& region : cut) {
    SCOPED_TRACE(region.size());
    m.context.run = {};
    Put(region);
    // The region goes on in the next volume, which is not there.
    ExpectCorrupt("C:\\SETUP.D01");
  }
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, DamageInAVolumeNamesThatVolume) {
  std::string region = "0123456789" + CompressedItem(4, ByteWriter().U8(0x08).U8(0).U8(0).str());
  Put(region, {10, static_cast<uint32_t>(region.size() - 10)});
  ASSERT_EQ(SeekPackageData(m.context.reader, 10), 0);
  ExpectCorrupt("C:\\SETUP.D01");
}

TEST_F(DataItemTest, NoMemoryForTheItem) {
  Put(RawItem(std::string(1234, 'm')));
  m.sim.allocationFails = [](uint32_t size) { return size == 1234; };
  Item item = Read();
  EXPECT_EQ(item.result, ERR_OUT_OF_MEMORY);
  EXPECT_FALSE(item.bufferTouched);
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, CompressedItemInAMissingVolumeAborts) {
  std::string data = Text(3000, 3);
  std::string item = CompressedItem(3000, Deflated(data, tools::Compressor::Libdeflate, 6));
  m.WriteSetupFile(item.substr(0, item.size() / 2));
  m.Begin();
  Item read = Read();
  EXPECT_EQ(read.result, RESULT_ABORTED);
  EXPECT_FALSE(read.bufferTouched);
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, CompressedItemAbortsWhenTheDiskIsGivenUp) {
  m.context.run.removableMedia = true;
  m.sim.answers = {kIdCancel, kIdYes};
  std::string item = CompressedItem(100, StoredStream(std::string(100, 'q')));
  m.WriteSetupFile(item.substr(0, 50));
  m.Begin();
  EXPECT_EQ(Read().result, RESULT_ABORTED);
  EXPECT_EQ(m.context.run.pageResult, PAGE_END);
  ExpectNoBlocksLeft();
}

TEST_F(DataItemTest, RawItemInAMissingVolumeIsCorrupt) {
  std::string item = RawItem(std::string(100, 'r'));
  m.WriteSetupFile(item.substr(0, 50));
  m.Begin();
  ExpectCorrupt("C:\\SETUP.D01");
  ExpectNoBlocksLeft();
}

// Items back to back: the decoder reads ahead in blocks of 4096 bytes and
// must give back what belongs to the next item.
class BackToBackItemsTest : public DataItemTest {
 protected:
  void SetUp() override {
    first = Text(9000, 11);
    second = "second item, stored by hand";
    third = Noise(300, 9);
    fourth = Text(5000, 13);
    region = CompressedItem(9000, Deflated(first, tools::Compressor::Libdeflate, 12)) +
             CompressedItem(static_cast<uint32_t>(second.size()), StoredStream(second), true,
                            true) +
             RawItem(third) +
             CompressedItem(5000, Deflated(fourth, tools::Compressor::Zlib, 6), false, true) +
             RawItem("", true) + RawItem("end");
  }
  void ReadAll() {
    ExpectItem(first);
    ExpectItem(second);
    ExpectItem(third);
    ExpectItem(fourth);
    Item empty = Read();
    EXPECT_EQ(empty.result, 0);
    EXPECT_EQ(empty.size, 0u);
    ExpectItem("end");
  }

  std::string first, second, third, fourth, region;
};

TEST_F(BackToBackItemsTest, InTheSetupFile) {
  Put(region);
  ReadAll();
  ExpectNoBlocksLeft();
}

TEST_F(BackToBackItemsTest, SplitOverTwoVolumesAtEveryKindOfPlace) {
  const uint32_t size = static_cast<uint32_t>(region.size());
  for (uint32_t split = 0; split <= size; split += split < 12 ? 1 : 97) {
    SCOPED_TRACE(split);
    Put(region, {split, size - split});
    ReadAll();
    if (HasFailure()) break;
  }
  ExpectNoBlocksLeft();
}

TEST_F(BackToBackItemsTest, SplitOverManySmallVolumes) {
  std::vector<uint32_t> lengths;
  uint32_t left = static_cast<uint32_t>(region.size());
  for (uint32_t k = 0; left > 0; ++k) {
    uint32_t n = std::min(left, 700 + 131 * (k % 5));
    lengths.push_back(n);
    left -= n;
  }
  Put(region, lengths);
  ReadAll();
}

}  // namespace
}  // namespace setup
