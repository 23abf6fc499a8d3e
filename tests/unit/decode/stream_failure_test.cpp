// Streams that cannot be decoded whole: input cut short, memory that runs
// out, and sinks without room for the output.
#include "decode/stream_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_io.h"
#include "tools/streamwriter/stream_writer.h"
#include "unit/support/block_writer.h"
#include "unit/support/decode_harness.h"
#include "unit/support/sim_counted_reader.h"

namespace setup {
namespace {

using test::BitWriter;
using test::DecodeHarness;
using test::DecodeOutcome;
using test::Feed;
using test::Huffman;
using test::RandomBytes;
using test::StreamBuilder;

// A stream with every kind of block: dynamic, stored (one empty), fixed.
StreamBuilder MixedStream() {
  StreamBuilder b;
  std::vector<uint8_t> literal(260, 0);
  for (unsigned c = 'a'; c <= 'p'; ++c) literal[c] = 5;  // 16 codes: half the space
  literal[256] = 3;
  literal[257] = 3;
  literal[258] = 3;
  literal[259] = 3;
  b.Dynamic(false, Huffman(literal), Huffman({2, 2, 2, 2}));
  b.Literals(test::Bytes("abcdefghijklmnop"));
  b.Match(3, 1);
  b.Match(5, 4);
  b.Match(4, 3);
  b.End();
  b.Stored(RandomBytes(40, 1), false);
  b.Stored({}, false);
  b.Fixed(false);
  b.Literals(test::Bytes("fixed"));
  b.Match(258, 50);
  b.End();
  b.Stored(test::Bytes("tail"), false);
  b.Fixed(true);
  b.Literal('!');
  b.Match(10, 1);
  b.End();
  return b;
}

// ---------------------------------------------------------------------------
// Input that ends early

class StreamDecoderTruncationTest : public ::testing::TestWithParam<Feed> {};

INSTANTIATE_TEST_SUITE_P(StreamDecoder, StreamDecoderTruncationTest,
                         ::testing::Values(Feed::File, Feed::Trickle),
                         [](const auto& info) { return test::FeedName(info.param); });

TEST_P(StreamDecoderTruncationTest, CutAtEveryByteOfAMultiBlockStreamFailsWithResult1) {
  // Supplied zero bits may be decoded before the cut is noticed: as the end
  // of an end-of-block code, as a block header of type 0-4, as lengths that
  // over-subscribe a code. Whatever they decode to, the stream fails with 1.
  // The cuts include the empty input, one right after a non-final stored
  // block, and some where zeros end the dynamic block and form a header.
  StreamBuilder b = MixedStream();
  std::vector<uint8_t> stream = b.Bytes();
  ASSERT_GT(stream.size(), 100u);
  std::string wrong;
  for (size_t cut = 0; cut < stream.size(); ++cut) {
    DecodeHarness h;
    DecodeOutcome out = h.DecodeFed(std::vector<uint8_t>(stream.begin(), stream.begin() + cut),
                                    GetParam());
    if (out.entryResult != DECODE_FAILED || out.streamResult != STREAM_BAD_DATA) {
      wrong += " " + std::to_string(cut) + ":" + std::to_string(out.streamResult);
    }
    EXPECT_LE(out.bytes.size(), b.expected.size()) << cut;
  }
  EXPECT_EQ(wrong, "") << "cut:result for the cuts that did not fail with 1, of "
                       << stream.size() << " bytes";
}

TEST_P(StreamDecoderTruncationTest, BytesAfterTheStreamMayBeCutOff) {
  std::vector<uint8_t> file = MixedStream().Bytes();
  size_t size = file.size();
  file.insert(file.end(), {0xFF, 0x00, 0xFF});
  for (size_t cut = size; cut <= file.size(); ++cut) {
    DecodeHarness h;
    DecodeOutcome out = h.DecodeFed(std::vector<uint8_t>(file.begin(), file.begin() + cut),
                                    GetParam());
    EXPECT_EQ(out.entryResult, DECODE_OK) << cut;
    EXPECT_EQ(out.positionAfter, size) << cut;
  }
}

TEST_P(StreamDecoderTruncationTest, CutTranscodedStreamsFailWithResult1) {
  std::vector<uint8_t> text;
  for (int i = 0; text.size() < 60000; ++i) {
    std::string line = "line " + std::to_string(i * 7919 % 1000) + " of the package\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  std::vector<uint8_t> noise = RandomBytes(3000, 2);
  text.insert(text.begin() + 20000, noise.begin(), noise.end());
  for (auto options : {tools::StreamOptions{tools::Compressor::Libdeflate, 9},
                       tools::StreamOptions{tools::Compressor::Zlib, 6}}) {
    std::vector<uint8_t> stream = tools::WriteStream(text.data(), text.size(), options);
    for (size_t cut = 0; cut < stream.size(); cut += cut + 64 < stream.size() ? 97 : 1) {
      DecodeHarness h;
      DecodeOutcome out = h.DecodeFed(std::vector<uint8_t>(stream.begin(), stream.begin() + cut),
                                      GetParam());
      EXPECT_EQ(out.entryResult, DECODE_FAILED) << cut;
      EXPECT_EQ(out.streamResult, STREAM_BAD_DATA) << cut;
    }
  }
}

TEST_P(StreamDecoderTruncationTest, CutInsideTheLastEndOfBlockCodeFailsWithResult1) {
  // Fixed end of block is seven zero bits; its last three sit alone in the
  // last byte. Without that byte, supplied zeros would complete it.
  BitWriter w;
  w.Bits(test::kFixed | test::kFinal, 4);
  test::FixedLiteralCode().Put(w, 'a');
  test::FixedLiteralCode().Put(w, 256);
  ASSERT_EQ(w.bytes().size(), 3u);
  std::vector<uint8_t> cut(w.bytes().begin(), w.bytes().begin() + 2);
  DecodeHarness h;
  DecodeOutcome out = h.DecodeFed(cut, GetParam());
  EXPECT_EQ(out.entryResult, DECODE_FAILED);
  EXPECT_EQ(out.streamResult, STREAM_BAD_DATA);
  EXPECT_TRUE(out.bytes.empty());
}

TEST_P(StreamDecoderTruncationTest, CutRightAfterANonFinalStoredBlockFailsWithResult1) {
  // The next header would be read from supplied zero bits: type 0, which
  // must not turn into result 2.
  StreamBuilder b;
  b.Stored(test::Bytes("abc"), false);
  DecodeHarness h;
  DecodeOutcome out = h.DecodeFed(b.Bytes(), GetParam());
  EXPECT_EQ(out.entryResult, DECODE_FAILED);
  EXPECT_EQ(out.streamResult, STREAM_BAD_DATA);
}

TEST_P(StreamDecoderTruncationTest, LengthsCompletedFromSuppliedZerosFailWithResult1) {
  // The input ends after 254 zero lengths. Zero bits decode as code-length
  // symbol 1 (code 0), so the missing lengths would become ones and
  // over-subscribe the literal code (result 2) before the cut is noticed.
  BitWriter w;
  w.Bits(test::kDynamic | test::kFinal, 4);
  std::array<uint8_t, 19> clc{};
  clc[1] = 1;
  clc[18] = 1;
  test::WriteDynamicHeader(w, 257, 1, clc, {{18, 127}, {18, 105}}, test::kCodeLengthOrder, 10);
  ASSERT_EQ(w.bytes().size(), 8u);  // 64 bits: the stream ends on a byte boundary
  DecodeHarness h;
  DecodeOutcome out = h.DecodeFed(w.bytes(), GetParam());
  EXPECT_EQ(out.entryResult, DECODE_FAILED);
  EXPECT_EQ(out.streamResult, STREAM_BAD_DATA);
}

TEST_P(StreamDecoderTruncationTest, CutInsideARunOfMatchesDoesBoundedWork) {
  // Length 258 (symbol 285) and distance 1 both have all-zero codes, so the
  // supplied zero bits would repeat that match without end.
  std::vector<uint8_t> lengths(286, 0);
  lengths['a'] = 2;
  lengths[256] = 2;
  lengths[285] = 1;
  Huffman code(lengths);
  BitWriter w;
  w.Bits(test::kDynamic, 4);
  test::WriteDynamicHeader(w, 286, 1, test::PlainCodeLengthLengths(),
                           test::PlainRuns(lengths, {1}));
  code.Put(w, 'a');
  for (int i = 0; i < 200; ++i) {
    code.Put(w, 285);
    w.Code(0, 1);
  }
  DecodeHarness h;
  DecodeOutcome out = h.DecodeFed(w.bytes(), GetParam());
  EXPECT_EQ(out.entryResult, DECODE_FAILED);
  EXPECT_EQ(out.streamResult, STREAM_BAD_DATA);
  EXPECT_LE(out.bytes.size(), 65536u);
}

// ---------------------------------------------------------------------------
// Memory

struct AllocationPlan {
  int failRequest = 0;      // 1-based request to fail (both tries); 0: none
  bool keepFailing = false;  // and every request after it
  int requests = 0;
  uint32_t failedSize = 0;  // size of the first failed request since it was last cleared
};

// Installs a heap that fails as planned. A failed request is tried once more
// after compacting the heap; that retry fails too.
void InstallPlan(SimPlatform& platform, AllocationPlan& plan) {
  platform.allocationFails = [&plan, retry = false](uint32_t size) mutable {
    if (retry) {
      retry = false;
      return true;
    }
    ++plan.requests;
    bool fail = plan.requests == plan.failRequest ||
                (plan.keepFailing && plan.failRequest != 0 && plan.requests > plan.failRequest);
    if (fail) {
      retry = true;
      if (plan.failedSize == 0) plan.failedSize = size;
    }
    return fail;
  };
}

TEST(StreamDecoderMemoryTest, EveryAllocationFailingInTurnFailsCleanly) {
  // Two streams on one decoder, then one more with a healthy heap. The first
  // stream builds every kind of table.
  StreamBuilder b = MixedStream();
  std::vector<uint8_t> stream = b.Bytes();
  for (bool keepFailing : {false, true}) {
    int requestsInAll = 0;
    for (int k = 1;; ++k) {
      SCOPED_TRACE(testing::Message() << "request " << k << (keepFailing ? " onwards" : ""));
      AllocationPlan plan{k, keepFailing};
      int results[3];
      DecodeHarness h;
      InstallPlan(h.platform, plan);
      h.platform.AddFile("C:\\s.bin", std::string(stream.begin(), stream.end()));
      {
        StreamDecoder decoder(h.platform, nullptr);
        for (int i = 0; i < 3; ++i) {
          if (i == 2) h.platform.allocationFails = nullptr;
          FileHandle input = OpenForRead(h.platform, "C:\\s.bin");
          test::RecordingSink sink;
          plan.failedSize = 0;
          results[i] = decoder.Decode(sink, input, 0);
          if (results[i] == DECODE_OK) {
            EXPECT_TRUE(sink.bytes == b.expected) << i;
          } else {
            EXPECT_EQ(results[i], DECODE_FAILED) << i;
            // Only the 4096-byte input buffer is needed before a stream starts.
            if (plan.failedSize != 4096) {
              EXPECT_EQ(decoder.LastResult(), STREAM_NO_MEMORY) << i;
            }
          }
          CloseFile(h.platform, &input);
        }
      }
      EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
      EXPECT_EQ(h.platform.invalidFrees, 0);
      EXPECT_EQ(h.platform.OpenHandleCount(), 0u);
      EXPECT_EQ(results[2], DECODE_OK);
      if (!keepFailing) {
        EXPECT_TRUE(results[0] == DECODE_OK || results[1] == DECODE_OK);
      }
      if (plan.requests < k) {
        // Nothing failed any more: every request has been tried.
        EXPECT_EQ(results[0], DECODE_OK);
        EXPECT_EQ(results[1], DECODE_OK);
        requestsInAll = plan.requests;
        break;
      }
      EXPECT_FALSE(results[0] == DECODE_OK && results[1] == DECODE_OK)
          << "a failed allocation went unnoticed";
    }
    // Input buffers, window, fixed tables, code-length and dynamic tables.
    EXPECT_GE(requestsInAll, 8);
  }
}

TEST(StreamDecoderMemoryTest, WindowThatCannotBeAllocatedGivesResult3) {
  StreamBuilder b = MixedStream();
  std::vector<uint8_t> stream = b.Bytes();
  DecodeHarness h;
  h.platform.AddFile("C:\\s.bin", std::string(stream.begin(), stream.end()));
  h.platform.allocationFails = [](uint32_t size) { return size >= 32768; };
  {
    StreamDecoder decoder(h.platform, nullptr);
    FileHandle input = OpenForRead(h.platform, "C:\\s.bin");
    test::RecordingSink sink;
    EXPECT_EQ(decoder.Decode(sink, input, 0), DECODE_FAILED);
    EXPECT_EQ(decoder.LastResult(), STREAM_NO_MEMORY);
    EXPECT_TRUE(sink.writes.empty());
    CloseFile(h.platform, &input);

    h.platform.allocationFails = nullptr;
    input = OpenForRead(h.platform, "C:\\s.bin");
    EXPECT_EQ(decoder.Decode(sink, input, 0), DECODE_OK);
    EXPECT_TRUE(sink.bytes == b.expected);
    CloseFile(h.platform, &input);
  }
  EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
}

// ---------------------------------------------------------------------------
// Sinks

class StreamDecoderSinkTest : public ::testing::Test {
 protected:
  void SetUp() override { h.platform.AddDrive('D', 1u << 30); }
  void Put(const std::vector<uint8_t>& stream) {
    h.platform.AddFile("C:\\s.bin", std::string(stream.begin(), stream.end()));
  }
  FileHandle Open() { return OpenForRead(h.platform, "C:\\s.bin"); }
  void TearDown() override {
    EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
  }

  DecodeHarness h;
};

// `size` bytes of output from stored and fixed blocks.
StreamBuilder StreamOfSize(size_t size) {
  StreamBuilder b;
  size_t head = std::min<size_t>(size, 1000);
  b.Stored(RandomBytes(head, static_cast<uint32_t>(size)), size == head);
  if (size > head) {
    b.Fixed(true);
    for (size_t left = size - head; left > 0; left = size - b.expected.size()) {
      if (left < 3) {
        b.Literal('x');
        continue;
      }
      size_t length = std::min<size_t>(left, 258);
      if (left - length < 3 && left != length) length = left - 3;
      b.Match(static_cast<unsigned>(length), 999);
    }
    b.End();
  }
  return b;
}

TEST_F(StreamDecoderSinkTest, MemorySinkOfExactlyTheOutputSizeSucceeds) {
  for (size_t size : {0u, 100u, 32767u, 32768u, 40000u, 65536u}) {
    SCOPED_TRACE(size);
    StreamBuilder b = StreamOfSize(size);
    ASSERT_EQ(b.expected.size(), size);
    Put(b.Bytes());
    std::vector<uint8_t> memory(size + 64, 0xEE);
    FileHandle input = Open();
    StreamDecoder decoder(h.platform, nullptr);
    EXPECT_EQ(decoder.DecodeToMemory(memory.data(), static_cast<uint32_t>(size), input, 0),
              DECODE_OK);
    EXPECT_TRUE(std::equal(b.expected.begin(), b.expected.end(), memory.begin()));
    EXPECT_EQ(std::count(memory.begin() + size, memory.end(), 0xEE), 64);
    CloseFile(h.platform, &input);
  }
}

TEST_F(StreamDecoderSinkTest, MemorySinkOneByteShortFailsWithoutWritingPastIt) {
  for (size_t size : {1u, 100u, 32768u, 32769u, 40000u, 65536u}) {
    SCOPED_TRACE(size);
    StreamBuilder b = StreamOfSize(size);
    Put(b.Bytes());
    std::vector<uint8_t> memory(size + 64, 0xEE);
    FileHandle input = Open();
    StreamDecoder decoder(h.platform, nullptr);
    EXPECT_EQ(decoder.DecodeToMemory(memory.data(), static_cast<uint32_t>(size - 1), input, 0),
              DECODE_FAILED);
    EXPECT_EQ(decoder.LastResult(), STREAM_BAD_DATA);
    EXPECT_EQ(std::count(memory.begin() + (size - 1), memory.end(), 0xEE), 65);
    CloseFile(h.platform, &input);
  }
}

TEST_F(StreamDecoderSinkTest, NoDestinationOrNoInputFails) {
  Put(StreamOfSize(10).Bytes());
  StreamDecoder decoder(h.platform, nullptr);
  FileHandle input = Open();
  EXPECT_EQ(decoder.DecodeToMemory(nullptr, 10, input, 0), DECODE_FAILED);
  uint8_t memory[10];
  EXPECT_EQ(decoder.DecodeToMemory(memory, 10, kInvalidFile, 0), DECODE_FAILED);
  CloseFile(h.platform, &input);
}

class RefusingSink final : public OutputSink {
 public:
  explicit RefusingSink(int refuse) : refuse_(refuse) {}
  int IsReady() override { return 1; }
  bool Write(const uint8_t*, uint32_t count) override {
    writes.push_back(count);
    return static_cast<int>(writes.size()) != refuse_;
  }
  std::vector<uint32_t> writes;

 private:
  int refuse_;
};

TEST_F(StreamDecoderSinkTest, SinkRefusingAPieceEndsTheStreamWithResult1) {
  StreamBuilder b = StreamOfSize(100000);
  Put(b.Bytes());
  StreamDecoder decoder(h.platform, nullptr);
  for (int refuse = 1; refuse <= 4; ++refuse) {
    SCOPED_TRACE(refuse);
    FileHandle input = Open();
    RefusingSink sink(refuse);
    EXPECT_EQ(decoder.Decode(sink, input, 0), DECODE_FAILED);
    EXPECT_EQ(decoder.LastResult(), STREAM_BAD_DATA);
    EXPECT_EQ(sink.writes.size(), static_cast<size_t>(refuse));  // nothing after the refusal
    CloseFile(h.platform, &input);
  }
}

TEST_F(StreamDecoderSinkTest, FileSinkAppendsTheOutputToTheFile) {
  StreamBuilder b = StreamOfSize(70000);
  Put(b.Bytes());
  h.platform.AddFile("D:\\out.bin", "head");
  FileHandle output = OpenForWrite(h.platform, "D:\\out.bin");
  SeekFile(h.platform, output, 0, kFileEnd);
  FileHandle input = Open();
  StreamDecoder decoder(h.platform, nullptr);
  EXPECT_EQ(decoder.DecodeToFile(output, input, 0), DECODE_OK);
  CloseFile(h.platform, &input);
  CloseFile(h.platform, &output);
  EXPECT_EQ(h.platform.FileContents("D:\\out.bin"),
            "head" + std::string(b.expected.begin(), b.expected.end()));
}

}  // namespace
}  // namespace setup
