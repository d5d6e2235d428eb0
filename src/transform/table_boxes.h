// Tables as the style sheets draw them: the border model and spacing,
// borders and backgrounds of tables, rows and cells, cell padding and the
// vertical alignment of cells, from the cascade's computed values (where the
// table attributes arrive as presentational hints). Without style sheets
// none of this runs and the table steps write the attributes as before.
#pragma once

#include "model/tree.h"

namespace ps {

// Whether the cascade ran, so that the computed values decide the boxes.
bool TableBoxesFromCss(const Context& ctx);

// Whether a table is laid out from its content: where the cascade ran,
// unless its computed table-layout is fixed; without style sheets the
// converter's own widths (equal shares of what given widths leave).
bool TableLayoutIsAutomatic(const Context& ctx, const TagNode* table);

// A length the sheets give the element's width: points, or a percentage
// (*percent above 0). False when its width is auto or the cascade did not run.
bool CssGivenWidth(const Context& ctx, const TagNode* node, double* pt, double* percent);

// What a table's cells need of it: its border model and spacing (which it
// inherits when the sheets gave it none of its own) and its borders.
struct TableModel {
  bool css = false;  // the cascade ran
  bool collapse = false;
  float spacingH = 0;
  float spacingV = 0;
  float border[4] = {};
};
TableModel TableModelOf(const Context& ctx, const TagNode* table);

// The horizontal room a cell takes besides its content, as the FO prints it:
// padding, borders (half of each in the collapsing model), and the spacing
// between cells. Below 0 when the cascade did not run.
double CssCellFrame(const Context& ctx, const TableModel& table, const TagNode* cell);
// The room the table's own borders take beyond its columns.
double CssTableFrame(const Context& ctx, const TagNode* table);

// Before the table is rebuilt: drops the attributes whose hints the cascade
// took (BGCOLOR, CELLPADDING) from the table, its row groups, rows and
// cells, so that they are not written twice.
void DropHintedAttributes(Context& ctx, TagNode* table);
// Writes the computed boxes onto the FO of a table, a row and a cell.
void WriteTableBox(Context& ctx, TagNode* table);
// The width of the table's columns together, in centimetres.
void SetTableWidth(Context& ctx, TagNode* table, double cm);
void WriteRowBox(Context& ctx, TagNode* row);
void WriteCellBox(Context& ctx, TagNode* cell);

}  // namespace ps
