#include "transform/styled.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "model/tables.h"
#include "style/computed.h"
#include "transform/names.h"
#include "transform/share_children.h"
#include "transform/widths.h"

namespace ps {

using css::Bit;
using css::Computed;

std::string FormatRgb(std::uint32_t c) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string s = "#000000";
  for (int i = 6; i > 0; --i, c >>= 4) s[static_cast<std::size_t>(i)] = kHex[c & 15];
  return s;
}

namespace {

struct CssNames {
  PropertyName variant{"XML-CSS-FONT-VARIANT"};
  PropertyName transform{"XML-CSS-TEXT-TRANSFORM"};
  PropertyName letterSpacing{"XML-CSS-LETTER-SPACING"};
  PropertyName wordSpacing{"XML-CSS-WORD-SPACING"};
  PropertyName background{"XML-CSS-BACKGROUND-COLOR"};
  PropertyName baselineShift{"XML-CSS-BASELINE-SHIFT"};
  PropertyName tagShift{"XML-BASELINE-SHIFT"};
  PropertyName blockFace{"XML-CSS-FONT-FAMILY"};
  PropertyName blockSize{"XML-CSS-FONT-SIZE"};
  PropertyName blockWeight{"XML-CSS-FONT-WEIGHT"};
  PropertyName blockStyle{"XML-CSS-FONT-STYLE"};
  PropertyName blockColor{"XML-CSS-COLOR"};
  PropertyName blockLineHeight{"XML-CSS-LINE-HEIGHT"};
  PropertyName textAlign{"XML-CSS-TEXT-ALIGN"};
  PropertyName textIndent{"XML-CSS-TEXT-INDENT"};
  PropertyName linefeed{"XML-CSS-LINEFEED-TREATMENT"};
  PropertyName whiteSpace{"XML-CSS-WHITE-SPACE-TREATMENT"};
  PropertyName collapse{"XML-CSS-WHITE-SPACE-COLLAPSE"};
  PropertyName wrap{"XML-CSS-WRAP-OPTION"};
  const TagDef* div = FindTagDef(nullptr, "DIV");
};

const CssNames& Css() {
  static const CssNames names;
  return names;
}

constexpr css::PropSet kFontProps = Bit(css::kFontFamily) | Bit(css::kFontSize) | Bit(css::kFontWeight) |
                                    Bit(css::kFontStyle) | Bit(css::kFontVariant) | Bit(css::kColor) |
                                    Bit(css::kTextDecoration) | Bit(css::kTextTransform) |
                                    Bit(css::kVerticalAlign) | Bit(css::kLetterSpacing) |
                                    Bit(css::kWordSpacing) | Bit(css::kBackgroundColor) | Bit(css::kLineHeight);

const Computed* Entry(const Context& ctx, const TagNode* n) { return ctx.styles ? ctx.styles->Find(n) : nullptr; }

bool IsNamed(const TagNode* n, const char* name) { return EqualsNoCase(n->def->name, name); }

bool IsTableBox(const TagNode* n) {
  return IsNamed(n, "TABLE") || IsNamed(n, "TR") || IsNamed(n, "TD") || IsNamed(n, "TH");
}

// The font list of a computed family: a named family first where FOP knows
// it (its own fonts and those the shipped configuration adds), then the
// list of its generic family, which covers the scripts.
std::string FamilyList(const Computed& c) {
  static constexpr const char* kKnown[] = {"Helvetica",   "Times",    "Courier", "DejaVu Sans", "DejaVu Sans Mono",
                                           "FreeSans",    "Amiri",    "IPAGothic", "Arundina Sans",
                                           "Arundina Sans Mono", "WenQuanYi Zen Hei", "WenQuanYi Zen Hei Mono"};
  css::Generic g = c.generic;
  std::string lower = c.family;
  for (char& ch : lower) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
  if (g == css::Generic::None) {
    // A page that names only its fonts: monospaced ones are known by name.
    static constexpr const char* kMono[] = {"mono", "courier", "consolas", "menlo", "monaco", "typewriter", "fixed"};
    for (const char* m : kMono)
      if (lower.find(m) != std::string::npos) g = css::Generic::Monospace;
  }
  std::string list;
  for (const char* k : kKnown) {
    std::string kl = k;
    for (char& ch : kl) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    if (kl == lower) list = std::string(k) + ", ";
  }
  std::string generic = g == css::Generic::Monospace ? kMonospaceFonts
                        : g == css::Generic::Serif
                            ? "Times, Amiri, DejaVu Sans, FreeSans, Arundina Sans, IPAGothic, WenQuanYi Zen Hei"
                            : kTextFonts;
  if (!list.empty() && generic.compare(0, list.size(), list) == 0) return generic;
  return list + generic;
}

const Text* Keep(KeptTexts* kept, std::string_view s) {
  auto [it, fresh] = kept->byText.try_emplace(std::string(s), nullptr);
  if (fresh) {
    kept->texts.emplace_back(s);
    it->second = &kept->texts.back();
  }
  return it->second;
}

// Points as FormatPoints writes them, each value formatted once.
const Text* KeepPoints(KeptTexts* kept, double pt) {
  auto [it, fresh] = kept->byPoints.try_emplace(std::bit_cast<std::uint64_t>(pt), nullptr);
  if (fresh) it->second = Keep(kept, FormatPoints(pt));
  return it->second;
}

// A value over whatever the carrier holds already, or spread to the first
// nodes below it that take the property.
void Put(Context& ctx, TagNode* carrier, const PropertyName& name, std::string_view value) {
  if (TagProperty* p = FindProperty(carrier, name)) {
    p->value.assign(value);
    return;
  }
  SpreadProperty(ctx, carrier, name, Text(value), 0, false);
}

// --- before the pass ---

bool IsWhiteByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The text with every character a no-break space: hidden text keeps its room.
void Blank(Text& t, bool utf8) {
  if (t.null() || t.empty()) return;
  const std::string_view v = t.view();
  std::string out;
  for (std::size_t i = 0; i < v.size();) {
    if (IsWhiteByte(v[i])) {
      out += v[i++];
      continue;
    }
    if (v[i] == '&') {  // a reference is one character
      const std::size_t semi = v.find(';', i);
      if (semi != std::string_view::npos && semi - i < 40) i = semi + 1;
      else ++i;
    } else if (utf8 && (static_cast<unsigned char>(v[i]) & 0xC0) == 0xC0) {
      ++i;
      while (i < v.size() && (static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) ++i;
    } else {
      ++i;
    }
    out += "&#160;";
  }
  t.assign(out);
}

void RemoveNode(TagNode* prev, TagNode* node) {
  TagNode* parent = node->parent;
  if (node->tail.has() && !node->tail.empty()) {
    Text& to = prev ? prev->tail : parent->text;
    to.append(node->tail.view());
  }
  if (prev) prev->next = node->next;
  else parent->firstChild = node->next;
  if (parent->lastChild == node) parent->lastChild = prev;
  node->next = nullptr;
  node->parent = nullptr;
  FreeSubtree(node);
}

}  // namespace

namespace {

// The display step below `top`, whose text is hidden when `hidden` says
// so. At `split` the children's subtrees are shared with a helper: the step
// changes a node's list of children and nothing above it.
void DisplayBelow(Context& ctx, TagNode* top, bool hiddenTop, const TagNode* split) {
  struct Todo {
    TagNode* node;
    bool hidden;
  };
  std::vector<Todo> todo{{top, hiddenTop}};
  std::vector<TagNode*> kids;
  while (!todo.empty()) {
    Todo t = todo.back();
    todo.pop_back();
    TagNode* n = t.node;
    bool hidden = t.hidden;
    if (const Computed* c = Entry(ctx, n); c && (c->set & Bit(css::kVisibility))) hidden = c->hidden;
    if (hidden) Blank(n->text, ctx.utf8Output);
    kids.clear();
    TagNode* prev = nullptr;
    for (TagNode* c = n->firstChild; c;) {
      TagNode* next = c->next;
      const Computed* e = Entry(ctx, c);
      const bool declared = e && (e->declared & Bit(css::kDisplay));
      // TITLE prints nowhere in the flow but gives the running title, the
      // PDF's title and the sheets' string(title): it stays.
      auto structural = [c] {
        return IsNamed(c, "HTML") || IsNamed(c, "HEAD") || IsNamed(c, "BODY") || IsNamed(c, "TITLE");
      };
      if (declared && e->display == css::Display::None && !structural()) {
        RemoveNode(prev, c);
        c = next;
        continue;
      }
      TagNode* placed = c;
      if (declared && (e->display == css::Display::Block || e->display == css::Display::ListItem) &&
          !Names().blockTags.Has(c) && (!c->def->outputName || IsNamed(c, "HR")) && !c->def->rawTag &&
          !IsNamed(c, "!--")) {
        // An inline element made a block: a block of its own around it keeps
        // what its tag gives it. A rule made a block runs across its line.
        if (TagNode* w = WrapNodeAfter(prev, c, Css().div)) placed = w;
      }
      if (hidden) Blank(c->tail, ctx.utf8Output);
      kids.push_back(c);
      prev = placed;
      c = next;
    }
    if (n == split && kids.size() >= 2) {
      // Each child's step keeps a list of its own: `kids` stays as it is.
      ShareChildren(ctx, kids.size(),
                    [&kids, hidden](Context& c, std::size_t k, bool) { DisplayBelow(c, kids[k], hidden, nullptr); });
      continue;
    }
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) todo.push_back({*it, hidden});
  }
}

}  // namespace

void ApplyDisplay(Context& ctx) {
  TagNode* html = ctx.documentRoot ? ctx.documentRoot->next : nullptr;
  if (!html || !ctx.styles) return;
  DisplayBelow(ctx, html, false, SplitParentFor(ctx, html));
}

bool CssChangesFont(const Context& ctx, const TagNode* node) {
  const Computed* c = Entry(ctx, node);
  if (!c) return false;
  // A table box's background and vertical alignment are its box's.
  const css::PropSet own = IsTableBox(node) ? Bit(css::kBackgroundColor) | Bit(css::kVerticalAlign) : 0;
  return (c->declared & kFontProps & ~own) != 0;
}

void OverrideTagFonts(TagNode* on, const TagNode* node, const FontState& s) {
  const Computed* c = s.css;
  if (!c || !on) return;
  auto over = [&](css::Prop prop, const PropertyName& name, const Text* value) {
    if (!(c->declared & Bit(prop)) || !value) return;
    if (TagProperty* own = FindProperty(on, name)) own->value.assign(value->view());
  };
  static const Text kBold("bold"), kNormal("normal"), kItalic("italic");
  over(css::kFontFamily, Names().face, s.face);
  over(css::kFontSize, Names().size, s.size);
  over(css::kColor, Names().color, s.color);
  over(css::kFontWeight, Names().weight, s.bold ? &kBold : &kNormal);
  over(css::kFontStyle, Names().style, s.italic ? &kItalic : &kNormal);
  // A carrier's line height stays its own: a block's lines are at least as
  // tall as its own font makes them.
  if (on != node) return;
  if (c->declared & (Bit(css::kLineHeight) | Bit(css::kFontSize))) over(css::kLineHeight, Names().lineHeight, s.lineHeight);
  if ((c->declared & Bit(css::kFontSize)) && !(c->declared & Bit(css::kLineHeight)))
    if (TagProperty* own = FindProperty(on, Names().lineHeight); own && s.lineHeight)
      own->value.assign(s.lineHeight->view());
}

void ApplyCssFonts(Context& ctx, TagNode* node, FontState& s) {
  const Computed* c = Entry(ctx, node);
  if (!c) return;
  if (!s.texts) return;
  const css::PropSet inherited = c->set & css::kTextProps & ~(Bit(css::kTextDecoration) | Bit(css::kBackgroundColor) |
                                            Bit(css::kVerticalAlign) | Bit(css::kDisplay));
  s.css = c;
  s.cssSet = static_cast<std::uint32_t>((s.cssSet & (Bit(css::kTextDecoration) | Bit(css::kBackgroundColor))) | inherited);
  if (c->set & Bit(css::kFontFamily)) s.face = Keep(s.texts, FamilyList(*c));
  if (c->set & Bit(css::kFontSize)) s.size = KeepPoints(s.texts, c->fontSize);
  if (c->set & Bit(css::kFontWeight)) s.bold = c->fontWeight >= 600;
  if (c->set & Bit(css::kFontStyle)) s.italic = c->italic;
  if (c->set & Bit(css::kColor)) s.color = Keep(s.texts, FormatRgb(c->color));
  if (c->set & Bit(css::kLineHeight)) {
    if (c->lineHeightNormal) s.lineHeight = KeepPoints(s.texts, c->fontSize * 1.2);
    else if (c->lineHeightFactor > 0) s.lineHeight = KeepPoints(s.texts, c->fontSize * c->lineHeightFactor);
    else s.lineHeight = KeepPoints(s.texts, c->lineHeight);
  } else if (c->set & Bit(css::kFontSize)) {
    // A size of the sheets with no line height of theirs: the normal one.
    s.lineHeight = KeepPoints(s.texts, c->fontSize * 1.2);
    s.cssSet |= Bit(css::kLineHeight);
  }
  if (c->declared & Bit(css::kTextDecoration)) {
    // `none` takes back what the tag gave (a link's underline); lines the
    // sheets drew on an ancestor stay, as they do in a browser.
    if (c->decoration == 0) {
      s.underline = s.lineThrough = false;
      if (TagProperty* own = FindProperty(node, Names().decoration)) {
        UnlinkProperty(node, own);
        FreeProperty(own);
      }
    }
    if (c->decoration & css::kUnderline) s.underline = true;
    if (c->decoration & css::kLineThrough) s.lineThrough = true;
    s.cssSet |= Bit(css::kTextDecoration);
  }
  // Tables, rows and cells draw their own backgrounds (table_boxes).
  const bool tableBox = IsTableBox(node);
  if ((c->declared & Bit(css::kBackgroundColor)) && !tableBox) {
    s.background = c->background;
    s.backgroundColor = c->backgroundColor;
    s.cssSet |= Bit(css::kBackgroundColor);
  }
  // A block of the sheets' own: its fonts on it, for text outside paragraphs.
  if ((c->declared & kFontProps) && node->def->outputName && std::string_view(node->def->outputName) == "fo:block" &&
      node != s.carrier) {
    if (s.face && (s.cssSet & Bit(css::kFontFamily))) SetProperty(ctx, node, Css().blockFace, s.face->view());
    if (s.size && (s.cssSet & Bit(css::kFontSize))) SetProperty(ctx, node, Css().blockSize, s.size->view());
    if (s.cssSet & Bit(css::kFontWeight)) SetProperty(ctx, node, Css().blockWeight, s.bold ? "bold" : "normal");
    if (s.cssSet & Bit(css::kFontStyle)) SetProperty(ctx, node, Css().blockStyle, s.italic ? "italic" : "normal");
    if (s.color && (s.cssSet & Bit(css::kColor))) SetProperty(ctx, node, Css().blockColor, s.color->view());
    if (s.lineHeight && (s.cssSet & Bit(css::kLineHeight)))
      SetProperty(ctx, node, Css().blockLineHeight, s.lineHeight->view());
    WriteCssFonts(ctx, node, s);
  }
  constexpr css::PropSet kBlockProps = Bit(css::kTextAlign) | Bit(css::kTextIndent) | Bit(css::kWhiteSpace);
  if ((c->declared & kBlockProps) && node->def->outputName && std::string_view(node->def->outputName) == "fo:block" &&
      node != s.paragraph)
    WriteCssParagraph(ctx, node, s);
  OverrideTagFonts(node, node, s);
  if ((c->declared & Bit(css::kVerticalAlign)) && c->valign != css::VAlign::Other && !tableBox) {
    const char* shift = c->valign == css::VAlign::Sub ? "sub" : c->valign == css::VAlign::Super ? "super" : nullptr;
    const std::string len = FormatPoints(c->valignPt);
    const std::string value = shift ? shift : c->valign == css::VAlign::Baseline ? "baseline" : len;
    // On the element's own inline, or on the carrier made for it alone.
    TagNode* on = node->def->outputName ? node : nullptr;
    if (!on && s.carrier && s.carrier->firstChild == node && s.carrier->lastChild == node) on = s.carrier;
    if (TagProperty* own = FindProperty(node, Css().tagShift)) own->value.assign(value);
    else if (on) SetProperty(ctx, on, Css().baselineShift, value);
  }
}

void WriteCssFonts(Context& ctx, TagNode* carrier, const FontState& s) {
  const Computed* c = s.css;
  if (c && (s.cssSet & Bit(css::kFontVariant)) && c->smallCaps) Put(ctx, carrier, Css().variant, "small-caps");
  if (c && (s.cssSet & Bit(css::kTextTransform)) && c->transform != css::Transform::None) {
    static constexpr const char* kTransforms[] = {"none", "uppercase", "lowercase", "capitalize"};
    Put(ctx, carrier, Css().transform, kTransforms[static_cast<int>(c->transform)]);
  }
  if (c && (s.cssSet & Bit(css::kLetterSpacing)) && c->letterSpacing != 0)
    Put(ctx, carrier, Css().letterSpacing, FormatPoints(c->letterSpacing));
  if (c && (s.cssSet & Bit(css::kWordSpacing)) && c->wordSpacing != 0)
    Put(ctx, carrier, Css().wordSpacing, FormatPoints(c->wordSpacing));
  if ((s.cssSet & Bit(css::kBackgroundColor)) && s.background)
    Put(ctx, carrier, Css().background, FormatRgb(s.backgroundColor));
}

void WriteCssParagraph(Context& ctx, TagNode* paragraph, const FontState& s) {
  const Computed* c = s.css;
  if (!c) return;
  if (s.cssSet & Bit(css::kTextAlign)) {
    static constexpr const char* kAligns[] = {"start", "left", "right", "center", "justify", "end"};
    Put(ctx, paragraph, Css().textAlign, kAligns[static_cast<int>(c->textAlign)]);
  }
  if ((s.cssSet & Bit(css::kTextIndent)) && c->textIndent != 0)
    Put(ctx, paragraph, Css().textIndent, FormatPoints(c->textIndent));
  if (s.cssSet & Bit(css::kWhiteSpace)) {
    const css::WhiteSpace w = c->whiteSpace;
    const bool keepBreaks = w == css::WhiteSpace::Pre || w == css::WhiteSpace::PreWrap || w == css::WhiteSpace::PreLine;
    const bool keepSpaces = w == css::WhiteSpace::Pre || w == css::WhiteSpace::PreWrap;
    if (keepBreaks) Put(ctx, paragraph, Css().linefeed, "preserve");
    if (keepSpaces) {
      Put(ctx, paragraph, Css().whiteSpace, "preserve");
      Put(ctx, paragraph, Css().collapse, "false");
    }
    if (w == css::WhiteSpace::Pre || w == css::WhiteSpace::Nowrap) Put(ctx, paragraph, Css().wrap, "no-wrap");
  }
}

}  // namespace ps
