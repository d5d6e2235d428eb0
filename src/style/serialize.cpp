// Component values back to text that reads as the same tokens: names and
// strings escaped where needed, and an empty comment between two tokens
// that would otherwise run together.
#include <cstdio>

#include "style/syntax.h"

namespace ps::css {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(unsigned char c) {
  return c >= 0x80 || c == '_' || c == '-' || IsDigit(static_cast<char>(c)) || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z');
}

void HexEscape(std::string& out, unsigned char c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\%x ", c);
  out += buf;
}

// A name's characters; `ident` also guards how an identifier may begin.
void SerializeName(std::string& out, std::string_view s, bool ident) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      HexEscape(out, c);
    } else if (ident && IsDigit(static_cast<char>(c)) && (i == 0 || (i == 1 && s[0] == '-'))) {
      HexEscape(out, c);
    } else if (ident && i == 0 && c == '-' && s.size() == 1) {
      out += "\\-";
    } else if (IsNameChar(c)) {
      out += static_cast<char>(c);
    } else {
      out += '\\';
      out += static_cast<char>(c);
    }
  }
}

void SerializeString(std::string& out, std::string_view s) {
  out += '"';
  for (const char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) HexEscape(out, c);
    else if (c == '"' || c == '\\') (out += '\\') += ch;
    else out += ch;
  }
  out += '"';
}

void SerializeUrl(std::string& out, std::string_view s) {
  out += "url(";
  for (const char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) HexEscape(out, c);
    else if (c == '"' || c == '\'' || c == '(' || c == ')' || c == '\\') (out += '\\') += ch;
    else out += ch;
  }
  out += ')';
}

// A dimension's unit, guarded so that "1" and "e3" do not read back as 1e3.
void SerializeUnit(std::string& out, std::string_view unit) {
  if (!unit.empty() && (unit[0] == 'e' || unit[0] == 'E') && unit.size() > 1 &&
      (IsDigit(unit[1]) || ((unit[1] == '+' || unit[1] == '-') && unit.size() > 2 && IsDigit(unit[2])))) {
    HexEscape(out, static_cast<unsigned char>(unit[0]));
    SerializeName(out, unit.substr(1), false);
    return;
  }
  SerializeName(out, unit, true);
}

// Which neighbours run together when written side by side (the left
// column's kind, then a bit per right-hand kind).
enum Kind : std::uint8_t {
  kIdent, kFunction, kUrl, kBadUrl, kMinus, kNumber, kPercentage, kDimension, kCdc, kParen,
  kAtKeyword, kHash, kHashDelim, kAt, kDot, kPlus, kSlash, kStar, kOther,
};
constexpr std::uint32_t Bits(std::initializer_list<Kind> ks) {
  std::uint32_t b = 0;
  for (Kind k : ks) b |= 1u << k;
  return b;
}
constexpr std::uint32_t kWordLike =
    Bits({kIdent, kFunction, kUrl, kBadUrl, kMinus, kNumber, kPercentage, kDimension, kCdc});
constexpr std::uint32_t kNumberLike = Bits({kNumber, kPercentage, kDimension});
struct Adjacency {
  Kind left;
  std::uint32_t right;
};
constexpr Adjacency kNeedsComment[] = {
    {kIdent, kWordLike | Bits({kParen})},
    {kAtKeyword, kWordLike},
    {kHash, kWordLike},
    {kDimension, kWordLike},
    {kHashDelim, kWordLike & ~Bits({kCdc})},
    {kMinus, Bits({kIdent, kFunction, kUrl, kBadUrl, kNumber, kPercentage, kDimension})},
    {kNumber, Bits({kIdent, kFunction, kUrl, kBadUrl, kNumber, kPercentage, kDimension})},
    {kAt, Bits({kIdent, kFunction, kUrl, kBadUrl, kMinus})},
    {kDot, kNumberLike},
    {kPlus, kNumberLike},
    {kSlash, Bits({kStar})},
};

Kind KindOf(const ComponentValue& v) {
  if (v.kind == ComponentValue::Kind::Function) return kFunction;
  if (v.kind == ComponentValue::Kind::Block) return v.open == '(' ? kParen : kOther;
  const Token& t = v.token;
  switch (t.type) {
    case TokenType::Ident: return kIdent;
    case TokenType::Url: return kUrl;
    case TokenType::BadUrl: return kBadUrl;
    case TokenType::Number: return kNumber;
    case TokenType::Percentage: return kPercentage;
    case TokenType::Dimension: return kDimension;
    case TokenType::CDC: return kCdc;
    case TokenType::AtKeyword: return kAtKeyword;
    case TokenType::Hash: return kHash;
    case TokenType::Delim:
      if (t.value == "-") return kMinus;
      if (t.value == "#") return kHashDelim;
      if (t.value == "@") return kAt;
      if (t.value == ".") return kDot;
      if (t.value == "+") return kPlus;
      if (t.value == "/") return kSlash;
      if (t.value == "*") return kStar;
      return kOther;
    default: return kOther;
  }
}

bool NeedsComment(Kind left, Kind right) {
  for (const Adjacency& a : kNeedsComment)
    if (a.left == left) return a.right & (1u << right);
  return false;
}

constexpr const char* kPunctuation[] = {
    // In the order of TokenType, from Whitespace on.
    " ", "<!--", "-->", ":", ";", ",", "[", "]", "(", ")", "{", "}", "",
};

void SerializeToken(std::string& out, const Token& t) {
  switch (t.type) {
    case TokenType::Ident: SerializeName(out, t.value, true); return;
    case TokenType::Function: SerializeName(out, t.value, true); out += '('; return;
    case TokenType::AtKeyword: out += '@'; SerializeName(out, t.value, true); return;
    case TokenType::Hash: out += '#'; SerializeName(out, t.value, t.hashId); return;
    case TokenType::String: SerializeString(out, t.value); return;
    case TokenType::BadString: out += '"'; return;  // the newline after it ends it again
    case TokenType::Url: SerializeUrl(out, t.value); return;
    case TokenType::BadUrl: out += "url(()"; return;
    case TokenType::Delim: out += t.value == "\\" ? "\\\n" : t.value; return;
    case TokenType::Number: out += t.repr; return;
    case TokenType::Percentage: out += t.repr; out += '%'; return;
    case TokenType::Dimension: out += t.repr; SerializeUnit(out, t.value); return;
    default:
      out += kPunctuation[static_cast<int>(t.type) - static_cast<int>(TokenType::Whitespace)];
      return;
  }
}

void SerializeList(std::string& out, const ComponentValues& values) {
  Kind prev = kOther;
  for (const ComponentValue& v : values) {
    const Kind k = KindOf(v);
    if (NeedsComment(prev, k)) out += "/**/";
    prev = k;
    switch (v.kind) {
      case ComponentValue::Kind::Token:
        SerializeToken(out, v.token);
        break;
      case ComponentValue::Kind::Function:
        SerializeName(out, v.token.value, true);
        out += '(';
        SerializeList(out, v.children);  // nesting is bounded by kMaxNesting
        out += ')';
        break;
      case ComponentValue::Kind::Block:
        out += v.open;
        SerializeList(out, v.children);
        out += v.open == '{' ? '}' : v.open == '[' ? ']' : ')';
        break;
    }
  }
}

}  // namespace

std::string Serialize(const ComponentValues& values) {
  std::string out;
  SerializeList(out, values);
  return out;
}

}  // namespace ps::css
