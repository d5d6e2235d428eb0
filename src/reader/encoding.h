// How the input's bytes are read: the byte order mark, UTF-8 that reads as
// such, the page's own declaration, or windows-1252; and the conversion of
// other encodings to UTF-8 before the page is parsed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/huge_pages.h"

namespace ps {

// An encoding a page may be written in, under its usual name.
struct Encoding {
  const char* name;
  const char* iconvName;  // nullptr: read without conversion (UTF-8, windows-1252)
  int unitBytes;          // the code unit: 2 for UTF-16, else 1
  bool sevenBit;          // written in bytes below 128 (ISO-2022): converted even when all is ASCII
};

// The encoding a label names ("latin1", " Shift_JIS "), as browsers resolve
// labels; nullptr for a label they do not know.
const Encoding* FindEncoding(std::string_view label);

// The encoding a page declares in a META element within its first 1,024
// bytes, found as browsers find it before parsing. `label` is the label as
// written (trimmed), kept also when no encoding has that label.
struct Declaration {
  const Encoding* encoding = nullptr;
  // The label of the encoding, or else the first label that would have
  // counted had it been known.
  std::optional<std::string_view> label;
};
Declaration PrescanDeclaration(std::string_view bytes);

// The bytes as UTF-8: how many multi-byte characters are well formed, and how
// many broken sequences (each the longest start of a character that cannot
// go on) a reader would replace by U+FFFD.
struct Utf8Census {
  std::size_t valid = 0;
  std::size_t broken = 0;
};
Utf8Census CountUtf8(std::string_view bytes);

// A page that is UTF-8 but for a few broken sequences is still read as UTF-8
// when it has at least this many well-formed multi-byte characters for each
// broken one; in pages written in a legacy encoding, byte pairs that happen to
// be UTF-8 are far rarer than the bytes that are not.
constexpr std::size_t kValidPerBroken = 8;

// Offsets in the text the parser reads, mapped back to offsets in the file as
// given. It is exact right after every '<' (where tag positions are taken)
// and elsewhere shifts like the last '<' before. Only the places where the
// shift changes are kept, so memory grows with the tags at most; lookups in
// increasing order, as the parser makes them, cost a constant time each.
class PositionMap {
 public:
  // The offset in the text right after a '<' and the file's offset after it.
  void AfterLess(std::uint64_t textOffset, std::uint64_t fileOffset);
  std::uint64_t FileOffset(std::uint64_t textOffset) const;
  std::size_t checkpoints() const { return marks_.size(); }

 private:
  struct Mark {
    std::uint64_t text;
    std::int64_t shift;  // file offset minus text offset from here on
  };
  std::vector<Mark> marks_;
  mutable std::size_t hint_ = 0;
};

// The text a page's parser reads, and what the FO declares.
struct DecodedInput {
  DecodedInput() = default;
  DecodedInput(const DecodedInput&) = delete;  // the text may point into itself
  DecodedInput& operator=(const DecodedInput&) = delete;
  std::string_view text;  // the input itself, or `converted`
  InputText converted;
  bool utf8 = false;      // the text is UTF-8 beyond ASCII, or converted to it: the FO says UTF-8
  PositionMap positions;
  const Encoding* encoding = nullptr;    // the encoding read
  std::optional<std::string> unknown;    // a declared label that could not be read, as written
};

// Decides how the bytes are read and converts them when needed. Every byte
// sequence that is invalid in the encoding read becomes U+FFFD. A label no
// conversion exists for leaves the page read as windows-1252, with `unknown`
// set.
void DecodeInput(std::string_view bytes, DecodedInput& out);

// For other texts than the page (style sheets): the bytes of the encoding
// as UTF-8, every invalid sequence U+FFFD; false when iconv has no
// conversion for the encoding.
bool ConvertToUtf8(std::string_view bytes, const Encoding& enc, std::string& out);
// The bytes with every broken UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view bytes);

}  // namespace ps
