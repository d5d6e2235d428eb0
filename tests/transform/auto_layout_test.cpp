#include "transform/auto_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "reader/reader.h"
#include "run/run.h"
#include "style/cascade.h"
#include "style/computed.h"
#include "support/test_util.h"
#include "transform/font_metrics.h"
#include "transform/pass.h"

namespace ps {
namespace {

using test::Captured;

constexpr double kCm = 72.0 / 2.54;  // points per centimetre

TEST(FontMetrics, AdvanceWidthsOfTheBaseFonts) {
  const FontSpec regular;
  FontSpec bold;
  bold.bold = true;
  FontSpec mono;
  mono.monospace = true;
  FontSpec italic;
  italic.italic = true;
  FontSpec big;
  big.sizePt = 20;
  EXPECT_DOUBLE_EQ(CharAdvance('A', regular), 6.67);
  EXPECT_DOUBLE_EQ(CharAdvance('A', bold), 7.22);
  EXPECT_DOUBLE_EQ(CharAdvance('i', regular), 2.22);
  EXPECT_DOUBLE_EQ(CharAdvance('i', italic), 2.22);  // the oblique face advances as the upright
  EXPECT_DOUBLE_EQ(CharAdvance('i', mono), 6.0);
  EXPECT_DOUBLE_EQ(CharAdvance('W', mono), 6.0);
  EXPECT_DOUBLE_EQ(CharAdvance(' ', big), 5.56);
  EXPECT_DOUBLE_EQ(CharAdvance(0x00E9, regular), 5.56);  // é
  EXPECT_DOUBLE_EQ(CharAdvance(0x2014, regular), 10.0);  // an em dash, from windows-1252
  EXPECT_DOUBLE_EQ(CharAdvance(0x4E2D, regular), 10.0);  // CJK: one em
  EXPECT_DOUBLE_EQ(CharAdvance(0xAC00, mono), 10.0);     // Hangul
  EXPECT_DOUBLE_EQ(CharAdvance(0x0416, regular), 10.0 * kOtherScriptEm);  // Cyrillic
  EXPECT_DOUBLE_EQ(CharAdvance(0x0301, regular), 0.0);  // a combining accent
  EXPECT_DOUBLE_EQ(ByteAdvance(0xE9, regular), 5.56);
  EXPECT_EQ(Cp1252Char(0x80), 0x20AC);
  EXPECT_EQ(Cp1252Byte(0x20AC), 0x80);
  EXPECT_EQ(Cp1252Byte(0x4E2D), -1);
}

TEST(FontMetrics, TextWidthsReadEntitiesAndEncodings) {
  const FontSpec f;
  EXPECT_NEAR(TextWidth("Hello", false, f), 22.78, 1e-9);
  EXPECT_NEAR(TextWidth("a&amp;b", false, f), 5.56 + 6.67 + 5.56, 1e-9);
  EXPECT_NEAR(TextWidth("&eacute;&#233;&#xE9;", false, f), 3 * 5.56, 1e-9);
  EXPECT_NEAR(TextWidth("\xE9", false, f), 5.56, 1e-9);       // windows-1252
  EXPECT_NEAR(TextWidth("\xC3\xA9", true, f), 5.56, 1e-9);    // UTF-8
  EXPECT_NEAR(TextWidth("\xE4\xB8\xAD", true, f), 10.0, 1e-9);
  // Not references: read as they stand.
  EXPECT_NEAR(TextWidth("&nosuch;", false, f), TextWidth("&", false, f) + TextWidth("nosuch;", false, f), 1e-9);
  EXPECT_NEAR(TextWidth("&#0;", false, f), TextWidth("&", false, f) + TextWidth("#0;", false, f), 1e-9);
  // Collapsible white space: one space between words, none around.
  EXPECT_NEAR(TextWidth("  a \n\t b  ", false, f), 5.56 + 2.78 + 5.56, 1e-9);
}

// A page converted with the automatic layout on; the widths of every
// table's columns in centimetres, tables in document order.
struct Converted {
  Captured c;
  std::unique_ptr<css::ComputedStyles> styles;
  std::vector<std::vector<double>> tables;
  // With a user sheet the cascade runs, as with --css.
  explicit Converted(const std::string& html, bool automatic = true, std::string userSheet = "") {
    c.ctx.autoTableLayout = automatic;
    c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
    c.ctx.inputName = "page.html";
    c.ctx.fileExists = [](const std::string& path) { return path != "missing.png"; };
    LoadHtmlText(c.ctx, html);
    if (!userSheet.empty()) {
      StyleInput in;
      in.userSheets.push_back({"user.css", std::move(userSheet)});
      styles = RunCascade(c.ctx, in);
      c.ctx.styles = styles.get();
    }
    ProcessChain(c.ctx, c.ctx.documentRoot);
    std::vector<const TagNode*> chains{c.ctx.documentRoot};
    std::vector<const TagNode*> found;
    // Document order without recursion: a stack of chains still to walk.
    while (!chains.empty()) {
      const TagNode* n = chains.back();
      chains.pop_back();
      if (n->next) chains.push_back(n->next);
      if (EqualsNoCase(n->def->name, "TABLE")) found.push_back(n);
      if (n->firstChild) chains.push_back(n->firstChild);
    }
    for (const TagNode* t : found) {
      std::vector<double> widths;
      for (const TagNode* col = t->firstChild; col && EqualsNoCase(col->def->name, "XML-TABLE-COLUMN"); col = col->next) {
        const TagProperty* p = FindProperty(col, "XML-TABLE-COLUMN-WIDTH");
        widths.push_back(p && p->value.has() ? std::atof(p->value.c_str()) : -1.0);
      }
      tables.push_back(widths);
    }
  }
  static double Sum(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return s;
  }
};

std::string Words(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "answer ";
  return s;
}

std::string Page(const std::string& body) { return "<html><body>" + body + "</body></html>"; }

TEST(AutomaticLayout, LabelColumnTakesItsTextAndTheAnswerTheRest) {
  Converted fixed(Page("<table><tr><td>1.1.</td><td>" + Words(200) + "</td></tr></table>"), false);
  ASSERT_EQ(fixed.tables.size(), 1u);
  EXPECT_EQ(fixed.tables[0], (std::vector<double>{8.15, 8.15}));

  Converted t(Page("<table><tr><td>1.1.</td><td>" + Words(200) + "</td></tr></table>"));
  ASSERT_EQ(t.tables.size(), 1u);
  ASSERT_EQ(t.tables[0].size(), 2u);
  // "1.1." is 16.68 pt: 0.59 cm; the table fills the 16.3 cm it has.
  EXPECT_NEAR(t.tables[0][0], 16.68 / kCm, 0.011);
  EXPECT_NEAR(Converted::Sum(t.tables[0]), 16.3, 1e-9);
}

TEST(AutomaticLayout, AShortTableIsAsWideAsItsContent) {
  Converted t(Page("<table border=1><tr><th>Name</th><td>Hello</td></tr></table>"));
  ASSERT_EQ(t.tables.size(), 1u);
  // Bold "Name" 27.23 pt, "Hello" 22.78 pt, one border width each.
  EXPECT_NEAR(t.tables[0][0], (27.23 + 1) / kCm, 0.011);
  EXPECT_NEAR(t.tables[0][1], (22.78 + 1) / kCm, 0.011);
}

TEST(AutomaticLayout, PreformattedLinesImagesAndCjkAreUnbreakable) {
  const std::string line = "line one is long and stays one line";  // 35 characters of Courier
  Converted pre(Page("<table><tr><td><pre>" + line + "\nshort</pre></td><td>" + Words(200) + "</td></tr></table>"));
  ASSERT_EQ(pre.tables.size(), 1u);
  EXPECT_GE(pre.tables[0][0], 35 * 6.0 / kCm - 0.01);

  Converted img(Page("<table><tr><td><img src=\"a.png\" width=\"100\"></td><td>" + Words(200) + "</td></tr></table>"));
  EXPECT_NEAR(img.tables[0][0], 100 / kCm, 0.011);  // printed at 100 pt

  // Four ideographs fit on one line: 4 em.
  Converted cjk(Page("<meta charset=\"utf-8\"><table><tr><td>\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87</td>"
                     "<td>ab</td></tr></table>"));
  EXPECT_NEAR(cjk.tables[0][0], 40 / kCm, 0.011);
  // Squeezed, a line breaks between any two of them: one em is the minimum.
  Converted squeezed(Page("<meta charset=\"utf-8\"><table><tr><td>\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87</td>"
                          "<td>" + Words(400) + "</td></tr></table>"));
  EXPECT_GE(squeezed.tables[0][0], 10 / kCm - 0.01);
  EXPECT_LT(squeezed.tables[0][0], 40 / kCm);
}

TEST(AutomaticLayout, GivenWidthsInPixelsPercentAndColumns) {
  Converted px(Page("<table><tr><td width=\"200\">x</td><td>" + Words(200) + "</td></tr></table>"));
  EXPECT_NEAR(px.tables[0][0], 150 / kCm, 0.011);  // 200 CSS pixels
  Converted percent(Page("<table><tr><td width=\"25%\">x</td><td>" + Words(200) + "</td></tr></table>"));
  EXPECT_NEAR(percent.tables[0][0], 16.3 / 4, 0.011);
  Converted col(Page("<table><col width=\"100\"><col><tr><td>a</td><td>" + Words(200) + "</td></tr></table>"));
  ASSERT_EQ(col.tables[0].size(), 2u);
  EXPECT_NEAR(col.tables[0][0], 75 / kCm, 0.011);
  // A given width never squeezes a word.
  Converted narrow(Page("<table><tr><td width=\"1\">unbreakable</td><td>" + Words(200) + "</td></tr></table>"));
  EXPECT_NEAR(narrow.tables[0][0], TextWidth("unbreakable", false, FontSpec{}) / kCm, 0.011);
  // The table's own width.
  Converted table(Page("<table width=\"50%\"><tr><td>a</td><td>b</td></tr></table>"));
  EXPECT_NEAR(Converted::Sum(table.tables[0]), 16.3 / 2, 0.011);
}

TEST(AutomaticLayout, SpanningCellsSpreadOverTheirColumns) {
  const std::string head = "a heading cell that spans both columns";
  Converted t(Page("<table><tr><td colspan=2>" + head + "</td></tr><tr><td>aaaa</td><td>bbbbbbbbbbbb</td></tr></table>"));
  ASSERT_EQ(t.tables[0].size(), 2u);
  // Together as wide as the heading, shared as the columns' own widths are.
  EXPECT_NEAR(Converted::Sum(t.tables[0]), TextWidth(head, false, FontSpec{}) / kCm, 0.021);
  EXPECT_NEAR(t.tables[0][1] / t.tables[0][0], 3.0 * 5.56 / 5.56, 0.1);
}

TEST(AutomaticLayout, NestedTablesFromTheInsideOut) {
  Converted t(Page("<table><tr><td>x</td><td><table><tr><td>inner words</td><td>more inner words</td></tr></table>"
                   "</td></tr></table>"));
  ASSERT_EQ(t.tables.size(), 2u);
  const double inner = Converted::Sum(t.tables[1]);
  EXPECT_NEAR(inner, (TextWidth("inner words", false, FontSpec{}) + TextWidth("more inner words", false, FontSpec{})) / kCm,
              0.021);
  // The outer column holds the inner table on one line.
  EXPECT_GE(t.tables[0][1], inner - 0.01);
  EXPECT_LT(Converted::Sum(t.tables[0]), 16.0);
}

TEST(AutomaticLayout, TheHookDecidesPerTable) {
  Captured c;
  Converted off(Page("<table><tr><td>a</td><td>b</td></tr></table>"), true);
  EXPECT_LT(Converted::Sum(off.tables[0]), 1.0);
  // A hook that answers fixed for every table brings the equal shares back.
  Context probe;
  probe.autoTableLayout = true;
  probe.tableLayoutIsAuto = [](const TagNode*, bool) { return false; };
  EXPECT_FALSE(IsAutoLayout(probe, nullptr));
  probe.tableLayoutIsAuto = [](const TagNode*, bool automatic) { return !automatic; };
  probe.autoTableLayout = false;
  EXPECT_TRUE(IsAutoLayout(probe, nullptr));
}

TEST(AutomaticLayout, StyleSheetsSwitchItOnAndPadTheCells) {
  const std::string table = "<table><tr><th>Name</th><td>Hello</td></tr></table>";
  // Any sheet brings the automatic layout; its padding, borders and
  // spacing widen the columns by what FOP takes of them.
  // Without the browser's table defaults (2px spacing, 1px padding) unless a case says otherwise.
  const std::string bare = "table { border-spacing: 0 } td, th { padding: 0 } ";
  Converted defaults(Page(table), false, "p { color: red }");
  EXPECT_NEAR(defaults.tables[0][1], (22.78 + 1.5 + 1.5) / kCm, 0.011) << "a browser's spacing and padding";
  Converted padded(Page(table), false, bare + "td, th { padding: 0 10pt }");
  ASSERT_EQ(padded.tables.size(), 1u);
  EXPECT_NEAR(padded.tables[0][0], (27.23 + 20) / kCm, 0.011);
  EXPECT_NEAR(padded.tables[0][1], (22.78 + 20) / kCm, 0.011);
  Converted spaced(Page(table), false, "table { border-spacing: 4pt } td { border: 1pt solid; padding: 2pt }");
  EXPECT_NEAR(spaced.tables[0][1], (22.78 + 4 + 2 + 4) / kCm, 0.011);
  Converted collapsed(Page(table), false,
                      bare + "table { border-collapse: collapse; border: 3pt solid } td { border: 1pt solid }");
  EXPECT_NEAR(collapsed.tables[0][1], (22.78 + 3) / kCm, 0.011) << "the table's wider border at both edges";
  // table-layout: fixed keeps the equal shares.
  Converted fixed(Page(table), false, "table { table-layout: fixed }");
  EXPECT_EQ(fixed.tables[0], (std::vector<double>{8.15, 8.15}));
  // A given width is the content's: the padding comes on top.
  Converted given(Page("<table><tr><td class=w>a</td><td>" + Words(200) + "</td></tr></table>"), false,
                  bare + ".w { width: 100pt; padding: 0 5pt }");
  EXPECT_NEAR(given.tables[0][0], 110 / kCm, 0.011);
  // The sheets' text sizes count.
  Converted big(Page(table), false, bare + "td { font-size: 20pt }");
  EXPECT_NEAR(big.tables[0][1], 2 * 22.78 / kCm, 0.011);
}

TEST(AutomaticLayout, AColumnSpanStandsForAsManyColumns) {
  const std::string table =
      "<table><col span=2 width=100><col><tr><td>a</td><td>b</td><td>" + Words(50) + "</td></tr></table>";
  for (bool automatic : {false, true}) {
    Converted t(Page(table), automatic);
    ASSERT_EQ(t.tables.size(), 1u);
    ASSERT_EQ(t.tables[0].size(), 3u);
    EXPECT_EQ(t.tables[0][0], t.tables[0][1]) << "both columns take the COL's width";
    EXPECT_GT(t.tables[0][2], t.tables[0][0]) << "the last column takes the rest";
    if (automatic) {
      EXPECT_NEAR(t.tables[0][0], 75 / kCm, 0.011);
    }
  }
}

TEST(AutomaticLayout, AMissingImageMeasuresAsItsAltText) {
  Converted t(Page("<table><tr><td><img src=missing.png alt=\"1\"></td><td>" + Words(200) +
                   "</td></tr><tr><td><img src=there.png></td><td>b</td></tr></table>"));
  ASSERT_EQ(t.tables.size(), 1u);
  EXPECT_NEAR(t.tables[0][0], 72 / kCm, 0.011) << "an image found and without a width: an inch";
  Converted alone(Page("<table><tr><td><img src=missing.png alt=\"1\"></td><td>" + Words(200) + "</td></tr></table>"));
  EXPECT_NEAR(alone.tables[0][0], 5.56 / kCm, 0.011);
}

TEST(AutomaticLayout, DistributionBetweenMinimumsAndMaximums) {
  TableMeasure m;
  m.columns = {{10, 100, 0, false}, {10, 300, 0, false}};
  // Everything fits: the maximums.
  EXPECT_EQ(DistributeWidths(m, 1000), (std::vector<double>{100, 300}));
  // Between: each column gets the same share of what it would take more.
  const std::vector<double> half = DistributeWidths(m, 210);
  EXPECT_DOUBLE_EQ(half[0], 55);
  EXPECT_DOUBLE_EQ(half[1], 155);
  // Less than the minimums: shrunk to the page.
  EXPECT_EQ(DistributeWidths(m, 10), (std::vector<double>{5, 5}));

  // A fixed column keeps its width while the others take the rest.
  TableMeasure fixed;
  fixed.columns = {{150, 150, 0, true}, {10, 1000, 0, false}};
  const std::vector<double> f = DistributeWidths(fixed, 500);
  EXPECT_DOUBLE_EQ(f[0], 150);
  EXPECT_DOUBLE_EQ(f[1], 350);

  // A percentage of the table: the table is wide enough for it.
  TableMeasure percent;
  percent.columns = {{10, 20, 50, false}, {10, 100, 0, false}};
  EXPECT_EQ(DistributeWidths(percent, 400), (std::vector<double>{100, 100}));

  // A given table width beyond the maximums: the columns without widths grow.
  TableMeasure wide;
  wide.columns = {{10, 100, 0, false}, {100, 100, 0, true}};
  wide.givenPt = 600;
  EXPECT_EQ(DistributeWidths(wide, 1000), (std::vector<double>{500, 100}));
}

TEST(AutomaticLayout, HostileValuesStayFiniteAndFillThePage) {
  Converted t(Page("<table width=\"1e999\"><tr><td colspan=\"99999\" width=\"-5\">a</td><td rowspan=\"99999999999\" "
                   "width=\"nan\">b</td></tr><tr><td width=\"inf%\">c</td></tr></table>"
                   "<table width=\"0\"><tr><td></td></tr></table><table><col width=\"*\"><col width=\"3*\"></table>"));
  for (const std::vector<double>& table : t.tables)
    for (double w : table) {
      EXPECT_TRUE(std::isfinite(w));
      EXPECT_GE(w, 0.01);
    }
  for (const std::vector<double>& table : t.tables) EXPECT_LE(Converted::Sum(table), 16.31);
}

// Deep nesting and wide rows: every walk is iterative and each table is
// measured once, so this takes no stack and no time to speak of.
TEST(AutomaticLayout, DeepNestingAndWideRows) {
  std::string deep;
  constexpr int kDepth = 3000;
  for (int i = 0; i < kDepth; ++i) deep += "<table><tr><td>cell " + std::to_string(i) + "</td><td>";
  deep += "x";
  for (int i = 0; i < kDepth; ++i) deep += "</td></tr></table>";
  Converted t(Page(deep));
  ASSERT_EQ(t.tables.size(), static_cast<std::size_t>(kDepth));
  for (const std::vector<double>& table : t.tables)
    for (double w : table) EXPECT_TRUE(std::isfinite(w));
  // Inner tables fit the cell that holds them.
  ASSERT_EQ(t.tables[0].size(), 2u);
  EXPECT_LE(Converted::Sum(t.tables[1]), t.tables[0][1] + 0.02);

  std::string wide = "<table><tr>";
  for (int i = 0; i < 2000; ++i) wide += "<td colspan=\"3\">w</td>";
  wide += "</tr></table>";
  Converted w(Page(wide));
  ASSERT_EQ(w.tables.size(), 1u);
  EXPECT_LE(Converted::Sum(w.tables[0]), 16.3 + 0.01 * static_cast<double>(w.tables[0].size()));
}

}  // namespace
}  // namespace ps
