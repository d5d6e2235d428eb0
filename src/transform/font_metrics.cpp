#include "transform/font_metrics.h"

namespace ps {

namespace {

// The characters windows-1252 places at bytes 0x80 to 0x9F (0 where none).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

const std::uint16_t* TableOf(const FontSpec& font) {
  if (font.monospace) return kCourier;
  return font.bold ? kHelveticaBold : kHelvetica;
}

}  // namespace

char32_t Cp1252Char(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : 0xFFFD;
  return b;
}

int Cp1252Byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] != 0 && kCp1252High[i] == c) return 0x80 + i;
  return -1;
}

bool IsWideCjk(char32_t c) {
  if (c < 0x1100) return false;  // the text of most pages: asked of every character measured
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA960 && c <= 0xA97F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

bool IsZeroWidth(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x0483 && c <= 0x0489) || (c >= 0x0591 && c <= 0x05C7) ||
         (c >= 0x064B && c <= 0x065F) || c == 0x0670 || c == 0x0E31 || (c >= 0x0E34 && c <= 0x0E3A) ||
         (c >= 0x0E47 && c <= 0x0E4E) || (c >= 0x0900 && c <= 0x0903) || (c >= 0x093A && c <= 0x094F) ||
         (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0xFE00 && c <= 0xFE0F) ||
         c == 0xFEFF || c == 0x00AD;
}

const std::uint16_t* AdvanceTable(const FontSpec& font) { return TableOf(font); }

double ByteAdvance(unsigned char b, const FontSpec& font) {
  const std::uint16_t* table = TableOf(font);
  // A no-break space prints as a space; bytes without a glyph (controls,
  // the unassigned ones) as an average letter.
  std::uint16_t w = b == 0xA0 ? table[0x20] : table[b];
  if (b == 0xAD) return 0.0;
  if (w == 0) return kOtherScriptEm * font.sizePt;
  return w * font.sizePt / 1000.0;
}

double CharAdvance(char32_t c, const FontSpec& font) {
  if (const int b = Cp1252Byte(c); b >= 0) return ByteAdvance(static_cast<unsigned char>(b), font);
  if (IsZeroWidth(c)) return 0.0;
  if (IsWideCjk(c)) return font.sizePt;
  return kOtherScriptEm * font.sizePt;
}

}  // namespace ps
