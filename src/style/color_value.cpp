#include "style/color_value.h"

#include "style/color.h"

namespace ps::css {

bool ParseColorValue(const ComponentValues& v, double& r, double& g, double& b, double& a) {
  const ComponentValue* only = nullptr;
  for (const ComponentValue& c : v) {
    if (c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Whitespace) continue;
    if (only) return false;
    only = &c;
  }
  Rgba color;
  if (!only || !ParseColor(*only, color) || color.currentColor) return false;
  const Rgba::Bytes bytes = color.Clamped();
  r = bytes.r, g = bytes.g, b = bytes.b, a = bytes.a;
  return true;
}

}  // namespace ps::css
