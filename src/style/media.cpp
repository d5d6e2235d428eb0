// @media and @supports conditions, answered for the printed page. Both read
// the same boolean grammar (not, and, or, parentheses) with three-valued
// logic: what cannot be known (an unknown feature, a function nobody
// defines) is "unknown", and a query that ends unknown does not match.
#include "style/media.h"

#include <cmath>
#include <functional>
#include <optional>

#include "model/tree.h"
#include "style/selectors.h"

namespace ps::css {

namespace {

enum class Tri : std::uint8_t { False, True, Unknown };

Tri Not(Tri t) { return t == Tri::Unknown ? t : t == Tri::True ? Tri::False : Tri::True; }
Tri And(Tri a, Tri b) {
  if (a == Tri::False || b == Tri::False) return Tri::False;
  return a == Tri::True && b == Tri::True ? Tri::True : Tri::Unknown;
}
Tri Or(Tri a, Tri b) {
  if (a == Tri::True || b == Tri::True) return Tri::True;
  return a == Tri::False && b == Tri::False ? Tri::False : Tri::Unknown;
}
Tri FromBool(bool b) { return b ? Tri::True : Tri::False; }

using Range = std::pair<const ComponentValue*, const ComponentValue*>;

bool IsTok(const ComponentValue* v, TokenType t) {
  return v && v->kind == ComponentValue::Kind::Token && v->token.type == t;
}
bool IsIdent(const ComponentValue* v, std::string_view word) {
  return IsTok(v, TokenType::Ident) && EqualsNoCase(v->token.value, word);
}
bool IsDelim(const ComponentValue* v, char c) {
  return IsTok(v, TokenType::Delim) && v->token.value.size() == 1 && v->token.value[0] == c;
}
bool IsParens(const ComponentValue* v) { return v && v->kind == ComponentValue::Kind::Block && v->open == '('; }

// The values without white space.
std::vector<const ComponentValue*> Words(const ComponentValue* p, const ComponentValue* end) {
  std::vector<const ComponentValue*> w;
  for (; p != end; ++p)
    if (!IsTok(p, TokenType::Whitespace)) w.push_back(p);
  return w;
}

// What a leaf of the grammar is worth: nullopt when the parenthesised value
// is no leaf of this kind (then it may be a nested condition).
using Leaf = std::function<std::optional<Tri>(const ComponentValue&)>;

struct ConditionReader {
  const Leaf& leaf;
  Tri generalEnclosed;  // what an unknown (…) or function counts as

  std::optional<Tri> InParens(const ComponentValue* v, int depth) const {
    if (!v || depth > kMaxNesting) return std::nullopt;
    if (IsParens(v) || v->kind == ComponentValue::Kind::Function) {
      if (auto r = leaf(*v)) return r;
      if (IsParens(v)) {
        const std::vector<const ComponentValue*> w = Words(v->children.data(), v->children.data() + v->children.size());
        if (auto r = Condition(w, 0, w.size(), true, depth + 1)) return r;
      }
      return generalEnclosed;
    }
    return std::nullopt;
  }

  // words[from, to) as a condition: `not X`, or X joined by all `and` or all `or`.
  std::optional<Tri> Condition(const std::vector<const ComponentValue*>& w, std::size_t from, std::size_t to,
                               bool allowOr, int depth) const {
    if (from >= to) return std::nullopt;
    if (IsIdent(w[from], "not")) {
      if (to - from != 2) return std::nullopt;
      auto r = InParens(w[from + 1], depth);
      return r ? std::optional<Tri>(Not(*r)) : std::nullopt;
    }
    auto r = InParens(w[from], depth);
    if (!r) return std::nullopt;
    Tri result = *r;
    std::string_view joiner;
    for (std::size_t i = from + 1; i < to; i += 2) {
      const bool isAnd = IsIdent(w[i], "and"), isOr = IsIdent(w[i], "or");
      if (!isAnd && !(isOr && allowOr)) return std::nullopt;
      const std::string_view j = isAnd ? "and" : "or";
      if (!joiner.empty() && joiner != j) return std::nullopt;  // and/or mixed without parentheses
      joiner = j;
      if (i + 1 >= to) return std::nullopt;
      auto next = InParens(w[i + 1], depth);
      if (!next) return std::nullopt;
      result = isAnd ? And(result, *next) : Or(result, *next);
    }
    return result;
  }
};

// ------------------------------------------------------------ media features

// The units a length in a media query may have, in px.
struct Unit {
  const char* name;
  double px;
};
constexpr Unit kLengthUnits[] = {
    {"px", 1}, {"em", 16}, {"rem", 16}, {"ex", 8}, {"ch", 8}, {"cm", 96 / 2.54}, {"mm", 96 / 25.4},
    {"q", 96 / 101.6}, {"in", 96}, {"pt", 96.0 / 72}, {"pc", 16},
};
// Resolutions, in dots per px.
constexpr Unit kResolutionUnits[] = {{"dppx", 1}, {"x", 1}, {"dpi", 1.0 / 96}, {"dpcm", 2.54 / 96}};

enum class ValueType : std::uint8_t { Length, Ratio, Resolution, Integer, Keyword };

// The printed page's answers. A PDF prints in colour at a printer's
// resolution; nothing hovers, points, moves or runs scripts on paper.
constexpr double kResolutionDppx = 300.0 / 96;
constexpr int kColorBits = 8;

struct Feature {
  const char* name;
  ValueType type;
  bool rangeAllowed;
  // The page's value: a number (Length, Ratio, Resolution, Integer) or a keyword.
  double (*number)(const Medium&);
  const char* keyword;
};

double Width(const Medium& m) { return m.widthPx; }
double Height(const Medium& m) { return m.heightPx; }
double Aspect(const Medium& m) { return m.heightPx > 0 ? m.widthPx / m.heightPx : 0; }
double Resolution(const Medium&) { return kResolutionDppx; }
double ColorBits(const Medium&) { return kColorBits; }
double Zero(const Medium&) { return 0; }

constexpr Feature kFeatures[] = {
    {"width", ValueType::Length, true, Width, nullptr},
    {"height", ValueType::Length, true, Height, nullptr},
    {"device-width", ValueType::Length, true, Width, nullptr},
    {"device-height", ValueType::Length, true, Height, nullptr},
    {"aspect-ratio", ValueType::Ratio, true, Aspect, nullptr},
    {"device-aspect-ratio", ValueType::Ratio, true, Aspect, nullptr},
    {"resolution", ValueType::Resolution, true, Resolution, nullptr},
    {"color", ValueType::Integer, true, ColorBits, nullptr},
    {"color-index", ValueType::Integer, true, Zero, nullptr},
    {"monochrome", ValueType::Integer, true, Zero, nullptr},
    {"grid", ValueType::Integer, false, Zero, nullptr},
    {"orientation", ValueType::Keyword, false, nullptr, nullptr},  // from the page's shape
    {"scan", ValueType::Keyword, false, nullptr, "none"},
    {"hover", ValueType::Keyword, false, nullptr, "none"},
    {"any-hover", ValueType::Keyword, false, nullptr, "none"},
    {"pointer", ValueType::Keyword, false, nullptr, "none"},
    {"any-pointer", ValueType::Keyword, false, nullptr, "none"},
    {"update", ValueType::Keyword, false, nullptr, "none"},
    {"overflow-block", ValueType::Keyword, false, nullptr, "paged"},
    {"overflow-inline", ValueType::Keyword, false, nullptr, "none"},
    {"color-gamut", ValueType::Keyword, false, nullptr, "srgb"},
    {"dynamic-range", ValueType::Keyword, false, nullptr, "standard"},
    {"video-dynamic-range", ValueType::Keyword, false, nullptr, "standard"},
    {"scripting", ValueType::Keyword, false, nullptr, "none"},
    {"display-mode", ValueType::Keyword, false, nullptr, "browser"},
    {"prefers-color-scheme", ValueType::Keyword, false, nullptr, "light"},
    {"prefers-contrast", ValueType::Keyword, false, nullptr, "no-preference"},
    {"prefers-reduced-motion", ValueType::Keyword, false, nullptr, "no-preference"},
    {"prefers-reduced-transparency", ValueType::Keyword, false, nullptr, "no-preference"},
    {"prefers-reduced-data", ValueType::Keyword, false, nullptr, "no-preference"},
    {"forced-colors", ValueType::Keyword, false, nullptr, "none"},
    {"inverted-colors", ValueType::Keyword, false, nullptr, "none"},
};

// Media types: the page is `print` (and `all`); the rest never match.
constexpr const char* kMatchingTypes[] = {"all", "print"};
constexpr const char* kReservedTypes[] = {"not", "and", "or", "only", "layer"};

const Feature* FindFeature(std::string_view name) {
  for (const Feature& f : kFeatures)
    if (EqualsNoCase(name, f.name)) return &f;
  return nullptr;
}

std::string PageKeyword(const Feature& f, const Medium& m) {
  if (f.keyword) return f.keyword;
  return m.heightPx >= m.widthPx ? "portrait" : "landscape";
}

std::optional<double> UnitValue(const Token& t, const Unit* begin, const Unit* end) {
  for (const Unit* u = begin; u != end; ++u)
    if (EqualsNoCase(t.value, u->name)) return t.number * u->px;
  return std::nullopt;
}

// A value of the type from words[from, to); `used` counts the words taken.
std::optional<double> ReadValue(ValueType type, const std::vector<const ComponentValue*>& w, std::size_t from,
                                std::size_t to, std::size_t& used) {
  if (from >= to) return std::nullopt;
  const ComponentValue* v = w[from];
  used = 1;
  switch (type) {
    case ValueType::Length:
      if (IsTok(v, TokenType::Number) && v->token.number == 0) return 0.0;
      if (IsTok(v, TokenType::Dimension)) return UnitValue(v->token, std::begin(kLengthUnits), std::end(kLengthUnits));
      return std::nullopt;
    case ValueType::Resolution:
      if (IsTok(v, TokenType::Dimension))
        return UnitValue(v->token, std::begin(kResolutionUnits), std::end(kResolutionUnits));
      return std::nullopt;
    case ValueType::Integer:
      if (IsTok(v, TokenType::Number) && v->token.integer) return v->token.number;
      return std::nullopt;
    case ValueType::Ratio: {
      if (!IsTok(v, TokenType::Number) || v->token.number < 0) return std::nullopt;
      const double num = v->token.number;
      if (from + 2 < to && IsDelim(w[from + 1], '/') && IsTok(w[from + 2], TokenType::Number)) {
        used = 3;
        const double den = w[from + 2]->token.number;
        return den == 0 ? 1e300 : num / den;
      }
      return num;
    }
    case ValueType::Keyword: return std::nullopt;
  }
  return std::nullopt;
}

enum class Cmp : std::uint8_t { Lt, Le, Gt, Ge, Eq };

// `<`, `<=`, `>`, `>=` or `=` at words[i]; `used` counts the words (the
// two delims of `<=` must touch, which white space removal hides, so both
// are checked in the original sequence by address).
std::optional<Cmp> ReadCmp(const std::vector<const ComponentValue*>& w, std::size_t i, std::size_t to,
                           std::size_t& used) {
  if (i >= to) return std::nullopt;
  used = 1;
  const bool eqNext = i + 1 < to && IsDelim(w[i + 1], '=') && w[i + 1] == w[i] + 1;
  if (IsDelim(w[i], '=')) return Cmp::Eq;
  if (IsDelim(w[i], '<')) {
    if (eqNext) used = 2;
    return eqNext ? Cmp::Le : Cmp::Lt;
  }
  if (IsDelim(w[i], '>')) {
    if (eqNext) used = 2;
    return eqNext ? Cmp::Ge : Cmp::Gt;
  }
  return std::nullopt;
}

bool Compare(double a, Cmp c, double b) {
  constexpr double kEps = 1e-9;
  switch (c) {
    case Cmp::Lt: return a < b - kEps;
    case Cmp::Le: return a <= b + kEps;
    case Cmp::Gt: return a > b + kEps;
    case Cmp::Ge: return a >= b - kEps;
    case Cmp::Eq: return std::fabs(a - b) <= kEps * std::fmax(1.0, std::fabs(a));
  }
  return false;
}

Cmp Flip(Cmp c) {
  switch (c) {
    case Cmp::Lt: return Cmp::Gt;
    case Cmp::Le: return Cmp::Ge;
    case Cmp::Gt: return Cmp::Lt;
    case Cmp::Ge: return Cmp::Le;
    case Cmp::Eq: return Cmp::Eq;
  }
  return c;
}

// (name), (name: value), (min-name: value), (name op value), (value op name),
// (value op name op value). nullopt when the parentheses hold no feature.
std::optional<Tri> MediaFeature(const ComponentValue& block, const Medium& m) {
  if (!IsParens(&block)) return std::nullopt;
  const auto w = Words(block.children.data(), block.children.data() + block.children.size());
  if (w.empty()) return std::nullopt;
  // Plain and boolean forms.
  if (IsTok(w[0], TokenType::Ident) && (w.size() == 1 || IsTok(w[1], TokenType::Colon))) {
    std::string_view name = w[0]->token.value;
    int prefix = 0;  // -1 max-, +1 min-
    if (name.size() > 4 && EqualsNoCase(name.substr(0, 4), "min-")) prefix = 1;
    if (name.size() > 4 && EqualsNoCase(name.substr(0, 4), "max-")) prefix = -1;
    const Feature* f = FindFeature(prefix ? name.substr(4) : name);
    if (!f) return Tri::Unknown;
    if (prefix && !f->rangeAllowed) return Tri::Unknown;
    if (w.size() == 1) {
      if (prefix) return std::nullopt;
      if (f->type == ValueType::Keyword) {
        const std::string k = PageKeyword(*f, m);
        return FromBool(k != "none" && k != "no-preference");
      }
      return FromBool(f->number(m) != 0);
    }
    if (f->type == ValueType::Keyword) {
      if (w.size() != 3 || !IsTok(w[2], TokenType::Ident)) return Tri::Unknown;
      return FromBool(EqualsNoCase(w[2]->token.value, PageKeyword(*f, m)));
    }
    std::size_t used = 0;
    const auto v = ReadValue(f->type, w, 2, w.size(), used);
    if (!v || 2 + used != w.size()) return Tri::Unknown;
    const double page = f->number(m);
    return FromBool(Compare(page, prefix == 1 ? Cmp::Ge : prefix == -1 ? Cmp::Le : Cmp::Eq, *v));
  }
  // Range forms.
  const std::size_t n = w.size();
  std::size_t used = 0;
  if (IsTok(w[0], TokenType::Ident)) {
    const Feature* f = FindFeature(w[0]->token.value);
    const auto c = ReadCmp(w, 1, n, used);
    if (!c) return std::nullopt;
    if (!f || !f->rangeAllowed) return Tri::Unknown;
    std::size_t vused = 0;
    const auto v = ReadValue(f->type, w, 1 + used, n, vused);
    if (!v || 1 + used + vused != n) return Tri::Unknown;
    return FromBool(Compare(f->number(m), *c, *v));
  }
  // value op name [op value]: the value's type comes from the name, found after it.
  if (!IsTok(w[0], TokenType::Number) && !IsTok(w[0], TokenType::Dimension)) return std::nullopt;
  for (std::size_t i = 1; i < n; ++i) {
    if (!IsTok(w[i], TokenType::Ident)) continue;
    const Feature* f = FindFeature(w[i]->token.value);
    if (!f || !f->rangeAllowed) return Tri::Unknown;
    std::size_t vused = 0, cused = 0;
    const auto v1 = ReadValue(f->type, w, 0, i, vused);
    if (!v1 || vused >= i) return Tri::Unknown;
    const auto c1 = ReadCmp(w, vused, i, cused);
    if (!c1 || vused + cused != i) return Tri::Unknown;
    const double page = f->number(m);
    Tri result = FromBool(Compare(page, Flip(*c1), *v1));
    if (i + 1 == n) return result;
    const auto c2 = ReadCmp(w, i + 1, n, cused);
    if (!c2) return Tri::Unknown;
    // Both comparisons must point the same way: a < x < b or a > x > b.
    const bool lt1 = *c1 == Cmp::Lt || *c1 == Cmp::Le, lt2 = *c2 == Cmp::Lt || *c2 == Cmp::Le;
    if (*c1 == Cmp::Eq || *c2 == Cmp::Eq || lt1 != lt2) return Tri::Unknown;
    const auto v2 = ReadValue(f->type, w, i + 1 + cused, n, vused);
    if (!v2 || i + 1 + cused + vused != n) return Tri::Unknown;
    return And(result, FromBool(Compare(page, *c2, *v2)));
  }
  return std::nullopt;
}

// One query of the list; false for one that does not parse ("not all").
bool QueryMatches(const ComponentValue* p, const ComponentValue* end, const Medium& m) {
  const auto w = Words(p, end);
  if (w.empty()) return false;
  const Leaf leaf = [&m](const ComponentValue& v) { return MediaFeature(v, m); };
  const ConditionReader reader{leaf, Tri::Unknown};
  // A condition alone: `(width > 10cm)`, `not (color)`.
  const bool startsCondition = !IsTok(w[0], TokenType::Ident) ||
                               (IsIdent(w[0], "not") && w.size() > 1 && !IsTok(w[1], TokenType::Ident));
  if (startsCondition) {
    const auto r = reader.Condition(w, 0, w.size(), true, 0);
    return r && *r == Tri::True;
  }
  std::size_t i = 0;
  bool negate = false;
  if (IsIdent(w[0], "not") || IsIdent(w[0], "only")) {
    negate = IsIdent(w[0], "not");
    i = 1;
  }
  if (i >= w.size() || !IsTok(w[i], TokenType::Ident)) return false;
  const std::string_view type = w[i]->token.value;
  for (const char* r : kReservedTypes)
    if (EqualsNoCase(type, r)) return false;
  bool typeMatches = false;
  for (const char* t : kMatchingTypes) typeMatches = typeMatches || EqualsNoCase(type, t);
  Tri result = FromBool(typeMatches);
  ++i;
  if (i < w.size()) {
    if (!IsIdent(w[i], "and")) return false;
    const auto r = reader.Condition(w, i + 1, w.size(), false, 0);
    if (!r) return false;
    result = And(result, *r);
  }
  const bool matched = result == Tri::True;
  return negate ? !matched : matched;
}

// --------------------------------------------------------------- @supports

}  // namespace

bool MediaMatches(const ComponentValues& queries, const Medium& m) {
  // An empty list is every medium.
  const auto w = Words(queries.data(), queries.data() + queries.size());
  if (w.empty()) return true;
  const ComponentValue* from = queries.data();
  const ComponentValue* end = queries.data() + queries.size();
  for (const ComponentValue* p = from;; ++p) {
    if (p == end || IsTok(p, TokenType::Comma)) {
      if (QueryMatches(from, p, m)) return true;
      if (p == end) return false;
      from = p + 1;
    }
  }
}

bool MediaMatches(std::string_view queries, const Medium& m) {
  return MediaMatches(ParseComponentValues(queries), m);
}

bool SupportsMatches(const ComponentValues& condition, SupportsFn supported) {
  const Leaf leaf = [supported](const ComponentValue& v) -> std::optional<Tri> {
    if (v.kind == ComponentValue::Kind::Function) {
      if (!EqualsNoCase(v.token.value, "selector")) return std::nullopt;
      const auto list = ParseSelectorList(v.children);
      return FromBool(list && list->size() == 1);
    }
    Declaration d;
    if (!IsParens(&v) || !ParseOneDeclaration(v.children, d)) return std::nullopt;
    return FromBool(supported && supported(d.name, d.value));
  };
  // Conditional Rules: a condition nobody defines is false.
  const ConditionReader reader{leaf, Tri::False};
  const auto w = Words(condition.data(), condition.data() + condition.size());
  const auto r = reader.Condition(w, 0, w.size(), true, 0);
  return r && *r == Tri::True;
}

}  // namespace ps::css
