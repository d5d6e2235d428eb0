#include "transform/pass.h"

#include <atomic>
#include <charconv>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "model/claims.h"
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

void Walk(Context& ctx, TagNode* first, const TagNode* stop, const TagNode* splitParent);

// Whether a child's walk may run beside the walks of the children before
// it: not when it captures the page's title or footer (the first in
// document order counts), nor when it is a table with a caption, which
// moves out before it, next to another child's walk.
bool MayWalkApart(const TagNode* kid) {
  auto captures = [](const TagNode* n) {
    return n->def->leaveHandler == CaptureTitle || n->def->leaveHandler == CaptureFooter;
  };
  static const TagDef* const captionDef = FindTagDef(nullptr, "CAPTION");
  if (captures(kid)) return false;
  if (kid->def->leaveHandler == TableStep2)
    for (const TagNode* c = kid->firstChild; c; c = c->next)
      if (c->def == captionDef) return false;
  std::vector<const TagNode*> chains;
  if (kid->firstChild) chains.push_back(kid->firstChild);
  while (!chains.empty()) {
    const TagNode* n = chains.back();
    chains.pop_back();
    for (; n; n = n->next) {
      if (captures(n)) return false;
      if (n->firstChild) chains.push_back(n->firstChild);
    }
  }
  return true;
}

// The children of one element of a large tree, walked by this thread from
// the first on and by a helper from the last back, each taking the next
// child nobody has taken, until they meet. Every handler changes only its
// node's subtree (and what it inserts after its node, which goes with the
// node), so the two walks touch nothing in common. What they share in the
// context is the helper's own: its messages join this thread's in document
// order once both are done, its tables numbered on from this thread's.
class SplitChildren {
 public:
  SplitChildren(Context& ctx, TagNode* parent, std::vector<TagNode*> kids)
      : ctx_(ctx), kids_(std::move(kids)), claims_(kids_.size()), out_(OutStream::ToString(&messages_)) {
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

  ~SplitChildren() { Join(); }

  void Run() {
    books_ = LendTrees();
    try {
      helper_ = std::thread([this] { HelperWalk(); });
    } catch (const std::system_error&) {
      AdoptTrees(books_);  // no second thread: this one walks them all
    }
    try {
      for (std::size_t k; claims_.Front(k);) WalkKid(ctx_, k);
    } catch (...) {
      stop_.store(true);
      throw;
    }
    Join();
    if (failed_) std::rethrow_exception(failed_);
    // What the helper left (a child it gave back) comes before its part.
    for (std::size_t k; claims_.Front(k);) WalkKid(ctx_, k);
    JoinMessages();
  }

 private:
  // The child and the nodes its handlers put after it, up to the next child.
  void WalkKid(Context& ctx, std::size_t k) {
    Walk(ctx, kids_[k], k + 1 < kids_.size() ? kids_[k + 1] : nullptr, nullptr);
  }

  void HelperWalk() {
    BorrowTrees(books_);
    try {
      for (std::size_t k; !stop_.load() && claims_.Back(k);) {
        if (!MayWalkApart(kids_[k])) {
          claims_.GiveBack(k);
          break;
        }
        Piece piece{k, messages_.size(), 0, numbers_.at.size(), 0};
        WalkKid(own_, k);
        piece.to = messages_.size();
        piece.marksTo = numbers_.at.size();
        pieces_.push_back(piece);
      }
    } catch (...) {
      failed_ = std::current_exception();
    }
    books_ = HandTrees();
  }

  void Join() {
    if (!helper_.joinable()) return;
    helper_.join();
    AdoptTrees(books_);
  }

  // The helper's messages, child by child in document order, its tables
  // numbered on from this thread's count.
  void JoinMessages() {
    std::string joined;
    int number = ctx_.tableCount;
    for (auto p = pieces_.rbegin(); p != pieces_.rend(); ++p) {
      std::size_t done = p->from;
      for (std::size_t m = p->marksFrom; m < p->marksTo; ++m) {
        char digits[16];
        const std::size_t at = numbers_.at[m];
        const auto local = std::to_chars(digits, digits + sizeof digits, static_cast<int>(m + 1)).ptr - digits;
        joined.append(messages_, done, at - done);
        joined.append(digits, std::to_chars(digits, digits + sizeof digits, ++number).ptr);
        done = at + static_cast<std::size_t>(local);
      }
      joined.append(messages_, done, p->to - done);
    }
    ctx_.tableCount = number;
    ctx_.msg().write(joined);
  }

  // The messages of one child the helper walked.
  struct Piece {
    std::size_t kid;
    std::size_t from, to;            // in the helper's messages
    std::size_t marksFrom, marksTo;  // its tables' numbers there
  };

  Context& ctx_;
  std::vector<TagNode*> kids_;
  EndClaims claims_;
  std::atomic<bool> stop_{false};
  std::string messages_;
  OutStream out_;
  TableNumbers numbers_;
  Context own_;
  std::vector<Piece> pieces_;  // in the helper's order: from the last child back
  TreeHandover books_{};       // lent to the helper; then what it hands back
  std::exception_ptr failed_;
  std::thread helper_;
};

// Which element's children a large tree's pass splits between two threads:
// as the other walks split a tree, but not inside a table (a table rebuilds
// what it holds when it is entered).
const TagNode* SplitParentOf(const Context& ctx, TagNode* first) {
  if (ctx.tracing() || ctx.debugLevel) return nullptr;  // the trace keeps its order
  const std::size_t nodes = BlockPool<sizeof(TagNode)>::Live();
  if (nodes < ctx.twoThreadsFrom || nodes >= EndClaims::kMaxItems) return nullptr;
  TagNode* html = first;
  while (html && !html->firstChild) html = html->next;
  if (!html) return nullptr;
  const TagNode* parent = ParentToSplit(html, nodes / 2);
  for (const TagNode* n = parent; n; n = n->parent)
    if (n->def->enterHandler == TableStep1) return nullptr;
  return parent;
}

// Depth first without recursion: a stack of the nodes whose children are
// being walked. The next sibling is read only after the leave handler ran,
// because handlers may insert nodes after their own. The walk ends before
// `stop`, a sibling of the first node (nullptr: at the end of the chain).
void Walk(Context& ctx, TagNode* first, const TagNode* stop, const TagNode* splitParent) {
  std::vector<TagNode*> open;
  TagNode* cur = first;
  for (;;) {
    Enter(ctx, cur);
    if (cur == splitParent && cur->firstChild && cur->firstChild->next) {
      std::vector<TagNode*> kids;
      for (TagNode* c = cur->firstChild; c; c = c->next) kids.push_back(c);
      SplitChildren(ctx, cur, std::move(kids)).Run();
    } else if (cur->firstChild) {
      open.push_back(cur);
      cur = cur->firstChild;
      continue;
    }
    for (;;) {
      Leave(ctx, cur);
      TagNode* next = cur->next;
      if (open.empty() && next == stop) return;
      if (next) {
        cur = next;
        break;
      }
      if (open.empty()) return;
      cur = open.back();
      open.pop_back();
    }
  }
}

}  // namespace

void ProcessChain(Context& ctx, TagNode* first) {
  if (!first) return;
  Walk(ctx, first, nullptr, SplitParentOf(ctx, first));
}

}  // namespace ps
