#include "model/huge_pages.h"

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

// A sanitizer brings an allocator of its own, whose heap is not glibc's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PAGESMITH_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define PAGESMITH_SANITIZER_HEAP 1
#endif
#endif

namespace ps {

struct PrefaultedRoom::Shared {
  // How far the helper clears ahead beyond the first three quarters: enough
  // to absorb its stalls, few enough that the pages cleared for nothing at
  // the end stay a small part of a run.
  static constexpr std::size_t kAhead = 4;
  std::size_t AtOnce() const { return pages / 4 * 3; }

  char* base = nullptr;
  std::size_t pages = 0;
  std::mutex mutex;
  std::condition_variable wake;
  std::size_t handedOut = 0;  // under the mutex
  bool stop = false;          // under the mutex
  std::thread helper;

  void ClearAhead() {
#ifdef MADV_POPULATE_WRITE
    // The phases' helpers take a heap of the C library, and the first to
    // come would open one: mapping, trimming, protecting and advising it
    // each wait while this thread clears a page (milliseconds on a slow
    // host). Opened here, before clearing starts, it is left free for them.
    try {
      std::thread([] { AdviseThisThreadsHeap(); }).join();
    } catch (const std::system_error&) {  // no thread: the first helper opens it
    }
    std::size_t next = 0;
    std::unique_lock<std::mutex> lock(mutex);
    while (!stop && next < pages) {
      if (next < handedOut) next = handedOut;  // fallen behind: the tree has faulted those in itself
      if (next >= pages) break;
      if (next >= handedOut + kAhead && next >= AtOnce()) {
        wake.wait(lock);
        continue;
      }
      lock.unlock();
      // Faults the page in as a write would, without writing: the tree may
      // be writing to pages just before it.
      const bool ok = ::madvise(base + next * kHugePageBytes, kHugePageBytes, MADV_POPULATE_WRITE) == 0;
      lock.lock();
      if (!ok) break;  // an older kernel: the tree clears its pages itself
      ++next;
    }
#endif
  }
};

namespace {

// Plain data, like the pools' state: no guard on access, and the pages stay
// reachable for leak checkers until they are used.
struct Spare {
  char** pages;
  std::size_t count;
  std::size_t capacity;
  PrefaultedRoom::Shared* room;
};
thread_local Spare spare{};

char* TakeFromRoom(PrefaultedRoom::Shared& r) {
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.handedOut == r.pages) return nullptr;
  char* p = r.base + r.handedOut++ * kHugePageBytes;
  r.wake.notify_one();
  return p;
}

}  // namespace

char* AllocateHugeAligned(std::size_t bytes) {
  if (bytes == kHugePageBytes) {
    if (spare.count) return spare.pages[--spare.count];
    if (spare.room)
      if (char* p = TakeFromRoom(*spare.room)) return p;
  }
  char* p = static_cast<char*>(std::aligned_alloc(bytes, bytes));
  if (p) AdviseHugePages(p, bytes);
  return p;
}

PrefaultedRoom::PrefaultedRoom(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  if (bytes == 0 || spare.room || bytes > SIZE_MAX / 2) return;  // one room at a time on a thread
  const std::size_t pages = (bytes + kHugePageBytes - 1) / kHugePageBytes;
  const std::size_t length = pages * kHugePageBytes;
  // Mapped a page larger than needed, then trimmed to whole aligned pages.
  const std::size_t mapped = length + kHugePageBytes;
  void* m = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return;
  char* raw = static_cast<char*>(m);
  const std::size_t skip = (kHugePageBytes - reinterpret_cast<std::uintptr_t>(raw) % kHugePageBytes) % kHugePageBytes;
  char* base = raw + skip;
  if (skip) ::munmap(raw, skip);
  ::munmap(base + length, mapped - skip - length);
  AdviseHugePages(base, length);
  auto* shared = new Shared;
  shared->base = base;
  shared->pages = pages;
  try {
    shared->helper = std::thread([shared] { shared->ClearAhead(); });
  } catch (const std::system_error&) {  // no thread to be had: no room either
    ::munmap(base, length);
    delete shared;
    return;
  }
  shared_ = shared;
  spare.room = shared;
#else
  (void)bytes;
#endif
}

PrefaultedRoom::~PrefaultedRoom() {
  if (!shared_) return;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
  }
  shared_->wake.notify_one();
  shared_->helper.join();
  spare.room = nullptr;
  const std::size_t used = shared_->handedOut;
  if (used < shared_->pages)
    ::munmap(shared_->base + used * kHugePageBytes, (shared_->pages - used) * kHugePageBytes);
  delete shared_;
}

#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && !defined(PAGESMITH_SANITIZER_HEAP)
namespace {
constexpr int kMallocDefault = 128 * 1024;  // glibc's top pad and thresholds
constexpr std::size_t kGrowthPad = std::size_t{64} << 20;  // a thread's heap in glibc
}

HugeHeap::HugeHeap(std::size_t bytes) {
  if (bytes == 0 || bytes > (std::size_t{1} << 40)) return;
  // Under a limit of address space or data the heap keeps glibc's small
  // steps: a growth by a large pad could fail where the block asked for fits.
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit;
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return;
  }
  char* const from = static_cast<char*>(::sbrk(0));
  // Blocks up to 32 MB (glibc's largest) come from the heap, which is not
  // trimmed while the run lasts.
  if (!::mallopt(M_MMAP_THRESHOLD, 32 << 20) || !::mallopt(M_TRIM_THRESHOLD, INT_MAX)) return;
  set_ = true;
  // The heap grows by `bytes` now, for a block the free space cannot hold
  // (volatile, so that the pair is not optimized away). Later growth takes
  // a helper's heap at once (see AdviseThisThreadsHeap): glibc opens a
  // thread's heap by what is asked plus this pad, and huge pages fit only
  // where it is open; a heap opened by the block at a time gets 4 KB pages.
  if (::mallopt(M_TOP_PAD, static_cast<int>(std::min<std::size_t>(bytes, INT_MAX / 2)))) {
    void* volatile probe = std::malloc(kHugePageBytes);
    std::free(probe);
  }
  ::mallopt(M_TOP_PAD, static_cast<int>(kGrowthPad));
  char* const to = static_cast<char*>(::sbrk(0));
  if (from != reinterpret_cast<char*>(-1) && to > from) AdviseHugePages(from, static_cast<std::size_t>(to - from));
}

HugeHeap::~HugeHeap() {
  if (!set_) return;
  ::mallopt(M_TOP_PAD, kMallocDefault);
  ::mallopt(M_TRIM_THRESHOLD, kMallocDefault);
  ::mallopt(M_MMAP_THRESHOLD, kMallocDefault);
}
#else
HugeHeap::HugeHeap(std::size_t) {}
HugeHeap::~HugeHeap() {}
#endif

void AdviseThisThreadsHeap() {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && !defined(PAGESMITH_SANITIZER_HEAP)
  // glibc gives each further thread an arena of heaps of 64 MB, aligned to
  // their size, reserved whole and opened as they grow: marking the heap a
  // small block lies in covers all its growth. Were the block from
  // elsewhere, the advice would only ask huge pages of what lies there,
  // which changes no content.
  //
  // A later helper mostly gets a heap an earlier one had, and the advice is
  // asked once per heap: it takes the lock on the address space for
  // writing, so it waits for every fault in and clearing ahead under way,
  // for milliseconds while the room's helper clears a huge page.
  constexpr std::uintptr_t kArenaHeap = std::uintptr_t{64} << 20;
  void* volatile probe = std::malloc(64);
  const auto at = reinterpret_cast<std::uintptr_t>(probe);
  std::free(probe);
  if (!at) return;
  const std::uintptr_t heap = at & ~(kArenaHeap - 1);
  static std::mutex mutex;
  static std::uintptr_t advised[16] = {};
  {
    std::lock_guard<std::mutex> lock(mutex);
    std::uintptr_t* free = nullptr;
    for (std::uintptr_t& a : advised) {
      if (a == heap) return;
      if (!a && !free) free = &a;
    }
    // Beyond sixteen heaps each is advised every time. (A heap given back
    // and mapped again at its address would go without: only speed differs.)
    if (free) *free = heap;
  }
  ::madvise(reinterpret_cast<void*>(heap), kArenaHeap, MADV_HUGEPAGE);
#endif
}

void KeepSpareHugePages(char* p, std::size_t bytes) {
  const std::size_t n = bytes / kHugePageBytes;
  if (spare.count + n > spare.capacity) {
    const std::size_t cap = spare.count + n + spare.capacity;
    char** grown = static_cast<char**>(std::realloc(spare.pages, cap * sizeof(char*)));
    if (!grown) return;  // the pages are lost to this run, not its correctness
    spare.pages = grown;
    spare.capacity = cap;
  }
  // Kept last page first, so that they are handed out in address order.
  for (std::size_t i = n; i > 0; --i) spare.pages[spare.count++] = p + (i - 1) * kHugePageBytes;
}

char* TakeSpareRun(std::size_t bytes) {
  const std::size_t n = bytes / kHugePageBytes;
  if (n == 0 || n * kHugePageBytes != bytes || n > spare.count) return nullptr;
  // Handed out from the end of the list, in address order.
  char* first = spare.pages[spare.count - 1];
  for (std::size_t i = 1; i < n; ++i)
    if (spare.pages[spare.count - 1 - i] != first + i * kHugePageBytes) return nullptr;
  spare.count -= n;
  return first;
}

std::size_t SpareHugePages() { return spare.count; }

PrefaultedRoom::Shared* RoomOfThisThread() { return spare.room; }

void DrawFromRoom(PrefaultedRoom::Shared* room) { spare.room = room; }

}  // namespace ps
