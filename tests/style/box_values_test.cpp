#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reader/reader.h"
#include "run/run.h"
#include "style/cascade.h"
#include "style/computed.h"
#include "support/test_util.h"

namespace ps {
namespace {

using css::Bit;
using css::Computed;

Computed Compute(css::Prop p, std::string_view value, bool* ok = nullptr) {
  Computed parent;
  parent.fontSize = 10;
  Computed out = parent;
  const bool valid = css::ComputeValue(p, css::ParseComponentValues(value), parent, out, 10);
  if (ok) *ok = valid;
  return out;
}

bool Valid(css::Prop p, std::string_view value) {
  bool ok = false;
  Compute(p, value, &ok);
  return ok;
}

// The computed values of the page's first P under a sheet.
struct StyledP {
  test::Captured c;
  std::unique_ptr<css::ComputedStyles> styles;
  const Computed* p = nullptr;
  explicit StyledP(const std::string& rule) {
    c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
    ParseHtml(c.ctx, "<html><head><style>" + rule + "</style></head><body><p>x</p></body></html>");
    styles = RunCascade(c.ctx, StyleInput());
    std::vector<const TagNode*> todo{c.ctx.documentRoot->next};
    while (!todo.empty() && styles && !p) {
      const TagNode* n = todo.back();
      todo.pop_back();
      if (EqualsNoCase(n->def->name, "P")) p = styles->Find(n);
      for (const TagNode* k = n->firstChild; k; k = k->next) todo.push_back(k);
    }
  }
};

TEST(BoxValues, MarginsPaddingAndBorderWidths) {
  EXPECT_FLOAT_EQ(Compute(css::kMarginTop, "1.5em").margin[0], 15);
  EXPECT_FLOAT_EQ(Compute(css::kMarginLeft, "-8px").margin[3], -6) << "margins may be negative";
  const Computed automatic = Compute(css::kMarginRight, "auto");
  EXPECT_EQ(automatic.marginAuto, 2);
  EXPECT_FLOAT_EQ(automatic.margin[1], 0);
  EXPECT_FALSE(Valid(css::kPaddingTop, "-1pt")) << "padding may not";
  EXPECT_FALSE(Valid(css::kPaddingTop, "auto"));
  EXPECT_FLOAT_EQ(Compute(css::kBorderTopWidth, "thin").borderWidth[0], 0.75f);
  EXPECT_FLOAT_EQ(Compute(css::kBorderTopWidth, "thick").borderWidth[0], 3.75f);
  EXPECT_FALSE(Valid(css::kBorderTopWidth, "10%")) << "no percentages for borders";
  EXPECT_EQ(Compute(css::kBorderLeftStyle, "groove").borderStyle[3], css::BorderStyle::Groove);
  EXPECT_EQ(Compute(css::kBorderLeftColor, "currentColor").borderColor[3], css::kCurrentColor);
  EXPECT_EQ(Compute(css::kBorderLeftColor, "#123456").borderColor[3], 0x123456u);
}

TEST(BoxValues, WidthsBreaksOrphansAndListStyles) {
  const Computed half = Compute(css::kWidth, "50%");
  EXPECT_FLOAT_EQ(half.widthPercent, 50);
  EXPECT_LT(Compute(css::kWidth, "auto").width, 0);
  EXPECT_LT(Compute(css::kMaxWidth, "none").maxWidth, 0);
  EXPECT_FALSE(Valid(css::kWidth, "-3pt"));
  EXPECT_EQ(Compute(css::kBreakBefore, "always").breakBefore, css::Break::Page) << "page-break-before's word";
  EXPECT_EQ(Compute(css::kBreakBefore, "recto").breakBefore, css::Break::Right);
  EXPECT_EQ(Compute(css::kBreakAfter, "avoid-page").breakAfter, css::Break::Avoid);
  EXPECT_EQ(Compute(css::kBreakAfter, "column").breakAfter, css::Break::Auto) << "no columns on paper";
  EXPECT_TRUE(Compute(css::kBreakInside, "avoid").avoidBreakInside);
  EXPECT_EQ(Compute(css::kOrphans, "4").orphans, 4);
  EXPECT_FALSE(Valid(css::kOrphans, "0"));
  EXPECT_FALSE(Valid(css::kWidows, "1.5"));
  EXPECT_EQ(Compute(css::kListStyleType, "upper-latin").listStyle, css::ListStyle::UpperAlpha);
  EXPECT_EQ(Compute(css::kListStyleType, "armenian").listStyle, css::ListStyle::Decimal)
      << "an unknown counter style counts in decimal";
  EXPECT_EQ(Compute(css::kListStyleType, "\"-\"").listStyle, css::ListStyle::Disc);
  EXPECT_TRUE(Compute(css::kListStylePosition, "inside").listInside);
  EXPECT_TRUE(css::IsInherited(css::kListStyleType) && css::IsInherited(css::kOrphans));
  EXPECT_FALSE(css::IsInherited(css::kMarginTop) || css::IsInherited(css::kBorderTopColor));
}

TEST(BoxShorthands, OneToFourSidesAndBorders) {
  StyledP a("p { margin: 1pt 2pt 3pt; padding: 4pt 5pt; border-color: red blue }");
  ASSERT_NE(a.p, nullptr);
  EXPECT_FLOAT_EQ(a.p->margin[0], 1);
  EXPECT_FLOAT_EQ(a.p->margin[1], 2);
  EXPECT_FLOAT_EQ(a.p->margin[2], 3);
  EXPECT_FLOAT_EQ(a.p->margin[3], 2) << "the left side takes the right's";
  EXPECT_FLOAT_EQ(a.p->padding[2], 4);
  EXPECT_FLOAT_EQ(a.p->padding[3], 5);
  EXPECT_EQ(a.p->borderColor[2], 0xff0000u);
  EXPECT_EQ(a.p->borderColor[3], 0x0000ffu);

  StyledP b("p { border: dashed 2pt green; border-left: 1pt solid }");
  ASSERT_NE(b.p, nullptr);
  EXPECT_EQ(b.p->borderStyle[0], css::BorderStyle::Dashed);
  EXPECT_FLOAT_EQ(b.p->borderWidth[2], 2);
  EXPECT_EQ(b.p->borderColor[1], 0x008000u);
  EXPECT_EQ(b.p->borderStyle[3], css::BorderStyle::Solid);
  EXPECT_EQ(b.p->borderColor[3], css::kCurrentColor) << "a side's shorthand resets its colour";

  StyledP bad("p { margin: 4pt; margin: 1pt 2pt 3pt 4pt 5pt; border: 1pt 2pt solid; padding: 1pt nonsense }");
  ASSERT_NE(bad.p, nullptr);
  EXPECT_FLOAT_EQ(bad.p->margin[3], 4) << "an invalid shorthand leaves every part as it was";
  EXPECT_EQ(bad.p->set & Bit(css::kBorderTopStyle), 0u);
  EXPECT_EQ(bad.p->set & Bit(css::kPaddingLeft), 0u);
}

TEST(BoxShorthands, ListStyleAndLegacyBreaks) {
  StyledP none("p { list-style: none; page-break-before: always; page-break-inside: avoid }");
  ASSERT_NE(none.p, nullptr);
  EXPECT_EQ(none.p->listStyle, css::ListStyle::None);
  EXPECT_EQ(none.p->breakBefore, css::Break::Page);
  EXPECT_TRUE(none.p->avoidBreakInside);
  StyledP square("p { list-style: inside square }");
  ASSERT_NE(square.p, nullptr);
  EXPECT_EQ(square.p->listStyle, css::ListStyle::Square);
  EXPECT_TRUE(square.p->listInside);
  StyledP image("p { list-style: none url(b.png) }");
  ASSERT_NE(image.p, nullptr);
  EXPECT_EQ(image.p->listStyle, css::ListStyle::None) << "beside an image, none is the type";
  StyledP twice("p { list-style: disc; list-style: circle none none }");
  ASSERT_NE(twice.p, nullptr);
  EXPECT_EQ(twice.p->listStyle, css::ListStyle::Disc) << "three nones' worth is invalid";
}

}  // namespace
}  // namespace ps
