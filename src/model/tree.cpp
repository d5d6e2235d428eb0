// Tree operations. Sibling chains are always walked with loops, never with
// recursion: real documents have millions of siblings.
#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "model/pool.h"
#include "model/tables.h"
#include "model/tree.h"

namespace ps {

// Neither type is derived from, so every allocation has the type's size.
void* TagNode::operator new(std::size_t) { return BlockPool<sizeof(TagNode)>::Allocate(); }
void TagNode::operator delete(void* p) noexcept { BlockPool<sizeof(TagNode)>::Release(p); }

void* TagProperty::operator new(std::size_t) { return BlockPool<sizeof(TagProperty)>::Allocate(); }
void TagProperty::operator delete(void* p) noexcept { BlockPool<sizeof(TagProperty)>::Release(p); }

PropertyName::PropertyName(std::string_view n) : name(n), id(PropertyNameId(n)) {
  static_assert(sizeof rows * 8 >= 511, "a bit for every row number");
  for (const PropertyDef* def : PropertyRowsNamed(id)) {
    const auto row = static_cast<std::size_t>(def - kPropertyDatabase.data());
    rows[row >> 6] |= std::uint64_t{1} << (row & 63);
  }
}

namespace {

bool Named(const TagProperty* p, const PropertyName& n) { return n.HasRow(p->def.index()); }

TagProperty* FindNamed(const TagNode* node, const PropertyName& n) {
  if (!node || !node->props) return nullptr;
  for (TagProperty* p = node->props; p; p = p->next)
    if (Named(p, n)) return p;
  return nullptr;
}

// Adds a property the node does not have yet, at the head of its list.
TagProperty* AddNamed(Context& ctx, TagNode* node, const PropertyName& n) {
  const PropertyDef* def = FindPropertyDefForRow(n.id, node ? node->def.index() : -1);
  if (!def || !node) {
    if (ctx.reportPropertyFailures) {
      std::string shown(n.name);
      ctx.msg().printf("The property \"%s\" can't be created under \"%s\"!\n", shown.c_str(),
                       node ? node->def->name : "");
    }
    return nullptr;
  }
  TagProperty* p = new TagProperty;
  p->def = def;
  p->next = node->props;
  node->props = p;
  return p;
}

TagProperty* CreateNamed(Context& ctx, TagNode* node, const PropertyName& n) {
  if (TagProperty* p = FindNamed(node, n)) return p;
  return AddNamed(ctx, node, n);
}

}  // namespace

TagProperty* FindProperty(const TagNode* node, const PropertyName& name) { return FindNamed(node, name); }

TagProperty* FindInheritedProperty(const TagNode* node, const PropertyName& name) {
  for (; node; node = node->parent)
    if (TagProperty* p = FindNamed(node, name)) return p;
  return nullptr;
}

TagProperty* CreateProperty(Context& ctx, TagNode* node, const PropertyName& name) {
  return CreateNamed(ctx, node, name);
}

TagProperty* SetProperty(Context& ctx, TagNode* node, const PropertyName& name, Text value) {
  TagProperty* p = CreateNamed(ctx, node, name);
  if (p) p->value = std::move(value);
  return p;
}

TagProperty* FindProperty(const TagNode* node, std::string_view name) {
  if (!node || !node->props) return nullptr;
  return FindNamed(node, PropertyName(name));
}

TagProperty* FindInheritedProperty(const TagNode* node, std::string_view name) {
  return FindInheritedProperty(node, PropertyName(name));
}

TagProperty* CreateProperty(Context& ctx, TagNode* node, std::string_view name) {
  return CreateNamed(ctx, node, PropertyName(name));
}

TagProperty* SetProperty(Context& ctx, TagNode* node, std::string_view name, Text value) {
  return SetProperty(ctx, node, PropertyName(name), std::move(value));
}

namespace {

void SpreadOne(Context& ctx, TagNode* node, const PropertyName& name, const Text& value, int mode);

void SpreadChain(Context& ctx, TagNode* first, const PropertyName& name, const Text& value, int mode) {
  for (TagNode* n = first; n; n = n->next) SpreadOne(ctx, n, name, value, mode);
}

void SpreadOne(Context& ctx, TagNode* node, const PropertyName& name, const Text& value, int mode) {
  if (FindNamed(node, name)) {
    if (mode == 1) SpreadChain(ctx, node->firstChild, name, value, mode);
    return;
  }
  if (TagProperty* p = AddNamed(ctx, node, name)) {
    p->value = Text::Copy(value);
    if (mode == 1) SpreadChain(ctx, node->firstChild, name, value, mode);
    return;
  }
  SpreadChain(ctx, node->firstChild, name, value, mode);
}

}  // namespace

void SpreadProperty(Context& ctx, TagNode* node, const PropertyName& name, const Text& value, int mode,
                    bool withSiblings) {
  if (!node || name.name.empty()) return;
  if (withSiblings)
    SpreadChain(ctx, node, name, value, mode);
  else
    SpreadOne(ctx, node, name, value, mode);
}

void SpreadProperty(Context& ctx, TagNode* node, std::string_view name, const Text& value, int mode,
                    bool withSiblings) {
  if (!node || name.empty()) return;
  SpreadProperty(ctx, node, PropertyName(name), value, mode, withSiblings);
}

void UnlinkProperty(TagNode* node, TagProperty* prop) {
  if (!node || !prop) return;
  if (node->props == prop) {
    node->props = prop->next;
    prop->next = nullptr;
    return;
  }
  for (TagProperty* p = node->props; p && p->next; p = p->next) {
    if (p->next == prop) {
      p->next = prop->next;
      prop->next = nullptr;
      return;
    }
  }
}

void FreeProperty(TagProperty* prop) { delete prop; }

void ReadTreesOnly() {
  AdviseThisThreadsHeap();
  BlockPool<sizeof(TagNode)>::ReadOnly();
  BlockPool<sizeof(TagProperty)>::ReadOnly();
  TextArena::ReadOnly();
}

TreeHandover LendTrees() {
  return {BlockPool<sizeof(TagNode)>::Lend(), BlockPool<sizeof(TagProperty)>::Lend(), TextArena::Lend(),
          RoomOfThisThread()};
}

void BorrowTrees(const TreeHandover& loan) {
  AdviseThisThreadsHeap();
  BlockPool<sizeof(TagNode)>::Borrow(loan.nodes);
  BlockPool<sizeof(TagProperty)>::Borrow(loan.properties);
  TextArena::Borrow(loan.texts);
  DrawFromRoom(loan.room);
}

TreeHandover HandTrees() {
  DrawFromRoom(nullptr);
  return {BlockPool<sizeof(TagNode)>::Hand(), BlockPool<sizeof(TagProperty)>::Hand(), TextArena::Hand()};
}

void AdoptTrees(const TreeHandover& h) {
  BlockPool<sizeof(TagNode)>::Adopt(h.nodes);
  BlockPool<sizeof(TagProperty)>::Adopt(h.properties);
  TextArena::Adopt(h.texts);
}

TagNode* NewNode(const TagDef* def) {
  TagNode* n = new TagNode;
  n->def = def;
  return n;
}

TagNode* PreviousSibling(const TagNode* node) {
  if (!node || !node->parent) return nullptr;
  TagNode* prev = nullptr;
  for (TagNode* c = node->parent->firstChild; c; c = c->next) {
    if (c == node) return prev;
    prev = c;
  }
  return nullptr;
}

TagNode* WrapChildren(TagNode* node, std::string_view tag) { return WrapChildren(node, FindTagDef(nullptr, tag)); }

TagNode* WrapChildren(TagNode* node, const TagDef* def) {
  if (!node || !def || !AdmitsChild(node, def)) return nullptr;
  TagNode* w = NewNode(def);
  w->parent = node;
  w->text.take(node->text);
  w->firstChild = node->firstChild;
  w->lastChild = node->lastChild;
  for (TagNode* c = w->firstChild; c; c = c->next) c->parent = w;
  node->firstChild = node->lastChild = w;
  return w;
}

TagNode* WrapNode(TagNode* node, std::string_view tag) {
  if (!node || !node->parent) return nullptr;
  TagNode* parent = node->parent;
  TagNode* prev = nullptr;
  bool found = false;
  for (TagNode* c = parent->firstChild; c; c = c->next) {
    if (c == node) {
      found = true;
      break;
    }
    prev = c;
  }
  if (!found) return nullptr;
  return WrapNodeAfter(prev, node, tag);
}

TagNode* WrapNodeAfter(TagNode* prev, TagNode* node, std::string_view tag) {
  return WrapNodeAfter(prev, node, FindTagDef(nullptr, tag));
}

TagNode* WrapNodeAfter(TagNode* prev, TagNode* node, const TagDef* def) {
  TagNode* parent = node ? node->parent : nullptr;
  if (!parent || !def || !AdmitsChild(parent, def)) return nullptr;
  TagNode* w = NewNode(def);
  w->parent = parent;
  w->tail.take(node->tail);
  w->next = node->next;
  node->next = nullptr;
  if (prev)
    prev->next = w;
  else
    parent->firstChild = w;
  if (parent->lastChild == node) parent->lastChild = w;
  w->firstChild = w->lastChild = node;
  node->parent = w;
  return w;
}

TagNode* InsertFirstChildWithText(TagNode* node, std::string_view tag) {
  return InsertFirstChildWithText(node, FindTagDef(nullptr, tag));
}

TagNode* InsertFirstChildWithText(TagNode* node, const TagDef* tag) {
  TagNode* c = PrependChild(node, tag);
  if (c) c->text.take(node->text);
  return c;
}

TagNode* PrependChild(TagNode* node, std::string_view tag) { return PrependChild(node, FindTagDef(nullptr, tag)); }

TagNode* PrependChild(TagNode* node, const TagDef* def) {
  if (!node || !def || !AdmitsChild(node, def)) return nullptr;
  TagNode* c = NewNode(def);
  c->parent = node;
  c->next = node->firstChild;
  node->firstChild = c;
  if (!node->lastChild) node->lastChild = c;
  return c;
}

TagNode* AppendChild(TagNode* node, std::string_view tag) {
  if (!node) return nullptr;
  const TagDef* def = FindTagDef(node, tag);
  if (!def) return nullptr;
  TagNode* c = NewNode(def);
  LinkLastChild(node, c);
  return c;
}

void LinkLastChild(TagNode* parent, TagNode* child) {
  child->parent = parent;
  if (parent->lastChild)
    parent->lastChild->next = child;
  else
    parent->firstChild = child;
  parent->lastChild = child;
}

TagNode* InsertAfter(TagNode* node, std::string_view tag) { return InsertAfter(node, FindTagDef(nullptr, tag)); }

TagNode* InsertAfter(TagNode* node, const TagDef* def) {
  if (!node || !node->parent || !def || !AdmitsChild(node->parent, def)) return nullptr;
  TagNode* c = NewNode(def);
  c->parent = node->parent;
  c->next = node->next;
  node->next = c;
  if (node->parent->lastChild == node) node->parent->lastChild = c;
  return c;
}

TagNode* WrapFollowingSiblings(TagNode* node, std::string_view tag) {
  if (!node || !node->parent) return nullptr;
  TagNode* parent = node->parent;
  const TagDef* def = FindTagDef(parent, tag);
  if (!def) return nullptr;
  TagNode* w = NewNode(def);
  w->parent = parent;
  w->firstChild = node->next;
  if (w->firstChild) w->lastChild = parent->lastChild;
  for (TagNode* c = w->firstChild; c; c = c->next) c->parent = w;
  node->next = w;
  parent->lastChild = w;
  return w;
}

namespace {

void FreeNodeFields(TagNode* n) {
  TagProperty* p = n->props;
  while (p) {
    TagProperty* nx = p->next;
    delete p;
    p = nx;
  }
  n->props = nullptr;
}

}  // namespace

// Frees without any recursion: children are spliced into a work list, so
// neither deep nesting nor long sibling chains can exhaust the stack.
void FreeTree(TagNode* node) {
  std::vector<TagNode*> work;
  if (node) work.push_back(node);
  while (!work.empty()) {
    TagNode* n = work.back();
    work.pop_back();
    while (n) {
      if (n->firstChild) work.push_back(n->firstChild);
      TagNode* nx = n->next;
      FreeNodeFields(n);
      delete n;
      n = nx;
    }
  }
}

void FreeSubtree(TagNode* node) {
  if (!node) return;
  TagNode* first = node->firstChild;
  FreeNodeFields(node);
  delete node;
  FreeTree(first);
}

// Of the ancestors of the node halfway through the tree (by count, in
// document order), the highest whose child on the way down holds at most a
// quarter of the tree. One walk.
TagNode* ParentToSplit(TagNode* top, std::size_t middle) {
  struct Open {
    TagNode* node;
    std::size_t start;
  };
  std::vector<Open> open, path;  // open: the nodes entered and not left, top first
  std::vector<std::size_t> ends;  // where each node of the path ends
  std::size_t count = 0;
  for (TagNode* cur = top; cur;) {
    open.push_back({cur, count});
    if (count++ == middle) {
      path = open;
      ends.assign(path.size(), 0);
    }
    if (cur->firstChild) {
      cur = cur->firstChild;
      continue;
    }
    // Leaves nodes up to one with a next sibling; the top's are not walked.
    for (cur = nullptr; !open.empty();) {
      const TagNode* left = open.back().node;
      open.pop_back();
      if (open.size() < path.size() && path[open.size()].node == left) ends[open.size()] = count;
      if (open.empty()) break;
      if (left->next) {
        cur = left->next;
        break;
      }
    }
  }
  for (std::size_t i = 0; i + 1 < path.size(); ++i)
    if (4 * (ends[i + 1] - path[i + 1].start) <= count) return path[i].node;
  return nullptr;
}

TagNode* ParentToSplitAt(TagNode* top, std::uint64_t inputBytes) {
  const std::uint64_t middle = inputBytes / 2;
  std::uint64_t end = inputBytes;
  for (TagNode* n = top; n;) {
    // The child the middle lies in, and how much of the input it holds.
    TagNode* c = n->firstChild;
    if (!c) return nullptr;
    std::uint64_t at = PositionFrom(c, 0);
    std::uint64_t next = end;
    for (; c->next; c = c->next) {
      next = std::min(PositionFrom(c->next, end), end);
      if (next > middle) break;
      at = next;
      next = end;
    }
    if (4 * (next > at ? next - at : 0) <= inputBytes) return n;
    n = c;
    end = next;
  }
  return nullptr;
}

std::uint64_t PositionFrom(const TagNode* n, std::uint64_t otherwise) {
  constexpr int kMaxLooked = 32;
  for (int k = 0; n && k < kMaxLooked; ++k) {
    if (n->hasPosition()) return n->position();
    if (n->firstChild) {
      n = n->firstChild;
      continue;
    }
    for (; n && !n->next && k < kMaxLooked; ++k) n = n->parent;
    if (n) n = n->next;
  }
  return otherwise;
}

}  // namespace ps
