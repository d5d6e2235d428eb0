#include <gtest/gtest.h>

#include "style/computed.h"
#include "transform/boxes.h"

namespace ps {
namespace {

TEST(Markers, BulletsNumbersLettersAndGreek) {
  using css::ListStyle;
  EXPECT_EQ(MarkerText(ListStyle::Disc, 1), "&#8226;");
  EXPECT_EQ(MarkerText(ListStyle::Circle, 1), "&#9702;");
  EXPECT_EQ(MarkerText(ListStyle::Square, 1), "&#9642;");
  EXPECT_EQ(MarkerText(ListStyle::None, 1), "");
  EXPECT_EQ(MarkerText(ListStyle::DecimalLeadingZero, 7), "07.");
  EXPECT_EQ(MarkerText(ListStyle::DecimalLeadingZero, 12), "12.");
  EXPECT_EQ(MarkerText(ListStyle::UpperAlpha, 27), "AA.");
  EXPECT_EQ(MarkerText(ListStyle::LowerRoman, 4), "iv.");
  EXPECT_EQ(MarkerText(ListStyle::UpperRoman, 4000), "4000.") << "no Roman numeral past 3999";
  EXPECT_EQ(MarkerText(ListStyle::LowerGreek, 17), "&#961;.") << "rho";
  EXPECT_EQ(MarkerText(ListStyle::LowerGreek, 18), "&#963;.") << "sigma, past the final sigma";
  EXPECT_EQ(MarkerText(ListStyle::LowerGreek, 24), "&#969;.") << "omega";
  EXPECT_EQ(MarkerText(ListStyle::LowerGreek, 25), "&#945;&#945;.");
  EXPECT_EQ(MarkerText(ListStyle::LowerGreek, 0), "0.");
}

}  // namespace
}  // namespace ps
