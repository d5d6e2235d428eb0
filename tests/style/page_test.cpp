#include "style/page.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ps::css {
namespace {

PageSetup SetupOf(const char* author, const char* user = "") {
  const Stylesheet a = ParseStylesheet(author), u = ParseStylesheet(user);
  return ComputePageSetup({&u}, {&a});
}

void ExpectSize(const PageBox& p, double w, double h) {
  EXPECT_NEAR(p.widthPt, w, 0.01);
  EXPECT_NEAR(p.heightPt, h, 0.01);
}

TEST(PageSize, NamedSizesOrientationsAndLengths) {
  ExpectSize(SetupOf("@page { size: A4 }").first, 595.28, 841.89);
  ExpectSize(SetupOf("@page { size: a5 }").first, 419.53, 595.28);
  ExpectSize(SetupOf("@page { size: A3 landscape }").first, 1190.55, 841.89);
  ExpectSize(SetupOf("@page { size: portrait B5 }").first, 498.9, 708.66);
  ExpectSize(SetupOf("@page { size: B4 }").first, 708.66, 1000.63);
  ExpectSize(SetupOf("@page { size: letter }").first, 612, 792);
  ExpectSize(SetupOf("@page { size: legal landscape }").first, 1008, 612);
  ExpectSize(SetupOf("@page { size: ledger }").first, 792, 1224);
  ExpectSize(SetupOf("@page { size: landscape }").first, 841.89, 595.28);
  ExpectSize(SetupOf("@page { size: 10cm }").first, 283.46, 283.46);
  ExpectSize(SetupOf("@page { size: 8in 5in }").first, 576, 360);
  ExpectSize(SetupOf("@page { size: 400px 30pc }").first, 300, 360);
  ExpectSize(SetupOf("@page { size: letter; size: auto }").first, 595.28, 841.89);
}

TEST(PageSize, InvalidValuesAreIgnored) {
  // Each leaves the size before it.
  for (const char* bad : {"A4 A5", "landscape portrait", "0cm", "-5cm 3cm", "10cm 5cm 2cm", "10%", "A4 10cm", "huge",
                          "5em", "300in", "auto landscape"}) {
    const std::string sheet = std::string("@page { size: letter; size: ") + bad + " }";
    ExpectSize(SetupOf(sheet.c_str()).first, 612, 792);
  }
}

TEST(PageMargins, ShorthandLonghandsAndDefaults) {
  PageBox p = SetupOf("@page { margin: 1in 2in }").first;
  EXPECT_DOUBLE_EQ(p.marginTopPt, 72);
  EXPECT_DOUBLE_EQ(p.marginRightPt, 144);
  EXPECT_DOUBLE_EQ(p.marginBottomPt, 72);
  EXPECT_DOUBLE_EQ(p.marginLeftPt, 144);
  p = SetupOf("@page { margin: 1pt 2pt 3pt; margin-left: 10mm }").first;
  EXPECT_DOUBLE_EQ(p.marginBottomPt, 3);
  EXPECT_NEAR(p.marginLeftPt, 28.35, 0.01);
  EXPECT_DOUBLE_EQ(p.marginRightPt, 2);
  p = SetupOf("@page { margin: 0 }").first;
  EXPECT_EQ(p.marginTopPt, 0);
  // Negative, relative or malformed margins are dropped; without any the
  // converter's own frame applies.
  p = SetupOf("@page { margin: -1cm; margin-top: 5%; margin-left: auto; margin: 1pt 2pt 3pt 4pt 5pt }").first;
  EXPECT_EQ(p, PageBox{});
}

TEST(PageMargins, MarginsThatLeaveNoRoomAreShrunk) {
  const PageBox p = SetupOf("@page { size: 100pt; margin: 0 80pt 0 48pt }").first;
  EXPECT_NEAR(p.widthPt - p.marginLeftPt - p.marginRightPt, 36, 0.01);
  EXPECT_NEAR(p.marginRightPt / p.marginLeftPt, 80.0 / 48, 0.001);
}

TEST(PageSelectors, FirstLeftRightAndTheirWeight) {
  const PageSetup s = SetupOf(
      "@page :first { margin-top: 1pt } @page { margin-top: 2pt; margin-left: 2pt } "
      "@page :left { margin-left: 3pt } @page :right { margin-left: 4pt } @page :first:right { margin-right: 9pt }");
  // :first outweighs :right, which outweighs a rule without a selector.
  EXPECT_EQ(s.first.marginTopPt, 1);
  EXPECT_EQ(s.first.marginLeftPt, 4);
  EXPECT_EQ(s.first.marginRightPt, 9);
  EXPECT_EQ(s.left.marginTopPt, 2);
  EXPECT_EQ(s.left.marginLeftPt, 3);
  EXPECT_EQ(s.right.marginLeftPt, 4);
  EXPECT_EQ(s.right.marginRightPt, PageBox{}.marginRightPt);
}

TEST(PageSelectors, ListsNamesBlankAndInvalidPreludes) {
  const PageSetup s = SetupOf(
      "@page :left, :first { margin-top: 1pt } @page wide { margin-top: 2pt } @page :blank { margin-top: 3pt } "
      "@page :nth(1) { margin-top: 4pt } @page :first, { margin-top: 5pt } @page wide :first { margin-top: 6pt }"
      "@page wide:first { margin-top: 7pt }");
  EXPECT_EQ(s.first.marginTopPt, 1);
  EXPECT_EQ(s.left.marginTopPt, 1);
  EXPECT_EQ(s.right.marginTopPt, PageBox{}.marginTopPt);
}

TEST(PageSelectors, OriginsAndImportance) {
  // The page's sheet wins over the user's, except where the user says !important.
  PageSetup s = SetupOf("@page { margin-top: 1pt; margin-left: 1pt !important }",
                      "@page :first { margin-top: 2pt; margin-left: 2pt; margin-right: 2pt !important }");
  EXPECT_EQ(s.first.marginTopPt, 1);
  EXPECT_EQ(s.first.marginLeftPt, 1);
  EXPECT_EQ(s.first.marginRightPt, 2);
  // Later rules win among equals.
  s = SetupOf("@page { margin-top: 1pt } @page { margin-top: 2pt }");
  EXPECT_EQ(s.left.marginTopPt, 2);
}

TEST(PageSetupGiven, OnlyAnAtPageRuleGivesThePage) {
  EXPECT_FALSE(SetupOf("p { color: red } @media print { p { margin: 0 } } @pagex { size: A5 }").given);
  EXPECT_TRUE(SetupOf("@PAGE { }").given);
  EXPECT_TRUE(SetupOf("", "@page { size: A5 }").given);
}

using K = ContentPiece::Kind;

TEST(MarginBoxes, ContentPieces) {
  const PageBox p = SetupOf(
      "@page { @top-center { content: 'page ' counter(page) \" of \" counter(pages) '!' }"
      " @bottom-left { content: string(chapter) string(part, last) string(x, first-except) string(y, start) }"
      " @bottom-right { content: '' } }").first;
  const MarginBox& top = p.box(Slot::TopCenter);
  ASSERT_TRUE(top.given);
  ASSERT_EQ(top.content.size(), 5u);
  EXPECT_EQ(top.content[0], (ContentPiece{K::Text, ContentPiece::Position::First, "page "}));
  EXPECT_EQ(top.content[1].kind, K::PageNumber);
  EXPECT_EQ(top.content[2].text, " of ");
  EXPECT_EQ(top.content[3].kind, K::PageCount);
  EXPECT_EQ(top.content[4].text, "!");
  const MarginBox& bottom = p.box(Slot::BottomLeft);
  ASSERT_EQ(bottom.content.size(), 4u);
  EXPECT_EQ(bottom.content[0], (ContentPiece{K::String, ContentPiece::Position::First, "chapter"}));
  EXPECT_EQ(bottom.content[1].position, ContentPiece::Position::Last);
  EXPECT_EQ(bottom.content[2].position, ContentPiece::Position::FirstExcept);
  EXPECT_EQ(bottom.content[3].position, ContentPiece::Position::Start);
  EXPECT_TRUE(p.box(Slot::BottomRight).given);  // an empty string is a box
  EXPECT_TRUE(p.box(Slot::BottomRight).content.empty() || p.box(Slot::BottomRight).content[0].text.empty());
  EXPECT_FALSE(p.box(Slot::TopLeft).given);
  EXPECT_TRUE(p.AnyBox(true));
}

TEST(MarginBoxes, InvalidContentIsIgnoredAndNoneRemoves) {
  for (const char* bad : {"counter(chapter)", "attr(title)", "url(x.png)", "string()", "string(a, middle)", "12",
                          "counter(page, decimal, x)", "string(a b)"}) {
    const std::string sheet = std::string("@page { @top-left { content: 'kept' } @top-left { content: ") + bad + " } }";
    const MarginBox b = SetupOf(sheet.c_str()).first.box(Slot::TopLeft);
    ASSERT_EQ(b.content.size(), 1u) << bad;
    EXPECT_EQ(b.content[0].text, "kept") << bad;
  }
  const PageSetup s = SetupOf("@page { @top-left { content: 'x' } } @page :first { @top-left { content: none } }");
  EXPECT_FALSE(s.first.box(Slot::TopLeft).given);
  EXPECT_TRUE(s.left.box(Slot::TopLeft).given);
  EXPECT_FALSE(s.first.AnyBox(true));
}

TEST(MarginBoxes, CornersAndSidesJoinTheNearestBox) {
  PageBox p = SetupOf("@page { @top-left-corner { content: 'c' } @right-bottom { content: 'r' } "
                    "@left-middle { content: 'm' } @bottom-left { content: 'own' } @left-bottom { content: 'side' } "
                    "@top-middle { content: 'no such box' } }").first;
  EXPECT_EQ(p.box(Slot::TopLeft).content[0].text, "c");
  EXPECT_EQ(p.box(Slot::BottomRight).content[0].text, "r");
  EXPECT_EQ(p.box(Slot::BottomLeft).content[0].text, "own");  // its own box wins, whatever the order
  EXPECT_FALSE(p.box(Slot::TopCenter).given);
}

TEST(MarginBoxes, FontSizeColorAndAlignment) {
  const MarginBox b = SetupOf("@page { @top-right { content: 'x'; font-size: 8pt; color: rgb(255 0 0 / 50%);"
                            " text-align: left } @top-left { content: 'y'; font-size: small; color: blue; "
                            "text-align: end; font-size: -2pt; color: nonsense } }").first.box(Slot::TopRight);
  EXPECT_EQ(b.fontSizePt, 8);
  EXPECT_TRUE(b.hasColor);
  EXPECT_EQ(b.color, 0xFF8080u);
  EXPECT_EQ(b.align, BoxAlign::Left);
  const MarginBox l = SetupOf("@page { @top-left { content: 'y'; font-size: small; color: blue; text-align: end; "
                            "font-size: -2pt; color: nonsense } }").first.box(Slot::TopLeft);
  EXPECT_EQ(l.fontSizePt, 10);
  EXPECT_EQ(l.color, 0x0000FFu);
  EXPECT_EQ(l.align, BoxAlign::Right);
}

TEST(StringSets, FromElementRulesInCascadeOrder) {
  const PageSetup s = SetupOf(
      "h1, H2 { string-set: chapter content(text), part 'Part ' content() } h2 { string-set: chapter content() }"
      "h3 { string-set: none } h3.x { string-set: other content() } p { color: red } "
      "h4 { string-set: a content(text) !important } h4 { string-set: b content() }"
      "h5 { string-set: chapter } h5 { string-set: 'x' content() } h6 { string-set: x content(before) 'after' }");
  ASSERT_EQ(s.stringSets.size(), 5u);
  EXPECT_EQ(s.stringSets[0].element, "h1");
  EXPECT_EQ(s.stringSets[0].name, "chapter");
  ASSERT_EQ(s.stringSets[0].value.size(), 1u);
  EXPECT_EQ(s.stringSets[0].value[0].kind, K::ElementText);
  EXPECT_EQ(s.stringSets[1].name, "part");
  EXPECT_EQ(s.stringSets[1].value[0].text, "Part ");
  EXPECT_EQ(s.stringSets[2].element, "h2");  // its later rule replaced both of its strings
  EXPECT_EQ(s.stringSets[2].name, "chapter");
  EXPECT_EQ(s.stringSets[3].name, "a");  // the important one stays
  EXPECT_EQ(s.stringSets[4].element, "h6");
  EXPECT_EQ(s.stringSets[4].value, (Content{{K::Text, ContentPiece::Position::First, "after"}}));
  EXPECT_FALSE(s.given);
}

}  // namespace
}  // namespace ps::css
