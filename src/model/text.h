// An owned byte string that can also be absent ("no text" differs from "").
// Every node carries three and every property one, and a document has
// millions of them, mostly short ("10pt", "bold", "1.2"): a text is 7 bytes
// and keeps up to 6 bytes in place, so that short texts cost no allocation.
// Longer texts live in the thread's text arena (below), which costs 8 bytes
// per text instead of the general allocator's 30 or so.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "model/huge_pages.h"

namespace ps {

// Where the longer texts live: blocks carved in order from large chunks, each
// known by a 32-bit reference. A block given back is only reclaimed when it
// was the last one carved or when no block of the thread is in use any more
// (at the latest when a document's tree is freed); a document edits few of
// its texts, so what is left behind stays small.
//
// As with the tree's blocks, the table of chunks is one for the process and
// never moves, so that a text made on a helper thread reads the same on any
// thread; each thread carves its own chunks, and a helper whose texts went
// into another thread's tree hands its chunks to that thread (Handover).
class TextArena {
 public:
  struct Block {
    std::uint32_t length;
    std::uint32_t capacity;  // bytes usable, the NUL not counted
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
  };
  // A block with room for at least n bytes and the NUL; length 0.
  static std::uint32_t Allocate(std::size_t n);
  static void Release(std::uint32_t ref) noexcept;
  // Grows the block in place to room for n bytes when it is the last carved
  // and its chunk has the room.
  static bool TryGrow(std::uint32_t ref, std::size_t n);
  static Block* At(std::uint32_t ref) {
    return reinterpret_cast<Block*>(chunks_[ref >> kOffsetBits] + (ref & kOffsetMask) * kUnit);
  }
  // Blocks in use on this thread (for leak checks).
  static std::size_t Live() { return state_.live; }

  // A thread that only reads texts made elsewhere: making or freeing one
  // here stops the program.
  static void ReadOnly() { state_.readOnly = true; }

  // What a helper that builds part of this thread's tree works with (some
  // of this thread's uncarved chunks), and what it holds when it is done: its
  // chunks, free slots and blocks in use.
  struct Handover {
    std::uint32_t* standard;
    std::uint32_t standardCount;
    std::uint32_t standardUsed;
    std::uint32_t* freeSlots;
    std::uint32_t freeSlotCount;
    std::size_t live;
  };
  // Half of this thread's uncarved chunks, lent to a helper (Borrow there);
  // Adopt takes a loan back unused.
  static Handover Lend();
  // On the helper, first. Its count of texts in use says nothing there (it
  // may free this thread's), so its chunks are never reclaimed on it.
  static void Borrow(const Handover& h);
  // On the helper, last: everything it holds; the thread is left with nothing.
  static Handover Hand();
  // Takes a helper's chunks over, on the thread whose tree holds its texts:
  // the chunks it carved count as carved here (reclaimed with this thread's
  // own), the others are carved later.
  static void Adopt(const Handover& h);

 private:
  // A reference is a chunk slot and an offset in 8-byte units. Offset 0 of a
  // standard chunk is never carved, so offset 0 marks a large block: one that
  // has a slot of its own and goes back to the general allocator at once.
  static constexpr std::size_t kUnit = 8;
  static constexpr unsigned kOffsetBits = 18;
  static constexpr std::uint32_t kOffsetMask = (std::uint32_t{1} << kOffsetBits) - 1;
  static constexpr std::size_t kChunkBytes = kUnit << kOffsetBits;
  static_assert(kChunkBytes == kHugePageBytes, "spare huge pages serve as chunks");
  static constexpr std::size_t kLargeBytes = kChunkBytes / 4;
  static constexpr std::uint32_t kMaxSlots = std::uint32_t{1} << (32 - kOffsetBits);

  // Plain data only, so that the thread-local needs no guard on each access.
  struct State {
    std::uint32_t* freeSlots;  // slots of large blocks given back (room for every slot)
    std::uint32_t freeSlotCount;
    std::uint32_t* standard;   // slots of the standard chunks, in carving order (room for every slot)
    std::uint32_t standardCount;
    std::uint32_t standardUsed;  // standard[standardUsed - 1] is being carved
    char* next;
    char* end;
    std::size_t live;
    bool readOnly;
    bool lending;  // a helper's: never reclaims its chunks
  };
  static std::uint32_t TakeSlot();
  static bool MakeLists(State& s);
  static void NextChunk();
  static void Rewind();
  static std::size_t BlockBytes(std::size_t capacity) {
    return (sizeof(Block) + capacity + 1 + kUnit - 1) / kUnit * kUnit;
  }
  // BlockBytes for a block yet to be made; throws when its length would not
  // fit the 32-bit header.
  static std::size_t NewBlockBytes(std::size_t capacity);

  static inline thread_local State state_{};
  // By slot, for every thread; nullptr for a slot not in use. 128 KB of
  // address space, touched a page at a time.
  static inline char* chunks_[kMaxSlots] = {};
  static inline std::atomic<std::uint32_t> slotCount_{0};
};

class Text {
 public:
  Text() { raw_[kTagByte] = kAbsent; }
  explicit Text(std::string_view s) : Text() { assign(s); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  Text(Text&& o) noexcept {
    std::memcpy(raw_, o.raw_, sizeof raw_);
    o.raw_[kTagByte] = kAbsent;
  }
  Text& operator=(Text&& o) noexcept;
  ~Text() { FreeHeap(); }

  static Text Copy(const Text& o) { return o.null() ? Text() : Text(o.view()); }

  bool null() const { return Tag() == kAbsent; }
  bool has() const { return !null(); }
  // NUL-terminated bytes, or nullptr when absent.
  const char* c_str() const {
    const unsigned char t = Tag();
    if (t == kHeap) return HeapBlock()->bytes();
    return t == kAbsent ? nullptr : reinterpret_cast<const char*>(raw_);
  }
  // Absent reads as empty.
  const char* or_empty() const { return null() ? "" : c_str(); }
  std::string_view view() const {
    const unsigned char t = Tag();
    if (t == kHeap) {
      TextArena::Block* b = HeapBlock();
      return std::string_view(b->bytes(), b->length);
    }
    return t == kAbsent ? std::string_view() : std::string_view(reinterpret_cast<const char*>(raw_), kInline - t);
  }
  std::size_t size() const {
    const unsigned char t = Tag();
    if (t == kHeap) return HeapBlock()->length;
    return t == kAbsent ? 0 : kInline - t;
  }
  bool empty() const { return size() == 0; }
  // A text kept in place as one number of its seven bytes, so that equal
  // numbers mean equal texts; false for an absent text or one in the arena.
  bool InPlaceBits(std::uint64_t& bits) const {
    if (Tag() > kInline) return false;
    // Read in pieces that fit registers: assembling the number in memory
    // from a 7-byte copy stalls the load that follows.
    // The bytes past the text's end were never written: they are masked
    // off, so that equal texts give equal numbers and nothing unset is read.
    std::uint32_t low;
    std::uint16_t middle;
    std::memcpy(&low, raw_, sizeof low);
    std::memcpy(&middle, raw_ + 4, sizeof middle);
    const std::uint64_t used = (std::uint64_t{1} << (8 * (kInline - Tag()))) - 1;
    bits = ((low | std::uint64_t{middle} << 32) & used) | std::uint64_t{raw_[6]} << 48;
    return true;
  }

  void reset();
  void assign(std::string_view s) {
    // Most texts fit in place: no arena, no bookkeeping (memmove, since s may
    // be a piece of this very text).
    if (s.size() <= kInline && Tag() != kHeap) {
      if (!s.empty()) std::memmove(raw_, s.data(), s.size());
      SetInlineLength(s.size());
      return;
    }
    AssignElsewhere(s);
  }
  // Appends; an absent text becomes present.
  void append(std::string_view s);
  void push_back(char c) { append(std::string_view(&c, 1)); }
  // Shortens to n bytes (n <= size()).
  void truncate(std::size_t n);
  // Takes the other text over; the other becomes absent.
  void take(Text& o) { *this = std::move(o); }
  // Replaces bytes [pos, pos+count) with s.
  void replace(std::size_t pos, std::size_t count, std::string_view s);

 private:
  // Layout: an in-place text holds its bytes from raw_[0] and, in its last
  // byte, 6 minus its length (so a 6-byte text ends in the NUL it needs).
  // An arena text holds its block's reference in raw_[0..3] and kHeap in its
  // last byte.
  static constexpr std::size_t kInline = 6;
  static constexpr std::size_t kTagByte = 6;
  static constexpr unsigned char kAbsent = 0x40;
  static constexpr unsigned char kHeap = 0x80;

  unsigned char Tag() const { return raw_[kTagByte]; }
  std::uint32_t Ref() const {
    std::uint32_t r;
    std::memcpy(&r, raw_, sizeof r);
    return r;
  }
  void SetRef(std::uint32_t r) {
    std::memcpy(raw_, &r, sizeof r);
    raw_[kTagByte] = kHeap;
  }
  TextArena::Block* HeapBlock() const { return TextArena::At(Ref()); }
  void SetInlineLength(std::size_t len) {
    raw_[len] = '\0';
    raw_[kTagByte] = static_cast<unsigned char>(kInline - len);
  }
  void FreeHeap() {
    if (Tag() == kHeap) TextArena::Release(Ref());
  }
  void AssignElsewhere(std::string_view s);
  // Makes room for n bytes and returns where they go; keeps the current bytes.
  char* Reserve(std::size_t n);
  void SetLength(std::size_t n);
  bool Overlaps(std::string_view s) const;

  unsigned char raw_[7] = {};  // all set, so that whole-word reads never meet unset bytes
};

}  // namespace ps
