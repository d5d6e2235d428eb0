#include "style/computed.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "model/pool.h"
#include "model/tree.h"
#include "style/color_value.h"

namespace ps::css {

namespace {

constexpr PropSet kInheritedSet = Bit(kVisibility) | Bit(kFontFamily) | Bit(kFontSize) | Bit(kFontWeight) |
                                  Bit(kFontStyle) | Bit(kFontVariant) | Bit(kColor) | Bit(kTextTransform) |
                                  Bit(kTextAlign) | Bit(kTextIndent) | Bit(kLineHeight) | Bit(kLetterSpacing) |
                                  Bit(kWordSpacing) | Bit(kWhiteSpace) | Bit(kOrphans) | Bit(kWidows) |
                                  Bit(kListStyleType) | Bit(kListStylePosition) | Bit(kBorderCollapse) |
                                  Bit(kBorderSpacing);

// The page's width in points (A4), for vw and percentages of the line.
constexpr double kPageWidthPt = 595.3;
constexpr double kPageHeightPt = 841.9;
constexpr double kLineWidthPt = 451.3;  // A4 less the page's margins

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool Is(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != lower[i]) return false;
  return true;
}

std::string LowerCopy(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Lower(c);
  return r;
}

// The values without white space at the top level.
std::vector<const ComponentValue*> Significant(const ComponentValues& v) {
  std::vector<const ComponentValue*> out;
  for (const ComponentValue& c : v)
    if (!(c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Whitespace)) out.push_back(&c);
  return out;
}

// Asked of every declared value: found without listing the significant ones.
const Token* Single(const ComponentValues& v) {
  const ComponentValue* only = nullptr;
  for (const ComponentValue& c : v) {
    if (c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Whitespace) continue;
    if (only) return nullptr;
    only = &c;
  }
  if (!only || only->kind != ComponentValue::Kind::Token) return nullptr;
  return &only->token;
}

bool IsIdent(const ComponentValue* c, std::string_view lower) {
  return c->kind == ComponentValue::Kind::Token && c->token.type == TokenType::Ident && Is(c->token.value, lower);
}

// A length in points; em and % against `emPt` and `percentOf`. False for
// anything else (a number other than 0, an unknown unit).
bool LengthPt(const Token& t, double emPt, double percentOf, double mediumPt, double& out) {
  if (t.type == TokenType::Number && t.number == 0) {
    out = 0;
    return true;
  }
  if (t.type == TokenType::Percentage) {
    if (percentOf < 0) return false;
    out = t.number / 100 * percentOf;
    return true;
  }
  if (t.type != TokenType::Dimension) return false;
  const std::string u = LowerCopy(t.value);
  double f;
  if (u == "pt") f = 1;
  else if (u == "px") f = 0.75;
  else if (u == "pc") f = 12;
  else if (u == "in") f = 72;
  else if (u == "cm") f = 72 / 2.54;
  else if (u == "mm") f = 72 / 25.4;
  else if (u == "q") f = 72 / 101.6;
  else if (u == "em") f = emPt;
  else if (u == "rem") f = mediumPt;
  else if (u == "ex" || u == "ch") f = emPt / 2;
  else if (u == "vw") f = kPageWidthPt / 100;
  else if (u == "vh") f = kPageHeightPt / 100;
  else if (u == "vmin") f = kPageWidthPt / 100;
  else if (u == "vmax") f = kPageHeightPt / 100;
  else return false;
  out = t.number * f;
  return std::isfinite(out);
}

}  // namespace

bool Length(const ComponentValues& v, double emPt, double percentOf, double mediumPt, double& out) {
  const Token* t = Single(v);
  return t && LengthPt(*t, emPt, percentOf, mediumPt, out);
}

bool TokenLength(const Token& t, double emPt, double percentOf, double mediumPt, double& out) {
  return LengthPt(t, emPt, percentOf, mediumPt, out);
}

namespace {

std::uint16_t Bolder(std::uint16_t w) { return w < 350 ? 400 : w < 550 ? 700 : 900; }
std::uint16_t Lighter(std::uint16_t w) { return w < 550 ? 100 : w < 750 ? 400 : 700; }

bool FontSize(const ComponentValues& v, const Computed& parent, Computed& out, double mediumPt) {
  const Token* t = Single(v);
  if (!t) return false;
  if (t->type == TokenType::Ident) {
    static constexpr struct {
      const char* name;
      double factor;
    } kKeywords[] = {{"xx-small", 3.0 / 5}, {"x-small", 3.0 / 4}, {"small", 8.0 / 9}, {"medium", 1},
                     {"large", 6.0 / 5},    {"x-large", 3.0 / 2}, {"xx-large", 2},     {"xxx-large", 3}};
    for (const auto& k : kKeywords)
      if (Is(t->value, k.name)) {
        out.fontSize = static_cast<float>(mediumPt * k.factor);
        return true;
      }
    if (Is(t->value, "smaller")) {
      out.fontSize = parent.fontSize / 1.2f;
      return true;
    }
    if (Is(t->value, "larger")) {
      out.fontSize = parent.fontSize * 1.2f;
      return true;
    }
    return false;
  }
  double pt;
  if (!LengthPt(*t, parent.fontSize, parent.fontSize, mediumPt, pt) || pt < 0) return false;
  out.fontSize = static_cast<float>(std::min(pt, 10000.0));
  return true;
}

bool FontWeight(const ComponentValues& v, const Computed& parent, Computed& out) {
  const Token* t = Single(v);
  if (!t) return false;
  if (t->type == TokenType::Number) {
    if (t->number < 1 || t->number > 1000) return false;
    out.fontWeight = static_cast<std::uint16_t>(t->number);
    return true;
  }
  if (t->type != TokenType::Ident) return false;
  if (Is(t->value, "normal")) out.fontWeight = 400;
  else if (Is(t->value, "bold")) out.fontWeight = 700;
  else if (Is(t->value, "bolder")) out.fontWeight = Bolder(parent.fontWeight);
  else if (Is(t->value, "lighter")) out.fontWeight = Lighter(parent.fontWeight);
  else return false;
  return true;
}

Generic GenericOf(std::string_view lowerName) {
  if (lowerName == "serif" || lowerName == "ui-serif") return Generic::Serif;
  if (lowerName == "sans-serif" || lowerName == "system-ui" || lowerName == "ui-sans-serif") return Generic::SansSerif;
  if (lowerName == "monospace" || lowerName == "ui-monospace") return Generic::Monospace;
  if (lowerName == "cursive") return Generic::Cursive;
  if (lowerName == "fantasy") return Generic::Fantasy;
  return Generic::None;
}

// A family list: names (strings or runs of identifiers) separated by commas.
bool FontFamily(const ComponentValues& v, Computed& out) {
  std::vector<std::string> names(1);
  std::vector<bool> quoted(1, false);
  for (const ComponentValue* c : Significant(v)) {
    if (c->kind != ComponentValue::Kind::Token) return false;
    const Token& t = c->token;
    if (t.type == TokenType::Comma) {
      if (names.back().empty()) return false;
      names.emplace_back();
      quoted.push_back(false);
    } else if (t.type == TokenType::String) {
      if (!names.back().empty()) return false;
      names.back() = t.value;
      quoted.back() = true;
    } else if (t.type == TokenType::Ident) {
      if (quoted.back()) return false;
      if (!names.back().empty()) names.back() += ' ';
      names.back() += t.value;
    } else {
      return false;
    }
  }
  if (names.back().empty()) return false;
  out.family.clear();
  out.generic = Generic::None;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string lower = LowerCopy(names[i]);
    const Generic g = quoted[i] ? Generic::None : GenericOf(lower);
    if (g != Generic::None) {
      out.generic = g;
      break;
    }
    if (out.family.empty()) out.family = names[i];
  }
  return true;
}

bool TextDecoration(const ComponentValues& v, Computed& out) {
  std::uint8_t d = 0;
  bool none = false;
  for (const ComponentValue* c : Significant(v)) {
    if (IsIdent(c, "none")) none = true;
    else if (IsIdent(c, "underline")) d |= kUnderline;
    else if (IsIdent(c, "overline")) d |= kOverline;
    else if (IsIdent(c, "line-through")) d |= kLineThrough;
    // A style or colour of the line: accepted, not printed.
    else if (c->kind == ComponentValue::Kind::Token && c->token.type == TokenType::Ident) continue;
    else if (c->kind == ComponentValue::Kind::Function || c->token.type == TokenType::Hash) continue;
    else return false;
  }
  if (none && d) return false;
  out.decoration = d;
  return true;
}

bool Keyword(const ComponentValues& v, std::initializer_list<const char*> words, int& which) {
  const Token* t = Single(v);
  if (!t || t->type != TokenType::Ident) return false;
  int i = 0;
  for (const char* w : words) {
    if (Is(t->value, w)) {
      which = i;
      return true;
    }
    ++i;
  }
  return false;
}

bool ColorOf(const ComponentValues& v, const Computed& parentOrSelf, std::uint32_t& rgb) {
  const Token* t = Single(v);
  if (t && t->type == TokenType::Ident && Is(t->value, "currentcolor")) {
    rgb = parentOrSelf.color;
    return true;
  }
  return ColorOnPaper(v, rgb);
}

}  // namespace

bool ColorOnPaper(const ComponentValues& v, std::uint32_t& rgb) {
  double r, g, b, a;
  if (!ParseColorValue(v, r, g, b, a)) return false;
  auto over = [a](double c) {
    const double x = c * a + 255 * (1 - a);
    return static_cast<std::uint32_t>(std::lround(std::clamp(x, 0.0, 255.0)));
  };
  rgb = over(r) << 16 | over(g) << 8 | over(b);
  return true;
}

bool IsInherited(Prop p) { return (kInheritedSet >> p & 1) != 0; }

Prop PropOfName(std::string_view name) {
  static constexpr const char* kNames[] = {
      "display",         "visibility",     "font-family",    "font-size",   "font-weight",    "font-style",
      "font-variant",    "color",          "text-decoration", "text-transform", "vertical-align", "text-align",
      "text-indent",     "line-height",    "letter-spacing", "word-spacing", "white-space",    "background-color",
      "margin-top",      "margin-right",   "margin-bottom",  "margin-left", "padding-top",    "padding-right",
      "padding-bottom",  "padding-left",   "border-top-width", "border-right-width", "border-bottom-width",
      "border-left-width", "border-top-style", "border-right-style", "border-bottom-style", "border-left-style",
      "border-top-color", "border-right-color", "border-bottom-color", "border-left-color", "width", "max-width",
      "break-before",    "break-after",    "break-inside",   "orphans",     "widows",         "list-style-type",
      "list-style-position", "table-layout", "border-collapse", "border-spacing"};
  static_assert(sizeof kNames / sizeof *kNames == kPropCount);
  for (int i = 0; i < kPropCount; ++i)
    if (Is(name, kNames[i])) return static_cast<Prop>(i);
  return kPropCount;
}

void SetInitial(Prop p, Computed& out, double mediumPt) {
  static const Computed initial;  // built once: the cascade resets every element's own properties
  CopyValue(p, initial, out);
  if (p == kFontSize) out.fontSize = static_cast<float>(mediumPt);
}

void CopyValue(Prop p, const Computed& from, Computed& out) {
  switch (p) {
    case kDisplay: out.display = from.display; break;
    case kVisibility: out.hidden = from.hidden; break;
    case kFontFamily:
      out.generic = from.generic;
      out.family = from.family;
      break;
    case kFontSize: out.fontSize = from.fontSize; break;
    case kFontWeight: out.fontWeight = from.fontWeight; break;
    case kFontStyle: out.italic = from.italic; break;
    case kFontVariant: out.smallCaps = from.smallCaps; break;
    case kColor: out.color = from.color; break;
    case kTextDecoration: out.decoration = from.decoration; break;
    case kTextTransform: out.transform = from.transform; break;
    case kVerticalAlign:
      out.valign = from.valign;
      out.valignPt = from.valignPt;
      out.cellAlign = from.cellAlign;
      break;
    case kTextAlign: out.textAlign = from.textAlign; break;
    case kTextIndent: out.textIndent = from.textIndent; break;
    case kLineHeight:
      out.lineHeightNormal = from.lineHeightNormal;
      out.lineHeightFactor = from.lineHeightFactor;
      out.lineHeight = from.lineHeight;
      break;
    case kLetterSpacing: out.letterSpacing = from.letterSpacing; break;
    case kWordSpacing: out.wordSpacing = from.wordSpacing; break;
    case kWhiteSpace: out.whiteSpace = from.whiteSpace; break;
    case kBackgroundColor:
      out.background = from.background;
      out.backgroundColor = from.backgroundColor;
      break;
    case kMarginTop:
    case kMarginRight:
    case kMarginBottom:
    case kMarginLeft: {
      const int side = p - kMarginTop;
      out.margin[side] = from.margin[side];
      out.marginAuto = static_cast<std::uint8_t>((out.marginAuto & ~(1 << side)) | (from.marginAuto & (1 << side)));
      break;
    }
    case kPaddingTop:
    case kPaddingRight:
    case kPaddingBottom:
    case kPaddingLeft: out.padding[p - kPaddingTop] = from.padding[p - kPaddingTop]; break;
    case kBorderTopWidth:
    case kBorderRightWidth:
    case kBorderBottomWidth:
    case kBorderLeftWidth: out.borderWidth[p - kBorderTopWidth] = from.borderWidth[p - kBorderTopWidth]; break;
    case kBorderTopStyle:
    case kBorderRightStyle:
    case kBorderBottomStyle:
    case kBorderLeftStyle: out.borderStyle[p - kBorderTopStyle] = from.borderStyle[p - kBorderTopStyle]; break;
    case kBorderTopColor:
    case kBorderRightColor:
    case kBorderBottomColor:
    case kBorderLeftColor: out.borderColor[p - kBorderTopColor] = from.borderColor[p - kBorderTopColor]; break;
    case kWidth:
      out.width = from.width;
      out.widthPercent = from.widthPercent;
      break;
    case kMaxWidth:
      out.maxWidth = from.maxWidth;
      out.maxWidthPercent = from.maxWidthPercent;
      break;
    case kBreakBefore: out.breakBefore = from.breakBefore; break;
    case kBreakAfter: out.breakAfter = from.breakAfter; break;
    case kBreakInside: out.avoidBreakInside = from.avoidBreakInside; break;
    case kOrphans: out.orphans = from.orphans; break;
    case kWidows: out.widows = from.widows; break;
    case kListStyleType: out.listStyle = from.listStyle; break;
    case kListStylePosition: out.listInside = from.listInside; break;
    case kPropCount: break;
    default: CopyBoxValue(p, from, out); break;
  }
}

bool ComputeValue(Prop p, const ComponentValues& v, const Computed& parent, Computed& out, double mediumPt) {
  int k = 0;
  double pt = 0;
  switch (p) {
    case kDisplay: {
      const Token* t = Single(v);
      if (!t || t->type != TokenType::Ident) return false;
      const std::string d = LowerCopy(t->value);
      if (d == "none") out.display = Display::None;
      else if (d == "block" || d == "flow-root" || d == "flex" || d == "grid" || d == "table" ||
               d == "table-caption" || d == "table-row" || d == "table-cell" || d == "table-row-group" ||
               d == "table-header-group" || d == "table-footer-group")
        out.display = d == "block" ? Display::Block : Display::Other;
      else if (d == "list-item") out.display = Display::ListItem;
      else if (d == "inline" || d == "inline-block" || d == "inline-flex" || d == "inline-grid" ||
               d == "inline-table" || d == "contents")
        out.display = d == "inline" ? Display::Inline : Display::Other;
      else return false;
      return true;
    }
    case kVisibility:
      if (!Keyword(v, {"visible", "hidden", "collapse"}, k)) return false;
      out.hidden = k != 0;
      return true;
    case kFontFamily: return FontFamily(v, out);
    case kFontSize: return FontSize(v, parent, out, mediumPt);
    case kFontWeight: return FontWeight(v, parent, out);
    case kFontStyle: {
      auto s = Significant(v);
      if (s.empty() || s[0]->kind != ComponentValue::Kind::Token || s[0]->token.type != TokenType::Ident) return false;
      if (Is(s[0]->token.value, "normal") && s.size() == 1) out.italic = false;
      else if (Is(s[0]->token.value, "italic") && s.size() == 1) out.italic = true;
      else if (Is(s[0]->token.value, "oblique")) out.italic = true;  // an angle may follow
      else return false;
      return true;
    }
    case kFontVariant:
      if (!Keyword(v, {"normal", "small-caps", "none", "all-small-caps"}, k)) return false;
      out.smallCaps = k == 1 || k == 3;
      return true;
    case kColor: return ColorOf(v, parent, out.color);
    case kTextDecoration: return TextDecoration(v, out);
    case kTextTransform:
      if (!Keyword(v, {"none", "uppercase", "lowercase", "capitalize"}, k)) return false;
      out.transform = static_cast<Transform>(k);
      return true;
    case kVerticalAlign:
      if (Keyword(v, {"baseline", "sub", "super", "top", "text-top", "middle", "bottom", "text-bottom"}, k)) {
        out.valign = k == 0 ? VAlign::Baseline : k == 1 ? VAlign::Sub : k == 2 ? VAlign::Super : VAlign::Other;
        out.cellAlign = k == 3 || k == 4 ? CellAlign::Top
                        : k == 5         ? CellAlign::Middle
                        : k == 6 || k == 7 ? CellAlign::Bottom
                                           : CellAlign::Baseline;
        return true;
      }
      if (!Length(v, out.fontSize, out.fontSize * 1.2, mediumPt, pt)) return false;
      out.valign = VAlign::Length;
      out.valignPt = static_cast<float>(pt);
      out.cellAlign = CellAlign::Baseline;
      return true;
    case kTextAlign:
      if (!Keyword(v, {"start", "left", "right", "center", "justify", "end", "-webkit-center", "-moz-center",
                       "match-parent", "justify-all"},
                   k))
        return false;
      out.textAlign = k >= 8 ? (k == 9 ? TextAlign::Justify : parent.textAlign)
                      : k >= 6 ? TextAlign::Center
                               : static_cast<TextAlign>(k);
      return true;
    case kTextIndent:
      if (!Length(v, out.fontSize, kLineWidthPt, mediumPt, pt)) return false;
      out.textIndent = static_cast<float>(pt);
      return true;
    case kLineHeight: {
      const Token* t = Single(v);
      if (!t) return false;
      if (t->type == TokenType::Ident && Is(t->value, "normal")) {
        out.lineHeightNormal = true;
        out.lineHeightFactor = 0;
        return true;
      }
      if (t->type == TokenType::Number) {
        if (t->number < 0) return false;
        out.lineHeightNormal = false;
        out.lineHeightFactor = static_cast<float>(std::min(t->number, 1000.0));
        return true;
      }
      if (!LengthPt(*t, out.fontSize, out.fontSize, mediumPt, pt) || pt < 0) return false;
      out.lineHeightNormal = false;
      out.lineHeightFactor = 0;
      out.lineHeight = static_cast<float>(std::min(pt, 10000.0));
      return true;
    }
    case kLetterSpacing:
    case kWordSpacing: {
      const Token* t = Single(v);
      if (!t) return false;
      if (t->type == TokenType::Ident && Is(t->value, "normal")) {
        pt = 0;
      } else if (!LengthPt(*t, out.fontSize, p == kWordSpacing ? out.fontSize / 4 : -1, mediumPt, pt)) {
        return false;
      }
      (p == kLetterSpacing ? out.letterSpacing : out.wordSpacing) = static_cast<float>(std::clamp(pt, -1000.0, 1000.0));
      return true;
    }
    case kWhiteSpace:
      if (!Keyword(v, {"normal", "pre", "pre-wrap", "pre-line", "nowrap", "break-spaces"}, k)) return false;
      out.whiteSpace = k == 5 ? WhiteSpace::PreWrap : static_cast<WhiteSpace>(k);
      return true;
    case kBackgroundColor: {
      const Token* t = Single(v);
      if (t && t->type == TokenType::Ident && Is(t->value, "transparent")) {
        out.background = false;
        return true;
      }
      double r, g, b, a;
      if (!(t && t->type == TokenType::Ident && Is(t->value, "currentcolor")) && ParseColorValue(v, r, g, b, a) &&
          a <= 0) {
        out.background = false;
        return true;
      }
      if (!ColorOf(v, out, out.backgroundColor)) return false;
      out.background = true;
      return true;
    }
    case kMarginTop:
    case kMarginRight:
    case kMarginBottom:
    case kMarginLeft: {
      const int side = p - kMarginTop;
      const Token* t = Single(v);
      if (!t) return false;
      if (t->type == TokenType::Ident && Is(t->value, "auto")) {
        out.margin[side] = 0;
        out.marginAuto = static_cast<std::uint8_t>(out.marginAuto | 1 << side);
        return true;
      }
      if (!LengthPt(*t, out.fontSize, kLineWidthPt, mediumPt, pt)) return false;
      out.margin[side] = static_cast<float>(std::clamp(pt, -kPageHeightPt, kPageHeightPt));
      out.marginAuto = static_cast<std::uint8_t>(out.marginAuto & ~(1 << side));
      return true;
    }
    case kPaddingTop:
    case kPaddingRight:
    case kPaddingBottom:
    case kPaddingLeft:
      if (!Length(v, out.fontSize, kLineWidthPt, mediumPt, pt) || pt < 0) return false;
      out.padding[p - kPaddingTop] = static_cast<float>(std::min(pt, kPageHeightPt));
      return true;
    case kBorderTopWidth:
    case kBorderRightWidth:
    case kBorderBottomWidth:
    case kBorderLeftWidth: {
      // thin, medium and thick are 1, 3 and 5 pixels, as browsers draw them.
      if (Keyword(v, {"thin", "medium", "thick"}, k)) pt = 0.75 + 1.5 * k;
      else if (!Length(v, out.fontSize, -1, mediumPt, pt) || pt < 0) return false;
      out.borderWidth[p - kBorderTopWidth] = static_cast<float>(std::min(pt, 100.0));
      return true;
    }
    case kBorderTopStyle:
    case kBorderRightStyle:
    case kBorderBottomStyle:
    case kBorderLeftStyle:
      if (!Keyword(v, {"none", "hidden", "solid", "dashed", "dotted", "double", "groove", "ridge", "inset", "outset"},
                   k))
        return false;
      out.borderStyle[p - kBorderTopStyle] = static_cast<BorderStyle>(k);
      return true;
    case kBorderTopColor:
    case kBorderRightColor:
    case kBorderBottomColor:
    case kBorderLeftColor: {
      const Token* t = Single(v);
      if (t && t->type == TokenType::Ident && Is(t->value, "currentcolor")) {
        out.borderColor[p - kBorderTopColor] = kCurrentColor;
        return true;
      }
      return ColorOf(v, out, out.borderColor[p - kBorderTopColor]);
    }
    case kWidth:
    case kMaxWidth: {
      const Token* t = Single(v);
      if (!t) return false;
      float& len = p == kWidth ? out.width : out.maxWidth;
      float& percent = p == kWidth ? out.widthPercent : out.maxWidthPercent;
      if (t->type == TokenType::Ident && Is(t->value, p == kWidth ? "auto" : "none")) {
        len = percent = -1;
        return true;
      }
      if (t->type == TokenType::Percentage) {
        if (t->number < 0) return false;
        percent = static_cast<float>(std::min(t->number, 1000.0));
        len = static_cast<float>(percent / 100 * kLineWidthPt);
        return true;
      }
      if (!LengthPt(*t, out.fontSize, -1, mediumPt, pt) || pt < 0) return false;
      len = static_cast<float>(std::min(pt, 100000.0));
      percent = -1;
      return true;
    }
    case kBreakBefore:
    case kBreakAfter: {
      // page-break-before and -after share these: always is page.
      if (!Keyword(v, {"auto", "avoid", "page", "left", "right", "always", "recto", "verso", "avoid-page", "column",
                       "avoid-column"},
                   k))
        return false;
      static constexpr Break kBreaks[] = {Break::Auto, Break::Avoid, Break::Page, Break::Left,  Break::Right, Break::Page,
                                          Break::Right, Break::Left, Break::Avoid, Break::Auto, Break::Auto};
      (p == kBreakBefore ? out.breakBefore : out.breakAfter) = kBreaks[k];
      return true;
    }
    case kBreakInside:
      if (!Keyword(v, {"auto", "avoid", "avoid-page", "avoid-column"}, k)) return false;
      out.avoidBreakInside = k == 1 || k == 2;
      return true;
    case kOrphans:
    case kWidows: {
      const Token* t = Single(v);
      if (!t || t->type != TokenType::Number || t->number < 1 || t->number != std::floor(t->number)) return false;
      (p == kOrphans ? out.orphans : out.widows) = static_cast<std::uint16_t>(std::min(t->number, 1000.0));
      return true;
    }
    case kListStyleType:
      if (!Keyword(v, {"disc", "circle", "square", "decimal", "decimal-leading-zero", "lower-alpha", "upper-alpha",
                       "lower-roman", "upper-roman", "lower-greek", "none", "lower-latin", "upper-latin"},
                   k)) {
        // Another counter style counts in decimal where it is unknown; a
        // string is a bullet of the page's own, for which the disc stands.
        const Token* t = Single(v);
        if (!t || (t->type != TokenType::Ident && t->type != TokenType::String)) return false;
        k = t->type == TokenType::Ident ? 3 : 0;
      }
      out.listStyle = k == 11 ? ListStyle::LowerAlpha : k == 12 ? ListStyle::UpperAlpha : static_cast<ListStyle>(k);
      return true;
    case kListStylePosition:
      if (!Keyword(v, {"outside", "inside"}, k)) return false;
      out.listInside = k == 1;
      return true;
    case kPropCount: break;
    default: return ComputeBoxValue(p, v, parent, out, mediumPt);
  }
  return false;
}

std::uint64_t ComputedStyles::CheckOf(const TagNode* n) {
  return n->position() | std::uint64_t{static_cast<std::uint8_t>(n->def.index() + 1)} << 48;
}

ComputedStyles::~ComputedStyles() = default;

const Computed* ComputedStyles::Find(const TagNode* n) const {
  const std::size_t k = BlockPool<sizeof(TagNode)>::IndexOf(n);
  if (k >= slotCount_) return nullptr;
  const Slot& slot = slots_[k];
  return slot.computed && slot.check == CheckOf(n) ? slot.computed : nullptr;
}

void ComputedStyles::MakeRoomForAll() {
  const std::size_t all = BlockPool<sizeof(TagNode)>::Capacity();
  if (all <= slotCount_) return;
  if (!slots_) {
    // A large page's input has just left huge pages of memory already
    // faulted in: clearing them costs less than faulting fresh ones.
    const std::size_t whole = (all * sizeof(Slot) + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    if (char* run = all * sizeof(Slot) >= kHugePageBytes ? TakeSpareRun(whole) : nullptr) {
      std::memset(run, 0, all * sizeof(Slot));
      slots_ = std::unique_ptr<Slot[], FreeSlots>(reinterpret_cast<Slot*>(run), FreeSlots{whole});
    } else {
      slots_ = std::unique_ptr<Slot[], FreeSlots>(static_cast<Slot*>(std::calloc(all, sizeof(Slot))), FreeSlots{0});
    }
    if (!slots_) throw std::bad_alloc();
  } else {  // nodes made after the first entry (not while parts fill the table)
    auto* grown = static_cast<Slot*>(std::calloc(all, sizeof(Slot)));
    if (!grown) throw std::bad_alloc();
    std::memcpy(static_cast<void*>(grown), slots_.get(), slotCount_ * sizeof(Slot));
    slots_ = std::unique_ptr<Slot[], FreeSlots>(grown, FreeSlots{0});
  }
  slotCount_ = all;
}

ComputedStyles::Slot* ComputedStyles::SlotOf(const TagNode* n) {
  const std::size_t k = BlockPool<sizeof(TagNode)>::IndexOf(n);
  if (k >= slotCount_) MakeRoomForAll();
  Slot& slot = slots_[k];
  if (slot.computed) return nullptr;  // the first entry of a node stays, as before
  return &slot;
}

std::size_t ComputedStyles::size() const {
  std::size_t n = own_.size();
  for (const auto& p : parts_) n += p->size();
  return n;
}

std::uint32_t ComputedStyles::Part::Put(const TagNode* n, Computed c) {
  Slot* slot = nullptr;
  if (table_) {
    slot = table_->SlotOf(n);
    if (!slot) return kNoEntry;
  }
  const auto entry = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back(std::move(c));
  if (slot) *slot = Slot{&entries_.back(), CheckOf(n)};
  return entry;
}

void ComputedStyles::Part::Share(const TagNode* n, std::uint32_t entry) {
  if (entry >= entries_.size() || !table_) return;
  if (Slot* slot = table_->SlotOf(n)) *slot = Slot{&entries_[entry], CheckOf(n)};
}

}  // namespace ps::css
