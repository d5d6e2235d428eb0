#include "model/huge_pages.h"

namespace ps {

namespace {

// Plain data, like the pools' state: no guard on access, and the pages stay
// reachable for leak checkers until they are used.
struct Spare {
  char** pages;
  std::size_t count;
  std::size_t capacity;
};
thread_local Spare spare{};

}  // namespace

char* AllocateHugeAligned(std::size_t bytes) {
  if (bytes == kHugePageBytes && spare.count) return spare.pages[--spare.count];
  char* p = static_cast<char*>(std::aligned_alloc(bytes, bytes));
  if (p) AdviseHugePages(p, bytes);
  return p;
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

std::size_t SpareHugePages() { return spare.count; }

}  // namespace ps
