#include "writer/uri.h"

namespace ps {

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Unreserved and reserved characters of a URI, less '[' and ']' (which are
// only valid around an IP literal), '#' and '%' (handled by the caller).
bool UriAllows(unsigned long c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '.': case '_': case '~':
    case ':': case '/': case '?': case '@':
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}

void PutByte(unsigned char b, std::string& out) {
  static const char kHex[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(kHex[b >> 4]);
  out.push_back(kHex[b & 15]);
}

void PutUtf8(unsigned long c, std::string& out) {
  if (c < 0x80) {
    PutByte(static_cast<unsigned char>(c), out);
  } else if (c < 0x800) {
    PutByte(static_cast<unsigned char>(0xC0 | (c >> 6)), out);
    PutByte(static_cast<unsigned char>(0x80 | (c & 0x3F)), out);
  } else if (c < 0x10000) {
    PutByte(static_cast<unsigned char>(0xE0 | (c >> 12)), out);
    PutByte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)), out);
    PutByte(static_cast<unsigned char>(0x80 | (c & 0x3F)), out);
  } else {
    PutByte(static_cast<unsigned char>(0xF0 | (c >> 18)), out);
    PutByte(static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)), out);
    PutByte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)), out);
    PutByte(static_cast<unsigned char>(0x80 | (c & 0x3F)), out);
  }
}

// The character of a reference at the start of `s` ("&gt;", "&#233;",
// "&#x263A;"), with the reference's length; false when there is none.
bool ReadReference(std::string_view s, unsigned long& c, std::size_t& len) {
  static const struct {
    const char* text;
    unsigned long c;
  } kNamed[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& n : kNamed) {
    std::string_view t(n.text);
    if (s.substr(0, t.size()) == t) {
      c = n.c;
      len = t.size();
      return true;
    }
  }
  if (s.size() < 4 || s[1] != '#') return false;
  std::size_t i = 2;
  bool hex = s[i] == 'x';
  if (hex) ++i;
  std::size_t start = i;
  unsigned long v = 0;
  while (i < s.size() && (hex ? IsHex(s[i]) : (s[i] >= '0' && s[i] <= '9'))) {
    unsigned d = s[i] <= '9' ? s[i] - '0' : (s[i] | 0x20) - 'a' + 10;
    if (v <= 0x10FFFF) v = v * (hex ? 16 : 10) + d;
    ++i;
  }
  if (i == start || i >= s.size() || s[i] != ';' || v > 0x10FFFF) return false;
  c = v;
  len = i + 1;
  return true;
}

}  // namespace

void PercentEncodeUri(std::string_view value, std::string& out) {
  bool hashSeen = false;
  for (std::size_t i = 0; i < value.size();) {
    char ch = value[i];
    unsigned char b = static_cast<unsigned char>(ch);
    if (ch == '&') {
      unsigned long c;
      std::size_t len;
      if (ReadReference(value.substr(i), c, len)) {
        if (UriAllows(c))
          out.append(value.substr(i, len));  // "&amp;" and friends stay escaped for XML
        else
          PutUtf8(c, out);
        i += len;
        continue;
      }
      out.push_back(ch);
    } else if (ch == '#' && !hashSeen) {
      hashSeen = true;
      out.push_back(ch);
    } else if (ch == '%') {
      if (i + 2 < value.size() && IsHex(value[i + 1]) && IsHex(value[i + 2]))
        out.push_back('%');
      else
        out.append("%25");
    } else if (b >= 0x80 || !UriAllows(b)) {
      PutByte(b, out);
    } else {
      out.push_back(ch);
    }
    ++i;
  }
}

}  // namespace ps
