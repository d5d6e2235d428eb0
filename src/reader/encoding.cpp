#include "reader/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "model/tree.h"

namespace ps {

// ---------------------------------------------------------------- prescan

namespace {

constexpr std::size_t kPrescanBytes = 1024;

bool IsPrescanSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool StartsWithNoCase(std::string_view s, std::size_t pos, std::string_view p) {
  return s.size() - pos >= p.size() && EqualsNoCase(s.substr(pos, p.size()), p);
}

// One attribute of a tag, as spans of the input (names and values compare
// without case, so they need no lower-case copy).
struct Attribute {
  std::string_view name;
  std::string_view value;
};

enum class Got { Attribute, None, End };

// Reads the attribute at `pos` the way browsers do before they parse: None
// at the tag's '>' (left in place), End when the bytes run out.
Got GetAttribute(std::string_view s, std::size_t& pos, Attribute& a) {
  const std::size_t n = s.size();
  while (pos < n && (IsPrescanSpace(s[pos]) || s[pos] == '/')) ++pos;
  if (pos >= n) return Got::End;
  if (s[pos] == '>') return Got::None;
  a = Attribute{};
  const std::size_t nameStart = pos;
  for (;; ++pos) {
    if (pos >= n) return Got::End;
    const char c = s[pos];
    if (c == '=' && pos > nameStart) break;
    if (IsPrescanSpace(c)) {
      a.name = s.substr(nameStart, pos - nameStart);
      while (pos < n && IsPrescanSpace(s[pos])) ++pos;
      if (pos >= n) return Got::End;
      if (s[pos] != '=') return Got::Attribute;  // a name without a value
      break;
    }
    if (c == '/' || c == '>') {
      a.name = s.substr(nameStart, pos - nameStart);
      return Got::Attribute;
    }
  }
  if (a.name.empty()) a.name = s.substr(nameStart, pos - nameStart);
  ++pos;  // the '='
  while (pos < n && IsPrescanSpace(s[pos])) ++pos;
  if (pos >= n) return Got::End;
  const char first = s[pos];
  if (first == '"' || first == '\'') {
    const std::size_t close = s.find(first, pos + 1);
    if (close == std::string_view::npos) return Got::End;
    a.value = s.substr(pos + 1, close - pos - 1);
    pos = close + 1;
    return Got::Attribute;
  }
  if (first == '>') return Got::Attribute;
  const std::size_t valueStart = pos;
  while (pos < n && !IsPrescanSpace(s[pos]) && s[pos] != '>') ++pos;
  if (pos >= n) return Got::End;
  a.value = s.substr(valueStart, pos - valueStart);
  return Got::Attribute;
}

// The label in a Content-Type value ("text/html; charset=koi8-r"), if any.
std::optional<std::string_view> CharsetInContent(std::string_view s) {
  std::size_t pos = 0;
  for (;;) {
    std::size_t at = pos;
    while (at < s.size() && !StartsWithNoCase(s, at, "charset")) ++at;
    if (at >= s.size()) return std::nullopt;
    pos = at + 7;
    while (pos < s.size() && IsPrescanSpace(s[pos])) ++pos;
    if (pos < s.size() && s[pos] == '=') break;
  }
  ++pos;
  while (pos < s.size() && IsPrescanSpace(s[pos])) ++pos;
  if (pos >= s.size()) return std::nullopt;
  if (s[pos] == '"' || s[pos] == '\'') {
    const std::size_t close = s.find(s[pos], pos + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return s.substr(pos + 1, close - pos - 1);
  }
  std::size_t end = pos;
  while (end < s.size() && !IsPrescanSpace(s[end]) && s[end] != ';') ++end;
  return s.substr(pos, end - pos);
}

std::string_view TrimLabel(std::string_view s) {
  while (!s.empty() && IsPrescanSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsPrescanSpace(s.back())) s.remove_suffix(1);
  return s;
}

enum class MetaResult { Found, Next, End };

// The attributes of a META element from `pos`: whether they declare an
// encoding, and the first label they name (kept even when unknown, so that
// it can be reported).
MetaResult ReadMeta(std::string_view s, std::size_t& pos, Declaration& d) {
  bool seenHttpEquiv = false, seenContent = false, seenCharset = false;
  bool gotPragma = false;
  int needPragma = -1;  // not yet, no, yes
  bool charsetSet = false;
  const Encoding* charset = nullptr;
  std::optional<std::string_view> label;
  for (;;) {
    Attribute a;
    const Got got = GetAttribute(s, pos, a);
    if (got == Got::End) return MetaResult::End;
    if (got == Got::None) break;
    if (EqualsNoCase(a.name, "http-equiv")) {
      if (seenHttpEquiv) continue;
      seenHttpEquiv = true;
      if (EqualsNoCase(a.value, "content-type")) gotPragma = true;
    } else if (EqualsNoCase(a.name, "content")) {
      if (seenContent) continue;
      seenContent = true;
      const std::optional<std::string_view> found = CharsetInContent(a.value);
      if (found && !charsetSet) {
        // An unknown label leaves the charset open for a later attribute,
        // but is kept for the report.
        label = TrimLabel(*found);
        needPragma = 1;
        charset = FindEncoding(*found);
        charsetSet = charset != nullptr;
      }
    } else if (EqualsNoCase(a.name, "charset")) {
      if (seenCharset) continue;
      seenCharset = true;
      charset = FindEncoding(a.value);
      label = TrimLabel(a.value);
      charsetSet = true;
      needPragma = 0;
    }
  }
  if (needPragma == -1 || (needPragma == 1 && !gotPragma)) return MetaResult::Next;
  if (!d.label && label && !label->empty()) d.label = label;
  if (!charset) return MetaResult::Next;
  // A page that can be prescanned is not UTF-16, whatever it says.
  if (charset->unitBytes == 2) charset = FindEncoding("utf-8");
  d.encoding = charset;
  d.label = label;
  return MetaResult::Found;
}

}  // namespace

Declaration PrescanDeclaration(std::string_view bytes) {
  const std::string_view s = bytes.substr(0, std::min(bytes.size(), kPrescanBytes));
  Declaration d;
  const std::size_t n = s.size();
  for (std::size_t pos = 0; pos < n; ++pos) {
    if (s[pos] != '<') continue;
    if (s.substr(pos, 4) == "<!--") {
      const std::size_t end = s.find("-->", pos + 2);
      if (end == std::string_view::npos) break;
      pos = end + 2;
    } else if (StartsWithNoCase(s, pos, "<meta") && pos + 5 < n && (IsPrescanSpace(s[pos + 5]) || s[pos + 5] == '/')) {
      pos += 6;
      const MetaResult r = ReadMeta(s, pos, d);
      if (r == MetaResult::Found) return d;
      if (r == MetaResult::End) break;
    } else if (pos + 1 < n && (IsAsciiLetter(s[pos + 1]) || (s[pos + 1] == '/' && pos + 2 < n && IsAsciiLetter(s[pos + 2])))) {
      while (pos < n && !IsPrescanSpace(s[pos]) && s[pos] != '>') ++pos;
      Attribute a;
      Got got;
      while ((got = GetAttribute(s, pos, a)) == Got::Attribute) {
      }
      if (got == Got::End) break;
    } else if (pos + 1 < n && (s[pos + 1] == '!' || s[pos + 1] == '/' || s[pos + 1] == '?')) {
      const std::size_t end = s.find('>', pos + 2);
      if (end == std::string_view::npos) break;
      pos = end;
    }
  }
  return d;
}

// ------------------------------------------------------------------ UTF-8

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Walks the bytes as UTF-8, calling broken(offset, length) for each broken
// sequence: a byte that starts no character, or the start of one that the
// next byte does not continue (overlong forms, surrogates and code points
// past U+10FFFF do not).
template <class Broken>
Utf8Census WalkUtf8(std::string_view s, Broken&& broken) {
  Utf8Census census;
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      // Most text is ASCII: skip it eight bytes at a time.
      ++i;
      for (std::uint64_t w; i + 8 <= n; i += 8) {
        std::memcpy(&w, s.data() + i, 8);
        if (w & 0x8080808080808080ull) break;
      }
      continue;
    }
    std::size_t need;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      broken(i, std::size_t{1});
      ++census.broken;
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k <= need && i + k < n; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if (cc < low || cc > high) break;
      low = 0x80;
      high = 0xBF;
    }
    if (k > need) {
      ++census.valid;
    } else {
      broken(i, k);
      ++census.broken;
    }
    i += k;
  }
  return census;
}

// The bytes with every broken sequence replaced by U+FFFD.
void ReplaceBrokenUtf8(std::string_view s, std::size_t broken, InputText& out, PositionMap& map) {
  out.clear();
  out.reserve(s.size() + 2 * broken);
  std::size_t copied = 0;
  bool shifted = false;  // the next '<' gets a mark
  auto copy = [&](std::size_t to) {
    const std::size_t start = out.size();
    out.append(s.data() + copied, to - copied);
    if (shifted) {
      if (const void* lt = std::memchr(out.data() + start, '<', to - copied)) {
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lt) - out.data());
        map.AfterLess(at + 1, copied + (at - start) + 1);
        shifted = false;
      }
    }
    copied = to;
  };
  WalkUtf8(s, [&](std::size_t at, std::size_t len) {
    copy(at);
    out.append(kReplacement);
    copied = at + len;
    shifted = true;
  });
  copy(s.size());
}

}  // namespace

Utf8Census CountUtf8(std::string_view bytes) {
  return WalkUtf8(bytes, [](std::size_t, std::size_t) {});
}

// --------------------------------------------------------- position map

void PositionMap::AfterLess(std::uint64_t textOffset, std::uint64_t fileOffset) {
  const std::int64_t shift = static_cast<std::int64_t>(fileOffset - textOffset);
  const std::int64_t last = marks_.empty() ? 0 : marks_.back().shift;
  if (shift != last) marks_.push_back({textOffset, shift});
}

std::uint64_t PositionMap::FileOffset(std::uint64_t textOffset) const {
  // hint_ counts the marks at or before the last offset asked for.
  if (hint_ > 0 && marks_[hint_ - 1].text > textOffset) {
    hint_ = static_cast<std::size_t>(
        std::upper_bound(marks_.begin(), marks_.end(), textOffset,
                         [](std::uint64_t t, const Mark& m) { return t < m.text; }) -
        marks_.begin());
  } else {
    while (hint_ < marks_.size() && marks_[hint_].text <= textOffset) ++hint_;
  }
  return hint_ == 0 ? textOffset : textOffset + static_cast<std::uint64_t>(marks_[hint_ - 1].shift);
}

// ------------------------------------------------------------ conversion

namespace {

// Converts `in` (which starts at file offset `base`) to UTF-8 with iconv;
// false when iconv has no conversion for the encoding. The text is converted
// piece by piece, each ending right after a '<' as the encoding writes it,
// so that the map learns where every '<' stands in both.
bool ConvertToUtf8(std::string_view in, std::size_t base, const Encoding& enc, InputText& out, PositionMap& map) {
  iconv_t cd = iconv_open("UTF-8", enc.iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  const std::size_t unit = static_cast<std::size_t>(enc.unitBytes);
  const bool bigEndian = unit == 2 && std::strcmp(enc.iconvName, "UTF-16BE") == 0;
  const std::size_t n = in.size();
  // Where the piece from `from` ends: after the next '<'; in UTF-16 only a
  // '<' on a code unit's boundary counts.
  auto pieceEnd = [&](std::size_t from) -> std::size_t {
    for (std::size_t at = from; at < n;) {
      const void* hit = std::memchr(in.data() + at, '<', n - at);
      if (!hit) break;
      const std::size_t lt = static_cast<std::size_t>(static_cast<const char*>(hit) - in.data());
      at = lt + 1;
      if (unit == 1) return lt + 1;
      if (!bigEndian && lt % 2 == 0 && lt + 1 < n && in[lt + 1] == '\0') return lt + 2;
      if (bigEndian && lt % 2 == 1 && in[lt - 1] == '\0') return lt + 1;
    }
    return n;
  };
  out.clear();
  out.resize(n + n / 2 + 64);
  std::size_t used = 0;
  auto room = [&](std::size_t want) {
    if (out.size() - used < want) out.resize(std::max(out.size() * 2, used + want));
  };
  std::size_t pos = 0;
  while (pos < n) {
    std::size_t end = pieceEnd(pos);
    while (pos < end) {
      room(16);
      char* ip = const_cast<char*>(in.data()) + pos;
      std::size_t il = end - pos;
      char* op = out.data() + used;
      std::size_t ol = out.size() - used;
      const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
      const int err = errno;
      pos = static_cast<std::size_t>(ip - in.data());
      used = static_cast<std::size_t>(op - out.data());
      if (r != static_cast<std::size_t>(-1)) break;
      if (err == E2BIG) {
        room(out.size());
        continue;
      }
      if (err == EINVAL && end < n) {
        end = pieceEnd(end);  // a character cut at the piece's end: take the next piece with it
        continue;
      }
      // An invalid sequence, or one the input ends in: one replacement
      // character for its first code unit, then on.
      room(kReplacement.size());
      std::memcpy(out.data() + used, kReplacement.data(), kReplacement.size());
      used += kReplacement.size();
      pos += std::min(unit, n - pos);
    }
    if (used > 0 && out[used - 1] == '<') map.AfterLess(used, base + pos);
  }
  room(64);
  char* op = out.data() + used;
  std::size_t ol = out.size() - used;
  iconv(cd, nullptr, nullptr, &op, &ol);
  used = static_cast<std::size_t>(op - out.data());
  iconv_close(cd);
  out.resize(used);
  return true;
}

const Encoding& Utf8Encoding() {
  static const Encoding* e = FindEncoding("utf-8");
  return *e;
}

const Encoding& Windows1252Encoding() {
  static const Encoding* e = FindEncoding("windows-1252");
  return *e;
}

// Reads the bytes as UTF-8, replacing broken sequences when there are any.
void ReadAsUtf8(std::string_view bytes, std::size_t broken, DecodedInput& out) {
  out.encoding = &Utf8Encoding();
  out.utf8 = true;
  if (broken == 0) return;
  ReplaceBrokenUtf8(bytes, broken, out.converted, out.positions);
  out.text = out.converted;
}

}  // namespace

void DecodeInput(std::string_view bytes, DecodedInput& out) {
  out.text = bytes;
  out.encoding = &Windows1252Encoding();
  // NUL bytes are no characters (the parser drops them), so they count for nothing here.
  const std::string_view text = bytes;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    // The mark stays in the text, as it always has for a valid UTF-8 page.
    ReadAsUtf8(text, CountUtf8(text).broken, out);
    return;
  }
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    const Encoding* utf16 = FindEncoding(bytes[0] == '\xFF' ? "utf-16le" : "utf-16be");
    if (ConvertToUtf8(bytes.substr(2), 2, *utf16, out.converted, out.positions)) {
      out.text = out.converted;
      out.encoding = utf16;
      out.utf8 = true;
    } else {
      out.unknown = utf16->name;
    }
    return;
  }
  const Utf8Census census = CountUtf8(text);
  if (census.valid > 0 && census.valid >= kValidPerBroken * census.broken) {
    ReadAsUtf8(text, census.broken, out);
    return;
  }
  const Declaration declared = PrescanDeclaration(text);
  const Encoding* enc = declared.encoding;
  if (!enc) {
    if (declared.label) out.unknown = std::string(*declared.label);
    return;
  }
  const bool ascii = census.valid == 0 && census.broken == 0;
  if (enc == &Utf8Encoding()) {
    if (!ascii) ReadAsUtf8(text, census.broken, out);
    return;
  }
  // ASCII reads the same in all the other encodings but the seven-bit ones.
  if (!enc->iconvName || (ascii && !enc->sevenBit)) return;
  if (!ConvertToUtf8(text, 0, *enc, out.converted, out.positions)) {
    out.unknown = std::string(declared.label.value_or(enc->name));
    return;
  }
  out.text = out.converted;
  out.encoding = enc;
  out.utf8 = true;
}

bool ConvertToUtf8(std::string_view bytes, const Encoding& enc, std::string& out) {
  Encoding e = enc;
  // UTF-8 and windows-1252 pages are read without conversion; other texts are converted.
  if (!e.iconvName) e.iconvName = std::strcmp(e.name, "UTF-8") == 0 ? "UTF-8" : "CP1252";
  InputText converted;
  PositionMap unused;
  if (!ConvertToUtf8(bytes, 0, e, converted, unused)) return false;
  out.assign(converted.data(), converted.size());
  return true;
}

std::string ValidUtf8(std::string_view bytes) {
  const std::size_t broken = CountUtf8(bytes).broken;
  if (broken == 0) return std::string(bytes);
  InputText replaced;
  PositionMap unused;
  ReplaceBrokenUtf8(bytes, broken, replaced, unused);
  return std::string(replaced.data(), replaced.size());
}

}  // namespace ps
