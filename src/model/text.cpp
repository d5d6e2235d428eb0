#include "model/text.h"

#include <cstdlib>
#include <new>

namespace ps {

Text& Text::operator=(Text&& o) noexcept {
  if (this != &o) {
    FreeHeap();
    std::memcpy(raw_, o.raw_, sizeof raw_);
    o.raw_[kTagByte] = kAbsent;
  }
  return *this;
}

void Text::FreeHeap() {
  if (Tag() == kHeap) std::free(HeapBlock());
}

void Text::reset() {
  FreeHeap();
  raw_[kTagByte] = kAbsent;
}

bool Text::Overlaps(std::string_view s) const {
  const char* b = c_str();
  return b && !s.empty() && s.data() >= b && s.data() <= b + size();
}

char* Text::Reserve(std::size_t n) {
  const unsigned char t = Tag();
  if (t == kAbsent) SetInlineLength(0);
  if (t == kHeap) {
    Block* b = HeapBlock();
    if (n <= b->capacity) return b->bytes();
    // Grows geometrically, so that appending stays linear.
    const std::size_t cap = n > 2 * b->capacity ? n : 2 * b->capacity;
    Block* g = static_cast<Block*>(std::realloc(b, sizeof(Block) + cap + 1));
    if (!g) throw std::bad_alloc();
    g->capacity = cap;
    std::memcpy(raw_, &g, sizeof g);
    return g->bytes();
  }
  if (n <= kInline) return reinterpret_cast<char*>(raw_);
  // Leaving the place: an empty text is being assigned (exact room), a
  // non-empty one grows (room to grow).
  const std::size_t len = size();
  const std::size_t cap = len == 0 || n > 2 * len ? n : 2 * len;
  Block* g = static_cast<Block*>(std::malloc(sizeof(Block) + cap + 1));
  if (!g) throw std::bad_alloc();
  g->length = len;
  g->capacity = cap;
  std::memcpy(g->bytes(), raw_, len);
  g->bytes()[len] = '\0';
  std::memcpy(raw_, &g, sizeof g);
  raw_[kTagByte] = kHeap;
  return g->bytes();
}

void Text::SetLength(std::size_t n) {
  if (Tag() == kHeap) {
    Block* b = HeapBlock();
    b->bytes()[n] = '\0';
    b->length = n;
  } else {
    SetInlineLength(n);
  }
}

void Text::assign(std::string_view s) {
  if (Overlaps(s)) {
    // Assigning a piece of ourselves: copy first.
    const std::string tmp(s);
    assign(std::string_view(tmp));
    return;
  }
  if (Tag() == kAbsent) SetInlineLength(0);
  SetLength(0);
  char* d = Reserve(s.size());
  if (!s.empty()) std::memcpy(d, s.data(), s.size());
  SetLength(s.size());
}

void Text::append(std::string_view s) {
  if (Overlaps(s)) {
    const std::string tmp(s);
    append(std::string_view(tmp));
    return;
  }
  const std::size_t len = size();
  char* d = Reserve(len + s.size());
  if (!s.empty()) std::memcpy(d + len, s.data(), s.size());
  SetLength(len + s.size());
}

void Text::truncate(std::size_t n) {
  if (null() || n >= size()) return;
  SetLength(n);
}

void Text::replace(std::size_t pos, std::size_t count, std::string_view s) {
  std::string r(view());
  r.replace(pos, count, s);
  assign(r);
}

}  // namespace ps
