// Fixed-size blocks for the tree's nodes and properties, carved from large
// slabs and recycled through a free list. A document has millions of both:
// the general allocator's header per block and its bookkeeping would add a
// third to their size and much of a run's time. Slabs are never given back:
// their blocks serve the later trees of the process.
//
// A block is also known by a 32-bit number (slab number, block in slab), so
// that the tree's links take half the room of pointers. Slabs are aligned to
// their size and begin with a header holding their number: a block's number
// follows from its address without a search. Number 0 is the first slab's
// header, never a block, and stands for "none".
//
// The table of slabs is one for the whole process and never moves, so that
// a link made on any thread resolves on every thread: a helper may build
// part of a tree that another thread links in. Each thread carves and
// recycles its own blocks; a helper that builds part of another thread's
// tree works with blocks that thread lends it and hands its books to that
// thread when it is done (Handover).
//
// Under the address sanitizer a released block is poisoned until it is handed
// out again, so that a use after free is still caught.
#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "model/huge_pages.h"

#if defined(__SANITIZE_ADDRESS__)
#define PAGESMITH_POISON_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAGESMITH_POISON_BLOCKS 1
#endif
#endif
#ifdef PAGESMITH_POISON_BLOCKS
#include <sanitizer/asan_interface.h>
#define PAGESMITH_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define PAGESMITH_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define PAGESMITH_POISON(p, n) ((void)(p), (void)(n))
#define PAGESMITH_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace ps {

template <std::size_t Size>
class BlockPool {
#ifdef PAGESMITH_POISON_BLOCKS
  // The sanitizer keeps one mark for every 8 bytes: blocks of 12 bytes
  // share marks with their neighbours, and two threads marking neighbours
  // at once (a block freed on one, the next taken on the other) can leave
  // a block in use marked as freed.
  static constexpr std::size_t kAlign = 8;
#else
  static constexpr std::size_t kAlign = 4;  // nodes and properties hold 32-bit numbers
#endif
  static constexpr std::size_t kBlock = (Size + kAlign - 1) / kAlign * kAlign;
  static constexpr std::size_t kSlabBytes = kHugePageBytes;  // so that spare huge pages serve as slabs
  static constexpr unsigned kOffsetBits = 18;  // enough for 2 MB of 8-byte blocks
  static constexpr std::uint32_t kOffsetMask = (std::uint32_t{1} << kOffsetBits) - 1;
  static constexpr std::size_t kMaxSlabs = std::size_t{1} << (32 - kOffsetBits);
  static constexpr std::uint32_t kMagic = 0x50534C42;  // "PSLB"

 public:
  static void* Allocate() {
    State& s = state_;
    void* p;
    if (char* f = s.free) {
      PAGESMITH_UNPOISON(f, kBlock);
      std::memcpy(&s.free, f, sizeof s.free);  // a block may be only 4-aligned
      --s.freeCount;
      p = f;
    } else {
      if (s.next == s.end) NewSlab(s);
      p = s.next;
      s.next += kBlock;
      PAGESMITH_UNPOISON(p, kBlock);
    }
    ++s.live;
    return p;
  }

  static void Release(void* p) noexcept {
    if (!p) return;
    State& s = state_;
    if (s.readOnly) std::abort();  // a thread that only reads frees nothing
    std::memcpy(p, &s.free, sizeof s.free);
    s.free = static_cast<char*>(p);
    ++s.freeCount;
    --s.live;
    PAGESMITH_POISON(p, kBlock);
  }

  // Blocks handed out and not released on this thread (for leak checks).
  static std::size_t Live() { return state_.live; }

  static std::uint32_t NumberOf(const void* p) {
    if (!p) return 0;
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t base = a & ~(std::uintptr_t{kSlabBytes} - 1);
    const Header* h = reinterpret_cast<const Header*>(base);
    assert(h->magic == kMagic && "a block that no pool handed out");
    return h->number << kOffsetBits | static_cast<std::uint32_t>((a - base) / kBlock);
  }

  // The block of a number other than 0.
  // The block's place among all the pool's blocks, slab after slab: dense,
  // for tables kept beside the tree.
  static std::size_t IndexOf(const void* p) {
    const std::uint32_t n = NumberOf(p);
    return std::size_t{n >> kOffsetBits} * (kSlabBytes / kBlock) + (n & kOffsetMask);
  }

  // How many places the slabs made so far hold (an upper bound of IndexOf).
  static std::size_t Capacity() {
    const std::size_t made = slabCount_.load(std::memory_order_relaxed);
    return (made < kMaxSlabs ? made : kMaxSlabs) * (kSlabBytes / kBlock);
  }

  static void* At(std::uint32_t n) { return table_[n >> kOffsetBits] + (n & kOffsetMask) * kBlock; }

  // A thread that only reads trees made elsewhere: a block made or freed
  // here stops the program (its books would be nobody's).
  static void ReadOnly() { state_.readOnly = true; }

  // What a helper that builds part of this thread's tree works with, and
  // what it holds when it is done: the rest of a slab, free blocks, and how
  // many of its blocks are still in use (in this thread's tree).
  struct Handover {
    char* next;
    char* end;
    char* free;
    std::size_t freeCount;
    std::size_t live;
  };
  // Half of this thread's free blocks and its spare rest of a slab, lent to
  // a helper (Borrow there), so that a run of many documents does not take
  // fresh memory for every helper. Adopt takes a loan back unused.
  static Handover Lend() {
    State& s = state_;
    Handover h{s.spareNext, s.spareEnd, nullptr, s.freeCount / 2, 0};
    s.spareNext = s.spareEnd = nullptr;
    if (h.freeCount) {
      char* last = s.free;
      for (std::size_t i = 1; i < h.freeCount; ++i) last = NextFree(last);
      h.free = s.free;
      s.free = NextFree(last);
      SetNextFree(last, nullptr);
      s.freeCount -= h.freeCount;
    }
    return h;
  }
  // On the helper, first: works with what was lent.
  static void Borrow(const Handover& h) {
    State& s = state_;
    s = State{};
    s.next = h.next;
    s.end = h.end;
    s.free = h.free;
    s.freeCount = h.freeCount;
  }
  // On the helper, last: everything it holds; the thread is left with nothing.
  static Handover Hand() {
    State& s = state_;
    const Handover h{s.next, s.end, s.free, s.freeCount, s.live};
    s = State{};
    return h;
  }
  // Takes a helper's books over, on the thread whose tree holds its blocks:
  // they are counted here, its free blocks join this thread's, and its rest
  // of a slab is carved before a new slab.
  static void Adopt(const Handover& h) {
    State& s = state_;
    s.live += h.live;
    if (h.free) {
      char* last = h.free;
      for (char* n; (n = NextFree(last)) != nullptr;) last = n;
      SetNextFree(last, s.free);
      s.free = h.free;
      s.freeCount += h.freeCount;
    }
    if (h.end - h.next > s.spareEnd - s.spareNext) {
      s.spareNext = h.next;
      s.spareEnd = h.end;
    }
  }

 private:
  struct Header {
    std::uint32_t magic;
    std::uint32_t number;
  };
  static_assert(Size >= sizeof(char*) && kBlock >= sizeof(Header));
  static_assert(kSlabBytes / kBlock <= kOffsetMask + 1);

  // Plain data only, so that the thread-local needs no guard on each access.
  struct State {
    char* next;
    char* end;
    char* free;  // a free block holds the next one's address
    std::size_t freeCount;
    std::size_t live;
    char* spareNext;  // a helper's rest of a slab, carved before a new slab
    char* spareEnd;
    bool readOnly;
  };

  static char* NextFree(char* block) {
    PAGESMITH_UNPOISON(block, sizeof(char*));
    char* n;
    std::memcpy(&n, block, sizeof n);
    PAGESMITH_POISON(block, kBlock);
    return n;
  }
  static void SetNextFree(char* block, char* next) {
    PAGESMITH_UNPOISON(block, sizeof(char*));
    std::memcpy(block, &next, sizeof next);
    PAGESMITH_POISON(block, kBlock);
  }

  static void NewSlab(State& s) {
    if (s.readOnly) std::abort();
    if (s.spareNext != s.spareEnd) {
      s.next = s.spareNext;
      s.end = s.spareEnd;
      s.spareNext = s.spareEnd = nullptr;
      return;
    }
    const std::uint32_t number = slabCount_.fetch_add(1, std::memory_order_relaxed);
    if (number >= kMaxSlabs) throw std::bad_alloc();
    // Never returned: the blocks are reused by later trees.
    char* slab = AllocateHugeAligned(kSlabBytes);
    if (!slab) throw std::bad_alloc();  // the number stays unused
    const Header h{kMagic, number};
    std::memcpy(slab, &h, sizeof h);
    // Another thread reads the entry only after this one handed it a link
    // into the slab, through a lock or a join that orders the two.
    table_[number] = slab;
    s.next = slab + kBlock;  // the first block holds the header
    s.end = slab + kSlabBytes / kBlock * kBlock;
    PAGESMITH_POISON(s.next, static_cast<std::size_t>(s.end - s.next));
  }

  static thread_local State state_;
  // 128 KB of address space, touched a page at a time as slabs are made.
  static inline char* table_[kMaxSlabs] = {};
  static inline std::atomic<std::uint32_t> slabCount_{0};
};

template <std::size_t Size>
thread_local typename BlockPool<Size>::State BlockPool<Size>::state_{};

// A link to a pool block in 32 bits; reads and assigns like a pointer.
template <class T>
class Link {
 public:
  Link() = default;
  Link(T* p) : n_(BlockPool<sizeof(T)>::NumberOf(p)) {}  // NOLINT: converts like the pointer it replaces
  Link& operator=(T* p) {
    n_ = BlockPool<sizeof(T)>::NumberOf(p);
    return *this;
  }
  operator T*() const { return n_ ? static_cast<T*>(BlockPool<sizeof(T)>::At(n_)) : nullptr; }  // NOLINT
  T* operator->() const { return static_cast<T*>(BlockPool<sizeof(T)>::At(n_)); }
  T* get() const { return *this; }

 private:
  // The pool is named only in the members' bodies, so that a type may hold
  // links to itself.
  std::uint32_t n_ = 0;
};

}  // namespace ps
