#include "model/context.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

namespace ps {

namespace {

// A run's progress lines are many and short (a few for every table), and
// only the converting thread writes to its streams: the stream's lock,
// taken by every fwrite, would cost more than the copy.
std::size_t WriteToFile(std::string_view s, std::FILE* f) {
#if defined(__GLIBC__)
  return fwrite_unlocked(s.data(), 1, s.size(), f);
#else
  return std::fwrite(s.data(), 1, s.size(), f);
#endif
}

}  // namespace

void PieceText::append(std::string_view s) {
  while (!s.empty()) {
    const std::size_t used = size_ % kPiece;
    if (used == 0 && size_ / kPiece == pieces_.size()) pieces_.push_back(std::make_unique_for_overwrite<char[]>(kPiece));
    const std::size_t n = std::min(s.size(), kPiece - used);
    std::memcpy(pieces_[size_ / kPiece].get() + used, s.data(), n);
    size_ += n;
    s.remove_prefix(n);
  }
}

void PieceText::WriteRange(OutStream& out, std::size_t from, std::size_t to) const {
  to = std::min(to, size_);
  while (from < to) {
    const std::size_t n = std::min(to - from, kPiece - from % kPiece);
    out.write(std::string_view(pieces_[from / kPiece].get() + from % kPiece, n));
    from += n;
  }
}

void OutStream::write(std::string_view s) {
  if (discard_ || s.empty()) return;
  if (buf_) {
    buf_->append(s);
    return;
  }
  if (pieces_) {
    pieces_->append(s);
    return;
  }
  if (file_ && WriteToFile(s, file_) != s.size()) failed_ = true;
}

void OutStream::printf(const char* fmt, ...) {
  if (discard_) return;
  char small[512];
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  if (n < 0) {
    va_end(ap2);
    return;
  }
  if (static_cast<std::size_t>(n) < sizeof small) {
    write(std::string_view(small, static_cast<std::size_t>(n)));
  } else {
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, ap2);
    write(std::string_view(big.data(), static_cast<std::size_t>(n)));
  }
  va_end(ap2);
}

void OutStream::flush() {
  if (file_ && std::fflush(file_) != 0) failed_ = true;
}

}  // namespace ps
