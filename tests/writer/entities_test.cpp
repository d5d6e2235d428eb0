// Character conversion of texts and attribute values.
#include <gtest/gtest.h>

#include <string>

#include "model/text.h"
#include "writer/entities.h"

namespace ps {
namespace {


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
  const std::string s = "plain b> \"quoted\" > 'x' \t\r\n \x7F\xA0\xE4\xFF ]] ]>";
  EXPECT_EQ(T(s), s);
  // A '<' in text is one that started no tag ("a < b"): escaped as in values.
  EXPECT_EQ(T("a < b<c"), "a &lt; b&lt;c");

  // Every byte but the few that need attention, NUL included.
  std::string text, value;
  for (int c = 0; c < 256; ++c) {
    if (c == '&' || c == ']' || c == '<' || (c >= 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r')) continue;
    if (c >= 0x80 && c < 0xA0) continue;  // windows-1252's, written as references or dropped
    text.push_back(static_cast<char>(c));
    if (c != '"') value.push_back(static_cast<char>(c));
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

// A no-break space is the character itself: FOP drops the blanks of a
// kept-space inline at a line end, but never a no-break space.
TEST(ConvertSpecialChars, NonBreakingSpacesAreTheCharacter) {
  EXPECT_EQ(T("a&nbsp;b"), "a&#160;b");
  EXPECT_EQ(T("&nbsp;&nbsp;&nbsp;"), "&#160;&#160;&#160;");
  EXPECT_EQ(T("&quot;&nbsp;"), "&quot;&#160;");
  EXPECT_EQ(V("a&nbsp;&nbsp;b"), "a&#160;&#160;b");
  std::string utf8;
  ConvertSpecialChars("0&nbsp;&nbsp;x&nbsp;", utf8, ConvertMode::Text, OutputEncoding::Utf8);
  EXPECT_EQ(utf8, "0\xC2\xA0\xC2\xA0x\xC2\xA0");
  std::string bare;
  ConvertSpecialChars("a&nbsp;b", bare, ConvertMode::BareText);
  EXPECT_EQ(bare, "a&#160;b");
}

TEST(ConvertSpecialChars, BareTextIsConvertedAsContent) {
  const auto B = [](std::string_view in) {
    std::string out;
    ConvertSpecialChars(in, out, ConvertMode::BareText);
    return out;
  };
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
  EXPECT_EQ(V("x&y"), "x&#38;y");
  EXPECT_EQ(V("&auml;"), "\xE4");
  EXPECT_EQ(V("]]>"), "]]>");
  EXPECT_EQ(V("'single'"), "'single'");
  EXPECT_EQ(V(""), "");
}

TEST(ConvertSpecialChars, StoredTextIsReplaced) {
  Text t("a&nbsp;b&c");
  ConvertSpecialChars(t);
  EXPECT_EQ(t.view(), "a&#160;b&#38;c");
  Text v("\"&nbsp;\"");
  ConvertSpecialChars(v, ConvertMode::QuotedValue);
  EXPECT_EQ(v.view(), "&quot;&#160;&quot;");
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
