#include "support/test_util.h"

#include <gtest/gtest.h>

#include <memory>

#include "reader/reader.h"
#include "run/run.h"
#include "style/cascade.h"
#include "style/page.h"
#include "transform/pass.h"
#include "transform/styled.h"
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

void ExpectSameBlocks(const BlocksInUse& before) {
  const BlocksInUse now;
  EXPECT_EQ(now.nodes, before.nodes);
  EXPECT_EQ(now.properties, before.properties);
  EXPECT_EQ(now.texts, before.texts);
}

std::string ConvertOnThreads(const std::string& html, std::size_t twoThreadsFrom, const std::string& userSheet,
                             bool dropMessages, bool rowsLate) {
  Captured c;
  OutStream noTrace = OutStream::Discard();  // a trace keeps every walk on one thread
  c.ctx.debug = &noTrace;
  OutStream dropped = OutStream::Discard();
  if (dropMessages) c.ctx.message = &dropped;
  c.ctx.twoThreadsFrom = twoThreadsFrom;
  if (twoThreadsFrom <= 1) {
    c.ctx.shareTablesFrom = 0;  // every table may share its rows and measures too
    c.ctx.splitReadingFrom = 0;  // and a second reader starts half way
    c.ctx.splitReadingNear = html.size() / 2 + 1;
    c.ctx.rowsSharedLate = rowsLate;
  }
  c.ctx.documentRoot = CreateDocumentRoot(c.ctx);
  c.ctx.inputName = "page.html";
  c.ctx.fileExists = [](const std::string& path) { return path.find("missing") == std::string::npos; };
  StyleInput in;
  if (!userSheet.empty()) {
    c.ctx.keepUnknownElements = true;
    in.userSheets.push_back({"user.css", userSheet});
  }
  in.documentEncoding = LoadHtmlText(c.ctx, html);
  css::PageSetup page;
  std::unique_ptr<css::ComputedStyles> styles = RunCascade(c.ctx, in, &page);
  c.ctx.page = &page;
  c.ctx.styles = styles.get();
  if (styles) ApplyDisplay(c.ctx);
  ProcessChain(c.ctx, c.ctx.documentRoot);
  std::string fo;
  OutStream out = OutStream::ToString(&fo);
  WriteDocument(c.ctx, out);
  return fo + c.messages;
}

}  // namespace ps::test
