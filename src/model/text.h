// An owned byte string that can also be absent ("no text" differs from "").
// Kept to one pointer and two sizes because every node carries three of them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ps {

class Text {
 public:
  Text() = default;
  explicit Text(std::string_view s) { assign(s); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  Text(Text&& o) noexcept : p_(o.p_), len_(o.len_), cap_(o.cap_) { o.p_ = nullptr; o.len_ = o.cap_ = 0; }
  Text& operator=(Text&& o) noexcept;
  ~Text() { reset(); }

  static Text Copy(const Text& o) { return o.null() ? Text() : Text(o.view()); }

  bool null() const { return p_ == nullptr; }
  bool has() const { return p_ != nullptr; }
  // NUL-terminated bytes, or nullptr when absent.
  const char* c_str() const { return p_; }
  // Absent reads as empty.
  const char* or_empty() const { return p_ ? p_ : ""; }
  std::string_view view() const { return p_ ? std::string_view(p_, len_) : std::string_view(); }
  std::size_t size() const { return len_; }
  bool empty() const { return len_ == 0; }

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
  void reserve(std::size_t n);
  char* p_ = nullptr;
  std::size_t len_ = 0;
  std::size_t cap_ = 0;
};

}  // namespace ps
