#include "style/selectors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>

namespace ps::css {
namespace {

// A small element tree for the matcher.
struct El {
  std::string name;
  std::map<std::string, std::string> attrs;
  El* parent = nullptr;
  std::vector<El*> children;
  bool text = false;
  std::string lang;
};

class Tree : public ElementView {
 public:
  El* Add(El* parent, std::string name, std::map<std::string, std::string> attrs = {}) {
    nodes_.push_back(std::make_unique<El>());
    El* e = nodes_.back().get();
    e->name = std::move(name);
    e->attrs = std::move(attrs);
    e->parent = parent;
    if (parent) parent->children.push_back(e);
    return e;
  }
  Handle Parent(Handle e) const override { return El_(e)->parent; }
  Handle PreviousElement(Handle e) const override { return Sibling(e, -1); }
  Handle NextElement(Handle e) const override { return Sibling(e, 1); }
  Handle FirstChildElement(Handle e) const override {
    return El_(e)->children.empty() ? nullptr : El_(e)->children.front();
  }
  std::string_view LocalName(Handle e) const override { return El_(e)->name; }
  const std::string* Attribute(Handle e, std::string_view name) const override {
    const auto it = El_(e)->attrs.find(std::string(name));
    return it == El_(e)->attrs.end() ? nullptr : &it->second;
  }
  bool HasTextChildren(Handle e) const override { return El_(e)->text; }
  std::string_view Language(Handle e) const override {
    for (const El* x = El_(e); x; x = x->parent)
      if (!x->lang.empty()) return x->lang;
    return {};
  }
  bool IsLink(Handle e) const override { return El_(e)->name == "a" && El_(e)->attrs.count("href"); }

 private:
  static const El* El_(Handle e) { return static_cast<const El*>(e); }
  Handle Sibling(Handle e, int d) const {
    const El* x = El_(e);
    if (!x->parent) return nullptr;
    const auto& s = x->parent->children;
    const auto i = std::find(s.begin(), s.end(), x) - s.begin() + d;
    return i >= 0 && i < static_cast<long>(s.size()) ? s[static_cast<std::size_t>(i)] : nullptr;
  }
  std::vector<std::unique_ptr<El>> nodes_;
};

std::optional<std::vector<Selector>> Parse(std::string_view text) {
  return ParseSelectorList(ParseComponentValues(text));
}

bool Match(std::string_view selector, const Tree& t, const El* e) {
  const auto list = Parse(selector);
  EXPECT_TRUE(list) << selector;
  if (!list) return false;
  for (const Selector& s : *list)
    if (Matches(s, t, e)) return true;
  return false;
}

TEST(Selectors, SpecificityAsTheStandardComputesIt) {
  struct Row {
    const char* selector;
    std::uint32_t a, b, c;
  };
  const Row rows[] = {
      {"*", 0, 0, 0}, {"li", 0, 0, 1}, {"ul li", 0, 0, 2}, {"ul ol+li", 0, 0, 3},
      {"h1 + *[rel=up]", 0, 1, 1}, {"ul ol li.red", 0, 1, 3}, {"li.red.level", 0, 2, 1},
      {"#x34y", 1, 0, 0}, {"#s12:not(FOO)", 1, 0, 1}, {".foo :is(.bar, #baz)", 1, 1, 0},
      {"a:where(.x, #y) b", 0, 0, 2}, {":not(.a, #b p)", 1, 0, 1}, {"p::before", 0, 0, 2},
      {"p:first-line", 0, 0, 2}, {"li:nth-child(2n+1)", 0, 1, 1}, {"a:hover", 0, 1, 1},
      {"[href]", 0, 1, 0}, {"*|p", 0, 0, 1}, {":is(:where(#a), .b)", 0, 1, 0}, {":lang(fr) q", 0, 1, 1},
      {"html > body div#main.note[lang|=en] p:first-child", 1, 3, 4},
  };
  for (const Row& r : rows) {
    const auto list = Parse(r.selector);
    ASSERT_TRUE(list && list->size() == 1) << r.selector;
    const Specificity s = list->front().specificity;
    EXPECT_EQ(s, (Specificity{r.a, r.b, r.c})) << r.selector << " gave " << s.a << "," << s.b << "," << s.c;
  }
}

TEST(Selectors, InvalidSelectorsDropTheWholeList) {
  for (const char* bad : {"", "p,", ",p", "p..x", "#1a", "p > > q", "p >", "svg|rect", "[foo=bar baz]",
                          "[foo~bar]", "p:unknown", "p::unknown", "p::before span", "::before::after",
                          ":not(p::before)", ":nth-child(2n+)", ":lang()", ":not(,)", "a:first-line:first-child",
                          "p, q:nope", ":marker", "[x i]", "[x=y z]", "p | q", "[ns|x]", "#a#", "a{", "1px"}) {
    EXPECT_FALSE(Parse(bad)) << bad;
  }
  for (const char* good : {"p", " p , q ", "*|*", "|p", "[*|x]", "a>b~c+d e", "p::first-letter",
                           "p:before", ":is()", ":is(p, ::before, q)", ":where(:nope, p)", "[x=y i]", "[x=\"y\" s]",
                           "P.Cls#Id", ":nth-last-of-type(odd)", ":lang(en, \"de\")", "a:hover", "p::marker:hover"}) {
    EXPECT_TRUE(Parse(good)) << good;
  }
}

TEST(Selectors, BucketKeysNameTheRightmostCompound) {
  const auto list = Parse("div.a #x, UL li.first.other, :is(p) span, *");
  ASSERT_TRUE(list);
  EXPECT_EQ((*list)[0].keyId, "x");
  EXPECT_EQ((*list)[1].keyTag, "li");
  EXPECT_EQ((*list)[1].keyClass, "first");
  EXPECT_EQ((*list)[2].keyTag, "span");
  EXPECT_TRUE((*list)[3].keyId.empty() && (*list)[3].keyClass.empty() && (*list)[3].keyTag.empty());
}

struct Doc {
  Tree t;
  El *html, *body, *div, *p1, *p2, *span, *a, *ul, *li[5], *input, *empty;
  Doc() {
    html = t.Add(nullptr, "html");
    html->lang = "en-GB";
    body = t.Add(html, "body");
    div = t.Add(body, "div", {{"id", "main"}, {"class", "note  Warn"}, {"title", "Hello World"}});
    p1 = t.Add(div, "p", {{"class", "first"}, {"lang", "fr-CA"}});
    p1->lang = "fr-CA";
    p1->text = true;
    p2 = t.Add(div, "p", {{"type", "Disc"}});
    span = t.Add(p2, "span", {{"data-x", "a-b"}});
    a = t.Add(p2, "a", {{"href", "#top"}});
    ul = t.Add(body, "ul");
    for (auto& l : li) l = t.Add(ul, "li");
    input = t.Add(body, "input", {{"type", "checkbox"}, {"checked", ""}});
    empty = t.Add(body, "div");
  }
};

TEST(Selectors, TypeClassIdAndAttributes) {
  Doc d;
  EXPECT_TRUE(Match("DIV", d.t, d.div));  // tag names: any case
  EXPECT_TRUE(Match("*", d.t, d.div));
  EXPECT_TRUE(Match("*|div", d.t, d.div));
  EXPECT_FALSE(Match("|div", d.t, d.div));
  EXPECT_TRUE(Match("#main.note.Warn", d.t, d.div));
  EXPECT_FALSE(Match("#MAIN", d.t, d.div));  // ids and classes: exact case
  EXPECT_FALSE(Match(".warn", d.t, d.div));
  EXPECT_TRUE(Match("[TITLE]", d.t, d.div));
  EXPECT_TRUE(Match("[title='Hello World']", d.t, d.div));
  EXPECT_FALSE(Match("[title='hello world']", d.t, d.div));
  EXPECT_TRUE(Match("[title='hello world' i]", d.t, d.div));
  EXPECT_TRUE(Match("[title~=World]", d.t, d.div));
  EXPECT_FALSE(Match("[title~=Wor]", d.t, d.div));
  EXPECT_FALSE(Match("[title~='']", d.t, d.div));
  EXPECT_TRUE(Match("[lang|=fr]", d.t, d.p1));
  EXPECT_FALSE(Match("[lang|=f]", d.t, d.p1));
  EXPECT_TRUE(Match("[title^=Hell][title$=rld][title*='o W']", d.t, d.div));
  EXPECT_FALSE(Match("[title^='']", d.t, d.div));
  EXPECT_FALSE(Match("[title$='']", d.t, d.div));
  EXPECT_FALSE(Match("[title*='']", d.t, d.div));
  EXPECT_TRUE(Match("[type=disc]", d.t, d.p2));  // HTML compares `type` in any case
  EXPECT_FALSE(Match("[type=disc s]", d.t, d.p2));
  EXPECT_TRUE(Match("[data-x|=a]", d.t, d.span));
}

TEST(Selectors, Combinators) {
  Doc d;
  EXPECT_TRUE(Match("html div p span", d.t, d.span));
  EXPECT_TRUE(Match("body > div > p > span", d.t, d.span));
  EXPECT_FALSE(Match("body > p span", d.t, d.span));
  EXPECT_TRUE(Match("p + p", d.t, d.p2));
  EXPECT_FALSE(Match("p + p", d.t, d.p1));
  EXPECT_TRUE(Match("span + a", d.t, d.a));
  EXPECT_TRUE(Match("li ~ li", d.t, d.li[4]));
  EXPECT_FALSE(Match("li ~ li", d.t, d.li[0]));
  EXPECT_TRUE(Match("div ~ ul li", d.t, d.li[2]));
  EXPECT_TRUE(Match("div > p.first + p > span ~ a", d.t, d.a));
  // A descendant retried from a higher ancestor after a child combinator failed.
  EXPECT_TRUE(Match("body > div p > a", d.t, d.a));
  EXPECT_TRUE(Match("html > * > div a", d.t, d.a));
  EXPECT_FALSE(Match("ul a", d.t, d.a));
}

TEST(Selectors, StructuralPseudoClasses) {
  Doc d;
  EXPECT_TRUE(Match(":root", d.t, d.html));
  EXPECT_FALSE(Match(":root", d.t, d.body));
  EXPECT_TRUE(Match("li:first-child", d.t, d.li[0]));
  EXPECT_TRUE(Match("li:last-child", d.t, d.li[4]));
  EXPECT_FALSE(Match("li:only-child", d.t, d.li[0]));
  EXPECT_TRUE(Match("ul:only-of-type", d.t, d.ul));
  EXPECT_TRUE(Match("div:first-of-type", d.t, d.div));
  EXPECT_TRUE(Match("div:last-of-type", d.t, d.empty));
  EXPECT_FALSE(Match("div:first-child", d.t, d.empty));
  EXPECT_TRUE(Match(":empty", d.t, d.empty));
  EXPECT_FALSE(Match(":empty", d.t, d.p1));  // text
  EXPECT_FALSE(Match(":empty", d.t, d.p2));  // elements
  const bool odd[] = {true, false, true, false, true};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Match("li:nth-child(odd)", d.t, d.li[i]), odd[i]) << i;
    EXPECT_EQ(Match("li:nth-child(2n+1)", d.t, d.li[i]), odd[i]) << i;
    EXPECT_EQ(Match("li:nth-last-child(even)", d.t, d.li[i]), !odd[i]) << i;
    EXPECT_EQ(Match("li:nth-child(-n+2)", d.t, d.li[i]), i < 2) << i;
    EXPECT_EQ(Match("li:nth-child(3)", d.t, d.li[i]), i == 2) << i;
    EXPECT_EQ(Match("li:nth-of-type(n+4)", d.t, d.li[i]), i >= 3) << i;
    EXPECT_EQ(Match("li:nth-last-of-type(1)", d.t, d.li[i]), i == 4) << i;
    EXPECT_FALSE(Match("li:nth-child(0n+0)", d.t, d.li[i]));
  }
  EXPECT_TRUE(Match("div:nth-of-type(2)", d.t, d.empty));
  EXPECT_TRUE(Match("input:nth-child(3)", d.t, d.input));
}

TEST(Selectors, LogicalPseudoClasses) {
  Doc d;
  EXPECT_TRUE(Match("p:not(.first)", d.t, d.p2));
  EXPECT_FALSE(Match("p:not(.first)", d.t, d.p1));
  EXPECT_TRUE(Match(":not(div, span) > a", d.t, d.a));
  EXPECT_FALSE(Match("p:not(div p)", d.t, d.p1));
  EXPECT_TRUE(Match(":is(ul, div) > :is(p, li):is(:first-child)", d.t, d.p1));
  EXPECT_TRUE(Match(":where(#main) :is(span, nope, :bogus)", d.t, d.span));
  EXPECT_FALSE(Match(":is()", d.t, d.span));
  EXPECT_TRUE(Match(":is(:is(:is(#main)))", d.t, d.div));
}

TEST(Selectors, PaperStatesLinksAndLanguage) {
  Doc d;
  EXPECT_TRUE(Match("a:link", d.t, d.a));
  EXPECT_TRUE(Match(":any-link", d.t, d.a));
  EXPECT_FALSE(Match("span:link", d.t, d.span));
  for (const char* s : {"a:hover", "a:visited", "a:focus", "a:active", "a:target", ":focus-within"})
    EXPECT_FALSE(Match(s, d.t, d.a)) << s;
  EXPECT_TRUE(Match(":checked", d.t, d.input));
  EXPECT_TRUE(Match("input:enabled", d.t, d.input));
  EXPECT_FALSE(Match(":disabled", d.t, d.input));
  EXPECT_TRUE(Match(":lang(en)", d.t, d.span));
  EXPECT_TRUE(Match(":lang(EN-gb)", d.t, d.div));
  EXPECT_FALSE(Match(":lang(en)", d.t, d.p1));
  EXPECT_TRUE(Match(":lang(de, fr)", d.t, d.p1));
  EXPECT_FALSE(Match(":lang(fr-C)", d.t, d.p1));
  // A selector with a pseudo-element is valid but matches no element.
  EXPECT_FALSE(Match("p::before", d.t, d.p1));
  EXPECT_FALSE(Match("p:first-letter", d.t, d.p1));
  EXPECT_TRUE(HasPseudoElement(Parse("p::after")->front()));
}

// Hostile selectors cost time in proportion to their size, never the stack.
TEST(Selectors, HugeSelectorsStayLinear) {
  Tree t;
  El* e = t.Add(nullptr, "div");
  for (int i = 0; i < 2000; ++i) e = t.Add(e, "div");
  const auto start = std::chrono::steady_clock::now();
  std::string chain;
  for (int i = 0; i < 10000; ++i) chain += "div ";
  chain += "p";
  const auto list = Parse(chain);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->front().specificity.c, 10001u);
  EXPECT_FALSE(Matches(list->front(), t, e));  // fails on p at once
  // Descendant chains that fail only at the top: each ancestor is tried once per level at most.
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "div ";
  deep = "section " + deep + "div";
  EXPECT_FALSE(Matches(Parse(deep)->front(), t, e));
  std::string siblings;
  for (int i = 0; i < 10000; ++i) siblings += "div > ";
  EXPECT_FALSE(Matches(Parse(siblings + "div")->front(), t, e));
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(secs, 2.0);
  // :not() nests only so deep; in :is(), forgiving, the part too deep drops.
  std::string nested = "p", forgiven = "p";
  for (int i = 0; i < kMaxSelectorNesting + 1; ++i) {
    nested = ":not(" + nested + ")";
    forgiven = ":is(" + forgiven + ")";
  }
  EXPECT_FALSE(Parse(nested));
  ASSERT_TRUE(Parse(forgiven));
  EXPECT_FALSE(Matches(Parse(forgiven)->front(), t, e));
}

}  // namespace
}  // namespace ps::css
