#include "model/text.h"

#include <cassert>
#include <cstdlib>
#include <limits>
#include <new>

#include "model/huge_pages.h"
#include "model/pool.h"

namespace ps {

// --- the text arena ---

void TextArena::ReadFrom(Chunks from) {
  assert(state_.slotCount == 0 && "a thread that has texts of its own");
  state_ = State{};
  state_.chunks = from.chunks;
  state_.slotCount = from.count;
  state_.borrowed = true;
}

std::uint32_t TextArena::TakeSlot() {
  State& s = state_;
  if (s.borrowed) std::abort();  // would move the owner's table under it
  if (s.freeSlotCount) return s.freeSlots[--s.freeSlotCount];
  if (s.slotCount == kMaxSlots) throw std::bad_alloc();
  if (s.slotCount == s.slotCapacity) {
    const std::uint32_t cap = s.slotCapacity ? 2 * s.slotCapacity : 16;
    char** chunks = static_cast<char**>(std::realloc(s.chunks, cap * sizeof(char*)));
    if (!chunks) throw std::bad_alloc();
    s.chunks = chunks;
    // Each slot may end up on either list, so both lists can hold them all.
    auto* freeSlots = static_cast<std::uint32_t*>(std::realloc(s.freeSlots, cap * sizeof(std::uint32_t)));
    if (!freeSlots) throw std::bad_alloc();
    s.freeSlots = freeSlots;
    auto* standard = static_cast<std::uint32_t*>(std::realloc(s.standard, cap * sizeof(std::uint32_t)));
    if (!standard) throw std::bad_alloc();
    s.standard = standard;
    s.slotCapacity = cap;
  }
  s.chunks[s.slotCount] = nullptr;
  return s.slotCount++;
}

void TextArena::NextChunk() {
  State& s = state_;
  if (s.borrowed) std::abort();
  if (s.standardUsed == s.standardCount) {
    const std::uint32_t slot = TakeSlot();
    // Chunks are kept for the next document of the thread, like the tree's slabs.
    char* chunk = AllocateHugeAligned(kChunkBytes);
    if (!chunk) {
      s.freeSlots[s.freeSlotCount++] = slot;
      throw std::bad_alloc();
    }
    PAGESMITH_POISON(chunk, kChunkBytes);
    s.chunks[slot] = chunk;
    s.standard[s.standardCount++] = slot;
  }
  char* chunk = s.chunks[s.standard[s.standardUsed++]];
  s.next = chunk + kUnit;  // offset 0 marks large blocks
  s.end = chunk + kChunkBytes;
}

void TextArena::Rewind() {
  State& s = state_;
  s.standardUsed = 0;
  s.next = s.end = nullptr;
}

std::size_t TextArena::NewBlockBytes(std::size_t capacity) {
  if (capacity > std::numeric_limits<std::uint32_t>::max() - 2 * kUnit - sizeof(Block)) throw std::bad_alloc();
  return BlockBytes(capacity);
}

std::uint32_t TextArena::Allocate(std::size_t n) {
  State& s = state_;
  const std::size_t bytes = NewBlockBytes(n);
  std::uint32_t ref;
  char* p;
  if (bytes > kLargeBytes) {
    const std::uint32_t slot = TakeSlot();
    p = static_cast<char*>(std::malloc(bytes));
    if (!p) {
      s.freeSlots[s.freeSlotCount++] = slot;
      throw std::bad_alloc();
    }
    s.chunks[slot] = p;
    ref = slot << kOffsetBits;
  } else {
    if (static_cast<std::size_t>(s.end - s.next) < bytes) NextChunk();
    p = s.next;
    s.next += bytes;
    PAGESMITH_UNPOISON(p, bytes);
    const std::uint32_t slot = s.standard[s.standardUsed - 1];
    ref = slot << kOffsetBits | static_cast<std::uint32_t>((p - s.chunks[slot]) / kUnit);
  }
  Block* b = reinterpret_cast<Block*>(p);
  b->length = 0;
  b->capacity = static_cast<std::uint32_t>(bytes - sizeof(Block) - 1);
  b->bytes()[0] = '\0';
  ++s.live;
  return ref;
}

void TextArena::Release(std::uint32_t ref) noexcept {
  State& s = state_;
  if (s.borrowed) std::abort();  // the owner's texts are the owner's to free
  if ((ref & kOffsetMask) == 0) {
    const std::uint32_t slot = ref >> kOffsetBits;
    std::free(s.chunks[slot]);
    s.chunks[slot] = nullptr;
    s.freeSlots[s.freeSlotCount++] = slot;
  } else {
    char* p = reinterpret_cast<char*>(At(ref));
    const std::size_t bytes = BlockBytes(reinterpret_cast<Block*>(p)->capacity);
    if (p + bytes == s.next) s.next = p;  // the last carved: its room is reused at once
    PAGESMITH_POISON(p, bytes);
  }
  if (--s.live == 0) Rewind();
}

bool TextArena::TryGrow(std::uint32_t ref, std::size_t n) {
  State& s = state_;
  const std::size_t bytes = NewBlockBytes(n);
  if ((ref & kOffsetMask) == 0) {
    // A large block keeps its slot wherever the allocator moves it.
    const std::uint32_t slot = ref >> kOffsetBits;
    char* p = static_cast<char*>(std::realloc(s.chunks[slot], bytes));
    if (!p) throw std::bad_alloc();
    s.chunks[slot] = p;
    reinterpret_cast<Block*>(p)->capacity = static_cast<std::uint32_t>(bytes - sizeof(Block) - 1);
    return true;
  }
  char* p = reinterpret_cast<char*>(At(ref));
  Block* b = reinterpret_cast<Block*>(p);
  if (p + BlockBytes(b->capacity) != s.next || bytes > kLargeBytes ||
      static_cast<std::size_t>(s.end - p) < bytes)
    return false;
  PAGESMITH_UNPOISON(s.next, static_cast<std::size_t>(p + bytes - s.next));
  s.next = p + bytes;
  b->capacity = static_cast<std::uint32_t>(bytes - sizeof(Block) - 1);
  return true;
}

// --- the text ---

Text& Text::operator=(Text&& o) noexcept {
  if (this != &o) {
    FreeHeap();
    std::memcpy(raw_, o.raw_, sizeof raw_);
    o.raw_[kTagByte] = kAbsent;
  }
  return *this;
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
    TextArena::Block* b = HeapBlock();
    if (n <= b->capacity) return b->bytes();
    // Grows geometrically, so that appending stays linear.
    const std::size_t cap = n > 2 * std::size_t{b->capacity} ? n : 2 * std::size_t{b->capacity};
    const std::uint32_t old = Ref();
    if (TextArena::TryGrow(old, cap)) return HeapBlock()->bytes();
    const std::uint32_t ref = TextArena::Allocate(cap);
    TextArena::Block* g = TextArena::At(ref);
    b = TextArena::At(old);
    g->length = b->length;
    std::memcpy(g->bytes(), b->bytes(), std::size_t{b->length} + 1);
    SetRef(ref);
    TextArena::Release(old);
    return g->bytes();
  }
  if (n <= kInline) return reinterpret_cast<char*>(raw_);
  // Leaving the place: an empty text is being assigned (exact room), a
  // non-empty one grows (room to grow).
  const std::size_t len = size();
  const std::size_t cap = len == 0 || n > 2 * len ? n : 2 * len;
  const std::uint32_t ref = TextArena::Allocate(cap);
  TextArena::Block* g = TextArena::At(ref);
  g->length = static_cast<std::uint32_t>(len);
  std::memcpy(g->bytes(), raw_, len);
  g->bytes()[len] = '\0';
  SetRef(ref);
  return g->bytes();
}

void Text::SetLength(std::size_t n) {
  if (Tag() == kHeap) {
    TextArena::Block* b = HeapBlock();
    b->bytes()[n] = '\0';
    b->length = static_cast<std::uint32_t>(n);
  } else {
    SetInlineLength(n);
  }
}

void Text::AssignElsewhere(std::string_view s) {
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
