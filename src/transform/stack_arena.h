// Memory for a step's short working lists: the first N bytes on the stack,
// beyond them the heap, all given back when the arena goes. The table steps
// run tens of thousands of times on a large page, each making a few short
// lists, and the heap's calls were a tenth of their time.
#pragma once

#include <array>
#include <cstddef>
#include <memory_resource>

namespace ps {

template <std::size_t N>
class StackArena : private std::array<std::byte, N>, public std::pmr::monotonic_buffer_resource {
 public:
  StackArena() : std::pmr::monotonic_buffer_resource(this->data(), N) {}
  StackArena(const StackArena&) = delete;
  StackArena& operator=(const StackArena&) = delete;
};

}  // namespace ps
