// Memory marked for huge pages where the system has them: a big document
// then costs a few page faults instead of one per 4 KB (and runs markedly
// faster than without them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ps {

// Marks the part of [p, p + n) that whole huge pages cover.
inline void AdviseHugePages(void* p, std::size_t n) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const auto from = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const auto to = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(kHuge - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

// `bytes` (a power of two) aligned to their size and marked for huge pages;
// nullptr when memory is out.
inline char* AllocateHugeAligned(std::size_t bytes) {
  char* p = static_cast<char*>(std::aligned_alloc(bytes, bytes));
  if (p) AdviseHugePages(p, bytes);
  return p;
}

}  // namespace ps
