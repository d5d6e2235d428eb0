// What the style sheets' computed values do to the tree and its FO: display
// removes or makes blocks, visibility blanks text, and the text properties
// join the font step's state, which writes them where it writes the fonts.
#pragma once

#include <cstdint>
#include <string>

#include "model/tree.h"
#include "transform/paragraphs.h"

namespace ps {

// A length in points as the FO gets it ("12.5pt"), and a colour ("#rrggbb").
std::string FormatPoints(double pt);
std::string FormatRgb(std::uint32_t rgb);

// Before the pass: removes what `display: none` hides, wraps the elements
// `display: block` makes blocks, blanks what `visibility: hidden` hides.
void ApplyDisplay(Context& ctx);

// Whether the sheets give the node text properties of its own (the font
// step then gives it a carrier of its own).
bool CssChangesFont(const Context& ctx, const TagNode* node);
// Lays the node's computed values over the font state; what the tags gave
// the state stays where the sheets say nothing.
void ApplyCssFonts(Context& ctx, TagNode* node, FontState& s);
// What a tag wrote on `on` (a heading's size, a link's colour, CODE's font)
// gives way to what the sheets declare for `node`: the element itself, or
// the carrier whose whole text is the element's.
void OverrideTagFonts(TagNode* on, const TagNode* node, const FontState& s);
// Writes the state's sheet-given values on a carrier, over what it holds.
void WriteCssFonts(Context& ctx, TagNode* carrier, const FontState& s);
// Writes the block-level values (alignment, indent, white space) on a paragraph.
void WriteCssParagraph(Context& ctx, TagNode* paragraph, const FontState& s);

}  // namespace ps
