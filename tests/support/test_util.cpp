#include "support/test_util.h"

#include "writer/writer.h"

namespace ps::test {

Captured::~Captured() {
  FreeTree(ctx.documentRoot);
  ctx.documentRoot = nullptr;
}

TagNode* Node(const char* tag) { return NewNode(FindTagDef(nullptr, tag)); }

TagNode* Child(TagNode* parent, const char* tag) {
  TagNode* c = Node(tag);
  LinkLastChild(parent, c);
  return c;
}

std::string Write(const TagNode* n) {
  std::string out;
  WriteNode(out, n);
  return out;
}

std::string PropNames(const TagNode* n) {
  std::string s;
  for (const TagProperty* p = n->props; p; p = p->next) {
    if (!s.empty()) s += ' ';
    s += p->def->name;
  }
  return s;
}

}  // namespace ps::test
