// Computed values of the table properties and of the padding, borders and
// width of boxes, and the shorthands that set them side by side.
#include <array>
#include <cstdint>
#include <string>

#include "style/computed.h"

namespace ps::css {

namespace {

// Percentages of padding are of the containing block's width, which the
// cascade does not know: the line of an A4 page less its margins.
constexpr double kLineWidthPt = 451.3;

bool IsWhitespace(const ComponentValue& c) {
  return c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Whitespace;
}

std::vector<const ComponentValue*> Parts(const ComponentValues& v) {
  std::vector<const ComponentValue*> out;
  for (const ComponentValue& c : v)
    if (!IsWhitespace(c)) out.push_back(&c);
  return out;
}

bool IdentIs(const ComponentValue& c, std::string_view lower) {
  if (c.kind != ComponentValue::Kind::Token || c.token.type != TokenType::Ident) return false;
  const std::string& s = c.token.value;
  if (s.size() != lower.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if ((s[i] >= 'A' && s[i] <= 'Z' ? s[i] + 32 : s[i]) != lower[i]) return false;
  return true;
}

constexpr std::array<const char*, 10> kStyles = {"none",   "hidden", "solid", "dotted", "dashed",
                                                 "double", "groove", "ridge", "inset",  "outset"};

int StyleOf(const ComponentValue& c) {
  for (std::size_t i = 0; i < kStyles.size(); ++i)
    if (IdentIs(c, kStyles[i])) return static_cast<int>(i);
  return -1;
}

// A border width in points: thin, medium, thick or a length.
bool BorderWidth(const ComponentValue& c, double emPt, double mediumPt, double& pt) {
  if (IdentIs(c, "thin")) pt = 0.75;
  else if (IdentIs(c, "medium")) pt = 2.25;
  else if (IdentIs(c, "thick")) pt = 3.75;
  else if (c.kind != ComponentValue::Kind::Token || !TokenLength(c.token, emPt, -1, mediumPt, pt) || pt < 0) return false;
  return true;
}

bool IsColor(const ComponentValue& c) {
  std::uint32_t rgb;
  return IdentIs(c, "currentcolor") || ColorOnPaper(ComponentValues{c}, rgb);
}

int SideOf(Prop p, Prop first) { return static_cast<int>(p) - static_cast<int>(first); }

bool InGroup(Prop p, Prop first) { return p >= first && p < first + 4; }

}  // namespace

bool ComputeBoxValue(Prop p, const ComponentValues& v, const Computed&, Computed& out, double mediumPt) {
  const auto parts = Parts(v);
  if (parts.empty()) return false;
  const ComponentValue& one = *parts[0];
  double pt = 0;
  if (p == kTableLayout || p == kBorderCollapse) {
    if (parts.size() != 1) return false;
    const char* off = p == kTableLayout ? "auto" : "separate";
    const char* on = p == kTableLayout ? "fixed" : "collapse";
    if (!IdentIs(one, off) && !IdentIs(one, on)) return false;
    (p == kTableLayout ? out.tableLayoutFixed : out.borderCollapse) = IdentIs(one, on);
    return true;
  }
  if (p == kBorderSpacing) {
    if (parts.size() > 2) return false;
    double h = 0, w = 0;
    if (parts[0]->kind != ComponentValue::Kind::Token || !TokenLength(parts[0]->token, out.fontSize, -1, mediumPt, h) || h < 0)
      return false;
    w = h;
    if (parts.size() == 2 &&
        (parts[1]->kind != ComponentValue::Kind::Token || !TokenLength(parts[1]->token, out.fontSize, -1, mediumPt, w) || w < 0))
      return false;
    out.borderSpacingH = static_cast<float>(std::min(h, 1e6));
    out.borderSpacingV = static_cast<float>(std::min(w, 1e6));
    return true;
  }
  if (parts.size() != 1) return false;
  if (InGroup(p, kPaddingTop)) {
    if (!Length(v, out.fontSize, kLineWidthPt, mediumPt, pt) || pt < 0) return false;
    out.padding[SideOf(p, kPaddingTop)] = static_cast<float>(std::min(pt, 1e6));
    return true;
  }
  if (InGroup(p, kBorderTopWidth)) {
    if (!BorderWidth(one, out.fontSize, mediumPt, pt)) return false;
    out.borderWidth[SideOf(p, kBorderTopWidth)] = static_cast<float>(std::min(pt, 1e6));
    return true;
  }
  if (InGroup(p, kBorderTopStyle)) {
    const int s = StyleOf(one);
    if (s < 0) return false;
    out.borderStyle[SideOf(p, kBorderTopStyle)] = static_cast<BorderStyle>(s);
    return true;
  }
  if (InGroup(p, kBorderTopColor)) {
    const int side = SideOf(p, kBorderTopColor);
    if (IdentIs(one, "currentcolor")) {
      out.borderColorGiven[side] = false;
      return true;
    }
    std::uint32_t rgb = 0;
    if (!ColorOnPaper(v, rgb)) return false;
    out.borderColorGiven[side] = true;
    out.borderColor[side] = rgb;  // transparent comes out white, as on paper
    return true;
  }
  if (p == kWidth) {
    if (IdentIs(one, "auto")) {
      out.widthKind = WidthKind::Auto;
      return true;
    }
    if (one.kind == ComponentValue::Kind::Token && one.token.type == TokenType::Percentage) {
      if (one.token.number < 0) return false;
      out.widthKind = WidthKind::Percent;
      out.width = static_cast<float>(std::min(one.token.number, 1e6));
      return true;
    }
    if (!Length(v, out.fontSize, -1, mediumPt, pt) || pt < 0) return false;
    out.widthKind = WidthKind::Length;
    out.width = static_cast<float>(std::min(pt, 1e6));
    return true;
  }
  return false;
}

void CopyBoxValue(Prop p, const Computed& from, Computed& out) {
  if (p == kTableLayout) out.tableLayoutFixed = from.tableLayoutFixed;
  else if (p == kBorderCollapse) out.borderCollapse = from.borderCollapse;
  else if (p == kBorderSpacing) {
    out.borderSpacingH = from.borderSpacingH;
    out.borderSpacingV = from.borderSpacingV;
  } else if (InGroup(p, kPaddingTop)) {
    out.padding[SideOf(p, kPaddingTop)] = from.padding[SideOf(p, kPaddingTop)];
  } else if (InGroup(p, kBorderTopWidth)) {
    out.borderWidth[SideOf(p, kBorderTopWidth)] = from.borderWidth[SideOf(p, kBorderTopWidth)];
  } else if (InGroup(p, kBorderTopStyle)) {
    out.borderStyle[SideOf(p, kBorderTopStyle)] = from.borderStyle[SideOf(p, kBorderTopStyle)];
  } else if (InGroup(p, kBorderTopColor)) {
    const int s = SideOf(p, kBorderTopColor);
    out.borderColorGiven[s] = from.borderColorGiven[s];
    out.borderColor[s] = from.borderColor[s];
  } else if (p == kWidth) {
    out.widthKind = from.widthKind;
    out.width = from.width;
  }
}

namespace {

struct BoxShorthand {
  const char* name;
  Prop first;  // the first of four sides; with `kinds`, the one side
  int sides;   // 4: the group of four; 1: one side of each kind
};

// The shorthand's longhands, and how a value splits: by sides (padding,
// border-width, -style, -color) or by kinds (border, border-top...).
constexpr BoxShorthand kBoxShorthands[] = {
    {"padding", kPaddingTop, 4},       {"border-width", kBorderTopWidth, 4}, {"border-style", kBorderTopStyle, 4},
    {"border-color", kBorderTopColor, 4}, {"border-top", kBorderTopWidth, 1}, {"border-right", kBorderRightWidth, 1},
    {"border-bottom", kBorderBottomWidth, 1}, {"border-left", kBorderLeftWidth, 1}, {"border", kPropCount, 0},
};

const BoxShorthand* FindShorthand(std::string_view name) {
  for (const BoxShorthand& s : kBoxShorthands)
    if (name == s.name) return &s;
  return nullptr;
}

ComponentValue Ident(const char* s) {
  ComponentValue c;
  c.kind = ComponentValue::Kind::Token;
  c.token.type = TokenType::Ident;
  c.token.value = s;
  return c;
}

}  // namespace

std::vector<Prop> BoxShorthandParts(std::string_view name) {
  const BoxShorthand* s = FindShorthand(name);
  if (!s) return {};
  std::vector<Prop> out;
  if (s->sides == 4) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<Prop>(s->first + i));
  } else if (s->sides == 1) {
    const int side = SideOf(s->first, kBorderTopWidth);
    for (Prop group : {kBorderTopWidth, kBorderTopStyle, kBorderTopColor}) out.push_back(static_cast<Prop>(group + side));
  } else {
    for (Prop group : {kBorderTopWidth, kBorderTopStyle, kBorderTopColor})
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<Prop>(group + i));
  }
  return out;
}

bool BoxLonghand(std::string_view name, Prop prop, const ComponentValues& value, ComponentValues& out) {
  const BoxShorthand* s = FindShorthand(name);
  if (!s) return false;
  const auto parts = Parts(value);
  if (s->sides == 4) {
    // One to four values: top, right, bottom, left, the missing ones
    // taken from the opposite side.
    if (parts.empty() || parts.size() > 4) return false;
    static constexpr int kPick[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
    const int side = SideOf(prop, s->first);
    if (side < 0 || side > 3) return false;
    out = {*parts[static_cast<std::size_t>(kPick[parts.size() - 1][side])]};
    return true;
  }
  // width || style || colour, each once; what is left out takes its initial value.
  const ComponentValue *width = nullptr, *style = nullptr, *color = nullptr;
  for (const ComponentValue* c : parts) {
    double pt = 0;
    if (!style && StyleOf(*c) >= 0) style = c;
    else if (!width && BorderWidth(*c, 12, 12, pt)) width = c;
    else if (!color && IsColor(*c)) color = c;
    else return false;
  }
  if (parts.empty()) return false;
  if (InGroup(prop, kBorderTopWidth)) out = {width ? *width : Ident("medium")};
  else if (InGroup(prop, kBorderTopStyle)) out = {style ? *style : Ident("none")};
  else if (InGroup(prop, kBorderTopColor)) out = {color ? *color : Ident("currentcolor")};
  else return false;
  return true;
}

}  // namespace ps::css
