// Attribute lists and named properties: turns "NAME=value" pairs into
// properties typed by the property table, following its aliases.
#pragma once

#include <optional>
#include <string_view>

#include "model/tree.h"

namespace ps {

// The row lookup AddPropertyByName walks; replaceable so that alias chains
// that the real table lacks (cycles) can be exercised.
using PropertyRowFinder = const PropertyDef* (*)(std::string_view name, const TagDef* owner);

// An alias chain longer than this counts as not found, so a cycle cannot hang a run.
constexpr int kMaxAliasHops = 16;

// Splits the attribute part of the node's raw tag text (from its first white
// space on) into pairs and adds one property per pair.
void ParseAttributes(Context& ctx, TagNode* node);

// Pushes a new property of the first row that has the name and admits the tag
// (following '@' aliases) onto `list`, or reports the name as not found. Both
// texts are consumed; an absent name adds nothing.
void AddPropertyByName(Context& ctx, Link<TagProperty>& list, Text name, Text value, const TagDef* tag,
                       PropertyRowFinder find = FindPropertyDefForTag);
// The same for a name that is only looked at (nullopt: no name).
void AddPropertyByName(Context& ctx, Link<TagProperty>& list, std::optional<std::string_view> name, Text value,
                       const TagDef* tag, PropertyRowFinder find = FindPropertyDefForTag);

}  // namespace ps
