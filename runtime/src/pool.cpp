// The allocation pool: size classes of 16 bytes, free lists, runs carved from
// huge-page chunks.

#include "pool.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if HOSTRT_POOL_IS_HEAP

namespace hostrt {

void* poolAllocate(size_t size) { return ::operator new(size); }
void poolFree(void* block, size_t) noexcept { ::operator delete(block); }

void* blockAllocate(size_t size, SmallBlocks) {
  void* block = std::malloc(size);
  if (!block) throw std::bad_alloc();
  return block;
}
void* blockResize(void* block, size_t, size_t newSize, SmallBlocks) {
  void* grown = std::realloc(block, newSize);
  if (!grown) throw std::bad_alloc();
  return grown;
}
void blockFree(void* block, size_t, SmallBlocks) noexcept { std::free(block); }
void faultInNextHugePage(void*, size_t, size_t) noexcept {}

}  // namespace hostrt

#else

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "hostrt/export.h"

namespace hostrt {

namespace {

constexpr size_t kGranule = 16;
constexpr size_t kClassCount = kPoolMaxBlock / kGranule;
constexpr size_t kChunkBytes = kHugePageBytes;
constexpr size_t kRunBytes = size_t(64) << 10;   // what a size class takes at a time
// The first chunk, of ordinary pages, and its runs (see refill).
constexpr size_t kFirstChunkBytes = size_t(512) << 10;
constexpr size_t kFirstRunBytes = size_t(16) << 10;

struct FreeBlock {
  FreeBlock* next;
};

// One size class. Aligned apart so that threads on different classes do not
// share a cache line.
struct alignas(64) SizeClass {
  std::mutex mutex;
  FreeBlock* freeList = nullptr;  // freed blocks of this size
  char* next = nullptr;           // the unused rest of the current run
  char* end = nullptr;
};

constinit SizeClass classes[kClassCount];

// The chunk that runs are cut from. Taken inside a class's lock, never the
// other way round.
constinit std::mutex chunkMutex;
constinit char* chunkNext = nullptr;
constinit char* chunkEnd = nullptr;
constinit size_t runBytes = 0;  // the runs of this chunk; 0 before the first

// The first chunk, of ordinary pages.
char* mapFirstChunk() {
  void* p = mmap(nullptr, kFirstChunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return static_cast<char*>(p);
}

// A new chunk at a 2 MiB boundary, so that the kernel can back it with one
// huge page: twice the size is mapped and the ends around the aligned middle
// are given back.
char* mapHugeChunk() {
  const size_t mapped = 2 * kChunkBytes;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kChunkBytes - 1) & ~(kChunkBytes - 1);
  if (aligned > start) munmap(p, aligned - start);
  const uintptr_t tail = aligned + kChunkBytes;
  if (start + mapped > tail) munmap(reinterpret_cast<void*>(tail), start + mapped - tail);
  char* chunk = reinterpret_cast<char*>(aligned);
#ifdef MADV_HUGEPAGE
  madvise(chunk, kChunkBytes, MADV_HUGEPAGE);  // a hint: without it, 4 KiB pages
#endif
  return chunk;
}

// Faults in the pages of [begin, begin + bytes) now, by one call rather than
// one page fault each; a hint, which changes no byte. `begin` and `bytes`
// are whole pages.
void populate([[maybe_unused]] void* begin, [[maybe_unused]] size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  madvise(begin, bytes, MADV_POPULATE_WRITE);
#endif
}

// Huge chunks are made ready one ahead of need on a thread of their own: the
// kernel zeroes each fresh 2 MiB page when it is first touched, which costs a
// large order a fifth of its time, and this way it runs on another core than
// the order's work. When no chunk is ready (or the thread could not be
// started) the chunk is mapped on the spot. At most one ready chunk waits,
// so memory grows by one huge page at most. The same thread faults in the
// next page of a long growing block when asked (faultIn).
//
// Thread safety: everything under mutex_, which is taken inside chunkMutex
// and never the other way round. The object is never destroyed, so that the
// thread can still wait on it while the process ends.
class ChunkPrefetcher {
 public:
  // The chunk made ready, or null; either way the next one is asked for.
  char* take() {
    std::lock_guard<std::mutex> lock(mutex_);
    char* chunk = std::exchange(ready_, nullptr);
    wanted_ = true;
    wake();
    return chunk;
  }

  // Asks for the pages of [begin, begin + bytes) to be faulted in. A request
  // not yet served gives way to the newer one. Memory unmapped by the time
  // it is served is left alone (madvise fails); memory mapped anew there
  // only has its pages faulted in early, which changes no byte.
  void faultIn(char* begin, size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    faultBegin_ = begin;
    faultBytes_ = bytes;
    wake();
  }

 private:
  // Called with mutex_ held.
  void wake() {
    if (!started_) start();
    asked_.notify_one();
  }
  void start() {
    started_ = true;
    try {
      std::thread([this] { run(); }).detach();
    } catch (const std::system_error&) {  // no thread: chunks are mapped on the spot
    }
  }
  // Faults in what faultIn asked for, and maps and populates a chunk
  // whenever one is wanted and none is ready.
  void run() {
    pthread_setname_np(pthread_self(), "hostrt-pool");  // how integrators see it in a debugger
    for (;;) {
      char* faultBegin;
      size_t faultBytes;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        asked_.wait(lock, [this] { return faultBytes_ > 0 || (wanted_ && !ready_); });
        faultBegin = std::exchange(faultBegin_, nullptr);
        faultBytes = std::exchange(faultBytes_, 0);
        if (faultBytes == 0) wanted_ = false;
      }
      if (faultBytes > 0) {
        populate(faultBegin, faultBytes);
        continue;
      }
      char* chunk = nullptr;
      try {
        chunk = mapHugeChunk();
      } catch (const std::bad_alloc&) {
        continue;  // the next take maps its chunk itself, and fails there
      }
      populate(chunk, kChunkBytes);
      std::lock_guard<std::mutex> lock(mutex_);
      ready_ = chunk;
    }
  }
  std::mutex mutex_;
  std::condition_variable asked_;  // signalled when a chunk or a fault-in is wanted
  char* ready_ = nullptr;          // a mapped chunk with its pages in, or null
  bool wanted_ = false;            // take() asked for a chunk since the last one was made
  bool started_ = false;           // the thread was started, or could not be
  char* faultBegin_ = nullptr;     // the pages faultIn asked for, not yet faulted in:
  size_t faultBytes_ = 0;          //   [faultBegin_, faultBegin_ + faultBytes_)
};

ChunkPrefetcher& chunkPrefetcher() {
  static ChunkPrefetcher& prefetcher = *new ChunkPrefetcher;
  return prefetcher;
}

// Huge chunks mapped before the first is readied ahead: an order that needs
// only a few does not pay for a thread and a chunk it would not use.
constexpr size_t kChunksBeforeReadying = 2;

// The next huge chunk; called with chunkMutex held.
char* nextHugeChunk() {
  static size_t mapped = 0;  // huge chunks handed out so far, under chunkMutex
  if (mapped++ < kChunksBeforeReadying) return mapHugeChunk();
  char* chunk = chunkPrefetcher().take();
  return chunk ? chunk : mapHugeChunk();
}

// Gives the class a new run; the rest of its old run (less than a block) is
// left unused. The first chunk is small, of ordinary pages and short runs: a
// small order touches a few 4 KiB pages of it, where a huge page would add
// 2 MiB to the memory of every process. Huge pages pay from the second chunk
// on. A run of the first chunk has its four pages faulted in by one call as
// it is handed out, which costs a fraction of four page faults (a small
// fraction in a virtual machine, where each fault traps), and a run is
// mostly filled.
void refill(SizeClass& c) {
  std::lock_guard<std::mutex> lock(chunkMutex);
  if (chunkNext == chunkEnd) {
    const bool first = runBytes == 0;
    chunkNext = first ? mapFirstChunk() : nextHugeChunk();
    chunkEnd = chunkNext + (first ? kFirstChunkBytes : kChunkBytes);
    runBytes = first ? kFirstRunBytes : kRunBytes;
  }
  if (runBytes == kFirstRunBytes) populate(chunkNext, runBytes);
  c.next = chunkNext;
  c.end = chunkNext + runBytes;
  chunkNext += runBytes;
}

size_t classIndex(size_t size) { return size ? (size - 1) / kGranule : 0; }
size_t blockBytesOf(size_t index) { return (index + 1) * kGranule; }

// A block of the class from its free list or its run; called with its mutex held.
void* takeShared(SizeClass& c, size_t blockBytes) {
  if (FreeBlock* block = c.freeList) {
    c.freeList = block->next;
    return block;
  }
  if (size_t(c.end - c.next) < blockBytes) refill(c);
  void* block = c.next;
  c.next += blockBytes;
  return block;
}

// ------------------------------------------------------ per-thread caches
//
// Each thread keeps a short list of free blocks of each class, taken from the
// shared class and given back to it a batch at a time, so that most
// allocations and frees take no lock: an order allocates and frees several
// blocks a position, and a lock and an unlock cost more than the rest of an
// allocation. A thread holds at most two batches of a class, about 4 KiB,
// and gives them back when it ends.

constexpr size_t kBatchBytes = 2048;

size_t batchOf(size_t blockBytes) { return std::max<size_t>(2, kBatchBytes / blockBytes); }

struct LocalList {
  FreeBlock* head = nullptr;  // free blocks of this class held by the thread
  size_t count = 0;           // how many
};

struct ThreadCache {
  LocalList lists[kClassCount];  // by size class
};

// This thread's cache, made on its first allocation; null before that, after
// the thread's end has given it back, or when it could not be made.
constinit HOSTRT_THREAD_LOCAL ThreadCache* threadCache = nullptr;
constinit HOSTRT_THREAD_LOCAL bool cacheClosed = false;  // the thread is ending

// Gives the first n blocks of the list back to the shared class.
void giveBack(size_t index, LocalList& l, size_t n) {
  SizeClass& c = classes[index];
  std::lock_guard<std::mutex> lock(c.mutex);
  for (; n > 0; --n) {
    FreeBlock* block = l.head;
    l.head = block->next;
    --l.count;
    c.freeList = new (block) FreeBlock{c.freeList};
  }
}

// Gives every cached block back to its class and closes the cache: blocks
// freed later on this thread (by destructors that run after this one) go to
// the shared lists directly.
struct CacheCloser {
  CacheCloser() : armed(true) {}
  ~CacheCloser() {
    ThreadCache* cache = std::exchange(threadCache, nullptr);
    cacheClosed = true;
    if (!cache) return;
    for (size_t i = 0; i < kClassCount; ++i) {
      if (cache->lists[i].count > 0) giveBack(i, cache->lists[i], cache->lists[i].count);
    }
    delete cache;
  }
  bool armed;  // touched once per thread, which registers the destructor
};
thread_local CacheCloser cacheCloser;

ThreadCache* openCache() {
  if (cacheClosed) return nullptr;
  ThreadCache* cache = new (std::nothrow) ThreadCache;
  if (!cache) return nullptr;  // the shared lists serve this thread
  cacheCloser.armed = true;
  threadCache = cache;
  return cache;
}

// Fills an empty list with a batch from the shared class, in the order the
// class gives them, so that blocks cut from a run are handed out in address
// order as before: records made one after the other lie one after the other.
void takeBatch(size_t index, LocalList& l) {
  const size_t blockBytes = blockBytesOf(index);
  SizeClass& c = classes[index];
  std::lock_guard<std::mutex> lock(c.mutex);
  FreeBlock** tail = &l.head;
  for (size_t n = batchOf(blockBytes); n > 0; --n) {
    *tail = new (takeShared(c, blockBytes)) FreeBlock{nullptr};
    tail = &(*tail)->next;
    ++l.count;
  }
}

}  // namespace

void* poolAllocate(size_t size) {
  if (size > kPoolMaxBlock) return ::operator new(size);
  const size_t index = classIndex(size);
  ThreadCache* cache = threadCache;
  if (cache || (cache = openCache())) {
    LocalList& l = cache->lists[index];
    if (!l.head) takeBatch(index, l);
    FreeBlock* block = l.head;
    l.head = block->next;
    --l.count;
    return block;
  }
  SizeClass& c = classes[index];
  std::lock_guard<std::mutex> lock(c.mutex);
  return takeShared(c, blockBytesOf(index));
}

void poolFree(void* block, size_t size) noexcept {
  if (!block) return;
  if (size > kPoolMaxBlock) {
    ::operator delete(block);
    return;
  }
  const size_t index = classIndex(size);
  if (ThreadCache* cache = threadCache) {
    LocalList& l = cache->lists[index];
    l.head = new (block) FreeBlock{l.head};
    const size_t batch = batchOf(blockBytesOf(index));
    if (++l.count >= 2 * batch) giveBack(index, l, batch);  // keeps one batch
    return;
  }
  SizeClass& c = classes[index];
  std::lock_guard<std::mutex> lock(c.mutex);
  c.freeList = new (block) FreeBlock{c.freeList};
}

// ------------------------------------------------------------ growing blocks

namespace {

enum class Tier { kPool, kHeap, kMapped };

Tier tierOf(size_t size, SmallBlocks small) {
  if (size >= kMappedBlock) return Tier::kMapped;
  return size <= kPoolMaxBlock && small == SmallBlocks::kPooled ? Tier::kPool : Tier::kHeap;
}

// A mapped block takes whole huge pages.
size_t mappedBytes(size_t size) { return (size + kChunkBytes - 1) & ~(kChunkBytes - 1); }

void adviseHuge([[maybe_unused]] void* block, [[maybe_unused]] size_t bytes) {
#ifdef MADV_HUGEPAGE
  madvise(block, bytes, MADV_HUGEPAGE);  // a hint: without it, 4 KiB pages
#endif
}

// From this size on a heap block's pages are faulted in when it is made: a
// large growing block is written all through soon after (a string appended
// to, an array filled), and one call that faults in its pages costs a
// fraction of one page fault each.
constexpr size_t kPopulatedHeapBlock = size_t(64) << 10;

void* populatedHeapBlock(size_t size) {
  void* block = std::malloc(size);
  if (!block) throw std::bad_alloc();
  if (size >= kPopulatedHeapBlock) {
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (uintptr_t(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(block) + size) & ~(page - 1);
    populate(reinterpret_cast<void*>(begin), end - begin);
  }
  return block;
}

}  // namespace

void* blockAllocate(size_t size, SmallBlocks small) {
  switch (tierOf(size, small)) {
    case Tier::kPool: return poolAllocate(size);
    case Tier::kHeap: return populatedHeapBlock(size);
    case Tier::kMapped: break;
  }
  const size_t bytes = mappedBytes(size);
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  adviseHuge(block, bytes);
  return block;
}

void* blockResize(void* block, size_t oldSize, size_t newSize, SmallBlocks small) {
  const Tier tier = tierOf(newSize, small);
  if (tierOf(oldSize, small) == tier) {
    if (tier == Tier::kPool && classIndex(oldSize) == classIndex(newSize)) return block;
    // A large heap block grows by a copy into a new populated block, not by
    // realloc, whose copy would fault the new pages in one at a time.
    if (tier == Tier::kHeap && (newSize < kPopulatedHeapBlock || newSize <= oldSize)) {
      void* grown = std::realloc(block, newSize);
      if (!grown) throw std::bad_alloc();
      return grown;
    }
    if (tier == Tier::kMapped) {
      const size_t from = mappedBytes(oldSize), to = mappedBytes(newSize);
      if (from == to) return block;
      void* moved = mremap(block, from, to, MREMAP_MAYMOVE);
      if (moved == MAP_FAILED) throw std::bad_alloc();
      adviseHuge(moved, to);
      return moved;
    }
  }
  void* moved = blockAllocate(newSize, small);
  std::memcpy(moved, block, oldSize < newSize ? oldSize : newSize);
  blockFree(block, oldSize, small);
  return moved;
}

void faultInNextHugePage(void* block, size_t size, size_t written) noexcept {
  if (tierOf(size, SmallBlocks::kPooled) != Tier::kMapped) return;
  const size_t next = (written / kHugePageBytes + 1) * kHugePageBytes;
  if (next >= mappedBytes(size)) return;
  try {
    chunkPrefetcher().faultIn(static_cast<char*>(block) + next, kHugePageBytes);
  } catch (const std::exception&) {  // no memory or no lock: the write faults the pages itself
  }
}

void blockFree(void* block, size_t size, SmallBlocks small) noexcept {
  if (!block) return;
  switch (tierOf(size, small)) {
    case Tier::kPool: return poolFree(block, size);
    case Tier::kHeap: return std::free(block);
    case Tier::kMapped: munmap(block, mappedBytes(size));
  }
}

}  // namespace hostrt

#endif
