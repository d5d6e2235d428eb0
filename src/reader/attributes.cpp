#include "reader/attributes.h"

#include <string>

namespace ps {

namespace {

inline bool IsTagSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

void AddPropertyByName(Context& ctx, TagProperty*& list, Text name, Text value, const TagDef* tag,
                       PropertyRowFinder find) {
  if (name.null()) return;
  const PropertyDef* def = nullptr;
  for (int hops = 0;; ++hops) {
    def = find(name.view(), tag);
    if (!def) break;
    const char* out = def->outputName;
    if (!out || out[0] != '@') break;
    if (hops == kMaxAliasHops) {
      def = nullptr;
      break;
    }
    ctx.dbg().printf("Processing property \"%s\" like property ", name.c_str());
    ctx.dbg().printf("\"%s\"\n", out + 1);
    name.assign(out + 1);
  }
  if (!def) {
    ctx.msg().printf("\nProperty \"%s\" not found!!!\n", name.c_str());
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

// A character-by-character state machine whose quirks are deliberate: quotes
// are honoured only for white space, '=' always switches to the value, and
// closing a quote gives the pair an (empty) value even in the name.
void ParseAttributes(Context& ctx, TagNode* node) {
  std::string_view raw = node->raw.view();
  std::size_t start = 0;
  while (start < raw.size() && !IsTagSpace(raw[start])) ++start;
  if (start == raw.size()) return;

  Text name, value;
  bool valueMode = false;
  char quote = 0;
  auto emit = [&] {
    AddPropertyByName(ctx, node->props, std::move(name), std::move(value), node->def);
    name = Text();
    value = Text();
    valueMode = false;
  };

  // One pass over the attribute part and its terminating NUL.
  for (std::size_t i = start; i <= raw.size(); ++i) {
    const bool atEnd = i == raw.size();
    const char c = atEnd ? '\0' : raw[i];
    if (atEnd || IsTagSpace(c)) {
      if (valueMode) {
        if (value.null()) continue;
        if (quote && !atEnd) {
          value.push_back(c);
          continue;
        }
        if (value.empty()) value = Text();
        emit();
      } else {
        if (value.has()) continue;
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
        if (value.null()) value.assign("");
        continue;
      }
    } else if (c == '=' && !valueMode) {
      valueMode = true;
      continue;
    }
    if (valueMode)
      value.push_back(c);
    else
      name.push_back(c);
  }
  // Whatever the NUL left unemitted (a name ending in '=', for instance).
  emit();
}

}  // namespace ps
