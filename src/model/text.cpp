#include "model/text.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace ps {

Text& Text::operator=(Text&& o) noexcept {
  if (this != &o) {
    std::free(p_);
    p_ = o.p_;
    len_ = o.len_;
    cap_ = o.cap_;
    o.p_ = nullptr;
    o.len_ = o.cap_ = 0;
  }
  return *this;
}

void Text::reset() {
  std::free(p_);
  p_ = nullptr;
  len_ = cap_ = 0;
}

void Text::reserve(std::size_t n) {
  if (p_ && n <= cap_) return;
  std::size_t cap = cap_ ? cap_ : 8;
  while (cap < n) cap = cap * 2;
  char* q = static_cast<char*>(std::realloc(p_, cap + 1));
  if (!q) throw std::bad_alloc();
  p_ = q;
  cap_ = cap;
}

void Text::assign(std::string_view s) {
  if (p_ && s.data() >= p_ && s.data() <= p_ + len_) {
    // Assigning a piece of ourselves: copy first.
    std::string tmp(s);
    assign(std::string_view(tmp));
    return;
  }
  len_ = 0;
  reserve(s.size());
  if (!s.empty()) std::memcpy(p_, s.data(), s.size());
  len_ = s.size();
  p_[len_] = '\0';
}

void Text::append(std::string_view s) {
  if (p_ && !s.empty() && s.data() >= p_ && s.data() <= p_ + len_) {
    std::string tmp(s);
    append(std::string_view(tmp));
    return;
  }
  reserve(len_ + s.size());
  if (!s.empty()) std::memcpy(p_ + len_, s.data(), s.size());
  len_ += s.size();
  p_[len_] = '\0';
}

void Text::truncate(std::size_t n) {
  if (!p_ || n >= len_) return;
  len_ = n;
  p_[len_] = '\0';
}

void Text::replace(std::size_t pos, std::size_t count, std::string_view s) {
  std::string tmp(s);  // s may point into us
  std::size_t tailLen = len_ - pos - count;
  std::size_t newLen = pos + tmp.size() + tailLen;
  reserve(newLen);
  std::memmove(p_ + pos + tmp.size(), p_ + pos + count, tailLen);
  if (!tmp.empty()) std::memcpy(p_ + pos, tmp.data(), tmp.size());
  len_ = newLen;
  p_[len_] = '\0';
}

}  // namespace ps
