// Helpers shared by the unit tests: a context whose channels are captured.
#pragma once

#include <cstdint>
#include <string>

#include "model/tree.h"
#include "model/context.h"

namespace ps::test {

// Sibling count for the tests that prove no walk recurses along a chain: ten
// million as real documents may have; a million under the sanitizers, whose
// larger frames overflow sooner and whose allocator would take minutes.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAGESMITH_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(PAGESMITH_TEST_ASAN)
inline constexpr int kManySiblings = 1'000'000;
#else
inline constexpr int kManySiblings = 10'000'000;
#endif

struct Captured {
  std::string messages;
  std::string trace;
  OutStream msgStream = OutStream::ToString(&messages);
  OutStream dbgStream = OutStream::ToString(&trace);
  Context ctx;
  explicit Captured(int debugLevel = 0) {
    ctx.message = &msgStream;
    ctx.debug = &dbgStream;
    ctx.debugLevel = debugLevel;
  }
  Captured(const Captured&) = delete;
  ~Captured();
};

// A node of the named row, unlinked.
TagNode* Node(const char* tag);
// Appends a new child of the named row (no checks).
TagNode* Child(TagNode* parent, const char* tag);
// Serialises one subtree as the writer does.
std::string Write(const TagNode* n);
// The property names of a node in list order, separated by blanks.
std::string PropNames(const TagNode* n);
// A page converted as the converter does, untraced, with a user sheet when
// one is given; the walks that can take a second thread take one from
// `twoThreadsFrom` nodes on (from 1 on, tables of any size share their
// rows and measures when a side runs out of work, and a second reader reads
// from half way; with `rowsLate`, a table body shares its rows only from its
// second row on). The FO, then the messages (none when they go to a
// discarding stream, as to the null device).
std::string ConvertOnThreads(const std::string& html, std::size_t twoThreadsFrom, const std::string& userSheet = "",
                             bool dropMessages = false, bool rowsLate = false);

// The tree's blocks this thread has in use; a conversion, or a tree built and
// freed, must leave them as it found them (ExpectSameBlocks).
struct BlocksInUse {
  std::size_t nodes = BlockPool<sizeof(TagNode)>::Live();
  std::size_t properties = BlockPool<sizeof(TagProperty)>::Live();
  std::size_t texts = TextArena::Live();
};
void ExpectSameBlocks(const BlocksInUse& before);

// The same pseudo-random numbers on every machine, for generated pages:
// next(n) is in [0, n).
class Seeded {
 public:
  explicit Seeded(std::uint32_t seed) : seed_(seed) {}
  std::uint32_t operator()(std::uint32_t n) {
    seed_ = seed_ * 1103515245u + 12345u;
    return (seed_ >> 16) % n;
  }

 private:
  std::uint32_t seed_;
};

}  // namespace ps::test
