#include "style/cascade.h"

#include <algorithm>
#include <array>
#include <bit>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "model/tree.h"
#include "style/element_view.h"
#include "style/hints.h"
#include "style/media.h"
#include "style/page.h"
#include "style/selectors.h"
#include "style/sheet_files.h"
#include "style/syntax.h"

namespace ps {

using namespace css;

namespace {

// Where a declaration stands: origin and importance, lowest first.
enum Layer : std::uint8_t { kUserNormal, kAuthorNormal, kAuthorImportant, kUserImportant };

// Shorthands whose longhands are taken out of the value when it is used
// (after var() is replaced, which may give any of their parts).
enum class Shorthand : std::uint8_t {
  None, Font, Background, Margin, Padding, BorderWidth, BorderStyle, BorderColor, Border, BorderSide, ListStyle
};

// A declaration of a printed property, of a custom property or of a
// shorthand's part.
struct Decl {
  Prop prop = kPropCount;  // kPropCount: a custom property
  Shorthand from = Shorthand::None;
  bool important = false;
  bool hasVar = false;
  // It may take a value the parent does not pass on to its children
  // (`inherit`, also through var(), on a property not inherited).
  bool readsParent = false;
  std::string custom;  // the custom property's name; a box shorthand's name
  ComponentValues value;
};

struct StyleRule {
  std::vector<Decl> decls;
  Layer normalLayer;
};

// One selector of a rule, as the buckets hold it.
// A set of ancestors' tags, ids and classes, as 256 bits: two per name.
struct Bloom {
  std::uint64_t w[4] = {};
  void Add(std::string_view kind, std::string_view name) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : kind) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    for (int i = 0; i < 2; ++i, h >>= 8) w[(h >> 6) & 3] |= std::uint64_t{1} << (h & 63);
  }
  bool Covers(const Bloom& need) const {
    for (int i = 0; i < 4; ++i)
      if (need.w[i] & ~w[i]) return false;
    return true;
  }
};

struct Entry {
  Selector selector;
  std::uint32_t rule;
  std::uint32_t order;
  Bloom ancestors;  // what the element's ancestors must have for it to match
  bool siblings;    // it may look at the element's siblings or children
};

// Whether a selector list may look at an element's siblings or children
// (sibling combinators, positions, :empty, :has()): such rules can match
// one of two siblings with the same start tag and not the other.
bool LooksAround(const ComponentValues& v) {
  static constexpr std::string_view kNames[] = {
      "empty", "first-child", "last-child", "only-child", "first-of-type", "last-of-type", "only-of-type",
      "nth-child", "nth-last-child", "nth-of-type", "nth-last-of-type", "has"};
  auto named = [](const std::string& name) {
    for (std::string_view k : kNames)
      if (EqualsNoCase(name, k)) return true;
    return false;
  };
  for (std::size_t i = 0; i < v.size(); ++i) {
    const ComponentValue& c = v[i];
    if (c.kind == ComponentValue::Kind::Block) {
      if (c.open != '[' && LooksAround(c.children)) return true;  // [a~=b] compares a value
      continue;
    }
    if (c.kind == ComponentValue::Kind::Function) {
      if (named(c.token.value) || LooksAround(c.children)) return true;
      continue;
    }
    if (c.token.type == TokenType::Delim && (c.token.value == "+" || c.token.value == "~")) return true;
    if (c.token.type == TokenType::Ident && named(c.token.value) && i > 0 &&
        v[i - 1].kind == ComponentValue::Kind::Token && v[i - 1].token.type == TokenType::Colon)
      return true;
  }
  return false;
}

bool IsSpace(const ComponentValue& c) {
  return c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Whitespace;
}

// Whether `found` holds for any component value, those inside functions
// and blocks included.
template <class Found>
bool AnyValue(const ComponentValues& v, const Found& found) {
  for (const ComponentValue& c : v)
    if (found(c) || (c.kind != ComponentValue::Kind::Token && AnyValue(c.children, found))) return true;
  return false;
}

bool HasVar(const ComponentValues& v) {
  return AnyValue(v, [](const ComponentValue& c) {
    return c.kind == ComponentValue::Kind::Function && EqualsNoCase(c.token.value, "var");
  });
}

bool HasInherit(const ComponentValues& v) {
  return AnyValue(v, [](const ComponentValue& c) {
    return c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Ident &&
           EqualsNoCase(c.token.value, "inherit");
  });
}

// The properties of `decls` that may take the parent's value although
// children do not inherit it.
PropSet ParentReads(const std::vector<Decl>& decls) {
  PropSet reads = 0;
  for (const Decl& d : decls)
    if (d.readsParent) reads |= Bit(d.prop);
  return reads;
}

// Attributes that shape only their own element's values (as presentational
// hints, or not at all), never what its descendants match or take from it:
// elements that differ in these alone and pass the same values on have
// descendants of the same values. Unless a selector names one.
constexpr std::string_view kOwnAttributes[] = {"width",  "height", "colspan", "rowspan", "valign",
                                               "bgcolor", "nowrap", "align",   "style"};

bool IsCssWideKeyword(const ComponentValues& v) {
  const ComponentValue* only = nullptr;
  for (const ComponentValue& c : v) {
    if (IsSpace(c)) continue;
    if (only) return false;
    only = &c;
  }
  if (!only || only->kind != ComponentValue::Kind::Token || only->token.type != TokenType::Ident) return false;
  const std::string& s = only->token.value;
  return EqualsNoCase(s, "inherit") || EqualsNoCase(s, "initial") || EqualsNoCase(s, "unset") ||
         EqualsNoCase(s, "revert") || EqualsNoCase(s, "revert-layer");
}

ComponentValue Ident(std::string_view s) {
  ComponentValue c;
  c.token.type = TokenType::Ident;
  c.token.value = s;
  return c;
}

// The longhand values of a `font` shorthand, in the order of `kFontParts`;
// false when the value is not one.
constexpr Prop kFontParts[] = {kFontStyle, kFontVariant, kFontWeight, kFontSize, kLineHeight, kFontFamily};

bool SplitFont(const ComponentValues& v, ComponentValues (&parts)[6]) {
  std::vector<const ComponentValue*> s;
  for (const ComponentValue& c : v)
    if (!IsSpace(c)) s.push_back(&c);
  std::size_t i = 0;
  bool haveStyle = false, haveVariant = false, haveWeight = false;
  for (; i < s.size() && i < 4; ++i) {
    const ComponentValue* c = s[i];
    if (c->kind != ComponentValue::Kind::Token) break;
    const Token& t = c->token;
    if (t.type == TokenType::Number && t.number >= 1 && t.number <= 1000 && !haveWeight) {
      parts[2] = {*c};
      haveWeight = true;
      continue;
    }
    if (t.type != TokenType::Ident) break;
    const std::string& w = t.value;
    if (EqualsNoCase(w, "normal")) continue;
    if (!haveStyle && (EqualsNoCase(w, "italic") || EqualsNoCase(w, "oblique"))) {
      parts[0] = {*c};
      haveStyle = true;
    } else if (!haveVariant && EqualsNoCase(w, "small-caps")) {
      parts[1] = {*c};
      haveVariant = true;
    } else if (!haveWeight && (EqualsNoCase(w, "bold") || EqualsNoCase(w, "bolder") || EqualsNoCase(w, "lighter"))) {
      parts[2] = {*c};
      haveWeight = true;
    } else if (EqualsNoCase(w, "condensed") || EqualsNoCase(w, "expanded") || EqualsNoCase(w, "semi-condensed") ||
               EqualsNoCase(w, "semi-expanded") || EqualsNoCase(w, "ultra-condensed") ||
               EqualsNoCase(w, "extra-condensed") || EqualsNoCase(w, "extra-expanded") ||
               EqualsNoCase(w, "ultra-expanded")) {
      continue;  // a stretch: no font of the lists has one
    } else {
      break;
    }
  }
  if (i >= s.size()) return false;
  parts[3] = {*s[i++]};
  if (i < s.size() && s[i]->kind == ComponentValue::Kind::Token && s[i]->token.type == TokenType::Delim &&
      s[i]->token.value == "/") {
    if (++i >= s.size()) return false;
    parts[4] = {*s[i++]};
  }
  if (i >= s.size()) return false;
  // The family list as written, with the white space between its names.
  const ComponentValue* first = s[i];
  bool on = false;
  for (const ComponentValue& c : v) {
    if (&c == first) on = true;
    if (on) parts[5].push_back(c);
  }
  if (parts[0].empty()) parts[0] = {Ident("normal")};
  if (parts[1].empty()) parts[1] = {Ident("normal")};
  if (parts[2].empty()) parts[2] = {Ident("normal")};
  if (parts[4].empty()) parts[4] = {Ident("normal")};
  return true;
}

// The colour of the last layer of a `background`, or transparent.
ComponentValues BackgroundColorOf(const ComponentValues& v) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < v.size(); ++i)
    if (v[i].kind == ComponentValue::Kind::Token && v[i].token.type == TokenType::Comma) start = i + 1;
  Computed probe, parent;
  for (std::size_t i = start; i < v.size(); ++i) {
    if (IsSpace(v[i])) continue;
    ComponentValues one{v[i]};
    if (ComputeValue(kBackgroundColor, one, parent, probe, 12)) return one;
  }
  return {Ident("transparent")};
}

// The value of side `side` (top, right, bottom, left) of a one- to
// four-value box shorthand.
bool BoxSide(const ComponentValues& v, int side, ComponentValues& out) {
  std::vector<const ComponentValue*> s;
  for (const ComponentValue& c : v)
    if (!IsSpace(c)) s.push_back(&c);
  if (s.empty() || s.size() > 4) return false;
  static constexpr int kPick[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
  out = {*s[kPick[s.size() - 1][side]]};
  return true;
}

// The width, style and colour of a border shorthand (in any order, each at
// most once); the missing ones take their initial values.
bool SplitBorder(const ComponentValues& v, ComponentValues (&parts)[3]) {
  Computed probe, parent;
  for (const ComponentValue& c : v) {
    if (IsSpace(c)) continue;
    ComponentValues one{c};
    int which = -1;
    if (ComputeValue(kBorderTopWidth, one, parent, probe, 12)) which = 0;
    else if (ComputeValue(kBorderTopStyle, one, parent, probe, 12)) which = 1;
    else if (ComputeValue(kBorderTopColor, one, parent, probe, 12)) which = 2;
    if (which < 0 || !parts[which].empty()) return false;
    parts[which] = std::move(one);
  }
  if (parts[0].empty() && parts[1].empty() && parts[2].empty()) return false;
  if (parts[0].empty()) parts[0] = {Ident("medium")};
  if (parts[1].empty()) parts[1] = {Ident("none")};
  if (parts[2].empty()) parts[2] = {Ident("currentcolor")};
  return true;
}

// The type and position of a list-style shorthand; an image is accepted and
// not printed. `none` is the type unless a type is given beside it.
bool SplitListStyle(const ComponentValues& v, ComponentValues (&parts)[2]) {
  Computed probe, parent;
  int nones = 0;
  bool image = false;
  for (const ComponentValue& c : v) {
    if (IsSpace(c)) continue;
    ComponentValues one{c};
    if (c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Ident && EqualsNoCase(c.token.value, "none")) {
      ++nones;
    } else if (c.kind == ComponentValue::Kind::Function || c.token.type == TokenType::Url) {
      if (image) return false;
      image = true;
    } else if (ComputeValue(kListStylePosition, one, parent, probe, 12)) {
      if (!parts[1].empty()) return false;
      parts[1] = std::move(one);
    } else if (ComputeValue(kListStyleType, one, parent, probe, 12)) {
      if (!parts[0].empty()) return false;
      parts[0] = std::move(one);
    } else {
      return false;
    }
  }
  if (nones > 2 || (nones == 2 && (image || !parts[0].empty())) || (nones == 1 && image && !parts[0].empty()))
    return false;
  if (parts[0].empty()) parts[0] = {Ident(nones > 0 ? "none" : "disc")};
  if (parts[1].empty()) parts[1] = {Ident("outside")};
  return true;
}

// The value of one longhand out of a shorthand's value; false when the
// shorthand's value is not valid.
bool Longhand(Shorthand from, Prop prop, const ComponentValues& value, ComponentValues& out) {
  switch (from) {
    case Shorthand::Background: out = BackgroundColorOf(value); return true;
    case Shorthand::Margin: return BoxSide(value, prop - kMarginTop, out);
    case Shorthand::Padding: return BoxSide(value, prop - kPaddingTop, out);
    case Shorthand::BorderWidth: return BoxSide(value, prop - kBorderTopWidth, out);
    case Shorthand::BorderStyle: return BoxSide(value, prop - kBorderTopStyle, out);
    case Shorthand::BorderColor: return BoxSide(value, prop - kBorderTopColor, out);
    case Shorthand::Border:
    case Shorthand::BorderSide: {
      ComponentValues parts[3];
      if (!SplitBorder(value, parts)) return false;
      out = std::move(parts[prop >= kBorderTopColor ? 2 : prop >= kBorderTopStyle ? 1 : 0]);
      return true;
    }
    case Shorthand::ListStyle: {
      ComponentValues parts[2];
      if (!SplitListStyle(value, parts)) return false;
      out = std::move(parts[prop == kListStyleType ? 0 : 1]);
      return true;
    }
    case Shorthand::None:
    case Shorthand::Font: break;
  }
  ComponentValues parts[6];
  if (!SplitFont(value, parts)) return false;
  for (int i = 0; i < 6; ++i)
    if (kFontParts[i] == prop) out = std::move(parts[i]);
  return true;
}

// Whether a declaration's value (with no var()) is valid for its property.
bool Valid(const Decl& d) {
  if (IsCssWideKeyword(d.value)) return d.from == Shorthand::None;
  Computed parent, out;
  ComponentValues v;
  const ComponentValues* use = &d.value;
  if (d.from != Shorthand::None) {
    if (!Longhand(d.from, d.prop, d.value, v)) return false;
    use = &v;
  }
  return ComputeValue(d.prop, *use, parent, out, 12);
}

// The longhands of the box shorthands, and the legacy names of the breaks.
bool BoxShorthand(std::string& name, Shorthand& from, std::vector<Prop>& props) {
  auto four = [&](Prop first, Shorthand s) {
    from = s;
    for (int i = 0; i < 4; ++i) props.push_back(static_cast<Prop>(first + i));
    return true;
  };
  if (name == "page-break-before" || name == "page-break-after" || name == "page-break-inside") {
    name = name.substr(5);
    return false;
  }
  if (name == "margin") return four(kMarginTop, Shorthand::Margin);
  if (name == "padding") return four(kPaddingTop, Shorthand::Padding);
  if (name == "border-width") return four(kBorderTopWidth, Shorthand::BorderWidth);
  if (name == "border-style") return four(kBorderTopStyle, Shorthand::BorderStyle);
  if (name == "border-color") return four(kBorderTopColor, Shorthand::BorderColor);
  if (name == "border") {
    from = Shorthand::Border;
    for (int i = 0; i < 4; ++i)
      for (Prop first : {kBorderTopWidth, kBorderTopStyle, kBorderTopColor}) props.push_back(static_cast<Prop>(first + i));
    return true;
  }
  static constexpr const char* kSides[] = {"border-top", "border-right", "border-bottom", "border-left"};
  for (int i = 0; i < 4; ++i)
    if (name == kSides[i]) {
      from = Shorthand::BorderSide;
      for (Prop first : {kBorderTopWidth, kBorderTopStyle, kBorderTopColor}) props.push_back(static_cast<Prop>(first + i));
      return true;
    }
  if (name == "list-style") {
    from = Shorthand::ListStyle;
    props = {kListStyleType, kListStylePosition};
    return true;
  }
  return false;
}

// The declarations of a block (or STYLE attribute) as the cascade keeps
// them: printed properties, their shorthands and custom properties; other
// properties and invalid values are dropped.
void AddDeclarations(const std::vector<Declaration>& in, std::vector<Decl>& out) {
  for (const Declaration& d : in) {
    Decl x;
    x.important = d.important;
    x.hasVar = HasVar(d.value);
    if (d.name.size() > 2 && d.name[0] == '-' && d.name[1] == '-') {
      x.custom = d.name;
      x.value = d.value;
      out.push_back(std::move(x));
      continue;
    }
    std::string name = d.name;
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (name == "text-decoration-line") name = "text-decoration";
    std::vector<Prop> props;
    if (name == "font") {
      x.from = Shorthand::Font;
      props.assign(std::begin(kFontParts), std::end(kFontParts));
    } else if (name == "background") {
      x.from = Shorthand::Background;
      props = {kBackgroundColor};
    } else if (BoxShorthand(name, x.from, props)) {
    } else if (Prop p = PropOfName(name); p != kPropCount) {
      props = {p};
    }
    if (props.empty()) continue;
    if (x.from != Shorthand::None && !x.hasVar && IsCssWideKeyword(d.value)) {
      x.from = Shorthand::None;  // font: inherit and the like set every part so
    }
    for (Prop p : props) {
      Decl one = x;
      one.prop = p;
      one.value = d.value;
      if (!one.hasVar && !Valid(one)) break;  // a shorthand's parts are valid or not together
      // A box shorthand without var() is split once, here, not at every element.
      if (one.from >= Shorthand::Margin && !one.hasVar) {
        ComponentValues part;
        Longhand(one.from, p, one.value, part);
        one.value = std::move(part);
        one.from = Shorthand::None;
      }
      one.readsParent = !IsInherited(p) && (one.hasVar || HasInherit(one.value));
      out.push_back(std::move(one));
    }
  }
}

bool Supported(std::string_view property, const ComponentValues& value) {
  if (property.size() > 2 && property.substr(0, 2) == "--") return true;
  std::vector<Decl> decls;
  Declaration d;
  d.name = property;
  d.value = value;
  AddDeclarations({d}, decls);
  return !decls.empty();
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return r;
}

// What selectors can tell apart among an element's ancestors, beyond their
// names: the ids, classes and attributes they name (lower case). What they
// do not name makes no difference to any descendant's rules.
struct NamedInSelectors {
  // :lang() reads the language an element inherits.
  std::set<std::string, std::less<>> ids, classes, attributes{"lang", "xml:lang"};
};

// Notes what a selector list names; `inAttribute`: within [...].
void NoteNamed(const ComponentValues& v, NamedInSelectors& out, bool inAttribute) {
  auto is = [&](std::size_t i, TokenType type) {
    return i < v.size() && v[i].kind == ComponentValue::Kind::Token && v[i].token.type == type;
  };
  for (std::size_t i = 0; i < v.size(); ++i) {
    const ComponentValue& c = v[i];
    if (c.kind != ComponentValue::Kind::Token) {
      NoteNamed(c.children, out, c.kind == ComponentValue::Kind::Block && c.open == '[');
      continue;
    }
    if (inAttribute) {
      if (c.token.type == TokenType::Ident) out.attributes.insert(Lower(c.token.value));
    } else if (c.token.type == TokenType::Hash) {
      out.ids.insert(Lower(c.token.value));
    } else if (c.token.type == TokenType::Delim && c.token.value == "." && is(i + 1, TokenType::Ident)) {
      out.classes.insert(Lower(v[++i].token.value));
    } else if (c.token.type == TokenType::Ident && i > 0 && is(i - 1, TokenType::Colon)) {
      // Pseudo-classes that read attributes.
      const std::string name = Lower(c.token.value);
      if (name == "link" || name == "any-link") out.attributes.insert("href");
      if (name == "checked") out.attributes.insert({"checked", "selected"});
      if (name == "disabled" || name == "enabled") out.attributes.insert("disabled");
    }
  }
}

// --- gathering the sheets ---

constexpr int kMaxImportDepth = 16;

class Collector {
 public:
  Collector(Context& ctx, const StyleInput& in) : ctx_(ctx), in_(in) {}

  std::vector<StyleRule> rules;
  std::vector<Entry> entries;
  PageSetupBuilder pages;  // @page rules and running strings, in cascade order
  PropSet parentReads = 0;            // what the rules may take of a parent beyond what it passes on
  NamedInSelectors named;

  // A sheet's text, read at the given import depth; `file`: its resolved
  // path, for relative imports and cycles (empty for STYLE elements).
  void AddSheet(std::string_view text, Layer layer, const std::string& folder, std::vector<std::string>& chain,
                int depth) {
    const Stylesheet sheet = ParseStylesheet(text);
    AddRules(sheet.rules, layer, folder, chain, depth, true);
  }

 private:
  void AddRules(const std::vector<Rule>& list, Layer layer, const std::string& folder,
                std::vector<std::string>& chain, int depth, bool top) {
    for (const Rule& r : list) {
      if (!r.at) {
        if (r.hasBlock) AddStyleRule(r, layer);
        pages.AddRule(r, layer == kUserNormal);  // its string-set, if any
        continue;
      }
      const std::string name = Lower(r.name);
      if (name == "page") {
        pages.AddRule(r, layer == kUserNormal);
      } else if (name == "media") {
        if (r.hasBlock && MediaMatches(r.prelude, medium_)) AddRules(ParseRuleList(r.block), layer, folder, chain, depth, false);
      } else if (name == "supports") {
        if (r.hasBlock && SupportsMatches(r.prelude, Supported))
          AddRules(ParseRuleList(r.block), layer, folder, chain, depth, false);
      } else if (name == "import" && top) {
        Import(r, layer, folder, chain, depth);
      }
    }
  }

  void Import(const Rule& r, Layer layer, const std::string& folder, std::vector<std::string>& chain, int depth) {
    // @import "url" | url(url), then an optional media query list.
    std::string url;
    ComponentValues rest;
    bool found = false;
    for (const ComponentValue& c : r.prelude) {
      if (!found && IsSpace(c)) continue;
      if (!found) {
        if (c.kind == ComponentValue::Kind::Token &&
            (c.token.type == TokenType::String || c.token.type == TokenType::Url)) {
          url = c.token.value;
        } else if (c.kind == ComponentValue::Kind::Function && EqualsNoCase(c.token.value, "url")) {
          for (const ComponentValue& a : c.children)
            if (a.kind == ComponentValue::Kind::Token && a.token.type == TokenType::String) url = a.token.value;
        } else {
          return;
        }
        found = true;
        continue;
      }
      rest.push_back(c);
    }
    if (!found) return;
    bool anyQuery = false;
    for (const ComponentValue& c : rest)
      if (!IsSpace(c)) anyQuery = true;
    if (anyQuery && !MediaMatches(rest, medium_)) return;
    LoadLinked(url, layer, folder, chain, depth + 1, "imported");
  }

 public:
  // Reads a linked or imported sheet and adds its rules; every failure is
  // one notice and the conversion goes on.
  void LoadLinked(const std::string& url, Layer layer, const std::string& folder, std::vector<std::string>& chain,
                  int depth, const char* how) {
    if (depth > kMaxImportDepth) {
      ctx_.msg().printf("style sheet \"%s\" not read: imports nest deeper than %d\n", url.c_str(), kMaxImportDepth);
      return;
    }
    SheetFile file = ReadLinkedSheet(url, folder, in_.sandbox);
    if (!file.notice.empty()) {
      ctx_.msg().printf("%s style sheet \"%s\" not read: %s\n", how, url.c_str(), file.notice.c_str());
      return;
    }
    if (std::find(chain.begin(), chain.end(), file.path) != chain.end()) {
      ctx_.msg().printf("%s style sheet \"%s\" not read: it imports itself\n", how, url.c_str());
      return;
    }
    chain.push_back(file.path);
    std::string used;
    std::string text = DecodeSheet(file.bytes, {}, in_.documentEncoding, &used);
    // A page read as windows-1252 keeps its bytes in the tree, unconverted:
    // a sheet in that encoding does too, so that its selectors meet them.
    if (!ctx_.utf8Output && used == "windows-1252") text = std::move(file.bytes);
    AddSheet(text, layer, FolderOf(file.path), chain, depth);
    chain.pop_back();
  }

 private:
  void AddStyleRule(const Rule& r, Layer layer) {
    std::optional<std::vector<Selector>> selectors = ParseSelectorList(r.prelude);
    if (!selectors) return;
    // A selector that needs more ancestors than the tree is deep never
    // matches: dropped here, it costs nothing at each element.
    const std::vector<int> needs = AncestorsNeeded(r.prelude);
    std::vector<Bloom> blooms = AncestorFeatures(r.prelude);
    if (needs.size() != selectors->size() || blooms.size() != selectors->size()) blooms.assign(selectors->size(), Bloom());
    if (needs.size() == selectors->size()) {
      std::vector<Selector> kept;
      std::vector<Bloom> keptBlooms;
      for (std::size_t i = 0; i < needs.size(); ++i)
        if (needs[i] <= maxDepth) {
          kept.push_back(std::move((*selectors)[i]));
          keptBlooms.push_back(blooms[i]);
        }
      if (kept.empty()) return;
      selectors = std::move(kept);
      blooms = std::move(keptBlooms);
    }
    StyleRule rule;
    rule.normalLayer = layer;
    AddDeclarations(ParseDeclarationList(r.block), rule.decls);
    if (rule.decls.empty()) return;
    parentReads |= ParentReads(rule.decls);
    NoteNamed(r.prelude, named, false);
    const auto index = static_cast<std::uint32_t>(rules.size());
    rules.push_back(std::move(rule));
    const bool around = LooksAround(r.prelude);
    for (std::size_t i = 0; i < selectors->size(); ++i)
      entries.push_back(
          {std::move((*selectors)[i]), index, static_cast<std::uint32_t>(entries.size()), blooms[i], around});
  }

  // For each selector of a list, the tags, ids and classes that its
  // compounds before a descendant or child combinator ask of ancestors
  // (those before a sibling combinator are siblings, not ancestors; what
  // stands in :is() or :not() is left out).
  static std::vector<Bloom> AncestorFeatures(const ComponentValues& prelude) {
    std::vector<Bloom> out(1);
    struct Part {
      std::string kind, name;
    };
    std::vector<Part> compound;
    bool space = false;
    auto close = [&](bool ancestor) {
      if (ancestor)
        for (const Part& p : compound)
          if (!p.kind.empty()) out.back().Add(p.kind, p.name);
      compound.clear();
    };
    for (std::size_t i = 0; i < prelude.size(); ++i) {
      const ComponentValue& c = prelude[i];
      if (IsSpace(c)) {
        space = true;
        continue;
      }
      const bool tok = c.kind == ComponentValue::Kind::Token;
      if (tok && c.token.type == TokenType::Comma) {
        compound.clear();
        out.emplace_back();
        space = false;
        continue;
      }
      if (tok && c.token.type == TokenType::Delim &&
          (c.token.value == ">" || c.token.value == "+" || c.token.value == "~")) {
        close(c.token.value == ">");
        space = false;
        continue;
      }
      if (space && !compound.empty()) close(true);
      space = false;
      if (!tok || (c.token.type == TokenType::Delim && c.token.value == "*")) {
        compound.push_back({"", ""});
      } else if (tok && c.token.type == TokenType::Ident && compound.empty()) {
        compound.push_back({"t", Lower(c.token.value)});
      } else if (tok && c.token.type == TokenType::Hash) {
        compound.push_back({"#", c.token.value});
      } else if (tok && c.token.type == TokenType::Delim && c.token.value == "." && i + 1 < prelude.size() &&
                 prelude[i + 1].kind == ComponentValue::Kind::Token && prelude[i + 1].token.type == TokenType::Ident) {
        compound.push_back({".", prelude[++i].token.value});
      } else if (tok && c.token.type == TokenType::Colon) {
        // A pseudo-class or pseudo-element: its name asks nothing here.
        if (i + 1 < prelude.size() && prelude[i + 1].kind == ComponentValue::Kind::Token &&
            prelude[i + 1].token.type == TokenType::Colon)
          ++i;
        if (i + 1 < prelude.size()) ++i;
        compound.push_back({"", ""});  // the compound has begun
      }
    }
    return out;
  }

  // For each selector of a list, how many ancestors its descendant and
  // child combinators need.
  static std::vector<int> AncestorsNeeded(const ComponentValues& prelude) {
    std::vector<int> out{0};
    bool space = false, afterCompound = false;
    for (const ComponentValue& c : prelude) {
      if (IsSpace(c)) {
        space = true;
        continue;
      }
      const bool delim = c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Delim;
      if (c.kind == ComponentValue::Kind::Token && c.token.type == TokenType::Comma) {
        out.push_back(0);
        space = afterCompound = false;
      } else if (delim && (c.token.value == ">" || c.token.value == "+" || c.token.value == "~")) {
        if (c.token.value == ">") ++out.back();
        space = afterCompound = false;
      } else {
        if (space && afterCompound) ++out.back();
        space = false;
        afterCompound = true;
      }
    }
    return out;
  }

 public:
  int maxDepth = 1 << 30;

 private:
  Context& ctx_;
  const StyleInput& in_;
  Medium medium_;
};

// --- the walk ---

using CustomMap = std::map<std::string, ComponentValues, std::less<>>;

// Replacing var() stops when a value grows beyond this: a few custom
// properties that each use the one before several times grow exponentially.
constexpr std::size_t kMaxSubstituted = 1 << 12;

class VarResolver {
 public:
  VarResolver(const CustomMap* inherited, const std::map<std::string, const ComponentValues*, std::less<>>& own)
      : inherited_(inherited), own_(own) {}

  // The custom property's value after substitution; nullptr when it is
  // invalid (a cycle, too large) or absent.
  const ComponentValues* Get(const std::string& name) {
    if (auto it = done_.find(name); it != done_.end()) return it->second ? &*it->second : nullptr;
    auto own = own_.find(name);
    if (own == own_.end()) {
      if (inherited_)
        if (auto it = inherited_->find(name); it != inherited_->end()) return &it->second;
      return nullptr;
    }
    if (!busy_.insert(name).second) return nullptr;  // a cycle
    ComponentValues out;
    std::size_t budget = kMaxSubstituted;
    const bool ok = Substitute(*own->second, out, budget);
    busy_.erase(name);
    auto& slot = done_[name];
    if (ok) slot = std::move(out);
    return slot ? &*slot : nullptr;
  }

  bool Substitute(const ComponentValues& in, ComponentValues& out, std::size_t& budget) {
    for (const ComponentValue& c : in) {
      if (budget == 0) return false;
      --budget;
      if (c.kind == ComponentValue::Kind::Function && EqualsNoCase(c.token.value, "var")) {
        if (!Var(c.children, out, budget)) return false;
        continue;
      }
      if (c.kind == ComponentValue::Kind::Token) {
        out.push_back(c);
        continue;
      }
      ComponentValue copy;
      copy.kind = c.kind;
      copy.token = c.token;
      copy.open = c.open;
      if (!Substitute(c.children, copy.children, budget)) return false;
      out.push_back(std::move(copy));
    }
    return true;
  }

 private:
  // var(--name) or var(--name, fallback).
  bool Var(const ComponentValues& args, ComponentValues& out, std::size_t& budget) {
    std::size_t i = 0;
    while (i < args.size() && IsSpace(args[i])) ++i;
    if (i == args.size() || args[i].kind != ComponentValue::Kind::Token || args[i].token.type != TokenType::Ident ||
        args[i].token.value.compare(0, 2, "--") != 0)
      return false;
    const std::string name = args[i].token.value;
    ++i;
    while (i < args.size() && IsSpace(args[i])) ++i;
    const bool hasFallback = i < args.size() && args[i].kind == ComponentValue::Kind::Token &&
                             args[i].token.type == TokenType::Comma;
    if (i < args.size() && !hasFallback) return false;
    if (const ComponentValues* v = Get(name)) {
      if (v->size() > budget) return false;
      budget -= v->size();
      out.insert(out.end(), v->begin(), v->end());
      return true;
    }
    if (!hasFallback) return false;
    ComponentValues fallback(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    return Substitute(fallback, out, budget);
  }

  const CustomMap* inherited_;
  const std::map<std::string, const ComponentValues*, std::less<>>& own_;
  std::map<std::string, std::optional<ComponentValues>, std::less<>> done_;
  std::set<std::string, std::less<>> busy_;
};

// Whether two values are the same tokens; nesting is bounded by kMaxNesting.
bool SameValues(const ComponentValues& a, const ComponentValues& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const ComponentValue& x = a[i];
    const ComponentValue& y = b[i];
    if (x.kind != y.kind || x.open != y.open || x.token.type != y.token.type || x.token.value != y.token.value ||
        x.token.number != y.token.number || x.token.integer != y.token.integer || x.token.hashId != y.token.hashId ||
        x.token.repr != y.token.repr || !SameValues(x.children, y.children))
      return false;
  }
  return true;
}

struct Frame {
  Computed computed;
  std::shared_ptr<const CustomMap> customs;
  // Frames with the same number have the same values and custom properties.
  std::uint64_t id = 0;
  // The same for what its children start from: the inherited values (the
  // others are their initial ones) and custom properties.
  std::uint64_t childId = 0;
};

class Cascader {
 public:
  Cascader(Collector& sheets, const StyleInput& in, ComponentElementView& view)
      : sheets_(sheets), in_(in), view_(view) {
    for (std::uint32_t i = 0; i < sheets_.entries.size(); ++i) {
      const Selector& s = sheets_.entries[i].selector;
      if (!s.keyId.empty()) byId_[s.keyId].push_back(i);
      else if (!s.keyClass.empty()) byClass_[s.keyClass].push_back(i);
      else if (!s.keyTag.empty()) byTag_[Lower(s.keyTag)].push_back(i);
      else if (!s.keyTags.empty())
        for (const std::string& t : s.keyTags) byTag_[t].push_back(i);
      else universal_.push_back(i);
      if (!sheets_.entries[i].siblings) continue;
      if (!s.keyId.empty()) aroundIds_.insert(s.keyId);
      else if (!s.keyClass.empty()) aroundClasses_.insert(s.keyClass);
      else if (!s.keyTag.empty()) aroundTags_.insert(Lower(s.keyTag));
      else if (!s.keyTags.empty()) aroundTags_.insert(s.keyTags.begin(), s.keyTags.end());
      else aroundAny_ = true;
    }
  }

  // Whether no rule that may match the element looks at its siblings or
  // children: then a sibling with the same start tag gets the same values.
  bool Shareable(const TagNode* node) const {
    if (aroundAny_) return false;
    if (aroundIds_.empty() && aroundClasses_.empty() && aroundTags_.empty()) return true;
    const ElementInfo& info = view_.Info(node);
    if (aroundTags_.count(info.name)) return false;
    for (const std::string& c : info.classes)
      if (aroundClasses_.count(c)) return false;
    const std::string* id = view_.Attribute(node, "id");
    return !id || !aroundIds_.count(*id);
  }

  // Computes the element's values from its parent's frame; returns the
  // number of its entry in `styles`, kNoEntry when it has none.
  // `known`: the rules it matches, when known already.
  std::uint32_t Element(const TagNode* node, const Frame& parent, const Bloom& ancestors, Frame& out,
                        ComputedStyles::Part& styles, const std::vector<std::uint32_t>* known) {
    view_.Forget();
    if (known) {
      matched_ = *known;
    } else {
      Match(node, ancestors);
    }

    // What declares the element's values: its hints, the rules it matches,
    // its STYLE attribute. Each hint is read once (a page's cells combine a
    // few paddings and borders with many widths; hints hold no ';' but
    // between declarations), and so is each STYLE text.
    hintDecls_.clear();
    PresentationalHints(node, view_, hintText_);
    const std::string& hints = hintText_;
    for (std::size_t i = 0; i < hints.size();) {
      std::size_t j = hints.find(';', i);
      if (j == std::string::npos) j = hints.size();
      hintPiece_.assign(hints, i, j - i);  // in kept room: the map copies a new one only
      auto [it, fresh] = hints_.try_emplace(hintPiece_);
      if (fresh) AddDeclarations(ParseDeclarationList(it->first), it->second);
      hintDecls_.push_back(&it->second);
      i = j + 1;
    }
    const std::vector<Decl>* styleDecls = nullptr;
    if (const std::string* style = view_.Attribute(node, "style")) {
      // The memo knows declarations by their place: it goes with them.
      if (styleDecls_.size() >= kMaxMemo && !styleDecls_.count(*style)) {
        styleDecls_.clear();
        memo_.clear();
      }
      auto [it, fresh] = styleDecls_.try_emplace(*style);
      if (fresh) AddDeclarations(ParseDeclarationList(*style), it->second);
      styleDecls = &it->second;
    }

    // Under parents of the same values, the same declarations give the same
    // values: the cells of every row of every table mostly have both. (An
    // element that declares custom properties is never kept: the key does
    // not hold what it inherits of them.)
    // A parent's values matter to its children as far as it passes them on
    // (see PassedOn): cells of any widths are equal parents. A STYLE
    // attribute may read more (`width: inherit`): the whole values count.
    PropSet reads = 0;
    for (const std::vector<Decl>* h : hintDecls_) reads |= ParentReads(*h);
    if (styleDecls) reads |= ParentReads(*styleDecls);
    readsParent_ = (reads & ~passedOn_) != 0;
    memoKey_.clear();
    memoKey_.push_back(readsParent_ ? parent.id : parent.childId);
    memoKey_.push_back(hintDecls_.size());
    for (const std::vector<Decl>* h : hintDecls_) memoKey_.push_back(reinterpret_cast<std::uintptr_t>(h));
    memoKey_.push_back(matched_.size());
    memoKey_.insert(memoKey_.end(), matched_.begin(), matched_.end());
    memoKey_.push_back(reinterpret_cast<std::uintptr_t>(styleDecls));
    if (auto it = memo_.find(memoKey_); it != memo_.end()) {
      out.computed = it->second.computed;
      out.customs = parent.customs;
      out.id = it->second.id;
      out.childId = it->second.childId;
      if (it->second.entry != ComputedStyles::kNoEntry) styles.Share(node, it->second.entry);
      return it->second.entry;
    }

    // The winning declaration of each property and custom property.
    const Decl* winner[kPropCount] = {};
    Layer winLayer[kPropCount] = {};
    std::map<std::string, const ComponentValues*, std::less<>> ownCustoms;
    std::map<std::string, Layer, std::less<>> customLayer;
    auto consider = [&](const Decl& d, Layer normal) {
      Layer layer = normal;
      if (d.important) layer = normal == kUserNormal ? kUserImportant : kAuthorImportant;
      if (d.prop == kPropCount) {
        auto it = customLayer.find(d.custom);
        if (it != customLayer.end() && it->second > layer) return;
        customLayer[d.custom] = layer;
        ownCustoms[d.custom] = &d.value;
        return;
      }
      if (winner[d.prop] && winLayer[d.prop] > layer) return;
      winner[d.prop] = &d;
      winLayer[d.prop] = layer;
    };
    // The attributes' hints come first among the page's declarations.
    for (const std::vector<Decl>* h : hintDecls_)
      for (const Decl& d : *h) consider(d, kAuthorNormal);
    for (std::uint32_t i : matched_) {
      const StyleRule& rule = sheets_.rules[sheets_.entries[i].rule];
      for (const Decl& d : rule.decls) consider(d, rule.normalLayer);
    }
    if (styleDecls)
      for (const Decl& d : *styleDecls) consider(d, kAuthorNormal);
    const bool memoizable = ownCustoms.empty();
    // Custom properties: inherited, with the element's own laid over them.
    VarResolver vars(parent.customs.get(), ownCustoms);
    // A sheet that sets custom properties on every element (`*`) mostly
    // gives each the values it inherits: the parent's map then serves,
    // rather than a copy of it at every element.
    auto inheritsThem = [&] {
      for (const auto& [name, value] : ownCustoms) {
        const ComponentValues* v = vars.Get(name);
        const ComponentValues* had = nullptr;
        if (parent.customs)
          if (auto it = parent.customs->find(name); it != parent.customs->end()) had = &it->second;
        if (v ? !had || !SameValues(*v, *had) : had != nullptr) return false;
      }
      return true;
    };
    if (ownCustoms.empty() || inheritsThem()) {
      out.customs = parent.customs;
    } else {
      auto merged = std::make_shared<CustomMap>(parent.customs ? *parent.customs : CustomMap());
      for (const auto& [name, value] : ownCustoms) {
        if (const ComponentValues* v = vars.Get(name))
          (*merged)[name] = *v;
        else
          merged->erase(name);
      }
      out.customs = std::move(merged);
    }

    Computed& c = out.computed;
    const Computed& p = parent.computed;
    StartChild(p, c);
    bool any = false;
    // The font size first: the other lengths are counted in it.
    Apply(kFontSize, winner[kFontSize], vars, p, c, any);
    for (int i = 0; i < kPropCount; ++i)
      if (i != kFontSize) Apply(static_cast<Prop>(i), winner[i], vars, p, c, any);
    const std::uint32_t entry = any ? styles.Put(node, c) : ComputedStyles::kNoEntry;
    out.id = IdOf(c, out.customs);
    out.childId = IdOf(PassedOn(c), out.customs);
    if (memoizable) {
      if (memo_.size() >= kMaxMemo) memo_.clear();  // bounded, as the classes are
      memo_.emplace(memoKey_, Memo{c, entry, out.id, out.childId});
    }
    return entry;
  }

  // The rules the last element matched, in cascade order.
  const std::vector<std::uint32_t>& Matched() const { return matched_; }

  // Whether the last element's declarations may read more of its parent's
  // values than the parent passes on.
  bool ReadsParentValues() const { return readsParent_; }

  // What an element of values `c` passes on to its children: what they
  // start from, and the values the sheets' rules may take from it although
  // they are not inherited (`td { vertical-align: inherit }`).
  Computed PassedOn(const Computed& c) const {
    Computed start;
    StartChild(c, start);
    const PropSet extra = passedOn_ & ~kInheritedBits;
    for (int i = 0; i < kPropCount; ++i)
      if (extra & Bit(static_cast<Prop>(i))) CopyValue(static_cast<Prop>(i), c, start);
    start.set |= c.set & extra;
    return start;
  }

  // What a child of an element of values `p` starts from, before its own
  // declarations: the inherited values, the others initial.
  void StartChild(const Computed& p, Computed& c) const {
    c = p;
    c.set = p.set & kInheritedBits;
    c.declared = 0;
    for (int i = 0; i < kPropCount; ++i)
      if (!IsInherited(static_cast<Prop>(i))) SetInitial(static_cast<Prop>(i), c, in_.mediumPt);
  }

  // Forgets the values remembered by entry: they were put in another part.
  void ForgetEntries() { memo_.clear(); }

  // The number of a frame's values: the same for the same values, so that
  // the children of equal parents find each other's values. 0 is the root's.
  std::uint64_t IdOf(const Computed& c, const std::shared_ptr<const CustomMap>& customs) {
    if (interned_.size() >= kMaxMemo) interned_.clear();  // later values get new numbers
    auto [it, fresh] = interned_.try_emplace(Interned{c, customs}, nextId_);
    if (fresh) ++nextId_;
    return it->second;
  }
  // The map is known by its address, and held: a map freed while its
  // number is kept could come back at that address with other values.
  struct Interned {
    Computed computed;
    std::shared_ptr<const CustomMap> customs;
    bool operator==(const Interned&) const = default;
  };
  struct InternedHash {
    std::size_t operator()(const Interned& k) const {
      const Computed& c = k.computed;
      std::uint64_t h = 1469598103934665603ull;
      auto mix = [&h](std::uint64_t v) { h = (h ^ v) * 1099511628211ull; };
      mix(c.set);
      mix(c.declared);
      auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f + 0.0f); };  // -0 as 0, as == has it
      mix(bits(c.fontSize));
      mix(c.color);
      mix(c.backgroundColor);
      mix(static_cast<std::uint64_t>(c.display));
      mix(reinterpret_cast<std::uintptr_t>(k.customs.get()));
      for (int i = 0; i < 4; ++i) {
        mix(bits(c.margin[i]) ^ (std::uint64_t{bits(c.padding[i])} << 32));
        mix(bits(c.borderWidth[i]) ^ (std::uint64_t{c.borderColor[i]} << 32) ^
            (std::uint64_t{static_cast<std::uint8_t>(c.borderStyle[i])} << 56));
      }
      // Cells mostly differ by their widths alone.
      mix(bits(c.width) ^ (std::uint64_t{bits(c.widthPercent)} << 32));
      mix(bits(c.maxWidth) ^ (std::uint64_t{bits(c.lineHeight)} << 32));
      mix(static_cast<std::uint64_t>(c.textAlign) | static_cast<std::uint64_t>(c.cellAlign) << 8 |
          static_cast<std::uint64_t>(c.whiteSpace) << 16 | std::uint64_t{c.fontWeight} << 24 |
          static_cast<std::uint64_t>(c.italic) << 40);
      return static_cast<std::size_t>(h);
    }
  };
  std::unordered_map<Interned, std::uint64_t, InternedHash> interned_;
  std::uint64_t nextId_ = 1;

 private:
  // Finds the rules the element matches, in cascade order, into matched_.
  void Match(const TagNode* node, const Bloom& ancestors) {
    matched_.clear();
    const ElementInfo& info = view_.Info(node);
    auto tryList = [&](const std::vector<std::uint32_t>* list) {
      if (!list) return;
      for (std::uint32_t i : *list)
        if (ancestors.Covers(sheets_.entries[i].ancestors) && Matches(sheets_.entries[i].selector, view_, node))
          matched_.push_back(i);
    };
    if (const std::string* id = view_.Attribute(node, "id"); id && !id->empty()) tryList(Find(byId_, *id));
    for (const std::string& c : info.classes) tryList(Find(byClass_, c));
    tryList(Find(byTag_, info.name));
    tryList(&universal_);
    std::sort(matched_.begin(), matched_.end(), [&](std::uint32_t a, std::uint32_t b) {
      const Entry& x = sheets_.entries[a];
      const Entry& y = sheets_.entries[b];
      if (x.selector.specificity != y.selector.specificity) return x.selector.specificity < y.selector.specificity;
      return x.order < y.order;
    });
  }

  static PropSet InheritedBits() {
    PropSet s = 0;
    for (int i = 0; i < kPropCount; ++i)
      if (IsInherited(static_cast<Prop>(i))) s |= Bit(static_cast<Prop>(i));
    return s;
  }
  const PropSet kInheritedBits = InheritedBits();

  void Apply(Prop prop, const Decl* d, VarResolver& vars, const Computed& parent, Computed& c, bool& any) {
    if (!d) return;
    any = true;
    c.declared |= Bit(prop);
    ComponentValues substituted;
    const ComponentValues* value = &d->value;
    bool valid = true;
    if (d->hasVar) {
      std::size_t budget = kMaxSubstituted;
      valid = vars.Substitute(d->value, substituted, budget);
      value = &substituted;
    }
    ComponentValues part;
    if (valid && d->from != Shorthand::None) {
      valid = Longhand(d->from, d->prop, *value, part);
      value = &part;
    }
    const Token* keyword = nullptr;
    if (valid && IsCssWideKeyword(*value))
      for (const ComponentValue& v : *value)
        if (!IsSpace(v)) keyword = &v.token;
    // Invalid at the time it is used, a value is unset.
    if (!valid || keyword) {
      const bool inherit = keyword ? EqualsNoCase(keyword->value, "inherit") ||
                                         (!EqualsNoCase(keyword->value, "initial") && IsInherited(prop))
                                   : IsInherited(prop);
      if (inherit) {
        CopyValue(prop, parent, c);
        c.set = (c.set & ~Bit(prop)) | (parent.set & Bit(prop));
        if (IsInherited(prop) && (parent.set & Bit(prop)) == 0) c.set &= ~Bit(prop);
        else c.set |= Bit(prop);
      } else {
        SetInitial(prop, c, in_.mediumPt);
        c.set |= Bit(prop);
      }
      return;
    }
    if (ComputeValue(prop, *value, parent, c, in_.mediumPt)) c.set |= Bit(prop);
  }

  static const std::vector<std::uint32_t>* Find(const std::unordered_map<std::string, std::vector<std::uint32_t>>& m,
                                                const std::string& key) {
    auto it = m.find(key);
    return it == m.end() ? nullptr : &it->second;
  }

  Collector& sheets_;
  const StyleInput& in_;
  const PropSet passedOn_ = kInheritedBits | sheets_.parentReads;  // after sheets_: it reads them
  ComponentElementView& view_;
  std::unordered_map<std::string, std::vector<std::uint32_t>> byId_, byClass_, byTag_;
  std::vector<std::uint32_t> universal_;
  std::set<std::string, std::less<>> aroundIds_, aroundClasses_, aroundTags_;
  struct MemoHash {
    std::size_t operator()(const std::vector<std::uintptr_t>& k) const {
      std::uint64_t h = 1469598103934665603ull;
      for (std::uintptr_t v : k) h = (h ^ v) * 1099511628211ull;
      return static_cast<std::size_t>(h);
    }
  };
  struct Memo {
    Computed computed;
    std::uint32_t entry;
    std::uint64_t id, childId;
  };
  static constexpr std::size_t kMaxMemo = 1 << 12;
  std::unordered_map<std::vector<std::uintptr_t>, Memo, MemoHash> memo_;
  std::vector<std::uintptr_t> memoKey_;
  std::vector<const std::vector<Decl>*> hintDecls_;
  std::string hintText_, hintPiece_;
  bool aroundAny_ = false;
  bool readsParent_ = false;
  std::vector<std::uint32_t> matched_;
  std::unordered_map<std::string, std::vector<Decl>> styleDecls_;
  // The declarations of each distinct hint, parsed once.
  std::unordered_map<std::string, std::vector<Decl>> hints_;
};

// Asked of every node in each walk: the name's bytes, without measuring it.
bool IsComment(const TagNode* n) {
  const char* name = n->def ? n->def->name : nullptr;
  return name && name[0] == '!' && name[1] == '-' && name[2] == '-' && name[3] == '\0';
}

bool TokenListHas(std::string_view list, std::string_view word) {
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t' || list[i] == '\n' || list[i] == '\r' ||
                               list[i] == '\f'))
      ++i;
    std::size_t j = i;
    while (j < list.size() && !(list[j] == ' ' || list[j] == '\t' || list[j] == '\n' || list[j] == '\r' ||
                                list[j] == '\f'))
      ++j;
    if (j > i && EqualsNoCase(list.substr(i, j - i), word)) return true;
    i = j;
  }
  return false;
}

// Whether a start tag's text begins with the name (in any case).
bool NamedAs(std::string_view raw, std::string_view name) {
  if (raw.size() < name.size() || !EqualsNoCase(raw.substr(0, name.size()), name)) return false;
  if (raw.size() == name.size()) return true;
  const char c = raw[name.size()];
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/';
}

// An element as the walk knows it: its parent's class, its tag's row and
// its start tag, as it stands or as Walk::Features gives it.
template <class Tag>
struct ElementKey {
  std::uint64_t parent;
  const TagDef* def;
  Tag tag;
  bool operator==(const ElementKey&) const = default;
  struct Hash {
    std::size_t operator()(const ElementKey& k) const {
      return std::hash<std::string_view>()(k.tag) ^ (k.parent * 0x9E3779B97F4A7C15ull) ^
             (reinterpret_cast<std::uintptr_t>(k.def) >> 4);
    }
  };
};
using TagKey = ElementKey<std::string>;
using TagKeyHash = TagKey::Hash;

// A bounded table asked at every element: open addressing over the keys'
// hashes, kept apart from the entries so that a probe reads one array, and
// at most half full. Entries are only added and dropped all at once.
template <class Key, class Value, class Hash>
class BoundedTable {
 public:
  // Room is made at the first entry: a small page's walk needs little.
  explicit BoundedTable(std::size_t most) : most_(most) {}
  const Value* Find(const Key& key) const {
    if (slots_.empty()) return nullptr;
    const std::size_t h = Hash()(key);
    for (std::size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& s = slots_[i];
      if (s.entry == 0) return nullptr;
      if (s.hash == h && entries_[s.entry - 1].first == key) return &entries_[s.entry - 1].second;
    }
  }
  // For a key not in the table, which holds fewer than `most`.
  void Add(const Key& key, Value value) {
    if (slots_.empty()) slots_.resize(std::bit_ceil(2 * most_));
    const std::size_t h = Hash()(key);
    std::size_t i = h & (slots_.size() - 1);
    while (slots_[i].entry != 0) i = (i + 1) & (slots_.size() - 1);
    entries_.emplace_back(key, std::move(value));
    slots_[i] = {h, static_cast<std::uint32_t>(entries_.size())};
  }
  std::size_t size() const { return entries_.size(); }
  void clear() {
    entries_.clear();
    std::fill(slots_.begin(), slots_.end(), Slot{});
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::uint32_t entry = 0;  // 1 + its place in entries_; 0: empty
  };
  std::size_t most_;
  std::vector<Slot> slots_;
  std::vector<std::pair<Key, Value>> entries_;
};

// Depth first; each frame is its element's computed values.
class Walk {
 public:
  Walk(Collector& sheets, const StyleInput& in, ComputedStyles::Part& part)
      : cascader_(sheets, in, view_), part_(part), named_(sheets.named),
        attributesNamed_(OwnAttributesNamed(sheets.named)) {
    levels_.reserve(64);
    auto root = std::make_shared<Frame>();
    SetInitial(kFontSize, root->computed, in.mediumPt);
    levels_.push_back({std::move(root), {}, 0, 0, 0});
  }

  void Start(const TagNode* html) {
    if (html) todo_.push_back({html, 1});
  }

  // Readies the walk to go from `from` to the document's end, as a walk from
  // the start goes on once it takes `from`. The ancestors' values are
  // computed again and put nowhere: the walk from the start puts them.
  void StartAt(const TagNode* html, const TagNode* from) {
    std::vector<const TagNode*> line;  // html, from's ancestors below it, from
    for (const TagNode* n = from; n; n = n == html ? nullptr : n->parent.get()) line.push_back(n);
    std::reverse(line.begin(), line.end());
    ComputedStyles::Part nowhere(nullptr);
    for (std::size_t k = 0; k + 1 < line.size(); ++k) Visit({line[k], k + 1}, nowhere);
    // What was kept for those ancestors names entries of `nowhere`.
    todo_.clear();
    classes_.clear();
    matches_.clear();
    descendantClasses_.clear();
    seenClasses_.clear();
    tables_.clear();
    cascader_.ForgetEntries();
    // The siblings after each ancestor below html, and after `from`; the
    // nearest on top.
    for (std::size_t k = 1; k < line.size(); ++k) {
      const std::size_t mark = todo_.size();
      for (const TagNode* c = line[k]->next; c; c = c->next)
        if (!IsComment(c)) todo_.push_back({c, k + 1});
      std::reverse(todo_.begin() + static_cast<std::ptrdiff_t>(mark), todo_.end());
    }
    todo_.push_back({from, line.size()});
  }

  // Walks until it would take `stop` (nullptr: to the end).
  void Run(const TagNode* stop) {
    while (!todo_.empty()) {
      const Todo t = todo_.back();
      todo_.pop_back();
      if (t.node == stop) return;
      Visit(t, part_);
    }
  }

 private:
  struct Todo {
    const TagNode* node;
    std::size_t depth;  // frames below it
  };

  void Visit(Todo t, ComputedStyles::Part& part) {
    levels_.resize(t.depth);
    const Level& parent = levels_.back();
    const ClassKey key{parent.id, t.node->def, t.node->raw.view()};
    if (const Shared* found = classes_.Find(key)) {
      const Shared& same = *found;
      if (same.entry != ComputedStyles::kNoEntry) part.Share(t.node, same.entry);
      levels_.push_back(same.level);
    } else {
      // Under the same ancestors, elements that differ only in attributes
      // that shape their own values match the same rules. (An element
      // without such attributes is known by its start tag as it stands.)
      const bool shareable = cascader_.Shareable(t.node);
      TagKey tag{parent.id, t.node->def, {}};
      const bool trimmed = shareable && Features(t.node, tag.tag);
      const std::vector<std::uint32_t>* known = nullptr;
      if (trimmed)
        if (auto m = matches_.find(tag); m != matches_.end()) known = &m->second;
      auto f = std::make_shared<Frame>();
      const std::uint32_t entry = cascader_.Element(t.node, *parent.frame, parent.bloom, *f, part, known);
      if (trimmed && !known) {
        if (matches_.size() >= kMaxClasses) matches_.clear();
        matches_.emplace(tag, cascader_.Matched());
      }
      // What this element's descendants find among their ancestors.
      Bloom bloom = parent.bloom;
      const ElementInfo& info = view_.Info(t.node);
      bloom.Add("t", info.name);
      if (const std::string* id = view_.Attribute(t.node, "id")) bloom.Add("#", *id);
      for (const std::string& c : info.classes) bloom.Add(".", c);
      // An element whose values read more of its parent's than children
      // get is kept out: its parent's class may hold parents of other values.
      const bool kept = shareable && !cascader_.ReadsParentValues();
      const std::uint64_t seen = SeenFromBelow(parent.seen, info);
      const std::uint64_t reach = CellsReach(parent.reach, t.node, info);
      const std::uint64_t id = kept ? ClassForDescendants(seen, reach, f->childId) : nextClass_++;
      Level mine{std::move(f), bloom, id, seen, reach};
      if (kept) {
        if (classes_.size() >= kMaxClasses) classes_.clear();
        classes_.Add(key, Shared{mine, entry});
      }
      levels_.push_back(std::move(mine));  // `parent` may move
    }
    const std::size_t mark = todo_.size();
    for (const TagNode* c = t.node->firstChild; c; c = c->next)
      if (!IsComment(c)) todo_.push_back({c, t.depth + 1});
    std::reverse(todo_.begin() + static_cast<std::ptrdiff_t>(mark), todo_.end());
  }

  // The class of an element as its descendants see it: what selectors see
  // of it and its ancestors, what a cell below reads of its table, and the
  // values it passes on. Elements that differ only in what no selector
  // names, as the cells and tables of nested tables mostly do, are one
  // class to everything inside them, however their ancestors differ.
  std::uint64_t ClassForDescendants(std::uint64_t seen, std::uint64_t reach, std::uint64_t passedOn) {
    if (descendantClasses_.size() >= kMaxClasses) descendantClasses_.clear();
    auto [it, fresh] = descendantClasses_.try_emplace({seen, reach, passedOn}, nextClass_);
    if (fresh) ++nextClass_;
    return it->second;
  }

  // The element and its ancestors as selectors see them from below: their
  // names and what of their start tags the selectors name. Pieces go in with
  // their lengths, so that no two start tags give one text.
  std::uint64_t SeenFromBelow(std::uint64_t above, const ElementInfo& info) {
    std::string& s = scratch_;
    s.clear();
    auto add = [&s](char kind, std::string_view piece) {
      s += kind;
      s += std::to_string(piece.size());
      s += ':';
      s += piece;
    };
    add('t', info.name);
    const bool classNamed = named_.attributes.count("class") != 0;
    for (const auto& [name, value] : info.attributes) {
      if (name == "class" && !classNamed) {
        for (const std::string& c : info.classes)
          if (named_.classes.count(Lower(c))) add('.', c);
      } else if (named_.attributes.count(name) || (name == "id" && named_.ids.count(Lower(value)))) {
        add('a', name);
        add('=', value);
      }
    }
    if (seenClasses_.size() >= kMaxClasses) seenClasses_.clear();
    auto [it, fresh] = seenClasses_.try_emplace({above, s}, nextSeen_);
    if (fresh) ++nextSeen_;
    return it->second;
  }

  // What a cell below the element reads of its table (see
  // PresentationalHints): the nearest table at most kCellToTable - 1 levels
  // up from the element and no cell between, as a number for its
  // attributes times four plus how far up it is; 0 for none.
  std::uint64_t CellsReach(std::uint64_t above, const TagNode* node, const ElementInfo& info) {
    static_assert(kCellToTable <= 4, "the distance takes two bits");
    if (!node->def || info.name == "td" || info.name == "th") return 0;
    if (info.name != "table")
      return above != 0 && static_cast<int>(above & 3) < kCellToTable - 1 ? above + 1 : 0;
    std::string& s = scratch_;
    s.clear();
    for (const char* name : kTableAttributesCellsRead) {
      const std::string* v = view_.Attribute(node, name);
      s += v ? std::to_string(v->size()) + ':' + *v : "-";
    }
    if (tables_.size() >= kMaxClasses) tables_.clear();
    auto [it, fresh] = tables_.try_emplace(s, nextTable_);
    if (fresh) ++nextTable_;
    return it->second << 2;
  }

  static std::uint32_t OwnAttributesNamed(const NamedInSelectors& named) {
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < std::size(kOwnAttributes); ++k)
      if (named.attributes.count(kOwnAttributes[k])) bits |= std::uint32_t{1} << k;
    return bits;
  }

  // The element's name and the attributes that count beyond its own
  // values, into `tag`; false (and `tag` unset) when that is all of them.
  bool Features(const TagNode* node, std::string& tag) const {
    const ElementInfo& info = view_.Info(node);
    auto own = [&](const std::string& name) {
      for (std::size_t k = 0; k < std::size(kOwnAttributes); ++k)
        if (name == kOwnAttributes[k]) return !(attributesNamed_ >> k & 1);
      return false;
    };
    if (std::none_of(info.attributes.begin(), info.attributes.end(), [&](const auto& a) { return own(a.first); }))
      return false;
    tag = info.name;
    for (const auto& [name, value] : info.attributes) {
      if (own(name)) continue;
      tag += '\1';
      tag += name;
      tag += '\2';
      tag += value;
    }
    return true;
  }

  ComponentElementView view_;
  Cascader cascader_;
  ComputedStyles::Part& part_;
  const NamedInSelectors& named_;
  const std::uint32_t attributesNamed_;  // the kOwnAttributes a selector names, one bit each
  // What the walk knows at each depth: the element's values (shared with
  // the others of its class), what its descendants find among their
  // ancestors, and its classes.
  struct Level {
    std::shared_ptr<const Frame> frame;
    Bloom bloom;
    std::uint64_t id, seen, reach;  // ClassForDescendants, SeenFromBelow, CellsReach
  };
  std::vector<Level> levels_;
  std::vector<Todo> todo_;
  // Elements of the same start tag whose parents are of one class match
  // the same rules and get the same values (unless a rule looks at
  // siblings or children), as the cells of a long table mostly do: such
  // elements form a class, known by its parent's class and its own start
  // tag, and all but the first take the first one's values. Parents of one
  // class need not be alike themselves, only to their descendants (see
  // ClassForDescendants).
  using ClassKey = ElementKey<std::string_view>;
  struct Shared {
    Level level;
    std::uint32_t entry;
  };
  // Bounded: a page of elements that all differ (ids, links) would
  // otherwise keep a class for each. Class numbers are never reused.
  static constexpr std::size_t kMaxClasses = 1 << 12;
  BoundedTable<ClassKey, Shared, ClassKey::Hash> classes_{kMaxClasses};
  // The rules matched under a parent's class by a start tag less the
  // attributes of its own values.
  std::unordered_map<TagKey, std::vector<std::uint32_t>, TagKeyHash> matches_;
  struct DescendantKey {
    std::uint64_t seen, reach, passedOn;  // passedOn: the element's Frame::childId
    bool operator==(const DescendantKey&) const = default;
  };
  struct DescendantKeyHash {
    std::size_t operator()(const DescendantKey& k) const {
      return (k.seen * 0x9E3779B97F4A7C15ull) ^ (k.reach * 0xFF51AFD7ED558CCDull) ^
             (k.passedOn * 0xC2B2AE3D27D4EB4Full);
    }
  };
  std::unordered_map<DescendantKey, std::uint64_t, DescendantKeyHash> descendantClasses_;
  // SeenFromBelow's numbers, by the parent's number and the element's text.
  struct SeenKey {
    std::uint64_t parent;
    std::string text;
    bool operator==(const SeenKey&) const = default;
  };
  struct SeenKeyHash {
    std::size_t operator()(const SeenKey& k) const {
      return std::hash<std::string_view>()(k.text) ^ (k.parent * 0x9E3779B97F4A7C15ull);
    }
  };
  std::unordered_map<SeenKey, std::uint64_t, SeenKeyHash> seenClasses_;
  std::unordered_map<std::string, std::uint64_t> tables_;  // CellsReach's numbers of tables
  std::string scratch_;
  std::uint64_t nextSeen_ = 1, nextTable_ = 1;
  std::uint64_t nextClass_ = 1;
};

}  // namespace

// What the first walk finds in a part of the tree.
struct Survey {
  std::vector<const TagNode*> sheetElements;  // STYLE and LINK, in document order
  std::vector<const TagNode*> marks;          // every markEvery-th element
  std::size_t elements = 0;
  int depth = 0;  // of the deepest element below html

  void Append(const Survey& later) {
    sheetElements.insert(sheetElements.end(), later.sheetElements.begin(), later.sheetElements.end());
    marks.insert(marks.end(), later.marks.begin(), later.marks.end());
    elements += later.elements;
    depth = std::max(depth, later.depth);
  }
};

// Surveys html's subtree in document order from `from` (`depth` below
// html) up to `stop` (nullptr: to the end), passing over comments.
void SurveyTree(const TagNode* html, const TagNode* from, int depth, const TagNode* stop, std::size_t markEvery,
                Survey& out) {
  for (const TagNode* n = from; n && n != stop;) {
    if (!IsComment(n)) {
      if (out.elements++ % markEvery == 0) out.marks.push_back(n);
      out.depth = std::max(out.depth, depth);
      // Only STYLE and LINK matter here: the others' start tags are not read.
      if (NamedAs(n->raw.view(), "style") || NamedAs(n->raw.view(), "link")) out.sheetElements.push_back(n);
      if (n->firstChild) {
        n = n->firstChild;
        ++depth;
        continue;
      }
    }
    while (n != html && !n->next) {
      n = n->parent;
      --depth;
    }
    if (n == html) return;
    n = n->next;
  }
}

// An element below html about half way through an input of `inputBytes`,
// by where the tags began; nullptr when none is found.
const TagNode* ElementHalfWay(const TagNode* html, std::uint64_t inputBytes) {
  if (inputBytes == 0) return nullptr;
  const std::uint64_t middle = inputBytes / 2;
  const TagNode* found = nullptr;
  for (const TagNode* n = html; n && n->firstChild;) {
    const TagNode* c = n->firstChild;
    while (c->next && PositionFrom(c->next, 0) <= middle) c = c->next;
    if (!IsComment(c)) found = c;
    n = c;
  }
  return found;
}

std::unique_ptr<ComputedStyles> RunCascade(Context& ctx, const StyleInput& in, PageSetup* page) {
  TagNode* html = ctx.documentRoot ? ctx.documentRoot->next : nullptr;
  ComponentElementView view;
  Collector sheets(ctx, in);

  // One walk in document order, as the cascade's: the page's STYLE and LINK
  // elements, the depth of the deepest element, how many elements there
  // are and every markEvery-th of them (where a second walk may begin; a
  // small fraction of the fewest elements that take two walks). A large
  // tree's is shared with a helper, from an element about half way through
  // the input.
  const std::size_t markEvery = std::clamp<std::size_t>(in.twoThreadsFrom / 16, 1, 4096);
  Survey survey;
  if (html) {
    const TagNode* half =
        BlockPool<sizeof(TagNode)>::Live() >= in.twoThreadsFrom ? ElementHalfWay(html, ctx.inputBytes) : nullptr;
    Survey later;
    std::exception_ptr failed;
    std::thread helper;
    if (half) {
      try {
        int depth = 0;
        for (const TagNode* a = half; a != html; a = a->parent) ++depth;
        helper = std::thread([&, depth] {
          try {
            ReadTreesOnly();
            SurveyTree(html, half, depth, nullptr, markEvery, later);
          } catch (...) {
            failed = std::current_exception();
          }
        });
      } catch (const std::system_error&) {  // no second thread: this one goes on to the end
        half = nullptr;
      }
    }
    struct Joined {
      std::thread& thread;
      ~Joined() {
        if (thread.joinable()) thread.join();
      }
    } joined{helper};
    SurveyTree(html, html, 0, half, markEvery, survey);
    if (helper.joinable()) {
      helper.join();
      if (failed) std::rethrow_exception(failed);
      survey.Append(later);
    }
  }
  const std::vector<const TagNode*>& sheetElements = survey.sheetElements;
  const std::vector<const TagNode*>& marks = survey.marks;
  const std::size_t elements = survey.elements;
  const int depth = survey.depth;
  sheets.maxDepth = depth;

  bool anySheet = !in.userSheets.empty();
  std::vector<std::string> chain;
  // What every browser gives tables before any sheet: without it, columns
  // fitted to their content would set one cell's text against the next.
  static constexpr std::string_view kBrowserTables = "table { border-spacing: 2px } td, th { padding: 1px }";
  sheets.AddSheet(kBrowserTables, kUserNormal, "", chain, 0);
  for (const StyleInput::Sheet& s : in.userSheets) sheets.AddSheet(DecodeSheet(s.bytes, ""), kUserNormal, FolderOf(s.name), chain, 0);

  // The page's sheets in document order; STYLE attributes are read in the walk.
  const std::string folder = FolderOf(ctx.inputName);
  for (const TagNode* n : sheetElements) {
    const ElementInfo& info = view.Info(n);
    if (info.name == "style") {
      anySheet = true;
      const std::string* media = view.Attribute(n, "media");
      if (media && !MediaMatches(*media, Medium())) continue;
      if (const std::string* type = view.Attribute(n, "type"); type && !type->empty() && !EqualsNoCase(*type, "text/css"))
        continue;
      sheets.AddSheet(n->text.view(), kAuthorNormal, folder, chain, 0);
    } else if (info.name == "link") {
      const std::string* rel = view.Attribute(n, "rel");
      const std::string* href = view.Attribute(n, "href");
      if (!rel || !TokenListHas(*rel, "stylesheet") || TokenListHas(*rel, "alternate") || !href) continue;
      anySheet = true;
      const std::string* media = view.Attribute(n, "media");
      if (media && !MediaMatches(*media, Medium())) continue;
      sheets.LoadLinked(*href, kAuthorNormal, folder, chain, 0, "linked");
    }
    view.Forget();
  }
  if (page) *page = sheets.pages.Finish();
  if (!anySheet) return nullptr;

  auto styles = std::make_unique<ComputedStyles>();
  // A large tree is walked by two threads: this one from the start, a helper
  // from an element near the middle (in document order) to the end. Each
  // has its own caches, so the values are the same as from one walk.
  const TagNode* middle = nullptr;
  if (html && elements >= in.twoThreadsFrom) middle = marks[elements / 2 / markEvery];
  auto walkAll = [&] {
    Walk walk(sheets, in, styles->Own());
    walk.Start(html);
    walk.Run(nullptr);
    return std::move(styles);
  };
  if (!middle || middle == html) return walkAll();
  styles->MakeRoomForAll();
  auto other = std::make_unique<ComputedStyles::Part>(styles.get());
  std::exception_ptr failed;
  std::thread helper;
  try {
    helper = std::thread([&] {
      try {
        ReadTreesOnly();
        Walk walk(sheets, in, *other);
        walk.StartAt(html, middle);
        walk.Run(nullptr);
      } catch (...) {
        failed = std::current_exception();
      }
    });
  } catch (const std::system_error&) {  // no second thread to be had
    return walkAll();
  }
  std::exception_ptr mine;
  try {
    Walk walk(sheets, in, styles->Own());
    walk.Start(html);
    walk.Run(middle);
  } catch (...) {
    mine = std::current_exception();
  }
  helper.join();
  if (mine) std::rethrow_exception(mine);
  if (failed) std::rethrow_exception(failed);
  styles->Keep(std::move(other));
  return styles;
}

}  // namespace ps
