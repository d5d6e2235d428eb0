// Lookups into the constant tables. The answers are those of a walk in table
// order (first match wins); the indexes are built once so that a lookup costs
// a hash and a bit test instead of a walk over rows of strings.
#include <bitset>
#include <cctype>
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
  // Lists of the tables are indexed up front; any other list on first use.
  std::unordered_map<NameList, ListIndex> lists;

  const ListIndex& For(NameList l) {
    auto it = lists.find(l);
    if (it != lists.end()) return it->second;
    ListIndex idx;
    CollectMembers(l, idx.members, 0);
    for (std::size_t i = 0; i < kTagDatabase.size() && i < kMaxTags; ++i)
      if (idx.members.count(LowerCopy(kTagDatabase[i].name))) idx.tags.set(i);
    return lists.emplace(l, std::move(idx)).first->second;
  }

  Indexes() {
    static_assert(kMaxTags >= 69);
    for (const TagDef& d : kTagDatabase) tags.emplace(d.name, &d);  // emplace keeps the first row
    for (const PropertyDef& p : kPropertyDatabase) props[p.name].push_back(&p);
    for (NameList l : kAllNameLists) For(l);
  }
};

Indexes& Index() {
  static Indexes idx;
  return idx;
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
  const ListIndex& li = idx.For(list);
  // Tag names are by far the most common question: answer them by row.
  auto t = idx.tags.find(name);
  if (t != idx.tags.end()) return li.tags.test(static_cast<std::size_t>(t->second - kTagDatabase.data()));
  return li.members.count(LowerCopy(name)) != 0;
}

bool MatchTagDef(const TagDef* def, NameList list) {
  if (!def || !list) return false;
  std::size_t row = static_cast<std::size_t>(def - kTagDatabase.data());
  if (row >= kTagDatabase.size()) return MatchNameList(def->name, list);
  return Index().For(list).tags.test(row);
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
