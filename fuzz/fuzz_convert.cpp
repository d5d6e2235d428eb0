// libFuzzer entry: one whole conversion in memory, as the executable runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "model/tree.h"
#include "reader/reader.h"
#include "run/run.h"
#include "style/cascade.h"
#include "style/computed.h"
#include "transform/pass.h"
#include "writer/writer.h"

namespace {

// The phases of a run with every table laid out from its content, which
// without style sheets no command line asks for, and with elements without
// a row kept, as a user style sheet has them; the document is written by
// one thread and by two. The walks that can take a second thread take one
// from `twoThreadsFrom` nodes on. The FO and the messages.
std::string ConvertWithAutomaticTables(std::string_view html, std::size_t twoThreadsFrom) {
  std::string fo, messages;
  ps::OutStream msg = ps::OutStream::ToString(&messages);
  ps::OutStream dbg = ps::OutStream::Discard();
  ps::OutStream out = ps::OutStream::ToString(&fo);
  ps::Context ctx;
  ctx.message = &msg;
  ctx.debug = &dbg;
  ctx.autoTableLayout = true;
  ctx.keepUnknownElements = true;
  ctx.twoThreadsFrom = twoThreadsFrom;
  if (twoThreadsFrom <= 1) {  // a second reader from a third of the way on
    ctx.splitReadingFrom = 0;
    ctx.splitReadingNear = html.size() / 3 + 1;
  }
  ctx.documentRoot = ps::CreateDocumentRoot(ctx);
  ps::LoadHtmlText(ctx, html);
  ps::ProcessChain(ctx, ctx.documentRoot);
  ps::WriteDocument(ctx, out);
  // Written again with a helper thread sharing the work (writing segments,
  // or the bytes where no segments can be cut): the same bytes.
  std::string shared;
  ps::OutStream toShared = ps::OutStream::ToString(&shared);
  ps::WriteDocument(ctx, toShared, 1, nullptr, true);
  if (shared != fo) {
    std::fprintf(stderr, "two writers disagree\n");
    std::abort();
  }
  ps::FreeTree(ctx.documentRoot);
  return fo + messages;
}

// The cascade walked by one thread and by two (from the element half way
// through): every element must get the same values either way.
void CascadeOnceAndInTwo(std::string_view html) {
  std::string messages;
  ps::OutStream msg = ps::OutStream::ToString(&messages);
  ps::OutStream dbg = ps::OutStream::Discard();
  ps::Context ctx;
  ctx.message = &msg;
  ctx.debug = &dbg;
  ctx.keepUnknownElements = true;
  ctx.documentRoot = ps::CreateDocumentRoot(ctx);
  ps::LoadHtmlText(ctx, html);
  ps::StyleInput one, two;
  one.userSheets.push_back({"user.css", "p, td { color: red } :first-child + * { font-size: 20pt } * { --x: 1 }"});
  two.userSheets = one.userSheets;
  one.twoThreadsFrom = static_cast<std::size_t>(-1);
  two.twoThreadsFrom = 1;
  const auto a = ps::RunCascade(ctx, one);
  const auto b = ps::RunCascade(ctx, two);
  std::vector<const ps::TagNode*> todo{ctx.documentRoot};
  while (!todo.empty()) {
    const ps::TagNode* n = todo.back();
    todo.pop_back();
    const ps::css::Computed* x = a->Find(n);
    const ps::css::Computed* y = b->Find(n);
    if ((x == nullptr) != (y == nullptr) || (x && !(*x == *y))) {
      std::fprintf(stderr, "two walks of the cascade disagree\n");
      std::abort();
    }
    if (n->next) todo.push_back(n->next);
    if (n->firstChild) todo.push_back(n->firstChild);
  }
  ps::FreeTree(ctx.documentRoot);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Nodes, properties and texts come from pools that the leak checker cannot
  // see into: a conversion must give back every block it took.
  const std::size_t nodes = ps::BlockPool<sizeof(ps::TagNode)>::Live();
  const std::size_t props = ps::BlockPool<sizeof(ps::TagProperty)>::Live();
  const std::size_t texts = ps::TextArena::Live();
  std::string fo;
  std::string messages;
  const std::string_view html(reinterpret_cast<const char*>(data), size);
  ps::ConvertBuffer(html, &fo, &messages);
  // Every other input once more with the automatic table layout.
  // Of those, every other one with the passes on two threads as well.
  if (size > 0 && (data[0] & 1) != 0) {
    const std::string one = ConvertWithAutomaticTables(html, static_cast<std::size_t>(-1));
    if ((data[0] & 8) != 0 && ConvertWithAutomaticTables(html, 1) != one) {
      std::fprintf(stderr, "two walks of the passes disagree\n");
      std::abort();
    }
  }
  if (size > 0 && (data[0] & 6) == 6) CascadeOnceAndInTwo(html);
  if (ps::BlockPool<sizeof(ps::TagNode)>::Live() != nodes || ps::BlockPool<sizeof(ps::TagProperty)>::Live() != props ||
      ps::TextArena::Live() != texts) {
    std::fprintf(stderr, "tree blocks leaked\n");
    std::abort();
  }
  return 0;
}
