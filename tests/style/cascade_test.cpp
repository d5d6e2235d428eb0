#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "reader/reader.h"
#include "run/run.h"
#include "style/cascade.h"
#include "style/computed.h"
#include "style/element_view.h"
#include "style/sheet_files.h"
#include "support/test_util.h"

namespace ps {
namespace {

using css::Bit;
using css::Computed;
using test::Captured;

Computed Compute(css::Prop p, std::string_view value, const Computed& parent = Computed(), bool* ok = nullptr) {
  Computed out = parent;
  const bool valid = css::ComputeValue(p, css::ParseComponentValues(value), parent, out, 10);
  if (ok) *ok = valid;
  return out;
}

TEST(ComputedValues, FontSizesInEveryUnitComeOutInPoints) {
  Computed parent;
  parent.fontSize = 10;
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "16px", parent).fontSize, 12);
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "1in", parent).fontSize, 72);
  EXPECT_NEAR(Compute(css::kFontSize, "2.54cm", parent).fontSize, 72, 1e-3);
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "1.5em", parent).fontSize, 15);
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "2rem", parent).fontSize, 20);
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "150%", parent).fontSize, 15);
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "x-large", parent).fontSize, 15);
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "medium", parent).fontSize, 10);
  EXPECT_NEAR(Compute(css::kFontSize, "smaller", parent).fontSize, 10 / 1.2, 1e-3);
  EXPECT_FLOAT_EQ(Compute(css::kFontSize, "larger", parent).fontSize, 12);
  bool ok = true;
  Compute(css::kFontSize, "-3pt", parent, &ok);
  EXPECT_FALSE(ok);
  Compute(css::kFontSize, "12", parent, &ok);
  EXPECT_FALSE(ok) << "a bare number is no length";
}

TEST(ComputedValues, WeightsColoursAndKeywords) {
  Computed parent;
  EXPECT_EQ(Compute(css::kFontWeight, "bolder", parent).fontWeight, 700);
  parent.fontWeight = 700;
  EXPECT_EQ(Compute(css::kFontWeight, "bolder", parent).fontWeight, 900);
  EXPECT_EQ(Compute(css::kFontWeight, "lighter", parent).fontWeight, 400);
  EXPECT_EQ(Compute(css::kColor, "rgba(255, 0, 0, 0.5)").color, 0xff8080u) << "alpha laid over white";
  EXPECT_EQ(Compute(css::kColor, "#00f").color, 0x0000ffu);
  Computed red;
  red.color = 0xff0000;
  EXPECT_EQ(Compute(css::kBackgroundColor, "currentcolor", red).backgroundColor, 0xff0000u);
  EXPECT_FALSE(Compute(css::kBackgroundColor, "transparent").background);
  EXPECT_TRUE(Compute(css::kFontStyle, "oblique 10deg").italic);
  EXPECT_EQ(Compute(css::kTextDecoration, "underline dotted red").decoration, css::kUnderline);
  EXPECT_EQ(Compute(css::kVerticalAlign, "super").valign, css::VAlign::Super);
  EXPECT_EQ(Compute(css::kWhiteSpace, "pre-wrap").whiteSpace, css::WhiteSpace::PreWrap);
  Computed f = Compute(css::kFontFamily, "\"My Font\", Menlo, monospace, serif");
  EXPECT_EQ(f.family, "My Font");
  EXPECT_EQ(f.generic, css::Generic::Monospace);
  bool ok = true;
  Compute(css::kFontFamily, "a,,b", Computed(), &ok);
  EXPECT_FALSE(ok);
}

TEST(ElementView, StartTagsReadAsHtmlReadsThem) {
  ElementInfo info;
  ParseStartTag("DIV Class=\"a  b a\" id=x data-V='1 &amp; 2' hidden ID=y", info);
  EXPECT_EQ(info.name, "div");
  ASSERT_EQ(info.classes.size(), 2u);
  EXPECT_EQ(info.classes[1], "b");
  ASSERT_GE(info.attributes.size(), 4u);
  EXPECT_EQ(info.attributes[1].second, "x") << "the first of a name counts";
  EXPECT_EQ(info.attributes[2].second, "1 & 2");
  EXPECT_EQ(info.attributes[3].first, "hidden");
}

// A document read and cascaded, with the user sheets given.
struct Cascaded {
  Captured c;
  std::unique_ptr<css::ComputedStyles> styles;
  TagNode* html = nullptr;
  Cascaded(std::string_view page, std::vector<std::string> userSheets = {},
           std::size_t twoThreadsFrom = StyleInput().twoThreadsFrom) {
    c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
    c.ctx.inputName = "input.html";
    c.ctx.inputBytes = page.size();
    ParseHtml(c.ctx, page);
    html = c.ctx.documentRoot->next;
    StyleInput in;
    for (std::string& s : userSheets) in.userSheets.push_back({"user.css", std::move(s)});
    in.twoThreadsFrom = twoThreadsFrom;
    styles = RunCascade(c.ctx, in);
  }
  // The first element of the name in document order.
  const TagNode* Find(std::string_view name, const TagNode* n = nullptr) const {
    std::vector<const TagNode*> todo{n ? n : html};
    while (!todo.empty()) {
      const TagNode* x = todo.back();
      todo.pop_back();
      if (EqualsNoCase(x->def->name, name)) return x;
      std::vector<const TagNode*> kids;
      for (const TagNode* k = x->firstChild; k; k = k->next) kids.push_back(k);
      todo.insert(todo.end(), kids.rbegin(), kids.rend());
    }
    return nullptr;
  }
  // The colour of each element of the name, in document order; 0 for none.
  std::vector<std::uint32_t> Colors(std::string_view name) const {
    std::vector<std::uint32_t> out;
    std::vector<const TagNode*> todo{html};
    while (!todo.empty()) {
      const TagNode* x = todo.back();
      todo.pop_back();
      if (EqualsNoCase(x->def->name, name)) {
        const Computed* v = styles->Find(x);
        out.push_back(v ? v->color : 0);
      }
      std::vector<const TagNode*> kids;
      for (const TagNode* k = x->firstChild; k; k = k->next) kids.push_back(k);
      todo.insert(todo.end(), kids.rbegin(), kids.rend());
    }
    return out;
  }
  // The values of each element of the name, in document order.
  std::vector<const Computed*> Values(std::string_view name) const {
    std::vector<const Computed*> out;
    std::vector<const TagNode*> todo{html};
    while (!todo.empty()) {
      const TagNode* x = todo.back();
      todo.pop_back();
      if (EqualsNoCase(x->def->name, name)) out.push_back(styles->Find(x));
      std::vector<const TagNode*> kids;
      for (const TagNode* k = x->firstChild; k; k = k->next) kids.push_back(k);
      todo.insert(todo.end(), kids.rbegin(), kids.rend());
    }
    return out;
  }
};

TEST(Cascade, NothingIsDoneForAPageWithoutSheets) {
  Cascaded d("<html><body><p style=\"color: red\">x</p></body></html>");
  EXPECT_EQ(d.styles, nullptr);
}

TEST(Cascade, OriginsImportanceSpecificityAndOrder) {
  Cascaded d(
      "<html><head><style>"
      "p { color: #000001 } .k { color: #000002 } p { font-weight: bold !important }"
      "#i { font-style: italic } .k { font-style: normal }"
      "</style></head><body><p class=k id=i style=\"font-weight: normal\">x</p></body></html>",
      {"p.k { color: #000003 } p { font-weight: 100 !important }"});
  ASSERT_NE(d.styles, nullptr);
  const Computed* p = d.styles->Find(d.Find("P"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->color, 2u) << "author normal beats user normal of higher specificity";
  EXPECT_EQ(p->fontWeight, 100) << "user !important beats author !important and STYLE";
  EXPECT_TRUE(p->italic) << "an id beats a class";
}

// A node the converter makes after freeing a styled element may get the
// freed node's address: it must not find the freed element's values.
// Elements with the same start tags all the way up share their values, and
// so do elements whose winning declarations and parents' values are equal:
// neither may hide what tells them apart.
TEST(Cascade, LookalikeElementsShareValuesOnlyWhereNoRuleTellsThemApart) {
  Cascaded d(
      "<html><head><style>"
      "li:first-child { color: #000001 } p + p { color: #000002 } i:empty { color: #000003 }"
      ".a span { color: #000004 } :is(em, B) { color: #000005 } tr:nth-child(2) td { color: #000006 }"
      "q ~ q { color: #000007 } s:not(:last-child) { color: #000008 }"
      "</style></head><body>"
      "<ul><li>a<li>b</ul><p>x</p><p>y</p><i></i><i>z</i>"
      "<div class=a><span>s</span></div><div class=b><span>t</span></div><div class=a><span>u</span></div>"
      "<em>e</em><b>b</b><u>u</u>"
      "<table><tr><td>1</td></tr><tr><td>2</td></tr><tr><td>3</td></tr></table>"
      "<div><q>a</q><q>b</q></div><div><s>a</s><s>b</s></div>"
      "</body></html>");
  ASSERT_NE(d.styles, nullptr);
  using V = std::vector<std::uint32_t>;
  EXPECT_EQ(d.Colors("LI"), (V{1, 0}));
  EXPECT_EQ(d.Colors("P"), (V{0, 2}));
  EXPECT_EQ(d.Colors("I"), (V{3, 0}));
  EXPECT_EQ(d.Colors("SPAN"), (V{4, 0, 4})) << "the same tag under other ancestors";
  EXPECT_EQ(d.Colors("EM"), (V{5}));
  EXPECT_EQ(d.Colors("B"), (V{5})) << ":is() names its tags in any case";
  EXPECT_EQ(d.Colors("U"), (V{0}));
  EXPECT_EQ(d.Colors("TD"), (V{0, 6, 0}));
  EXPECT_EQ(d.Colors("Q"), (V{0, 7}));
  EXPECT_EQ(d.Colors("S"), (V{8, 0}));
}
// Cells that differ only in attributes of their own values (WIDTH, VALIGN,
// STYLE, COLSPAN) hold elements of the same values; what still tells those
// apart must: a value a rule takes from a parent although it is not
// inherited, a selector that names such an attribute, a STYLE attribute
// that takes a parent's value.
TEST(Cascade, WhatCellsHoldIsSharedAcrossTheirOwnAttributesOnly) {
  Cascaded d(
      "<html><head><style>"
      "td[colspan=\"2\"] b { color: #000001 }"
      "</style></head><body><table>"
      "<tr valign=top><td width=10><div>a</div><b>x</b><p style=\"padding-left: inherit\">p</p></td></tr>"
      "<tr valign=bottom><td width=20><div>b</div><b>y</b></td></tr>"
      "<tr valign=bottom><td width=10><div>c</div></td></tr>"
      "<tr valign=top><td width=30 style=\"padding-left: 7pt\"><p style=\"padding-left: inherit\">q</p></td></tr>"
      "<tr valign=top><td colspan=2 style=\"padding-left: 3pt\"><div>d</div><b>z</b>"
      "<p style=\"padding-left: inherit\">r</p></td></tr>"
      "</table></body></html>",
      {"tr, td, div { vertical-align: inherit }"});
  ASSERT_NE(d.styles, nullptr);
  std::vector<css::CellAlign> aligns;
  for (const Computed* v : d.Values("DIV")) aligns.push_back(v ? v->cellAlign : css::CellAlign{});
  using A = css::CellAlign;
  EXPECT_EQ(aligns, (std::vector<A>{A::Top, A::Bottom, A::Bottom, A::Top})) << "each from its own row";
  EXPECT_EQ(d.Colors("B"), (std::vector<std::uint32_t>{0, 0, 1})) << "a selector names COLSPAN";
  std::vector<float> paddings;
  for (const Computed* v : d.Values("P")) paddings.push_back(v ? v->padding[css::kLeft] : -1);
  EXPECT_EQ(paddings, (std::vector<float>{0.75f, 7, 3})) << "each from its own cell";
}

// Ancestors that differ only in what no selector names are one to their
// descendants: what a selector does name (an id, a class, an attribute, the
// language, a link's HREF) still tells them apart, and so does what a cell
// reads of its own table, however alike the tables around that table are.
TEST(Cascade, AncestorsAreToldApartByWhatSelectorsNameAndCellsRead) {
  Cascaded d(
      "<html><head><style>"
      "#x span { color: #000001 } .k span { color: #000002 } [data-a=\"1\"] span { color: #000003 }"
      ":lang(fr) span { color: #000004 } :link span { color: #000005 }"
      "</style></head><body>"
      "<div id=q><span>a</span></div><div id=x><span>b</span></div><div id=r><span>c</span></div>"
      "<div class=\"z\"><span>d</span></div><div class=\"z k\"><span>e</span></div>"
      "<div data-a=2><span>f</span></div><div data-a=1><span>g</span></div>"
      "<div lang=de><span>h</span></div><div lang=fr><span>i</span></div>"
      "<a name=n><span>j</span></a><a href=\"#h\"><span>k</span></a>"
      "<table cellpadding=7><tr><td><table><tr><td>l</td></tr></table></td></tr></table>"
      "<table cellpadding=3><tr><td><table><tr><td>m</td></tr></table></td></tr></table>"
      "<table cellpadding=3><tr><td><table cellpadding=2><tr><td>n</td></tr></table></td></tr></table>"
      "<table cellpadding=7><tr><td><table cellpadding=5><tr><td>o</td></tr></table></td></tr></table>"
      "</body></html>",
      {"td { padding: 1px }"});
  ASSERT_NE(d.styles, nullptr);
  EXPECT_EQ(d.Colors("SPAN"), (std::vector<std::uint32_t>{0, 1, 0, 0, 2, 0, 3, 0, 4, 0, 5}));
  std::vector<float> paddings;
  for (const Computed* v : d.Values("TD")) paddings.push_back(v ? v->padding[css::kLeft] : -1);
  EXPECT_EQ(paddings, (std::vector<float>{5.25f, 0.75f, 2.25f, 0.75f, 2.25f, 1.5f, 5.25f, 3.75f}))
      << "each cell from its own table";
}

TEST(Cascade, EqualRulesUnderParentsOfOtherValuesGiveOtherValues) {
  Cascaded d(
      "<html><head><style>div { font-size: 20pt } .s { font-size: 10pt } p { margin-top: 1em }</style></head>"
      "<body><div><p>a</p></div><div class=s><p>b</p></div><div><p>c</p></div>"
      "<div><p style=\"font-size: 5pt\">d</p><p>e</p></div></body></html>");
  ASSERT_NE(d.styles, nullptr);
  std::vector<float> margins;
  std::vector<const TagNode*> todo{d.html};
  while (!todo.empty()) {
    const TagNode* x = todo.back();
    todo.pop_back();
    if (EqualsNoCase(x->def->name, "P")) margins.push_back(d.styles->Find(x)->margin[0]);
    std::vector<const TagNode*> kids;
    for (const TagNode* k = x->firstChild; k; k = k->next) kids.push_back(k);
    todo.insert(todo.end(), kids.rbegin(), kids.rend());
  }
  EXPECT_EQ(margins, (std::vector<float>{20, 10, 20, 5, 20}));
}
TEST(Cascade, ANodeMadeWhereAFreedOneStoodHasNoValues) {
  Cascaded d("<html><head><style>b { color: red }</style></head><body><p><b>x</b></p></body></html>");
  ASSERT_NE(d.styles, nullptr);
  TagNode* b = const_cast<TagNode*>(d.Find("B"));
  ASSERT_NE(d.styles->Find(b), nullptr);
  TagNode* p = b->parent;
  p->firstChild = p->lastChild = nullptr;
  const TagDef* row = b->def;
  FreeSubtree(b);
  const void* freed = b;
  TagNode* made = NewNode(row);
  EXPECT_EQ(static_cast<const void*>(made), freed) << "the pool hands the freed block out first";
  EXPECT_EQ(d.styles->Find(made), nullptr);
  FreeSubtree(made);
}

TEST(Cascade, InheritanceAndTheWideKeywords) {
  Cascaded d(
      "<html><head><style>"
      "div { color: #000005; font-size: 20pt; background-color: #ffff00 }"
      "span { background-color: inherit; font-size: initial }"
      "b { color: unset }"
      "</style></head><body><div><span>a <b>b</b></span></div></body></html>");
  const Computed* span = d.styles->Find(d.Find("SPAN"));
  ASSERT_NE(span, nullptr);
  EXPECT_EQ(span->color, 5u);
  EXPECT_TRUE(span->set & Bit(css::kColor)) << "inherited from a sheet's value";
  EXPECT_TRUE(span->background);
  EXPECT_FLOAT_EQ(span->fontSize, 10);
  const Computed* b = d.styles->Find(d.Find("B"));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->color, 5u);
}

TEST(Cascade, CustomPropertiesWithFallbacksAndCycles) {
  Cascaded d(
      "<html><head><style>"
      ":root { --a: #000007; --n: 2 }"
      "p { color: var(--a) } em { color: var(--none, #000008) }"
      "i { --x: var(--y); --y: var(--x); color: var(--x, #000009) }"
      "u { --b: var(--a); color: var(--b) }"
      "s { color: var(--none) }"
      "</style></head><body><p>a <em>b</em> <i>c</i> <u>d</u> <s>e</s></p></body></html>");
  EXPECT_EQ(d.styles->Find(d.Find("P"))->color, 7u);
  EXPECT_EQ(d.styles->Find(d.Find("EM"))->color, 8u);
  EXPECT_EQ(d.styles->Find(d.Find("I"))->color, 9u);
  EXPECT_EQ(d.styles->Find(d.Find("U"))->color, 7u);
  EXPECT_EQ(d.styles->Find(d.Find("S"))->color, 7u) << "invalid at use: unset, so inherited";
}

TEST(Cascade, EachSectionsCustomPropertiesReachItsOwnParagraphs) {
  // Sections with equal values but their own custom property: a section's
  // map is freed when the walk leaves it, and the next one's may take its
  // place in memory. More sections than the cascade's tables hold.
  std::string page = "<html><head><style>.s p { color: var(--a) }</style></head><body>";
  constexpr int kSections = 12000;
  for (int i = 0; i < kSections; ++i)
    page += "<div class=s style=\"--a: #" + std::to_string(100000 + i) + "\"><p>x</p></div>";
  page += "</body></html>";
  Cascaded d(page);
  const std::vector<std::uint32_t> colors = d.Colors("P");
  ASSERT_EQ(colors.size(), static_cast<std::size_t>(kSections));
  int wrong = 0;
  for (int i = 0; i < kSections; ++i)
    if (colors[static_cast<std::size_t>(i)] != static_cast<std::uint32_t>(std::stoul(std::to_string(100000 + i), nullptr, 16)))
      ++wrong;
  EXPECT_EQ(wrong, 0);
}

// Every element's values, in document order (nullopt: no entry).
std::vector<std::optional<Computed>> AllValues(const Cascaded& d) {
  std::vector<std::optional<Computed>> out;
  std::vector<const TagNode*> todo{d.html};
  while (!todo.empty()) {
    const TagNode* x = todo.back();
    todo.pop_back();
    const Computed* v = d.styles->Find(x);
    out.push_back(v ? std::optional<Computed>(*v) : std::nullopt);
    std::vector<const TagNode*> kids;
    for (const TagNode* k = x->firstChild; k; k = k->next) kids.push_back(k);
    todo.insert(todo.end(), kids.rbegin(), kids.rend());
  }
  return out;
}

TEST(Cascade, TwoThreadsGiveEveryElementTheValuesOneGives) {
  // Rules that read siblings, children, ids, classes, attributes' hints,
  // custom properties and inheritance, on pages whose middle element lies
  // at different depths (before, between and inside nested sections, next
  // to comments).
  const std::string sheet =
      ":root { --c: #123456 } div > p:first-child { color: red } p + p { font-weight: bold }"
      " li:nth-child(3n+1) { color: var(--c) } .k ~ p { font-style: italic } #x7 { font-size: 20pt }"
      " .s { --c: #00aa00 } td { padding: 2px } table[border] td { color: blue }"
      " em { font-size: 1.2em } div div span { background-color: yellow } :empty { margin-left: 3pt }";
  test::Seeded next(7);
  for (int shape = 0; shape < 4; ++shape) {
    std::string page = "<html><head><style>" + sheet + "</style></head><body>";
    int open = 0;
    for (int i = 0; i < 400 + 37 * shape; ++i) {
      switch (next(9)) {
        case 0: page += "<div class=" + std::string(next(2) ? "s" : "k") + ">"; ++open; break;
        case 1: if (open) { page += "</div>"; --open; } break;
        case 2: page += "<p id=x" + std::to_string(next(10)) + ">a <em>b</em></p>"; break;
        case 3: page += "<ul><li>1<li>2<li>3<li>4</ul>"; break;
        case 4: page += "<!-- c -->"; break;
        case 5: page += "<table border=1 cellpadding=3><tr><td>x<td width=40>y</table>"; break;
        case 6: page += "<p style=\"color: #" + std::to_string(100000 + next(800000)) + "\"><span>s</span></p>"; break;
        case 7: page += "<p class=k></p><p>z</p>"; break;
        default: page += "<span><b></b></span>"; break;
      }
      if (shape == 3 && i == 200) {  // the middle forty sections down
        for (int j = 0; j < 40; ++j) page += "<div>";
        open += 40;
      }
    }
    page += "</body></html>";
    const Cascaded one(page, {}, std::size_t(-1));
    const Cascaded two(page, {}, 1);
    const auto a = AllValues(one);
    const auto b = AllValues(two);
    ASSERT_EQ(a.size(), b.size());
    std::size_t withValues = 0, differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      withValues += a[i].has_value();
      differ += a[i] != b[i];
    }
    EXPECT_EQ(differ, 0u) << "shape " << shape;
    EXPECT_GT(withValues, a.size() / 4) << "shape " << shape;
  }
}

TEST(Cascade, SheetsOnEitherSideOfTheHalfOfTheFirstWalk) {
  // The page's middle lies in a long head: the helper's half of the first
  // walk finds the later sheet, which still comes after the earlier one.
  std::string page = "<html><head><style>span { color: #010203 } b { color: #040506 }</style>";
  for (int i = 0; i < 300; ++i) page += "<meta name=m" + std::to_string(i) + " content=x>";
  page += "<style>span { color: #abcdef }</style></head><body><p><span>s</span> <b>b</b></p></body></html>";
  const Cascaded one(page, {}, std::size_t(-1));
  const Cascaded two(page, {}, 1);
  using V = std::vector<std::uint32_t>;
  for (const Cascaded* c : {&one, &two}) {
    EXPECT_EQ(c->Colors("SPAN"), (V{0xabcdef}));
    EXPECT_EQ(c->Colors("B"), (V{0x040506}));
  }
}

TEST(Cascade, ExponentialCustomPropertiesStayBounded) {
  std::string sheet = ":root { --v0: x";
  for (int i = 1; i < 40; ++i)
    sheet += "; --v" + std::to_string(i) + ": var(--v" + std::to_string(i - 1) + ") var(--v" +
             std::to_string(i - 1) + ")";
  sheet += " } p { color: var(--v39, red) }";
  Cascaded d("<html><head><style>" + sheet + "</style></head><body><p>x</p></body></html>");
  ASSERT_NE(d.styles, nullptr);
}

TEST(Cascade, ShorthandsGiveTheirParts) {
  Cascaded d(
      "<html><head><style>"
      "p { font: italic small-caps bold 15pt/2 \"Courier New\", monospace; background: url(x.png) #00ff00 }"
      "</style></head><body><p>x</p></body></html>");
  const Computed* p = d.styles->Find(d.Find("P"));
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->italic && p->smallCaps);
  EXPECT_EQ(p->fontWeight, 700);
  EXPECT_FLOAT_EQ(p->fontSize, 15);
  EXPECT_FLOAT_EQ(p->lineHeightFactor, 2);
  EXPECT_EQ(p->generic, css::Generic::Monospace);
  EXPECT_EQ(p->backgroundColor, 0x00ff00u);
}

TEST(ComputedValues, BoxShorthandsSplitBySidesAndKinds) {
  Cascaded d(
      "<html><head><style>"
      "td { padding: 1pt 2pt 3pt; border: dashed 2pt #ff0000; border-left: thick none }"
      "th { padding: 4pt; border-width: thin medium; border-style: solid; border-color: #000001 #000002 #000003 #000004 }"
      "table { border-spacing: 3pt 4pt; border-collapse: collapse; table-layout: fixed; width: 50% }"
      "caption { padding: -1pt; border: 1pt 2pt solid }"
      "</style></head><body><table><caption>c</caption><tr><th>h</th><td>x</td></tr></table></body></html>");
  const Computed* td = d.styles->Find(d.Find("TD"));
  ASSERT_NE(td, nullptr);
  EXPECT_FLOAT_EQ(td->padding[css::kTop], 1);
  EXPECT_FLOAT_EQ(td->padding[css::kRight], 2);
  EXPECT_FLOAT_EQ(td->padding[css::kBottom], 3);
  EXPECT_FLOAT_EQ(td->padding[css::kLeft], 2) << "the left side takes the right's";
  EXPECT_EQ(td->borderStyle[css::kTop], css::BorderStyle::Dashed);
  EXPECT_FLOAT_EQ(td->UsedBorder(css::kBottom), 2);
  EXPECT_EQ(td->UsedBorderColor(css::kRight), 0xff0000u);
  EXPECT_FLOAT_EQ(td->UsedBorder(css::kLeft), 0) << "a later side shorthand resets its side; no style, no width";
  const Computed* th = d.styles->Find(d.Find("TH"));
  ASSERT_NE(th, nullptr);
  EXPECT_FLOAT_EQ(th->UsedBorder(css::kTop), 0.75f);
  EXPECT_FLOAT_EQ(th->UsedBorder(css::kRight), 2.25f);
  EXPECT_EQ(th->UsedBorderColor(css::kLeft), 4u);
  EXPECT_EQ(th->UsedBorderColor(css::kBottom), 3u);
  const Computed* table = d.styles->Find(d.Find("TABLE"));
  ASSERT_NE(table, nullptr);
  EXPECT_FLOAT_EQ(table->borderSpacingH, 3);
  EXPECT_FLOAT_EQ(table->borderSpacingV, 4);
  EXPECT_TRUE(table->borderCollapse && table->tableLayoutFixed);
  EXPECT_GE(table->widthPercent, 0);
  EXPECT_TRUE(th->borderCollapse) << "the border model is inherited";
  // Negative padding and a border of two widths are invalid: dropped.
  EXPECT_EQ(d.styles->Find(d.Find("CAPTION")), nullptr);
}

TEST(Cascade, TableAttributesArriveAsHintsBelowThePageSheets) {
  const std::string page =
      "<html><head><style>.own { padding: 0 }</style></head><body>"
      "<table border=2 cellpadding=5 cellspacing=3 bgcolor=ffcc00 width=200>"
      "<tr valign=bottom><td>a</td><td class=own width=\"30%\">b</td><td valign=top nowrap>c</td></tr></table>"
      "<table border=0 cellpadding=x><tr><td>d</td></tr></table></body></html>";
  Cascaded d(page, {"td { padding: 9px; vertical-align: inherit } table { border-color: gray }"});
  const TagNode* table = d.Find("TABLE");
  const Computed* t = d.styles->Find(table);
  ASSERT_NE(t, nullptr);
  EXPECT_FLOAT_EQ(t->UsedBorder(css::kLeft), 1.5f);
  EXPECT_EQ(t->borderStyle[css::kTop], css::BorderStyle::Outset);
  EXPECT_EQ(t->UsedBorderColor(css::kTop), 0x808080u) << "the user sheet gives what no hint gives";
  EXPECT_FLOAT_EQ(t->borderSpacingH, 2.25f);
  EXPECT_EQ(t->backgroundColor, 0xffcc00u) << "hex digits without '#'";
  EXPECT_LT(t->widthPercent, 0);
  EXPECT_FLOAT_EQ(t->width, 150);
  const TagNode* a = d.Find("TD");
  const Computed* ca = d.styles->Find(a);
  ASSERT_NE(ca, nullptr);
  EXPECT_FLOAT_EQ(ca->padding[css::kTop], 3.75f) << "CELLPADDING beats the user sheet";
  EXPECT_FLOAT_EQ(ca->UsedBorder(css::kRight), 0.75f);
  EXPECT_EQ(ca->borderStyle[css::kRight], css::BorderStyle::Inset);
  EXPECT_EQ(ca->cellAlign, css::CellAlign::Bottom) << "inherited from the row's VALIGN";
  const Computed* cb = d.styles->Find(a->next);
  ASSERT_NE(cb, nullptr);
  EXPECT_FLOAT_EQ(cb->padding[css::kLeft], 0) << "the page's sheet beats the hint";
  EXPECT_GE(cb->widthPercent, 0);
  const Computed* cc = d.styles->Find(a->next->next);
  ASSERT_NE(cc, nullptr);
  EXPECT_EQ(cc->cellAlign, css::CellAlign::Top);
  EXPECT_EQ(cc->whiteSpace, css::WhiteSpace::Nowrap);
  const TagNode* second = d.Find("TABLE", table->next);
  const Computed* d2 = d.styles->Find(d.Find("TD", second));
  ASSERT_NE(d2, nullptr);
  EXPECT_FLOAT_EQ(d2->UsedBorder(css::kTop), 0) << "BORDER=0 draws none";
  EXPECT_FLOAT_EQ(d2->padding[css::kTop], 6.75f) << "an unreadable CELLPADDING gives no hint";
}

TEST(SheetFiles, OnlyRegularFilesUnderTheSandboxAreRead) {
  const std::string dir = ::testing::TempDir() + "/sheets_sandbox";
  std::string cmd = "mkdir -p '" + dir + "/in'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ofstream(dir + "/in/a.css") << "p{}";
  std::ofstream(dir + "/b.css") << "p{}";
  const std::string sandbox = ResolveFolder(dir + "/in");
  ASSERT_FALSE(sandbox.empty());
  EXPECT_EQ(ReadLinkedSheet("a.css", dir + "/in", sandbox).notice, "");
  EXPECT_EQ(ReadLinkedSheet("a%2ecss?x#y", dir + "/in", sandbox).bytes, "p{}");
  EXPECT_EQ(ReadLinkedSheet("../b.css", dir + "/in", sandbox).notice, "outside the sandbox");
  EXPECT_EQ(ReadLinkedSheet("../b.css", dir + "/in", "").notice, "");
  EXPECT_EQ(ReadLinkedSheet("https://example.com/a.css", dir, "").notice, "a remote address, not fetched");
  EXPECT_EQ(ReadLinkedSheet("//example.com/a.css", dir, "").notice, "a remote address, not fetched");
  EXPECT_EQ(ReadSheetFile("/dev/zero", "").notice, "not a regular file");
  EXPECT_EQ(ReadSheetFile(dir, "").notice, "a folder");
}

}  // namespace
}  // namespace ps
