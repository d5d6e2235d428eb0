// Automatic table layout: column widths from the content of the cells. Each
// column's minimum (its widest unbreakable run: a word, a preformatted line,
// an image, a nested table's minimum) and maximum (its content on as few
// lines as its own breaks allow) are measured from its cells; the table then
// takes its maximum width if that fits, else the width available, shared out
// between the columns' minimums and maximums. Given widths (WIDTH in pixels
// or percent on cells, COL widths, the table's WIDTH) are honoured.
#pragma once

#include <vector>

#include "model/tree.h"
#include "transform/font_metrics.h"

namespace ps {

// Lengths of this module are points; a CSS pixel is 0.75 pt.
inline constexpr double kPointsPerPixel = 0.75;
inline constexpr double kPointsPerCm = 72.0 / 2.54;

// A cell's or a table's content: its narrowest and its widest width.
struct ContentWidths {
  double min = 0.0;
  double max = 0.0;
};

// What one grid column asks for.
struct ColumnMeasure {
  double min = 0.0;
  double max = 0.0;
  double percent = 0.0;  // a share of the table's width asked for; 0: none
  bool fixed = false;    // a length was given (its cells are as wide as it, or their minimum)
};

// A table as its content measures it, before it is laid out.
struct TableMeasure {
  std::vector<ColumnMeasure> columns;
  double givenPt = -1.0;       // the table's WIDTH as a length; below 0: none
  double givenPercent = -1.0;  // the table's WIDTH as a share of its room; below 0: none
  // The narrowest and widest the table gets, as content of a cell.
  ContentWidths Widths() const;
};

// The width of a run of text (HTML entities and all) set on one line.
double TextWidth(std::string_view text, bool utf8, const FontSpec& font);

// Whether the table is laid out from its content: the context's switch, as
// its per-table hook decides.
bool IsAutoLayout(Context& ctx, const TagNode* table);

// The table's measure. Measuring the outermost table measures every table
// nested in it once, inside out; their measures wait in the context until
// their own layout takes them.
TableMeasure TakeTableMeasure(Context& ctx, const TagNode* table);
// Drops what waits for nested tables (their outermost table is done).
void ForgetNestedMeasures(Context& ctx);

// The column widths of the automatic layout for the width available.
std::vector<double> DistributeWidths(const TableMeasure& measure, double availablePt);

// Gives the table's leading columns their widths from the measure, in
// hundredths of a centimetre that add up to the table's width (cw: the width
// available, in centimetres). Returns that width in centimetres.
double SetAutomaticColumnWidths(Context& ctx, TagNode* table, const TableMeasure& measure, double cw);

}  // namespace ps
