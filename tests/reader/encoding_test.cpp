// How a page's bytes are read: labels, the declaration, UTF-8 census,
// conversion and the positions of the file as given.
#include <gtest/gtest.h>

#include <string>

#include "reader/encoding.h"
#include "run/run.h"

namespace ps {
namespace {

std::string NameOf(const Encoding* e) { return e ? e->name : "<none>"; }

TEST(EncodingLabels, ResolveAsBrowsersDo) {
  EXPECT_EQ(NameOf(FindEncoding("latin1")), "windows-1252");
  EXPECT_EQ(NameOf(FindEncoding("ISO-8859-1")), "windows-1252");
  EXPECT_EQ(NameOf(FindEncoding("us-ascii")), "windows-1252");
  EXPECT_EQ(NameOf(FindEncoding(" \tSJIS\n")), "Shift_JIS");
  EXPECT_EQ(NameOf(FindEncoding("ks_c_5601-1987")), "EUC-KR");
  EXPECT_EQ(NameOf(FindEncoding("GB2312")), "GBK");
  EXPECT_EQ(NameOf(FindEncoding("iso-8859-9")), "windows-1254");
  EXPECT_EQ(NameOf(FindEncoding("tis-620")), "windows-874");
  EXPECT_EQ(NameOf(FindEncoding("koi8-r")), "KOI8-R");
  EXPECT_EQ(NameOf(FindEncoding("utf8")), "UTF-8");
  EXPECT_EQ(NameOf(FindEncoding("unicode")), "UTF-16LE");
  EXPECT_EQ(NameOf(FindEncoding("utf-16be")), "UTF-16BE");
  // Not labels: near misses, inner blanks, nothing.
  EXPECT_EQ(FindEncoding("latin-1"), nullptr);
  EXPECT_EQ(FindEncoding("utf 8"), nullptr);
  EXPECT_EQ(FindEncoding(""), nullptr);
  EXPECT_EQ(FindEncoding("ebcdic-x"), nullptr);
}

// The encodings the table names all exist in the C library's conversions,
// but for HZ, which glibc lacks.
TEST(EncodingLabels, EveryConversionOpens) {
  for (const char* label : {"866", "latin2", "iso-8859-8-i", "koi8-u", "mac", "windows-874", "cp1258",
                            "x-mac-cyrillic", "gbk", "gb18030", "big5", "euc-jp", "iso-2022-jp", "sjis",
                            "euc-kr", "iso-2022-kr", "iso-2022-cn-ext", "utf-16le", "utf-16be"}) {
    const Encoding* e = FindEncoding(label);
    ASSERT_NE(e, nullptr) << label;
    ASSERT_NE(e->iconvName, nullptr) << label;
    DecodedInput in;
    DecodeInput(std::string("<meta charset=") + label + ">\xA4\xA2", in);
    EXPECT_FALSE(in.unknown) << label;
  }
}

std::string Declared(std::string_view html) {
  const Declaration d = PrescanDeclaration(html);
  std::string s = NameOf(d.encoding);
  if (d.label) s.append(" '").append(*d.label).append("'");
  return s;
}

TEST(Prescan, FindsTheDeclarationsBrowsersFind) {
  EXPECT_EQ(Declared("<html><head><meta charset=koi8-r>"), "KOI8-R 'koi8-r'");
  EXPECT_EQ(Declared("<META CHARSET=\" Big5 \">"), "Big5 'Big5'");
  EXPECT_EQ(Declared("<meta/charset='euc-jp'/>"), "EUC-JP 'euc-jp'");
  EXPECT_EQ(Declared("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"),
            "windows-1251 'windows-1251'");
  EXPECT_EQ(Declared("<meta content='text/html;charset = \"gb2312\"' http-equiv=content-type>"), "GBK 'gb2312'");
  EXPECT_EQ(Declared("<meta content=\"text/html; charsetx; charset=sjis\" http-equiv=Content-Type>"),
            "Shift_JIS 'sjis'");
  // A page that can be prescanned is not UTF-16.
  EXPECT_EQ(Declared("<meta charset=utf-16>"), "UTF-8 'utf-16'");
}

TEST(Prescan, PassesOverWhatDeclaresNothing) {
  // A content type without its http-equiv, a meta without either.
  EXPECT_EQ(Declared("<meta content=\"text/html; charset=koi8-r\">"), "<none>");
  EXPECT_EQ(Declared("<meta name=charset content=koi8-r>"), "<none>");
  // Comments, other tags' attribute values, processing instructions.
  EXPECT_EQ(Declared("<!-- <meta charset=koi8-r> --><meta charset=sjis>"), "Shift_JIS 'sjis'");
  EXPECT_EQ(Declared("<!--><meta charset=sjis>"), "Shift_JIS 'sjis'");
  EXPECT_EQ(Declared("<a title='<meta charset=koi8-r>'><meta charset=sjis>"), "Shift_JIS 'sjis'");
  EXPECT_EQ(Declared("<?x <meta charset=koi8-r>?><metal charset=big5><meta charset=sjis>"), "Shift_JIS 'sjis'");
  // The first of duplicate attributes counts.
  EXPECT_EQ(Declared("<meta charset=sjis charset=big5>"), "Shift_JIS 'sjis'");
  // Only the first 1,024 bytes are looked at.
  EXPECT_EQ(Declared(std::string(1010, ' ') + "<meta charset=koi8-r>"), "<none>");
  EXPECT_EQ(Declared(std::string(1000, ' ') + "<meta charset=big5>"), "Big5 'big5'");
  // Bytes that end inside a tag end the search.
  EXPECT_EQ(Declared("<meta charset=\"sjis"), "<none>");
  EXPECT_EQ(Declared("<p class=\"x"), "<none>");
}

TEST(Prescan, AnUnknownLabelIsKeptUntilAKnownOneComes) {
  EXPECT_EQ(Declared("<meta charset=x-klingon>"), "<none> 'x-klingon'");
  EXPECT_EQ(Declared("<meta charset=X-Klingon><meta charset=koi8-r>"), "KOI8-R 'koi8-r'");
  EXPECT_EQ(Declared("<meta http-equiv=content-type content='text/html; charset=x-elvish'>"), "<none> 'x-elvish'");
  // An unknown content label that would not have counted is not kept.
  EXPECT_EQ(Declared("<meta content='text/html; charset=x-elvish'>"), "<none>");
  EXPECT_EQ(Declared("<meta charset=\"  \">"), "<none>");
}

TEST(Utf8Census, CountsCharactersAndBrokenSequences) {
  auto census = [](std::string_view s) {
    const Utf8Census c = CountUtf8(s);
    return std::to_string(c.valid) + "/" + std::to_string(c.broken);
  };
  EXPECT_EQ(census(""), "0/0");
  EXPECT_EQ(census("plain ascii"), "0/0");
  EXPECT_EQ(census("Gr\xC3\xBC\xC3\x9F" "e"), "2/0");
  EXPECT_EQ(census("\xE2\x82\xAC \xF0\x9F\x98\x80"), "2/0");
  EXPECT_EQ(census("Gr\xFC\xDF" "e"), "0/2");           // ISO-8859-1
  EXPECT_EQ(census("\xC3"), "0/1");                    // cut short
  EXPECT_EQ(census("\xF0\x9F\x98"), "0/1");            // cut short: one sequence
  EXPECT_EQ(census("\xC0\xAF"), "0/2");                // overlong
  EXPECT_EQ(census("\xE0\x80\xAF"), "0/3");            // overlong
  EXPECT_EQ(census("\xED\xA0\x80"), "0/3");            // surrogate
  EXPECT_EQ(census("\xF4\x90\x80\x80"), "0/4");        // past U+10FFFF
  EXPECT_EQ(census("\xC3\xA4\x80"), "1/1");            // stray continuation
  EXPECT_EQ(census("\xE2\x82" "a\xE2\x82\xAC"), "1/1");  // a sequence cut by ASCII

  // A byte from 128 up is seen wherever it stands in a long ASCII run.
  for (std::size_t before = 0; before < 20; ++before) {
    const std::string ascii(before, 'a'), after(19 - before, 'b');
    EXPECT_EQ(census(ascii + "\xC3\xA4" + after), "1/0") << before;
    EXPECT_EQ(census(ascii + "\xE4" + after), "0/1") << before;
    EXPECT_EQ(census(ascii + after + "\xC3"), "0/1") << before;
  }
}

TEST(PositionMap, ShiftsFromEachMarkOn) {
  PositionMap map;
  EXPECT_EQ(map.FileOffset(7), 7u);
  map.AfterLess(1, 3);    // shift 2
  map.AfterLess(5, 7);    // the same shift: no mark
  map.AfterLess(10, 9);   // shift -1
  EXPECT_EQ(map.checkpoints(), 2u);
  EXPECT_EQ(map.FileOffset(0), 0u);
  EXPECT_EQ(map.FileOffset(1), 3u);
  EXPECT_EQ(map.FileOffset(9), 11u);
  EXPECT_EQ(map.FileOffset(10), 9u);
  EXPECT_EQ(map.FileOffset(100), 99u);
  // Lookups may go back.
  EXPECT_EQ(map.FileOffset(5), 7u);
  EXPECT_EQ(map.FileOffset(0), 0u);
  EXPECT_EQ(map.FileOffset(12), 11u);
}

struct Decoded {
  std::string encoding;
  std::string text;
  bool utf8;
  std::string unknown;
};

Decoded Decode(std::string_view bytes) {
  DecodedInput in;
  DecodeInput(bytes, in);
  return {NameOf(in.encoding), std::string(in.text), in.utf8, in.unknown.value_or("")};
}

// ASCII as UTF-16, little-endian or big-endian.
std::string Utf16(std::string_view ascii, bool bigEndian = false) {
  std::string s;
  for (char c : ascii) {
    if (bigEndian) s.push_back('\0');
    s.push_back(c);
    if (!bigEndian) s.push_back('\0');
  }
  return s;
}

TEST(DecodeInput, ByteOrderMarkDecidesFirst) {
  // UTF-16 with the mark, whatever it declares; a character outside the
  // basic plane; an odd byte at the end.
  Decoded d = Decode("\xFF\xFE" + Utf16("<meta charset=sjis>") + std::string("\xE9\0\x3D\xD8\x00\xDE\x41", 7));
  EXPECT_EQ(d.encoding, "UTF-16LE");
  EXPECT_EQ(d.text, "<meta charset=sjis>\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
  EXPECT_TRUE(d.utf8);
  d = Decode("\xFE\xFF" + Utf16("<p>", true) + "\x20\xAC");
  EXPECT_EQ(d.encoding, "UTF-16BE");
  EXPECT_EQ(d.text, "<p>\xE2\x82\xAC");
  // A lone surrogate is one replacement character; the text stays aligned.
  EXPECT_EQ(Decode(std::string("\xFF\xFE\x00\xD8" "a\0", 6)).text, "\xEF\xBF\xBD" "a");
  // A UTF-8 mark keeps its page UTF-8 even with broken bytes; the mark stays.
  d = Decode("\xEF\xBB\xBF<meta charset=koi8-r>\xF0\xF2");
  EXPECT_EQ(d.encoding, "UTF-8");
  EXPECT_EQ(d.text, "\xEF\xBB\xBF<meta charset=koi8-r>\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(DecodeInput, Utf8WinsOverTheDeclaration) {
  Decoded d = Decode("<meta charset=iso-8859-1>Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(d.encoding, "UTF-8");
  EXPECT_EQ(d.text, "<meta charset=iso-8859-1>Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_TRUE(d.utf8);
  // A few broken sequences among many characters: still UTF-8, each broken
  // sequence one replacement character.
  std::string many;
  for (std::size_t i = 0; i < kValidPerBroken; ++i) many += "\xC3\xA4";
  d = Decode("<meta charset=koi8-r>" + many + "\xE4!");
  EXPECT_EQ(d.encoding, "UTF-8");
  EXPECT_EQ(d.text, "<meta charset=koi8-r>" + many + "\xEF\xBF\xBD!");
  // One broken sequence too many: the declaration decides.
  d = Decode("<meta charset=koi8-r>" + many + "\xE4\xE4");
  EXPECT_EQ(d.encoding, "KOI8-R");
}

TEST(DecodeInput, TheDeclarationDecidesNext) {
  Decoded d = Decode("<meta charset=koi8-r><p>\xF0\xD2\xC9\xD7\xC5\xD4</p>");
  EXPECT_EQ(d.encoding, "KOI8-R");
  EXPECT_EQ(d.text, "<meta charset=koi8-r><p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82</p>");
  EXPECT_TRUE(d.utf8);
  // Invalid in Shift_JIS: a lead byte before '<', a byte no character starts with.
  d = Decode("<meta charset=shift_jis>\x93\xFA\x93<\xA0");
  EXPECT_EQ(d.text, "<meta charset=shift_jis>\xE6\x97\xA5\xEF\xBF\xBD<\xEF\xBF\xBD");
  // Declared UTF-8 with broken bytes only.
  d = Decode("<meta charset=utf-8>\xE4");
  EXPECT_EQ(d.encoding, "UTF-8");
  EXPECT_EQ(d.text, "<meta charset=utf-8>\xEF\xBF\xBD");
  // A NUL is converted with the rest (the parser drops it).
  d = Decode(std::string("<meta charset=koi8-r>\xF0\0\xF0", 24));
  EXPECT_EQ(d.text, std::string("<meta charset=koi8-r>\xD0\x9F\0\xD0\x9F", 26));
}

TEST(DecodeInput, ElseWindows1252AsItStands) {
  for (const char* html : {"caf\xE9 \x93q\x94", "<meta charset=latin1>caf\xE9", "<meta charset=x-user-defined>\x80"}) {
    const Decoded d = Decode(html);
    EXPECT_EQ(d.encoding, "windows-1252") << html;
    EXPECT_EQ(d.text, html);
    EXPECT_FALSE(d.utf8);
    EXPECT_EQ(d.unknown, "");
  }
  // ASCII reads the same in any encoding but a seven-bit one.
  const Decoded ascii = Decode("<meta charset=sjis><p>plain</p>");
  EXPECT_EQ(ascii.encoding, "windows-1252");
  EXPECT_FALSE(ascii.utf8);
  const Decoded jis = Decode("<meta charset=iso-2022-jp><p>\x1B$B$\"\x1B(B</p>");
  EXPECT_EQ(jis.encoding, "ISO-2022-JP");
  EXPECT_EQ(jis.text, "<meta charset=iso-2022-jp><p>\xE3\x81\x82</p>");
}

TEST(DecodeInput, UnknownLabelsReadAsWindows1252) {
  Decoded d = Decode("<meta charset=\" X-Klingon \">caf\xE9");
  EXPECT_EQ(d.encoding, "windows-1252");
  EXPECT_EQ(d.text, "<meta charset=\" X-Klingon \">caf\xE9");
  EXPECT_EQ(d.unknown, "X-Klingon");
  // Known to browsers, not to the C library.
  EXPECT_EQ(Decode("<meta charset=hz-gb-2312>~{").unknown, "hz-gb-2312");
  // A UTF-8 page is not read as windows-1252: nothing to report.
  EXPECT_EQ(Decode("<meta charset=x-klingon>\xC3\xA4").unknown, "");
}

// Positions in notices and on elements stay offsets into the file as given.
TEST(DecodeInput, PositionsAreOffsetsIntoTheFile) {
  auto notices = [](const std::string& html) {
    std::string fo, messages, found;
    ConvertBuffer(html, &fo, &messages);
    for (std::size_t at = 0; (at = messages.find("Pos ", at)) != std::string::npos; at += 4)
      found += messages.substr(at + 4, messages.find('\n', at) - at - 4) + " ";
    return found;
  };
  // The offset after the '<' of each unknown tag (and of a META outside
  // the head).
  auto expected = [](const std::string& html, std::string_view tag, std::size_t unit = 1) {
    std::string found = html.substr(0, 5) == "<meta" ? "1 " : "";
    for (std::size_t at = 0; (at = html.find(tag, at)) != std::string::npos; at += tag.size())
      found += std::to_string(at + unit) + " ";
    return found;
  };
  const std::string koi = "<meta charset=koi8-r>\xF0\xD2\xC9<xa>\xD7\xC5\xD4<xb><xc>";
  EXPECT_EQ(notices(koi), expected(koi, "<x"));
  const std::string sjis = "<meta charset=sjis>\x93\xFA\x96\x7B<xa>\x81<xb>\x8C\xEA<xc>";
  EXPECT_EQ(notices(sjis), expected(sjis, "<x"));
  std::string broken = "<meta charset=utf-8>\xC3\xA4<xa>\xE4\xE4<xb>";
  EXPECT_EQ(notices(broken), expected(broken, "<x"));
  const std::string utf16 = "\xFF\xFE" + Utf16("<xa>") + "\x42\x30\x00\xD8" + Utf16("<xb>") + "\x3C\x30" + Utf16("<xc>");
  EXPECT_EQ(notices(utf16), expected(utf16, Utf16("<x"), 2));
}

}  // namespace
}  // namespace ps
