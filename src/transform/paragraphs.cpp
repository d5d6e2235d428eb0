#include "transform/paragraphs.h"

#include "model/tables.h"

namespace ps {

namespace {

const char* const kBlockList[] = {"%BLOCK;", nullptr};
const char* const kInlineList[] = {"%INLINE;", nullptr};

// Holds a character other than blank, tab, line feed and carriage return.
bool HasContent(const Text& t) {
  for (char c : t.view())
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return true;
  return false;
}

}  // namespace

bool InsertParagraphs(Context& ctx, int depth, TagNode* node) {
  (void)ctx;
  if (!node || MatchNameList(node->def->name, kBlockList)) return false;
  bool mixed = HasContent(node->text);
  for (TagNode* c = node->firstChild; c; c = c->next) {
    if (!MatchNameList(c->def->name, kBlockList) && MatchNameList(c->def->name, kInlineList))
      mixed = true;
    else if (!mixed)
      mixed = InsertParagraphs(ctx, depth + 1, c);
    if (HasContent(c->tail)) mixed = true;
  }
  if (!mixed) return false;
  if (depth > 0 && !node->def->outputName) return true;
  WrapChildren(node, "P");
  return false;
}

}  // namespace ps
