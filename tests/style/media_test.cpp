#include "style/media.h"

#include <gtest/gtest.h>

namespace ps::css {
namespace {

const Medium kA4;  // 793.7 x 1122.5 px, portrait

bool M(std::string_view q, const Medium& m = kA4) { return MediaMatches(q, m); }

TEST(Media, TypesAndLists) {
  EXPECT_TRUE(M(""));
  EXPECT_TRUE(M("print"));
  EXPECT_TRUE(M("all"));
  EXPECT_TRUE(M("PRINT"));
  EXPECT_TRUE(M("only print"));
  EXPECT_FALSE(M("screen"));
  EXPECT_FALSE(M("speech"));
  EXPECT_FALSE(M("tv"));
  EXPECT_FALSE(M("unknown-type"));
  EXPECT_TRUE(M("not screen"));
  EXPECT_FALSE(M("not print"));
  EXPECT_TRUE(M("screen, print"));
  EXPECT_FALSE(M("screen, handheld"));
  // A query that does not parse is "not all"; the others in the list still count.
  EXPECT_FALSE(M("not"));
  EXPECT_FALSE(M("only"));
  EXPECT_FALSE(M("print and"));
  EXPECT_FALSE(M("print or screen"));
  EXPECT_FALSE(M("and"));
  EXPECT_FALSE(M("not only print"));
  EXPECT_FALSE(M("screen and (, print"));  // the parenthesis runs to the end, taking the comma
  EXPECT_TRUE(M("@bad, print"));
  EXPECT_FALSE(M("print and (color) or (monochrome)"));
}

TEST(Media, WidthHeightAndOrientation) {
  EXPECT_TRUE(M("print and (min-width: 600px)"));
  EXPECT_FALSE(M("print and (max-width: 600px)"));
  EXPECT_TRUE(M("(max-width: 21cm)"));   // 793.7px
  EXPECT_TRUE(M("(min-width: 209mm)"));
  EXPECT_FALSE(M("(min-width: 211mm)"));
  EXPECT_TRUE(M("(max-width: 8.5in)"));
  EXPECT_TRUE(M("(min-width: 49em)"));  // 16px an em
  EXPECT_FALSE(M("(min-width: 50em)"));
  EXPECT_TRUE(M("(max-width: 600pt)"));  // 800px
  EXPECT_TRUE(M("(min-width: 49pc)"));
  EXPECT_TRUE(M("(min-height: 29cm) and (max-height: 30cm)"));
  EXPECT_TRUE(M("(orientation: portrait)"));
  EXPECT_FALSE(M("(orientation: landscape)"));
  Medium wide{1122.5, 793.7};
  EXPECT_TRUE(M("(orientation: landscape)", wide));
  EXPECT_TRUE(M("(min-width: 0)"));
  EXPECT_FALSE(M("(min-width: 600)"));  // a length needs a unit
  EXPECT_TRUE(M("(width)"));
  EXPECT_FALSE(M("(min-width)"));
  EXPECT_TRUE(M("(min-aspect-ratio: 1/2) and (max-aspect-ratio: 1 / 1)"));
}

TEST(Media, RangeSyntax) {
  EXPECT_TRUE(M("(width >= 600px)"));
  EXPECT_FALSE(M("(width < 600px)"));
  EXPECT_TRUE(M("(600px <= width)"));
  EXPECT_TRUE(M("(400px < width < 1000px)"));
  EXPECT_FALSE(M("(400px < width < 700px)"));
  EXPECT_TRUE(M("(1000px > width > 400px)"));
  EXPECT_FALSE(M("(400px < width > 300px)"));
  EXPECT_FALSE(M("(width < = 900px)"));  // `<=` is one operator
  EXPECT_TRUE(M("(height > 25cm)"));
}

TEST(Media, OtherFeaturesAnsweredForPaper) {
  EXPECT_TRUE(M("(color)"));
  EXPECT_FALSE(M("(monochrome)"));
  EXPECT_TRUE(M("(min-resolution: 150dpi)"));
  EXPECT_TRUE(M("(min-resolution: 2dppx)"));
  EXPECT_FALSE(M("(hover: hover)"));
  EXPECT_TRUE(M("(hover: none)"));
  EXPECT_FALSE(M("(hover)"));
  EXPECT_TRUE(M("(prefers-color-scheme: light)"));
  EXPECT_FALSE(M("(prefers-color-scheme: dark)"));
  EXPECT_FALSE(M("(prefers-reduced-motion)"));
  EXPECT_TRUE(M("(overflow-block: paged)"));
  // Unknown features are unknown, and so is their negation.
  EXPECT_FALSE(M("(frobnicate: 1)"));
  EXPECT_FALSE(M("not (frobnicate: 1)"));
  EXPECT_TRUE(M("(frobnicate: 1) or (color)"));
  EXPECT_TRUE(M("not ((width < 10px) or (monochrome))"));
  EXPECT_FALSE(M("print and (func(x))"));
}

bool SupportsEverythingButGrid(std::string_view property, const ComponentValues& value) {
  return property != "display" || value.size() != 1 || value[0].token.value != "grid";
}

bool S(std::string_view condition) {
  return SupportsMatches(ParseComponentValues(condition), SupportsEverythingButGrid);
}

TEST(Supports, ConditionsAskTheCallback) {
  EXPECT_TRUE(S("(display: block)"));
  EXPECT_FALSE(S("(display: grid)"));
  EXPECT_TRUE(S("(display: grid !important) or (color: red)"));
  EXPECT_TRUE(S("not (display: grid)"));
  EXPECT_FALSE(S("(display: block) and (display: grid)"));
  EXPECT_TRUE(S("((display: block) and (color: red)) or (display: grid)"));
  EXPECT_FALSE(S("(display: block) and (color: red) or (display: grid)"));  // mixed without parentheses
  EXPECT_FALSE(S("display: block"));
  EXPECT_FALSE(S(""));
  EXPECT_TRUE(S("selector(div > p:first-child)"));
  EXPECT_FALSE(S("selector(p:nope)"));
  EXPECT_FALSE(S("font-tech(color-COLRv1)"));
  EXPECT_TRUE(S("not font-format(woff2)"));  // unknown functions are false
  EXPECT_FALSE(S("(display: block) and"));
  EXPECT_FALSE(SupportsMatches(ParseComponentValues("(color: red)"), nullptr));
}

}  // namespace
}  // namespace ps::css
