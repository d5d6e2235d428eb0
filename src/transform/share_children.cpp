#include "transform/share_children.h"

#include <atomic>
#include <charconv>
#include <exception>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "model/claims.h"

namespace ps {

namespace {

class Sharing {
 public:
  Sharing(Context& ctx, std::size_t count, const std::function<void(Context&, std::size_t, bool)>& work,
          const std::function<bool(std::size_t)>& helperMay)
      : ctx_(ctx), work_(work), helperMay_(helperMay), claims_(count), out_(OutStream::ToPieces(&messages_)) {
    // Messages nobody sees are not kept either.
    if (ctx.message && ctx.message->discards()) out_ = OutStream::Discard();
    own_.message = &out_;
    own_.debug = ctx.debug;
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
    own_.twoThreadsFrom = static_cast<std::size_t>(-1);  // no helper of its own
    own_.inputBytes = ctx.inputBytes;
    own_.shareTablesFrom = ctx.shareTablesFrom;
    own_.rowsSharedLate = ctx.rowsSharedLate;
    own_.sidesTaking = &sidesTaking_;
    // Inside a table the children are rows, whose nested tables were
    // measured with the table (no thread forgets them below its top).
    if (ctx.tableDepth > 0) own_.nestedTableMeasures = ctx.nestedTableMeasures;
    numbers_.messages = &messages_;
    own_.tableNumbers = &numbers_;
  }

  ~Sharing() { Join(); }

  void Run() {
    books_ = LendTrees();
    try {
      helper_ = std::thread([this] { Help(); });
    } catch (const std::system_error&) {
      AdoptTrees(books_);  // no second thread: this one does them all
    }
    const std::atomic<int>* outer = ctx_.sidesTaking;
    ctx_.sidesTaking = helper_.joinable() ? &sidesTaking_ : nullptr;
    try {
      for (std::size_t k; claims_.Front(k);) work_(ctx_, k, false);
    } catch (...) {
      ctx_.sidesTaking = outer;
      stop_.store(true);
      throw;
    }
    sidesTaking_.fetch_sub(1);
    ctx_.sidesTaking = outer;
    Join();
    if (failed_) std::rethrow_exception(failed_);
    // A child the helper gave back comes before its part.
    for (std::size_t k; claims_.Front(k);) work_(ctx_, k, false);
    JoinMessages();
  }

 private:
  void Help() {
    BorrowTrees(books_);
    try {
      for (std::size_t k; !stop_.load() && claims_.Back(k);) {
        if (helperMay_ && !helperMay_(k)) {
          claims_.GiveBack(k);
          break;
        }
        Piece piece{messages_.size(), 0, numbers_.at.size(), 0};
        work_(own_, k, true);
        piece.to = messages_.size();
        piece.marksTo = numbers_.at.size();
        pieces_.push_back(piece);
      }
    } catch (...) {
      failed_ = std::current_exception();
    }
    sidesTaking_.fetch_sub(1);
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
    if (pieces_.empty()) return;
    OutStream& out = ctx_.msg();
    int number = ctx_.tableCount;
    if (out.discards()) {  // only the tables to count
      for (std::size_t m = 0; m < numbers_.at.size(); ++m, ++number)
        if (TableNumbers* outer = ctx_.tableNumbers) outer->at.push_back(outer->messages->size());
      ctx_.tableCount = number;
      return;
    }
    for (auto p = pieces_.rbegin(); p != pieces_.rend(); ++p) {
      std::size_t done = p->from;
      for (std::size_t m = p->marksFrom; m < p->marksTo; ++m) {
        char digits[16];
        const std::size_t at = numbers_.at[m];
        const auto local = std::to_chars(digits, digits + sizeof digits, static_cast<int>(m + 1)).ptr - digits;
        messages_.WriteRange(out, done, at);
        // A helper's own sharing: its numbers are the helper's to renumber.
        if (TableNumbers* outer = ctx_.tableNumbers) outer->at.push_back(outer->messages->size());
        out.write(std::string_view(digits, std::to_chars(digits, digits + sizeof digits, ++number).ptr - digits));
        done = at + static_cast<std::size_t>(local);
      }
      messages_.WriteRange(out, done, p->to);
    }
    ctx_.tableCount = number;
  }

  // The messages of one child the helper did.
  struct Piece {
    std::size_t from, to;            // in the helper's messages
    std::size_t marksFrom, marksTo;  // its tables' numbers there
  };

  Context& ctx_;
  const std::function<void(Context&, std::size_t, bool)>& work_;
  const std::function<bool(std::size_t)>& helperMay_;
  EndClaims claims_;
  std::atomic<bool> stop_{false};
  std::atomic<int> sidesTaking_{2};
  PieceText messages_;
  OutStream out_;
  TableNumbers numbers_;
  Context own_;
  std::vector<Piece> pieces_;  // in the helper's order: from the last child back
  TreeHandover books_{};       // lent to the helper; then what it hands back
  std::exception_ptr failed_;
  std::thread helper_;
};

}  // namespace

void ShareChildren(Context& ctx, std::size_t count, const std::function<void(Context&, std::size_t, bool)>& work,
                   const std::function<bool(std::size_t)>& helperMay) {
  if (count >= EndClaims::kMaxItems) {
    for (std::size_t k = 0; k < count; ++k) work(ctx, k, false);
    return;
  }
  Sharing(ctx, count, work, helperMay).Run();
}

bool MayShareTable(const Context& ctx, const TagNode* from, const TagNode* through) {
  if (!ctx.sidesTaking || !from->hasPosition()) return false;
  if (ctx.shareTablesFrom == 0) return true;  // every table, whoever is idle (for tests)
  if (ctx.sidesTaking->load(std::memory_order_relaxed) > 1) return false;
  // The subtree ends where the input goes on after it.
  while (through && !through->next) through = through->parent;
  const std::uint64_t end = through ? PositionFrom(through->next, ctx.inputBytes) : ctx.inputBytes;
  return end > from->position() && end - from->position() >= ctx.shareTablesFrom;
}

bool MayShareRowsFrom(const Context& ctx, const TagNode* body, const TagNode* row) {
  static const TagDef* const bodyDef = FindTagDef(nullptr, "XML-TABLE-BODY");
  return body->def == bodyDef && ctx.sidesTaking && row->parent == body && row->next && MayShareTable(ctx, row, body);
}

bool MayShareRows(const Context& ctx, const TagNode* body) {
  return !ctx.rowsSharedLate && body->firstChild && MayShareRowsFrom(ctx, body, body->firstChild);
}

const TagNode* SplitParentFor(const Context& ctx, TagNode* top) {
  if (!top || ctx.tracing() || ctx.debugLevel) return nullptr;
  const std::size_t nodes = BlockPool<sizeof(TagNode)>::Live();
  if (nodes < ctx.twoThreadsFrom) return nullptr;
  // Where the tags began tells without a walk of the whole tree; a tree
  // read from no input is counted.
  return ctx.inputBytes ? ParentToSplitAt(top, ctx.inputBytes) : ParentToSplit(top, nodes / 2);
}

}  // namespace ps
