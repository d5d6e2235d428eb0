// Table widths: the number readers, the width available to a table, the
// width rules that turn HTML pixel and percentage widths into centimetres,
// and the normalisation that makes the columns fill the content width.
#pragma once

#include <cstdint>
#include <string>

#include "model/tree.h"

namespace ps {

// Single-precision values widened to double; the widths written depend on
// these exact doubles.
inline constexpr double kDefaultContentWidth = 16.299999237060547;  // 16.3f, cm
inline constexpr double kDefaultPixelWidth = 605.0;
inline constexpr double kSmallestColumnWidth = 0.009999999776482582;  // 0.01f, cm
inline constexpr float kRoomPerUnsetColumn = 0.01f;                   // multiplied as float
inline constexpr double kPointsToCm = -2.5399999618530273;            // -2.54f, per 72pt
static_assert(kDefaultContentWidth == static_cast<double>(16.3f));
static_assert(kSmallestColumnWidth == static_cast<double>(0.01f));
static_assert(kPointsToCm == static_cast<double>(-2.54f));

// strtol with base 0; the default when absent, without digits or out of range.
std::int64_t a2l(Context& ctx, const char* text, std::int64_t def);
inline std::int64_t a2l(Context& ctx, const Text& text, std::int64_t def) { return a2l(ctx, text.c_str(), def); }
// strtod; the default when absent or out of range (not finite counts as out of range).
double a2f(Context& ctx, const char* text, double def);
inline double a2f(Context& ctx, const Text& text, double def) { return a2f(ctx, text.c_str(), def); }
// As a2f, but a number followed by '%' is that share of base.
double ap2f(Context& ctx, const char* text, double def, double base);
inline double ap2f(Context& ctx, const Text& text, double def, double base) {
  return ap2f(ctx, text.c_str(), def, base);
}

// "%.2fcm".
std::string FormatCm(double cm);
// Points with at most two decimals and no trailing zeros: "1.5pt".
std::string FormatPoints(double pt);

// The width available to a table placed under the node, in centimetres.
double ContentWidth(Context& ctx, const TagNode* node);
// The pixel width that the table's pixel and percentage values refer to.
std::int64_t TablePixelWidth(Context& ctx, const TagNode* table, double contentWidth);

// What one table's width rules work with.
struct TableWidths {
  double cw = kDefaultContentWidth;
  std::int64_t pixels = 605;
  // Pixel widths can only be scaled against a positive pixel width.
  bool usable() const { return pixels > 0; }
  double ToCm(double v) const { return v * cw / static_cast<double>(pixels); }
};

// W0: a leading column's own width (from a COL element) into centimetres.
void ApplyColumnWidthRule(Context& ctx, const TableWidths& w, TagNode* column);
// W1 and W2: a non-spanning cell's WIDTH gives its column's width. The width
// property may be none (a column that could not take one). True when a width
// was set.
bool ApplyCellWidthRule(Context& ctx, const TableWidths& w, TagNode* cell, TagProperty* columnWidth);
// W3: a spanning cell's WIDTH gives the one missing width of its n columns,
// starting at the cursor, which moves on by n. True when a width was set.
bool ApplySpanWidthRule(Context& ctx, const TableWidths& w, TagNode* cell, TagNode*& cursor, std::int64_t n);

// Scales and fills the widths of the table's leading columns so that they
// fill the content width, with the progress messages.
void NormalizeColumnWidths(Context& ctx, TagNode* table, double contentWidth);

// The width left for a cell's content: its n columns from the cursor (which
// moves on), less the table border.
// Whether an image's file is missing beside the page: its ALT text is then
// printed instead (frame.cpp).
bool ImageFileMissing(const Context& ctx, const TagNode* img);

void SetCellContentWidth(Context& ctx, TagNode* cell, TagNode*& cursor, std::int64_t n, const TagProperty* border,
                         double framePt = 0.0);

}  // namespace ps
