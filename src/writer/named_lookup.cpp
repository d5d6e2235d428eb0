#include <cstring>

#include "writer/named_references.h"

namespace ps {

const char* FindNamedReference(std::string_view name) {
  std::size_t lo = 0, hi = kNamedReferenceCount;
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    std::string_view m(kNamedReferences[mid].name);
    int c = m.compare(name);
    if (c == 0) return kNamedReferences[mid].references;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return nullptr;
}

}  // namespace ps
