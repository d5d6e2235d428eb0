// libFuzzer entry: one whole conversion in memory, as the executable runs it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "run/run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string fo;
  std::string messages;
  ps::ConvertBuffer(std::string_view(reinterpret_cast<const char*>(data), size), &fo, &messages);
  return 0;
}
