// Selectors: read from a rule's prelude into compounds joined by
// combinators, then matched right to left against an ElementView. Matching
// keeps its own stack of candidates (a selector of ten thousand compounds
// costs no call stack) and gives up early the way browser engines do, so
// that a failed descendant combinator is not retried from every ancestor.
#include "style/selectors.h"

#include <algorithm>

#include "model/tree.h"
#include "style/tokenizer.h"

namespace ps::css {

namespace {

enum class Combinator : std::uint8_t { Descendant, Child, NextSibling, LaterSibling };

enum class AttrOp : std::uint8_t { Exists, Equals, Includes, DashMatch, Prefix, Suffix, Substring };

// What a pseudo-class without arguments tests.
enum class Pseudo : std::uint8_t {
  Root, Empty, FirstChild, LastChild, OnlyChild, FirstOfType, LastOfType, OnlyOfType, Link, Checked,
  Disabled, Enabled, Never,
};

enum class SimpleKind : std::uint8_t {
  Type, NoNamespaceType, Id, Class, Attribute, PseudoClass, Nth, Lang, Not, Is, PseudoElement,
};

struct Simple {
  Simple(SimpleKind k, Pseudo p = Pseudo::Never) : kind(k), pseudo(p) {}
  SimpleKind kind;
  Pseudo pseudo = Pseudo::Never;
  AttrOp op = AttrOp::Exists;
  bool ignoreCase = false;
  bool fromEnd = false, ofType = false;  // Nth
  long a = 0, b = 0;                     // Nth
  std::string name;                      // tag, id, class, attribute name
  std::string value;                     // attribute value
  std::vector<std::string> langs;        // Lang
  std::vector<Selector> list;            // Not, Is (Where is Is with no specificity)
};

struct Compound {
  Combinator left = Combinator::Descendant;  // the combinator to the previous compound
  std::vector<Simple> simples;
};

}  // namespace

struct ComplexSelector {
  std::vector<Compound> compounds;  // left to right
  bool pseudoElement = false;
};

namespace {

// ---------------------------------------------------------------- tables

struct PseudoClassRow {
  const char* name;
  Pseudo pseudo;
};
// Interaction and time never happen on paper: those match nothing.
constexpr PseudoClassRow kPseudoClasses[] = {
    {"root", Pseudo::Root}, {"empty", Pseudo::Empty}, {"first-child", Pseudo::FirstChild},
    {"last-child", Pseudo::LastChild}, {"only-child", Pseudo::OnlyChild}, {"first-of-type", Pseudo::FirstOfType},
    {"last-of-type", Pseudo::LastOfType}, {"only-of-type", Pseudo::OnlyOfType}, {"link", Pseudo::Link},
    {"any-link", Pseudo::Link}, {"checked", Pseudo::Checked}, {"disabled", Pseudo::Disabled},
    {"enabled", Pseudo::Enabled}, {"visited", Pseudo::Never}, {"hover", Pseudo::Never},
    {"focus", Pseudo::Never}, {"focus-within", Pseudo::Never}, {"focus-visible", Pseudo::Never},
    {"active", Pseudo::Never}, {"target", Pseudo::Never}, {"target-within", Pseudo::Never},
    {"local-link", Pseudo::Never}, {"current", Pseudo::Never}, {"past", Pseudo::Never},
    {"future", Pseudo::Never}, {"playing", Pseudo::Never}, {"paused", Pseudo::Never},
    {"fullscreen", Pseudo::Never}, {"modal", Pseudo::Never}, {"popover-open", Pseudo::Never},
};

struct NthRow {
  const char* name;
  bool fromEnd, ofType;
};
constexpr NthRow kNthFunctions[] = {
    {"nth-child", false, false}, {"nth-last-child", true, false},
    {"nth-of-type", false, true}, {"nth-last-of-type", true, true},
};

// Pseudo-elements; the first four may also be written with one colon.
struct PseudoElementRow {
  const char* name;
  bool legacy;
};
constexpr PseudoElementRow kPseudoElements[] = {
    {"before", true}, {"after", true}, {"first-line", true}, {"first-letter", true},
    {"marker", false}, {"selection", false}, {"placeholder", false}, {"backdrop", false},
    {"file-selector-button", false},
};

// Attributes whose values HTML compares without regard to ASCII case.
constexpr const char* kCaseInsensitiveAttributes[] = {
    "accept", "accept-charset", "align", "alink", "axis", "bgcolor", "charset", "checked", "clear",
    "codetype", "color", "compact", "declare", "defer", "dir", "direction", "disabled", "enctype", "face",
    "frame", "hreflang", "http-equiv", "lang", "language", "link", "media", "method", "multiple", "nohref",
    "noresize", "noshade", "nowrap", "readonly", "rel", "rev", "rules", "scope", "scrolling", "selected",
    "shape", "target", "text", "type", "valign", "valuetype", "vlink",
};

struct AttrOpRow {
  char first;  // the delim before '='; 0 for '=' alone
  AttrOp op;
};
constexpr AttrOpRow kAttrOps[] = {
    {'~', AttrOp::Includes}, {'|', AttrOp::DashMatch}, {'^', AttrOp::Prefix},
    {'$', AttrOp::Suffix}, {'*', AttrOp::Substring},
};

// The form controls :enabled and :disabled speak of.
constexpr const char* kFormControls[] = {"button", "input", "select", "textarea", "optgroup", "option", "fieldset"};


template <class Row>
const Row* FindRow(const Row* begin, const Row* end, std::string_view name) {
  for (const Row* r = begin; r != end; ++r)
    if (EqualsNoCase(name, r->name)) return r;
  return nullptr;
}

// ---------------------------------------------------------------- parsing

bool IsTok(const ComponentValue* v, TokenType t) {
  return v && v->kind == ComponentValue::Kind::Token && v->token.type == t;
}
bool IsDelim(const ComponentValue* v, char c) {
  return IsTok(v, TokenType::Delim) && v->token.value.size() == 1 && v->token.value[0] == c;
}

class SelectorParser {
 public:
  SelectorParser(const ComponentValue* begin, const ComponentValue* end, int depth)
      : p_(begin), end_(end), depth_(depth) {}

  // One complex selector filling the whole range.
  bool Complex(ComplexSelector& out) {
    SkipSpace();
    for (;;) {
      Compound c;
      if (!CompoundSel(c, out)) return false;
      // Names and attributes first: they fail fast, where :is() and :not()
      // match whole selectors (the order of a compound's parts means nothing).
      std::stable_partition(c.simples.begin(), c.simples.end(), [](const Simple& x) {
        return x.kind != SimpleKind::Is && x.kind != SimpleKind::Not && x.kind != SimpleKind::Lang;
      });
      out.compounds.push_back(std::move(c));
      const bool space = SkipSpace();
      if (p_ == end_) return true;
      if (out.pseudoElement) return false;  // a pseudo-element ends the selector
      Combinator comb = Combinator::Descendant;
      if (IsDelim(p_, '>')) comb = Combinator::Child;
      else if (IsDelim(p_, '+')) comb = Combinator::NextSibling;
      else if (IsDelim(p_, '~')) comb = Combinator::LaterSibling;
      else if (!space) return false;
      if (comb != Combinator::Descendant) {
        ++p_;
        SkipSpace();
      }
      pendingCombinator_ = comb;
    }
  }

 private:
  const ComponentValue* Peek(std::size_t k = 0) const { return p_ + k < end_ ? p_ + k : nullptr; }
  bool SkipSpace() {
    bool any = false;
    while (p_ < end_ && IsTok(p_, TokenType::Whitespace)) {
      ++p_;
      any = true;
    }
    return any;
  }

  // `ns|`, `*|` or `|` before a name: what it allows. Only `*|` (any
  // namespace) and `|` (none) mean something without @namespace; a prefix
  // is undeclared and makes the selector invalid.
  enum class Ns { None, Any, NoNamespace, Invalid };
  Ns NamespacePrefix() {
    if (IsDelim(Peek(), '|') && !IsDelim(Peek(1), '=')) {
      ++p_;
      return Ns::NoNamespace;
    }
    const bool named = IsTok(Peek(), TokenType::Ident) || IsDelim(Peek(), '*');
    if (named && IsDelim(Peek(1), '|') && !IsDelim(Peek(2), '=')) {
      const bool any = IsDelim(Peek(), '*');
      p_ += 2;
      return any ? Ns::Any : Ns::Invalid;
    }
    return Ns::None;
  }

  bool CompoundSel(Compound& c, ComplexSelector& complex) {
    c.left = pendingCombinator_;
    // The type or universal selector, first if at all.
    const ComponentValue* start = p_;
    const Ns ns = NamespacePrefix();
    if (ns == Ns::Invalid) return false;
    if (IsTok(Peek(), TokenType::Ident)) {
      c.simples.push_back({ns == Ns::NoNamespace ? SimpleKind::NoNamespaceType : SimpleKind::Type});
      c.simples.back().name = AsciiLower(p_->token.value);
      ++p_;
    } else if (IsDelim(Peek(), '*')) {
      if (ns == Ns::NoNamespace) c.simples.push_back({SimpleKind::NoNamespaceType});
      ++p_;
    } else if (ns != Ns::None) {
      return false;
    }
    bool any = p_ != start;
    for (;;) {
      const ComponentValue* v = Peek();
      if (!v || IsTok(v, TokenType::Whitespace) || IsTok(v, TokenType::Comma)) break;
      if (IsDelim(v, '>') || IsDelim(v, '+') || IsDelim(v, '~')) break;
      if (complex.pseudoElement && !IsTok(v, TokenType::Colon)) return false;
      if (!SimpleSel(c, complex)) return false;
      any = true;
    }
    return any;
  }

  bool SimpleSel(Compound& c, ComplexSelector& complex) {
    const ComponentValue* v = p_;
    if (IsTok(v, TokenType::Hash)) {
      if (!v->token.hashId) return false;  // #1a is no id selector
      c.simples.push_back({SimpleKind::Id});
      c.simples.back().name = v->token.value;
      ++p_;
      return true;
    }
    if (IsDelim(v, '.')) {
      if (!IsTok(Peek(1), TokenType::Ident)) return false;
      c.simples.push_back({SimpleKind::Class});
      c.simples.back().name = Peek(1)->token.value;
      p_ += 2;
      return true;
    }
    if (v->kind == ComponentValue::Kind::Block && v->open == '[') {
      ++p_;
      return Attribute(v->children, c);
    }
    if (IsTok(v, TokenType::Colon)) {
      ++p_;
      if (IsTok(Peek(), TokenType::Colon)) {
        ++p_;
        return PseudoElement(false, c, complex);
      }
      return PseudoClass(c, complex);
    }
    return false;
  }

  bool PseudoElement(bool legacy, Compound& c, ComplexSelector& complex) {
    if (complex.pseudoElement || !IsTok(Peek(), TokenType::Ident)) return false;
    const PseudoElementRow* row = FindRow(std::begin(kPseudoElements), std::end(kPseudoElements), p_->token.value);
    if (!row || (legacy && !row->legacy)) return false;
    ++p_;
    c.simples.push_back({SimpleKind::PseudoElement});
    c.simples.back().name = row->name;
    complex.pseudoElement = true;
    return true;
  }

  bool PseudoClass(Compound& c, ComplexSelector& complex) {
    const ComponentValue* v = Peek();
    if (IsTok(v, TokenType::Ident)) {
      const PseudoClassRow* row = FindRow(std::begin(kPseudoClasses), std::end(kPseudoClasses), v->token.value);
      if (!row) return PseudoElement(true, c, complex);  // :before and its kin
      if (complex.pseudoElement && row->pseudo != Pseudo::Never) return false;
      ++p_;
      c.simples.push_back({SimpleKind::PseudoClass, row->pseudo});
      return true;
    }
    if (!v || v->kind != ComponentValue::Kind::Function || complex.pseudoElement) return false;
    ++p_;
    const std::string& name = v->token.value;
    const ComponentValues& args = v->children;
    if (const NthRow* row = FindRow(std::begin(kNthFunctions), std::end(kNthFunctions), name)) {
      Simple s{SimpleKind::Nth};
      s.fromEnd = row->fromEnd;
      s.ofType = row->ofType;
      if (!ParseAnPlusB(args, s.a, s.b)) return false;
      c.simples.push_back(std::move(s));
      return true;
    }
    if (EqualsNoCase(name, "lang")) return Lang(args, c);
    const bool isNot = EqualsNoCase(name, "not");
    const bool isIs = EqualsNoCase(name, "is") || EqualsNoCase(name, "matches");
    const bool isWhere = EqualsNoCase(name, "where");
    if (!isNot && !isIs && !isWhere) return false;
    if (depth_ + 1 > kMaxSelectorNesting) return false;
    Simple s{isNot ? SimpleKind::Not : SimpleKind::Is};
    // :is() and :where() forgive what they cannot read; :not() does not.
    if (!ParseList(args, depth_ + 1, !isNot, s.list)) return false;
    if (isWhere)
      for (Selector& sel : s.list) sel.specificity = {};
    c.simples.push_back(std::move(s));
    return true;
  }

  bool Lang(const ComponentValues& args, Compound& c) {
    Simple s{SimpleKind::Lang};
    bool expectRange = true;
    for (const ComponentValue& a : args) {
      if (IsTok(&a, TokenType::Whitespace)) continue;
      if (IsTok(&a, TokenType::Comma) && !expectRange) {
        expectRange = true;
        continue;
      }
      if (!expectRange || !(IsTok(&a, TokenType::Ident) || IsTok(&a, TokenType::String))) return false;
      s.langs.push_back(AsciiLower(a.token.value));
      expectRange = false;
    }
    if (expectRange) return false;
    c.simples.push_back(std::move(s));
    return true;
  }

  bool Attribute(const ComponentValues& in, Compound& c) {
    SelectorParser a(in.data(), in.data() + in.size(), depth_);
    a.SkipSpace();
    const Ns ns = a.NamespacePrefix();
    if (ns == Ns::Invalid || !IsTok(a.Peek(), TokenType::Ident)) return false;
    Simple s{SimpleKind::Attribute};
    s.name = AsciiLower(a.p_->token.value);
    ++a.p_;
    a.SkipSpace();
    if (a.Peek()) {
      if (IsDelim(a.Peek(), '=')) {
        s.op = AttrOp::Equals;
        ++a.p_;
      } else {
        const ComponentValue* d = a.Peek();
        const AttrOpRow* row = nullptr;
        for (const AttrOpRow& r : kAttrOps)
          if (IsDelim(d, r.first)) row = &r;
        if (!row || !IsDelim(a.Peek(1), '=')) return false;
        s.op = row->op;
        a.p_ += 2;
      }
      a.SkipSpace();
      const ComponentValue* val = a.Peek();
      if (!(IsTok(val, TokenType::Ident) || IsTok(val, TokenType::String))) return false;
      s.value = val->token.value;
      ++a.p_;
      a.SkipSpace();
      if (IsTok(a.Peek(), TokenType::Ident)) {
        const std::string flag = AsciiLower(a.p_->token.value);
        if (flag != "i" && flag != "s") return false;
        s.ignoreCase = flag == "i";
        ++a.p_;
        a.SkipSpace();
      } else {
        for (const char* name : kCaseInsensitiveAttributes)
          if (s.name == name) s.ignoreCase = true;
      }
    }
    if (a.Peek()) return false;
    c.simples.push_back(std::move(s));
    return true;
  }

 public:
  static bool ParseList(const ComponentValues& values, int depth, bool forgiving, std::vector<Selector>& out);

 private:
  const ComponentValue* p_;
  const ComponentValue* end_;
  int depth_;
  Combinator pendingCombinator_ = Combinator::Descendant;
};

// ------------------------------------------------------------ specificity

Specificity Add(Specificity x, Specificity y) { return {x.a + y.a, x.b + y.b, x.c + y.c}; }

Specificity Of(const ComplexSelector& cs) {
  Specificity s;
  for (const Compound& c : cs.compounds) {
    for (const Simple& x : c.simples) {
      switch (x.kind) {
        case SimpleKind::Id: ++s.a; break;
        case SimpleKind::Class:
        case SimpleKind::Attribute:
        case SimpleKind::PseudoClass:
        case SimpleKind::Nth:
        case SimpleKind::Lang: ++s.b; break;
        case SimpleKind::Type:
        case SimpleKind::NoNamespaceType:
          if (!x.name.empty()) ++s.c;
          break;
        case SimpleKind::PseudoElement: ++s.c; break;
        case SimpleKind::Not:
        case SimpleKind::Is: {
          // The most specific argument (zero for :where, whose list was zeroed).
          Specificity most;
          for (const Selector& sel : x.list) most = std::max(most, sel.specificity);
          s = Add(s, most);
          break;
        }
      }
    }
  }
  return s;
}

bool SelectorParser::ParseList(const ComponentValues& values, int depth, bool forgiving, std::vector<Selector>& out) {
  const ComponentValue* begin = values.data();
  const ComponentValue* end = values.data() + values.size();
  const ComponentValue* from = begin;
  for (const ComponentValue* p = begin;; ++p) {
    if (p != end && !IsTok(p, TokenType::Comma)) continue;
    auto cs = std::make_shared<ComplexSelector>();
    SelectorParser parser(from, p, depth);
    // Selectors inside :is()/:not() take no pseudo-element.
    const bool ok = parser.Complex(*cs) && !(depth > 0 && cs->pseudoElement);
    if (ok) {
      Selector s;
      s.specificity = Of(*cs);
      const Compound& last = cs->compounds.back();
      for (const Simple& x : last.simples) {
        if (x.kind == SimpleKind::Id && s.keyId.empty()) s.keyId = x.name;
        if (x.kind == SimpleKind::Class && s.keyClass.empty()) s.keyClass = x.name;
        if (x.kind == SimpleKind::Type && !x.name.empty()) s.keyTag = x.name;
      }
      if (s.keyId.empty() && s.keyClass.empty() && s.keyTag.empty())
        for (const Simple& x : last.simples) {
          if (x.kind != SimpleKind::Is || x.list.empty()) continue;
          std::vector<std::string> tags;
          for (const Selector& alt : x.list) {
            if (!alt.keyTag.empty()) tags.push_back(alt.keyTag);
            else if (alt.keyId.empty() && alt.keyClass.empty() && !alt.keyTags.empty())
              tags.insert(tags.end(), alt.keyTags.begin(), alt.keyTags.end());
            else {
              tags.clear();
              break;
            }
          }
          if (tags.empty()) continue;
          for (std::string& t : tags)
            for (char& c : t) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
          std::sort(tags.begin(), tags.end());
          tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
          s.keyTags = std::move(tags);
          break;
        }
      s.complex = std::move(cs);
      out.push_back(std::move(s));
    } else if (!forgiving) {
      return false;
    }
    if (p == end) return true;
    from = p + 1;
  }
}

// --------------------------------------------------------------- matching

enum class Result : std::uint8_t { Matched, RestartFromLaterSibling, RestartFromDescendant, FailedGlobally };

bool MatchComplex(const ComplexSelector& cs, const ElementView& view, ElementView::Handle e);

bool Contains(std::string_view hay, std::string_view needle, bool ignoreCase) {
  if (!ignoreCase) return hay.find(needle) != std::string_view::npos;
  if (needle.size() > hay.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i)
    if (EqualsNoCase(hay.substr(i, needle.size()), needle)) return true;
  return false;
}

bool Same(std::string_view a, std::string_view b, bool ignoreCase) {
  return ignoreCase ? EqualsNoCase(a, b) : a == b;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Whether the space-separated list holds the word.
bool ListHas(std::string_view list, std::string_view word, bool ignoreCase) {
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && IsSpace(list[i])) ++i;
    std::size_t j = i;
    while (j < list.size() && !IsSpace(list[j])) ++j;
    if (j > i && Same(list.substr(i, j - i), word, ignoreCase)) return true;
    i = j;
  }
  return false;
}

bool MatchAttribute(const Simple& s, const std::string* value) {
  if (!value) return false;
  const std::string_view v = *value;
  const std::string_view w = s.value;
  const bool ic = s.ignoreCase;
  switch (s.op) {
    case AttrOp::Exists: return true;
    case AttrOp::Equals: return Same(v, w, ic);
    case AttrOp::Includes: return !w.empty() && std::none_of(w.begin(), w.end(), IsSpace) && ListHas(v, w, ic);
    case AttrOp::DashMatch:
      return Same(v, w, ic) || (v.size() > w.size() && v[w.size()] == '-' && Same(v.substr(0, w.size()), w, ic));
    case AttrOp::Prefix: return !w.empty() && v.size() >= w.size() && Same(v.substr(0, w.size()), w, ic);
    case AttrOp::Suffix: return !w.empty() && v.size() >= w.size() && Same(v.substr(v.size() - w.size()), w, ic);
    case AttrOp::Substring: return !w.empty() && Contains(v, w, ic);
  }
  return false;
}

bool IsFormControl(std::string_view name) {
  for (const char* n : kFormControls)
    if (name == n) return true;
  return false;
}

bool MatchPseudo(Pseudo p, const ElementView& view, ElementView::Handle e) {
  switch (p) {
    case Pseudo::Root: return view.Parent(e) == nullptr;
    case Pseudo::Empty: return !view.FirstChildElement(e) && !view.HasTextChildren(e);
    case Pseudo::FirstChild: return !view.PreviousElement(e);
    case Pseudo::LastChild: return !view.NextElement(e);
    case Pseudo::OnlyChild: return !view.PreviousElement(e) && !view.NextElement(e);
    case Pseudo::FirstOfType: return view.SiblingIndex(e, false, true) == 1;
    case Pseudo::LastOfType: return view.SiblingIndex(e, true, true) == 1;
    case Pseudo::OnlyOfType: return view.SiblingIndex(e, false, true) == 1 && view.SiblingIndex(e, true, true) == 1;
    case Pseudo::Link: return view.IsLink(e);
    case Pseudo::Checked: {
      // What the page sets checked or selected prints so.
      const std::string_view n = view.LocalName(e);
      return (n == "input" && view.Attribute(e, "checked")) || (n == "option" && view.Attribute(e, "selected"));
    }
    case Pseudo::Disabled: return IsFormControl(view.LocalName(e)) && view.Attribute(e, "disabled");
    case Pseudo::Enabled: return IsFormControl(view.LocalName(e)) && !view.Attribute(e, "disabled");
    case Pseudo::Never: return false;
  }
  return false;
}

// Whether index = a*n + b for some n >= 0.
bool NthMatches(long a, long b, long index) {
  if (a == 0) return index == b;
  const long diff = index - b;
  return diff % a == 0 && diff / a >= 0;
}

bool LangMatches(std::string_view lang, const std::vector<std::string>& ranges) {
  for (const std::string& r : ranges) {
    if (r.empty()) continue;
    if (lang.size() >= r.size() && EqualsNoCase(lang.substr(0, r.size()), r) &&
        (lang.size() == r.size() || lang[r.size()] == '-'))
      return true;
  }
  return false;
}

bool MatchSimple(const Simple& s, const ElementView& view, ElementView::Handle e) {
  switch (s.kind) {
    case SimpleKind::Type: return view.LocalName(e) == s.name;
    case SimpleKind::NoNamespaceType: return false;  // every HTML element has its namespace
    case SimpleKind::Id: {
      const std::string* id = view.Attribute(e, "id");
      return id && *id == s.name;
    }
    case SimpleKind::Class: {
      const std::string* cls = view.Attribute(e, "class");
      return cls && ListHas(*cls, s.name, false);
    }
    case SimpleKind::Attribute: return MatchAttribute(s, view.Attribute(e, s.name));
    case SimpleKind::PseudoClass: return MatchPseudo(s.pseudo, view, e);
    case SimpleKind::Nth: return NthMatches(s.a, s.b, view.SiblingIndex(e, s.fromEnd, s.ofType));
    case SimpleKind::Lang: return LangMatches(view.Language(e), s.langs);
    case SimpleKind::Not:
      for (const Selector& sel : s.list)
        if (MatchComplex(*sel.complex, view, e)) return false;
      return true;
    case SimpleKind::Is:
      for (const Selector& sel : s.list)
        if (MatchComplex(*sel.complex, view, e)) return true;
      return false;
    case SimpleKind::PseudoElement: return false;
  }
  return false;
}

bool MatchCompound(const Compound& c, const ElementView& view, ElementView::Handle e) {
  for (const Simple& s : c.simples)
    if (!MatchSimple(s, view, e)) return false;
  return true;
}

ElementView::Handle NextCandidate(const ElementView& view, ElementView::Handle e, Combinator c) {
  return c == Combinator::Child || c == Combinator::Descendant ? view.Parent(e) : view.PreviousElement(e);
}

// Right to left. Each frame holds a compound already matched and the
// element now tried for the compound to its left; a failure's kind says
// how far back a retry can still help.
bool MatchComplex(const ComplexSelector& cs, const ElementView& view, ElementView::Handle e0) {
  if (cs.pseudoElement) return false;
  struct Frame {
    std::size_t compound;  // matched; its left combinator is being walked
    ElementView::Handle candidate;
  };
  std::vector<Frame> stack;
  std::size_t i = cs.compounds.size() - 1;
  ElementView::Handle e = e0;
  Result r;
  for (;;) {
    // Try compound i on e.
    if (!MatchCompound(cs.compounds[i], view, e)) {
      r = Result::RestartFromLaterSibling;
    } else if (i == 0) {
      r = Result::Matched;
    } else {
      const Combinator comb = cs.compounds[i].left;
      if (ElementView::Handle next = NextCandidate(view, e, comb)) {
        stack.push_back({i, next});
        --i;
        e = next;
        continue;
      }
      r = comb == Combinator::NextSibling || comb == Combinator::LaterSibling ? Result::RestartFromDescendant
                                                                              : Result::FailedGlobally;
    }
    // Hand the result back to the frames, retrying where it may help.
    for (;;) {
      if (stack.empty()) return r == Result::Matched;
      Frame& f = stack.back();
      const Combinator comb = cs.compounds[f.compound].left;
      if (r == Result::Matched || r == Result::FailedGlobally || comb == Combinator::NextSibling) {
        stack.pop_back();
        continue;
      }
      if (comb == Combinator::Child) {
        r = Result::RestartFromDescendant;
        stack.pop_back();
        continue;
      }
      if (r == Result::RestartFromDescendant && comb == Combinator::LaterSibling) {
        stack.pop_back();
        continue;
      }
      ElementView::Handle next = NextCandidate(view, f.candidate, comb);
      if (!next) {
        r = comb == Combinator::LaterSibling ? Result::RestartFromDescendant : Result::FailedGlobally;
        stack.pop_back();
        continue;
      }
      f.candidate = next;
      i = f.compound - 1;
      e = next;
      break;
    }
  }
}

}  // namespace

long ElementView::SiblingIndex(Handle e, bool fromEnd, bool ofType) const {
  const std::string_view name = LocalName(e);
  long n = 1;
  for (Handle s = fromEnd ? NextElement(e) : PreviousElement(e); s; s = fromEnd ? NextElement(s) : PreviousElement(s))
    if (!ofType || LocalName(s) == name) ++n;
  return n;
}

std::optional<std::vector<Selector>> ParseSelectorList(const ComponentValues& prelude) {
  std::vector<Selector> out;
  if (!SelectorParser::ParseList(prelude, 0, false, out)) return std::nullopt;
  return out;
}

bool Matches(const Selector& s, const ElementView& view, ElementView::Handle e) {
  return s.complex && e && MatchComplex(*s.complex, view, e);
}

bool HasPseudoElement(const Selector& s) { return s.complex && s.complex->pseudoElement; }

}  // namespace ps::css
