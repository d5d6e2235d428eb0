// The An+B notation of :nth-child() and its kin, read from tokens as CSS
// Syntax Level 3 defines it (so "2n+1", "- n+ 3" is not, "+n-1", "odd").
#include <cmath>
#include <limits>

#include "model/tree.h"
#include "style/tokenizer.h"
#include "style/syntax.h"

namespace ps::css {

namespace {

bool IsToken(const ComponentValue* v, TokenType t) {
  return v && v->kind == ComponentValue::Kind::Token && v->token.type == t;
}

bool IsInteger(const ComponentValue* v) { return IsToken(v, TokenType::Number) && v->token.integer; }

long ToLong(double d) {
  constexpr double kMax = static_cast<double>(std::numeric_limits<int>::max());
  return static_cast<long>(std::fmax(-kMax, std::fmin(kMax, d)));
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}


// The values without white space, each remembering whether white space
// stood before it ("+n" must be one piece, "+ n" is not An+B).
struct Piece {
  const ComponentValue* v;
  bool spaceBefore;
};

}  // namespace

bool ParseAnPlusB(const ComponentValues& values, long& a, long& b) {
  std::vector<Piece> p;
  bool space = false;
  for (const ComponentValue& v : values) {
    if (IsToken(&v, TokenType::Whitespace)) {
      space = true;
      continue;
    }
    p.push_back({&v, space});
    space = false;
  }
  auto at = [&](std::size_t i) -> const ComponentValue* { return i < p.size() ? p[i].v : nullptr; };
  if (p.empty()) return false;
  std::size_t i = 1;
  std::string rest;  // what follows the `n` in the first piece
  const ComponentValue* first = p[0].v;
  if (IsToken(first, TokenType::Ident)) {
    const std::string name = AsciiLower(first->token.value);
    if (name == "odd" || name == "even") {
      a = 2;
      b = name == "odd" ? 1 : 0;
      return p.size() == 1;
    }
    if (name.rfind("-n", 0) == 0) {
      a = -1;
      rest = name.substr(2);
    } else if (name.rfind("n", 0) == 0) {
      a = 1;
      rest = name.substr(1);
    } else {
      return false;
    }
  } else if (IsToken(first, TokenType::Delim) && first->token.value == "+" && IsToken(at(1), TokenType::Ident) &&
             !p[1].spaceBefore) {
    const std::string name = AsciiLower(at(1)->token.value);
    if (name.rfind("n", 0) != 0) return false;
    a = 1;
    rest = name.substr(1);
    i = 2;
  } else if (IsInteger(first)) {
    a = 0;
    b = ToLong(first->token.number);
    return p.size() == 1;
  } else if (IsToken(first, TokenType::Dimension) && first->token.integer) {
    const std::string unit = AsciiLower(first->token.value);
    if (unit.rfind("n", 0) != 0) return false;
    a = ToLong(first->token.number);
    rest = unit.substr(1);
  } else {
    return false;
  }
  if (rest.empty()) {
    // n, then nothing, a signed integer, or a sign and an unsigned integer.
    const ComponentValue* next = at(i);
    if (!next) {
      b = 0;
      return true;
    }
    if (IsInteger(next) && next->token.signedNumber) {
      b = ToLong(next->token.number);
      return p.size() == i + 1;
    }
    if (IsToken(next, TokenType::Delim) && (next->token.value == "+" || next->token.value == "-")) {
      const ComponentValue* n = at(i + 1);
      if (!IsInteger(n) || n->token.signedNumber) return false;
      b = ToLong(next->token.value == "-" ? -n->token.number : n->token.number);
      return p.size() == i + 2;
    }
    return false;
  }
  if (rest == "-") {
    const ComponentValue* n = at(i);
    if (!IsInteger(n) || n->token.signedNumber) return false;
    b = ToLong(-n->token.number);
    return p.size() == i + 1;
  }
  if (rest[0] == '-' && AllDigits(rest.substr(1))) {
    double digits = 0;
    for (char c : rest.substr(1)) digits = digits * 10 + (c - '0');
    b = -ToLong(digits);
    return p.size() == i;
  }
  return false;
}

}  // namespace ps::css
