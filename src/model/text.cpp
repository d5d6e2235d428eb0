#include "model/text.h"

#include <cstdlib>
#include <new>

namespace ps {

void ShortText::FreeHeap() {
  if (raw_[kTagByte] == kHeap) std::free(HeapPtr());
}

void ShortText::assign(std::string_view s) {
  // The bytes may lie in this value itself: copy them before freeing.
  if (s.size() <= kInline) {
    char in[kInline];
    std::memcpy(in, s.data(), s.size());
    FreeHeap();
    std::memcpy(raw_, in, s.size());
    raw_[s.size()] = '\0';
    raw_[kTagByte] = static_cast<unsigned char>(kInline - s.size());
    return;
  }
  const std::size_t n = s.size();
  char* block = static_cast<char*>(std::malloc(sizeof n + n + 1));
  if (!block) throw std::bad_alloc();
  std::memcpy(block, &n, sizeof n);
  std::memcpy(block + sizeof n, s.data(), n);
  block[sizeof n + n] = '\0';
  FreeHeap();
  std::memcpy(raw_, &block, sizeof block);
  raw_[kTagByte] = kHeap;
}

ShortText& ShortText::operator=(Text&& t) {
  if (t.null())
    reset();
  else
    assign(t.view());
  t.reset();
  return *this;
}

Text& Text::operator=(Text&& o) noexcept {
  if (this != &o) {
    FreeHeap();
    std::memcpy(raw_, o.raw_, sizeof raw_);
    o.raw_[kTagByte] = kAbsent;
  }
  return *this;
}

void Text::FreeHeap() {
  if (Tag() == kHeap) std::free(HeapPtr());
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
  if (t == kHeap) {
    const std::size_t len = HeapLen();
    char* p = HeapPtr();
    if (n <= Capacity(len)) return p;
    char* q = static_cast<char*>(std::realloc(p, Capacity(n) + 1));
    if (!q) throw std::bad_alloc();
    SetHeap(q, len);
    return q;
  }
  if (t == kAbsent) SetInlineLength(0);
  if (n <= kInline) return reinterpret_cast<char*>(raw_);
  const std::size_t len = size();
  char* q = static_cast<char*>(std::malloc(Capacity(n) + 1));
  if (!q) throw std::bad_alloc();
  std::memcpy(q, raw_, len);
  q[len] = '\0';
  SetHeap(q, len);
  return q;
}

void Text::SetLength(std::size_t n) {
  if (Tag() == kHeap) {
    char* p = HeapPtr();
    p[n] = '\0';
    SetHeap(p, n);
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
