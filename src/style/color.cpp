// Colours from component values.
#include "style/color.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "model/named_colors.h"
#include "model/tree.h"
#include "style/tokenizer.h"

namespace ps::css {

namespace {

void SetRgb(Rgba& c, std::uint32_t rgb, double alpha) {
  c = Rgba{};
  c.r = (rgb >> 16) & 0xFF;
  c.g = (rgb >> 8) & 0xFF;
  c.b = rgb & 0xFF;
  c.a = alpha;
}

bool FromKeyword(std::string_view word, Rgba& out) {
  const std::string name = AsciiLower(word);
  if (name == "transparent") {
    SetRgb(out, 0, 0);
    return true;
  }
  if (name == "currentcolor") {
    out = Rgba{};
    out.currentColor = true;
    return true;
  }
  std::uint32_t rgb = 0;
  if (!NamedColorRgb(name, &rgb)) return false;
  SetRgb(out, rgb, 1);
  return true;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// #rgb, #rgba, #rrggbb, #rrggbbaa.
bool FromHex(std::string_view h, Rgba& out) {
  const std::size_t n = h.size();
  if (n != 3 && n != 4 && n != 6 && n != 8) return false;
  int d[8];
  for (std::size_t i = 0; i < n; ++i)
    if ((d[i] = Hex(h[i])) < 0) return false;
  const bool shortForm = n <= 4;
  auto channel = [&](int k) -> double { return shortForm ? d[k] * 17 : d[2 * k] * 16 + d[2 * k + 1]; };
  out = Rgba{};
  out.r = channel(0);
  out.g = channel(1);
  out.b = channel(2);
  if (n == 4 || n == 8) out.a = channel(3) / 255.0;
  return true;
}

double Clamp01(double v) { return std::fmin(1.0, std::fmax(0.0, v)); }

// The arguments of a colour function, split at commas (legacy form) or
// white space and `/` (the later form).
struct Args {
  std::vector<const Token*> values;  // the channel values, then alpha
  bool commas = false;
  bool slash = false;  // alpha after `/`
};

bool IsChannel(const Token& t) {
  return t.type == TokenType::Number || t.type == TokenType::Percentage || t.type == TokenType::Dimension;
}

// Legacy: v, v, v[, v]. Later: v v v[ / v].
bool SplitArgs(const ComponentValues& children, Args& args) {
  std::vector<const Token*> seq;
  for (const ComponentValue& v : children) {
    if (v.kind != ComponentValue::Kind::Token) return false;
    if (v.token.type != TokenType::Whitespace) seq.push_back(&v.token);
  }
  args.commas = seq.size() > 1 && seq[1]->type == TokenType::Comma;
  for (std::size_t i = 0; i < seq.size(); ++i) {
    const Token& t = *seq[i];
    const bool separator = args.commas ? i % 2 == 1 : (i == 3 && seq.size() == 5);
    if (separator) {
      const bool ok = args.commas ? t.type == TokenType::Comma : t.type == TokenType::Delim && t.value == "/";
      if (!ok) return false;
      args.slash = !args.commas;
      continue;
    }
    if (!IsChannel(t)) return false;
    args.values.push_back(&t);
  }
  if (args.commas && seq.size() % 2 == 0) return false;  // a trailing comma
  if (!args.commas && seq.size() == 4) return false;       // four values need the slash
  return args.values.size() == 3 || args.values.size() == 4;
}

bool Alpha(const Token& t, double& a) {
  if (t.type == TokenType::Number) a = Clamp01(t.number);
  else if (t.type == TokenType::Percentage) a = Clamp01(t.number / 100);
  else return false;
  return true;
}

bool FromRgb(const Args& args, Rgba& out) {
  out = Rgba{};
  double* ch[3] = {&out.r, &out.g, &out.b};
  const TokenType kind = args.values[0]->type;
  for (int i = 0; i < 3; ++i) {
    const Token& t = *args.values[static_cast<std::size_t>(i)];
    // The legacy form takes all numbers or all percentages.
    if (args.commas && t.type != kind) return false;
    if (t.type == TokenType::Number) *ch[i] = t.number;
    else if (t.type == TokenType::Percentage) *ch[i] = t.number * 255 / 100;
    else return false;
  }
  return args.values.size() < 4 || Alpha(*args.values[3], out.a);
}

double HueToRgb(double m1, double m2, double h) {
  if (h < 0) h += 1;
  if (h > 1) h -= 1;
  if (h * 6 < 1) return m1 + (m2 - m1) * h * 6;
  if (h * 2 < 1) return m2;
  if (h * 3 < 2) return m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
  return m1;
}

struct AngleUnit {
  const char* name;
  double degrees;
};
constexpr AngleUnit kAngleUnits[] = {{"deg", 1}, {"grad", 0.9}, {"rad", 57.29577951308232}, {"turn", 360}};

bool Hue(const Token& t, double& deg) {
  if (t.type == TokenType::Number) {
    deg = t.number;
    return true;
  }
  if (t.type != TokenType::Dimension) return false;
  for (const AngleUnit& u : kAngleUnits) {
    if (EqualsNoCase(t.value, u.name)) {
      deg = t.number * u.degrees;
      return true;
    }
  }
  return false;
}

bool FromHsl(const Args& args, Rgba& out) {
  double deg;
  if (!Hue(*args.values[0], deg)) return false;
  const Token& st = *args.values[1];
  const Token& lt = *args.values[2];
  if (st.type != TokenType::Percentage || lt.type != TokenType::Percentage) return false;
  if (!std::isfinite(deg)) deg = 0;
  const double h = std::fmod(std::fmod(deg, 360) + 360, 360) / 360;
  const double s = Clamp01(st.number / 100), l = Clamp01(lt.number / 100);
  const double m2 = l <= 0.5 ? l * (s + 1) : l + s - l * s;
  const double m1 = l * 2 - m2;
  out = Rgba{};
  out.r = HueToRgb(m1, m2, h + 1.0 / 3) * 255;
  out.g = HueToRgb(m1, m2, h) * 255;
  out.b = HueToRgb(m1, m2, h - 1.0 / 3) * 255;
  return args.values.size() < 4 || Alpha(*args.values[3], out.a);
}

struct ColorFunction {
  const char* name;
  bool (*read)(const Args&, Rgba&);
};
constexpr ColorFunction kColorFunctions[] = {
    {"rgb", FromRgb}, {"rgba", FromRgb}, {"hsl", FromHsl}, {"hsla", FromHsl},
};

}  // namespace

Rgba::Bytes Rgba::Clamped() const {
  auto byte = [](double v) {
    return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, std::isnan(v) ? 0.0 : v))));
  };
  return {byte(r), byte(g), byte(b), Clamp01(std::isnan(a) ? 1.0 : a)};
}

bool ParseColor(const ComponentValue& value, Rgba& out) {
  if (value.kind == ComponentValue::Kind::Token) {
    if (value.token.type == TokenType::Ident) return FromKeyword(value.token.value, out);
    if (value.token.type == TokenType::Hash) return FromHex(value.token.value, out);
    return false;
  }
  if (value.kind != ComponentValue::Kind::Function) return false;
  for (const ColorFunction& f : kColorFunctions) {
    if (!EqualsNoCase(value.token.value, f.name)) continue;
    Args args;
    return SplitArgs(value.children, args) && f.read(args, out);
  }
  return false;
}

}  // namespace ps::css
