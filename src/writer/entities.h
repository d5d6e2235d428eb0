// Character conversion of texts and values on their way into the FO file.
#pragma once

#include <string>
#include <string_view>

#include "model/text.h"

namespace ps {

enum class ConvertMode {
  Text,        // element content
  QuotedValue  // attribute value between double quotes
};

// Appends the converted form of `in` to `out`.
void ConvertSpecialChars(std::string_view in, std::string& out, ConvertMode mode = ConvertMode::Text);
// Converts a stored text in place; an absent or empty text is left alone.
void ConvertSpecialChars(Text& t, ConvertMode mode = ConvertMode::Text);

}  // namespace ps
