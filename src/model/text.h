// An owned byte string that can also be absent ("no text" differs from "").
// Every node carries three and every property one, and a document has
// millions of them, mostly short ("10pt", "bold"): a text is 16 bytes and
// keeps up to 15 bytes in place, so that short texts cost no allocation.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ps {

class Text;

// A property's value: 11 bytes, up to 10 of them in place. Almost every
// value is a short word or number ("10pt", "bold", an input position), and a
// document has millions of them. Read like a Text; it is replaced, never
// grown.
class ShortText {
 public:
  ShortText() { raw_[kTagByte] = kAbsent; }
  ShortText(const ShortText&) = delete;
  ShortText& operator=(const ShortText&) = delete;
  ~ShortText() { FreeHeap(); }
  // Takes the bytes (or the absence) of a text.
  ShortText& operator=(Text&& t);

  bool null() const { return raw_[kTagByte] == kAbsent; }
  bool has() const { return !null(); }
  // NUL-terminated bytes, or nullptr when absent.
  const char* c_str() const {
    const unsigned char t = raw_[kTagByte];
    if (t == kHeap) return HeapPtr() + sizeof(std::size_t);
    return t == kAbsent ? nullptr : reinterpret_cast<const char*>(raw_);
  }
  const char* or_empty() const { return null() ? "" : c_str(); }
  std::size_t size() const {
    const unsigned char t = raw_[kTagByte];
    if (t == kHeap) {
      std::size_t n;
      std::memcpy(&n, HeapPtr(), sizeof n);
      return n;
    }
    return t == kAbsent ? 0 : kInline - t;
  }
  std::string_view view() const { return null() ? std::string_view() : std::string_view(c_str(), size()); }
  bool empty() const { return size() == 0; }

  void reset() {
    FreeHeap();
    raw_[kTagByte] = kAbsent;
  }
  void assign(std::string_view s);

 private:
  // In place: the bytes from raw_[0], a NUL after them, and in the last byte
  // 10 minus the length (so a 10-byte value ends in the NUL it needs). On the
  // heap: the block's address in raw_[0..7] and kHeap in the last byte; the
  // block holds the length, the bytes and a NUL.
  static constexpr std::size_t kInline = 10;
  static constexpr std::size_t kTagByte = 10;
  static constexpr unsigned char kAbsent = 0x40;
  static constexpr unsigned char kHeap = 0x80;

  char* HeapPtr() const {
    char* p;
    std::memcpy(&p, raw_, sizeof p);
    return p;
  }
  void FreeHeap();

  unsigned char raw_[11];
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
  static Text Copy(const ShortText& o) { return o.null() ? Text() : Text(o.view()); }

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
  static_assert(std::endian::native == std::endian::little, "the tag byte is the top byte of the length");
  // Layout: an in-place text holds its bytes from raw_[0] and, in its last
  // byte, 15 minus its length (so a 15-byte text ends in the NUL it needs).
  // A heap text holds the pointer in raw_[0..7] and the length in the low 56
  // bits of raw_[8..15]; its last byte is kHeap. The heap block's size is
  // always at least Capacity(length) + 1.
  static constexpr std::size_t kInline = 15;
  static constexpr std::size_t kTagByte = 15;
  static constexpr unsigned char kAbsent = 0x40;
  static constexpr unsigned char kHeap = 0x80;
  static constexpr std::uint64_t kLengthMask = (std::uint64_t{1} << 56) - 1;

  unsigned char Tag() const { return raw_[kTagByte]; }
  char* HeapPtr() const {
    char* p;
    std::memcpy(&p, raw_, sizeof p);
    return p;
  }
  std::size_t HeapLen() const {
    std::uint64_t m;
    std::memcpy(&m, raw_ + 8, sizeof m);
    return static_cast<std::size_t>(m & kLengthMask);
  }
  void SetHeap(char* p, std::size_t len) {
    std::memcpy(raw_, &p, sizeof p);
    const std::uint64_t m = static_cast<std::uint64_t>(len) | (std::uint64_t{kHeap} << 56);
    std::memcpy(raw_ + 8, &m, sizeof m);
  }
  void SetInlineLength(std::size_t len) {
    raw_[len] = '\0';
    raw_[kTagByte] = static_cast<unsigned char>(kInline - len);
  }
  void FreeHeap();
  // Bytes usable by a heap text of that length (its NUL not counted).
  static std::size_t Capacity(std::size_t len) { return std::bit_ceil(len + 1 < 32 ? 32 : len + 1) - 1; }
  // Makes room for n bytes and returns where they go; keeps the current bytes.
  char* Reserve(std::size_t n);
  void SetLength(std::size_t n);
  bool Overlaps(std::string_view s) const;

  alignas(8) unsigned char raw_[16];
};

}  // namespace ps
