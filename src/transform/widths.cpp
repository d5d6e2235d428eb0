#include "transform/widths.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "transform/names.h"

namespace ps {

namespace {

const char* Shown(const char* text) { return text ? text : "(null)"; }

// A plain decimal ("3.17", "-12", ".5") of at most 15 digits, read as strtod
// reads it but without its general machinery: every table cell's width
// passes here. Such digits are exact in a double, and so is 10^15; their
// quotient is rounded correctly, as strtod rounds. False for anything else
// (white space, exponents, hexadecimal, more digits): strtod reads those.
bool ReadPlainDecimal(const char* text, const char** end, double* v) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* s = text;
  const bool negative = *s == '-';
  if (*s == '-' || *s == '+') ++s;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) return false;
  std::uint64_t m = 0;
  int digits = 0, fraction = 0;
  for (; *s >= '0' && *s <= '9'; ++s, ++digits)
    if (digits < 16) m = m * 10 + static_cast<unsigned>(*s - '0');
  if (*s == '.') {
    for (++s; *s >= '0' && *s <= '9'; ++s, ++digits, ++fraction)
      if (digits < 16) m = m * 10 + static_cast<unsigned>(*s - '0');
  }
  if (digits == 0 || digits > 15 || *s == 'e' || *s == 'E') return false;
  const double r = static_cast<double>(m) / kPow10[fraction];
  *v = negative ? -r : r;
  *end = s;
  return true;
}

// strtod, with a range error or a value that is not finite ("inf", "nan")
// reported as out of range: such a width must never reach the output.
double ReadDouble(const char* text, const char** end, bool* outOfRange) {
  double plain;
  if (ReadPlainDecimal(text, end, &plain)) {
    *outOfRange = false;
    return plain;
  }
  char* e = nullptr;
  errno = 0;
  double v = std::strtod(text, &e);
  *outOfRange = errno == ERANGE || !std::isfinite(v);
  *end = e;
  return v;
}

// a2f without its trace.
double ReadFloat(const char* text, double def) {
  if (!text) return def;
  const char* end;
  bool outOfRange;
  const double v = ReadDouble(text, &end, &outOfRange);
  return outOfRange ? def : v;
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
  const double result = ReadFloat(text, def);
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

namespace {

// A non-negative long double below 2^63 to the nearest whole number, ties
// to even. On x87 one store does it in the default rounding mode; a cast
// would switch the mode to truncation and back, which stalls the pipeline
// and took a twentieth of a large table page's run.
unsigned long long RoundHalfEven(long double x) {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
  long long n;
  __asm__("fistpll %0" : "=m"(n) : "t"(x) : "st");
  return static_cast<unsigned long long>(n);
#else
  unsigned long long n = static_cast<unsigned long long>(x);
  const long double fraction = x - static_cast<long double>(n);
  if (fraction > 0.5L || (fraction == 0.5L && (n & 1) != 0)) ++n;
  return n;
#endif
}

}  // namespace

std::string FormatCm(double cm) {
  // Every table cell's width passes here. Hundredths are counted exactly
  // where long double has a 64-bit mantissa: a double times 100 needs at most
  // 58 bits, so rounding that product to a whole number (to nearest, ties to
  // even, as printf rounds) gives printf's digits.
  if constexpr (std::numeric_limits<long double>::digits >= 64) {
    if (std::isfinite(cm) && std::fabs(cm) < 1e15) {
      // By hand: the library's rounding functions save and restore the
      // floating-point state on every call, which costs more than the rest.
      const long double exact = std::fabs(static_cast<long double>(cm) * 100);
      unsigned long long n = RoundHalfEven(exact);
      char digits[32];
      char* p = digits + sizeof digits;
      *--p = 'm';
      *--p = 'c';
      for (int i = 0; i < 2; ++i, n /= 10) *--p = static_cast<char>('0' + n % 10);
      *--p = '.';
      do {
        *--p = static_cast<char>('0' + n % 10);
        n /= 10;
      } while (n);
      if (std::signbit(cm)) *--p = '-';  // printf writes "-0.00" too
      return std::string(p, digits + sizeof digits);
    }
  }
  // Elsewhere (a narrower long double, or 10^15 cm and more): "%.2f" of the
  // largest double has 309 digits before the point.
  char buf[400];
  if (std::isfinite(cm)) {
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf - 2, cm, std::chars_format::fixed, 2);
    if (r.ec == std::errc()) {
      std::memcpy(r.ptr, "cm", 2);
      return std::string(buf, r.ptr + 2);
    }
  }
  int n = std::snprintf(buf, sizeof buf, "%.2fcm", cm);
  if (n < 0) return std::string();
  return std::string(buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
}

std::string FormatPoints(double pt) {
  // Hundredths by one multiplication, unless the value lies so near a half
  // hundredth that only exact rounding (to_chars, as printf's "%.2f") tells;
  // a large table writes a few of these per cell.
  if (std::fabs(pt) < 1e7) {
    const double v = pt * 100;
    const double r = std::nearbyint(v);
    if (std::fabs(std::fabs(v - r) - 0.5) > 1e-6) {
      long long n = std::llround(r);
      if (n == 0) return "0pt";
      char out[32];
      char* p = out;
      if (n < 0) {
        *p++ = '-';
        n = -n;
      }
      p = std::to_chars(p, out + sizeof out, n / 100).ptr;
      if (const long long frac = n % 100; frac != 0) {
        *p++ = '.';
        *p++ = static_cast<char>('0' + frac / 10);
        if (frac % 10 != 0) *p++ = static_cast<char>('0' + frac % 10);
      }
      *p++ = 'p';
      *p++ = 't';
      return std::string(out, p);
    }
  }
  std::string s;
  char buf[400];  // room for any double's digits
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, pt, std::chars_format::fixed, 2);
  if (ec != std::errc()) return "0pt";
  s.assign(buf, end);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s + "pt";
}

double ContentWidth(Context& ctx, const TagNode* node) {
  if (!node) return kDefaultContentWidth;
  const TagProperty* p = FindInheritedProperty(node, Names().maxContentWidth);
  if (!p) return kDefaultContentWidth;
  return a2f(ctx, p->value, kDefaultContentWidth);
}

std::int64_t TablePixelWidth(Context& ctx, const TagNode* table, double contentWidth) {
  const std::int64_t p0 = TruncatePixels(kDefaultPixelWidth * contentWidth / kDefaultContentWidth);
  const TagProperty* width = FindProperty(table, Names().width);
  if (!width) return p0;
  const double base = static_cast<double>(p0);
  return TruncatePixels(ap2f(ctx, width->value, base, base));
}

void ApplyColumnWidthRule(Context& ctx, const TableWidths& w, TagNode* column) {
  TagProperty* p = FindProperty(column, Names().columnWidth);
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
  TagProperty* width = FindProperty(cell, Names().width);
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
  const TagProperty* width = FindProperty(cell, Names().width);
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
    TagProperty* p = CreateProperty(ctx, cursor, Names().columnWidth);
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

namespace {

// The leading columns of a table while the normalisation works on them,
// with each width's number kept beside its text so that a round over
// many columns does not read and print every width again. At debug level 2
// every read is traced, so there the texts are read each time.
class ColumnWidths {
 public:
  ColumnWidths(Context& ctx, TagNode* table) : ctx_(ctx), traced_(ctx.debugLevel == 2) {
    const TagDef* columnDef = ColumnDef(table);
    for (TagNode* c = table->firstChild; c && c->def == columnDef; c = c->next) cols_.push_back({c});
  }
  std::int64_t count() const { return static_cast<std::int64_t>(cols_.size()); }

  // The column's width property. A missing one is created empty, and the
  // call that creates it answers none, so that the caller passes the column
  // over this time.
  TagProperty* Existing(std::int64_t k) {
    Column& c = cols_[static_cast<std::size_t>(k)];
    if (!c.prop) c.prop = FindProperty(c.node, Names().columnWidth);
    if (c.prop) {
      if (!c.known) Refresh(c);
      return c.prop;
    }
    c.prop = CreateProperty(ctx_, c.node, Names().columnWidth);
    if (c.prop) Refresh(c);
    return nullptr;
  }
  // a2f (value, 0) of a column that has a width property.
  double Read(std::int64_t k) {
    const Column& c = cols_[static_cast<std::size_t>(k)];
    return traced_ ? a2f(ctx_, c.prop->value, 0.0) : c.value;
  }
  void Store(std::int64_t k, std::string text) {
    Column& c = cols_[static_cast<std::size_t>(k)];
    c.prop->value.assign(text);
    Refresh(c);
  }
  // The column's text scaled by the factor, or an empty text when it would
  // be below the smallest width. same tells that it would not change.
  std::string Scaled(std::int64_t k, double scaled, bool* same) {
    const Column& c = cols_[static_cast<std::size_t>(k)];
    *same = false;
    if (!traced_) {
      // "%.2f" of anything below 0.004 shows at most 0.00.
      if (scaled < 0.004) return std::string();
      // A text printed from its own number is printed the same from any
      // number less than 0.004 away.
      if (c.canonical && c.value < 1e9 && std::fabs(scaled - c.value) < 0.004) {
        *same = true;
        return std::string();
      }
    }
    std::string next = FormatCm(scaled);
    if (!(a2f(ctx_, next.c_str(), 0.0) >= kSmallestColumnWidth)) return std::string();
    *same = next == c.prop->value.view();
    return next;
  }

 private:
  struct Column {
    TagNode* node;
    TagProperty* prop = nullptr;
    double value = 0.0;
    bool canonical = false;
    bool known = false;
  };
  void Refresh(Column& c) {
    c.known = true;
    if (traced_) return;
    c.value = ReadFloat(c.prop->value.c_str(), 0.0);
    c.canonical = c.prop->value.has() && c.prop->value.view() == FormatCm(c.value);
  }
  Context& ctx_;
  const bool traced_;
  std::vector<Column> cols_;
};

}  // namespace

void NormalizeColumnWidths(Context& ctx, TagNode* table, double cw) {
  OutStream& msg = ctx.msg();
  msg.write(" recalculating table column width...\n");
  msg.write("  cutting columns:\n");
  ColumnWidths cols(ctx, table);
  const std::int64_t count = cols.count();

  double remaining = cw;
  std::int64_t unset = count;
  bool cut = false;
  for (;;) {
    // Scan.
    remaining = cw;
    unset = count;
    std::int64_t widest = 0;  // the column of t, 0 while t is none or unset
    TagProperty* t = nullptr;
    bool changed = false;
    for (std::int64_t k = 0; k < count; ++k) {
      TagProperty* p = cols.Existing(k);
      if (!p) continue;
      if (p->value.null()) {
        if (!t) t = p;
        continue;
      }
      if (cols.Read(k) < kSmallestColumnWidth) {
        cols.Store(k, FormatCm(kSmallestColumnWidth));
        changed = true;
      }
      remaining -= cols.Read(k);
      --unset;
      bool wider = !t;
      if (t) {
        const double mine = cols.Read(k);  // read before t's, as the trace shows
        wider = mine > (widest ? cols.Read(widest - 1) : a2f(ctx, t->value, 0.0));
      }
      if (wider) {
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
      TagProperty* p = cols.Existing(k);
      if (!p || p->value.null()) continue;
      const double scaled = cols.Read(k) * target / used;
      if (!std::isfinite(scaled)) continue;
      bool same = false;
      std::string next = cols.Scaled(k, scaled, &same);
      if (!same && next.empty()) continue;
      if (!same) {
        msg.printf("   %lld (%s -> %s)\n", static_cast<long long>(k + 1), p->value.c_str(), next.c_str());
        cols.Store(k, std::move(next));
        changed = true;
      }
      cut = true;
      cutNow = true;
    }
    if (!changed && widest) {
      if (cutNow) {
        // Rounding left the columns a little too wide: take a hundredth off the widest.
        std::string next = FormatCm(cols.Read(widest - 1) - kSmallestColumnWidth);
        // A width so large that a hundredth does not change its text cannot shrink.
        if (a2f(ctx, next.c_str(), 0.0) >= kSmallestColumnWidth && next != t->value.view()) {
          msg.printf("   %lld! (%s -> %s)\n", static_cast<long long>(widest), t->value.c_str(), next.c_str());
          cols.Store(widest - 1, std::move(next));
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
          TagProperty* p = cols.Existing(k);
          if (!p || p->value.null() || p->value.view() == smallest) continue;
          if (cols.Read(k) <= kSmallestColumnWidth) continue;
          msg.printf("   %lld! (%s -> %s)\n", static_cast<long long>(k + 1), p->value.c_str(), smallest.c_str());
          cols.Store(k, smallest);
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
      TagProperty* p = cols.Existing(k);
      if (!p || p->value.has()) continue;
      p->value.assign(value);
      msg.printf("   %lld (%s)", static_cast<long long>(k + 1), value.c_str());
      added = true;
    }
  }
  if (!added) msg.write("   none\n");
  msg.write(" done\n");
}

void SetCellContentWidth(Context& ctx, TagNode* cell, TagNode*& cursor, std::int64_t n, const TagProperty* border,
                         double framePt) {
  double l = 0.0;
  for (std::int64_t i = 0; i < n && cursor; ++i) {
    if (const TagProperty* p = FindProperty(cursor, Names().columnWidth); p && p->value.has()) l += a2f(ctx, p->value, 0.0);
    cursor = cursor->next;
  }
  if (border) l = l + a2f(ctx, border->value, 0.0) * kPointsToCm / 72.0;
  // What the style sheets' padding, borders and spacing take of the columns.
  if (framePt > 0) l = std::max(0.0, l - framePt * 2.54 / 72.0);
  // Only absurd widths overflow; the cell then keeps what it inherits.
  if (!std::isfinite(l)) return;
  const bool report = ctx.reportPropertyFailures;
  ctx.reportPropertyFailures = false;
  SetProperty(ctx, cell, Names().maxContentWidth, FormatCm(l));
  ctx.reportPropertyFailures = report;
}

}  // namespace ps
