// The document tree: nodes typed by tag rows, carrying properties typed by
// property rows, and the operations every phase uses to read and rebuild it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <bitset>
#include <span>
#include <string_view>

#include "model/pool.h"
#include "model/text.h"
#include "model/context.h"

namespace ps {

struct TagNode;
struct TagProperty;

// Runs on one node; the processing pass ignores the result.
using TagHandler = bool (*)(Context&, TagNode*);
// Converts one property of a node; false when the value cannot be converted.
using PropertyConverter = bool (*)(Context&, TagNode*, TagProperty*);

// A list of names ended by nullptr; nullptr itself is the absent list.
// A member beginning with '%' names a tag group.
using NameList = const char* const*;

struct TagDef {
  const char* name;
  const char* outputName;  // nullptr: no element; "": dropped; "@X": read as X
  int contentKind;         // 0 end tag needed, 1 end tag optional, 2 empty
  int selfNesting;         // 0 nothing, 1 close innermost same, 2 close nearest same
  int writeForm;           // 0 full element, 1 empty-element tag, 2 start tag only
  int rawTag;              // non-zero: attributes unparsed, raw text written (but see below)
  int category;            // carried, never consulted
  NameList closes;
  NameList children;       // nullptr: any tag
  TagHandler leaveHandler;
  TagHandler enterHandler;
};

// The rawTag of an element whose start tag and content are foreign markup,
// read whole and written through the writer's own checks (an SVG drawing).
inline constexpr int kRawTagForeignXml = 3;

struct PropertyDef {
  const char* name;
  const char* outputName;  // nullptr: never written; "": value bare; "@X": alias
  NameList owners;         // nullptr: any tag
  PropertyConverter converter;
};

extern const std::span<const TagDef> kTagDatabase;
extern const std::span<const PropertyDef> kPropertyDatabase;

template <class Row>
constexpr const std::span<const Row>& RowsOf();
template <>
constexpr const std::span<const TagDef>& RowsOf<TagDef>() {
  return kTagDatabase;
}
template <>
constexpr const std::span<const PropertyDef>& RowsOf<PropertyDef>() {
  return kPropertyDatabase;
}

// A row of one of the constant tables as a small number; reads and assigns like a
// pointer. Every node and property holds one.
template <class Row, class Number = std::uint16_t>
class RowRef {
 public:
  RowRef() = default;
  RowRef(const Row* r) : n_(NumberOf(r)) {}  // NOLINT: converts like the pointer it replaces
  operator const Row*() const { return n_ ? RowsOf<Row>().data() + (n_ - 1) : nullptr; }  // NOLINT
  const Row* operator->() const { return RowsOf<Row>().data() + (n_ - 1); }
  // The row's index in its table; -1 for none.
  int index() const { return n_ - 1; }

 private:
  static Number NumberOf(const Row* r) {
    if (!r) return 0;
    const std::span<const Row>& rows = RowsOf<Row>();
    assert(r >= rows.data() && r < rows.data() + rows.size() && "a row that is not in its table");
    return static_cast<Number>(r - rows.data() + 1);
  }
  Number n_ = 0;
};

struct TagProperty {
  Text value;
  RowRef<PropertyDef, std::uint8_t> def;  // the table has fewer than 255 rows
  Link<TagProperty> next;

  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
};

// The links are pool numbers rather than pointers, the row a small number
// and the texts 7 bytes: a node takes 48 bytes instead of 96, a property 12
// instead of 32.
struct TagNode {
  Link<TagProperty> props;
  Link<TagNode> parent;
  Link<TagNode> firstChild;
  Link<TagNode> lastChild;
  Link<TagNode> next;
  Text raw;
  Text text;
  Text tail;
  RowRef<TagDef, std::uint8_t> def;  // the table has fewer than 255 rows

  const char* name() const { return def->name; }

  // Where the element's tag began in the input ("html-filepos"); only the
  // reader's nodes have one. Kept here rather than as a property: every
  // element has one, and as a property with its digits it cost more than
  // the node.
  bool hasPosition() const { return position() != kNoPosition; }
  std::uint64_t position() const {
    std::uint64_t v = 0;
    std::memcpy(&v, position_, sizeof position_);
    return v;
  }
  void setPosition(std::uint64_t v) {
    if (v > kNoPosition) v = kNoPosition;  // past 256 TB of input: none
    std::memcpy(position_, &v, sizeof position_);
  }
  static constexpr std::uint64_t kNoPosition = (std::uint64_t{1} << 48) - 1;
  unsigned char position_[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
};
static_assert(sizeof(TagNode) == 48 && sizeof(TagProperty) == 12, "the tree's blocks grew");

// ASCII case-insensitive equality; the tables' names are all ASCII. Inline:
// the passes ask it of every node, mostly of a literal and a tag's name.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y && (x | 0x20) != (y | 0x20)) return false;
    if (x != y && !((x | 0x20) >= 'a' && (x | 0x20) <= 'z')) return false;
  }
  return true;
}

// --- lookups (indexed once, first-match semantics of the tables) ---
bool MatchNameList(std::string_view name, NameList list);
// The unindexed walk (reference for the index).
bool MatchNameListWalk(std::string_view name, NameList list);
// Same answer as MatchNameList(def->name, list), without hashing the name.
bool MatchTagDef(const TagDef* def, NameList list);
// The tag rows (of the first kIndexedTagRows) that one of the tables' own
// lists admits; nullptr for any other list.
constexpr std::size_t kIndexedTagRows = 256;
const std::bitset<kIndexedTagRows>* TagRowsOfList(NameList list);
// First row with the name; with a parent whose row has a children list, the
// name must be a member of it.
const TagDef* FindTagDef(const TagNode* parent, std::string_view name);
// The parent test of FindTagDef for a row already found: true without a
// parent or when its row has no children list.
bool AdmitsChild(const TagNode* parent, const TagDef* def);
// First row with the name whose owners admit the tag name.
const PropertyDef* FindPropertyDef(std::string_view name, std::string_view ownerTag);
const PropertyDef* FindPropertyDefForTag(std::string_view name, const TagDef* owner);
// Property names by number: -1 when no row has the name. Rows whose names
// differ only in case share a number.
int PropertyNameId(std::string_view name);
// The property table's rows with the name of that number, in table order.
std::span<const PropertyDef* const> PropertyRowsNamed(int id);
const PropertyDef* FindPropertyDefForTag(int id, const TagDef* owner);
// The same for the owner's row in the tag table (-1: no owner), as a node
// holds it: no search for the row.
const PropertyDef* FindPropertyDefForRow(int id, int tagRow);

// One of the tables' lists as a set of tag rows, for the tests made at every
// node: the same answers as MatchTagDef, without looking the list up.
class TagSet {
 public:
  explicit TagSet(NameList list) : list_(list), rows_(TagRowsOfList(list)) {}
  bool Has(const TagNode* n) const;

 private:
  NameList list_;
  const std::bitset<kIndexedTagRows>* rows_;
};

inline bool TagSet::Has(const TagNode* n) const {
  const int row = n->def.index();
  if (rows_ && row >= 0 && static_cast<std::size_t>(row) < kIndexedTagRows) return (*rows_)[static_cast<std::size_t>(row)];
  return MatchTagDef(n->def, list_);
}

// --- properties ---
// A property name with its number, looked up once. The phases name the same
// few properties at every node: their hot call sites keep one of these in a
// static and call the overloads below, which skip the name lookup.
struct PropertyName {
  explicit PropertyName(std::string_view n);
  std::string_view name;
  int id;
  // The property table's rows that have the name, one bit per row: a
  // property's name is then told by its row without any table.
  std::uint64_t rows[8] = {};
  bool HasRow(int row) const { return row >= 0 && (rows[row >> 6] >> (row & 63) & 1) != 0; }
};

// Whether the property has the name (in any case).
inline bool HasName(const TagProperty* prop, const PropertyName& name) { return name.HasRow(prop->def.index()); }
TagProperty* FindProperty(const TagNode* node, const PropertyName& name);
TagProperty* FindInheritedProperty(const TagNode* node, const PropertyName& name);
TagProperty* CreateProperty(Context& ctx, TagNode* node, const PropertyName& name);
TagProperty* SetProperty(Context& ctx, TagNode* node, const PropertyName& name, Text value);
inline TagProperty* SetProperty(Context& ctx, TagNode* node, const PropertyName& name, std::string_view value) {
  return SetProperty(ctx, node, name, Text(value));
}
void SpreadProperty(Context& ctx, TagNode* node, const PropertyName& name, const Text& value, int mode,
                    bool withSiblings);

TagProperty* FindProperty(const TagNode* node, std::string_view name);
TagProperty* FindInheritedProperty(const TagNode* node, std::string_view name);
TagProperty* CreateProperty(Context& ctx, TagNode* node, std::string_view name);
TagProperty* SetProperty(Context& ctx, TagNode* node, std::string_view name, Text value);
inline TagProperty* SetProperty(Context& ctx, TagNode* node, std::string_view name, std::string_view value) {
  return SetProperty(ctx, node, name, Text(value));
}
// mode 0: topmost accepting nodes of each branch; mode 1: every accepting node.
void SpreadProperty(Context& ctx, TagNode* node, std::string_view name, const Text& value, int mode,
                    bool withSiblings);
void UnlinkProperty(TagNode* node, TagProperty* prop);
void FreeProperty(TagProperty* prop);

// --- trees and other threads ---
// A tree's links and texts resolve on every thread. A helper that only reads
// a tree says so first (making or freeing a block there then stops the
// program). One that builds part of another thread's tree borrows from that
// thread first (what it lends), and when it is done hands its books to that
// thread, which adopts them once the helper has ended; a loan no helper
// took is adopted back as it is. Either call also marks the helper's own
// heap for huge pages.
void ReadTreesOnly();
struct TreeHandover {
  BlockPool<sizeof(TagNode)>::Handover nodes;
  BlockPool<sizeof(TagProperty)>::Handover properties;
  TextArena::Handover texts;
  PrefaultedRoom::Shared* room = nullptr;  // the lender's, while it lasts
};
TreeHandover LendTrees();
void BorrowTrees(const TreeHandover& loan);
TreeHandover HandTrees();
void AdoptTrees(const TreeHandover& h);

// --- splitting a walk between two threads ---
// The element whose children two threads share out in a walk of `top`'s
// subtree, for the node `middle` steps into the walk: of that node's
// ancestors, the highest whose child on the way holds at most a quarter of
// the tree, so that the two can come out about even; nullptr if none.
TagNode* ParentToSplit(TagNode* top, std::size_t middle);
// The same, judged by where the tags began in an input of `inputBytes`
// rather than by counting the nodes: only the children of the nodes on the
// way to the middle are looked at. nullptr if none.
TagNode* ParentToSplitAt(TagNode* top, std::uint64_t inputBytes);
// Where the input of the nodes from `n` on (in document order) began: the
// position of the first that the reader made, for the conversion's own
// nodes have none; `otherwise` when none is near.
std::uint64_t PositionFrom(const TagNode* n, std::uint64_t otherwise);

// --- nodes ---
TagNode* NewNode(const TagDef* def);
TagNode* PreviousSibling(const TagNode* node);
// The operations that make a node take its tag by name, or as a row looked
// up once (the steps insert millions of the same few): either way the new
// node's parent must admit the tag, as FindTagDef asks.
TagNode* WrapChildren(TagNode* node, std::string_view tag);
TagNode* WrapChildren(TagNode* node, const TagDef* tag);
TagNode* WrapNode(TagNode* node, std::string_view tag);
// WrapNode for a caller that already knows the node's previous sibling
// (none for a first child): no search of the parent's chain.
TagNode* WrapNodeAfter(TagNode* prev, TagNode* node, std::string_view tag);
TagNode* WrapNodeAfter(TagNode* prev, TagNode* node, const TagDef* tag);
TagNode* InsertFirstChildWithText(TagNode* node, std::string_view tag);
TagNode* InsertFirstChildWithText(TagNode* node, const TagDef* tag);
TagNode* PrependChild(TagNode* node, std::string_view tag);
TagNode* PrependChild(TagNode* node, const TagDef* tag);
TagNode* AppendChild(TagNode* node, std::string_view tag);
// Links a node made elsewhere as the parent's last child, without asking
// whether the parent admits it (the reader has decided that already).
void LinkLastChild(TagNode* parent, TagNode* child);
TagNode* InsertAfter(TagNode* node, std::string_view tag);
TagNode* InsertAfter(TagNode* node, const TagDef* tag);
TagNode* WrapFollowingSiblings(TagNode* node, std::string_view tag);
// Frees the node, its subtree and all its following siblings.
void FreeTree(TagNode* node);
// Frees the node and its subtree only (it must be unlinked already).
void FreeSubtree(TagNode* node);

}  // namespace ps
