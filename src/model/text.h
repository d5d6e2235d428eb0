// An owned byte string that can also be absent ("no text" differs from "").
// Every node carries three and every property one, and a document has
// millions of them, mostly short ("10pt", "bold", an input position): a text
// is 11 bytes and keeps up to 10 bytes in place, so that short texts cost no
// allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ps {

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
    if (t == kHeap) return HeapPtr();
    return t == kAbsent ? nullptr : reinterpret_cast<const char*>(raw_);
  }
  // Absent reads as empty.
  const char* or_empty() const { return null() ? "" : c_str(); }
  std::string_view view() const { return null() ? std::string_view() : std::string_view(c_str(), size()); }
  std::size_t size() const {
    const unsigned char t = Tag();
    if (t == kHeap) return HeapLen();
    return t == kAbsent ? 0 : kInline - t;
  }
  bool empty() const { return size() == 0; }

  void reset();
  void assign(std::string_view s);
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
  // byte, 10 minus its length (so a 10-byte text ends in the NUL it needs).
  // A heap text holds the block's address in raw_[0..7] and kHeap in its
  // last byte; the block holds the length, the capacity, the bytes and a NUL.
  static constexpr std::size_t kInline = 10;
  static constexpr std::size_t kTagByte = 10;
  static constexpr unsigned char kAbsent = 0x40;
  static constexpr unsigned char kHeap = 0x80;
  struct Block {
    std::size_t length;
    std::size_t capacity;  // bytes usable, the NUL not counted
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
  };

  unsigned char Tag() const { return raw_[kTagByte]; }
  Block* HeapBlock() const {
    Block* b;
    std::memcpy(&b, raw_, sizeof b);
    return b;
  }
  char* HeapPtr() const { return HeapBlock()->bytes(); }
  std::size_t HeapLen() const { return HeapBlock()->length; }
  void SetInlineLength(std::size_t len) {
    raw_[len] = '\0';
    raw_[kTagByte] = static_cast<unsigned char>(kInline - len);
  }
  void FreeHeap();
  // Makes room for n bytes and returns where they go; keeps the current bytes.
  char* Reserve(std::size_t n);
  void SetLength(std::size_t n);
  bool Overlaps(std::string_view s) const;

  unsigned char raw_[11];
};

}  // namespace ps
