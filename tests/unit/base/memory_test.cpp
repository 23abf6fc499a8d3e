#include "base/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "unit/support/forwarding_platform.h"

namespace setup {
namespace {

// The simulated heap, with every heap call noted in order.
class HeapSpy final : public test::ForwardingPlatform {
 public:
  HeapSpy() : ForwardingPlatform(sim) {}
  SimPlatform sim;
  std::vector<char> calls;  // 'a' alloc, 'z' zeroed alloc, 'f' free, 'c' compact
  std::vector<void*> freed;

  void* HeapAlloc(uint32_t size, bool zeroed) override {
    calls.push_back(zeroed ? 'z' : 'a');
    return sim.HeapAlloc(size, zeroed);
  }
  void HeapFree(void* block) override {
    calls.push_back('f');
    freed.push_back(block);
    sim.HeapFree(block);
  }
  void HeapCompact() override {
    calls.push_back('c');
    sim.HeapCompact();
  }
  std::string Calls() const { return std::string(calls.begin(), calls.end()); }

};

// Fails the first `n` allocation attempts, then lets them through.
std::function<bool(uint32_t)> FailFirst(int n) {
  auto left = std::make_shared<int>(n);
  return [left](uint32_t) { return (*left)-- > 0; };
}

TEST(MemoryTest, AllocatesAndFreesABlock) {
  HeapSpy heap;
  void* block = nullptr;
  ASSERT_EQ(AllocBlock(heap, 256, &block), 1);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0x5A, 256);  // all of it is usable
  EXPECT_EQ(heap.sim.OutstandingBlocks(), 1u);
  EXPECT_EQ(heap.Calls(), "a");

  void* kept = block;
  FreeBlock(heap, &block);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(heap.freed, std::vector<void*>{kept});
  EXPECT_EQ(heap.sim.OutstandingBlocks(), 0u);
}

TEST(MemoryTest, ZeroedBlockIsZeroEvenWhenTheHeapIsDirty) {
  HeapSpy heap;
  unsigned char* block = nullptr;
  ASSERT_EQ(AllocZeroedBlock(heap, 4096, &block), 1);
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(heap.Calls(), "z");
  FreeBlock(heap, &block);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(heap.sim.OutstandingBlocks(), 0u);
}

TEST(MemoryTest, FailedTryCompactsTheHeapAndTriesOnceMore) {
  HeapSpy heap;
  heap.sim.allocationFails = FailFirst(1);
  void* block = nullptr;
  EXPECT_EQ(AllocBlock(heap, 64, &block), 1);
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(heap.Calls(), "aca");
  FreeBlock(heap, &block);

  heap.calls.clear();
  heap.sim.allocationFails = FailFirst(1);
  EXPECT_EQ(AllocZeroedBlock(heap, 64, &block), 1);
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(heap.Calls(), "zcz");  // the retry asks for zeroing too
  FreeBlock(heap, &block);
  EXPECT_EQ(heap.sim.OutstandingBlocks(), 0u);
}

TEST(MemoryTest, GivesUpAfterTheSecondTry) {
  HeapSpy heap;
  heap.sim.allocationFails = [](uint32_t) { return true; };
  int stale = 0;
  void* block = &stale;  // whatever was there before
  EXPECT_EQ(AllocBlock(heap, 64, &block), 0);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(heap.Calls(), "aca");

  heap.calls.clear();
  uint32_t* typed = reinterpret_cast<uint32_t*>(&stale);
  EXPECT_EQ(AllocZeroedBlock(heap, 64, &typed), 0);
  EXPECT_EQ(typed, nullptr);
  EXPECT_EQ(heap.Calls(), "zcz");
  EXPECT_EQ(heap.sim.heapCompactions, 2);
  EXPECT_EQ(heap.sim.OutstandingBlocks(), 0u);
}

TEST(MemoryTest, SuccessOnTheFirstTryDoesNotCompact) {
  HeapSpy heap;
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(AllocBlock(heap, 1, &a), 1);
  ASSERT_EQ(AllocZeroedBlock(heap, 0, &b), 1);  // an empty block is still a block
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(heap.sim.heapCompactions, 0);
  FreeBlock(heap, &a);
  FreeBlock(heap, &b);
}

TEST(MemoryTest, FreeingNullDoesNothing) {
  HeapSpy heap;
  void* block = nullptr;
  FreeBlock(heap, &block);
  const char* typed = nullptr;
  FreeBlock(heap, &typed);
  EXPECT_EQ(heap.Calls(), "");
}

TEST(MemoryTest, FreeingTwiceThroughTheSamePointerFreesOnce) {
  HeapSpy heap;
  char* block = nullptr;
  ASSERT_EQ(AllocBlock(heap, 32, &block), 1);
  FreeBlock(heap, &block);
  FreeBlock(heap, &block);
  EXPECT_EQ(heap.Calls(), "af");
  EXPECT_EQ(heap.sim.invalidFrees, 0);
}

}  // namespace
}  // namespace setup
