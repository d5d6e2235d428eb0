// Items 0 .. n-1 shared out between two threads: one takes them from the
// front, the other from the back, each the next that nobody has taken, until
// they meet. Whichever way the work of the items falls, both stay busy.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ps {

class EndClaims {
 public:
  // Items are counted in 32 bits.
  static constexpr std::size_t kMaxItems = std::size_t{1} << 32;
  explicit EndClaims(std::size_t n) : claims_(Pack(0, n)) {}

  bool Front(std::size_t& k) {
    std::uint64_t v = claims_.load();
    for (;;) {
      const std::size_t low = Low(v), high = High(v);
      if (low >= high) return false;
      if (claims_.compare_exchange_weak(v, Pack(low + 1, high))) {
        k = low;
        return true;
      }
    }
  }
  bool Back(std::size_t& k) {
    std::uint64_t v = claims_.load();
    for (;;) {
      const std::size_t low = Low(v), high = High(v);
      if (low >= high) return false;
      if (claims_.compare_exchange_weak(v, Pack(low, high - 1))) {
        k = high - 1;
        return true;
      }
    }
  }
  // The back taker gives back the item it took last: the front taker
  // takes it in turn.
  void GiveBack(std::size_t k) {
    std::uint64_t v = claims_.load();
    while (!claims_.compare_exchange_weak(v, Pack(Low(v), k + 1))) {
    }
  }

 private:
  static std::uint64_t Pack(std::size_t low, std::size_t high) { return std::uint64_t{high} << 32 | low; }
  static std::size_t Low(std::uint64_t v) { return static_cast<std::size_t>(v & 0xFFFFFFFF); }
  static std::size_t High(std::uint64_t v) { return static_cast<std::size_t>(v >> 32); }
  std::atomic<std::uint64_t> claims_;
};

}  // namespace ps
