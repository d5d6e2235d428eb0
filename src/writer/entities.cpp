#include "writer/entities.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "writer/named_references.h"

namespace ps {

namespace {

struct EntityRow {
  const char* pattern;
  const char* replacement;  // nullptr: the pattern passes unchanged
  const char* opening;
  const char* closing;
  const char* utf8;  // the replacement in UTF-8 output, where it differs
};

// pattern, replacement, opening text, closing text, UTF-8 replacement
constexpr EntityRow kEntityTable[] = {
    // The no-break space itself: FOP keeps its width and never breaks the
    // line there, where blanks in a kept-space inline vanish at a line end.
    {"&nbsp;", "&#160;", nullptr, nullptr, "\xC2\xA0"},
    {"&quot;", nullptr, nullptr, nullptr, nullptr},
    {"&auml;", "\xE4", nullptr, nullptr, "\xC3\xA4"},
    {"&ouml;", "\xF6", nullptr, nullptr, "\xC3\xB6"},
    {"&uuml;", "\xFC", nullptr, nullptr, "\xC3\xBC"},
    {"&Auml;", "\xC4", nullptr, nullptr, "\xC3\x84"},
    {"&Ouml;", "\xD6", nullptr, nullptr, "\xC3\x96"},
    {"&Uuml;", "\xDC", nullptr, nullptr, "\xC3\x9C"},
    {"&szlig;", "\xDF", nullptr, nullptr, "\xC3\x9F"},
    {"&gt;", nullptr, nullptr, nullptr, nullptr},
    {"&lt;", nullptr, nullptr, nullptr, nullptr},
    {"&sect;", "&#167;", nullptr, nullptr, nullptr},  // not an XML entity
    {"&amp;", nullptr, nullptr, nullptr, nullptr},
    {"&copy;", "\xA9", nullptr, nullptr, "\xC2\xA9"},
};

// Any other '&': numeric and named references are tried first (below).
constexpr EntityRow kBareAmpersand = {"&", "&#38;", nullptr, nullptr, nullptr};

// Windows-1252 characters for the numbers 128 to 159, as HTML reads them;
// 0 where Windows-1252 assigns none.
constexpr unsigned kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 128-135
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 136-143
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 144-151
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 152-159
};

// Bytes XML 1.0 forbids in any text; they are written as a blank.
constexpr bool ForbiddenControl(unsigned char c) {
  return (c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x1F);
}

// Bytes that end a run copied unchanged: bit 0 in any text, bit 1 in a
// quoted value, bit 2 in ISO-8859-1 output only (the bytes of a
// windows-1252 page that ISO-8859-1 reads as control characters). A table,
// since every byte of the output is tested.
constexpr unsigned char kInLatin1 = 4;
// Bit 3: in UTF-8 output only, the lead bytes of the sequences XML forbids.
constexpr unsigned char kInUtf8 = 8;
constexpr std::array<unsigned char, 256> kStopBytes = [] {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; ++c)
    if (c == '&' || c == ']' || ForbiddenControl(static_cast<unsigned char>(c))) t[c] = 1;
  t['"'] = 2;
  t['<'] = 3;  // text may hold one that started no tag
  for (int c = 128; c < 160; ++c) t[c] = kInLatin1;
  t[0xED] = kInUtf8;
  t[0xEF] = kInUtf8;
  return t;
}();

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

void AppendReference(unsigned c, std::string& out) {
  char buf[16];
  int n = std::snprintf(buf, sizeof buf, "&#%u;", c);
  out.append(buf, static_cast<std::size_t>(n));
}

inline bool StartsWith(std::string_view s, std::size_t pos, std::string_view p) {
  return s.size() - pos >= p.size() && std::memcmp(s.data() + pos, p.data(), p.size()) == 0;
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool XmlAllowsChar(unsigned long c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// A numeric reference "&#N;" or "&#xH;" at `pos` that names a character XML
// allows: writes it and returns its length; 0 when there is none.
std::size_t ConvertNumericReference(std::string_view in, std::size_t pos, std::string& out) {
  std::size_t i = pos + 2;
  if (in.size() < i + 2 || in[pos + 1] != '#') return 0;
  bool hex = in[i] == 'x' || in[i] == 'X';
  if (hex) ++i;
  std::size_t start = i;
  unsigned long value = 0;
  while (i < in.size() && (hex ? IsHexDigit(in[i]) : IsDigit(in[i]))) {
    char c = in[i];
    unsigned d = IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
    if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + d;  // stays above the limit once past it
    ++i;
  }
  if (i == start || i >= in.size() || in[i] != ';' || !XmlAllowsChar(value)) return 0;
  if (value >= 128 && value <= 159 && kWindows1252[value - 128]) {
    AppendReference(kWindows1252[value - 128], out);
  } else {
    out.append(hex ? "&#x" : "&#");
    out.append(in.data() + start, i - start + 1);
  }
  return i + 1 - pos;
}

// A named reference of HTML at `pos` ("&eacute;"): writes its numeric
// references and returns its length; 0 when the name is unknown.
std::size_t ConvertNamedReference(std::string_view in, std::size_t pos, std::string& out) {
  std::size_t i = pos + 1;
  while (i < in.size() && i - pos <= 40 && IsAlnum(in[i])) ++i;
  if (i == pos + 1 || i >= in.size() || in[i] != ';') return 0;
  const char* refs = FindNamedReference(in.substr(pos + 1, i - pos - 1));
  if (!refs) return 0;
  out.append(refs);
  return i + 1 - pos;
}

}  // namespace

std::size_t XmlForbiddenUtf8At(std::string_view s, std::size_t i) {
  if (s.size() - i < 3) return 0;
  const unsigned char a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]),
                      c = static_cast<unsigned char>(s[i + 2]);
  if (a == 0xEF && b == 0xBF && (c == 0xBE || c == 0xBF)) return 3;  // U+FFFE, U+FFFF
  if (a == 0xED && b >= 0xA0 && b <= 0xBF && c >= 0x80 && c <= 0xBF) return 3;  // a surrogate
  return 0;
}

void AppendXmlSafeUtf8(std::string_view in, std::string& out) {
  std::size_t i = 0;
  while (i < in.size()) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    if (c == 0xED || c == 0xEF) {
      if (const std::size_t n = XmlForbiddenUtf8At(in, i)) {
        out.append(kReplacementUtf8);
        i += n;
        continue;
      }
    }
    out.push_back(in[i]);
    ++i;
  }
}

void ConvertSpecialChars(std::string_view in, std::string& out, ConvertMode mode, OutputEncoding enc) {
  const unsigned char stops =
      (mode == ConvertMode::QuotedValue ? 3 : 1) | (enc == OutputEncoding::Latin1 ? kInLatin1 : kInUtf8);
  std::size_t i = 0;
  const std::size_t n = in.size();
  while (i < n) {
    // Copy the run of bytes that need no attention in one go.
    std::size_t j = i;
    while (j < n && !(kStopBytes[static_cast<unsigned char>(in[j])] & stops)) ++j;
    out.append(in.data() + i, j - i);
    i = j;
    if (i >= n) break;
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (enc == OutputEncoding::Utf8 && (c == 0xED || c == 0xEF)) {
      // U+FFFE, U+FFFF and surrogates make the file no XML at all.
      const std::size_t n = XmlForbiddenUtf8At(in, i);
      if (n)
        out.append(kReplacementUtf8);
      else
        out.push_back(static_cast<char>(c));
      i += n ? n : 1;
    } else if (c >= 128) {  // a windows-1252 character in ISO-8859-1 output
      // The five bytes windows-1252 leaves undefined are control characters
      // that no font draws (FOP prints '#'): like a browser, print nothing.
      if (kWindows1252[c - 128]) AppendReference(kWindows1252[c - 128], out);
      ++i;
    } else if (ForbiddenControl(c)) {
      out.push_back(' ');
      ++i;
    } else if (c == ']') {
      if (mode != ConvertMode::QuotedValue && StartsWith(in, i, "]]>")) {
        out.append("]]&gt;");
        i += 3;
      } else {
        out.push_back(']');
        ++i;
      }
    } else if (c == '"') {
      out.append("&quot;");
      ++i;
    } else if (c == '<') {
      out.append("&lt;");
      ++i;
    } else {  // '&'
      const EntityRow* match = nullptr;
      for (const EntityRow& row : kEntityTable) {
        if (StartsWith(in, i, row.pattern)) {
          match = &row;
          break;
        }
      }
      if (!match) {
        std::size_t used = ConvertNumericReference(in, i, out);
        if (!used) used = ConvertNamedReference(in, i, out);
        if (used) {
          i += used;
          continue;
        }
        match = &kBareAmpersand;
      }
      std::string_view pat(match->pattern);
      const char* replacement = match->replacement;
      if (enc == OutputEncoding::Utf8 && match->utf8) replacement = match->utf8;
      // Only element content may take the element some entities open.
      const bool inValue = mode != ConvertMode::Text;
      if (match->opening && !inValue) out.append(match->opening);
      do {
        out.append(replacement ? replacement : match->pattern);
        i += pat.size();
      } while (StartsWith(in, i, pat));
      if (match->closing && !inValue) out.append(match->closing);
    }
  }
}

namespace {

void AppendUtf8(unsigned long c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The reference at `pos` of a value as the writer writes it: its character
// and length; length 0 when none stands there.
std::pair<unsigned long, std::size_t> ReadReference(std::string_view s, std::size_t pos) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& [name, c] : kNamed)
    if (StartsWith(s, pos, name)) return {static_cast<unsigned char>(c), name.size()};
  std::size_t i = pos + 1;
  if (i >= s.size() || s[i] != '#') return {0, 0};
  const bool hex = ++i < s.size() && (s[i] == 'x' || s[i] == 'X');
  if (hex) ++i;
  const std::size_t start = i;
  unsigned long value = 0;
  for (; i < s.size() && (hex ? IsHexDigit(s[i]) : IsDigit(s[i])); ++i) {
    const unsigned d = IsDigit(s[i]) ? s[i] - '0' : (s[i] | 0x20) - 'a' + 10;
    if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + d;
  }
  if (i == start || i >= s.size() || s[i] != ';' || !XmlAllowsChar(value)) return {0, 0};
  return {value, i + 1 - pos};
}

}  // namespace

std::string XmlAttributeValueRead(std::string_view written, OutputEncoding enc) {
  std::string read;
  read.reserve(written.size());
  for (std::size_t i = 0; i < written.size();) {
    const unsigned char c = static_cast<unsigned char>(written[i]);
    if (c == '&') {
      if (const auto [value, length] = ReadReference(written, i); length) {
        AppendUtf8(value, read);
        i += length;
        continue;
      }
    }
    // An XML parser reads a line end, a tab or a line feed in a value as a blank.
    if (c == '\r' && i + 1 < written.size() && written[i + 1] == '\n') ++i;
    if (c == '\r' || c == '\n' || c == '\t')
      read.push_back(' ');
    else if (c >= 0x80 && enc == OutputEncoding::Latin1)
      AppendUtf8(c, read);
    else
      read.push_back(static_cast<char>(c));
    ++i;
  }
  return read;
}

void ConvertSpecialChars(Text& t, ConvertMode mode, OutputEncoding enc) {
  if (t.null() || t.empty()) return;
  std::string out;
  out.reserve(t.size());
  ConvertSpecialChars(t.view(), out, mode, enc);
  t.assign(out);
}

}  // namespace ps
