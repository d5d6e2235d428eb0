// Estimated text widths, from the advance widths of the fonts FOP sets the
// text in: Helvetica for text, Courier for preformatted and code. The
// oblique faces share the upright widths. Characters those fonts lack are
// printed from the fallback fonts of the FO's font lists: CJK characters
// take one em there; every other script is estimated at an average advance.
#pragma once

#include <cstdint>

namespace ps {

// Thousandths of an em, by windows-1252 byte (generated: font_metrics_data.cpp;
// the oblique faces advance as these).
extern const std::uint16_t kHelvetica[256];
extern const std::uint16_t kHelveticaBold[256];
extern const std::uint16_t kCourier[256];

// Letters of Greek, Cyrillic, Arabic, Hebrew, Thai, Devanagari and other
// scripts come from DejaVu Sans, FreeSans, Amiri and the like, whose
// letters advance by about 0.6 em on average (Helvetica's lower case
// averages 0.5 em, DejaVu Sans's 0.6 em; the wider guess keeps columns from
// being too narrow).
inline constexpr double kOtherScriptEm = 0.6;

struct FontSpec {
  double sizePt = 10.0;  // the size a carrier gets when nothing sets one
  bool bold = false;
  bool italic = false;
  bool monospace = false;
};

// The character of a windows-1252 byte (U+FFFD for the unassigned ones).
char32_t Cp1252Char(unsigned char b);
// The windows-1252 byte of a character of those fonts, or -1.
int Cp1252Byte(char32_t c);
// Ideographs, kana, Hangul, and the full-width forms and punctuation set
// with them: one em wide, and a line may break between any two of them.
bool IsWideCjk(char32_t c);
// Marks and format characters that take no advance of their own.
bool IsZeroWidth(char32_t c);

// The advance of one character in points.
double CharAdvance(char32_t c, const FontSpec& font);
// The advance of a windows-1252 byte in points (a page not read as UTF-8).
double ByteAdvance(unsigned char b, const FontSpec& font);
// The advance widths of the font's bytes, in thousandths of its size (0
// where it has no glyph), for callers that measure long runs.
const std::uint16_t* AdvanceTable(const FontSpec& font);

}  // namespace ps
