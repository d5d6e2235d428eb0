#include "style/syntax.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "support/test_util.h"

namespace ps::css {
namespace {

std::string Names(const std::vector<Declaration>& ds) {
  std::string out;
  for (const Declaration& d : ds) out += d.name + "=" + Serialize(d.value) + (d.important ? "!" : "") + ";";
  return out;
}

std::string Preludes(const Stylesheet& s) {
  std::string out;
  for (const Rule& r : s.rules) out += (r.at ? "@" + r.name : std::string()) + "[" + Serialize(r.prelude) + "]";
  return out;
}

TEST(Syntax, BadDeclarationsAndRulesDropAloneNeverTheSheet) {
  EXPECT_EQ(Names(ParseDeclarationList("color:red; bad; ;; width 3px; margin : 0 !IMPORTANT; 5:x; b:{;}; c:d")),
            "color=red;margin=0!;b={;};c=d;");
  EXPECT_EQ(Names(ParseDeclarationList("a: (;) [;] f(;) x; b: y")), "a=(;) [;] f(;) x;b=y;");
  EXPECT_EQ(Names(ParseDeclarationList("@media print { x: y } a: b; @page; c: d")), "a=b;c=d;");
  EXPECT_EQ(Names(ParseDeclarationList("--Custom:  { a } !important ; --empty:;")), "--Custom={ a }!;--empty=;");
  const Stylesheet s = ParseStylesheet(
      "<!-- p{a:b} --> @import 'x.css'; @media print { q{} } h1 {c:d} @bad rule; } stray {e:f} "
      "@font-face{} div { unterminated");
  EXPECT_EQ(Preludes(s), "[p]@import[ \"x.css\"]@media[ print ][h1 ]@bad[ rule][} stray ]@font-face[][div ]");
  const Rule& media = s.rules[2];
  ASSERT_EQ(ParseRuleList(media.block).size(), 1u);
  // Taken over instead of copied, the values read the same.
  ComponentValues block = media.block;
  const std::vector<Rule> moved = ParseRuleList(std::move(block));
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(Serialize(moved[0].prelude), Serialize(ParseRuleList(media.block)[0].prelude));
  ComponentValues decls = ParseComponentValues("a:b; @x; c:d e");
  std::vector<Rule> at;
  EXPECT_EQ(Names(ParseDeclarationList(std::move(decls), &at)), "a=b;c=d e;");
  EXPECT_EQ(at.size(), 1u);
  EXPECT_EQ(Names(ParseDeclarationList(s.rules[3].block)), "c=d;");
  // A rule without its block at the end drops; the one before stays.
  EXPECT_EQ(ParseStylesheet("a{} b").rules.size(), 1u);
}

TEST(Syntax, PreprocessingAndTokens) {
  EXPECT_EQ(Preprocess(std::string_view("a\r\nb\rc\fd\0e", 10)), std::string("a\nb\nc\nd\xEF\xBF\xBD" "e"));
  const std::vector<Token> t = Tokenize("+.5e1px -7% 12 url( a\\)b ) url(x y) q 'str\\\nx' #-a #1 \\31 0 U+26");
  std::vector<TokenType> types;
  for (const Token& k : t)
    if (k.type != TokenType::Whitespace) types.push_back(k.type);
  const std::vector<TokenType> want = {TokenType::Dimension, TokenType::Percentage, TokenType::Number,
                                       TokenType::Url,       TokenType::BadUrl,     TokenType::Ident,
                                       TokenType::String,    TokenType::Hash,       TokenType::Hash,
                                       TokenType::Ident,     TokenType::Ident,      TokenType::Number};
  EXPECT_EQ(types, want);
  EXPECT_EQ(t[0].repr, "+.5e1");
  EXPECT_DOUBLE_EQ(t[0].number, 5);
  EXPECT_FALSE(t[0].integer);
  EXPECT_TRUE(t[0].signedNumber);
  EXPECT_EQ(t[0].value, "px");
  EXPECT_EQ(t[6].value, "a)b");
  EXPECT_EQ(t[12].value, "strx");
  EXPECT_TRUE(t[14].hashId);
  EXPECT_FALSE(t[16].hashId);
  EXPECT_EQ(t[18].value, "10");  // \31 0: the escape's space ends it
  // Numbers past a double's range saturate instead of failing.
  EXPECT_GT(Tokenize("1e999")[0].number, 1e300);
  EXPECT_EQ(Tokenize("1e-999")[0].number, 0);
  // Escapes of nothing, of surrogates and past Unicode give U+FFFD.
  EXPECT_EQ(Tokenize("\\0 a\\D800 \\110000")[0].value, "\xEF\xBF\xBD" "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Syntax, SerializeReadsBackAsTheSameValues) {
  const char* inputs[] = {
      "var(--x, 1px) calc(100% - 2em)", "a/**/b", "1/**/2 -/**/x", "#a/**/b", "u\\rl(x) url( \"q\" )",
      "'it\\'s' \"a\\\"b\"", "\\31 x -\\32 y \\- a\\ b", "1\\65 3 1e3", "url(a\\ b\\)c)", "@x/**/y",
      "[a](b){c}", "\x01 \x7F", "{ unterminated ( [",
  };
  for (const char* in : inputs) {
    const std::string once = Serialize(ParseComponentValues(in));
    EXPECT_EQ(Serialize(ParseComponentValues(once)), once) << in;
    // The tokens survive too, not only the text.
    const auto a = ParseComponentValues(in), b = ParseComponentValues(once);
    ASSERT_EQ(a.size(), b.size()) << in << " -> " << once;
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].token.type, b[i].token.type) << in << " -> " << once;
      EXPECT_EQ(a[i].token.value, b[i].token.value) << in << " -> " << once;
    }
  }
  EXPECT_EQ(Serialize(ParseComponentValues("1\\65 3")), "1\\65 3");
  EXPECT_EQ(Serialize(ParseComponentValues(" 2px  solid  ")), " 2px solid ");
}

TEST(Syntax, SheetsDecodeByMarkCharsetThenDocument) {
  std::string used;
  EXPECT_EQ(DecodeSheet("\xEF\xBB\xBF" "a{}", "", "windows-1252", &used), "a{}");
  EXPECT_EQ(used, "UTF-8");
  EXPECT_EQ(DecodeSheet(std::string("\xFF\xFE" "a\0\xE9\0", 6), ""), "a\xC3\xA9");
  EXPECT_EQ(DecodeSheet("@charset \"latin1\"; \xE9", "utf-8"), "@charset \"latin1\"; \xC3\xA9");
  // The rule must be written exactly so to count.
  EXPECT_EQ(DecodeSheet("@charset 'latin1'; \xE9", ""), "@charset 'latin1'; \xEF\xBF\xBD");
  EXPECT_EQ(DecodeSheet("@charset \"utf-16le\"; \xC3\xA9", "", "", &used), "@charset \"utf-16le\"; \xC3\xA9");
  EXPECT_EQ(used, "UTF-8");
  EXPECT_EQ(DecodeSheet("\xE9", "iso-8859-1"), "\xC3\xA9");
  EXPECT_EQ(DecodeSheet("\xE9", "koi8-r"), "\xD0\x98");
  EXPECT_EQ(DecodeSheet("a{}", "utf-16le"), "a{}") << "a UTF-16 page's sheet is not read as UTF-16";
  EXPECT_EQ(DecodeSheet("\xE9", "no-such-label"), "\xEF\xBF\xBD");
  EXPECT_EQ(DecodeSheet("a\xC3(b", ""), "a\xEF\xBF\xBD(b");
}

double Seconds(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#ifdef PAGESMITH_TEST_ASAN
constexpr std::size_t kHostileBytes = 100'000;
#else
constexpr std::size_t kHostileBytes = 500'000;
#endif

int Depth(const ComponentValues& v) {
  int d = 0;
  for (const ComponentValue& c : v)
    if (!c.children.empty()) d = std::max(d, 1 + Depth(c.children));
  return d;
}

// Hostile sheets cost time in proportion to their size and a bounded stack.
TEST(Syntax, HostileSheetsParseInLinearTime) {
  const std::string deep = std::string(kHostileBytes, '{') + "x" + std::string(kHostileBytes / 2, '}');
  const std::string mixed = [] {
    std::string s;
    while (s.size() < kHostileBytes) s += "(f([{";
    return s;
  }();
  double secs = Seconds([&] {
    const Stylesheet s = ParseStylesheet("a" + deep);
    ASSERT_EQ(s.rules.size(), 1u);
    EXPECT_LE(Depth(s.rules[0].block), kMaxNesting);
    const ComponentValues v = ParseComponentValues(mixed);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_LE(Depth(v), kMaxNesting);
    EXPECT_EQ(ParseStylesheet("a{} /*" + std::string(kHostileBytes, '*')).rules.size(), 1u);
    EXPECT_EQ(ParseStylesheet("a{b:'" + std::string(kHostileBytes, 'x')).rules.size(), 1u);
    EXPECT_EQ(ParseStylesheet("a{b:url(" + std::string(kHostileBytes, '\\')).rules.size(), 1u);
  });
  EXPECT_LT(secs, 10.0);
  std::string rules;
  const std::size_t n = kHostileBytes / 20;
  for (std::size_t i = 0; i < n; ++i) rules += ".c" + std::to_string(i) + "{color:red}\n";
  secs = Seconds([&] { EXPECT_EQ(ParseStylesheet(rules).rules.size(), n); });
  EXPECT_LT(secs, 10.0);
}

}  // namespace
}  // namespace ps::css
