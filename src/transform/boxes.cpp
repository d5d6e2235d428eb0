#include "transform/boxes.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "style/computed.h"
#include "transform/lists.h"
#include "transform/names.h"
#include "transform/share_children.h"
#include "transform/styled.h"
#include "transform/widths.h"

namespace ps {

using css::Bit;
using css::Computed;

namespace {

struct BoxNames {
  PropertyName spaceBefore{"XML-BOX-SPACE-BEFORE"};
  PropertyName spaceAfter{"XML-BOX-SPACE-AFTER"};
  PropertyName marginLeft{"XML-BOX-MARGIN-LEFT"};
  PropertyName marginRight{"XML-BOX-MARGIN-RIGHT"};
  PropertyName padding[4] = {PropertyName("XML-BOX-PADDING-TOP"), PropertyName("XML-BOX-PADDING-RIGHT"),
                             PropertyName("XML-BOX-PADDING-BOTTOM"), PropertyName("XML-BOX-PADDING-LEFT")};
  PropertyName borderWidth[4] = {PropertyName("XML-BOX-BORDER-TOP-WIDTH"), PropertyName("XML-BOX-BORDER-RIGHT-WIDTH"),
                                 PropertyName("XML-BOX-BORDER-BOTTOM-WIDTH"), PropertyName("XML-BOX-BORDER-LEFT-WIDTH")};
  PropertyName borderStyle[4] = {PropertyName("XML-BOX-BORDER-TOP-STYLE"), PropertyName("XML-BOX-BORDER-RIGHT-STYLE"),
                                 PropertyName("XML-BOX-BORDER-BOTTOM-STYLE"), PropertyName("XML-BOX-BORDER-LEFT-STYLE")};
  PropertyName borderColor[4] = {PropertyName("XML-BOX-BORDER-TOP-COLOR"), PropertyName("XML-BOX-BORDER-RIGHT-COLOR"),
                                 PropertyName("XML-BOX-BORDER-BOTTOM-COLOR"), PropertyName("XML-BOX-BORDER-LEFT-COLOR")};
  PropertyName background{"XML-CSS-BACKGROUND-COLOR"};
  PropertyName textAlign{"XML-CSS-TEXT-ALIGN"};
  PropertyName textIndent{"XML-CSS-TEXT-INDENT"};
  PropertyName breakBefore{"XML-BOX-BREAK-BEFORE"};
  PropertyName breakAfter{"XML-BOX-BREAK-AFTER"};
  PropertyName keepWithPrevious{"XML-BOX-KEEP-WITH-PREVIOUS"};
  PropertyName keepWithNext{"XML-BOX-KEEP-WITH-NEXT"};
  PropertyName keepTogether{"XML-BOX-KEEP-TOGETHER"};
  PropertyName orphans{"XML-BOX-ORPHANS"};
  PropertyName widows{"XML-BOX-WIDOWS"};
  PropertyName leaderLength{"XML-BOX-LEADER-LENGTH"};
  PropertyName ruleThickness{"XML-rule-thickness"};
  PropertyName color{"XML-BOX-COLOR"};
  PropertyName lineHeight{"XML-BOX-LINE-HEIGHT"};
  PropertyName endIndent{"XML-BOX-END-INDENT"};
  PropertyName labelDistance{"XML-provisional-distance-between-starts"};
  PropertyName imageWidth{"XML-IMAGE-CONTENT-WIDTH"};
  PropertyName imageMaxWidth{"XML-IMAGE-MAX-WIDTH"};
  PropertyName htmlWidth{"WIDTH"};
  PropertyName type{"TYPE"};
  PropertyName start{"START"};
  PropertyName value{"VALUE"};
  const TagDef* div = FindTagDef(nullptr, "DIV");
  const TagDef* item = FindTagDef(nullptr, "LI");
  const TagDef* looseItem = FindTagDef(nullptr, "XML-LOOSE-ITEM");
  const TagDef* label = FindTagDef(nullptr, "XML-LIST-ITEM-LABEL");
  const TagDef* body = FindTagDef(nullptr, "XML-LIST-ITEM-BODY");
};

const BoxNames& Box() {
  static const BoxNames names;
  return names;
}

constexpr double kPointsPerCm = 72 / 2.54;

bool IsTag(const TagNode* n, const char* name) { return EqualsNoCase(n->def->name, name); }

std::string_view OutputOf(const TagNode* n) { return n->def->outputName ? n->def->outputName : std::string_view(); }

const Computed* Own(const Context& ctx, const TagNode* n) { return ctx.styles->Find(n); }

bool Has(const Computed& c, css::Prop p) { return (c.set & Bit(p)) != 0; }

// The block that an element without a block of its own prints in: the DIV
// that made it a block, through the paragraph and inline wrappers the
// transformation put around it alone.
TagNode* Wrapper(const Context& ctx, TagNode* n) {
  // The wrapper stands a few levels up at most: a paragraph and carriers.
  constexpr int kMaxLevels = 8;
  TagNode* found = nullptr;
  TagNode* up = n;
  for (int level = 0; level < kMaxLevels && up->parent && up->parent->firstChild == up && !up->next; ++level) {
    TagNode* w = up->parent;
    if (Own(ctx, w)) break;
    if (w->def == Box().div) return w;
    if (w->def == Names().paragraphTag) found = found ? found : w;
    else if (w->def != Names().inlineTag) break;
    up = w;
  }
  return found;
}

// Where an element's box is written: its own block, list or item, the
// wrapper that made it a block; none for inline elements and table parts,
// which keep what the table gives them.
TagNode* Target(const Context& ctx, TagNode* n) {
  const std::string_view out = OutputOf(n);
  if (IsTag(n, "HR")) return Wrapper(ctx, n);
  if (out == "fo:block" || out == "fo:list-block" || out == "fo:list-item" || out == "fo:table") return n;
  if (out.empty()) return Wrapper(ctx, n);
  return nullptr;
}

// A value over the one the node writes under the same attribute, if any,
// so that the attribute keeps its place; else a property of its own.
void Set(Context& ctx, TagNode* on, const PropertyName& name, std::string_view value) {
  const PropertyDef* def = FindPropertyDefForTag(name.name, on->def);
  if (def && def->outputName)
    for (TagProperty* p = on->props; p; p = p->next)
      if (p->def->outputName && std::string_view(p->def->outputName) == def->outputName) {
        p->value.assign(value);
        return;
      }
  SetProperty(ctx, on, name, value);
}

// A side margin: FO's own zero needs writing only over another value.
void SetMargin(Context& ctx, TagNode* on, const PropertyName& name, double pt) {
  const PropertyDef* def = FindPropertyDefForTag(name.name, on->def);
  bool over = false;
  for (const TagProperty* p = on->props; p && def && def->outputName && !over; p = p->next)
    over = p->def->outputName && std::string_view(p->def->outputName) == def->outputName;
  if (pt != 0 || over) Set(ctx, on, name, FormatPoints(pt));
}

std::uint32_t BorderColor(const Computed& c, int side) {
  return c.borderColor[side] == css::kCurrentColor ? c.color : c.borderColor[side];
}

// The width a border takes: none where it is not drawn.
double BorderWidth(const Computed& c, int side) {
  const css::BorderStyle s = c.borderStyle[side];
  return s == css::BorderStyle::None || s == css::BorderStyle::Hidden ? 0 : c.borderWidth[side];
}

constexpr css::PropSet kBorderProps =
    Bit(css::kBorderTopWidth) | Bit(css::kBorderRightWidth) | Bit(css::kBorderBottomWidth) |
    Bit(css::kBorderLeftWidth) | Bit(css::kBorderTopStyle) | Bit(css::kBorderRightStyle) |
    Bit(css::kBorderBottomStyle) | Bit(css::kBorderLeftStyle) | Bit(css::kBorderTopColor) |
    Bit(css::kBorderRightColor) | Bit(css::kBorderBottomColor) | Bit(css::kBorderLeftColor);

bool IsBlankText(const Text& t) {
  for (char ch : t.view())
    if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '\r') return false;
  return true;
}

// A block with a box in an inline that holds nothing else: FOP draws its
// padding and borders around each of its lines there and drops its spaces,
// so the inline (which carries the fonts) becomes a block, which prints the
// same otherwise. Its background is the block's own, within the margins.
void BlockCarrier(TagNode* t) {
  TagNode* up = t->parent;
  if (!up || up->def != Names().inlineTag || up->firstChild != t || t->next || !IsBlankText(up->text) ||
      !IsBlankText(t->tail))
    return;
  up->def = Box().div;
  if (TagProperty* bg = FindProperty(up, Box().background); bg && FindProperty(t, Box().background)) {
    UnlinkProperty(up, bg);
    FreeProperty(bg);
  }
}

void WriteBorders(Context& ctx, TagNode* t, const Computed& c) {
  static constexpr const char* kStyles[] = {"none",   "hidden", "solid", "dashed", "dotted",
                                            "double", "groove", "ridge", "inset",  "outset"};
  if (!(c.set & kBorderProps)) return;
  for (int side = 0; side < 4; ++side) {
    const double w = BorderWidth(c, side);
    if (w <= 0) continue;
    Set(ctx, t, Box().borderStyle[side], kStyles[static_cast<int>(c.borderStyle[side])]);
    Set(ctx, t, Box().borderWidth[side], FormatPoints(w));
    Set(ctx, t, Box().borderColor[side], FormatRgb(BorderColor(c, side)));
  }
}

// The first block below (or at) `t` that holds the start of its text.
TagNode* FirstTextBlock(TagNode* t) {
  TagNode* n = t;
  for (int depth = 0; depth < 64 && n->text.empty() && n->firstChild; ++depth) {
    TagNode* c = n->firstChild;
    const std::string_view out = OutputOf(c);
    if (out != "fo:block" && c->def != Box().body && c->def != Names().paragraphTag) break;
    n = c;
  }
  return n;
}

// Puts a marker before the text of a block, as a marker inside the box prints.
void PrependMarker(TagNode* t, const std::string& marker) {
  if (marker.empty()) return;
  TagNode* b = FirstTextBlock(t);
  b->text.replace(0, 0, marker + " ");
}

double Number(std::string_view s) {
  return std::strtod(std::string(s).c_str(), nullptr);
}

// The labels of a list's items, from the list style of each; `near` is
// what the list inherits or has (the nearest element's values).
void LabelItems(Context& ctx, TagNode* list, const Computed* own, const Computed* near) {
  std::int64_t n = 1;
  if (const TagProperty* start = FindProperty(list, Box().start))
    n = ParseListNumber(start->value.view()).value_or(n);
  const bool listType = FindProperty(list, Box().type) != nullptr;
  bool padded = own && Has(*own, css::kPaddingLeft);
  for (TagNode* item = list->firstChild; item; item = item->next) {
    if (item->def != Box().item) continue;
    if (const TagProperty* v = FindProperty(item, Box().value)) n = ParseListNumber(v->value.view()).value_or(n);
    const std::int64_t number = n;
    n = std::min(n + 1, kListNumberLimit);
    const Computed* ic = Own(ctx, item) ? Own(ctx, item) : near;
    TagNode* label = item->firstChild && item->firstChild->def == Box().label ? item->firstChild : nullptr;
    TagNode* labelBlock = label ? label->firstChild : nullptr;
    if (!ic || !labelBlock) continue;
    const Computed* mine = Own(ctx, item);
    const bool noMarker = mine && (mine->declared & Bit(css::kDisplay)) && mine->display != css::Display::ListItem;
    if (!noMarker && !Has(*ic, css::kListStyleType)) continue;
    std::string marker;
    if (!noMarker) {
      // The list's TYPE attribute outweighs the print sheet's numbering;
      // only a sheet's `none` takes its labels away.
      const bool numbered = ic->listStyle != css::ListStyle::None && ic->listStyle >= css::ListStyle::Decimal;
      if (numbered && (listType || FindProperty(item, Box().type))) marker = std::string(labelBlock->text.view());
      else marker = MarkerText(ic->listStyle, number);
    }
    if (padded) {
      // The marker ends where the item's text begins, as a browser puts it.
      Set(ctx, label, Box().endIndent, "label-end()");
      Set(ctx, labelBlock, Box().textAlign, "end");
    }
    if (ic->listInside && !marker.empty()) {
      labelBlock->text.assign("");
      if (TagNode* body = label->next; body && body->def == Box().body) PrependMarker(body, marker);
    } else {
      labelBlock->text.assign(marker);
    }
  }
}

// The space the element's content has: the space of its container less
// its margins, borders and padding.
double Inner(const Computed& c, double avail) {
  double used = 0;
  for (int side : {1, 3}) used += c.margin[side] + c.padding[side] + BorderWidth(c, side);
  return std::max(0.0, avail - used);
}

// The width of a box: what width and max-width leave of the space, given
// to the end margin (or both with auto margins), as it is in a browser.
double ExtraEndSpace(const Computed& c, double avail, double& extraStart) {
  extraStart = 0;
  const double inner = Inner(c, avail);
  double want = inner;
  if (Has(c, css::kWidth) && (c.width >= 0 || c.widthPercent >= 0))
    want = c.widthPercent >= 0 ? avail * c.widthPercent / 100 : c.width;
  if (Has(c, css::kMaxWidth) && (c.maxWidth >= 0 || c.maxWidthPercent >= 0))
    want = std::min(want, c.maxWidthPercent >= 0 ? avail * c.maxWidthPercent / 100 : c.maxWidth);
  const double extra = inner - want;
  if (extra <= 0.5) return 0;
  const bool autoLeft = (c.marginAuto & 8) != 0, autoRight = (c.marginAuto & 2) != 0;
  if (autoLeft && autoRight) {
    extraStart = extra / 2;
    return extra / 2;
  }
  if (autoLeft) {
    extraStart = extra;
    return 0;
  }
  return extra;
}

void WriteImage(Context& ctx, TagNode* img, const Computed& c, double avail) {
  if (Has(c, css::kWidth) && (c.width >= 0 || c.widthPercent >= 0)) {
    const double w = std::min(avail, c.widthPercent >= 0 ? avail * c.widthPercent / 100 : c.width);
    Set(ctx, img, Box().imageWidth, FormatPoints(w));
    if (TagProperty* given = FindProperty(img, Box().htmlWidth)) given->value.assign(FormatPoints(w));
  }
  if (Has(c, css::kMaxWidth) && (c.maxWidth >= 0 || c.maxWidthPercent >= 0)) {
    // Never wider than the space, which the default maximum of 100% keeps.
    const double m = c.maxWidthPercent >= 0 ? avail * std::min(100.0, double(c.maxWidthPercent)) / 100
                                            : std::min(avail, double(c.maxWidth));
    Set(ctx, img, Box().imageMaxWidth, FormatPoints(m));
  }
}

// A rule across the column: the leader as wide as its line, as thick as
// the rule's border, in its colour, on a line no higher than that.
void WriteRule(Context& ctx, TagNode* hr, const Computed& c) {
  if (c.display != css::Display::Block) return;
  Set(ctx, hr, Box().leaderLength, "100%");
  const double thick = std::max(BorderWidth(c, 0), BorderWidth(c, 2));
  if (c.set & kBorderProps) {
    Set(ctx, hr, Box().ruleThickness, FormatPoints(thick > 0 ? thick : 0));
    Set(ctx, hr, Box().color, FormatRgb(BorderColor(c, BorderWidth(c, 0) > 0 ? 0 : 2)));
  }
  if (hr->parent && hr->parent->def == Names().paragraphTag && hr->parent->firstChild == hr && !hr->next) {
    Set(ctx, hr->parent, Box().lineHeight, FormatPoints(std::max(thick, 0.75)));
    Set(ctx, hr->parent, Box().spaceBefore, "0pt");
    Set(ctx, hr->parent, Box().spaceAfter, "0pt");
  }
}

// Writes the element's box on its target; returns the space its content has.
double WriteBox(Context& ctx, TagNode* n, TagNode* t, const Computed& c, double avail) {
  const bool table = OutputOf(t) == "fo:table";
  if (Has(c, css::kMarginTop)) Set(ctx, t, Box().spaceBefore, FormatPoints(c.margin[0]));
  if (Has(c, css::kMarginBottom)) Set(ctx, t, Box().spaceAfter, FormatPoints(c.margin[2]));
  // A table's side margins would reach its cells' content as indents.
  if (table) return avail;
  double extraStart = 0;
  const double extraEnd = ExtraEndSpace(c, avail, extraStart);
  if (Has(c, css::kMarginLeft) || extraStart > 0) SetMargin(ctx, t, Box().marginLeft, c.margin[3] + extraStart);
  if (Has(c, css::kMarginRight) || extraEnd > 0) SetMargin(ctx, t, Box().marginRight, c.margin[1] + extraEnd);
  const bool list = OutputOf(t) == "fo:list-block";
  for (int side = 0; side < 4; ++side) {
    if (!Has(c, static_cast<css::Prop>(css::kPaddingTop + side))) continue;
    if (list && side == 3) {
      // A list's start padding holds its labels: the distance to the items' text.
      // Labels the converter found wide (over its 14pt) keep their room.
      double distance = c.padding[3];
      if (const TagProperty* d = FindProperty(t, Box().labelDistance); d && Number(d->value.view()) > 14)
        distance = std::max(distance, Number(d->value.view()));
      Set(ctx, t, Box().labelDistance, FormatPoints(distance));
      continue;
    }
    Set(ctx, t, Box().padding[side], FormatPoints(c.padding[side]));
  }
  if (!IsTag(n, "HR")) WriteBorders(ctx, t, c);  // a rule's borders are its leader
  if (c.set & ~css::kTextProps) BlockCarrier(t);
  if ((c.declared & Bit(css::kBackgroundColor)) && c.background) Set(ctx, t, Box().background, FormatRgb(c.backgroundColor));
  if (Has(c, css::kBreakBefore)) {
    static constexpr const char* kBreaks[] = {nullptr, nullptr, "page", "even-page", "odd-page"};
    if (c.breakBefore == css::Break::Avoid) Set(ctx, t, Box().keepWithPrevious, "always");
    else if (const char* b = kBreaks[static_cast<int>(c.breakBefore)]) Set(ctx, t, Box().breakBefore, b);
  }
  if (Has(c, css::kBreakAfter)) {
    static constexpr const char* kBreaks[] = {nullptr, nullptr, "page", "even-page", "odd-page"};
    if (c.breakAfter == css::Break::Avoid) Set(ctx, t, Box().keepWithNext, "always");
    else if (const char* b = kBreaks[static_cast<int>(c.breakAfter)]) Set(ctx, t, Box().breakAfter, b);
  }
  // Strength 1 rather than always: FOP still breaks a box taller than the page.
  if (Has(c, css::kBreakInside) && c.avoidBreakInside) Set(ctx, t, Box().keepTogether, "1");
  if (c.declared & Bit(css::kOrphans)) Set(ctx, t, Box().orphans, std::to_string(c.orphans));
  if (c.declared & Bit(css::kWidows)) Set(ctx, t, Box().widows, std::to_string(c.widows));
  if (t != n) {
    // The wrapper is the element's block: what it aligns, it aligns there.
    static constexpr const char* kAligns[] = {"start", "left", "right", "center", "justify", "end"};
    if (Has(c, css::kTextAlign)) Set(ctx, t, Box().textAlign, kAligns[static_cast<int>(c.textAlign)]);
    if ((c.declared & Bit(css::kTextIndent)) && c.textIndent != 0)
      Set(ctx, t, Box().textIndent, FormatPoints(c.textIndent));
  }
  return std::max(0.0, Inner(c, avail) - extraStart - extraEnd);
}

}  // namespace

std::string MarkerText(css::ListStyle style, std::int64_t n) {
  using css::ListStyle;
  switch (style) {
    case ListStyle::None: return "";
    case ListStyle::Disc: return "&#8226;";
    case ListStyle::Circle: return "&#9702;";
    case ListStyle::Square: return "&#9642;";
    case ListStyle::DecimalLeadingZero:
      return n >= 0 && n < 10 ? "0" + ListLabel(n, "1") : ListLabel(n, "1");
    case ListStyle::LowerAlpha: return ListLabel(n, "a");
    case ListStyle::UpperAlpha: return ListLabel(n, "A");
    case ListStyle::LowerRoman: return ListLabel(n, "i");
    case ListStyle::UpperRoman: return ListLabel(n, "I");
    case ListStyle::LowerGreek: {
      if (n < 1) return ListLabel(n, "1");
      // alpha to omega without the final sigma, counted as letters are.
      std::string s;
      for (std::int64_t k = n; k > 0; k = (k - 1) / 24) {
        int letter = 945 + static_cast<int>((k - 1) % 24);
        if (letter >= 962) ++letter;
        s.insert(0, "&#" + std::to_string(letter) + ";");
      }
      return s + ".";
    }
    case ListStyle::Decimal: break;
  }
  return ListLabel(n, "1");
}

namespace {

struct BoxTodo {
  TagNode* node;
  double avail;
  std::int64_t number;         // among the siblings shown as list items
  const Computed* inherited;  // the values of the nearest ancestor with any
  const Computed* own;        // the node's own, looked up once
};

// The boxes of a subtree, in document order; the children of `split` are
// shared out with a helper (each box is written on the node's own subtree).
void BoxesFrom(Context& ctx, const BoxTodo& root, const TagNode* split) {
  std::vector<BoxTodo> todo{root};
  while (!todo.empty()) {
    auto [n, avail, number, inherited, own] = todo.back();
    todo.pop_back();
    const Computed* near = own ? own : inherited;
    if (IsTag(n, "TD") || IsTag(n, "TH")) avail = ContentWidth(ctx, n) * kPointsPerCm;
    double inner = avail;
    if (const Computed* c = own) {
      if (IsTag(n, "IMG") || IsTag(n, "SVG")) {
        WriteImage(ctx, n, *c, avail);
      } else if (TagNode* t = Target(ctx, n)) {
        if (IsTag(n, "HR")) WriteRule(ctx, n, *c);
        inner = WriteBox(ctx, n, t, *c, avail);
        if (c->display == css::Display::ListItem && n->def != Box().item && n->def != Box().looseItem) {
          // An element shown as a list item: its marker inside its block.
          PrependMarker(t, MarkerText(c->listStyle, number));
        }
      }
    }
    if (OutputOf(n) == "fo:list-block") LabelItems(ctx, n, own, near);
    if (n->def == Box().looseItem) {
      // An item outside a list: the sheets' marker for the converter's dash.
      const Computed* ic = near;
      const bool shown = own && (own->declared & Bit(css::kDisplay)) && own->display == css::Display::ListItem;
      if (ic && (Has(*ic, css::kListStyleType) || shown) && n->text.view().substr(0, 2) == "- ")
        n->text.replace(0, 1, MarkerText(ic->listStyle, 1));
    }
    const std::size_t mark = todo.size();
    std::int64_t items = 0;
    for (TagNode* c = n->firstChild; c; c = c->next) {
      const Computed* cc = Own(ctx, c);
      if (cc && cc->display == css::Display::ListItem) ++items;
      todo.push_back({c, inner, items, near, cc});
    }
    if ((n == split || MayShareRows(ctx, n)) && todo.size() - mark >= 2) {
      // Next in document order either way: the children's subtrees.
      std::vector<BoxTodo> kids(todo.begin() + static_cast<std::ptrdiff_t>(mark), todo.end());
      todo.resize(mark);
      ShareChildren(ctx, kids.size(), [&kids](Context& c, std::size_t k, bool) { BoxesFrom(c, kids[k], nullptr); });
      continue;
    }
    std::reverse(todo.begin() + static_cast<std::ptrdiff_t>(mark), todo.end());
  }
}

}  // namespace

void ApplyBoxes(Context& ctx, TagNode* html, const TagNode* split) {
  if (!ctx.styles || !html) return;
  TagNode* bodyNode = nullptr;
  for (TagNode* c = html->firstChild; c && !bodyNode; c = c->next)
    for (TagNode* b = c; b && !bodyNode; b = b->firstChild)
      if (IsTag(b, "BODY")) bodyNode = b;
  const double bodyWidth = (bodyNode ? ContentWidth(ctx, bodyNode) : kDefaultContentWidth) * kPointsPerCm;
  BoxesFrom(ctx, {html, bodyWidth, 1, nullptr, Own(ctx, html)}, split);
}

}  // namespace ps
