// Link targets must be valid URIs for the renderer.
#pragma once

#include <string>
#include <string_view>

namespace ps {

// Appends an already converted attribute value with every character that a
// URI may not contain percent-encoded (upper-case hex): raw bytes as
// themselves, character references as the UTF-8 bytes of their character.
// "&amp;" and references to characters a URI allows stay as they are; the
// first '#' stays; a '%' stays only before two hex digits.
void PercentEncodeUri(std::string_view value, std::string& out);

}  // namespace ps
