#include "model/text.h"

#include <cassert>
#include <cstdlib>
#include <limits>
#include <new>

#include "model/huge_pages.h"
#include "model/pool.h"

namespace ps {

// --- the text arena ---

bool TextArena::MakeLists(State& s) {
  // Each slot may end up on either list, and any thread's slot on this
  // thread's lists, so both have room for every slot (address space only).
  if (s.freeSlots) return true;
  s.freeSlots = static_cast<std::uint32_t*>(std::malloc(kMaxSlots * sizeof(std::uint32_t)));
  s.standard = static_cast<std::uint32_t*>(std::malloc(kMaxSlots * sizeof(std::uint32_t)));
  if (s.freeSlots && s.standard) return true;
  std::free(s.freeSlots);
  std::free(s.standard);
  s.freeSlots = s.standard = nullptr;
  return false;
}

std::uint32_t TextArena::TakeSlot() {
  State& s = state_;
  if (s.readOnly) std::abort();
  if (!MakeLists(s)) throw std::bad_alloc();
  if (s.freeSlotCount) return s.freeSlots[--s.freeSlotCount];
  const std::uint32_t slot = slotCount_.fetch_add(1, std::memory_order_relaxed);
  if (slot >= kMaxSlots) throw std::bad_alloc();
  return slot;
}

void TextArena::NextChunk() {
  State& s = state_;
  if (s.readOnly) std::abort();
  if (s.standardUsed == s.standardCount) {
    const std::uint32_t slot = TakeSlot();
    // Chunks are kept for the next document, like the tree's slabs.
    char* chunk = AllocateHugeAligned(kChunkBytes);
    if (!chunk) {
      s.freeSlots[s.freeSlotCount++] = slot;
      throw std::bad_alloc();
    }
    PAGESMITH_POISON(chunk, kChunkBytes);
    // Read on another thread only after a lock or a join hands it a text here.
    chunks_[slot] = chunk;
    s.standard[s.standardCount++] = slot;
  }
  char* chunk = chunks_[s.standard[s.standardUsed++]];
  s.next = chunk + kUnit;  // offset 0 marks large blocks
  s.end = chunk + kChunkBytes;
}

void TextArena::Rewind() {
  State& s = state_;
  s.standardUsed = 0;
  s.next = s.end = nullptr;
}

TextArena::Handover TextArena::Lend() {
  State& s = state_;
  const std::uint32_t lent = (s.standardCount - s.standardUsed) / 2;
  if (lent == 0) return {};
  auto* slots = static_cast<std::uint32_t*>(std::malloc(lent * sizeof(std::uint32_t)));
  if (!slots) return {};  // the helper takes chunks of its own
  s.standardCount -= lent;
  std::memcpy(slots, s.standard + s.standardCount, lent * sizeof(std::uint32_t));
  return {slots, lent, 0, nullptr, 0, 0};
}

void TextArena::Borrow(const Handover& h) {
  State& s = state_;
  s = State{};
  s.lending = true;
  if (h.standard && MakeLists(s)) {
    std::memcpy(s.standard, h.standard, h.standardCount * sizeof(std::uint32_t));
    s.standardCount = h.standardCount;
  }
  // Without room for the lists the lent chunks are lost to the process (not their texts: they hold none).
  std::free(h.standard);
}

TextArena::Handover TextArena::Hand() {
  State& s = state_;
  const Handover h{s.standard, s.standardCount, s.standardUsed, s.freeSlots, s.freeSlotCount, s.live};
  s = State{};
  return h;
}

void TextArena::Adopt(const Handover& h) {
  State& s = state_;
  s.live += h.live;
  if (!h.standard) return;  // the helper made no slot
  if (!MakeLists(s)) {  // its chunks stay out of every list: never carved again
    std::free(h.standard);
    std::free(h.freeSlots);
    return;
  }
  // The chunks it carved go before the one being carved here, so that they
  // count as carved (and are reclaimed with this thread's own); its uncarved
  // chunks come after every chunk here.
  const std::uint32_t at = s.standardUsed ? s.standardUsed - 1 : 0;
  std::memmove(s.standard + at + h.standardUsed, s.standard + at, (s.standardCount - at) * sizeof(std::uint32_t));
  std::memcpy(s.standard + at, h.standard, h.standardUsed * sizeof(std::uint32_t));
  s.standardCount += h.standardUsed;
  s.standardUsed += h.standardUsed;
  std::memcpy(s.standard + s.standardCount, h.standard + h.standardUsed,
              (h.standardCount - h.standardUsed) * sizeof(std::uint32_t));
  s.standardCount += h.standardCount - h.standardUsed;
  std::memcpy(s.freeSlots + s.freeSlotCount, h.freeSlots, h.freeSlotCount * sizeof(std::uint32_t));
  s.freeSlotCount += h.freeSlotCount;
  std::free(h.standard);
  std::free(h.freeSlots);
  if (s.live == 0 && !s.lending) Rewind();
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
    chunks_[slot] = p;
    ref = slot << kOffsetBits;
  } else {
    if (static_cast<std::size_t>(s.end - s.next) < bytes) NextChunk();
    p = s.next;
    s.next += bytes;
    PAGESMITH_UNPOISON(p, bytes);
    const std::uint32_t slot = s.standard[s.standardUsed - 1];
    ref = slot << kOffsetBits | static_cast<std::uint32_t>((p - chunks_[slot]) / kUnit);
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
  if (s.readOnly) std::abort();  // a thread that only reads frees nothing
  if ((ref & kOffsetMask) == 0) {
    const std::uint32_t slot = ref >> kOffsetBits;
    std::free(chunks_[slot]);
    chunks_[slot] = nullptr;
    // A helper's large text may be freed here first; without room for the
    // lists the slot stays unused.
    if (MakeLists(s)) s.freeSlots[s.freeSlotCount++] = slot;
  } else {
    char* p = reinterpret_cast<char*>(At(ref));
    const std::size_t bytes = BlockBytes(reinterpret_cast<Block*>(p)->capacity);
    if (p + bytes == s.next) s.next = p;  // the last carved: its room is reused at once
    PAGESMITH_POISON(p, bytes);
  }
  if (--s.live == 0 && !s.lending) Rewind();
}

bool TextArena::TryGrow(std::uint32_t ref, std::size_t n) {
  State& s = state_;
  const std::size_t bytes = NewBlockBytes(n);
  if ((ref & kOffsetMask) == 0) {
    // A large block keeps its slot wherever the allocator moves it.
    const std::uint32_t slot = ref >> kOffsetBits;
    char* p = static_cast<char*>(std::realloc(chunks_[slot], bytes));
    if (!p) throw std::bad_alloc();
    chunks_[slot] = p;
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
