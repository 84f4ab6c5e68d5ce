// A pool for the runtime's many small blocks of a few sizes: instances above
// all, of which a large order makes one per position, all of one size.
//
// Sizes up to kPoolMaxBlock bytes are rounded up to a multiple of 16; each
// such size class keeps a list of freed blocks and otherwise carves new ones
// from 64 KiB runs of a 2 MiB chunk, 2 MiB-aligned and mapped from the
// kernel with a request for transparent huge pages. A large order then touches
// a few huge pages instead of tens of thousands of 4 KiB pages, and each
// page fault costs far more than the allocation itself. (The first chunk is
// a small one of ordinary pages, so that a small process does not grow by a
// huge page.) From the second huge chunk on, a thread of the pool's own maps
// the next chunk and faults its page in ahead of need, so that the kernel's
// zeroing of fresh pages runs beside the work instead of inside it. Larger
// sizes go to operator new.
//
// Each thread keeps a few free blocks of each class for itself (up to about
// 4 KiB a class), taken from and given back to the shared class a batch at a
// time, so that most allocations and frees take no lock; a thread that ends
// gives them back.
//
// Chunks stay mapped until the process ends and a freed block only ever
// serves its own size class again, so the pool's memory is bounded by the
// peak of the blocks live at one time of each size (plus what the threads
// keep), not by the total ever allocated.
//
// On Windows (where huge pages need a privilege the application does not
// have, and the system heap already serves same-size blocks from buckets)
// and under AddressSanitizer (which must see every block's life to report a
// use after free) the pool is plain operator new.
//
// Thread safety: safe from any thread; a block may be freed on another thread
// than the one that allocated it. One lock per size class, taken once a
// batch.
#pragma once

#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOSTRT_POOL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define HOSTRT_POOL_ASAN 1
#endif

#if defined(_WIN32) || defined(HOSTRT_POOL_ASAN)
#define HOSTRT_POOL_IS_HEAP 1  // the pool is plain operator new, see above
#else
#define HOSTRT_POOL_IS_HEAP 0
#endif

namespace hostrt {

inline constexpr size_t kPoolMaxBlock = 1024;

// A block of at least `size` bytes, aligned as operator new aligns. Throws
// std::bad_alloc when memory runs out.
void* poolAllocate(size_t size);

// Frees a block that poolAllocate(size) returned; `size` must be the same.
void poolFree(void* block, size_t size) noexcept;

// Blocks that may grow, such as a string's buffer or an array's elements.
// Large ones (kMappedBlock and more) are mapped on their own with a request
// for huge pages and grow by moving their pages rather than their bytes.
// Small ones come from the pool when they come by the million and live long
// (the strings of an order's records), from malloc when they are made and
// dropped in passing (the array a call builds for itself), since malloc's
// per-thread cache takes no lock. Those in between come from malloc; from
// 64 KiB on with their pages faulted in by one call as they are made. The
// size and `small` decide where a block lives, so every call passes the ones
// the block was made with. On Windows and under AddressSanitizer all three
// are malloc, realloc and free.
// The size of a huge page, the unit in which mapped blocks are faulted in.
inline constexpr size_t kHugePageBytes = size_t(2) << 20;
inline constexpr size_t kMappedBlock = kHugePageBytes;

enum class SmallBlocks { kPooled, kMalloc };

// A block of at least `size` bytes; throws std::bad_alloc.
void* blockAllocate(size_t size, SmallBlocks small);
// The block holding its first min(oldSize, newSize) bytes at `newSize`, maybe
// moved; as realloc, but throws std::bad_alloc and leaves the block as it was.
void* blockResize(void* block, size_t oldSize, size_t newSize, SmallBlocks small);
// Frees a block made with `size` bytes.
void blockFree(void* block, size_t size, SmallBlocks small) noexcept;

// For a growing block of `size` bytes that is written from start to end (a
// long text appended to, an array filled) and has just been written up to
// offset `written`:
// when it is a mapped block, its huge page after the one holding that offset
// is faulted in ahead on the pool's thread, so that the kernel zeroes it
// beside the work instead of inside it. A hint only, and nothing on Windows
// and under AddressSanitizer.
void faultInNextHugePage(void* block, size_t size, size_t written) noexcept;

}  // namespace hostrt
