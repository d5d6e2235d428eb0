// Tokens as CSS Syntax Level 3 reads them: every code point sequence yields
// tokens, never an error; what is malformed becomes a bad-string, bad-url or
// delim token and the parser recovers from there.
#include "style/tokenizer.h"

#include <array>
#include <charconv>
#include <limits>

#include "model/tree.h"

namespace ps::css {

namespace {

// Code point classes; every byte of a non-ASCII character counts as a name
// character, as the standard treats all non-ASCII code points.
enum : std::uint8_t {
  kNameStart = 1, kName = 2, kDigit = 4, kHex = 8, kSpace = 16, kNonPrintable = 32,
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> c{};
  for (int i = 0; i < 256; ++i) {
    std::uint8_t f = 0;
    const bool letter = (i >= 'a' && i <= 'z') || (i >= 'A' && i <= 'Z');
    if (letter || i >= 0x80 || i == '_') f |= kNameStart | kName;
    if (i >= '0' && i <= '9') f |= kDigit | kName | kHex;
    if ((i >= 'a' && i <= 'f') || (i >= 'A' && i <= 'F')) f |= kHex;
    if (i == '-') f |= kName;
    if (i == ' ' || i == '\t' || i == '\n') f |= kSpace;
    if (i <= 0x08 || i == 0x0B || (i >= 0x0E && i <= 0x1F) || i == 0x7F) f |= kNonPrintable;
    c[static_cast<std::size_t>(i)] = f;
  }
  return c;
}
constexpr auto kClasses = MakeClasses();

bool Is(char c, std::uint8_t f) { return kClasses[static_cast<unsigned char>(c)] & f; }

// What the first code point of a token starts.
enum class Start : std::uint8_t {
  Delim, Space, Quote, Hash, Simple, Plus, Minus, Dot, Less, At, Backslash, Digit, NameStart,
};

constexpr std::array<Start, 256> MakeStarts() {
  std::array<Start, 256> s{};
  for (int i = 0; i < 256; ++i) {
    Start k = Start::Delim;
    if (kClasses[static_cast<std::size_t>(i)] & kSpace) k = Start::Space;
    else if (kClasses[static_cast<std::size_t>(i)] & kDigit) k = Start::Digit;
    else if (kClasses[static_cast<std::size_t>(i)] & kNameStart) k = Start::NameStart;
    s[static_cast<std::size_t>(i)] = k;
  }
  s['"'] = s['\''] = Start::Quote;
  s['#'] = Start::Hash;
  for (char c : {'(', ')', ',', ':', ';', '[', ']', '{', '}'}) s[static_cast<unsigned char>(c)] = Start::Simple;
  s['+'] = Start::Plus;
  s['-'] = Start::Minus;
  s['.'] = Start::Dot;
  s['<'] = Start::Less;
  s['@'] = Start::At;
  s['\\'] = Start::Backslash;
  return s;
}
constexpr auto kStarts = MakeStarts();

constexpr TokenType SimpleType(char c) {
  switch (c) {
    case '(': return TokenType::LeftParen;
    case ')': return TokenType::RightParen;
    case ',': return TokenType::Comma;
    case ':': return TokenType::Colon;
    case ';': return TokenType::Semicolon;
    case '[': return TokenType::LeftSquare;
    case ']': return TokenType::RightSquare;
    case '{': return TokenType::LeftCurly;
    default: return TokenType::RightCurly;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// The length of the UTF-8 sequence a lead byte starts (1 for stray bytes).
std::size_t Utf8Length(unsigned char c) {
  if (c >= 0xF0 && c <= 0xF4) return 4;
  if (c >= 0xE0 && c <= 0xEF) return 3;
  if (c >= 0xC2 && c <= 0xDF) return 2;
  return 1;
}


}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

std::string Preprocess(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '\r') {
      out += '\n';
      if (i + 1 < in.size() && in[i + 1] == '\n') ++i;
    } else if (c == '\f') {
      out += '\n';
    } else if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

bool Tokenizer::ValidEscapeAt(std::size_t k) const {
  return At(k) == '\\' && !(Has(k + 1) && At(k + 1) == '\n');
}

bool Tokenizer::StartsIdentAt(std::size_t k) const {
  if (!Has(k)) return false;
  const char c = At(k);
  if (c == '-') {
    return (Has(k + 1) && (Is(At(k + 1), kNameStart) || At(k + 1) == '-')) || ValidEscapeAt(k + 1);
  }
  if (Is(c, kNameStart)) return true;
  return ValidEscapeAt(k);
}

bool Tokenizer::StartsNumberAt(std::size_t k) const {
  if (!Has(k)) return false;
  const char c = At(k);
  if (c == '+' || c == '-') {
    if (Has(k + 1) && Is(At(k + 1), kDigit)) return true;
    return At(k + 1) == '.' && Has(k + 2) && Is(At(k + 2), kDigit);
  }
  if (c == '.') return Has(k + 1) && Is(At(k + 1), kDigit);
  return Is(c, kDigit);
}

void Tokenizer::SkipComments() {
  while (At() == '/' && At(1) == '*') {
    const std::size_t end = text_.find("*/", pos_ + 2);
    pos_ = end == std::string::npos ? text_.size() : end + 2;
  }
}

// After the backslash of a valid escape.
void Tokenizer::ConsumeEscape(std::string& out) {
  if (!Has()) {
    out += "\xEF\xBF\xBD";
    return;
  }
  if (Is(At(), kHex)) {
    char32_t cp = 0;
    for (int n = 0; n < 6 && Has() && Is(At(), kHex); ++n) cp = cp * 16 + static_cast<char32_t>(HexValue(text_[pos_++]));
    if (Has() && Is(At(), kSpace)) ++pos_;
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    AppendUtf8(out, cp);
    return;
  }
  const std::size_t len = std::min(Utf8Length(static_cast<unsigned char>(At())), text_.size() - pos_);
  out.append(text_, pos_, len);
  pos_ += len;
}

void Tokenizer::ConsumeName(std::string& out) {
  for (;;) {
    const std::size_t start = pos_;
    while (Has() && Is(At(), kName)) ++pos_;
    out.append(text_, start, pos_ - start);
    if (!ValidEscapeAt(0)) return;
    ++pos_;
    ConsumeEscape(out);
  }
}

void Tokenizer::ConsumeNumber(Token& t) {
  const std::size_t start = pos_;
  t.integer = true;
  t.signedNumber = At() == '+' || At() == '-';
  if (t.signedNumber) ++pos_;
  while (Has() && Is(At(), kDigit)) ++pos_;
  if (At() == '.' && Has(1) && Is(At(1), kDigit)) {
    pos_ += 2;
    while (Has() && Is(At(), kDigit)) ++pos_;
    t.integer = false;
  }
  if ((At() == 'e' || At() == 'E') &&
      ((Has(1) && Is(At(1), kDigit)) || ((At(1) == '+' || At(1) == '-') && Has(2) && Is(At(2), kDigit)))) {
    pos_ += 2;
    while (Has() && Is(At(), kDigit)) ++pos_;
    t.integer = false;
  }
  t.repr.assign(text_, start, pos_ - start);
  const char* first = text_.data() + start + (text_[start] == '+' ? 1 : 0);
  double v = 0;
  const auto r = std::from_chars(first, text_.data() + pos_, v);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: the nearest one that is.
    const std::size_t e = t.repr.find_first_of("eE");
    const bool tiny = e != std::string::npos && t.repr[e + 1] == '-';
    v = tiny ? 0.0 : std::numeric_limits<double>::max();
    if (text_[start] == '-') v = -v;
  }
  t.number = v;
}

void Tokenizer::ConsumeNumeric(Token& t) {
  ConsumeNumber(t);
  if (StartsIdentAt(0)) {
    t.type = TokenType::Dimension;
    ConsumeName(t.value);
  } else if (At() == '%') {
    ++pos_;
    t.type = TokenType::Percentage;
  } else {
    t.type = TokenType::Number;
  }
}

void Tokenizer::ConsumeIdentLike(Token& t) {
  ConsumeName(t.value);
  if (At() != '(') {
    t.type = TokenType::Ident;
    return;
  }
  ++pos_;
  if (EqualsNoCase(t.value, "url")) {
    // url( with a quoted argument is a function; unquoted, a url token.
    std::size_t k = 0;
    while (Is(At(k), kSpace) && Has(k)) ++k;
    if (!(At(k) == '"' || At(k) == '\'')) {
      pos_ += k;
      t.value.clear();
      ConsumeUrl(t);
      return;
    }
    // Keep one white space before the quote, as the standard does.
    if (k > 0) pos_ += k - 1;
  }
  t.type = TokenType::Function;
}

void Tokenizer::ConsumeString(Token& t, char quote) {
  t.type = TokenType::String;
  for (;;) {
    const std::size_t start = pos_;
    while (Has() && At() != quote && At() != '\\' && At() != '\n') ++pos_;
    t.value.append(text_, start, pos_ - start);
    if (!Has()) return;  // unterminated at the end: still a string
    const char c = text_[pos_];
    if (c == quote) {
      ++pos_;
      return;
    }
    if (c == '\n') {  // the newline is left for the next token
      t.type = TokenType::BadString;
      t.value.clear();
      return;
    }
    ++pos_;  // the backslash
    if (!Has()) continue;
    if (At() == '\n') {
      ++pos_;  // an escaped newline continues the string
      continue;
    }
    ConsumeEscape(t.value);
  }
}

void Tokenizer::ConsumeUrl(Token& t) {
  t.type = TokenType::Url;
  while (Has() && Is(At(), kSpace)) ++pos_;
  for (;;) {
    const std::size_t start = pos_;
    while (Has()) {
      const char c = At();
      if (c == ')' || c == '\\' || c == '"' || c == '\'' || c == '(' || Is(c, kSpace | kNonPrintable)) break;
      ++pos_;
    }
    t.value.append(text_, start, pos_ - start);
    if (!Has()) return;
    const char c = At();
    if (c == ')') {
      ++pos_;
      return;
    }
    if (Is(c, kSpace)) {
      while (Has() && Is(At(), kSpace)) ++pos_;
      if (!Has()) return;
      if (At() == ')') {
        ++pos_;
        return;
      }
    } else if (c == '\\' && ValidEscapeAt(0)) {
      ++pos_;
      ConsumeEscape(t.value);
      continue;
    }
    ConsumeBadUrlRemnants();
    t.type = TokenType::BadUrl;
    t.value.clear();
    return;
  }
}

void Tokenizer::ConsumeBadUrlRemnants() {
  while (Has()) {
    if (At() == ')') {
      ++pos_;
      return;
    }
    if (ValidEscapeAt(0)) {
      pos_ += 2;  // the escaped code point cannot end the url
      continue;
    }
    ++pos_;
  }
}

void Tokenizer::Next(Token& t) {
  t = Token{};
  SkipComments();
  if (!Has()) {
    t.type = TokenType::End;
    return;
  }
  const char c = At();
  switch (kStarts[static_cast<unsigned char>(c)]) {
    case Start::Space:
      while (Has() && Is(At(), kSpace)) ++pos_;
      t.type = TokenType::Whitespace;
      return;
    case Start::Quote:
      ++pos_;
      ConsumeString(t, c);
      return;
    case Start::Hash:
      if ((Has(1) && Is(At(1), kName)) || ValidEscapeAt(1)) {
        ++pos_;
        t.type = TokenType::Hash;
        t.hashId = StartsIdentAt(0);
        ConsumeName(t.value);
        return;
      }
      break;
    case Start::Simple:
      ++pos_;
      t.type = SimpleType(c);
      return;
    case Start::Plus:
    case Start::Dot:
      if (StartsNumberAt(0)) {
        ConsumeNumeric(t);
        return;
      }
      break;
    case Start::Minus:
      if (StartsNumberAt(0)) {
        ConsumeNumeric(t);
        return;
      }
      if (At(1) == '-' && At(2) == '>') {
        pos_ += 3;
        t.type = TokenType::CDC;
        return;
      }
      if (StartsIdentAt(0)) {
        ConsumeIdentLike(t);
        return;
      }
      break;
    case Start::Less:
      if (At(1) == '!' && At(2) == '-' && At(3) == '-') {
        pos_ += 4;
        t.type = TokenType::CDO;
        return;
      }
      break;
    case Start::At:
      if (StartsIdentAt(1)) {
        ++pos_;
        t.type = TokenType::AtKeyword;
        ConsumeName(t.value);
        return;
      }
      break;
    case Start::Backslash:
      if (ValidEscapeAt(0)) {
        ConsumeIdentLike(t);
        return;
      }
      break;  // a parse error: the backslash is a delim
    case Start::Digit:
      ConsumeNumeric(t);
      return;
    case Start::NameStart:
      ConsumeIdentLike(t);
      return;
    case Start::Delim:
      break;
  }
  t.type = TokenType::Delim;
  const std::size_t len = std::min(Utf8Length(static_cast<unsigned char>(c)), text_.size() - pos_);
  t.value.assign(text_, pos_, len);
  pos_ += len;
}

std::vector<Token> Tokenize(std::string_view input) {
  Tokenizer tk(input);
  std::vector<Token> out;
  for (;;) {
    Token t;
    tk.Next(t);
    if (t.type == TokenType::End) break;
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace ps::css
