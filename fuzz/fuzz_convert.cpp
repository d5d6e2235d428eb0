// libFuzzer entry: one whole conversion in memory, as the executable runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/tree.h"
#include "run/run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Nodes, properties and texts come from pools that the leak checker cannot
  // see into: a conversion must give back every block it took.
  const std::size_t nodes = ps::BlockPool<sizeof(ps::TagNode)>::Live();
  const std::size_t props = ps::BlockPool<sizeof(ps::TagProperty)>::Live();
  const std::size_t texts = ps::TextArena::Live();
  std::string fo;
  std::string messages;
  ps::ConvertBuffer(std::string_view(reinterpret_cast<const char*>(data), size), &fo, &messages);
  if (ps::BlockPool<sizeof(ps::TagNode)>::Live() != nodes || ps::BlockPool<sizeof(ps::TagProperty)>::Live() != props ||
      ps::TextArena::Live() != texts) {
    std::fprintf(stderr, "tree blocks leaked\n");
    std::abort();
  }
  return 0;
}
