// CSS syntax: tokens, component values, rules and declarations, read with
// the error recovery of CSS Syntax Level 3 (a bad declaration or rule is
// dropped, never the sheet). Knows nothing of selectors or properties.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ps::css {

enum class TokenType : std::uint8_t {
  Ident, Function, AtKeyword, Hash, String, BadString, Url, BadUrl, Delim,
  Number, Percentage, Dimension, Whitespace, CDO, CDC, Colon, Semicolon, Comma,
  LeftSquare, RightSquare, LeftParen, RightParen, LeftCurly, RightCurly, End
};

struct Token {
  TokenType type = TokenType::End;
  // Ident, Function (without "("), AtKeyword (without "@"), Hash (without
  // "#"), String, Url: the value with escapes resolved; Delim: the code
  // point as UTF-8; Dimension: the unit.
  std::string value;
  double number = 0;        // Number, Percentage, Dimension
  bool integer = false;     // the number's type flag
  bool hashId = false;      // Hash: the "id" type flag
  bool signedNumber = false;  // the number's text began with '+' or '-' (An+B needs it)
  // Number, Percentage, Dimension: the number as written ("+1.50", "1e3"),
  // so that values serialise back to what the author wrote.
  std::string repr;
};

// A preserved token, a function with its arguments, or a {} [] () block.
struct ComponentValue {
  enum class Kind : std::uint8_t { Token, Function, Block } kind = Kind::Token;
  Token token;             // Kind::Token; Function: its name in token.value
  char open = 0;           // Kind::Block: '{', '[' or '('
  std::vector<ComponentValue> children;  // Function arguments or block contents
};
using ComponentValues = std::vector<ComponentValue>;

struct Declaration {
  std::string name;        // as written (custom properties keep case)
  ComponentValues value;   // whitespace trimmed, "!important" removed
  bool important = false;
};

struct Rule {
  bool at = false;               // at-rule or qualified rule
  std::string name;              // at-rule name without '@'
  ComponentValues prelude;
  bool hasBlock = false;
  ComponentValues block;         // the {} block's contents
};

struct Stylesheet {
  std::vector<Rule> rules;
};

// Component values nest no deeper than this; deeper blocks and functions are
// consumed and dropped, so hostile sheets cost no stack.
inline constexpr int kMaxNesting = 128;

std::vector<Token> Tokenize(std::string_view input);
// The input as the tokenizer reads it: CR LF, CR and FF become LF, NUL U+FFFD.
std::string Preprocess(std::string_view input);
Stylesheet ParseStylesheet(std::string_view input);
// The contents of a style rule's block or of a STYLE attribute.
std::vector<Declaration> ParseDeclarationList(std::string_view input);
std::vector<Declaration> ParseDeclarationList(const ComponentValues& block);
// As above, keeping the at-rules a declaration list may hold (@page's
// margin boxes) in `atRules`.
std::vector<Declaration> ParseDeclarationList(const ComponentValues& block, std::vector<Rule>* atRules);
// A rule's block contents read as rules (the block of @media, @supports).
std::vector<Rule> ParseRuleList(const ComponentValues& block);
// The same, taking the values over instead of copying them: nested @media
// blocks read level by level then cost no copy per level.
std::vector<Rule> ParseRuleList(ComponentValues&& block);
std::vector<Declaration> ParseDeclarationList(ComponentValues&& block, std::vector<Rule>* atRules = nullptr);
ComponentValues ParseComponentValues(std::string_view input);
// Exactly one declaration (an @supports condition's `(prop: value)`), one
// component value, or one rule, with nothing but white space around; false
// when the input is not one.
bool ParseOneDeclaration(const ComponentValues& values, Declaration& out);
bool ParseOneDeclaration(std::string_view input, Declaration& out);
bool ParseOneComponentValue(std::string_view input, ComponentValue& out);
bool ParseOneRule(std::string_view input, Rule& out);
// The text a list of component values serialises to (for custom properties,
// url() and diagnostics).
std::string Serialize(const ComponentValues& values);

// An+B microsyntax; false when the values are not one.
bool ParseAnPlusB(const ComponentValues& values, long& a, long& b);

// The sheet's text as UTF-8: its byte order mark, else its @charset, else
// the referring document's encoding label (may be empty), else UTF-8.
std::string DecodeSheet(std::string_view bytes, std::string_view documentEncoding);
// The same with a transport's label, which comes before @charset; `used`,
// when given, receives the name of the encoding read.
std::string DecodeSheet(std::string_view bytes, std::string_view transportEncoding,
                        std::string_view documentEncoding, std::string* used);

}  // namespace ps::css
