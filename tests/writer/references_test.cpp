// Character references and UTF-8 output.
#include <gtest/gtest.h>

#include <string>

#include "writer/entities.h"
#include "writer/named_references.h"

namespace ps {
namespace {

std::string Conv(std::string_view in, OutputEncoding enc = OutputEncoding::Latin1,
                 ConvertMode mode = ConvertMode::Text) {
  std::string out;
  ConvertSpecialChars(in, out, mode, enc);
  return out;
}

TEST(NumericReferences, AllowedCharactersPassAsWritten) {
  EXPECT_EQ(Conv("&#8212;"), "&#8212;");
  EXPECT_EQ(Conv("&#x263A;"), "&#x263A;");
  EXPECT_EQ(Conv("&#X263a;"), "&#x263a;");  // XML has only the lower-case x
  EXPECT_EQ(Conv("&#0065;"), "&#0065;");
  EXPECT_EQ(Conv("a&#169;b&#169;"), "a&#169;b&#169;");
  EXPECT_EQ(Conv("&#1114111;"), "&#1114111;");
}

TEST(NumericReferences, Windows1252RangeIsReadAsHtmlReadsIt) {
  EXPECT_EQ(Conv("&#150;"), "&#8211;");
  EXPECT_EQ(Conv("&#128;"), "&#8364;");
  EXPECT_EQ(Conv("&#x96;"), "&#8211;");
  EXPECT_EQ(Conv("&#159;"), "&#376;");
  // Unassigned in Windows-1252: stays as written.
  for (const char* s : {"&#129;", "&#141;", "&#143;", "&#144;", "&#157;"}) EXPECT_EQ(Conv(s), s);
}

TEST(NumericReferences, CharactersXmlForbidsKeepTheOldTreatment) {
  EXPECT_EQ(Conv("&#0;"), "&#38;#0;");
  EXPECT_EQ(Conv("&#1;"), "&#38;#1;");
  EXPECT_EQ(Conv("&#xD800;"), "&#38;#xD800;");
  EXPECT_EQ(Conv("&#x110000;"), "&#38;#x110000;");
  EXPECT_EQ(Conv("&#99999999999999999999999;"), "&#38;#99999999999999999999999;");
  EXPECT_EQ(Conv("&#65"), "&#38;#65");  // no ';'
  EXPECT_EQ(Conv("&#x;"), "&#38;#x;");
  EXPECT_EQ(Conv("&#;"), "&#38;#;");
  EXPECT_EQ(Conv("&#"), "&#38;#");
}

TEST(NamedReferences, BecomeDecimalReferences) {
  EXPECT_EQ(Conv("&eacute;"), "&#233;");
  EXPECT_EQ(Conv("&mdash;&rsquo;&hellip;"), "&#8212;&#8217;&#8230;");
  EXPECT_EQ(Conv("&lsqb;&sol;"), "&#91;&#47;");
  EXPECT_EQ(Conv("&NotEqualTilde;"), "&#8770;&#824;");
  EXPECT_EQ(Conv("&Eacute;"), "&#201;");  // names are case-sensitive
  EXPECT_EQ(Conv("&EACUTE;"), "&#38;EACUTE;");
}

TEST(NamedReferences, TableRowsKeepTheirOwnTreatment) {
  EXPECT_EQ(Conv("&nbsp;"), "&#160;");
  EXPECT_EQ(Conv("&auml;&copy;"), "\xE4\xA9");
  EXPECT_EQ(Conv("&amp;&lt;&gt;&quot;"), "&amp;&lt;&gt;&quot;");
  EXPECT_EQ(Conv("&sect;"), "&#167;");
}

TEST(NamedReferences, UnknownAndUnterminatedStayEscaped) {
  EXPECT_EQ(Conv("&bogus;"), "&#38;bogus;");
  EXPECT_EQ(Conv("&eacute"), "&#38;eacute");
  EXPECT_EQ(Conv("&nbsp"), "&#38;nbsp");
  EXPECT_EQ(Conv("a & b"), "a &#38; b");
}

TEST(NamedReferences, LookupFindsEveryRowAndNothingElse) {
  for (std::size_t i = 0; i < kNamedReferenceCount; ++i)
    EXPECT_STREQ(FindNamedReference(kNamedReferences[i].name), kNamedReferences[i].references);
  EXPECT_EQ(kNamedReferenceCount, 2125u);
  EXPECT_EQ(FindNamedReference(""), nullptr);
  EXPECT_EQ(FindNamedReference("zzzz"), nullptr);
  EXPECT_EQ(FindNamedReference("AAAA"), nullptr);
}

TEST(NamedReferences, WorkInsideAttributeValues) {
  EXPECT_EQ(Conv("a&eacute;\"&#150;", OutputEncoding::Latin1, ConvertMode::QuotedValue),
            "a&#233;&quot;&#8211;");
}

TEST(Utf8Output, SingleByteReplacementsBecomeUtf8) {
  EXPECT_EQ(Conv("&auml;&ouml;&uuml;&Auml;&Ouml;&Uuml;&szlig;&copy;", OutputEncoding::Utf8),
            "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F\xC2\xA9");
  EXPECT_EQ(Conv("Gr\xC3\xBC\xC3\x9F" "e", OutputEncoding::Utf8), "Gr\xC3\xBC\xC3\x9F" "e");
}

// U+FFFE, U+FFFF and surrogates make a file no XML: they become U+FFFD in
// text and values; their neighbours (U+FFFD, U+FFEE, U+D7FF, U+E000) pass.
TEST(Utf8Output, CharactersXmlForbidsBecomeReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  EXPECT_EQ(Conv("a\xEF\xBF\xBE" "b\xEF\xBF\xBF" "c", OutputEncoding::Utf8), "a" + r + "b" + r + "c");
  EXPECT_EQ(Conv("\xED\xA0\x80\xED\xBF\xBF", OutputEncoding::Utf8, ConvertMode::QuotedValue), r + r);
  const std::string kept = "\xEF\xBF\xBD\xEF\xBF\xAE\xED\x9F\xBF\xEE\x80\x80\xEF\xBC\xA1";
  EXPECT_EQ(Conv(kept, OutputEncoding::Utf8), kept);
  // Cut short at the end of the text: passed as they are.
  EXPECT_EQ(Conv("x\xEF\xBF", OutputEncoding::Utf8), "x\xEF\xBF");
  // In ISO-8859-1 output the same bytes are letters.
  EXPECT_EQ(Conv("\xEF\xBF\xBE"), "\xEF\xBF\xBE");
}

// The value an XML parser reads from a written value: what tells FOP's ids apart.
TEST(XmlAttributeValueRead, ResolvesReferencesAndLineEnds) {
  EXPECT_EQ(XmlAttributeValueRead("&#120;&#x79;&amp;&lt;&gt;&quot;&apos;z", OutputEncoding::Utf8), "xy&<>\"'z");
  EXPECT_EQ(XmlAttributeValueRead("&#233;", OutputEncoding::Utf8), "\xC3\xA9");
  EXPECT_EQ(XmlAttributeValueRead("\xE9", OutputEncoding::Latin1), "\xC3\xA9");
  EXPECT_EQ(XmlAttributeValueRead("\xC3\xA9", OutputEncoding::Utf8), "\xC3\xA9");
  EXPECT_EQ(XmlAttributeValueRead("a\r\nb\tc\nd", OutputEncoding::Utf8), "a b c d");
  EXPECT_EQ(XmlAttributeValueRead("&#128512;", OutputEncoding::Utf8), "\xF0\x9F\x98\x80");
  EXPECT_EQ(XmlAttributeValueRead("&bogus; &#; &#0;", OutputEncoding::Utf8), "&bogus; &#; &#0;");
}

// A page read as windows-1252 keeps ISO-8859-1 output; the bytes 128 to 159
// that ISO-8859-1 would read as control characters become their characters.
TEST(Latin1Output, Windows1252BytesBecomeReferences) {
  EXPECT_EQ(Conv("\x93quoted\x94 \x80" "5 \x96 a\x97" "b"), "&#8220;quoted&#8221; &#8364;5 &#8211; a&#8212;b");
  EXPECT_EQ(Conv("\x85\x99", OutputEncoding::Latin1, ConvertMode::QuotedValue), "&#8230;&#8482;");
  EXPECT_EQ(Conv("\x8C\x9F", OutputEncoding::Latin1, ConvertMode::BareText), "&#338;&#376;");
  // The five bytes windows-1252 leaves undefined are controls no font draws:
  // they print nothing, as in a browser.
  EXPECT_EQ(Conv("a\x81\x8D\x8F\x90\x9D" "b"), "ab");
  EXPECT_EQ(Conv("\xA0\xE9\xFF"), "\xA0\xE9\xFF");
  // In UTF-8 output these bytes continue characters.
  EXPECT_EQ(Conv("\xE2\x80\x9C\xE2\x82\xAC", OutputEncoding::Utf8), "\xE2\x80\x9C\xE2\x82\xAC");
}

}  // namespace
}  // namespace ps
