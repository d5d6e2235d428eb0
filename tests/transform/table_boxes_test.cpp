#include "transform/table_boxes.h"

#include <gtest/gtest.h>

#include <string>

#include "run/run.h"

namespace ps {
namespace {

// The start tag of the cell whose text is `text`.
std::string CellBefore(const std::string& fo, const std::string& text) {
  const std::size_t at = fo.find(">" + text + "</fo:block>");
  if (at == std::string::npos) return "";
  const std::size_t cell = fo.rfind("<fo:table-cell", at);
  return fo.substr(cell, fo.find('>', cell) - cell + 1);
}

TEST(TableBoxes, SidesAlikeAreOnePropertySidesApartAreFour) {
  const std::string html =
      "<html><head><style>"
      "td { padding: 0; border: none }"
      ".alike { border: 1px solid red; padding: 2px }"
      ".apart { border-top: 2px solid red; border-bottom: 1px solid blue; padding: 1px 2px 3px 4px }"
      ".pairs { padding: 4px 8px }"
      ".colour { border: 1px solid; border-left-color: blue; color: red }"
      "</style></head><body><table><tr>"
      "<td class=alike>one</td><td class=apart>two</td><td class=pairs>three</td><td class=colour>four</td>"
      "</tr></table></body></html>";
  std::string fo, messages;
  ASSERT_EQ(ConvertBuffer(html, &fo, &messages), 0);

  const std::string alike = CellBefore(fo, "one");
  EXPECT_NE(alike.find(" border=\"0.75pt solid #ff0000\""), std::string::npos) << alike;
  EXPECT_NE(alike.find(" padding=\"1.5pt\""), std::string::npos) << alike;
  EXPECT_EQ(alike.find("border-top"), std::string::npos) << alike;
  EXPECT_EQ(alike.find("padding-top"), std::string::npos) << alike;

  // Sides that differ keep their own properties: each as given.
  const std::string apart = CellBefore(fo, "two");
  EXPECT_NE(apart.find(" border-top=\"1.5pt solid #ff0000\""), std::string::npos) << apart;
  EXPECT_NE(apart.find(" border-bottom=\"0.75pt solid #0000ff\""), std::string::npos) << apart;
  EXPECT_EQ(apart.find(" border="), std::string::npos) << apart;
  EXPECT_NE(apart.find(" padding-top=\"0.75pt\""), std::string::npos) << apart;
  EXPECT_NE(apart.find(" padding-left=\"3pt\""), std::string::npos) << apart;
  EXPECT_EQ(apart.find(" padding="), std::string::npos) << apart;

  // Top like bottom and right like left: two values.
  const std::string pairs = CellBefore(fo, "three");
  EXPECT_NE(pairs.find(" padding=\"3pt 6pt\""), std::string::npos) << pairs;

  // Alike in width and style but not in colour: four sides.
  const std::string colour = CellBefore(fo, "four");
  EXPECT_NE(colour.find(" border-left=\"0.75pt solid #0000ff\""), std::string::npos) << colour;
  EXPECT_NE(colour.find(" border-top=\"0.75pt solid #ff0000\""), std::string::npos) << colour;
  EXPECT_EQ(colour.find(" border="), std::string::npos) << colour;
}

}  // namespace
}  // namespace ps
