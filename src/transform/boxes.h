// The boxes the style sheets give block-level elements, written on their FO
// once the tree has its final form: margins as spaces and indents, padding,
// borders, backgrounds, widths, breaks, orphans and widows, list labels.
#pragma once

#include <cstdint>
#include <string>

#include "model/tree.h"

namespace ps {

namespace css {
enum class ListStyle : std::uint8_t;
}

// After the font step: walks the tree once and writes what the computed
// values of each element give its block, list or item. The children of
// `split` (SplitParentFor), if any, are shared out with a helper.
void ApplyBoxes(Context& ctx, TagNode* html, const TagNode* split = nullptr);

// The marker of item number n in a list style, as text with character
// references ("&#8226;" for a disc, "3." for decimal); empty for none.
std::string MarkerText(css::ListStyle style, std::int64_t n);

}  // namespace ps
