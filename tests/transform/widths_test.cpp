#include "transform/widths.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace ps {
namespace {

using test::Captured;
using test::Child;
using test::Node;

TEST(NumberReaders, IntegersAsStrtolWithBaseZero) {
  Captured c;
  EXPECT_EQ(a2l(c.ctx, "3", 0), 3);
  EXPECT_EQ(a2l(c.ctx, "0x10", 0), 16);
  EXPECT_EQ(a2l(c.ctx, "0X1f", 0), 31);
  EXPECT_EQ(a2l(c.ctx, "010", 0), 8);
  EXPECT_EQ(a2l(c.ctx, "2abc", 0), 2);
  EXPECT_EQ(a2l(c.ctx, " \t-5", 0), -5);
  EXPECT_EQ(a2l(c.ctx, "word", 1), 1);
  EXPECT_EQ(a2l(c.ctx, "", 7), 7);
  EXPECT_EQ(a2l(c.ctx, static_cast<const char*>(nullptr), 0), 0);
  EXPECT_EQ(a2l(c.ctx, "0x7fffffff", 0), 2147483647);
  EXPECT_EQ(a2l(c.ctx, "-9223372036854775808", 0), LLONG_MIN);
  // Out of range: the default, not a saturated value.
  EXPECT_EQ(a2l(c.ctx, "99999999999999999999", 4), 4);
  EXPECT_EQ(a2l(c.ctx, "-99999999999999999999", 4), 4);
  EXPECT_EQ(c.trace, "");
}

TEST(NumberReaders, FloatsAsStrtod) {
  Captured c;
  EXPECT_EQ(a2f(c.ctx, "2.5cm", 9), 2.5);
  EXPECT_EQ(a2f(c.ctx, "word", 9), 0.0);
  EXPECT_EQ(a2f(c.ctx, static_cast<const char*>(nullptr), 9), 9.0);
  EXPECT_EQ(a2f(c.ctx, "1e999", 9), 9.0);
  EXPECT_EQ(a2f(c.ctx, "-1e999", 9), 9.0);
  EXPECT_EQ(a2f(c.ctx, " .5e1x", 9), 5.0);
  // strtod reads these, but they are no width.
  EXPECT_EQ(a2f(c.ctx, "inf", 9), 9.0);
  EXPECT_EQ(a2f(c.ctx, "-Infinity", 9), 9.0);
  EXPECT_EQ(a2f(c.ctx, "nan", 9), 9.0);
}

// Plain decimals take a shortcut past strtod; the value, its sign and where
// the number ends (which '%' decides) must be strtod's, bit for bit.
TEST(NumberReaders, PlainDecimalsExactlyAsStrtod) {
  Captured c;
  std::vector<std::string> inputs = {
      "0", "-0", "+0", "0.", ".5", "-.5", "1.", "007", "3.175", "0.1", "0.3", "2.675", "-12.5cm",
      "999999999999999", "9999999999999999", "123456789012345.", "1234567890.12345", "0.000000000000001",
      "0.0000000000000001", "1e5", "1.5E2", "0x10", "-0X1p3", "00x5", "- 5", "+-5", ".", "-", "5%", "1.2.3"};
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string s = (rng() % 4 == 0) ? "-" : "";
    const int whole = static_cast<int>(rng() % 9), fraction = static_cast<int>(rng() % 9);
    for (int k = 0; k < whole; ++k) s.push_back(static_cast<char>('0' + rng() % 10));
    if (fraction) s.push_back('.');
    for (int k = 0; k < fraction; ++k) s.push_back(static_cast<char>('0' + rng() % 10));
    inputs.push_back(s + "cm");
  }
  for (const std::string& s : inputs) {
    const double expected = std::strtod(s.c_str(), nullptr);
    const double got = a2f(c.ctx, s.c_str(), 42.0);
    ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << s << ": " << got << " vs " << expected;
    const double base = 200.0;
    const std::string percent = s + "%";
    char* end = nullptr;
    const double p = std::strtod(percent.c_str(), &end);
    ASSERT_EQ(ap2f(c.ctx, percent.c_str(), -1, base), *end == '%' ? p * base / 100.0 : p) << percent;
  }
}

TEST(NumberReaders, PercentOfBase) {
  Captured c;
  EXPECT_EQ(ap2f(c.ctx, "50%", -1, 484), 242.0);
  EXPECT_EQ(ap2f(c.ctx, "50 %", -1, 484), 50.0);
  EXPECT_EQ(ap2f(c.ctx, "%", -1, 484), 0.0);
  EXPECT_EQ(ap2f(c.ctx, "abc", -1, 484), 0.0);
  EXPECT_EQ(ap2f(c.ctx, "120px", -1, 484), 120.0);
  EXPECT_EQ(ap2f(c.ctx, static_cast<const char*>(nullptr), -1, 484), -1.0);
  EXPECT_EQ(ap2f(c.ctx, "1e999%", -1, 484), -1.0);
  EXPECT_EQ(ap2f(c.ctx, "inf%", -1, 484), -1.0);
  EXPECT_EQ(ap2f(c.ctx, "nan", 3, 484), 3.0);
  EXPECT_EQ(c.messages, "");
}

TEST(NumberReaders, TracesOnlyAtLevelTwo) {
  Captured one(1);
  a2l(one.ctx, "7", 0);
  a2f(one.ctx, "7", 0);
  ap2f(one.ctx, "7", 0, 1);
  EXPECT_EQ(one.trace + one.messages, "");

  Captured two(2);
  a2l(two.ctx, "010", 0);
  a2l(two.ctx, static_cast<const char*>(nullptr), 5);
  a2f(two.ctx, "2.5cm", 0);
  EXPECT_EQ(two.trace, "a2l \"010\" => 8\na2l \"(null)\" => 5\na2f \"2.5cm\" => 2.500000\n");
  ap2f(two.ctx, "50%", -1, 484);
  ap2f(two.ctx, static_cast<const char*>(nullptr), -1, 605);
  // The character after the number; the end of the text is a NUL byte.
  EXPECT_EQ(two.messages, std::string("ap2f \"50%\" => 242.000000% (pb = 484.000000)\n") +
                              "ap2f \"(null)\" => -1.000000" + std::string(1, '\0') + " (pb = 605.000000)\n");
}

// Widths are written as printf's "%.2fcm" writes them, halfway cases and
// huge, tiny, negative and non-finite values included.
TEST(FormatCmAndPoints, AsPrintfWritesThem) {
  std::vector<double> values = {0.0,   -0.0,  0.005, 0.015, 0.125, 0.375,  2.675,  1.005,   16.3,
                                -2.54, 1e-300, 1e300, -1e300, 1.7976931348623157e308, 4.0 / 3.0};
  for (int i = -20000; i <= 20000; ++i) values.push_back(i / 1000.0);
  for (int i = 0; i < 4000; ++i) values.push_back(i / 8.0 - 250.0);
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const double scale[] = {1e-3, 1.0, 1e3, 1e9, 1e14, 1e15, 1e16};
    values.push_back((static_cast<double>(rng() % 2000000) - 1000000.0) / 7.0 * scale[i % 7] / 1e5);
  }
  values.push_back(HUGE_VAL);
  values.push_back(-HUGE_VAL);
  values.push_back(std::nan(""));
  for (double v : values) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%.2fcm", v);
    ASSERT_EQ(FormatCm(v), expected) << v;
    // Points drop the zeros after the point, and a negative zero's sign.
    std::snprintf(expected, sizeof expected, "%.2f", v);
    std::string points = expected;
    while (points.back() == '0') points.pop_back();
    if (points.back() == '.') points.pop_back();
    if (points == "-0") points = "0";
    ASSERT_EQ(FormatPoints(v), points + "pt") << v;
  }
}

TEST(ContentWidth, InheritedFromTheNearestNodeThatHasIt) {
  Captured c;
  EXPECT_EQ(ContentWidth(c.ctx, nullptr), 16.299999237060547);
  TagNode* body = Node("BODY");
  TagNode* table = Child(body, "TABLE");
  EXPECT_EQ(ContentWidth(c.ctx, table), kDefaultContentWidth);
  SetProperty(c.ctx, body, "XML-CONFIG-MAX-CONTENT-WIDTH", "16.30cm");
  EXPECT_EQ(ContentWidth(c.ctx, table), 16.3);
  EXPECT_EQ(TablePixelWidth(c.ctx, table, 16.3), 605);
  FreeTree(body);
}

TEST(ContentWidth, TablePixelWidth) {
  Captured c;
  TagNode* table = Node("TABLE");
  EXPECT_EQ(TablePixelWidth(c.ctx, table, kDefaultContentWidth), 605);
  EXPECT_EQ(TablePixelWidth(c.ctx, table, 8.11), 301);
  TagProperty* w = CreateProperty(c.ctx, table, "WIDTH");
  EXPECT_EQ(TablePixelWidth(c.ctx, table, kDefaultContentWidth), 605);  // no value
  w->value.assign("80%");
  EXPECT_EQ(TablePixelWidth(c.ctx, table, kDefaultContentWidth), 484);
  w->value.assign("500");
  EXPECT_EQ(TablePixelWidth(c.ctx, table, kDefaultContentWidth), 500);
  w->value.assign("abc");
  EXPECT_EQ(TablePixelWidth(c.ctx, table, kDefaultContentWidth), 0);
  w->value.assign("1e300");
  EXPECT_EQ(TablePixelWidth(c.ctx, table, kDefaultContentWidth), INT_MAX);
  w->value.assign("-1e300");
  EXPECT_EQ(TablePixelWidth(c.ctx, table, kDefaultContentWidth), INT_MIN);
  TagNode* plain = Node("TABLE");
  EXPECT_EQ(TablePixelWidth(c.ctx, plain, 1e300), INT_MAX);
  FreeTree(plain);
  FreeTree(table);
}

// A cell's WIDTH against a column's width property.
struct CellRule {
  Captured c;
  TagNode* table = Node("TABLE");
  TagNode* column = Child(table, "XML-TABLE-COLUMN");
  TagNode* cell = Node("TD");
  TagProperty* colWidth = CreateProperty(c.ctx, column, "XML-TABLE-COLUMN-WIDTH");
  ~CellRule() {
    FreeTree(table);
    FreeTree(cell);
  }
  // A body stores the content width as "16.30cm", which reads as the double 16.3.
  bool Apply(const char* width, std::int64_t pixels, double cw = 16.3) {
    if (width) SetProperty(c.ctx, cell, "WIDTH", width);
    TableWidths w;
    w.cw = cw;
    w.pixels = pixels;
    return ApplyCellWidthRule(c.ctx, w, cell, colWidth);
  }
  std::string Value() const { return colWidth->value.has() ? std::string(colWidth->value.view()) : "(none)"; }
};

TEST(WidthRules, PixelsAndPercentages) {
  {
    CellRule r;
    EXPECT_TRUE(r.Apply("121", 605));
    EXPECT_EQ(r.Value(), "3.26cm");
  }
  {
    CellRule r;
    EXPECT_TRUE(r.Apply("250", 500));
    EXPECT_EQ(r.Value(), "8.15cm");
  }
  {
    CellRule r;
    EXPECT_TRUE(r.Apply("25%", 484));
    EXPECT_EQ(r.Value(), "4.08cm");
  }
  {
    CellRule r;  // the single-precision default, without a body's value
    EXPECT_TRUE(r.Apply("25%", 484, kDefaultContentWidth));
    EXPECT_EQ(r.Value(), "4.07cm");
  }
  {
    CellRule r;  // no number: a zero width, raised later by the normalisation
    EXPECT_TRUE(r.Apply("wide", 605));
    EXPECT_EQ(r.Value(), "0.00cm");
  }
  {
    CellRule r;
    EXPECT_FALSE(r.Apply(nullptr, 605));
    EXPECT_FALSE(r.Apply("-5", 605));
    EXPECT_EQ(r.Value(), "(none)");
  }
}

TEST(WidthRules, StarAndFullWidthAreDroppedFromTheCell) {
  for (const char* v : {"*", "100%"}) {
    CellRule r;
    EXPECT_FALSE(r.Apply(v, 605));
    EXPECT_EQ(FindProperty(r.cell, "WIDTH"), nullptr);
    EXPECT_EQ(r.Value(), "(none)");
  }
  CellRule r;  // only byte for byte
  EXPECT_TRUE(r.Apply("100.0%", 605));
  EXPECT_EQ(r.Value(), "16.30cm");
}

TEST(WidthRules, NoWidthWithoutAUsablePixelWidth) {
  for (std::int64_t pixels : {0, -3}) {
    CellRule r;
    EXPECT_FALSE(r.Apply("100", pixels));
    EXPECT_FALSE(r.Apply("50%", pixels));
    EXPECT_EQ(r.Value(), "(none)");
  }
  CellRule r;  // a width that overflows is no width either
  EXPECT_FALSE(r.Apply("1e308", 1));
  EXPECT_EQ(r.Value(), "(none)");
}

TEST(WidthRules, ColumnOwnWidth) {
  Captured c;
  TagNode* table = Node("TABLE");
  TagNode* a = Child(table, "XML-TABLE-COLUMN");
  TagNode* b = Child(table, "XML-TABLE-COLUMN");
  TagNode* d = Child(table, "XML-TABLE-COLUMN");
  SetProperty(c.ctx, a, "XML-TABLE-COLUMN-WIDTH", "121");
  SetProperty(c.ctx, b, "XML-TABLE-COLUMN-WIDTH", "-5");
  TableWidths w;
  for (TagNode* col : {a, b, d}) ApplyColumnWidthRule(c.ctx, w, col);
  EXPECT_EQ(FindProperty(a, "XML-TABLE-COLUMN-WIDTH")->value.view(), "3.26cm");
  EXPECT_EQ(FindProperty(b, "XML-TABLE-COLUMN-WIDTH")->value.view(), "-5");
  EXPECT_EQ(FindProperty(d, "XML-TABLE-COLUMN-WIDTH"), nullptr);
  // Without a usable pixel width the column is left to the sharing out.
  w.pixels = 0;
  SetProperty(c.ctx, d, "XML-TABLE-COLUMN-WIDTH", "100");
  ApplyColumnWidthRule(c.ctx, w, d);
  EXPECT_TRUE(FindProperty(d, "XML-TABLE-COLUMN-WIDTH")->value.null());
  FreeTree(table);
}

// A table of columns with the given widths (nullptr: a property without
// value; "-": no property) followed by a body.
struct Columns {
  Captured c;
  TagNode* table = Node("TABLE");
  std::vector<TagNode*> cols;
  explicit Columns(std::vector<const char*> widths) {
    for (const char* w : widths) {
      TagNode* col = Child(table, "XML-TABLE-COLUMN");
      cols.push_back(col);
      if (w && std::string(w) == "-") continue;
      TagProperty* p = CreateProperty(c.ctx, col, "XML-TABLE-COLUMN-WIDTH");
      if (w) p->value.assign(w);
    }
    Child(table, "XML-TABLE-BODY");
  }
  ~Columns() { FreeTree(table); }
  std::string Width(std::size_t i) const {
    const TagProperty* p = FindProperty(cols[i], "XML-TABLE-COLUMN-WIDTH");
    return p && p->value.has() ? std::string(p->value.view()) : "(none)";
  }
  std::string Normalize(double cw = 16.3) {
    NormalizeColumnWidths(c.ctx, table, cw);
    return c.messages;
  }
};

TEST(Normalisation, SharesTheContentWidthOut) {
  Columns t({nullptr, "-"});
  EXPECT_EQ(t.Normalize(),
            " recalculating table column width...\n  cutting columns:\n   none\n"
            "  adding values for columns:\n   1 (8.15cm)   2 (8.15cm) done\n");
  EXPECT_EQ(t.Width(0), "8.15cm");
  EXPECT_EQ(t.Width(1), "8.15cm");
}

TEST(Normalisation, ShareAfterAGivenWidth) {
  Columns t({"4.08cm", nullptr});
  EXPECT_EQ(t.Normalize(),
            " recalculating table column width...\n  cutting columns:\n   none\n"
            "  adding values for columns:\n   2 (12.22cm) done\n");
}

TEST(Normalisation, CutsThenShrinksTheWidest) {
  Columns t({"9.78cm", "9.78cm", nullptr});
  EXPECT_EQ(t.Normalize(),
            " recalculating table column width...\n  cutting columns:\n"
            "   1 (9.78cm -> 8.15cm)\n   2 (9.78cm -> 8.15cm)\n   1! (8.15cm -> 8.14cm)\n"
            "  adding values for columns:\n   3 (0.01cm) done\n");
  EXPECT_EQ(t.Width(0), "8.14cm");
  EXPECT_EQ(t.Width(1), "8.15cm");
  EXPECT_EQ(t.Width(2), "0.01cm");
}

TEST(Normalisation, CutsWithoutUnsetColumns) {
  Columns t({"10.00cm", "10.00cm"});
  EXPECT_EQ(t.Normalize(),
            " recalculating table column width...\n  cutting columns:\n"
            "   1 (10.00cm -> 8.15cm)\n   2 (10.00cm -> 8.15cm)\n"
            "  adding values for columns:\n   none\n done\n");
}

TEST(Normalisation, RaisesTinyWidthsSilently) {
  Columns t({"0.00cm", "-3", "5.00cm"});
  EXPECT_EQ(t.Normalize(),
            " recalculating table column width...\n  cutting columns:\n   none\n"
            "  adding values for columns:\n   none\n done\n");
  EXPECT_EQ(t.Width(0), "0.01cm");
  EXPECT_EQ(t.Width(1), "0.01cm");
  EXPECT_EQ(t.Width(2), "5.00cm");
}

TEST(Normalisation, NoColumnsAtAll) {
  Columns t({});
  EXPECT_EQ(t.Normalize(-0.04),
            " recalculating table column width...\n  cutting columns:\n   none\n"
            "  adding values for columns:\n   none\n done\n");
}

TEST(Normalisation, EndsWhenNothingCanChange) {
  // Less than 0.01 cm for each unset column and nothing to scale or shrink.
  Columns t({nullptr, nullptr, nullptr});
  EXPECT_EQ(t.Normalize(0.02),
            " recalculating table column width...\n  cutting columns:\n   none\n"
            "  adding values for columns:\n   1 (0.01cm)   2 (0.01cm)   3 (0.01cm) done\n");
}

TEST(Normalisation, ColumnsThatCannotBeScaledGoToTheSmallestWidthAtOnce) {
  // Scaling leaves every column below 0.01 cm; shrinking a hundredth per
  // round would take 10,000 rounds here.
  Columns t({"50.00cm", "40.00cm", "0.01cm", nullptr, nullptr});
  EXPECT_EQ(t.Normalize(0.01),
            " recalculating table column width...\n  cutting columns:\n"
            "   1! (50.00cm -> 0.01cm)\n   2! (40.00cm -> 0.01cm)\n"
            "  adding values for columns:\n   4 (-0.01cm)   5 (-0.01cm) done\n");
}

TEST(Normalisation, AbsurdWidthsNeverWriteInfinity) {
  Columns t({"1e308cm", "1e308cm", "1e308cm", nullptr});
  std::string m = t.Normalize();
  EXPECT_EQ(m.find("inf"), std::string::npos) << m;
  EXPECT_EQ(m.find("nan"), std::string::npos) << m;
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(t.Width(i).find("inf"), std::string::npos);
    EXPECT_EQ(t.Width(i).find("nan"), std::string::npos);
  }
}

TEST(Normalisation, SameResultWhetherEveryReadIsTracedOrNot) {
  // Rounding up leaves 300 columns too wide by 0.0037 cm each: the widest is
  // shrunk round after round.
  std::vector<const char*> many(300, "0.03cm");
  many.push_back(nullptr);
  const std::vector<std::vector<const char*>> sets = {
      {"9.78cm", "9.78cm", nullptr}, {"0x10", "7.5", "abc", nullptr}, {"50.00cm", "40.00cm", nullptr}, many};
  for (const auto& widths : sets) {
    Columns plain(widths);
    Columns traced(widths);
    traced.c.ctx.debugLevel = 2;
    const double cw = widths.size() > 100 ? 5.0 : 16.3;
    EXPECT_EQ(plain.Normalize(cw), traced.Normalize(cw));
    for (std::size_t i = 0; i < widths.size(); ++i) EXPECT_EQ(plain.Width(i), traced.Width(i));
    EXPECT_NE(traced.c.trace, "");
  }
}

// A later row's spanning cell over the columns from the first one.
struct SpanRule {
  Columns t;
  TagNode* cell = Node("TD");
  explicit SpanRule(std::vector<const char*> widths) : t(std::move(widths)) {}
  ~SpanRule() { FreeTree(cell); }
  bool Apply(const char* width, std::int64_t n) {
    if (width) SetProperty(t.c.ctx, cell, "WIDTH", width);
    TagNode* cursor = t.table->firstChild;
    TableWidths w;
    return ApplySpanWidthRule(t.c.ctx, w, cell, cursor, n);
  }
};

TEST(WidthRules, SpanGivesTheOneMissingWidth) {
  {
    SpanRule r({"3.26cm", "-"});
    EXPECT_TRUE(r.Apply("242", 2));
    EXPECT_EQ(r.t.Width(1), "3.26cm");
  }
  {
    SpanRule r({"3.26cm", "1.00cm"});
    EXPECT_FALSE(r.Apply("242", 2));
    EXPECT_EQ(r.t.Width(1), "1.00cm");
  }
  {
    SpanRule r({"-", nullptr});
    EXPECT_FALSE(r.Apply("242", 2));
    EXPECT_EQ(r.t.Width(0), "(none)");
  }
  {
    SpanRule r({"3.26cm", "-"});  // too little left
    EXPECT_FALSE(r.Apply("100", 2));
  }
  {
    SpanRule r({"3.26cm", nullptr});  // the whole width counts here
    EXPECT_TRUE(r.Apply("100%", 2));
    EXPECT_EQ(r.t.Width(1), "13.04cm");
  }
}

TEST(WidthRules, SpanWithoutWidthSetsNothing) {
  // Subtracting a negative width would otherwise make something of nothing.
  SpanRule r({"-0.01cm", nullptr});
  EXPECT_FALSE(r.Apply(nullptr, 2));
  EXPECT_EQ(r.t.Width(1), "(none)");
}

TEST(WidthRules, SpanPastTheColumns) {
  SpanRule r({"3.26cm"});
  // The second position is the body: it refuses the width, with a report.
  EXPECT_FALSE(r.Apply("242", 3));
  EXPECT_EQ(r.t.c.messages, "The property \"XML-TABLE-COLUMN-WIDTH\" can't be created under \"XML-TABLE-BODY\"!\n");
}

TEST(CellContentWidth, ColumnsLessTheBorder) {
  Columns t({"8.15cm", "4.00cm", "-"});
  TagNode* table = t.table;
  TagNode* border = Node("TABLE");
  TagProperty* b = SetProperty(t.c.ctx, border, "BORDER", "1");
  auto width = [&](std::int64_t n, const TagProperty* withBorder, const char* tag = "TD") {
    TagNode* cell = Node(tag);
    TagNode* cursor = table->firstChild;
    SetCellContentWidth(t.c.ctx, cell, cursor, n, withBorder);
    const TagProperty* p = FindProperty(cell, "XML-CONFIG-max-content-width");
    std::string v = p ? std::string(p->value.view()) : "(none)";
    FreeTree(cell);
    return v;
  };
  EXPECT_EQ(width(1, b), "8.11cm");
  EXPECT_EQ(width(1, nullptr), "8.15cm");
  EXPECT_EQ(width(2, nullptr), "12.15cm");
  EXPECT_EQ(width(5, nullptr), "12.15cm");  // past the columns: nothing more
  EXPECT_EQ(width(0, b), "-0.04cm");
  EXPECT_EQ(width(1, b, "XML-EMPTY-CELL"), "(none)");
  b->value.reset();  // a bare BORDER deducts nothing
  EXPECT_EQ(width(1, b), "8.15cm");
  EXPECT_EQ(t.c.messages, "");
  FreeTree(border);
}

}  // namespace
}  // namespace ps
