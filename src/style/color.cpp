// Colours from component values. Named colours are a sorted table searched
// by binary search.
#include "style/color.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "model/tree.h"
#include "style/tokenizer.h"

namespace ps::css {

namespace {

struct NamedColor {
  const char* name;
  std::uint32_t rgb;
};

// Sorted by name.
constexpr NamedColor kNamedColors[] = {
    {"aliceblue", 0xf0f8ff}, {"antiquewhite", 0xfaebd7}, {"aqua", 0x00ffff}, {"aquamarine", 0x7fffd4},
    {"azure", 0xf0ffff}, {"beige", 0xf5f5dc}, {"bisque", 0xffe4c4}, {"black", 0x000000},
    {"blanchedalmond", 0xffebcd}, {"blue", 0x0000ff}, {"blueviolet", 0x8a2be2}, {"brown", 0xa52a2a},
    {"burlywood", 0xdeb887}, {"cadetblue", 0x5f9ea0}, {"chartreuse", 0x7fff00}, {"chocolate", 0xd2691e},
    {"coral", 0xff7f50}, {"cornflowerblue", 0x6495ed}, {"cornsilk", 0xfff8dc}, {"crimson", 0xdc143c},
    {"cyan", 0x00ffff}, {"darkblue", 0x00008b}, {"darkcyan", 0x008b8b}, {"darkgoldenrod", 0xb8860b},
    {"darkgray", 0xa9a9a9}, {"darkgreen", 0x006400}, {"darkgrey", 0xa9a9a9}, {"darkkhaki", 0xbdb76b},
    {"darkmagenta", 0x8b008b}, {"darkolivegreen", 0x556b2f}, {"darkorange", 0xff8c00}, {"darkorchid", 0x9932cc},
    {"darkred", 0x8b0000}, {"darksalmon", 0xe9967a}, {"darkseagreen", 0x8fbc8f}, {"darkslateblue", 0x483d8b},
    {"darkslategray", 0x2f4f4f}, {"darkslategrey", 0x2f4f4f}, {"darkturquoise", 0x00ced1},
    {"darkviolet", 0x9400d3}, {"deeppink", 0xff1493}, {"deepskyblue", 0x00bfff}, {"dimgray", 0x696969},
    {"dimgrey", 0x696969}, {"dodgerblue", 0x1e90ff}, {"firebrick", 0xb22222}, {"floralwhite", 0xfffaf0},
    {"forestgreen", 0x228b22}, {"fuchsia", 0xff00ff}, {"gainsboro", 0xdcdcdc}, {"ghostwhite", 0xf8f8ff},
    {"gold", 0xffd700}, {"goldenrod", 0xdaa520}, {"gray", 0x808080}, {"green", 0x008000},
    {"greenyellow", 0xadff2f}, {"grey", 0x808080}, {"honeydew", 0xf0fff0}, {"hotpink", 0xff69b4},
    {"indianred", 0xcd5c5c}, {"indigo", 0x4b0082}, {"ivory", 0xfffff0}, {"khaki", 0xf0e68c},
    {"lavender", 0xe6e6fa}, {"lavenderblush", 0xfff0f5}, {"lawngreen", 0x7cfc00}, {"lemonchiffon", 0xfffacd},
    {"lightblue", 0xadd8e6}, {"lightcoral", 0xf08080}, {"lightcyan", 0xe0ffff},
    {"lightgoldenrodyellow", 0xfafad2}, {"lightgray", 0xd3d3d3}, {"lightgreen", 0x90ee90},
    {"lightgrey", 0xd3d3d3}, {"lightpink", 0xffb6c1}, {"lightsalmon", 0xffa07a}, {"lightseagreen", 0x20b2aa},
    {"lightskyblue", 0x87cefa}, {"lightslategray", 0x778899}, {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xb0c4de}, {"lightyellow", 0xffffe0}, {"lime", 0x00ff00}, {"limegreen", 0x32cd32},
    {"linen", 0xfaf0e6}, {"magenta", 0xff00ff}, {"maroon", 0x800000}, {"mediumaquamarine", 0x66cdaa},
    {"mediumblue", 0x0000cd}, {"mediumorchid", 0xba55d3}, {"mediumpurple", 0x9370db},
    {"mediumseagreen", 0x3cb371}, {"mediumslateblue", 0x7b68ee}, {"mediumspringgreen", 0x00fa9a},
    {"mediumturquoise", 0x48d1cc}, {"mediumvioletred", 0xc71585}, {"midnightblue", 0x191970},
    {"mintcream", 0xf5fffa}, {"mistyrose", 0xffe4e1}, {"moccasin", 0xffe4b5}, {"navajowhite", 0xffdead},
    {"navy", 0x000080}, {"oldlace", 0xfdf5e6}, {"olive", 0x808000}, {"olivedrab", 0x6b8e23},
    {"orange", 0xffa500}, {"orangered", 0xff4500}, {"orchid", 0xda70d6}, {"palegoldenrod", 0xeee8aa},
    {"palegreen", 0x98fb98}, {"paleturquoise", 0xafeeee}, {"palevioletred", 0xdb7093},
    {"papayawhip", 0xffefd5}, {"peachpuff", 0xffdab9}, {"peru", 0xcd853f}, {"pink", 0xffc0cb},
    {"plum", 0xdda0dd}, {"powderblue", 0xb0e0e6}, {"purple", 0x800080}, {"rebeccapurple", 0x663399},
    {"red", 0xff0000}, {"rosybrown", 0xbc8f8f}, {"royalblue", 0x4169e1}, {"saddlebrown", 0x8b4513},
    {"salmon", 0xfa8072}, {"sandybrown", 0xf4a460}, {"seagreen", 0x2e8b57}, {"seashell", 0xfff5ee},
    {"sienna", 0xa0522d}, {"silver", 0xc0c0c0}, {"skyblue", 0x87ceeb}, {"slateblue", 0x6a5acd},
    {"slategray", 0x708090}, {"slategrey", 0x708090}, {"snow", 0xfffafa}, {"springgreen", 0x00ff7f},
    {"steelblue", 0x4682b4}, {"tan", 0xd2b48c}, {"teal", 0x008080}, {"thistle", 0xd8bfd8},
    {"tomato", 0xff6347}, {"turquoise", 0x40e0d0}, {"violet", 0xee82ee}, {"wheat", 0xf5deb3},
    {"white", 0xffffff}, {"whitesmoke", 0xf5f5f5}, {"yellow", 0xffff00}, {"yellowgreen", 0x9acd32},
};


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
  const auto* end = std::end(kNamedColors);
  const auto* it = std::lower_bound(std::begin(kNamedColors), end, name,
                                    [](const NamedColor& c, const std::string& n) { return n.compare(c.name) > 0; });
  if (it == end || name != it->name) return false;
  SetRgb(out, it->rgb, 1);
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
