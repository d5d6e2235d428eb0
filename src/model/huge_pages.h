// Memory marked for huge pages where the system has them: a big document
// then costs a few page faults instead of one per 4 KB (and runs markedly
// faster than without them).
//
// Memory the system hands out for the first time must be cleared first, and
// on a virtual machine that can cost more than a tenth of a large run. So
// memory the thread is done with (the input, once it is in the tree) is kept
// as spare huge pages, and the tree's slabs and text chunks take those first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ps {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Marks the part of [p, p + n) that whole huge pages cover.
inline void AdviseHugePages(void* p, std::size_t n) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHuge = kHugePageBytes;
  const auto from = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const auto to = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(kHuge - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

// `bytes` (a power of two) aligned to their size and marked for huge pages;
// nullptr when memory is out. A request for one huge page takes a spare one
// first. Such memory is never given back: the tree keeps its slabs.
char* AllocateHugeAligned(std::size_t bytes);

// Keeps [p, p + bytes), aligned to and a multiple of kHugePageBytes and
// never to be freed otherwise, as spare huge pages of this thread.
void KeepSpareHugePages(char* p, std::size_t bytes);

// The next `bytes` (a multiple of kHugePageBytes) of the thread's spare huge
// pages, when they lie in one run of addresses, as a dropped input's do;
// nullptr otherwise. Their bytes are what was last written there.
char* TakeSpareRun(std::size_t bytes);

// Spare huge pages the thread holds (for tests).
std::size_t SpareHugePages();

// Room for a large tree whose pages are cleared on a second core while the
// first builds the tree: on a virtual machine, clearing fresh memory can cost
// a quarter of a large run. While a room exists, its thread's requests for a
// huge page that the spare pages cannot meet are served from it in address
// order (and a helper's, once the room is lent to it: DrawFromRoom). A helper
// thread clears the first three quarters of the room at once (a large page's
// tree and passes take about that much), and beyond them only a few pages
// ahead of the last one handed out, so that the run's memory does not grow
// with pages nobody uses. Pages never handed out go back to the system when
// the room ends; those handed out stay with the tree like any other slab. A
// room of 0 bytes, or one the system cannot map, does nothing.
class PrefaultedRoom {
 public:
  explicit PrefaultedRoom(std::size_t bytes);
  ~PrefaultedRoom();
  PrefaultedRoom(const PrefaultedRoom&) = delete;
  PrefaultedRoom& operator=(const PrefaultedRoom&) = delete;

  struct Shared;

 private:
  Shared* shared_ = nullptr;
};

// The room this thread draws from (nullptr: none), to lend to a helper whose
// slabs join this thread's tree: without it the helper clears fresh pages of
// its own while both cores are busy.
PrefaultedRoom::Shared* RoomOfThisThread();
// Lets this thread draw huge pages from `room` (nullptr: no more); the room
// must outlive the use.
void DrawFromRoom(PrefaultedRoom::Shared* room);

// The C heap grown by `bytes` at once, that growth marked for huge pages,
// while the guard lives: the passes' own allocations (hash tables, the
// values table, measures, buffers) then fault in 2 MB at a time instead of
// 4 KB, which on a virtual machine saves a tenth of a large run. Large
// blocks come from that heap too, and nothing is given back to the system
// until the guard ends (the tunables then return to their defaults). Does
// nothing where the C library is not glibc, under a sanitizer's allocator,
// for 0 bytes, or under a limit of address space or data (the heap then
// grows as glibc grows it).
class HugeHeap {
 public:
  explicit HugeHeap(std::size_t bytes);
  ~HugeHeap();
  HugeHeap(const HugeHeap&) = delete;
  HugeHeap& operator=(const HugeHeap&) = delete;

 private:
  bool set_ = false;
};

// Marks the heap that the C library gives this thread for huge pages: a
// helper's allocations then fault in as the first thread's do under a
// HugeHeap. For helper threads of large runs; under a sanitizer's allocator
// it does nothing.
void AdviseThisThreadsHeap();

// The allocator of the input text: a large input lies in whole huge pages,
// which become spare pages when the text is dropped.
template <class T>
struct InputAllocator {
  using value_type = T;
  static constexpr std::size_t kSpareFrom = 2 * kHugePageBytes;  // smaller inputs: the general allocator

  InputAllocator() = default;
  template <class U>
  InputAllocator(const InputAllocator<U>&) {}  // NOLINT: rebinding converts implicitly

  T* allocate(std::size_t n) {
    if (n > (SIZE_MAX - kHugePageBytes) / sizeof(T)) throw std::bad_alloc();  // Whole() must not wrap
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kSpareFrom) return std::allocator<T>().allocate(n);
    char* p = static_cast<char*>(std::aligned_alloc(kHugePageBytes, Whole(bytes)));
    if (!p) throw std::bad_alloc();
    AdviseHugePages(p, Whole(bytes));
    return reinterpret_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kSpareFrom) return std::allocator<T>().deallocate(p, n);
    KeepSpareHugePages(reinterpret_cast<char*>(p), Whole(bytes));
  }
  template <class U>
  bool operator==(const InputAllocator<U>&) const {
    return true;
  }

 private:
  static std::size_t Whole(std::size_t bytes) { return (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes; }
};

// The whole input of a run.
using InputText = std::basic_string<char, std::char_traits<char>, InputAllocator<char>>;

}  // namespace ps
