// INTERIM: a minimal stand-in for the selectors and media modules until they
// land on this branch (type, class, id, universal, descendant and child
// combinators; media types). Deleted when the real modules are merged.
#include <string>

#include "style/media.h"
#include "style/selectors.h"

namespace ps::css {

struct Compound {
  std::string tag, id;
  std::vector<std::string> classes;
  char combinator = 0;  // to the compound on its left: ' ' or '>'
};
struct ComplexSelector {
  std::vector<Compound> parts;
};

namespace {
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}
bool MatchCompound(const Compound& c, const ElementView& v, ElementView::Handle e) {
  if (!c.tag.empty() && c.tag != "*" && v.LocalName(e) != c.tag) return false;
  if (!c.id.empty()) {
    const std::string* id = v.Attribute(e, "id");
    if (!id || *id != c.id) return false;
  }
  for (const std::string& k : c.classes) {
    const std::string* cl = v.Attribute(e, "class");
    if (!cl) return false;
    bool found = false;
    std::size_t p = 0;
    while (p < cl->size()) {
      while (p < cl->size() && (*cl)[p] == ' ') ++p;
      std::size_t q = p;
      while (q < cl->size() && (*cl)[q] != ' ') ++q;
      if (cl->substr(p, q - p) == k) found = true;
      p = q;
    }
    if (!found) return false;
  }
  return true;
}
bool MatchFrom(const ComplexSelector& s, int i, const ElementView& v, ElementView::Handle e) {
  if (!MatchCompound(s.parts[static_cast<std::size_t>(i)], v, e)) return false;
  if (i == 0) return true;
  const char comb = s.parts[static_cast<std::size_t>(i)].combinator;
  for (ElementView::Handle p = v.Parent(e); p; p = v.Parent(p)) {
    if (MatchFrom(s, i - 1, v, p)) return true;
    if (comb == '>') return false;
  }
  return false;
}
}  // namespace

std::optional<std::vector<Selector>> ParseSelectorList(const ComponentValues& prelude) {
  std::vector<Selector> out;
  auto cs = std::make_shared<ComplexSelector>();
  Compound cur;
  bool any = false;
  char pending = 0;
  auto endCompound = [&] {
    if (!any) return;
    cur.combinator = pending;
    cs->parts.push_back(cur);
    cur = Compound();
    any = false;
    pending = ' ';
  };
  auto endSelector = [&]() -> bool {
    endCompound();
    if (cs->parts.empty()) return false;
    Selector s;
    for (const Compound& c : cs->parts) {
      if (!c.id.empty()) ++s.specificity.a;
      s.specificity.b += static_cast<std::uint32_t>(c.classes.size());
      if (!c.tag.empty() && c.tag != "*") ++s.specificity.c;
    }
    const Compound& last = cs->parts.back();
    s.keyId = last.id;
    if (!last.classes.empty()) s.keyClass = last.classes[0];
    if (last.tag != "*") s.keyTag = last.tag;
    s.complex = cs;
    out.push_back(s);
    cs = std::make_shared<ComplexSelector>();
    pending = 0;
    return true;
  };
  for (std::size_t i = 0; i < prelude.size(); ++i) {
    const ComponentValue& c = prelude[i];
    if (c.kind != ComponentValue::Kind::Token) return std::nullopt;
    const Token& t = c.token;
    switch (t.type) {
      case TokenType::Whitespace: endCompound(); break;
      case TokenType::Ident: cur.tag = Lower(t.value); any = true; break;
      case TokenType::Hash: cur.id = t.value; any = true; break;
      case TokenType::Delim:
        if (t.value == "." && i + 1 < prelude.size() && prelude[i + 1].token.type == TokenType::Ident) {
          cur.classes.push_back(prelude[++i].token.value);
          any = true;
        } else if (t.value == "*") {
          cur.tag = "*";
          any = true;
        } else if (t.value == ">") {
          endCompound();
          pending = '>';
        } else {
          return std::nullopt;
        }
        break;
      case TokenType::Comma:
        if (!endSelector()) return std::nullopt;
        break;
      default: return std::nullopt;
    }
  }
  if (!endSelector()) return std::nullopt;
  return out;
}

bool Matches(const Selector& s, const ElementView& view, ElementView::Handle e) {
  return MatchFrom(*s.complex, static_cast<int>(s.complex->parts.size()) - 1, view, e);
}

bool MediaMatches(const ComponentValues& queries, const Medium&) {
  for (const ComponentValue& c : queries)
    if (c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Ident &&
        (Lower(c.token.value) == "screen" || Lower(c.token.value) == "not"))
      return false;
  return true;
}
bool MediaMatches(std::string_view queries, const Medium& m) { return MediaMatches(ParseComponentValues(queries), m); }
bool SupportsMatches(const ComponentValues&, SupportsFn) { return false; }

}  // namespace ps::css
