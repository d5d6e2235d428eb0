// The constant tables that type every node and property.
#pragma once

#include <cstddef>
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

// Every NameList the tables use, so the lookup index can be built once.
extern const std::span<const NameList> kAllNameLists;

// The groups the transformation tests nodes against, as indexed lists.
extern const NameList kBlockTags;
extern const NameList kInlineTags;
extern const NameList kParagraphTags;
extern const NameList kBlockFbTags;
extern const NameList kFontTags;

}  // namespace ps
