#include "transform/pass.h"

#include <charconv>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "model/handlers.h"
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

namespace {

// Whether the walk of these nodes (the first and its following siblings,
// with their subtrees) may run beside the walk of everything before them.
// It may not when one of them captures the page's title or footer (the
// first in document order counts) or when one of the siblings is a table
// with a caption, which moves out before it, next to the other part.
bool MayWalkApart(const TagNode* first) {
  std::vector<const TagNode*> chains{first};
  while (!chains.empty()) {
    const TagNode* n = chains.back();
    chains.pop_back();
    for (; n; n = n->next) {
      const TagDef* d = n->def;
      if (d->leaveHandler == CaptureTitle || d->leaveHandler == CaptureFooter) return false;
      if (n->firstChild) chains.push_back(n->firstChild);
    }
  }
  static const TagDef* const captionDef = FindTagDef(nullptr, "CAPTION");
  for (const TagNode* n = first; n; n = n->next)
    if (n->def->leaveHandler == TableStep2)
      for (const TagNode* c = n->firstChild; c; c = c->next)
        if (c->def == captionDef) return false;
  return true;
}

// A helper's part of the pass over a large tree: the children of one
// element from a given child on. Every handler changes only its node's
// subtree (and what it inserts after its node), so the two parts touch
// nothing in common; what they share in the context is the helper's own
// here: its messages join this thread's in order, its tables are numbered
// on from this thread's.
class ChainHelper {
 public:
  // nullptr when no second thread is to be had.
  static std::unique_ptr<ChainHelper> Start(Context& ctx, TagNode* from) {
    auto h = std::unique_ptr<ChainHelper>(new ChainHelper(ctx));
    h->books_ = LendTrees();
    try {
      ChainHelper* self = h.get();
      h->thread_ = std::thread([self, from] { self->Walk(from); });
    } catch (const std::system_error&) {
      AdoptTrees(h->books_);
      return nullptr;
    }
    return h;
  }

  // Waits for the helper; false when it left its part to this thread.
  bool Finish(Context& ctx) {
    Join();
    if (failed_) std::rethrow_exception(failed_);
    if (declined_) return false;
    ctx.tableCount += own_.tableCount;
    // Its tables were numbered from 1: from here they go on from this thread's count.
    std::string joined;
    std::size_t done = 0;
    int number = 0;
    for (const std::size_t at : numbers_.at) {
      char digits[16];
      const auto local = std::to_chars(digits, digits + sizeof digits, ++number).ptr - digits;
      joined.append(messages_, done, at - done);
      const auto whole = std::to_chars(digits, digits + sizeof digits, ctx.tableCount - own_.tableCount + number).ptr;
      joined.append(digits, whole);
      done = at + static_cast<std::size_t>(local);
    }
    joined.append(messages_, done);
    ctx.msg().write(joined);
    return true;
  }

  ~ChainHelper() { Join(); }

 private:
  explicit ChainHelper(const Context& ctx) : out_(OutStream::ToString(&messages_)) {
    own_.message = &out_;
    own_.debug = ctx.debug;  // discards (a traced pass stays on one thread)
    own_.debugLevel = ctx.debugLevel;
    own_.reportPropertyFailures = ctx.reportPropertyFailures;
    own_.documentRoot = ctx.documentRoot;
    own_.inputName = ctx.inputName;
    own_.fileExists = ctx.fileExists;
    own_.utf8Output = ctx.utf8Output;
    own_.keepUnknownElements = ctx.keepUnknownElements;
    own_.tableDepth = ctx.tableDepth;
    own_.autoTableLayout = ctx.autoTableLayout;
    own_.tableLayoutIsAuto = ctx.tableLayoutIsAuto;
    own_.page = ctx.page;
    own_.styles = ctx.styles;
    own_.twoThreadsFrom = static_cast<std::size_t>(-1);
    numbers_.messages = &messages_;
    own_.tableNumbers = &numbers_;
  }

  void Walk(TagNode* from) {
    BorrowTrees(books_);
    try {
      if (MayWalkApart(from))
        ProcessChain(own_, from);
      else
        declined_ = true;
    } catch (...) {
      failed_ = std::current_exception();
    }
    books_ = HandTrees();
  }

  void Join() {
    if (!thread_.joinable()) return;
    thread_.join();
    AdoptTrees(books_);
  }

  std::string messages_;
  OutStream out_;
  TableNumbers numbers_;
  Context own_;
  TreeHandover books_{};  // lent to the helper; then what it hands back
  std::exception_ptr failed_;
  bool declined_ = false;
  std::thread thread_;
};

// Where a large tree's pass splits: as the other walks split it, but not
// inside a table (a table rebuilds what it holds when it is entered).
TreeSplit ChainSplitOf(const Context& ctx, TagNode* first) {
  if (ctx.tracing() || ctx.debugLevel) return {};  // the trace keeps its order
  const std::size_t nodes = BlockPool<sizeof(TagNode)>::Live();
  if (nodes < ctx.twoThreadsFrom) return {};
  TagNode* html = first;
  while (html && !html->firstChild) html = html->next;
  if (!html) return {};
  TreeSplit split = SplitNearMiddle(html, nodes / 2);
  for (const TagNode* n = split.parent; n; n = n->parent)
    if (n->def->enterHandler == TableStep1) return {};
  if (split.parent && split.parent->firstChild == split.from) return {};  // nothing before it here
  return split;
}

}  // namespace

// Depth first without recursion: a stack of the nodes whose children are
// being walked. The next sibling is read only after the leave handler ran,
// because handlers may insert nodes after their own. A large tree's walk
// hands the later children of one element to a helper.
void ProcessChain(Context& ctx, TagNode* first) {
  if (!first) return;
  const TreeSplit split = ChainSplitOf(ctx, first);
  std::unique_ptr<ChainHelper> helper;
  std::vector<TagNode*> open;
  TagNode* cur = first;
  for (;;) {
    Enter(ctx, cur);
    if (cur->firstChild) {
      open.push_back(cur);
      if (cur == split.parent && split.from->parent == cur && cur->firstChild != split.from)
        helper = ChainHelper::Start(ctx, split.from);
      cur = cur->firstChild;
      continue;
    }
    for (;;) {
      Leave(ctx, cur);
      TagNode* next = cur->next;
      if (helper && next == split.from) {
        if (helper->Finish(ctx)) next = nullptr;  // the helper walked the rest of the parent's children
        helper.reset();
      }
      if (next) {
        cur = next;
        break;
      }
      if (open.empty()) return;
      cur = open.back();
      open.pop_back();
      // Not met on the way (no handler takes siblings away): the helper
      // must be done before the parent is left all the same.
      if (helper && cur == split.parent) {
        helper->Finish(ctx);
        helper.reset();
      }
    }
  }
}

}  // namespace ps
