#include "writer/entities.h"

#include <cstring>

namespace ps {

namespace {

struct EntityRow {
  const char* pattern;
  const char* replacement;  // nullptr: the pattern passes unchanged
  const char* opening;
  const char* closing;
};

// pattern, replacement, opening text, closing text; the bare "&" comes last so
// that it only sees what no other row claimed.
constexpr EntityRow kEntityTable[] = {
    {"&nbsp;", " ", "<fo:inline white-space-collapse=\"false\">", "</fo:inline>"},
    {"&quot;", nullptr, nullptr, nullptr},
    {"&auml;", "\xE4", nullptr, nullptr},
    {"&ouml;", "\xF6", nullptr, nullptr},
    {"&uuml;", "\xFC", nullptr, nullptr},
    {"&Auml;", "\xC4", nullptr, nullptr},
    {"&Ouml;", "\xD6", nullptr, nullptr},
    {"&Uuml;", "\xDC", nullptr, nullptr},
    {"&szlig;", "\xDF", nullptr, nullptr},
    {"&gt;", nullptr, nullptr, nullptr},
    {"&lt;", nullptr, nullptr, nullptr},
    {"&sect;", "&#167;", nullptr, nullptr},  // not an XML entity
    {"&amp;", nullptr, nullptr, nullptr},
    {"&copy;", "\xA9", nullptr, nullptr},
    {"&", "&#38;", nullptr, nullptr},
};

// Bytes XML 1.0 forbids in any text; they are written as a blank.
inline bool ForbiddenControl(unsigned char c) {
  return (c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x1F);
}

inline bool StartsWith(std::string_view s, std::size_t pos, std::string_view p) {
  return s.size() - pos >= p.size() && std::memcmp(s.data() + pos, p.data(), p.size()) == 0;
}

}  // namespace

void ConvertSpecialChars(std::string_view in, std::string& out, ConvertMode mode) {
  std::size_t i = 0;
  const std::size_t n = in.size();
  while (i < n) {
    // Copy the run of bytes that need no attention in one go.
    std::size_t j = i;
    while (j < n) {
      unsigned char c = static_cast<unsigned char>(in[j]);
      if (c == '&' || ForbiddenControl(c) || c == ']' ||
          (mode == ConvertMode::QuotedValue && (c == '"' || c == '<')))
        break;
      ++j;
    }
    out.append(in.data() + i, j - i);
    i = j;
    if (i >= n) break;
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (ForbiddenControl(c)) {
      out.push_back(' ');
      ++i;
    } else if (c == ']') {
      if (mode == ConvertMode::Text && StartsWith(in, i, "]]>")) {
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
      for (const EntityRow& row : kEntityTable) {
        std::string_view pat(row.pattern);
        if (!StartsWith(in, i, pat)) continue;
        bool inValue = mode == ConvertMode::QuotedValue;
        if (row.opening && !inValue) out.append(row.opening);
        do {
          out.append(row.replacement ? row.replacement : row.pattern);
          i += pat.size();
        } while (StartsWith(in, i, pat));
        if (row.closing && !inValue) out.append(row.closing);
        break;
      }
    }
  }
}

void ConvertSpecialChars(Text& t, ConvertMode mode) {
  if (t.null() || t.empty()) return;
  std::string out;
  out.reserve(t.size());
  ConvertSpecialChars(t.view(), out, mode);
  t.assign(out);
}

}  // namespace ps
