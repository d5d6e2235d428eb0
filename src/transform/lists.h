// Ordered lists: the labels of their items. NumberListItems (model/handlers.h)
// is the OL row's leave handler.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ps {

// A whole number as HTML reads START and VALUE: optional blanks and sign,
// then decimal digits, anything after them ignored; none without digits.
// Held to plus or minus kListNumberLimit, so that counting on never overflows.
inline constexpr std::int64_t kListNumberLimit = 1'000'000'000'000'000;
std::optional<std::int64_t> ParseListNumber(std::string_view text);

// The label of item number n for a list TYPE ("1", "a", "A", "i", "I"; any
// other, or none, counts in decimal), with its closing '.'. Letters and
// Roman numerals cover what they can write (letters from 1, Roman numerals
// 1 to 3999); other numbers are written in decimal, as browsers do.
std::string ListLabel(std::int64_t n, std::string_view type);

}  // namespace ps
