// The tokenizer the parser pulls from: one token at a time, so that a large
// sheet never exists as a whole list of tokens.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "style/syntax.h"

namespace ps::css {

// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);
// The text with ASCII capitals in lower case (CSS keywords compare so).
std::string AsciiLower(std::string_view s);

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view input) : text_(Preprocess(input)) {}
  // The next token; TokenType::End once the input is used up.
  void Next(Token& t);

 private:
  char At(std::size_t k = 0) const { return pos_ + k < text_.size() ? text_[pos_ + k] : '\0'; }
  bool Has(std::size_t k = 0) const { return pos_ + k < text_.size(); }
  bool ValidEscapeAt(std::size_t k) const;
  bool StartsIdentAt(std::size_t k) const;
  bool StartsNumberAt(std::size_t k) const;
  void SkipComments();
  void ConsumeEscape(std::string& out);
  void ConsumeName(std::string& out);
  void ConsumeNumber(Token& t);
  void ConsumeNumeric(Token& t);
  void ConsumeIdentLike(Token& t);
  void ConsumeString(Token& t, char quote);
  void ConsumeUrl(Token& t);
  void ConsumeBadUrlRemnants();

  std::string text_;
  std::size_t pos_ = 0;
};

}  // namespace ps::css
