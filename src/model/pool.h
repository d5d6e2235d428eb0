// Fixed-size blocks for the tree's nodes and properties, carved from large
// slabs and recycled through a free list. A document has millions of both:
// the general allocator's header per block and its bookkeeping would add a
// third to their size and much of a run's time. Slabs are kept for the next
// tree of the thread. Under the address sanitizer every block comes from the
// general allocator, so that the sanitizer still sees each one.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define PAGESMITH_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAGESMITH_PLAIN_ALLOCATION 1
#endif
#endif

namespace ps {

template <std::size_t Size>
class BlockPool {
 public:
  static void* Allocate() {
#ifdef PAGESMITH_PLAIN_ALLOCATION
    return ::operator new(Size);
#else
    State& s = state_;
    if (Free* f = s.free) {
      s.free = f->next;
      return f;
    }
    if (s.next == s.end) NewSlab(s);
    void* p = s.next;
    s.next += kBlock;
    return p;
#endif
  }

  static void Release(void* p) noexcept {
#ifdef PAGESMITH_PLAIN_ALLOCATION
    ::operator delete(p);
#else
    if (!p) return;
    Free* f = static_cast<Free*>(p);
    f->next = state_.free;
    state_.free = f;
#endif
  }

 private:
  struct Free {
    Free* next;
  };
  static constexpr std::size_t kAlign = 8;  // nodes and properties hold pointers
  static constexpr std::size_t kBlock = (Size + kAlign - 1) / kAlign * kAlign;
  static constexpr std::size_t kSlabBytes = std::size_t{2} << 20;
  static_assert(Size >= sizeof(Free));

  struct State {
    char* next = nullptr;
    char* end = nullptr;
    Free* free = nullptr;
  };

  static void NewSlab(State& s) {
    // Never returned: the blocks are reused by later trees of the thread.
    // Aligned to its size and marked for huge pages where the system has
    // them: a big tree then costs a few page faults instead of one per 4 KB.
    char* slab = static_cast<char*>(std::aligned_alloc(kSlabBytes, kSlabBytes));
    if (!slab) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(slab, kSlabBytes, MADV_HUGEPAGE);
#endif
    s.next = slab;
    s.end = slab + kSlabBytes / kBlock * kBlock;
  }

  static thread_local State state_;
};

template <std::size_t Size>
thread_local typename BlockPool<Size>::State BlockPool<Size>::state_;

}  // namespace ps
