// A style sheet's bytes as text: which encoding they are in, decided as
// CSS Syntax Level 3 says (byte order mark, the transport's label, an
// @charset rule written exactly so, the referring document's encoding,
// UTF-8), and their conversion.
#include <string>

#include "reader/encoding.h"
#include "style/syntax.h"

namespace ps::css {

namespace {

struct ByteOrderMark {
  std::string_view bytes;
  const char* label;
};
constexpr ByteOrderMark kMarks[] = {
    {"\xEF\xBB\xBF", "utf-8"}, {"\xFE\xFF", "utf-16be"}, {"\xFF\xFE", "utf-16le"},
};

// The label of `@charset "…";` when the sheet begins with exactly those
// bytes (one space, double quotes, no space before the semicolon).
std::string_view CharsetLabel(std::string_view bytes) {
  constexpr std::string_view kStart = "@charset \"";
  if (bytes.substr(0, kStart.size()) != kStart) return {};
  const std::size_t quote = bytes.find('"', kStart.size());
  if (quote == std::string_view::npos || quote + 1 >= bytes.size() || bytes[quote + 1] != ';') return {};
  return bytes.substr(kStart.size(), quote - kStart.size());
}

const Encoding* Lookup(std::string_view label) { return label.empty() ? nullptr : FindEncoding(label); }

}  // namespace

std::string DecodeSheet(std::string_view bytes, std::string_view documentEncoding) {
  return DecodeSheet(bytes, {}, documentEncoding, nullptr);
}

std::string DecodeSheet(std::string_view bytes, std::string_view transportEncoding,
                        std::string_view documentEncoding, std::string* used) {
  const Encoding* enc = nullptr;
  for (const ByteOrderMark& m : kMarks) {
    if (bytes.substr(0, m.bytes.size()) == m.bytes) {
      enc = FindEncoding(m.label);
      bytes.remove_prefix(m.bytes.size());
      break;
    }
  }
  if (!enc) enc = Lookup(transportEncoding);
  if (!enc) {
    enc = Lookup(CharsetLabel(bytes));
    // A sheet that names UTF-16 in ASCII bytes is not UTF-16.
    if (enc && enc->unitBytes == 2) enc = FindEncoding("utf-8");
  }
  if (!enc) {
    // A page in UTF-16 passes nothing on: a sheet it links to is written in
    // bytes, as @charset's UTF-16 is read as UTF-8 too.
    enc = Lookup(documentEncoding);
    if (enc && enc->unitBytes == 2) enc = nullptr;
  }
  if (!enc) enc = FindEncoding("utf-8");
  std::string text;
  if (enc != FindEncoding("utf-8") && !ConvertToUtf8(bytes, *enc, text)) enc = FindEncoding("utf-8");
  if (enc == FindEncoding("utf-8")) text = ValidUtf8(bytes);
  if (used) *used = enc->name;
  return text;
}

}  // namespace ps::css
