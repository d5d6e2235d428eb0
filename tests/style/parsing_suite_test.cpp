// The CSS parsing test suite (tests/style/css-parsing-tests, CC0), run
// against the tokenizer, parser, An+B reader, sheet decoder and colour
// reader. The suite was written against the 2013 draft of CSS Syntax; where
// the current standard reads differently, the expectation is normalised
// (with the reason) or the case is listed as a known deviation below.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "style/color.h"
#include "style/syntax.h"
#include "support/json.h"

namespace ps::css {
namespace {

using test::Json;

// Cases whose 2013 expectation the current standard no longer holds.
struct Deviation {
  const char* file;
  const char* input;  // the case's input, exactly
  const char* why;
};
const Deviation kDeviations[] = {
#include "parsing_suite_deviations.inc"
};

bool IsDeviation(const std::string& file, const std::string& input) {
  for (const Deviation& d : kDeviations)
    if (file == d.file && input == d.input) return true;
  return false;
}

Json Error(const char* what) { return Json::Arr({Json::Str("error"), Json::Str(what)}); }

Json NumberJson(const char* kind, const Token& t) {
  Json j = Json::Arr({Json::Str(kind), Json::Str(t.repr), Json::Num(t.number),
                      Json::Str(t.integer ? "integer" : "number")});
  if (t.type == TokenType::Dimension) j.array.push_back(Json::Str(t.value));
  return j;
}

Json ToJson(const ComponentValue& v);

Json ListJson(const ComponentValues& values, Json head = Json::Arr()) {
  for (const ComponentValue& v : values) head.array.push_back(ToJson(v));
  return head;
}

Json TokenJson(const Token& t) {
  switch (t.type) {
    case TokenType::Ident: return Json::Arr({Json::Str("ident"), Json::Str(t.value)});
    case TokenType::AtKeyword: return Json::Arr({Json::Str("at-keyword"), Json::Str(t.value)});
    case TokenType::Hash:
      return Json::Arr({Json::Str("hash"), Json::Str(t.value), Json::Str(t.hashId ? "id" : "unrestricted")});
    case TokenType::String: return Json::Arr({Json::Str("string"), Json::Str(t.value)});
    case TokenType::BadString: return Error("bad-string");
    case TokenType::Url: return Json::Arr({Json::Str("url"), Json::Str(t.value)});
    case TokenType::BadUrl: return Error("bad-url");
    case TokenType::Delim: return Json::Str(t.value);
    case TokenType::Number: return NumberJson("number", t);
    case TokenType::Percentage: return NumberJson("percentage", t);
    case TokenType::Dimension: return NumberJson("dimension", t);
    case TokenType::Whitespace: return Json::Str(" ");
    case TokenType::CDO: return Json::Str("<!--");
    case TokenType::CDC: return Json::Str("-->");
    case TokenType::Colon: return Json::Str(":");
    case TokenType::Semicolon: return Json::Str(";");
    case TokenType::Comma: return Json::Str(",");
    case TokenType::RightSquare: return Error("]");
    case TokenType::RightParen: return Error(")");
    case TokenType::RightCurly: return Error("}");
    default: return Json::Str("?unexpected token");
  }
}

Json ToJson(const ComponentValue& v) {
  switch (v.kind) {
    case ComponentValue::Kind::Token: return TokenJson(v.token);
    case ComponentValue::Kind::Function:
      return ListJson(v.children, Json::Arr({Json::Str("function"), Json::Str(v.token.value)}));
    case ComponentValue::Kind::Block: {
      const char* name = v.open == '{' ? "{}" : v.open == '[' ? "[]" : "()";
      return ListJson(v.children, Json::Arr({Json::Str(name)}));
    }
  }
  return Json();
}

Json RuleJson(const Rule& r) {
  if (r.at) {
    Json block = r.hasBlock ? ListJson(r.block) : Json();
    return Json::Arr({Json::Str("at-rule"), Json::Str(r.name), ListJson(r.prelude), block});
  }
  return Json::Arr({Json::Str("qualified rule"), ListJson(r.prelude), ListJson(r.block)});
}

Json RulesJson(const std::vector<Rule>& rules) {
  Json out = Json::Arr();
  for (const Rule& r : rules) out.array.push_back(RuleJson(r));
  return out;
}

Json DeclarationJson(const Declaration& d) {
  return Json::Arr({Json::Str("declaration"), Json::Str(d.name), ListJson(d.value), Json::Bool(d.important)});
}

bool IsError(const Json& j, const char* what = nullptr) {
  return j.type == Json::Type::Array && j.array.size() == 2 && j.array[0].IsString("error") &&
         (!what || j.array[1].IsString(what));
}

bool IsWhitespace(const Json& j) { return j.IsString(" "); }

// The 2013 expectation in the terms of the current standard:
// - an unterminated string or url at the end is reported as a parse error
//   in the suite; the tokens themselves are the same, so those reports go;
// - `~=`, `|=`, `^=`, `$=`, `*=` and `||` are no longer tokens of their own
//   but two delims each (the selector reader pairs them);
// - declaration values are trimmed of white space at both ends;
// - a rule or declaration that is dropped is absent, not an "invalid" entry.
Json Normalise(const Json& j) {
  if (j.type == Json::Type::String && j.string.size() == 2 && j.string[1] != ' ') {
    static const std::set<std::string> kMatchTokens = {"~=", "|=", "^=", "$=", "*=", "||"};
    if (kMatchTokens.count(j.string)) return Json::Str("\x01" + j.string);  // expanded by the caller
  }
  if (j.type != Json::Type::Array) return j;
  Json out = Json::Arr();
  for (const Json& item : j.array) {
    if (IsError(item, "eof-in-string") || IsError(item, "eof-in-url") || IsError(item, "invalid")) continue;
    Json n = Normalise(item);
    if (n.type == Json::Type::String && !n.string.empty() && n.string[0] == '\x01') {
      out.array.push_back(Json::Str(n.string.substr(1, 1)));
      out.array.push_back(Json::Str(n.string.substr(2, 1)));
      continue;
    }
    out.array.push_back(std::move(n));
  }
  if (out.array.size() == 4 && out.array[0].IsString("declaration") &&
      out.array[2].type == Json::Type::Array) {
    auto& v = out.array[2].array;
    while (!v.empty() && IsWhitespace(v.back())) v.pop_back();
    while (!v.empty() && IsWhitespace(v.front())) v.erase(v.begin());
  }
  return out;
}

// The input's bytes: the suite writes each byte as the code point of its value.
std::string Bytes(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
      ++i;
    }
  }
  return out;
}

// Runs every case of the file: `run` gives the result for an input.
void RunSuite(const std::string& file, const std::function<Json(const Json&)>& run) {
  const Json cases = test::ParseJson(test::ReadFile(std::string(PAGESMITH_TEST_DIR) + "/style/css-parsing-tests/" + file));
  ASSERT_EQ(cases.array.size() % 2, 0u);
  int passed = 0, deviations = 0;
  for (std::size_t i = 0; i < cases.array.size(); i += 2) {
    const Json& input = cases.array[i];
    const std::string key = input.type == Json::Type::String ? input.string : test::ToJson(input);
    // An error for a single item: the reader says false.
    const Json expected = IsError(cases.array[i + 1]) ? Json() : Normalise(cases.array[i + 1]);
    const Json actual = run(input);
    const bool same = test::JsonEqual(expected, actual);
    if (IsDeviation(file, key)) {
      ++deviations;
      EXPECT_FALSE(same) << file << ": the deviation listed for " << test::ToJson(input) << " no longer holds";
      continue;
    }
    EXPECT_TRUE(same) << file << ": " << test::ToJson(input) << "\n  expected " << test::ToJson(expected)
                      << "\n  got      " << test::ToJson(actual);
    passed += same;
  }
  EXPECT_GT(passed, 0);
}

ComponentValues Trimmed(std::string_view input) {
  ComponentValues v = ParseComponentValues(input);
  while (!v.empty() && v.back().kind == ComponentValue::Kind::Token && v.back().token.type == TokenType::Whitespace)
    v.pop_back();
  while (!v.empty() && v.front().kind == ComponentValue::Kind::Token && v.front().token.type == TokenType::Whitespace)
    v.erase(v.begin());
  return v;
}

TEST(ParsingSuite, ComponentValueList) {
  RunSuite("component_value_list.json", [](const Json& in) { return ListJson(ParseComponentValues(in.string)); });
}

TEST(ParsingSuite, OneComponentValue) {
  RunSuite("one_component_value.json", [](const Json& in) {
    ComponentValue v;
    return ParseOneComponentValue(in.string, v) ? ToJson(v) : Json();
  });
}

// Declarations and the at-rules among them, each kind in its order (the
// parser hands them out apart).
Json SplitDeclarationsAndRules(const Json& items) {
  Json decls = Json::Arr(), rules = Json::Arr();
  for (const Json& item : items.array) (item.array[0].IsString("declaration") ? decls : rules).array.push_back(item);
  return Json::Arr({decls, rules});
}

TEST(ParsingSuite, DeclarationList) {
  const Json cases = test::ParseJson(
      test::ReadFile(std::string(PAGESMITH_TEST_DIR) + "/style/css-parsing-tests/declaration_list.json"));
  for (std::size_t i = 0; i < cases.array.size(); i += 2) {
    std::vector<Rule> atRules;
    Json decls = Json::Arr();
    for (const Declaration& d : ParseDeclarationList(ParseComponentValues(cases.array[i].string), &atRules))
      decls.array.push_back(DeclarationJson(d));
    const Json actual = Json::Arr({decls, RulesJson(atRules)});
    const Json expected = SplitDeclarationsAndRules(Normalise(cases.array[i + 1]));
    EXPECT_TRUE(test::JsonEqual(expected, actual))
        << test::ToJson(cases.array[i]) << "\n  expected " << test::ToJson(expected) << "\n  got      "
        << test::ToJson(actual);
  }
  // The text form reads the same declarations.
  EXPECT_EQ(ParseDeclarationList("a:b; c:d 42!important;\n").size(), 2u);
}

TEST(ParsingSuite, OneDeclaration) {
  RunSuite("one_declaration.json", [](const Json& in) {
    Declaration d;
    return ParseOneDeclaration(in.string, d) ? DeclarationJson(d) : Json();
  });
}

TEST(ParsingSuite, OneRule) {
  RunSuite("one_rule.json", [](const Json& in) {
    Rule r;
    return ParseOneRule(in.string, r) ? RuleJson(r) : Json();
  });
}

TEST(ParsingSuite, RuleList) {
  RunSuite("rule_list.json", [](const Json& in) { return RulesJson(ParseRuleList(ParseComponentValues(in.string))); });
}

TEST(ParsingSuite, Stylesheet) {
  RunSuite("stylesheet.json", [](const Json& in) { return RulesJson(ParseStylesheet(in.string).rules); });
}

TEST(ParsingSuite, StylesheetBytes) {
  RunSuite("stylesheet_bytes.json", [](const Json& in) {
    auto label = [&](const char* key) {
      const auto it = in.object.find(key);
      return it == in.object.end() || it->second.type != Json::Type::String ? std::string() : it->second.string;
    };
    std::string used;
    const std::string text =
        DecodeSheet(Bytes(in.object.at("css_bytes").string), label("protocol_encoding"), label("environment_encoding"), &used);
    for (char& c : used) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return Json::Arr({RulesJson(ParseStylesheet(text).rules), Json::Str(used)});
  });
}

TEST(ParsingSuite, AnPlusB) {
  RunSuite("An+B.json", [](const Json& in) {
    long a = 0, b = 0;
    return ParseAnPlusB(ParseComponentValues(in.string), a, b)
               ? Json::Arr({Json::Num(static_cast<double>(a)), Json::Num(static_cast<double>(b))})
               : Json();
  });
}

Json ColorJson(const std::string& input, double scale) {
  const ComponentValues v = Trimmed(input);
  Rgba c;
  if (v.size() != 1 || !ParseColor(v[0], c)) return Json();
  if (c.currentColor) return Json::Str("currentColor");
  return Json::Arr({Json::Num(c.r / scale), Json::Num(c.g / scale), Json::Num(c.b / scale), Json::Num(c.a)});
}

TEST(ParsingSuite, Colors) {
  RunSuite("color3.json", [](const Json& in) { return ColorJson(in.string, 255); });
  RunSuite("color3_hsl.json", [](const Json& in) { return ColorJson(in.string, 255); });
  RunSuite("color3_keywords.json", [](const Json& in) { return ColorJson(in.string, 1); });
}

}  // namespace
}  // namespace ps::css
