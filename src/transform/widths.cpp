#include "transform/widths.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace ps {

namespace {

const char* const kColumnWidth = "XML-TABLE-COLUMN-WIDTH";

const char* Shown(const char* text) { return text ? text : "(null)"; }

// strtod, with a range error or a value that is not finite ("inf", "nan")
// reported as out of range: such a width must never reach the output.
double ReadDouble(const char* text, const char** end, bool* outOfRange) {
  char* e = nullptr;
  errno = 0;
  double v = std::strtod(text, &e);
  *outOfRange = errno == ERANGE || !std::isfinite(v);
  *end = e;
  return v;
}

// Truncation toward zero into the range of an int; a pixel width never
// needs more, and a huge one must not be undefined behaviour.
std::int64_t TruncatePixels(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<std::int64_t>(v);
}

const TagDef* ColumnDef(const TagNode* table) { return FindTagDef(table, "XML-TABLE-COLUMN"); }

}  // namespace

std::int64_t a2l(Context& ctx, const char* text, std::int64_t def) {
  std::int64_t result = def;
  if (text) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 0);
    if (end != text && errno != ERANGE) result = v;
  }
  if (ctx.debugLevel == 2) ctx.dbg().printf("a2l \"%s\" => %lld\n", Shown(text), static_cast<long long>(result));
  return result;
}

double a2f(Context& ctx, const char* text, double def) {
  double result = def;
  if (text) {
    const char* end;
    bool outOfRange;
    double v = ReadDouble(text, &end, &outOfRange);
    if (!outOfRange) result = v;
  }
  if (ctx.debugLevel == 2) ctx.dbg().printf("a2f \"%s\" => %f\n", Shown(text), result);
  return result;
}

double ap2f(Context& ctx, const char* text, double def, double base) {
  double result = def;
  // An absent text reads like an empty one: nothing follows the number.
  char after = '\0';
  if (text) {
    const char* end;
    bool outOfRange;
    double v = ReadDouble(text, &end, &outOfRange);
    after = *end;
    if (!outOfRange) result = after == '%' ? v * base / 100.0 : v;
  }
  if (ctx.debugLevel == 2)
    ctx.msg().printf("ap2f \"%s\" => %f%c (pb = %f)\n", Shown(text), result, after, base);
  return result;
}

std::string FormatCm(double cm) {
  // "%.2f" of the largest double has 309 digits before the point.
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%.2fcm", cm);
  if (n < 0) return std::string();
  return std::string(buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
}

double ContentWidth(Context& ctx, const TagNode* node) {
  if (!node) return kDefaultContentWidth;
  const TagProperty* p = FindInheritedProperty(node, "XML-CONFIG-max-content-width");
  if (!p) return kDefaultContentWidth;
  return a2f(ctx, p->value, kDefaultContentWidth);
}

std::int64_t TablePixelWidth(Context& ctx, const TagNode* table, double contentWidth) {
  const std::int64_t p0 = TruncatePixels(kDefaultPixelWidth * contentWidth / kDefaultContentWidth);
  const TagProperty* width = FindProperty(table, "WIDTH");
  if (!width) return p0;
  const double base = static_cast<double>(p0);
  return TruncatePixels(ap2f(ctx, width->value, base, base));
}

void ApplyColumnWidthRule(Context& ctx, const TableWidths& w, TagNode* column) {
  TagProperty* p = FindProperty(column, kColumnWidth);
  if (!p) return;
  const double v = ap2f(ctx, p->value, -1.0, static_cast<double>(w.pixels));
  if (!(v > -1.0)) return;
  const double cm = w.usable() ? w.ToCm(v) : NAN;
  // Without a usable scale the column is left to the sharing out.
  if (std::isfinite(cm))
    p->value.assign(FormatCm(cm));
  else
    p->value.reset();
}

bool ApplyCellWidthRule(Context& ctx, const TableWidths& w, TagNode* cell, TagProperty* columnWidth) {
  TagProperty* width = FindProperty(cell, "WIDTH");
  if (!width) return false;
  if (width->value.has() && (width->value.view() == "*" || width->value.view() == "100%")) {
    UnlinkProperty(cell, width);
    FreeProperty(width);
    return false;
  }
  const double v = ap2f(ctx, width->value, -1.0, static_cast<double>(w.pixels));
  if (!(v > -1.0) || !w.usable() || !columnWidth) return false;
  const double cm = w.ToCm(v);
  if (!std::isfinite(cm)) return false;
  columnWidth->value.assign(FormatCm(cm));
  return true;
}

bool ApplySpanWidthRule(Context& ctx, const TableWidths& w, TagNode* cell, TagNode*& cursor, std::int64_t n) {
  // A cell without a width value has nothing to give: h stays 0 and no
  // width is set (nothing from an earlier cell carries over).
  bool hasWidth = false;
  double h = 0.0;
  const TagProperty* width = FindProperty(cell, "WIDTH");
  if (width && width->value.has()) {
    hasWidth = true;
    const double v = ap2f(ctx, width->value, 0.0, static_cast<double>(w.pixels));
    if (v > 0.0)
      h = w.usable() ? w.ToCm(v) : 0.0;
    else
      h = v;
  }
  std::int64_t withValue = 0;
  TagProperty* missing = nullptr;
  for (std::int64_t i = 0; i < n; ++i) {
    if (!cursor) continue;  // the columns have run out
    TagProperty* p = CreateProperty(ctx, cursor, kColumnWidth);
    if (p && p->value.has()) {
      ++withValue;
      h -= a2f(ctx, p->value, 0.0);
    } else if (p) {
      missing = p;
    }
    cursor = cursor->next;
  }
  if (!hasWidth || !w.usable()) return false;
  if (withValue != n - 1 || !missing || !(h > 0.0) || !std::isfinite(h)) return false;
  missing->value.assign(FormatCm(h));
  return true;
}

void NormalizeColumnWidths(Context& ctx, TagNode* table, double cw) {
  OutStream& msg = ctx.msg();
  msg.write(" recalculating table column width...\n");
  msg.write("  cutting columns:\n");
  const TagDef* columnDef = ColumnDef(table);
  std::vector<TagNode*> columns;
  for (TagNode* c = table->firstChild; c && c->def == columnDef; c = c->next) columns.push_back(c);
  const std::int64_t count = static_cast<std::int64_t>(columns.size());

  double remaining = cw;
  std::int64_t unset = count;
  bool cut = false;
  for (;;) {
    // Scan.
    remaining = cw;
    unset = count;
    std::int64_t widest = 0;
    TagProperty* t = nullptr;
    bool changed = false;
    for (std::int64_t k = 0; k < count; ++k) {
      TagNode* col = columns[static_cast<std::size_t>(k)];
      TagProperty* p = FindProperty(col, kColumnWidth);
      if (!p) {
        CreateProperty(ctx, col, kColumnWidth);
        continue;
      }
      if (p->value.null()) {
        if (!t) t = p;
        continue;
      }
      if (a2f(ctx, p->value, 0.0) < kSmallestColumnWidth) {
        p->value.assign(FormatCm(kSmallestColumnWidth));
        changed = true;
      }
      remaining -= a2f(ctx, p->value, 0.0);
      --unset;
      if (!t || a2f(ctx, p->value, 0.0) > a2f(ctx, t->value, 0.0)) {
        widest = k + 1;
        t = p;
      }
    }
    const double limit = static_cast<double>(static_cast<float>(unset) * kRoomPerUnsetColumn);
    if (!(limit > remaining)) {
      if (!changed) break;
      continue;
    }
    // Cut: scale the columns with widths so that the unset ones keep their room.
    const double used = cw - remaining;
    const double target = (cw - remaining) - (limit - remaining);
    bool cutNow = false;
    for (std::int64_t k = 0; k < count; ++k) {
      TagNode* col = columns[static_cast<std::size_t>(k)];
      TagProperty* p = FindProperty(col, kColumnWidth);
      if (!p) {
        CreateProperty(ctx, col, kColumnWidth);
        continue;
      }
      if (p->value.null()) continue;
      const double scaled = a2f(ctx, p->value, 0.0) * target / used;
      if (!std::isfinite(scaled)) continue;
      std::string next = FormatCm(scaled);
      if (a2f(ctx, next.c_str(), 0.0) >= kSmallestColumnWidth) {
        if (next != p->value.view()) {
          msg.printf("   %lld (%s -> %s)\n", static_cast<long long>(k + 1), p->value.c_str(), next.c_str());
          p->value.assign(next);
          changed = true;
        }
        cut = true;
        cutNow = true;
      }
    }
    if (!changed && t) {
      if (cutNow) {
        // Rounding left the columns a little too wide: take a hundredth off the widest.
        std::string next = FormatCm(a2f(ctx, t->value, 0.0) - kSmallestColumnWidth);
        // A width so large that a hundredth does not change its text cannot shrink.
        if (a2f(ctx, next.c_str(), 0.0) >= kSmallestColumnWidth && next != t->value.view()) {
          msg.printf("   %lld! (%s -> %s)\n", static_cast<long long>(widest), t->value.c_str(), next.c_str());
          t->value.assign(next);
          cut = true;
          changed = true;
        }
      } else {
        // No column can be scaled to a usable width: taking a hundredth off
        // one column per round would take as many rounds as there are
        // hundredths. Every column goes down to the smallest width at once,
        // where that stepwise shrinking ends too.
        const std::string smallest = FormatCm(kSmallestColumnWidth);
        for (std::int64_t k = 0; k < count; ++k) {
          TagProperty* p = FindProperty(columns[static_cast<std::size_t>(k)], kColumnWidth);
          if (!p || p->value.null() || a2f(ctx, p->value, 0.0) <= kSmallestColumnWidth) continue;
          if (p->value.view() == smallest) continue;
          msg.printf("   %lld! (%s -> %s)\n", static_cast<long long>(k + 1), p->value.c_str(), smallest.c_str());
          p->value.assign(smallest);
          cut = true;
          changed = true;
        }
      }
    }
    // An iteration that changed nothing cannot be followed by one that does.
    if (!changed) break;
  }
  if (!cut) msg.write("   none\n");

  msg.write("  adding values for columns:\n");
  bool added = false;
  if (unset > 0) {
    double share = remaining / static_cast<double>(unset);
    if (!std::isfinite(share)) share = kSmallestColumnWidth;
    const std::string value = FormatCm(share);
    for (std::int64_t k = 0; k < count; ++k) {
      TagProperty* p = FindProperty(columns[static_cast<std::size_t>(k)], kColumnWidth);
      if (!p || p->value.has()) continue;
      p->value.assign(value);
      msg.printf("   %lld (%s)", static_cast<long long>(k + 1), value.c_str());
      added = true;
    }
  }
  if (!added) msg.write("   none\n");
  msg.write(" done\n");
}

void SetCellContentWidth(Context& ctx, TagNode* cell, TagNode*& cursor, std::int64_t n, const TagProperty* border) {
  double l = 0.0;
  for (std::int64_t i = 0; i < n && cursor; ++i) {
    if (const TagProperty* p = FindProperty(cursor, kColumnWidth); p && p->value.has()) l += a2f(ctx, p->value, 0.0);
    cursor = cursor->next;
  }
  if (border) l = l + a2f(ctx, border->value, 0.0) * kPointsToCm / 72.0;
  // Only absurd widths overflow; the cell then keeps what it inherits.
  if (!std::isfinite(l)) return;
  const bool report = ctx.reportPropertyFailures;
  ctx.reportPropertyFailures = false;
  SetProperty(ctx, cell, "XML-CONFIG-MAX-CONTENT-WIDTH", FormatCm(l));
  ctx.reportPropertyFailures = report;
}

}  // namespace ps
