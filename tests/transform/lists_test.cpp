#include "transform/lists.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run/run.h"

namespace ps {
namespace {

std::string Convert(const std::string& body) {
  std::string fo, messages;
  EXPECT_EQ(ConvertBuffer("<html><head><title>T</title></head><body>" + body + "</body></html>", &fo, &messages), 0);
  return fo;
}

// The first group of every match, in document order, separated by blanks.
std::string Matches(const std::string& fo, const char* pattern) {
  const std::regex re(pattern);
  std::string all;
  for (std::sregex_iterator it(fo.begin(), fo.end(), re), end; it != end; ++it)
    all += (all.empty() ? "" : " ") + (*it)[1].str();
  return all;
}

// The texts of the list labels.
std::string Labels(const std::string& fo) {
  return Matches(fo, "<fo:list-item-label><fo:block[^>]*>([^<]*)</fo:block>");
}

// The label distances of the list blocks.
std::string Distances(const std::string& fo) { return Matches(fo, "provisional-distance-between-starts=\"([^\"]*)\""); }

TEST(ListLabel, EachTypeAndItsRange) {
  EXPECT_EQ(ListLabel(1, "1"), "1.");
  EXPECT_EQ(ListLabel(42, ""), "42.");
  EXPECT_EQ(ListLabel(3, "disc"), "3.");
  EXPECT_EQ(ListLabel(1, "a"), "a.");
  EXPECT_EQ(ListLabel(26, "a"), "z.");
  EXPECT_EQ(ListLabel(27, "a"), "aa.");
  EXPECT_EQ(ListLabel(702, "A"), "ZZ.");
  EXPECT_EQ(ListLabel(703, "A"), "AAA.");
  EXPECT_EQ(ListLabel(4, "i"), "iv.");
  EXPECT_EQ(ListLabel(9, "i"), "ix.");
  EXPECT_EQ(ListLabel(1994, "I"), "MCMXCIV.");
  EXPECT_EQ(ListLabel(3999, "I"), "MMMCMXCIX.");
  // Past what letters and Roman numerals write: decimal, as browsers do.
  EXPECT_EQ(ListLabel(4000, "I"), "4000.");
  EXPECT_EQ(ListLabel(0, "i"), "0.");
  EXPECT_EQ(ListLabel(0, "a"), "0.");
  EXPECT_EQ(ListLabel(-3, "A"), "-3.");
  EXPECT_EQ(ListLabel(kListNumberLimit, "a").size(), 12u);
}

TEST(ParseListNumber, DigitsAfterBlanksAndSign) {
  EXPECT_EQ(ParseListNumber("7"), 7);
  EXPECT_EQ(ParseListNumber(" \t+3"), 3);
  EXPECT_EQ(ParseListNumber("-2"), -2);
  EXPECT_EQ(ParseListNumber("12th"), 12);
  // Decimal always: a leading zero is no octal prefix.
  EXPECT_EQ(ParseListNumber("010"), 10);
  EXPECT_EQ(ParseListNumber("x1"), std::nullopt);
  EXPECT_EQ(ParseListNumber("-"), std::nullopt);
  EXPECT_EQ(ParseListNumber(""), std::nullopt);
  EXPECT_EQ(ParseListNumber("99999999999999999999999999"), kListNumberLimit);
  EXPECT_EQ(ParseListNumber("-99999999999999999999999999"), -kListNumberLimit);
}

TEST(NumberListItems, CountsPerListFromStartAndValue) {
  // Every list counts its own items; a nested list does not disturb the
  // outer count; VALUE moves the count on from there; UL keeps its dash.
  EXPECT_EQ(Labels(Convert("<ol><li>a<li>b<ol><li>c<li>d</ol><li>e</ol>"
                           "<ol start=5><li>f<li value=9>g<li>h</ol>"
                           "<ul><li>i</ul>")),
            "1. 2. 1. 2. 3. 5. 9. 10. -");
  EXPECT_EQ(Labels(Convert("<ol type=a start=25><li>y<li>z<li type=I>iii<li>ab</ol>")), "y. z. XXVII. ab.");
  // A START or VALUE without digits changes nothing; negative ones count up.
  EXPECT_EQ(Labels(Convert("<ol start=x><li>a<li value=-1>b<li>c<li value>d</ol>")), "1. -1. 0. 1.");
  // A huge START cannot overflow the count.
  EXPECT_EQ(Labels(Convert("<ol start=99999999999999999999><li>a<li>b</ol>")),
            "1000000000000000. 1000000000000000.");
}

TEST(NumberListItems, LabelAreaHoldsTheLongestLabel) {
  // Up to "9." the default does; "10.", "iii." and wide capitals need more room.
  EXPECT_EQ(Distances(Convert("<ol><li>a</ol><ol start=10><li>b</ol><ol type=i start=3><li>c</ol><ul><li>d</ul>"
                              "<ol type=I start=3888><li>e</ol>")),
            "14pt 20pt 26pt 14pt 119pt");
}

}  // namespace
}  // namespace ps
