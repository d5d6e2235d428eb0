// Character conversion of texts and attribute values.
#include <gtest/gtest.h>

#include <string>

#include "model/text.h"
#include "writer/entities.h"

namespace ps {
namespace {

const std::string kOpen = "<fo:inline white-space-collapse=\"false\">";
const std::string kClose = "</fo:inline>";

std::string T(std::string_view in) {
  std::string out;
  ConvertSpecialChars(in, out, ConvertMode::Text);
  return out;
}

std::string V(std::string_view in) {
  std::string out;
  ConvertSpecialChars(in, out, ConvertMode::QuotedValue);
  return out;
}

TEST(ConvertSpecialChars, PlainTextIsUnchanged) {
  const std::string s = "plain <b> \"quoted\" > 'x' \t\r\n \x7F\x80\xA0\xE4\xFF ]] ]>";
  EXPECT_EQ(T(s), s);

  // Every byte but the few that need attention, NUL included.
  std::string text, value;
  for (int c = 0; c < 256; ++c) {
    if (c == '&' || c == ']' || (c >= 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r')) continue;
    text.push_back(static_cast<char>(c));
    if (c != '"' && c != '<') value.push_back(static_cast<char>(c));
  }
  EXPECT_EQ(T(text), text);
  EXPECT_EQ(V(value), value);
}

TEST(ConvertSpecialChars, BareAmpersands) {
  EXPECT_EQ(T("a&b"), "a&#38;b");
  EXPECT_EQ(T("&#0;"), "&#38;#0;");  // a reference to no XML character stays text
  EXPECT_EQ(T("&nbsp"), "&#38;nbsp");
  EXPECT_EQ(T("&AUML;"), "&#38;AUML;");  // patterns are case-sensitive
  EXPECT_EQ(T("&&x&"), "&#38;&#38;x&#38;");  // replacements are not scanned again
  EXPECT_EQ(T("&"), "&#38;");
}

TEST(ConvertSpecialChars, KnownEntitiesPass) {
  EXPECT_EQ(T("&amp;&lt;&gt;&quot;"), "&amp;&lt;&gt;&quot;");
  EXPECT_EQ(T("x&amp;&amp;&amp;"), "x&amp;&amp;&amp;");
  EXPECT_EQ(T("a &lt;b&gt; c&quot;"), "a &lt;b&gt; c&quot;");
  EXPECT_EQ(T("&amp;nbsp;"), "&amp;nbsp;");  // the claimed "&amp;" is not re-read
}

TEST(ConvertSpecialChars, SectionSignBecomesANumericReference) {
  EXPECT_EQ(T("&sect;"), "&#167;");
  EXPECT_EQ(T("&sect;&sect;1"), "&#167;&#167;1");
  EXPECT_EQ(V("&sect;"), "&#167;");
}

TEST(ConvertSpecialChars, SingleByteReplacements) {
  EXPECT_EQ(T("&auml;&ouml;&uuml;&Auml;&Ouml;&Uuml;&szlig;&copy;"), "\xE4\xF6\xFC\xC4\xD6\xDC\xDF\xA9");
  EXPECT_EQ(T("&copy;&copy;"), "\xA9\xA9");
  EXPECT_EQ(T("Gr&uuml;&szlig;e"), "Gr\xFC\xDF" "e");
}

TEST(ConvertSpecialChars, NonBreakingSpacesInText) {
  EXPECT_EQ(T("a&nbsp;b"), "a" + kOpen + " " + kClose + "b");
  EXPECT_EQ(T("&nbsp;&nbsp;&nbsp;"), kOpen + "   " + kClose);
  EXPECT_EQ(T("&nbsp;x&nbsp;"), kOpen + " " + kClose + "x" + kOpen + " " + kClose);
  EXPECT_EQ(T("&quot;&nbsp;"), "&quot;" + kOpen + " " + kClose);
}

// Where no element may stand, a kept space is written as the space alone;
// everything else is converted as in element content.
TEST(ConvertSpecialChars, BareTextOpensNoElement) {
  const auto B = [](std::string_view in) {
    std::string out;
    ConvertSpecialChars(in, out, ConvertMode::BareText);
    return out;
  };
  EXPECT_EQ(B("a&nbsp;b&nbsp;&nbsp;c"), "a b  c");
  EXPECT_EQ(B("x \"q\" &amp; &sect; ]]> <"), T("x \"q\" &amp; &sect; ]]> <"));
}

TEST(ConvertSpecialChars, CdataEndInText) {
  EXPECT_EQ(T("a]]>b"), "a]]&gt;b");
  EXPECT_EQ(T("]]]>"), "]]]&gt;");
  EXPECT_EQ(T("]]>]]>"), "]]&gt;]]&gt;");
  EXPECT_EQ(T("]] >"), "]] >");
  EXPECT_EQ(T("]]"), "]]");
}

TEST(ConvertSpecialChars, ForbiddenControlBytesBecomeBlanks) {
  std::string in, expected;
  for (int c = 1; c < 0x20; ++c) {
    in.push_back(static_cast<char>(c));
    expected.push_back(c == '\t' || c == '\n' || c == '\r' ? static_cast<char>(c) : ' ');
  }
  EXPECT_EQ(T(in), expected);
  EXPECT_EQ(V(in), expected);
  EXPECT_EQ(T("a\x01&\x02"), "a &#38; ");
}

TEST(ConvertSpecialChars, QuotedValues) {
  EXPECT_EQ(V("say \"hi\" <b>"), "say &quot;hi&quot; &lt;b>");
  EXPECT_EQ(V("&quot;x&quot;"), "&quot;x&quot;");
  EXPECT_EQ(V("a&nbsp;&nbsp;b"), "a  b");  // no inline element inside an attribute
  EXPECT_EQ(V("x&y"), "x&#38;y");
  EXPECT_EQ(V("&auml;"), "\xE4");
  EXPECT_EQ(V("]]>"), "]]>");
  EXPECT_EQ(V("'single'"), "'single'");
  EXPECT_EQ(V(""), "");
}

TEST(ConvertSpecialChars, StoredTextIsReplaced) {
  Text t("a&nbsp;b&c");
  ConvertSpecialChars(t);
  EXPECT_EQ(t.view(), "a" + kOpen + " " + kClose + "b&#38;c");
  Text v("\"&nbsp;\"");
  ConvertSpecialChars(v, ConvertMode::QuotedValue);
  EXPECT_EQ(v.view(), "&quot; &quot;");
  Text absent;
  ConvertSpecialChars(absent);
  EXPECT_TRUE(absent.null());
  Text empty("");
  ConvertSpecialChars(empty);
  EXPECT_TRUE(empty.has());
  EXPECT_EQ(empty.view(), "");
}

TEST(ConvertSpecialChars, AppendsToWhatIsThere) {
  std::string out = "<x>";
  ConvertSpecialChars("&", out);
  EXPECT_EQ(out, "<x>&#38;");
}

}  // namespace
}  // namespace ps
