// Computed values of the table properties.
#include <array>
#include <cstdint>
#include <string>

#include "style/computed.h"

namespace ps::css {

namespace {


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


}  // namespace

bool ComputeBoxValue(Prop p, const ComponentValues& v, const Computed&, Computed& out, double mediumPt) {
  const auto parts = Parts(v);
  if (parts.empty()) return false;
  const ComponentValue& one = *parts[0];
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
  return false;
}

void CopyBoxValue(Prop p, const Computed& from, Computed& out) {
  if (p == kTableLayout) out.tableLayoutFixed = from.tableLayoutFixed;
  else if (p == kBorderCollapse) out.borderCollapse = from.borderCollapse;
  else if (p == kBorderSpacing) {
    out.borderSpacingH = from.borderSpacingH;
    out.borderSpacingV = from.borderSpacingV;
  }
}


}  // namespace ps::css
