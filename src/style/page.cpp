#include "style/page.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "style/color.h"

namespace ps::css {

namespace {

using Kind = ComponentValue::Kind;

// Where a declaration stands: origin and importance, lowest first.
enum Layer : std::uint8_t { kUserNormal, kAuthorNormal, kAuthorImportant, kUserImportant };

Layer LayerOf(bool user, bool important) {
  if (important) return user ? kUserImportant : kAuthorImportant;
  return user ? kUserNormal : kAuthorNormal;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

bool IsSpace(const ComponentValue& c) { return c.kind == Kind::Token && c.token.type == TokenType::Whitespace; }

bool IsToken(const ComponentValue& c, TokenType t) { return c.kind == Kind::Token && c.token.type == t; }

bool IsIdent(const ComponentValue& c, std::string_view name) {
  return IsToken(c, TokenType::Ident) && SameNoCase(c.token.value, name);
}

// The values without white space between them.
std::vector<const ComponentValue*> Significant(const ComponentValues& v) {
  std::vector<const ComponentValue*> out;
  for (const ComponentValue& c : v)
    if (!IsSpace(c)) out.push_back(&c);
  return out;
}

// A function's arguments split at commas, white space dropped.
std::vector<std::vector<const ComponentValue*>> Arguments(const ComponentValue& f) {
  std::vector<std::vector<const ComponentValue*>> args(1);
  for (const ComponentValue& c : f.children) {
    if (IsToken(c, TokenType::Comma))
      args.emplace_back();
    else if (!IsSpace(c))
      args.back().push_back(&c);
  }
  return args;
}

// PDF pages may be no larger than 200 inches a side.
constexpr double kMaxPagePt = 14400;

struct Unit {
  const char* name;
  double points;
};
constexpr Unit kUnits[] = {{"pt", 1},          {"px", 0.75},         {"in", 72},  {"cm", 72 / 2.54},
                           {"mm", 72 / 25.4}, {"q", 72 / 101.6}, {"pc", 12}};

// An absolute length (or a plain 0) in points; false for anything else.
bool LengthPt(const ComponentValue& c, double& pt) {
  if (c.kind != Kind::Token) return false;
  if (c.token.type == TokenType::Number && c.token.number == 0) {
    pt = 0;
    return true;
  }
  if (c.token.type != TokenType::Dimension) return false;
  for (const Unit& u : kUnits) {
    if (SameNoCase(c.token.value, u.name)) {
      pt = c.token.number * u.points;
      return pt >= -kMaxPagePt && pt <= kMaxPagePt;
    }
  }
  return false;
}

struct NamedSize {
  const char* name;
  double widthPt, heightPt;  // portrait
};
constexpr double kMm = 72 / 25.4;
constexpr NamedSize kSizes[] = {
    {"a5", 148 * kMm, 210 * kMm}, {"a4", 210 * kMm, 297 * kMm}, {"a3", 297 * kMm, 420 * kMm},
    {"b5", 176 * kMm, 250 * kMm}, {"b4", 250 * kMm, 353 * kMm}, {"jis-b5", 182 * kMm, 257 * kMm},
    {"jis-b4", 257 * kMm, 364 * kMm}, {"letter", 612, 792}, {"legal", 612, 1008}, {"ledger", 792, 1224},
};

// `size`: auto | <length>{1,2} | <page-size> || [portrait | landscape].
bool ParseSize(const ComponentValues& value, double& width, double& height) {
  const auto v = Significant(value);
  if (v.empty() || v.size() > 2) return false;
  double a = 0, b = 0;
  if (LengthPt(*v[0], a)) {
    if (v.size() == 2 && !LengthPt(*v[1], b)) return false;
    if (v.size() == 1) b = a;
    if (a <= 0 || b <= 0) return false;
    width = a;
    height = b;
    return true;
  }
  if (v.size() == 1 && IsIdent(*v[0], "auto")) {
    width = kSizes[1].widthPt;
    height = kSizes[1].heightPt;
    return true;
  }
  const NamedSize* named = nullptr;
  int orientation = 0;  // 1 portrait, 2 landscape
  for (const ComponentValue* c : v) {
    if (!IsToken(*c, TokenType::Ident)) return false;
    if (SameNoCase(c->token.value, "portrait") || SameNoCase(c->token.value, "landscape")) {
      if (orientation) return false;
      orientation = SameNoCase(c->token.value, "portrait") ? 1 : 2;
      continue;
    }
    if (named) return false;
    for (const NamedSize& s : kSizes)
      if (SameNoCase(c->token.value, s.name)) named = &s;
    if (!named) return false;
  }
  if (!named) named = &kSizes[1];  // an orientation alone turns the A4 page
  width = named->widthPt;
  height = named->heightPt;
  if (orientation == 2) std::swap(width, height);
  return true;
}

// `margin`: one to four lengths (top, right, bottom, left as in CSS).
bool ParseMargins(const ComponentValues& value, double out[4]) {
  const auto v = Significant(value);
  if (v.empty() || v.size() > 4) return false;
  double m[4];
  for (std::size_t i = 0; i < v.size(); ++i)
    if (!LengthPt(*v[i], m[i]) || m[i] < 0) return false;
  out[0] = m[0];
  out[1] = v.size() > 1 ? m[1] : m[0];
  out[2] = v.size() > 2 ? m[2] : m[0];
  out[3] = v.size() > 3 ? m[3] : out[1];
  return true;
}

bool ParseOneMargin(const ComponentValues& value, double& out) {
  const auto v = Significant(value);
  double m = 0;
  if (v.size() != 1 || !LengthPt(*v[0], m) || m < 0) return false;
  out = m;
  return true;
}

void AppendText(Content& c, std::string_view text) {
  if (!c.empty() && c.back().kind == ContentPiece::Kind::Text)
    c.back().text.append(text);
  else
    c.push_back({ContentPiece::Kind::Text, ContentPiece::Position::First, std::string(text)});
}

// A margin box's `content`: strings, counter(page), counter(pages),
// string(name[, position]); none/normal give no box.
bool ParseContent(const ComponentValues& value, MarginBox& box) {
  const auto v = Significant(value);
  if (v.size() == 1 && (IsIdent(*v[0], "none") || IsIdent(*v[0], "normal"))) {
    box.given = false;
    box.content.clear();
    return true;
  }
  if (v.empty()) return false;
  Content out;
  for (const ComponentValue* c : v) {
    if (IsToken(*c, TokenType::String)) {
      AppendText(out, c->token.value);
      continue;
    }
    if (c->kind != Kind::Function) return false;
    const auto args = Arguments(*c);
    if (args[0].size() != 1 || !IsToken(*args[0][0], TokenType::Ident)) return false;
    const std::string& name = args[0][0]->token.value;
    if (SameNoCase(c->token.value, "counter")) {
      // Page numbers print as decimals; another counter style is read as one.
      if (args.size() > 2 || (args.size() == 2 && (args[1].size() != 1 || !IsToken(*args[1][0], TokenType::Ident))))
        return false;
      if (SameNoCase(name, "page"))
        out.push_back({ContentPiece::Kind::PageNumber, ContentPiece::Position::First, ""});
      else if (SameNoCase(name, "pages"))
        out.push_back({ContentPiece::Kind::PageCount, ContentPiece::Position::First, ""});
      else
        return false;  // no other counter runs on the page
    } else if (SameNoCase(c->token.value, "string")) {
      ContentPiece p{ContentPiece::Kind::String, ContentPiece::Position::First, name};
      if (args.size() > 2) return false;
      if (args.size() == 2) {
        if (args[1].size() != 1) return false;
        const ComponentValue& pos = *args[1][0];
        if (IsIdent(pos, "first"))
          p.position = ContentPiece::Position::First;
        else if (IsIdent(pos, "start"))
          p.position = ContentPiece::Position::Start;
        else if (IsIdent(pos, "last"))
          p.position = ContentPiece::Position::Last;
        else if (IsIdent(pos, "first-except"))
          p.position = ContentPiece::Position::FirstExcept;
        else
          return false;
      }
      out.push_back(std::move(p));
    } else {
      return false;
    }
  }
  box.given = true;
  box.content = std::move(out);
  return true;
}

struct SizeKeyword {
  const char* name;
  double points;
};
// The absolute sizes, from 12pt for medium as the converter's text.
constexpr SizeKeyword kFontSizes[] = {{"xx-small", 7}, {"x-small", 7.5}, {"small", 10},  {"medium", 12},
                                      {"large", 13.5}, {"x-large", 18},  {"xx-large", 24}};

bool ApplyBoxDeclaration(const Declaration& d, MarginBox& box) {
  const std::string name = Lower(d.name);
  if (name == "content") return ParseContent(d.value, box);
  const auto v = Significant(d.value);
  if (v.size() != 1) return false;
  const ComponentValue& c = *v[0];
  if (name == "font-size") {
    double pt = 0;
    if (LengthPt(c, pt) && pt > 0 && pt <= 1000) {
      box.fontSizePt = pt;
      return true;
    }
    for (const SizeKeyword& k : kFontSizes) {
      if (IsIdent(c, k.name)) {
        box.fontSizePt = k.points;
        return true;
      }
    }
    return false;
  }
  if (name == "color") {
    Rgba rgba;
    if (!ParseColor(c, rgba) || rgba.currentColor) return false;
    const Rgba::Bytes b = rgba.Clamped();
    // Laid over the white paper.
    auto over = [&](std::uint8_t x) { return static_cast<std::uint32_t>(x * b.a + 255 * (1 - b.a) + 0.5); };
    box.hasColor = true;
    box.color = over(b.r) << 16 | over(b.g) << 8 | over(b.b);
    return true;
  }
  if (name == "text-align") {
    if (IsIdent(c, "left") || IsIdent(c, "start") || IsIdent(c, "justify"))
      box.align = BoxAlign::Left;
    else if (IsIdent(c, "right") || IsIdent(c, "end"))
      box.align = BoxAlign::Right;
    else if (IsIdent(c, "center"))
      box.align = BoxAlign::Center;
    else
      return false;
    return true;
  }
  return false;
}

void ApplyPageDeclaration(const Declaration& d, PageBox& page) {
  const std::string name = Lower(d.name);
  if (name == "size") {
    ParseSize(d.value, page.widthPt, page.heightPt);
  } else if (name == "margin") {
    double m[4];
    if (ParseMargins(d.value, m)) {
      page.marginTopPt = m[0];
      page.marginRightPt = m[1];
      page.marginBottomPt = m[2];
      page.marginLeftPt = m[3];
    }
  } else if (name == "margin-top") {
    ParseOneMargin(d.value, page.marginTopPt);
  } else if (name == "margin-right") {
    ParseOneMargin(d.value, page.marginRightPt);
  } else if (name == "margin-bottom") {
    ParseOneMargin(d.value, page.marginBottomPt);
  } else if (name == "margin-left") {
    ParseOneMargin(d.value, page.marginLeftPt);
  }
}

// The margin boxes and the slot each is placed in; the corner boxes and
// the side boxes next to a row join that row's box at their end. The middle
// of the sides has no place on the converter's page and is left out.
struct BoxName {
  const char* name;
  Slot slot;
  bool own;  // the slot's own box, which wins over one that joins it
};
constexpr BoxName kBoxes[] = {
    {"top-left", Slot::TopLeft, true},         {"top-center", Slot::TopCenter, true},
    {"top-right", Slot::TopRight, true},       {"bottom-left", Slot::BottomLeft, true},
    {"bottom-center", Slot::BottomCenter, true}, {"bottom-right", Slot::BottomRight, true},
    {"top-left-corner", Slot::TopLeft, false}, {"left-top", Slot::TopLeft, false},
    {"top-right-corner", Slot::TopRight, false}, {"right-top", Slot::TopRight, false},
    {"bottom-left-corner", Slot::BottomLeft, false}, {"left-bottom", Slot::BottomLeft, false},
    {"bottom-right-corner", Slot::BottomRight, false}, {"right-bottom", Slot::BottomRight, false},
};

// One selector of an @page prelude: which pages it takes.
struct PageSelector {
  int first = 0, left = 0, right = 0, blank = 0;
  bool named = false;
};

// An @page prelude; false when any selector in it is invalid (the rule is
// then dropped).
bool ParsePageSelectors(const ComponentValues& prelude, std::vector<PageSelector>& out) {
  PageSelector cur;
  bool any = false, expectPseudo = false, afterSpace = false;
  for (const ComponentValue& c : prelude) {
    if (IsSpace(c)) {
      afterSpace = any || cur.named;
      continue;
    }
    if (expectPseudo) {
      if (!IsToken(c, TokenType::Ident)) return false;
      if (SameNoCase(c.token.value, "first"))
        ++cur.first;
      else if (SameNoCase(c.token.value, "left"))
        ++cur.left;
      else if (SameNoCase(c.token.value, "right"))
        ++cur.right;
      else if (SameNoCase(c.token.value, "blank"))
        ++cur.blank;
      else
        return false;
      expectPseudo = false;
      any = true;
      continue;
    }
    if (IsToken(c, TokenType::Comma)) {
      if (!any && !cur.named) return false;
      out.push_back(cur);
      cur = PageSelector{};
      any = afterSpace = false;
      continue;
    }
    if (afterSpace) return false;  // "name :first" is no selector
    if (IsToken(c, TokenType::Colon)) {
      expectPseudo = true;
      continue;
    }
    if (IsToken(c, TokenType::Ident) && !any && !cur.named) {
      cur.named = true;
      continue;
    }
    return false;
  }
  if (expectPseudo) return false;
  if (!out.empty() && !any && !cur.named) return false;  // a trailing comma
  out.push_back(cur);  // an empty prelude: every page
  return true;
}

enum Variant { kFirst, kLeft, kRight };

// Whether the selector takes the page; its specificity (pseudo-classes
// :first and :blank, then :left and :right) when it does.
bool Takes(const PageSelector& s, Variant v, int& g, int& h) {
  // The converter names no pages, nor makes blank ones.
  if (s.named || s.blank) return false;
  const bool fits = v == kFirst ? !s.left : v == kLeft ? !s.first && !s.right : !s.first && !s.left;
  if (!fits) return false;
  g = s.first;
  h = s.left + s.right;
  return true;
}

// A declaration that reaches the page, with what orders it.
struct Placed {
  Layer layer;
  int g, h;
  const Declaration* decl;
  int box;  // -1: the page itself; else an index into kBoxes
};

// Applies the kept @page rules to one page.
PageBox ComputePage(const std::vector<Rule>& rules, const std::vector<bool>& user, Variant v) {
  // Declarations stay alive while they are placed.
  std::vector<std::vector<Declaration>> held;
  held.reserve(rules.size() * 2);
  std::vector<Placed> placed;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    std::vector<PageSelector> sel;
    if (!ParsePageSelectors(rules[i].prelude, sel)) continue;
    int g = -1, h = -1;
    for (const PageSelector& s : sel) {
      int sg = 0, sh = 0;
      if (Takes(s, v, sg, sh) && (sg > g || (sg == g && sh > h))) {
        g = sg;
        h = sh;
      }
    }
    if (g < 0) continue;
    std::vector<Rule> atRules;
    held.push_back(ParseDeclarationList(rules[i].block, &atRules));
    for (const Declaration& d : held.back()) placed.push_back({LayerOf(user[i], d.important), g, h, &d, -1});
    for (const Rule& r : atRules) {
      int box = -1;
      for (std::size_t k = 0; k < std::size(kBoxes); ++k)
        if (SameNoCase(r.name, kBoxes[k].name)) box = static_cast<int>(k);
      if (box < 0 || !r.hasBlock) continue;
      held.push_back(ParseDeclarationList(r.block));
      for (const Declaration& d : held.back()) placed.push_back({LayerOf(user[i], d.important), g, h, &d, box});
    }
  }
  // Rules stand in the order the sheets give them: a stable sort keeps it
  // among equals.
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
    if (a.layer != b.layer) return a.layer < b.layer;
    if (a.g != b.g) return a.g < b.g;
    return a.h < b.h;
  });
  PageBox page;
  std::array<MarginBox, kSlotCount> joined;
  for (const Placed& p : placed) {
    if (p.box < 0) {
      ApplyPageDeclaration(*p.decl, page);
      continue;
    }
    const BoxName& b = kBoxes[p.box];
    MarginBox& target = b.own ? page.boxes[static_cast<int>(b.slot)] : joined[static_cast<int>(b.slot)];
    ApplyBoxDeclaration(*p.decl, target);
  }
  for (int s = 0; s < kSlotCount; ++s)
    if (!page.boxes[s].given && joined[s].given) page.boxes[s] = joined[s];
  // Margins that leave the text no room are shrunk to leave it half an inch.
  constexpr double kMinText = 36;
  auto fit = [&](double& a, double& b, double whole) {
    if (a + b <= whole - kMinText) return;
    const double f = whole > kMinText && a + b > 0 ? (whole - kMinText) / (a + b) : 0;
    a *= f;
    b *= f;
  };
  fit(page.marginTopPt, page.marginBottomPt, page.heightPt);
  fit(page.marginLeftPt, page.marginRightPt, page.widthPt);
  return page;
}

// A style rule's selector as the element names it lists ("h1, h2"); false
// for any other selector, which string-set does not reach yet.
bool ElementNames(const ComponentValues& prelude, std::vector<std::string>& names) {
  bool expectName = true;
  for (const ComponentValue& c : prelude) {
    if (IsSpace(c)) continue;
    if (expectName && IsToken(c, TokenType::Ident)) {
      names.push_back(Lower(c.token.value));
      expectName = false;
    } else if (!expectName && IsToken(c, TokenType::Comma)) {
      expectName = true;
    } else {
      return false;
    }
  }
  return !expectName;
}

// A string-set value: none, or a comma-separated list of a name and its
// pieces (strings and content()); false when invalid.
bool ParseStringSet(const ComponentValues& value, std::vector<std::pair<std::string, Content>>& out) {
  const auto v = Significant(value);
  if (v.size() == 1 && IsIdent(*v[0], "none")) return true;
  std::vector<std::pair<std::string, Content>> sets;
  bool expectName = true;
  for (const ComponentValue* c : v) {
    if (expectName) {
      if (!IsToken(*c, TokenType::Ident)) return false;
      sets.emplace_back(c->token.value, Content{});
      expectName = false;
    } else if (IsToken(*c, TokenType::Comma)) {
      if (sets.back().second.empty()) return false;
      expectName = true;
    } else if (IsToken(*c, TokenType::String)) {
      AppendText(sets.back().second, c->token.value);
    } else if (c->kind == Kind::Function && SameNoCase(c->token.value, "content")) {
      const auto args = Arguments(*c);
      if (args.size() != 1 || args[0].size() > 1) return false;
      if (args[0].empty() || IsIdent(*args[0][0], "text")) {
        sets.back().second.push_back({ContentPiece::Kind::ElementText, ContentPiece::Position::First, ""});
      } else if (!IsIdent(*args[0][0], "before") && !IsIdent(*args[0][0], "after") &&
                 !IsIdent(*args[0][0], "first-letter") && !IsIdent(*args[0][0], "marker")) {
        return false;
      }  // the converter generates no ::before or ::after content: those give nothing
    } else {
      return false;
    }
  }
  if (expectName || sets.back().second.empty()) return false;
  out = std::move(sets);
  return true;
}

bool MentionsStringSet(const ComponentValues& block) {
  for (const ComponentValue& c : block)
    if (IsToken(c, TokenType::Ident) && SameNoCase(c.token.value, "string-set")) return true;
  return false;
}

}  // namespace

bool PageBox::AnyBox(bool top) const {
  for (int s = top ? 0 : 3, end = s + 3; s < end; ++s)
    if (boxes[s].given) return true;
  return false;
}

void PageSetupBuilder::AddRule(const Rule& rule, bool user) {
  if (rule.at) {
    if (SameNoCase(rule.name, "page") && rule.hasBlock) pageRules_.push_back({rule, user, order_++});
  } else if (rule.hasBlock && MentionsStringSet(rule.block)) {
    stringRules_.push_back({rule, user, order_++});
  }
}

void PageSetupBuilder::AddSheet(const Stylesheet& sheet, bool user) {
  for (const Rule& r : sheet.rules) AddRule(r, user);
}

PageSetup PageSetupBuilder::Finish() const {
  PageSetup setup;
  setup.given = !pageRules_.empty();
  if (setup.given) {
    std::vector<Rule> rules;
    std::vector<bool> user;
    for (const PageRule& p : pageRules_) {
      rules.push_back(p.rule);
      user.push_back(p.user);
    }
    setup.first = ComputePage(rules, user, kFirst);
    setup.left = ComputePage(rules, user, kLeft);
    setup.right = ComputePage(rules, user, kRight);
  }

  // Per element, the string-set that wins: importance and origin, then the
  // later rule (the selectors all weigh the same).
  struct Winner {
    std::string element;
    Layer layer;
    std::uint32_t order;
    std::vector<std::pair<std::string, Content>> sets;
  };
  std::vector<Winner> winners;
  std::unordered_map<std::string, std::size_t> index;
  for (const PageRule& p : stringRules_) {
    std::vector<std::string> names;
    if (!ElementNames(p.rule.prelude, names)) continue;
    for (const Declaration& d : ParseDeclarationList(p.rule.block)) {
      if (!SameNoCase(d.name, "string-set")) continue;
      std::vector<std::pair<std::string, Content>> sets;
      if (!ParseStringSet(d.value, sets)) continue;
      const Layer layer = LayerOf(p.user, d.important);
      for (const std::string& element : names) {
        auto [it, added] = index.emplace(element, winners.size());
        if (added)
          winners.push_back({element, layer, p.order, sets});
        else if (layer >= winners[it->second].layer)
          winners[it->second] = {element, layer, p.order, sets};
      }
    }
  }
  for (Winner& w : winners)
    for (auto& [name, content] : w.sets) setup.stringSets.push_back({w.element, name, std::move(content)});
  return setup;
}

PageSetup ComputePageSetup(const std::vector<const Stylesheet*>& userSheets,
                           const std::vector<const Stylesheet*>& authorSheets) {
  PageSetupBuilder b;
  for (const Stylesheet* s : userSheets) b.AddSheet(*s, true);
  for (const Stylesheet* s : authorSheets) b.AddSheet(*s, false);
  return b.Finish();
}

}  // namespace ps::css
