#include "transform/pass.h"

#include <string>
#include <vector>

#include "model/tables.h"

namespace ps {

void ReportConversionFailure(Context& ctx, const TagNode* node, const TagProperty* prop) {
  ctx.msg().printf("Property \"%s\" (Value \"%s\") within tag \"%s\" was not correct converted!\n",
                   prop->def->name, prop->value.or_empty(), node->raw.or_empty());
}

namespace {

// A default row with its property name looked up once.
struct DefaultRow {
  PropertyName property;
  const char* value;  // may be nullptr
};

std::vector<DefaultRow> DefaultRowsNamed(const char* name) {
  std::vector<DefaultRow> rows;
  for (const DefaultProperty& row : kDefaultProperties)
    if (EqualsNoCase(row.tag, name)) rows.push_back({PropertyName(row.property), row.value});
  return rows;
}

// The default rows of a tag of the tag table, in table order, by the tag's
// row. Every node asks, and those rows never change, so they are kept.
const std::vector<DefaultRow>& KnownDefaultRows(std::size_t row) {
  static const std::vector<std::vector<DefaultRow>> known = [] {
    std::vector<std::vector<DefaultRow>> rows;
    for (const TagDef& def : kTagDatabase) rows.push_back(DefaultRowsNamed(def.name));
    return rows;
  }();
  return known[row];
}

}  // namespace

void ApplyDefaultProperties(Context& ctx, TagNode* node) {
  const int tagRow = node->def.index();  // every node's row is in the tag table
  if (tagRow < 0) return;
  for (const DefaultRow& row : KnownDefaultRows(static_cast<std::size_t>(tagRow))) {
    if (row.value) {
      if (TagProperty* p = CreateProperty(ctx, node, row.property)) p->value.assign(row.value);
    } else {
      CreateProperty(ctx, node, row.property);
    }
  }
}

namespace {

// Everything the pass does at a node before walking its children.
void Enter(Context& ctx, TagNode* node) {
  const bool debug = ctx.debugLevel != 0;
  if (debug) ctx.dbg().printf("<%s>\n", node->raw.or_empty());
  TagProperty* arrived = node->props;
  // The input position is listed as the property it stands for.
  if (debug && node->hasPosition())
    ctx.dbg().printf("\"html-filepos\" : \"%llu\"@%8p\n", static_cast<unsigned long long>(node->position()),
                     static_cast<const void*>(node->position_));
  if (node->def->enterHandler) node->def->enterHandler(ctx, node);
  ApplyDefaultProperties(ctx, node);
  for (TagProperty* p = arrived; p; p = p->next) {
    if (debug)
      ctx.dbg().printf("\"%s\" : \"%s\"@%8p\n", p->def->name, p->value.or_empty(),
                       static_cast<const void*>(p->value.c_str()));
    if (!p->def->converter) continue;
    if (!p->def->converter(ctx, node, p)) ReportConversionFailure(ctx, node, p);
    if (debug)
      ctx.dbg().printf("%*s : \"%s\"@%8p\n", static_cast<int>(std::string_view(p->def->name).size() + 2), "",
                       p->value.or_empty(), static_cast<const void*>(p->value.c_str()));
  }
  if (debug) ctx.dbg().write(node->text.view());
}

void Leave(Context& ctx, TagNode* node) {
  if (ctx.debugLevel) ctx.dbg().write(node->tail.view());
  if (node->def->leaveHandler) node->def->leaveHandler(ctx, node);
}

}  // namespace

// Depth first without recursion: a stack of the nodes whose children are
// being walked. The next sibling is read only after the leave handler ran,
// because handlers may insert nodes after their own.
void ProcessChain(Context& ctx, TagNode* first) {
  if (!first) return;
  std::vector<TagNode*> open;
  TagNode* cur = first;
  for (;;) {
    Enter(ctx, cur);
    if (cur->firstChild) {
      open.push_back(cur);
      cur = cur->firstChild;
      continue;
    }
    for (;;) {
      Leave(ctx, cur);
      if (cur->next) {
        cur = cur->next;
        break;
      }
      if (open.empty()) return;
      cur = open.back();
      open.pop_back();
    }
  }
}

}  // namespace ps
