// Lookups into the constant tables. The answers are those of a walk in table
// order (first match wins); the indexes are built once so that a lookup costs
// a hash and a bit test instead of a walk over rows of strings.
#include <bitset>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/tables.h"
#include "model/tree.h"

namespace ps {

namespace {

inline unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

struct NoCaseHash {
  std::size_t operator()(std::string_view s) const {
    std::size_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ Lower(c)) * 1099511628211ull;
    return h;
  }
};
struct NoCaseEq {
  bool operator()(std::string_view a, std::string_view b) const { return EqualsNoCase(a, b); }
};

std::string LowerCopy(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(Lower(static_cast<unsigned char>(c)));
  return r;
}

constexpr std::size_t kMaxTags = 128;

}  // namespace

// The walk itself, as the tables define membership; the indexes must agree with it.
bool MatchNameListWalk(std::string_view name, NameList list) {
  if (name.empty() || !list) return false;
  for (NameList e = list; *e; ++e) {
    std::string_view entry(*e);
    if (!entry.empty() && entry[0] == '%') {
      for (const TagGroup& g : kTagGroups) {
        if (EqualsNoCase(g.name, entry)) {
          if (MatchNameListWalk(name, g.members)) return true;
          break;
        }
      }
    }
    if (EqualsNoCase(name, entry)) return true;
  }
  return false;
}

namespace {

void CollectMembers(NameList list, std::unordered_set<std::string>& out, int depth) {
  if (!list || depth > 32) return;
  for (NameList e = list; *e; ++e) {
    std::string_view entry(*e);
    if (!entry.empty() && entry[0] == '%') {
      for (const TagGroup& g : kTagGroups) {
        if (EqualsNoCase(g.name, entry)) {
          CollectMembers(g.members, out, depth + 1);
          break;
        }
      }
    }
    if (!entry.empty()) out.insert(LowerCopy(entry));
  }
}

struct ListIndex {
  std::unordered_set<std::string> members;  // lower-case
  std::bitset<kMaxTags> tags;               // by row of the tag database
};

struct Indexes {
  std::unordered_map<std::string_view, const TagDef*, NoCaseHash, NoCaseEq> tags;
  std::unordered_map<std::string_view, std::vector<const PropertyDef*>, NoCaseHash, NoCaseEq> props;
  // Only the tables' own lists are indexed: they are constant, so an address
  // always names the same contents. Any other list may live on the stack or
  // change, and is walked entry by entry (through the group indexes).
  std::unordered_map<NameList, ListIndex> lists;
  // Group name -> index of the first group of that name.
  std::unordered_map<std::string_view, const ListIndex*, NoCaseHash, NoCaseEq> groups;

  const ListIndex* Find(NameList l) const {
    auto it = lists.find(l);
    return it == lists.end() ? nullptr : &it->second;
  }

  Indexes() {
    for (const TagDef& d : kTagDatabase) tags.emplace(d.name, &d);  // emplace keeps the first row
    for (const PropertyDef& p : kPropertyDatabase) props[p.name].push_back(&p);
    for (NameList l : kAllNameLists) {
      if (lists.count(l)) continue;
      ListIndex idx;
      CollectMembers(l, idx.members, 0);
      for (std::size_t i = 0; i < kTagDatabase.size() && i < kMaxTags; ++i)
        if (idx.members.count(LowerCopy(kTagDatabase[i].name))) idx.tags.set(i);
      lists.emplace(l, std::move(idx));
    }
    for (const TagGroup& g : kTagGroups)
      if (const ListIndex* li = Find(g.members)) groups.emplace(g.name, li);
  }
};

Indexes& Index() {
  static Indexes idx;
  return idx;
}

// Row of a tag definition in the tag table, or -1 for a definition elsewhere
// (or beyond the rows the bit sets hold; those are answered by name).
long TagRowOf(const TagDef* def) {
  const std::less<const TagDef*> before;
  const TagDef* first = kTagDatabase.data();
  if (before(def, first) || !before(def, first + kTagDatabase.size())) return -1;
  const long row = def - first;
  return row < static_cast<long>(kMaxTags) ? row : -1;
}

// The walk of a list that is not indexed, with groups answered by their index.
// `row` is the name's tag row, or -1 when the name has none.
bool MatchWalked(Indexes& idx, std::string_view name, long row, NameList list) {
  for (NameList e = list; *e; ++e) {
    std::string_view entry(*e);
    if (!entry.empty() && entry[0] == '%') {
      auto g = idx.groups.find(entry);
      if (g != idx.groups.end()) {
        const ListIndex& li = *g->second;
        if (row >= 0 ? li.tags.test(static_cast<std::size_t>(row)) : li.members.count(LowerCopy(name)) != 0)
          return true;
      }
    }
    if (EqualsNoCase(name, entry)) return true;
  }
  return false;
}

bool Match(Indexes& idx, std::string_view name, long row, NameList list) {
  if (const ListIndex* li = idx.Find(list))
    return row >= 0 ? li->tags.test(static_cast<std::size_t>(row)) : li->members.count(LowerCopy(name)) != 0;
  return MatchWalked(idx, name, row, list);
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool MatchNameList(std::string_view name, NameList list) {
  if (name.empty() || !list) return false;
  Indexes& idx = Index();
  // Tag names are by far the most common question: answer them by row.
  auto t = idx.tags.find(name);
  const long row = t == idx.tags.end() ? -1 : TagRowOf(t->second);
  return Match(idx, name, row, list);
}

bool MatchTagDef(const TagDef* def, NameList list) {
  if (!def || !list) return false;
  const long row = TagRowOf(def);
  if (row < 0) return MatchNameList(def->name, list);
  return Match(Index(), def->name, row, list);
}

const TagDef* FindTagDef(const TagNode* parent, std::string_view name) {
  Indexes& idx = Index();
  auto it = idx.tags.find(name);
  if (it == idx.tags.end()) return nullptr;
  const TagDef* def = it->second;
  if (parent && parent->def && parent->def->children && !MatchTagDef(def, parent->def->children))
    return nullptr;
  return def;
}

const PropertyDef* FindPropertyDef(std::string_view name, std::string_view ownerTag) {
  Indexes& idx = Index();
  auto it = idx.props.find(name);
  if (it == idx.props.end()) return nullptr;
  for (const PropertyDef* p : it->second)
    if (!p->owners || MatchNameList(ownerTag, p->owners)) return p;
  return nullptr;
}

const PropertyDef* FindPropertyDefForTag(std::string_view name, const TagDef* owner) {
  Indexes& idx = Index();
  auto it = idx.props.find(name);
  if (it == idx.props.end()) return nullptr;
  for (const PropertyDef* p : it->second)
    if (!p->owners || (owner && MatchTagDef(owner, p->owners))) return p;
  return nullptr;
}

}  // namespace ps
