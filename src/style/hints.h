// Presentational hints: the table attributes (BORDER, CELLPADDING,
// CELLSPACING, WIDTH, BGCOLOR, VALIGN, NOWRAP) as the declarations a browser
// maps them to. The cascade gives them first among the page's own
// declarations, so that every rule of the page's sheets overrides them and
// no user sheet (the print sheet) does.
#pragma once

#include <string>

#include "model/tree.h"
#include "style/element_view.h"

namespace ps::css {

// How far above a cell its table may be (rows, row groups and stray
// wrappers the reader keeps) for the cell's hints to read it; the search
// stops at a cell or an element the tag database does not know.
inline constexpr int kCellToTable = 4;
// The attributes of a table that its cells' hints read.
inline constexpr const char* kTableAttributesCellsRead[] = {"cellpadding", "border"};

// The declarations of the element's attributes, as a declaration list in
// `out` (replacing what it held; its room is kept: every element asks);
// empty when it has none.
void PresentationalHints(const TagNode* node, const ComponentElementView& view, std::string& out);

}  // namespace ps::css
