// What FOP can read in the attributes whose values come from the page's own
// markup: a value FOP rejects costs an error line and nothing else, and a few
// (a four-digit colour) stop it altogether, so such values are mended where
// their meaning is plain and dropped where it is not.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ps {

enum class ValueCheck : std::uint8_t { None, Color, Length, BorderWidth, Extent, LineHeight, TextAlign, TextDecoration };

// How values of the FO attribute `name` are checked.
ValueCheck ValueCheckOf(std::string_view name);

enum class Verdict : std::uint8_t { Keep, Replace, Drop };

// The verdict on `value` of an attribute checked so, on `element` (the FO
// element's name); with Replace, `replacement` holds what to write instead.
Verdict CheckFoValue(ValueCheck check, std::string_view element, std::string_view value, std::string& replacement);

}  // namespace ps
