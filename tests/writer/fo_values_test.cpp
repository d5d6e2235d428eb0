#include <gtest/gtest.h>

#include <string>

#include "writer/fo_values.h"

namespace ps {
namespace {

// What is written for a value: the value, its mended form, or "-" for nothing.
std::string Written(const char* attribute, const char* value, const char* element = "fo:block") {
  std::string fixed;
  switch (CheckFoValue(ValueCheckOf(attribute), element, value, fixed)) {
    case Verdict::Keep:
      return value;
    case Verdict::Replace:
      return fixed;
    case Verdict::Drop:
      return "-";
  }
  return "?";
}

// Each case below was tried on FOP 2.8: what it reads stays, what it reports
// as an error goes.
TEST(FoValues, ColoursFopReadsStayOthersGo) {
  for (const char* ok : {"red", "Red", "darkgrey", "lightgoldenrodyellow", "transparent", "inherit", "#abc",
                         "#ABCDEF", "#12345678", "rgb(1,2,3)", "rgb(10%, 20%, 30%)", " red "})
    EXPECT_EQ(Written("color", ok), ok);
  for (const char* bad : {"re;d ", "#12345G", "\"red\"", "ff0000", "foo", "currentcolor", "rgba(1,2,3,0.5)",
                          "RGB(1,2,3)", "rgb(1;2)", "#", "#12345", ""})
    EXPECT_EQ(Written("background-color", bad), "-") << bad;
  // FOP stops on the whole document at #rgba, and does not know the newest name.
  EXPECT_EQ(Written("border-left-color", "#abcd"), "#aabbccdd");
  EXPECT_EQ(Written("color", "RebeccaPurple"), "#663399");
}

TEST(FoValues, LengthsInFopsUnitsAndForms) {
  for (const char* ok : {"5pt", "-3px", ".5cm", "5.pt", "1.5em", "10%", "5", "2in", "3mm", "1pc", "inherit"})
    EXPECT_EQ(Written("margin-left", ok), ok);
  for (const char* bad : {"5pxx", "+3pt", "1e2pt", "5q", "3 pt", "5PT", "1.5ex", "auto", "pt", "-", "1.2.3pt"})
    EXPECT_EQ(Written("margin-top", bad), "-") << bad;
  EXPECT_EQ(Written("border-width", "thin 2pt"), "thin 2pt");
  EXPECT_EQ(Written("border-width", "1pt 1pt 1pt 1pt 1pt"), "-");
  EXPECT_EQ(Written("border-top-width", "Bgcolor=rgb(1,2,3)pt"), "-");
  EXPECT_EQ(Written("line-height", "normal"), "normal");
  EXPECT_EQ(Written("line-height", "1.2"), "1.2");
  EXPECT_EQ(Written("line-height", "tall"), "-");
}

TEST(FoValues, ExtentsAndKeywords) {
  EXPECT_EQ(Written("width", "auto", "fo:external-graphic"), "auto");
  EXPECT_EQ(Written("height", "10%", "fo:external-graphic"), "10%");
  // Rows and cells give FOP nothing to take a share of.
  EXPECT_EQ(Written("height", "10%", "fo:table-row"), "-");
  EXPECT_EQ(Written("height", "50%", "fo:table-cell"), "-");
  EXPECT_EQ(Written("height", "20pt", "fo:table-cell"), "20pt");
  EXPECT_EQ(Written("text-align", "center"), "center");
  EXPECT_EQ(Written("text-align", "centre"), "-");
  EXPECT_EQ(Written("text-decoration", "underline overline"), "underline overline");
  EXPECT_EQ(Written("text-decoration", "dotted"), "-");
  // Attributes without a check pass anything.
  EXPECT_EQ(Written("font-family", "x;y"), "x;y");
}

}  // namespace
}  // namespace ps
