// The constant tables that type every node and property.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

#include "model/tree.h"

namespace ps {

struct TagGroup {
  const char* name;
  NameList members;
};

struct DefaultProperty {
  const char* tag;
  const char* property;
  const char* value;  // may be nullptr
};

extern const std::span<const TagDef> kTagDatabase;
extern const std::span<const TagGroup> kTagGroups;
extern const std::span<const DefaultProperty> kDefaultProperties;
extern const std::span<const PropertyDef> kPropertyDatabase;

// The row of a definition in its table, or -1 for one defined elsewhere
// (tests and converters may make their own), so that what is worked out
// once per row can be kept in an array.
template <class Def>
std::ptrdiff_t RowIn(std::span<const Def> table, const Def* def) {
  const std::less<const Def*> before;
  if (before(def, table.data()) || !before(def, table.data() + table.size())) return -1;
  return def - table.data();
}
inline std::ptrdiff_t RowOf(const TagDef* def) { return RowIn(kTagDatabase, def); }
inline std::ptrdiff_t RowOf(const PropertyDef* def) { return RowIn(kPropertyDatabase, def); }

// Every NameList the tables use, so the lookup index can be built once.
extern const std::span<const NameList> kAllNameLists;

// The groups the transformation tests nodes against, as indexed lists.
extern const NameList kBlockTags;
extern const NameList kInlineTags;
extern const NameList kParagraphTags;
extern const NameList kBlockFbTags;
extern const NameList kFontTags;

}  // namespace ps
