// Character conversion of texts and values on their way into the FO file.
#pragma once

#include <string>
#include <string_view>

#include "model/text.h"

namespace ps {

enum class ConvertMode {
  Text,         // element content
  BareText,     // content of an element that admits no child element here
  QuotedValue   // attribute value between double quotes
};

// Latin1: ISO-8859-1 output of a page read as windows-1252, whose bytes 128
// to 159 windows-1252 defines are written as references to their characters.
enum class OutputEncoding { Latin1, Utf8 };

// Appends the converted form of `in` to `out`. The encoding decides how the
// few entities that become single characters are written.
void ConvertSpecialChars(std::string_view in, std::string& out, ConvertMode mode = ConvertMode::Text,
                         OutputEncoding enc = OutputEncoding::Latin1);
// The length of a UTF-8 sequence at `i` that XML forbids in any text (U+FFFE,
// U+FFFF, a surrogate); 0 when there is none.
std::size_t XmlForbiddenUtf8At(std::string_view s, std::size_t i);
// Appends UTF-8 text as it is, but for those sequences, which become U+FFFD.
void AppendXmlSafeUtf8(std::string_view in, std::string& out);
// The value FOP reads from an attribute value written as ConvertSpecialChars
// writes it: its references resolved, in UTF-8. Two ids are one for FOP
// exactly when these are equal.
std::string XmlAttributeValueRead(std::string_view written, OutputEncoding enc);
// Converts a stored text in place; an absent or empty text is left alone.
void ConvertSpecialChars(Text& t, ConvertMode mode = ConvertMode::Text,
                         OutputEncoding enc = OutputEncoding::Latin1);

}  // namespace ps
