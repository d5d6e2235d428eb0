#include "transform/paragraphs.h"

#include <deque>
#include <memory_resource>
#include <string>
#include <vector>

#include "model/handlers.h"
#include "model/tables.h"
#include "style/computed.h"
#include "transform/names.h"
#include "transform/share_children.h"
#include "transform/stack_arena.h"
#include "transform/styled.h"

namespace ps {

namespace {

bool IsLayoutWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Holds a character other than blank, tab, line feed and carriage return.
bool HasContent(const Text& t) {
  for (char c : t.view())
    if (!IsLayoutWhite(c)) return true;
  return false;
}

// Exists and holds nothing but blank, tab, line feed and carriage return.
bool IsWhite(const Text& t) { return t.has() && !HasContent(t); }

// Absent, empty, or only C-locale white space (which adds vertical tab and
// form feed to the layout white space).
bool IsBlank(const Text& t) {
  for (char c : t.view())
    if (!IsLayoutWhite(c) && c != '\v' && c != '\f') return false;
  return true;
}

bool IsRow(const TagNode* n, const char* name) { return EqualsNoCase(n->def->name, name); }

void SpreadOn(Context& ctx, TagNode* node, const PropertyName& name, const Text& value) {
  SpreadProperty(ctx, node, name, value, 0, false);
}

// Reads the font properties of the node itself in one walk of its list: the
// first property of each name counts, and one without a value clears its field.
void ReadFonts(const TagNode* n, FontState& s) {
  struct Field {
    const PropertyName& name;
    const Text*& value;
    bool read;
  };
  Field fields[] = {{Names().face, s.face, false},
                    {Names().styleSize, s.size, false},
                    {Names().styleColor, s.color, false},
                    {Names().lineHeight, s.lineHeight, false}};
  for (const TagProperty* p = n->props; p; p = p->next) {
    for (Field& f : fields) {
      if (f.read || !HasName(p, f.name)) continue;
      f.value = p->value.has() ? &p->value : nullptr;
      f.read = true;
    }
  }
}

// Whether a paragraph can be kept on one page: no block-level element inside,
// at most 20 line breaks and 2,000 bytes of text. Keeping a longer one
// together makes FOP draw it past the bottom of the page.
bool FitsOnOnePage(const TagNode* paragraph) {
  constexpr std::size_t kMaxBytes = 2000;
  constexpr int kMaxBreaks = 20;
  std::size_t bytes = paragraph->text.size();
  int breaks = 0;
  std::vector<const TagNode*> chains;
  if (paragraph->firstChild) chains.push_back(paragraph->firstChild);
  while (!chains.empty() && bytes <= kMaxBytes) {
    const TagNode* n = chains.back();
    chains.pop_back();
    for (; n; n = n->next) {
      if (Names().blockTags.Has(n) && !Names().inlineTags.Has(n)) return false;
      if (IsRow(n, "BR") && ++breaks > kMaxBreaks) return false;
      bytes += n->text.size() + n->tail.size();
      if (bytes > kMaxBytes) return false;
      if (n->firstChild) chains.push_back(n->firstChild);
    }
  }
  return bytes <= kMaxBytes;
}

// Whether the node sets a font attribute that the state lacks.
bool ChangesFont(const Context& ctx, const TagNode* n, const FontState& s) {
  if (ctx.styles && CssChangesFont(ctx, n)) return true;
  if (!Names().fontTags.Has(n))
    return (!s.bold && Names().boldTags.Has(n)) || (!s.italic && Names().italicTags.Has(n)) ||
           (!s.underline && Names().underlineTags.Has(n)) || (!s.lineThrough && Names().lineThroughTags.Has(n));
  FontState t = s;
  ReadFonts(n, t);
  return t.face != s.face || t.size != s.size || t.color != s.color;
}

// Whether the carrier holds text that is not the node's: in or between the
// elements on the way up, or beside them.
bool HoldsOtherText(const TagNode* carrier, const TagNode* node) {
  for (const TagNode* n = node; n != carrier; n = n->parent) {
    const TagNode* up = n->parent;
    if (!up || HasContent(n->tail) || HasContent(up->text) || up->firstChild != n || n->next) return up != nullptr;
  }
  return false;
}

std::string_view DecorationOf(const FontState& s) {
  if (!s.lineThrough) return "underline";
  return s.underline ? "underline line-through" : "line-through";
}

TagNode* Visit(Context& ctx, int depth, TagNode* node, TagNode* prev, FontState s);

// The children of a node outside any paragraph and carrier, shared out
// between this thread and a helper: the step changes nothing at such a
// node's level (no child is wrapped, nothing is put between them), and below
// each child it changes only that child's subtree.
// (From `first` on, `before` the sibling before it: a table body's rows
// left when the other side ran out of work after the body began.)
void VisitChildrenOnTwoThreads(Context& ctx, int depth, TagNode* first, TagNode* before, const FontState& s) {
  FontState mine = s;
  mine.split = nullptr;
  KeptTexts kept;  // the helper's texts
  FontState theirs = mine;
  if (theirs.texts) theirs.texts = &kept;
  std::vector<TagNode*> kids;
  for (TagNode* c = first; c; c = c->next) kids.push_back(c);
  // A child's previous sibling is read only where a child is wrapped, which
  // does not happen here; it is given all the same.
  ShareChildren(ctx, kids.size(), [&](Context& c, std::size_t k, bool helper) {
    Visit(c, depth + 1, kids[k], k ? kids[k - 1] : before, helper ? theirs : mine);
  });
}

// The font step at one node; prev is the node's previous sibling (or none).
TagNode* Visit(Context& ctx, int depth, TagNode* node, TagNode* prev, FontState s) {
  if (!node) return nullptr;
  if (ctx.tracing()) ctx.dbg().printf("%*s%s\n", 4 * depth, "", node->def->name);

  if (Names().paragraphTags.Has(node)) {
    // A keep of strength 1 rather than "always": FOP still keeps the block on
    // one page when it can, and breaks it where it cannot (a narrow table
    // cell can make even a short paragraph taller than a page).
    if (FitsOnOnePage(node)) SetProperty(ctx, node, Names().keepTogether, "1");
    SetProperty(ctx, node, Names().spaceAfter, "1.5pt");
    SetProperty(ctx, node, Names().spaceBefore, "1.5pt");
    s.paragraph = node;
    s.carrier = IsSimpleContent(0, node) ? node : nullptr;
  } else if (Names().blockFbTags.Has(node)) {
    s.paragraph = nullptr;
    s.carrier = nullptr;
  } else if (node->def == Names().inlineTag && AdmitsChild(node->parent, Names().inlineTag) &&
             IsSimpleContent(0, node)) {
    s.carrier = node;
  } else if (!s.paragraph || s.carrier) {
    // Outside a paragraph, or its fonts already have a carrier. But a carrier
    // that holds more text than the node's must not take the node's fonts:
    // one bold word would make the whole paragraph bold.
    if (s.carrier && node->def->contentKind != 2 && ChangesFont(ctx, node, s) && HoldsOtherText(s.carrier, node)) {
      if (TagNode* w = WrapNodeAfter(prev, node, Names().inlineTag)) {
        s.carrier = w;
        node = w;
      }
    }
  } else if (node->def->contentKind == 2) {
    s.carrier = nullptr;
  } else if (IsSimpleContent(0, node)) {
    // The previous sibling is known here: searching the parent's chain for
    // every wrapped child would make long paragraphs quadratic.
    TagNode* w = WrapNodeAfter(prev, node, Names().inlineTag);
    s.carrier = w;
    if (w) node = w;
  } else {
    if (!IsBlank(node->text)) InsertFirstChildWithText(node, Names().inlineTag);
    s.carrier = nullptr;
  }

  if (!Names().fontTags.Has(node)) {
    if (Names().boldTags.Has(node)) s.bold = true;
    if (Names().italicTags.Has(node)) s.italic = true;
    if (Names().underlineTags.Has(node)) s.underline = true;
    if (Names().lineThroughTags.Has(node)) s.lineThrough = true;
  } else {
    // A heading's size (SizeHeading) is also the size of the carriers inside it.
    if (Names().paragraphTags.Has(node))
      if (const TagProperty* own = FindProperty(node, Names().size); own && own->value.has()) s.size = &own->value;
    ReadFonts(node, s);
  }
  if (ctx.styles) {
    ApplyCssFonts(ctx, node, s);
    // The carrier holds no text but the node's (else the node has a carrier
    // of its own): what the sheets declare for the node wins there too.
    if (s.carrier && s.carrier != node && CssChangesFont(ctx, node)) OverrideTagFonts(s.carrier, node, s);
  }

  const bool wrapLoose = s.paragraph && !s.carrier;
  if (wrapLoose && !IsBlank(node->text)) InsertFirstChildWithText(node, Names().inlineTag);

  TagNode* before = nullptr;
  TagNode* first = node->firstChild;
  if ((node == s.split || MayShareRows(ctx, node)) && !s.paragraph && !s.carrier && node->firstChild &&
      node->firstChild->next) {
    VisitChildrenOnTwoThreads(ctx, depth, node->firstChild, nullptr, s);
    first = nullptr;
  }
  for (TagNode* c = first; c;) {
    if (before && !s.paragraph && !s.carrier && MayShareRowsFrom(ctx, node, c)) {
      VisitChildrenOnTwoThreads(ctx, depth, c, before, s);
      break;
    }
    TagNode* r = Visit(ctx, depth + 1, c, before, s);
    if (wrapLoose && !IsBlank(r->tail)) {
      if (TagNode* x = InsertAfter(r, Names().inlineTag)) x->text.take(r->tail);
    }
    before = r;
    c = r->next;
  }

  static const Text kDefaultSize("10pt"), kDefaultLineHeight("12pt");
  if (s.carrier && !s.cssSet) {
    if (s.face) SpreadOn(ctx, s.carrier, Names().face, *s.face);
    SpreadOn(ctx, s.carrier, Names().size, s.size ? *s.size : kDefaultSize);
    if (s.color) SpreadOn(ctx, s.carrier, Names().color, *s.color);
    if (s.bold) SpreadOn(ctx, s.carrier, Names().weight, Text("bold"));
    if (s.underline || s.lineThrough)
      SpreadOn(ctx, s.carrier, Names().decoration, Text(DecorationOf(s)));
    if (s.italic) SpreadOn(ctx, s.carrier, Names().style, Text("italic"));
  } else if (s.carrier) {
    // With the sheets' values: what they take back from an ancestor's
    // carrier (normal weight, no line) is written too.
    if (s.face) SpreadOn(ctx, s.carrier, Names().face, *s.face);
    SpreadOn(ctx, s.carrier, Names().size, s.size ? *s.size : kDefaultSize);
    if (s.color) SpreadOn(ctx, s.carrier, Names().color, *s.color);
    static const Text kBold("bold"), kNormal("normal"), kItalic("italic"), kNone("none");
    if (s.bold || (s.cssSet & css::Bit(css::kFontWeight)))
      SpreadOn(ctx, s.carrier, Names().weight, s.bold ? kBold : kNormal);
    if (s.underline || s.lineThrough)
      SpreadOn(ctx, s.carrier, Names().decoration, Text(DecorationOf(s)));
    else if (s.cssSet & css::Bit(css::kTextDecoration))
      SpreadOn(ctx, s.carrier, Names().decoration, kNone);
    if (s.italic || (s.cssSet & css::Bit(css::kFontStyle)))
      SpreadOn(ctx, s.carrier, Names().style, s.italic ? kItalic : kNormal);
    WriteCssFonts(ctx, s.carrier, s);
  }
  if (s.paragraph) {
    SpreadOn(ctx, s.paragraph, Names().lineHeight, s.lineHeight ? *s.lineHeight : kDefaultLineHeight);
    if (s.paragraph == node && s.css) WriteCssParagraph(ctx, node, s);
  }

  if (ctx.tracing()) ctx.dbg().printf("%*s/%s\n", 4 * depth, "", node->def->name);
  return node;
}

}  // namespace

namespace {

// Wraps the node's content in one paragraph when it holds text or inline
// content directly; true asks the calling level to treat the node as inline
// content. Blocks below the node are not looked into.
bool WrapMixedContent(Context& ctx, int depth, TagNode* node) {
  if (!node || (depth > 0 && Names().blockTags.Has(node))) return false;
  bool mixed = HasContent(node->text);
  for (TagNode* c = node->firstChild; c; c = c->next) {
    if (!Names().blockTags.Has(c) && Names().inlineTags.Has(c))
      mixed = true;
    else if (!mixed)
      mixed = WrapMixedContent(ctx, depth + 1, c);
    if (HasContent(c->tail)) mixed = true;
  }
  if (!mixed) return false;
  if (depth > 0 && !node->def->outputName) return true;
  WrapChildren(node, Names().paragraphTag);
  return false;
}

}  // namespace

bool InsertParagraphs(Context& ctx, int depth, TagNode* node) {
  if (!node || Names().blockTags.Has(node)) return false;
  if (WrapMixedContent(ctx, depth, node)) return true;
  // Below a container whose content needs no paragraph of its own, the block
  // containers (DIV, BLOCKQUOTE, sections) that hold loose text get theirs,
  // as the container would. Paragraphs, tables and lists are left alone: a
  // cell or an item gets its paragraphs when its table or list is built.
  // Kept on the stack while it is short: every table cell passes here.
  StackArena<512> arena;
  std::pmr::vector<TagNode*> pending(&arena);
  for (TagNode* c = node->firstChild; c; c = c->next) pending.push_back(c);
  while (!pending.empty()) {
    TagNode* n = pending.back();
    pending.pop_back();
    if (Names().paragraphTags.Has(n)) continue;
    if (Names().textBlockTags.Has(n)) {
      if (!n->firstChild && !HasContent(n->text)) continue;
      WrapMixedContent(ctx, 0, n);
    } else if (Names().blockTags.Has(n)) {
      continue;
    }
    for (TagNode* c = n->firstChild; c; c = c->next) pending.push_back(c);
  }
  return false;
}

// Only the first-child chain is followed. Walked as a loop: a node with one
// uncounted term is simple exactly when its first child is, so the recursion
// of the definition is only needed along that chain.
bool IsSimpleContent(int depth, const TagNode* node) {
  for (; node; ++depth) {
    int count = 0;
    if (IsWhite(node->text)) ++count;
    if (node->firstChild) ++count;
    if (node->firstChild && node->firstChild->next) ++count;
    if (depth >= 2 && IsWhite(node->tail)) ++count;
    if (count >= 2) return false;
    if (!node->firstChild) return true;
    // count is 1 and comes from the first child: its answer decides.
    node = node->firstChild;
  }
  return true;
}

TagNode* PropagateFonts(Context& ctx, int depth, TagNode* node, FontState state) {
  KeptTexts texts;
  if (ctx.styles && !state.texts) state.texts = &texts;
  return Visit(ctx, depth, node, node ? PreviousSibling(node) : nullptr, state);
}

bool SizeHeading(Context& ctx, TagNode* node) {
  const std::string_view name = node->def->name;
  int number = 0;
  std::size_t i = 1;
  const bool letter = !name.empty() && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  for (; letter && i < name.size() && name[i] >= '0' && name[i] <= '9' && number < 1000; ++i)
    number = number * 10 + (name[i] - '0');
  if (!letter || i == 1 || number < 1 || number > 6) {
    ctx.dbg().write("No FontSize for Heading!\n");
    return false;
  }
  const HeadingStyle& style = kHeadingStyles[number - 1];
  TagProperty* size = SetProperty(ctx, node, Names().size, std::to_string(style.size) + "pt");
  ctx.dbg().printf("Heading %i FontSize %s\n", number, size ? size->value.or_empty() : "");
  TagProperty* line = SetProperty(ctx, node, Names().lineHeight, std::to_string(2 * style.size) + "pt");
  ctx.dbg().printf("           LineHeight %s\n", line ? line->value.or_empty() : "");
  if (style.bold) {
    SetProperty(ctx, node, Names().weight, "bold");
    ctx.dbg().write("           Bold\n");
  }
  return true;
}

}  // namespace ps
