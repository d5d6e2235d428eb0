// The colour keywords of CSS and HTML, shared by the style sheets' colour
// values and the writer's check of what FOP can read.
#pragma once

#include <cstdint>
#include <string_view>

namespace ps {

// The RGB value of a named colour; `name` must be in lower case. False for
// any other word (also "transparent" and "currentcolor", which are no colours
// of their own).
bool NamedColorRgb(std::string_view name, std::uint32_t* rgb);

}  // namespace ps
