#include "reader/attributes.h"

#include <string>

namespace ps {

namespace {

inline bool IsTagSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

void AddPropertyByName(Context& ctx, Link<TagProperty>& list, std::optional<std::string_view> name, Text value,
                       const TagDef* tag, PropertyRowFinder find) {
  if (!name) return;
  std::string_view n = *name;
  const PropertyDef* def = nullptr;
  for (int hops = 0;; ++hops) {
    def = find(n, tag);
    if (!def) break;
    const char* out = def->outputName;
    if (!out || out[0] != '@') break;
    if (hops == kMaxAliasHops) {
      def = nullptr;
      break;
    }
    const std::string shown(n);
    ctx.dbg().printf("Processing property \"%s\" like property ", shown.c_str());
    ctx.dbg().printf("\"%s\"\n", out + 1);
    n = out + 1;
  }
  if (!def) {
    const std::string shown(n);
    ctx.msg().printf("\nProperty \"%s\" not found!!!\n", shown.c_str());
    if (value.has()) ctx.msg().printf("Value %s ", value.c_str());
    ctx.msg().printf("Tag %s", tag ? tag->name : "");
    ctx.msg().write("\n\n");
    return;
  }
  TagProperty* p = new TagProperty;
  p->def = def;
  p->value = std::move(value);
  p->next = list;
  list = p;
}

void AddPropertyByName(Context& ctx, Link<TagProperty>& list, Text name, Text value, const TagDef* tag,
                       PropertyRowFinder find) {
  std::optional<std::string_view> n;
  if (name.has()) n = name.view();
  AddPropertyByName(ctx, list, n, std::move(value), tag, find);
}

namespace {

// Of an attribute given twice, the one read last is the one the property
// lookup finds first; every later step (table spans, link targets, the
// writer) must see that same one, so the earlier one goes. A node holds at
// most one property per row, so the walk is bounded by the table's size.
void DropEarlierDuplicate(TagNode* node) {
  TagProperty* added = node->props;
  for (TagProperty* p = added->next; p; p = p->next) {
    if (p->def != added->def) continue;
    UnlinkProperty(node, p);
    FreeProperty(p);
    return;
  }
}

}  // namespace

// A character-by-character state machine whose quirks are deliberate: quotes
// are honoured only for white space, '=' always switches to the value, and
// closing a quote gives the pair an (empty) value even in the name.
void ParseAttributes(Context& ctx, TagNode* node) {
  std::string_view raw = node->raw.view();
  std::size_t start = 0;
  while (start < raw.size() && !IsTagSpace(raw[start])) ++start;
  if (start == raw.size()) return;

  // Built in scratch buffers; a text is made only for a value that is kept.
  std::string name, value;
  bool hasName = false, hasValue = false;
  bool valueMode = false;
  char quote = 0;
  auto emit = [&] {
    if (hasName) {
      Text v;
      if (hasValue) v.assign(value);
      TagProperty* before = node->props;
      AddPropertyByName(ctx, node->props, std::optional<std::string_view>(name), std::move(v), node->def);
      if (node->props != before) DropEarlierDuplicate(node);
    }
    name.clear();
    value.clear();
    hasName = hasValue = valueMode = false;
  };

  // One pass over the attribute part and its terminating NUL.
  for (std::size_t i = start; i <= raw.size(); ++i) {
    const bool atEnd = i == raw.size();
    const char c = atEnd ? '\0' : raw[i];
    if (atEnd || IsTagSpace(c)) {
      if (valueMode) {
        if (!hasValue) continue;
        if (quote && !atEnd) {
          value.push_back(c);
          continue;
        }
        if (value.empty()) hasValue = false;
        emit();
      } else {
        if (hasValue) continue;
        if (quote && !atEnd) continue;
        emit();
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      if (!quote) {
        quote = c;
        continue;
      }
      if (quote == c) {
        quote = 0;
        hasValue = true;
        continue;
      }
    } else if (c == '=' && !valueMode) {
      valueMode = true;
      continue;
    }
    if (valueMode) {
      value.push_back(c);
      hasValue = true;
    } else {
      name.push_back(c);
      hasName = true;
    }
  }
  // Whatever the NUL left unemitted (a name ending in '=', for instance).
  emit();
}

}  // namespace ps
