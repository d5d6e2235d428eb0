// Inline drawings: what reaches FOP must be well-formed SVG it can draw or
// skip, never markup that stops the whole document.
#include <gtest/gtest.h>

#include <string>

#include "writer/svg.h"

namespace ps {
namespace {

constexpr const char* kRoot = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"";

std::string Svg(std::string_view startTag, std::string_view body) {
  std::string out;
  AppendSvg(startTag, body, out, OutputEncoding::Utf8);
  return out;
}

TEST(Svg, SizesFromAttributesOrViewBox) {
  EXPECT_EQ(Svg("svg width=\"20\" height=\"10pt\"", ""), std::string(kRoot) + " width=\"20\" height=\"10pt\"></svg>");
  // A view box alone, or with one side, gives the missing side in proportion.
  EXPECT_EQ(Svg("svg viewbox='0 0 669.677 1162.3'", ""),
            std::string(kRoot) + " width=\"669.677\" height=\"1162.3\" viewBox=\"0 0 669.677 1162.3\"></svg>");
  EXPECT_EQ(Svg("svg width=40 viewBox='0,0,20,10'", ""),
            std::string(kRoot) + " height=\"20\" width=\"40\" viewBox=\"0,0,20,10\"></svg>");
  // Sizes FOP stops on (units of the font, percentages, words) are replaced.
  EXPECT_EQ(Svg("svg width=\"2em\" height=\"abc\"", ""), std::string(kRoot) + " width=\"300\" height=\"150\"></svg>");
  EXPECT_EQ(Svg("svg width=\"50%\" height=\"-3\" viewBox=\"0 0 0 5\"", ""),
            std::string(kRoot) + " width=\"300\" height=\"150\" viewBox=\"0 0 0 5\"></svg>");
  EXPECT_EQ(Svg("svg/", ""), std::string(kRoot) + " width=\"300\" height=\"150\"></svg>");
}

TEST(Svg, UnknownMarkupIsDroppedWithItsContent) {
  const std::string body =
      "<foo><rect/></foo><p>html <b>text</b></p><script>if (a) b()</script><style>r{}</style>"
      "<foreignObject><div>d</div></foreignObject><circle r='1'/>";
  EXPECT_EQ(Svg("svg width=1 height=1", body), std::string(kRoot) + " width=\"1\" height=\"1\"><circle r=\"1\"/></svg>");
}

TEST(Svg, NamesInTheirSvgCase) {
  EXPECT_EQ(Svg("svg width=1 height=1", "<LINEARGRADIENT GRADIENTUNITS='x' spreadmethod=pad></lineargradient>"
                                        "<clippath clippathunits=a></clippath>"),
            std::string(kRoot) +
                " width=\"1\" height=\"1\"><linearGradient gradientUnits=\"x\" spreadMethod=\"pad\"></linearGradient>"
                "<clipPath clipPathUnits=\"a\"></clipPath></svg>");
}

TEST(Svg, AttributesKeptOnceAndSafe) {
  // The first of a name wins, as HTML reads it; event handlers, namespace
  // declarations and names XML cannot hold go; a plain link becomes xlink.
  EXPECT_EQ(Svg("svg width=1 height=1 width=5 xmlns=\"x\" xmlns:foo=y onload=\"f()\" a<b=1",
                "<a href=\"#t\" xlink:href=\"#u\" foo:bar=1 fill='a\"b&amp;c<d'></a>"),
            std::string(kRoot) +
                " width=\"1\" height=\"1\"><a xlink:href=\"#t\" fill=\"a&quot;b&amp;c&lt;d\"></a></svg>");
}

TEST(Svg, TextEscapedAndOnlyWhereSvgPrintsIt) {
  EXPECT_EQ(Svg("svg width=1 height=1", "loose <text>a &amp; b<![CDATA[<&]]>&nbsp;</text>\n<g>words</g> x < y"),
            std::string(kRoot) + " width=\"1\" height=\"1\"><text>a &amp; b&lt;&amp;\xC2\xA0</text>\n<g></g></svg>");
}

TEST(Svg, MarkupIsBalanced) {
  // Unclosed elements close at the end, an end tag closes what is open inside
  // its element, a stray one closes nothing.
  EXPECT_EQ(Svg("svg width=1 height=1", "<g><text>t</g></rect><g><rect"),
            std::string(kRoot) + " width=\"1\" height=\"1\"><g><text>t</text></g><g><rect></rect></g></svg>");
  // Nesting beyond the bound is dropped, its end tags with it.
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "<g>";
  for (int i = 0; i < 200; ++i) deep += "</g>";
  const std::string out = Svg("svg width=1 height=1", deep + "<rect/>");
  std::size_t opens = 0, closes = 0;
  for (std::size_t at = 0; (at = out.find("<g>", at)) != std::string::npos; ++at) ++opens;
  for (std::size_t at = 0; (at = out.find("</g>", at)) != std::string::npos; ++at) ++closes;
  EXPECT_EQ(opens, closes);
  EXPECT_LT(opens, 200u);
  EXPECT_NE(out.find("<rect/>"), std::string::npos);
}

}  // namespace
}  // namespace ps
