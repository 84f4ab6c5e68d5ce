// The allocation pool: blocks of every size, pooled or not, are aligned,
// usable to their full size and never share a byte with another live block,
// also across chunks, after reuse and when threads allocate and free the
// same size class together (blocks freed on another thread than their own),
// and when the pool's thread faults in pages that are already written.
// Huge chunks are readied by the pool's own thread, so the first case runs
// under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "pool.h"  // white-box: compiled into this test

namespace hostrt {
namespace {

// A live block filled with a byte that names it.
struct Block {
  unsigned char* bytes;
  size_t size;
  unsigned char tag;
};

Block fill(size_t size, unsigned char tag) {
  auto* bytes = static_cast<unsigned char*>(poolAllocate(size));
  std::memset(bytes, tag, size);
  return {bytes, size, tag};
}

// True when the block still holds only its own tag.
bool intact(const Block& b) {
  for (size_t i = 0; i < b.size; ++i) {
    if (b.bytes[i] != b.tag) return false;
  }
  return true;
}

TEST(PoolBlocks, OfEverySizeAreAlignedWholeAndApartAcrossChunksReadiedByAThreadAndReuse) {
  // Sizes in one class, at class edges, and beyond the pooled sizes.
  const size_t kSizes[] = {1, 15, 16, 17, 48, 224, 464, 1008, 1023, kPoolMaxBlock,
                           kPoolMaxBlock + 1, 5000};
  constexpr int kBlocks = 24000;  // several chunks' worth
  std::vector<Block> blocks;
  for (int i = 0; i < kBlocks; ++i) {
    blocks.push_back(fill(kSizes[size_t(i) % std::size(kSizes)], static_cast<unsigned char>(i)));
  }
  // Every other block goes back and is taken again, now for another size of
  // the table: a freed block serves its own class only.
  for (int i = 0; i < kBlocks; i += 2) poolFree(blocks[size_t(i)].bytes, blocks[size_t(i)].size);
  for (int i = kBlocks - 2; i >= 0; i -= 2) {
    blocks[size_t(i)] = fill(kSizes[size_t(i / 2) % std::size(kSizes)], static_cast<unsigned char>(~i));
  }
  for (const Block& b : blocks) {
    ASSERT_EQ(reinterpret_cast<uintptr_t>(b.bytes) % alignof(std::max_align_t), 0u) << b.size;
    ASSERT_TRUE(intact(b)) << "a block of " << b.size << " bytes was overwritten";
  }
  for (const Block& b : blocks) poolFree(b.bytes, b.size);
}

TEST(PoolBlocks, ResizingKeepsTheBytesWithinAndAcrossPooledHeapAndMappedSizes) {
  // Steps up and down through the three kinds of block and inside each.
  const size_t kSteps[] = {16,          40,          kPoolMaxBlock, kPoolMaxBlock + 1,
                           64 << 10,    kMappedBlock - 1, kMappedBlock, kMappedBlock + 1,
                           3 * kMappedBlock, kMappedBlock + 1, 5000, 1000, 17, 0x100000, 24};
  for (SmallBlocks small : {SmallBlocks::kPooled, SmallBlocks::kMalloc}) {
    size_t size = 8;
    auto* bytes = static_cast<unsigned char*>(blockAllocate(size, small));
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    for (size_t next : kSteps) {
      bytes = static_cast<unsigned char*>(blockResize(bytes, size, next, small));
      for (size_t i = 0; i < std::min(size, next); ++i) {
        ASSERT_EQ(bytes[i], static_cast<unsigned char>(i * 7)) << size << " -> " << next;
      }
      for (size_t i = size; i < next; ++i) bytes[i] = static_cast<unsigned char>(i * 7);
      size = next;
    }
    blockFree(bytes, size, small);
  }
}

TEST(PoolThreads, PagesFaultedInAheadByThePoolsThreadKeepWhatIsWrittenThere) {
  // The pool's thread may come to a page only after the text has reached it.
  constexpr size_t kSize = 3 * kHugePageBytes;
  auto* bytes = static_cast<unsigned char*>(blockAllocate(kSize, SmallBlocks::kPooled));
  for (size_t i = 0; i < kSize; ++i) bytes[i] = static_cast<unsigned char>(i * 13 + 1);
  for (int round = 0; round < 8; ++round) {
    for (size_t written = 0; written < kSize; written += kHugePageBytes) {
      faultInNextHugePage(bytes, kSize, written);
    }
    for (size_t i = 0; i < kSize; ++i) {
      ASSERT_EQ(bytes[i], static_cast<unsigned char>(i * 13 + 1)) << "byte " << i;
    }
  }
  blockFree(bytes, kSize, SmallBlocks::kPooled);
}

TEST(PoolThreads, FourThreadsAllocateAndFreeOneSizeClassTogether) {
  constexpr int kThreads = 4, kRounds = 200, kPerRound = 64;
  constexpr size_t kSize = 224;  // one class for all threads
  std::mutex handOverMutex;
  std::vector<Block> handedOver;  // blocks that another thread frees
  std::vector<int> overwritten(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        std::vector<Block> mine;
        for (int i = 0; i < kPerRound; ++i) {
          mine.push_back(fill(kSize, static_cast<unsigned char>(t * kRounds + round)));
        }
        std::vector<Block> theirs;
        {
          std::lock_guard<std::mutex> lock(handOverMutex);
          theirs.swap(handedOver);
          handedOver.assign(mine.begin() + kPerRound / 2, mine.end());
        }
        mine.resize(kPerRound / 2);
        for (const std::vector<Block>* list : {&mine, &theirs}) {
          for (const Block& b : *list) {
            if (!intact(b)) ++overwritten[size_t(t)];
            poolFree(b.bytes, b.size);
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Block& b : handedOver) {
    EXPECT_TRUE(intact(b));
    poolFree(b.bytes, b.size);
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(overwritten[size_t(t)], 0) << "thread " << t;
}

TEST(PoolThreads, AThreadThatEndsGivesItsFreeBlocksBack) {
  if (HOSTRT_POOL_IS_HEAP) GTEST_SKIP() << "the pool is operator new in this build";
  constexpr size_t kSize = 880;  // a class no other test here uses
  constexpr int kBlocks = 5;
  std::vector<void*> freedByThread;
  std::thread([&] {
    for (int i = 0; i < kBlocks; ++i) freedByThread.push_back(poolAllocate(kSize));
    for (void* block : freedByThread) poolFree(block, kSize);
  }).join();
  // Blocks kept by the ended thread would be lost: new ones would be cut
  // instead. (Twice as many are taken, as the thread may have cut a few
  // more than it used.)
  std::vector<void*> taken;
  for (int i = 0; i < 2 * kBlocks; ++i) taken.push_back(poolAllocate(kSize));
  for (void* block : freedByThread) {
    EXPECT_NE(std::find(taken.begin(), taken.end(), block), taken.end());
  }
  for (void* block : taken) poolFree(block, kSize);
}

}  // namespace
}  // namespace hostrt
