// Lookups into the constant tables. The answers are those of a walk in table
// order (first match wins); the indexes are built once so that a lookup costs
// a hash and a bit test instead of a walk over rows of strings.
#include <algorithm>
#include <bit>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/tables.h"
#include "model/tree.h"

namespace ps {

namespace {

inline unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Names that are equal but for ASCII case hash alike: setting bit 0x20 of
// every byte lower-cases the letters (other bytes may collide; the equality
// test sorts them out). Eight bytes at a time, since every tag and property
// name of every node is looked up.
std::uint64_t FoldedHash(std::string_view s) {
  constexpr std::uint64_t kFold = 0x2020202020202020ull;
  std::uint64_t h = s.size() * 0x9E3779B97F4A7C15ull;
  std::size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    h = (h ^ (w | kFold)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 29;
  }
  // The last bytes one by one: a copy of a variable length is a call.
  std::uint64_t w = 0;
  for (std::size_t k = 0; i + k < s.size(); ++k) w |= std::uint64_t{static_cast<unsigned char>(s[i + k])} << (8 * k);
  h ^= w | kFold;
  // Mix the high bits down: the table indexes by the low ones.
  h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
  h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

// A table from names (compared ignoring ASCII case) to values, built once
// from the constant tables, which own the names: open addressing in a
// power-of-two array kept at most half full.
template <class V>
class NameTable {
 public:
  // Adds the name unless it is there; either way answers its value.
  V& emplace(std::string_view key, V value) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    Slot& s = Probe(key);
    if (!s.used) {
      s = Slot{key, std::move(value), true};
      ++count_;
    }
    return s.value;
  }
  const V* find(std::string_view key) const {
    if (slots_.empty()) return nullptr;
    const Slot& s = const_cast<NameTable*>(this)->Probe(key);
    return s.used ? &s.value : nullptr;
  }

 private:
  struct Slot {
    std::string_view key;
    V value{};
    bool used = false;
  };
  Slot& Probe(std::string_view key) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = FoldedHash(key) & mask;; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      // Names are mostly written as the tables write them: try bytes first.
      if (!s.used || (s.key.size() == key.size() && (std::memcmp(s.key.data(), key.data(), key.size()) == 0 ||
                                                      EqualsNoCase(s.key, key))))
        return s;
    }
  }
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    count_ = 0;
    for (Slot& s : old)
      if (s.used) emplace(s.key, std::move(s.value));
  }
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

std::string LowerCopy(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(Lower(static_cast<unsigned char>(c)));
  return r;
}

constexpr std::size_t kMaxTags = kIndexedTagRows;

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
  NameTable<const TagDef*> tags;
  // Property names are numbered: rows whose names are equal but for case
  // share a number, so that a property's name is compared by its row.
  NameTable<int> propertyIds;
  std::vector<std::vector<const PropertyDef*>> propertyRows;  // by number, in table order
  // FindPropertyDefForTag's answers by number and owner: the tables are
  // constant, so all are worked out at once, and reading them needs no lock.
  // Slot `ownerRows` is for no owner. An answer is its row in the property
  // table plus one (0: none), so that the table stays small: every run
  // starts by building it.
  std::size_t ownerRows = std::min(kTagDatabase.size(), kMaxTags);
  std::vector<std::uint16_t> ownerAnswers;
  // Only the tables' own lists are indexed: they are constant, so an address
  // always names the same contents. Any other list may live on the stack or
  // change, and is walked entry by entry (through the group indexes).
  // They are found by address in an open-addressing array kept at most a
  // quarter full: every node is tested against a few of them.
  std::vector<ListIndex> lists;
  std::vector<std::pair<NameList, const ListIndex*>> listSlots;
  // Group name -> index of the first group of that name.
  NameTable<const ListIndex*> groups;

  std::size_t SlotOf(NameList l) const {
    const std::size_t mask = listSlots.size() - 1;
    const std::uint64_t hash = (reinterpret_cast<std::uintptr_t>(l) >> 3) * 0x9E3779B97F4A7C15ull;
    std::size_t i = static_cast<std::size_t>(hash >> 40) & mask;
    while (listSlots[i].first && listSlots[i].first != l) i = (i + 1) & mask;
    return i;
  }
  const ListIndex* Find(NameList l) const { return listSlots[SlotOf(l)].second; }

  Indexes() {
    for (const TagDef& d : kTagDatabase) tags.emplace(d.name, &d);  // emplace keeps the first row
    for (const PropertyDef& p : kPropertyDatabase) {
      const int id = propertyIds.emplace(p.name, static_cast<int>(propertyRows.size()));
      if (static_cast<std::size_t>(id) == propertyRows.size()) propertyRows.emplace_back();
      propertyRows[static_cast<std::size_t>(id)].push_back(&p);
    }
    std::vector<std::string> lowered;  // the rows' names, as the members are kept
    for (std::size_t i = 0; i < ownerRows; ++i) lowered.push_back(LowerCopy(kTagDatabase[i].name));
    lists.reserve(kAllNameLists.size());  // the slots point into it
    listSlots.assign(std::bit_ceil(4 * kAllNameLists.size() + 1), {nullptr, nullptr});
    for (NameList l : kAllNameLists) {
      auto& slot = listSlots[SlotOf(l)];
      if (slot.first) continue;
      ListIndex& idx = lists.emplace_back();
      CollectMembers(l, idx.members, 0);
      for (std::size_t i = 0; i < ownerRows; ++i)
        if (idx.members.count(lowered[i])) idx.tags.set(i);
      slot = {l, &idx};
    }
    for (const TagGroup& g : kTagGroups)
      if (const ListIndex* li = Find(g.members)) groups.emplace(g.name, li);
    AnswerOwners();
  }
  void AnswerOwners();
  // `row` below ownerRows, or ownerRows for no owner.
  const PropertyDef* OwnerAnswer(int id, std::size_t row) const {
    const std::uint16_t a = ownerAnswers[static_cast<std::size_t>(id) * (ownerRows + 1) + row];
    return a ? &kPropertyDatabase[a - 1u] : nullptr;
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
      if (const ListIndex* const* g = idx.groups.find(entry)) {
        const ListIndex& li = **g;
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

void Indexes::AnswerOwners() {
  if (kPropertyDatabase.size() >= UINT16_MAX) throw std::length_error("property table too large to index");
  ownerAnswers.assign(propertyRows.size() * (ownerRows + 1), 0);
  for (std::size_t id = 0; id < propertyRows.size(); ++id) {
    for (std::size_t row = 0; row <= ownerRows; ++row) {
      const bool noOwner = row == ownerRows;
      for (const PropertyDef* p : propertyRows[id]) {
        if (!p->owners ||
            (!noOwner && Match(*this, kTagDatabase[row].name, static_cast<long>(row), p->owners))) {
          ownerAnswers[id * (ownerRows + 1) + row] = static_cast<std::uint16_t>(p - kPropertyDatabase.data() + 1);
          break;
        }
      }
    }
  }
}

bool MatchNameList(std::string_view name, NameList list) {
  if (name.empty() || !list) return false;
  Indexes& idx = Index();
  // Tag names are by far the most common question: answer them by row.
  const TagDef* const* t = idx.tags.find(name);
  const long row = t ? TagRowOf(*t) : -1;
  return Match(idx, name, row, list);
}

bool MatchTagDef(const TagDef* def, NameList list) {
  if (!def || !list) return false;
  const long row = TagRowOf(def);
  if (row < 0) return MatchNameList(def->name, list);
  Indexes& idx = Index();
  // The name is only read for a list that is walked.
  if (const ListIndex* li = idx.Find(list)) return li->tags.test(static_cast<std::size_t>(row));
  return MatchWalked(idx, def->name, row, list);
}

const std::bitset<kIndexedTagRows>* TagRowsOfList(NameList list) {
  if (!list) return nullptr;
  const ListIndex* li = Index().Find(list);
  return li ? &li->tags : nullptr;
}

const TagDef* FindTagDef(const TagNode* parent, std::string_view name) {
  Indexes& idx = Index();
  const TagDef* const* found = idx.tags.find(name);
  if (!found) return nullptr;
  return AdmitsChild(parent, *found) ? *found : nullptr;
}

bool AdmitsChild(const TagNode* parent, const TagDef* def) {
  return !(parent && parent->def && parent->def->children && !MatchTagDef(def, parent->def->children));
}

const PropertyDef* FindPropertyDef(std::string_view name, std::string_view ownerTag) {
  const int id = PropertyNameId(name);
  if (id < 0) return nullptr;
  for (const PropertyDef* p : Index().propertyRows[static_cast<std::size_t>(id)])
    if (!p->owners || MatchNameList(ownerTag, p->owners)) return p;
  return nullptr;
}

int PropertyNameId(std::string_view name) {
  const int* id = Index().propertyIds.find(name);
  return id ? *id : -1;
}

std::span<const PropertyDef* const> PropertyRowsNamed(int id) {
  if (id < 0) return {};
  return Index().propertyRows[static_cast<std::size_t>(id)];
}

const PropertyDef* FindPropertyDefForTag(int id, const TagDef* owner) {
  if (id < 0) return nullptr;
  const Indexes& idx = Index();
  const long row = owner ? TagRowOf(owner) : static_cast<long>(idx.ownerRows);
  if (row >= 0) return idx.OwnerAnswer(id, static_cast<std::size_t>(row));
  // A definition beyond the indexed rows: its owners are walked.
  for (const PropertyDef* p : idx.propertyRows[static_cast<std::size_t>(id)])
    if (!p->owners || MatchTagDef(owner, p->owners)) return p;
  return nullptr;
}

const PropertyDef* FindPropertyDefForRow(int id, int tagRow) {
  if (id < 0) return nullptr;
  if (const Indexes& idx = Index(); tagRow >= 0 && static_cast<std::size_t>(tagRow) < idx.ownerRows)
    return idx.OwnerAnswer(id, static_cast<std::size_t>(tagRow));
  if (tagRow >= 0 && static_cast<std::size_t>(tagRow) >= kTagDatabase.size()) return nullptr;  // no such row
  return FindPropertyDefForTag(id, tagRow < 0 ? nullptr : &kTagDatabase[static_cast<std::size_t>(tagRow)]);
}

const PropertyDef* FindPropertyDefForTag(std::string_view name, const TagDef* owner) {
  return FindPropertyDefForTag(PropertyNameId(name), owner);
}

}  // namespace ps
