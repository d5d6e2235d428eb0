#include "transform/pass.h"

#include <string>
#include <vector>

#include "model/handlers.h"
#include "model/tables.h"
#include "transform/share_children.h"

namespace ps {

void ReportConversionFailure(Context& ctx, const TagNode* node, const TagProperty* prop) {
  ctx.msg().printf("Property \"%s\" (Value \"%s\") within tag \"%s\" was not correct converted!\n",
                   prop->def->name, prop->value.or_empty(), node->raw.or_empty());
}

namespace {

// A default row with its property name looked up once.
struct DefaultRow {
  PropertyName property;
  const char* value;  // may be nullptr
};

std::vector<DefaultRow> DefaultRowsNamed(const char* name) {
  std::vector<DefaultRow> rows;
  for (const DefaultProperty& row : kDefaultProperties)
    if (EqualsNoCase(row.tag, name)) rows.push_back({PropertyName(row.property), row.value});
  return rows;
}

// The default rows of a tag of the tag table, in table order, by the tag's
// row. Every node asks, and those rows never change, so they are kept.
const std::vector<DefaultRow>& KnownDefaultRows(std::size_t row) {
  static const std::vector<std::vector<DefaultRow>> known = [] {
    std::vector<std::vector<DefaultRow>> rows;
    for (const TagDef& def : kTagDatabase) rows.push_back(DefaultRowsNamed(def.name));
    return rows;
  }();
  return known[row];
}

}  // namespace

void ApplyDefaultProperties(Context& ctx, TagNode* node) {
  const int tagRow = node->def.index();  // every node's row is in the tag table
  if (tagRow < 0) return;
  for (const DefaultRow& row : KnownDefaultRows(static_cast<std::size_t>(tagRow))) {
    if (row.value) {
      if (TagProperty* p = CreateProperty(ctx, node, row.property)) p->value.assign(row.value);
    } else {
      CreateProperty(ctx, node, row.property);
    }
  }
}

namespace {

// Everything the pass does at a node before walking its children.
void Enter(Context& ctx, TagNode* node) {
  const bool debug = ctx.debugLevel != 0;
  if (debug) ctx.dbg().printf("<%s>\n", node->raw.or_empty());
  TagProperty* arrived = node->props;
  // The input position is listed as the property it stands for.
  if (debug && node->hasPosition())
    ctx.dbg().printf("\"html-filepos\" : \"%llu\"@%8p\n", static_cast<unsigned long long>(node->position()),
                     static_cast<const void*>(node->position_));
  if (node->def->enterHandler) node->def->enterHandler(ctx, node);
  ApplyDefaultProperties(ctx, node);
  for (TagProperty* p = arrived; p; p = p->next) {
    if (debug)
      ctx.dbg().printf("\"%s\" : \"%s\"@%8p\n", p->def->name, p->value.or_empty(),
                       static_cast<const void*>(p->value.c_str()));
    if (!p->def->converter) continue;
    if (!p->def->converter(ctx, node, p)) ReportConversionFailure(ctx, node, p);
    if (debug)
      ctx.dbg().printf("%*s : \"%s\"@%8p\n", static_cast<int>(std::string_view(p->def->name).size() + 2), "",
                       p->value.or_empty(), static_cast<const void*>(p->value.c_str()));
  }
  if (debug) ctx.dbg().write(node->text.view());
}

void Leave(Context& ctx, TagNode* node) {
  if (ctx.debugLevel) ctx.dbg().write(node->tail.view());
  if (node->def->leaveHandler) node->def->leaveHandler(ctx, node);
}

}  // namespace

namespace {

void Walk(Context& ctx, TagNode* first, const TagNode* stop, const TagNode* splitParent);

// Whether a child's walk may run beside the walks of the children before
// it: not when it captures the page's title or footer (the first in
// document order counts), nor when it is a table with a caption, which
// moves out before it, next to another child's walk.
bool MayWalkApart(const TagNode* kid) {
  auto captures = [](const TagNode* n) {
    return n->def->leaveHandler == CaptureTitle || n->def->leaveHandler == CaptureFooter;
  };
  static const TagDef* const captionDef = FindTagDef(nullptr, "CAPTION");
  if (captures(kid)) return false;
  if (kid->def->leaveHandler == TableStep2)
    for (const TagNode* c = kid->firstChild; c; c = c->next)
      if (c->def == captionDef) return false;
  std::vector<const TagNode*> chains;
  if (kid->firstChild) chains.push_back(kid->firstChild);
  while (!chains.empty()) {
    const TagNode* n = chains.back();
    chains.pop_back();
    for (; n; n = n->next) {
      if (captures(n)) return false;
      if (n->firstChild) chains.push_back(n->firstChild);
    }
  }
  return true;
}

// Which element's children a large tree's pass splits between two threads:
// as the other walks split a tree, but not inside a table (a table rebuilds
// what it holds when it is entered).
const TagNode* SplitParentOf(const Context& ctx, TagNode* first) {
  TagNode* html = first;
  while (html && !html->firstChild) html = html->next;
  const TagNode* parent = SplitParentFor(ctx, html);
  for (const TagNode* n = parent; n; n = n->parent)
    if (n->def->enterHandler == TableStep1) return nullptr;
  return parent;
}

// Shares the walks of `first` and the siblings after it, each with the nodes
// its handlers put after it, up to the next.
void WalkSiblingsApart(Context& ctx, TagNode* first) {
  std::vector<TagNode*> kids;
  for (TagNode* c = first; c; c = c->next) kids.push_back(c);
  ShareChildren(
      ctx, kids.size(),
      [&kids](Context& c, std::size_t k, bool) { Walk(c, kids[k], k + 1 < kids.size() ? kids[k + 1] : nullptr, nullptr); },
      [&kids](std::size_t k) { return MayWalkApart(kids[k]); });
}

// Depth first without recursion: a stack of the nodes whose children are
// being walked. The next sibling is read only after the leave handler ran,
// because handlers may insert nodes after their own. The walk ends before
// `stop`, a sibling of the first node (nullptr: at the end of the chain).
void Walk(Context& ctx, TagNode* first, const TagNode* stop, const TagNode* splitParent) {
  std::vector<TagNode*> open;
  TagNode* cur = first;
  for (;;) {
    Enter(ctx, cur);
    if ((cur == splitParent && cur->firstChild && cur->firstChild->next) || MayShareRows(ctx, cur)) {
      WalkSiblingsApart(ctx, cur->firstChild);
    } else if (cur->firstChild) {
      open.push_back(cur);
      cur = cur->firstChild;
      continue;
    }
    for (;;) {
      Leave(ctx, cur);
      TagNode* next = cur->next;
      if (open.empty() && next == stop) return;
      // The rows left, when the other side ran out of work after this
      // table's body began: the rest of its last child would otherwise
      // take one core alone.
      if (next && !open.empty() && MayShareRowsFrom(ctx, open.back(), next)) {
        WalkSiblingsApart(ctx, next);
        cur = open.back();
        open.pop_back();
        continue;
      }
      if (next) {
        cur = next;
        break;
      }
      if (open.empty()) return;
      cur = open.back();
      open.pop_back();
    }
  }
}

}  // namespace

void ProcessChain(Context& ctx, TagNode* first) {
  if (!first) return;
  Walk(ctx, first, nullptr, SplitParentOf(ctx, first));
}

}  // namespace ps
