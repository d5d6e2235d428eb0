// Rules, declarations and component values read from tokens with the error
// recovery of CSS Syntax Level 3. The algorithms work on a stream of
// component values, taken either from the tokenizer or from a block already
// read; blocks are built with an explicit stack, never by recursion.
#include <string>
#include <type_traits>

#include "style/tokenizer.h"

#include "model/tree.h"

namespace ps::css {

namespace {

bool IsToken(const ComponentValue& v, TokenType t) {
  return v.kind == ComponentValue::Kind::Token && v.token.type == t;
}

bool IsCurlyBlock(const ComponentValue& v) {
  return v.kind == ComponentValue::Kind::Block && v.open == '{';
}


// The token that closes what an opening token starts; End for the rest.
TokenType CloserOf(const Token& t) {
  switch (t.type) {
    case TokenType::LeftCurly: return TokenType::RightCurly;
    case TokenType::LeftSquare: return TokenType::RightSquare;
    case TokenType::LeftParen:
    case TokenType::Function: return TokenType::RightParen;
    default: return TokenType::End;
  }
}

char OpenChar(TokenType t) {
  return t == TokenType::LeftCurly ? '{' : t == TokenType::LeftSquare ? '[' : '(';
}

// Turns an opening token into the empty block or function it starts.
void StartNested(Token&& t, ComponentValue& v) {
  if (t.type == TokenType::Function) {
    v.kind = ComponentValue::Kind::Function;
    v.token = std::move(t);
  } else {
    v.kind = ComponentValue::Kind::Block;
    v.open = OpenChar(t.type);
  }
}

// A stream of component values.
class Source {
 public:
  virtual ~Source() = default;
  virtual const ComponentValue* Peek() = 0;  // nullptr at the end
  virtual ComponentValue Take() = 0;          // the value Peek gave
  void Skip() { (void)Take(); }
  void SkipWhitespace() {
    while (const ComponentValue* v = Peek()) {
      if (!IsToken(*v, TokenType::Whitespace)) return;
      Skip();
    }
  }
};

class TokenSource final : public Source {
 public:
  explicit TokenSource(std::string_view input) : tk_(input) {}
  const ComponentValue* Peek() override {
    if (!have_ && !done_) {
      have_ = Consume(cur_);
      done_ = !have_;
    }
    return have_ ? &cur_ : nullptr;
  }
  ComponentValue Take() override {
    Peek();
    have_ = false;
    return std::move(cur_);
  }

 private:
  // One component value. Blocks deeper than kMaxNesting are read to their
  // end (their closers tracked, one byte a level) and dropped.
  bool Consume(ComponentValue& out) {
    out = ComponentValue{};
    Token t;
    tk_.Next(t);
    if (t.type == TokenType::End) return false;
    const TokenType closer = CloserOf(t);
    if (closer == TokenType::End) {
      out.token = std::move(t);
      return true;
    }
    StartNested(std::move(t), out);
    std::vector<ComponentValue*> kept{&out};
    std::vector<TokenType> closers{closer};
    while (!closers.empty()) {
      tk_.Next(t);
      if (t.type == TokenType::End) break;  // the end closes every open block
      const bool keeping = kept.size() == closers.size();
      if (t.type == closers.back()) {
        if (keeping) kept.pop_back();
        closers.pop_back();
        continue;
      }
      const TokenType c = CloserOf(t);
      if (c != TokenType::End) {
        closers.push_back(c);
        if (keeping && closers.size() <= static_cast<std::size_t>(kMaxNesting)) {
          auto& siblings = kept.back()->children;
          siblings.emplace_back();
          StartNested(std::move(t), siblings.back());
          kept.push_back(&siblings.back());
        }
        continue;
      }
      if (keeping) {
        kept.back()->children.emplace_back();
        kept.back()->children.back().token = std::move(t);
      }
    }
    return true;
  }

  Tokenizer tk_;
  ComponentValue cur_;
  bool have_ = false;
  bool done_ = false;
};

// Values already read; `Values` const copies them out, mutable moves them.
template <class Values>
class ListSource final : public Source {
 public:
  explicit ListSource(Values& values) : values_(values) {}
  const ComponentValue* Peek() override { return i_ < values_.size() ? &values_[i_] : nullptr; }
  ComponentValue Take() override {
    if constexpr (std::is_const_v<Values>) return values_[i_++];
    else return std::move(values_[i_++]);
  }

 private:
  Values& values_;
  std::size_t i_ = 0;
};
using CopyingSource = ListSource<const ComponentValues>;
using MovingSource = ListSource<ComponentValues>;

void TrimTrailingWhitespace(ComponentValues& v) {
  while (!v.empty() && IsToken(v.back(), TokenType::Whitespace)) v.pop_back();
}

// After the at-keyword: the prelude, then `;`, a {} block or the end.
Rule ConsumeAtRule(Source& in) {
  Rule r;
  r.at = true;
  r.name = in.Take().token.value;
  while (const ComponentValue* v = in.Peek()) {
    if (IsToken(*v, TokenType::Semicolon)) {
      in.Skip();
      break;
    }
    if (IsCurlyBlock(*v)) {
      r.hasBlock = true;
      r.block = std::move(in.Take().children);
      break;
    }
    r.prelude.push_back(in.Take());
  }
  return r;
}

// A prelude and its {} block; false (the rule dropped) when the input ends
// before the block.
bool ConsumeQualifiedRule(Source& in, Rule& r) {
  r = Rule{};
  while (const ComponentValue* v = in.Peek()) {
    if (IsCurlyBlock(*v)) {
      r.hasBlock = true;
      r.block = std::move(in.Take().children);
      return true;
    }
    r.prelude.push_back(in.Take());
  }
  return false;
}

std::vector<Rule> ConsumeRuleList(Source& in, bool topLevel) {
  std::vector<Rule> rules;
  while (const ComponentValue* v = in.Peek()) {
    if (IsToken(*v, TokenType::Whitespace)) {
      in.Skip();
      continue;
    }
    // <!-- and --> hide a sheet from old browsers; only at the top they are nothing.
    if (topLevel && (IsToken(*v, TokenType::CDO) || IsToken(*v, TokenType::CDC))) {
      in.Skip();
      continue;
    }
    if (IsToken(*v, TokenType::AtKeyword)) {
      rules.push_back(ConsumeAtRule(in));
      continue;
    }
    Rule r;
    if (ConsumeQualifiedRule(in, r)) rules.push_back(std::move(r));
  }
  return rules;
}

// A declaration from its name onwards; false when it is not one (no colon).
bool ConsumeDeclaration(Source& in, Declaration& d) {
  d = Declaration{};
  d.name = in.Take().token.value;
  in.SkipWhitespace();
  const ComponentValue* colon = in.Peek();
  if (!colon || !IsToken(*colon, TokenType::Colon)) return false;
  in.Skip();
  in.SkipWhitespace();
  while (in.Peek()) d.value.push_back(in.Take());
  TrimTrailingWhitespace(d.value);
  // `! important` at the end, white space allowed around and between.
  ComponentValues& v = d.value;
  if (!v.empty() && IsToken(v.back(), TokenType::Ident) && EqualsNoCase(v.back().token.value, "important")) {
    std::size_t k = v.size() - 1;
    while (k > 0 && IsToken(v[k - 1], TokenType::Whitespace)) --k;
    if (k > 0 && IsToken(v[k - 1], TokenType::Delim) && v[k - 1].token.value == "!") {
      v.resize(k - 1);
      d.important = true;
      TrimTrailingWhitespace(v);
    }
  }
  return true;
}

void ConsumeDeclarationList(Source& in, std::vector<Declaration>& out, std::vector<Rule>* atRules) {
  while (const ComponentValue* v = in.Peek()) {
    if (IsToken(*v, TokenType::Whitespace) || IsToken(*v, TokenType::Semicolon)) {
      in.Skip();
      continue;
    }
    if (IsToken(*v, TokenType::AtKeyword)) {
      Rule r = ConsumeAtRule(in);
      if (atRules) atRules->push_back(std::move(r));
      continue;
    }
    const bool ident = IsToken(*v, TokenType::Ident);
    // The declaration's values up to the next `;`: dropped whole when bad.
    ComponentValues pending;
    while (const ComponentValue* w = in.Peek()) {
      if (IsToken(*w, TokenType::Semicolon)) break;
      if (ident) pending.push_back(in.Take());
      else in.Skip();
    }
    if (!ident) continue;
    MovingSource decl(pending);
    Declaration d;
    if (ConsumeDeclaration(decl, d)) out.push_back(std::move(d));
  }
}

bool OneDeclaration(Source& in, Declaration& out) {
  in.SkipWhitespace();
  const ComponentValue* v = in.Peek();
  if (!v || !IsToken(*v, TokenType::Ident)) return false;
  return ConsumeDeclaration(in, out);
}

}  // namespace

Stylesheet ParseStylesheet(std::string_view input) {
  TokenSource in(input);
  Stylesheet sheet;
  sheet.rules = ConsumeRuleList(in, true);
  return sheet;
}

std::vector<Declaration> ParseDeclarationList(std::string_view input) {
  TokenSource in(input);
  std::vector<Declaration> out;
  ConsumeDeclarationList(in, out, nullptr);
  return out;
}

std::vector<Declaration> ParseDeclarationList(const ComponentValues& block) {
  return ParseDeclarationList(block, nullptr);
}

std::vector<Declaration> ParseDeclarationList(const ComponentValues& block, std::vector<Rule>* atRules) {
  CopyingSource in(block);
  std::vector<Declaration> out;
  ConsumeDeclarationList(in, out, atRules);
  return out;
}

std::vector<Rule> ParseRuleList(const ComponentValues& block) {
  CopyingSource in(block);
  return ConsumeRuleList(in, false);
}

std::vector<Declaration> ParseDeclarationList(ComponentValues&& block, std::vector<Rule>* atRules) {
  MovingSource in(block);
  std::vector<Declaration> out;
  ConsumeDeclarationList(in, out, atRules);
  block.clear();
  return out;
}

std::vector<Rule> ParseRuleList(ComponentValues&& block) {
  MovingSource in(block);
  std::vector<Rule> rules = ConsumeRuleList(in, false);
  block.clear();
  return rules;
}

ComponentValues ParseComponentValues(std::string_view input) {
  TokenSource in(input);
  ComponentValues out;
  while (in.Peek()) out.push_back(in.Take());
  return out;
}

bool ParseOneDeclaration(const ComponentValues& values, Declaration& out) {
  CopyingSource in(values);
  return OneDeclaration(in, out);
}

bool ParseOneDeclaration(std::string_view input, Declaration& out) {
  TokenSource in(input);
  return OneDeclaration(in, out);
}

bool ParseOneComponentValue(std::string_view input, ComponentValue& out) {
  TokenSource in(input);
  in.SkipWhitespace();
  if (!in.Peek()) return false;
  out = in.Take();
  in.SkipWhitespace();
  return in.Peek() == nullptr;
}

bool ParseOneRule(std::string_view input, Rule& out) {
  TokenSource in(input);
  in.SkipWhitespace();
  const ComponentValue* v = in.Peek();
  if (!v) return false;
  if (IsToken(*v, TokenType::AtKeyword)) {
    out = ConsumeAtRule(in);
  } else if (!ConsumeQualifiedRule(in, out)) {
    return false;
  }
  in.SkipWhitespace();
  return in.Peek() == nullptr;
}

}  // namespace ps::css
