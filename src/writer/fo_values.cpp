#include "writer/fo_values.h"

#include <cstdint>

#include "model/named_colors.h"

namespace ps {

namespace {

struct CheckedAttribute {
  const char* name;
  ValueCheck check;
};

constexpr CheckedAttribute kChecked[] = {
    {"color", ValueCheck::Color},
    {"background-color", ValueCheck::Color},
    {"border-color", ValueCheck::Color},
    {"border-left-color", ValueCheck::Color},
    {"border-right-color", ValueCheck::Color},
    {"border-top-color", ValueCheck::Color},
    {"border-bottom-color", ValueCheck::Color},
    {"border-width", ValueCheck::BorderWidth},
    {"border-left-width", ValueCheck::BorderWidth},
    {"border-right-width", ValueCheck::BorderWidth},
    {"border-top-width", ValueCheck::BorderWidth},
    {"border-bottom-width", ValueCheck::BorderWidth},
    {"margin-top", ValueCheck::Length},
    {"margin-bottom", ValueCheck::Length},
    {"margin-left", ValueCheck::Length},
    {"margin-right", ValueCheck::Length},
    {"width", ValueCheck::Extent},
    {"height", ValueCheck::Extent},
    {"line-height", ValueCheck::LineHeight},
    {"text-align", ValueCheck::TextAlign},
    {"text-decoration", ValueCheck::TextDecoration},
};

constexpr const char* kTextAligns[] = {"start", "end", "left", "right", "center", "justify", "inside", "outside", "inherit"};
constexpr const char* kDecorations[] = {"none",         "underline",    "overline",        "line-through", "blink",
                                        "no-underline", "no-overline", "no-line-through", "no-blink",     "inherit"};
constexpr const char* kBorderWidths[] = {"thin", "medium", "thick"};
// FOP reads the units in lower case only, and no others (no ex, no q).
constexpr const char* kUnits[] = {"pt", "px", "in", "cm", "mm", "pc", "em"};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view Trim(std::string_view v) {
  while (!v.empty() && IsSpace(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsSpace(v.back())) v.remove_suffix(1);
  return v;
}

template <std::size_t N>
bool OneOf(std::string_view v, const char* const (&words)[N]) {
  for (const char* w : words)
    if (v == w) return true;
  return false;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A number as FOP's expressions read it: an optional minus (FOP refuses a
// plus), digits with at most one point and no exponent; the rest is left in v.
bool TakeNumber(std::string_view& v) {
  std::size_t i = 0, digits = 0;
  if (i < v.size() && v[i] == '-') ++i;
  while (i < v.size() && IsDigit(v[i])) ++i, ++digits;
  if (i < v.size() && v[i] == '.') {
    ++i;
    while (i < v.size() && IsDigit(v[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  v.remove_prefix(i);
  return true;
}

enum Accept : unsigned { kPercent = 1, kBare = 2 };

bool IsLength(std::string_view v, unsigned accept) {
  if (!TakeNumber(v)) return false;
  if (v.empty()) return accept & kBare;
  if (v == "%") return accept & kPercent;
  return OneOf(v, kUnits);
}

bool IsColorName(std::string_view v, std::string& lower) {
  lower.clear();
  for (char c : v) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c < 'a' || c > 'z') return false;
    lower.push_back(c);
  }
  return true;
}

Verdict CheckColor(std::string_view value, std::string& out) {
  const std::string_view v = Trim(value);
  if (!v.empty() && v[0] == '#') {
    const std::string_view hex = v.substr(1);
    for (char c : hex)
      if (HexDigit(c) < 0) return Verdict::Drop;
    if (hex.size() == 3 || hex.size() == 6 || hex.size() == 8) return Verdict::Keep;
    if (hex.size() != 4) return Verdict::Drop;
    // FOP fails on the whole document for #rgba: write it long.
    out = "#";
    for (char c : hex) out.append(2, c);
    return Verdict::Replace;
  }
  if (v.substr(0, 4) == "rgb(" && v.back() == ')') {
    for (char c : v.substr(4, v.size() - 5))
      if (!IsDigit(c) && c != '.' && c != ',' && c != '%' && c != '-' && !IsSpace(c)) return Verdict::Drop;
    return Verdict::Keep;
  }
  if (!IsColorName(v, out)) return Verdict::Drop;
  if (out == "transparent" || out == "inherit") return Verdict::Keep;
  std::uint32_t rgb = 0;
  if (!NamedColorRgb(out, &rgb)) return Verdict::Drop;
  // The one name FOP 2.8 does not know.
  if (out != "rebeccapurple") return Verdict::Keep;
  static constexpr char kHex[] = "0123456789abcdef";
  out = "#";
  for (int shift = 20; shift >= 0; shift -= 4) out.push_back(kHex[(rgb >> shift) & 0xF]);
  return Verdict::Replace;
}

bool IsBorderWidths(std::string_view v) {
  int count = 0;
  for (v = Trim(v); !v.empty(); ++count) {
    std::size_t end = 0;
    while (end < v.size() && !IsSpace(v[end])) ++end;
    const std::string_view word = v.substr(0, end);
    if (!OneOf(word, kBorderWidths) && !IsLength(word, kBare)) return false;
    v = Trim(v.substr(end));
  }
  return count >= 1 && count <= 4;
}

bool IsDecoration(std::string_view v) {
  int count = 0;
  for (v = Trim(v); !v.empty(); ++count) {
    std::size_t end = 0;
    while (end < v.size() && !IsSpace(v[end])) ++end;
    if (!OneOf(v.substr(0, end), kDecorations)) return false;
    v = Trim(v.substr(end));
  }
  return count >= 1;
}

}  // namespace

ValueCheck ValueCheckOf(std::string_view name) {
  for (const CheckedAttribute& a : kChecked)
    if (name == a.name) return a.check;
  return ValueCheck::None;
}

Verdict CheckFoValue(ValueCheck check, std::string_view element, std::string_view value, std::string& replacement) {
  const std::string_view v = Trim(value);
  bool ok = true;
  switch (check) {
    case ValueCheck::None:
      return Verdict::Keep;
    case ValueCheck::Color:
      return CheckColor(value, replacement);
    case ValueCheck::Length:
      ok = v == "inherit" || IsLength(v, kPercent | kBare);
      break;
    case ValueCheck::BorderWidth:
      ok = v == "inherit" || IsBorderWidths(v);
      break;
    case ValueCheck::Extent:
      // FOP finds nothing to measure a share against in a table's rows and
      // cells, and says so once per cell; browsers ignore such heights too.
      if (!v.empty() && v.back() == '%' && (element == "fo:table-row" || element == "fo:table-cell"))
        return Verdict::Drop;
      ok = v == "auto" || v == "inherit" || IsLength(v, kPercent | kBare);
      break;
    case ValueCheck::LineHeight:
      ok = v == "normal" || v == "inherit" || IsLength(v, kPercent | kBare);
      break;
    case ValueCheck::TextAlign:
      ok = OneOf(v, kTextAligns);
      break;
    case ValueCheck::TextDecoration:
      ok = IsDecoration(v);
      break;
  }
  return ok ? Verdict::Keep : Verdict::Drop;
}

}  // namespace ps
