#include "writer/writer.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/tables.h"
#include "writer/entities.h"
#include "writer/fo_values.h"
#include "writer/svg.h"
#include "writer/write_behind.h"
#include "writer/uri.h"

namespace ps {

namespace {

// The output goes to the system a megabyte at a time: a large FO in smaller
// pieces costs thousands of system calls.
constexpr std::size_t kFlushAt = std::size_t{1} << 20;

bool IsXmlWhite(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

bool Is(const TagDef* d, const char* name) { return std::strcmp(d->name, name) == 0; }

bool IsDeclarationOrComment(const TagDef* d) { return Is(d, "XML-?") || Is(d, "!--"); }

bool StartsWith(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// Elements in which XSL-FO admits only blocks: inline content there is
// wrapped in a block, and an empty one gets an empty block.
bool IsBlockContainer(const char* element) {
  return std::strcmp(element, "fo:flow") == 0 || std::strcmp(element, "fo:static-content") == 0 ||
         std::strcmp(element, "fo:table-cell") == 0 || std::strcmp(element, "fo:list-item-label") == 0 ||
         std::strcmp(element, "fo:list-item-body") == 0;
}

bool IsInlineElement(const char* element) {
  return StartsWith(element, "fo:inline") || StartsWith(element, "fo:basic-link") ||
         StartsWith(element, "fo:external-graphic") ||
         StartsWith(element, "fo:instream-foreign-object") || StartsWith(element, "fo:leader");
}

// FOP accepts only a positive whole number as a span: a span is written as
// the table code reads it (C notation, at most the limit), and one below 1 or
// without digits is left out.
constexpr long long kMaxSpan = 1000;
bool SpanValue(std::string& value, long long limit) {
  errno = 0;
  char* end = nullptr;
  long long n = std::strtoll(value.c_str(), &end, 0);
  if (end == value.c_str() || n < 1) return false;
  if (errno == ERANGE || n > limit) n = limit;
  value = std::to_string(n);
  return true;
}

// A comment read from the HTML, rewritten so that it is a well-formed XML
// comment whatever it held ("--" inside, a '-' at its end, a cut-off "<!--[if").
void WriteRawComment(std::string& out, std::string_view raw, OutputEncoding enc) {
  std::string_view body = raw.substr(3);
  if (body.size() >= 2 && body.substr(body.size() - 2) == "--") body.remove_suffix(2);
  out.append("<!--");
  char prev = 0;
  std::string safe;
  if (enc == OutputEncoding::Utf8) {
    AppendXmlSafeUtf8(body, safe);
    body = safe;
  }
  for (char c : body) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 0x01 && u <= 0x08) || u == 0x0B || u == 0x0C || (u >= 0x0E && u <= 0x1F)) c = ' ';
    if (c == '-' && prev == '-') out.push_back(' ');
    out.push_back(c);
    prev = c;
  }
  if (prev == '-') out.push_back(' ');
  out.append("-->");
}

enum class Kind { Text, White, Inline, Block, Neutral };

// What the writer needs to know of an element name, a tag row or an
// attribute name. A document repeats a few dozen of them millions of times,
// so for the rows of the tables it is worked out once, by row.
struct ElementInfo {
  Kind kind;
  bool container;  // admits only blocks
  bool textless;   // admits neither text nor inline elements
};

// Elements of the page and table structure, whose content XSL-FO restricts to
// certain elements: FOP passes over stray text in them but rejects an inline
// element, such as the one a kept space is written as. The outline's titles
// and the metadata hold text only, so theirs is written bare as well.
bool IsTextless(std::string_view element) {
  static constexpr std::string_view kTextless[] = {
      "fo:root",  "fo:layout-master-set", "fo:simple-page-master", "fo:page-sequence", "fo:table",
      "fo:table-body", "fo:table-header", "fo:table-footer", "fo:table-row", "fo:list-block", "fo:list-item",
      "fo:declarations", "x:xmpmeta", "rdf:RDF", "rdf:Description", "dc:title", "dc:language",
      "fo:bookmark-tree", "fo:bookmark", "fo:bookmark-title"};
  for (std::string_view t : kTextless)
    if (element == t) return true;
  return false;
}

ElementInfo ElementInfoOf(const char* element) {
  // A wrapper (a link target) holds nothing: it neither opens nor ends a block.
  const bool neutral = StartsWith(element, "!--") || StartsWith(element, "fo:wrapper");
  return {IsInlineElement(element) ? Kind::Inline : neutral ? Kind::Neutral : Kind::Block,
          IsBlockContainer(element), IsTextless(element)};
}

// What a row is written as, for laying out cell spans as FOP does.
enum class TablePart { None, Column, Body, Row, Cell };

TablePart TablePartOf(std::string_view element) {
  if (element == "fo:table-column") return TablePart::Column;
  // A header and a footer end row spans as a body does.
  if (element == "fo:table-body" || element == "fo:table-header" || element == "fo:table-footer")
    return TablePart::Body;
  if (element == "fo:table-row") return TablePart::Row;
  if (element == "fo:table-cell") return TablePart::Cell;
  return TablePart::None;
}

struct RowInfo {
  bool link;
  bool list;
  bool emptiable;  // written as an inline or a link: empty, it becomes a wrapper
  bool bareAllowed;  // the declaration and comments may have bare attributes
  // What the row's own element is, when it has one.
  ElementInfo element;
  TablePart tablePart;
  // Its tags' texts, made once: "<fo:block" and "</fo:block>".
  std::string startTag;
  std::string endTag;
};

std::string StartTagText(std::string_view element) { return std::string("<").append(element); }
std::string EndTagText(std::string_view element) { return std::string("</").append(element).append(">"); }

RowInfo RowInfoOf(const TagDef* d) {
  const char* element = d->outputName;
  return {Is(d, "A"),
          Is(d, "UL") || Is(d, "OL"),
          element && (std::strcmp(element, "fo:inline") == 0 || std::strcmp(element, "fo:basic-link") == 0),
          IsDeclarationOrComment(d),
          element ? ElementInfoOf(element) : ElementInfo{Kind::Block, false, false},
          element ? TablePartOf(element) : TablePart::None,
          element ? StartTagText(element) : std::string(),
          element ? EndTagText(element) : std::string()};
}

const RowInfo& TableRowInfo(std::size_t row) {
  static const std::vector<RowInfo> rows = [] {
    std::vector<RowInfo> r;
    for (const TagDef& d : kTagDatabase) r.push_back(RowInfoOf(&d));
    return r;
  }();
  return rows[row];
}

enum class AttributeKind { Plain, Id, ColumnSpan, RowSpan, Destination };

AttributeKind AttributeKindOf(const char* a) {
  if (std::strcmp(a, "id") == 0) return AttributeKind::Id;
  if (std::strcmp(a, "number-columns-spanned") == 0) return AttributeKind::ColumnSpan;
  if (std::strcmp(a, "number-rows-spanned") == 0) return AttributeKind::RowSpan;
  if (std::strcmp(a, "external-destination") == 0) return AttributeKind::Destination;
  return AttributeKind::Plain;
}

struct AttributeInfo {
  int number;  // the same for equal names
  AttributeKind kind;
  ValueCheck check;  // what FOP can read in it
  std::string_view name;
  std::string opening;  // ' name="', appended at once: every attribute written starts so
};

// The attribute names of the property table, numbered by content, and the
// information of each row that has one.
struct AttributeTable {
  std::unordered_map<std::string_view, int> numbers;
  std::vector<AttributeInfo> byRow;

  AttributeTable() {
    for (const PropertyDef& p : kPropertyDatabase) {
      const char* a = p.outputName;
      if (!a || *a == '\0') {
        byRow.push_back({-1, AttributeKind::Plain, ValueCheck::None, {}, {}});
        continue;
      }
      const int number = numbers.try_emplace(a, static_cast<int>(numbers.size())).first->second;
      std::string opening(" ");
      opening.append(a).append("=\"");
      byRow.push_back({number, AttributeKindOf(a), ValueCheckOf(a), a, std::move(opening)});
    }
  }
};

const AttributeTable& Attributes() {
  static const AttributeTable table;
  return table;
}

// The state of an element being written, as its children see it.
struct Open {
  std::string_view endTag;
  bool container;  // admits only blocks
  bool textless;   // admits neither text nor inline elements
  bool blockOpen;  // a block opened around inline content is still open
  bool sawBlock;   // a block has been written inside
};

// A large document is written by two threads. It is cut into segments of
// about equal size, each a run of siblings beginning at a child whose
// parent's state is known before it (the sibling before it is a block with
// only white space after it, or the parent holds no mere text). A helper
// writes segments ahead of this thread into a few buffers; this thread
// writes the others itself and, reaching one the helper wrote, copies it
// out instead, once it has checked the state the helper started from and
// dropped the ids written before the segment.
struct SegmentPlan {
  std::vector<const TagNode*> starts;  // each segment's first node, in order
  std::vector<const TagNode*> lasts;   // and its last
  std::vector<Open> parents;           // the parent's state where each begins
};

struct WrittenSegment {
  struct Id {
    std::size_t at;
    std::size_t length;
    std::string key;
  };
  std::string bytes;
  std::vector<Id> ids;  // each id the segment writes, where
  Open after{};         // the parent's state after it
  bool done = false;
  bool failed = false;  // the helper could not write it
};

class SegmentQueue {
 public:
  static constexpr std::size_t kNone = ~std::size_t{0};
  explicit SegmentQueue(std::size_t count) : segments_(count), owner_(count, Owner::None) {}

  // This thread at segment i: nullptr when it writes the segment itself,
  // else the helper's segment once written.
  WrittenSegment* Reach(std::size_t i) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (waitForHelper_) changed_.wait(lock, [&] { return helperBegan_; });
    if (owner_[i] == Owner::None) {
      owner_[i] = Owner::Main;
      changed_.notify_all();
      return nullptr;
    }
    changed_.wait(lock, [&] { return segments_[i].done; });
    return &segments_[i];
  }
  // Gives a segment's buffer back for the helper's next one.
  void Release(std::size_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    spare_.push_back(std::move(segments_[i].bytes));
    segments_[i].bytes = std::string();
    --ahead_;
    changed_.notify_all();
  }
  // The helper's next segment, and a buffer for it; kNone when none is
  // left. The first segment nobody has is left to this thread, which
  // reaches it next: the helper takes the one after it.
  std::size_t Claim(std::string& buffer) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stop_ || ahead_ < kAhead; });
    Began();
    while (first_ < owner_.size() && owner_[first_] != Owner::None) ++first_;
    std::size_t i = first_ + 1;
    while (i < owner_.size() && owner_[i] != Owner::None) ++i;
    if (stop_ || i >= owner_.size()) return kNone;
    owner_[i] = Owner::Helper;
    ++ahead_;
    changed_.notify_all();
    if (!spare_.empty()) {
      buffer = std::move(spare_.back());
      spare_.pop_back();
    }
    return i;
  }
  WrittenSegment& Segment(std::size_t i) { return segments_[i]; }  // the claimer's until done
  void Done(std::size_t i, bool failed) {
    std::lock_guard<std::mutex> lock(mutex_);
    segments_[i].done = true;
    segments_[i].failed = failed;
    if (failed) stop_ = true;
    changed_.notify_all();
  }
  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }
  // For tests: this thread takes no segment before the helper has claimed
  // its first (or found none), so that both are seen at work however the
  // threads are scheduled.
  void WaitForHelper() {
    std::lock_guard<std::mutex> lock(mutex_);
    waitForHelper_ = true;
  }
  // The helper ends, whether it claimed anything or not.
  void HelperEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    Began();
  }

 private:
  void Began() {  // under the mutex
    helperBegan_ = true;
    changed_.notify_all();
  }
  enum class Owner : std::uint8_t { None, Main, Helper };
  // Segments the helper may hold written. This thread also copies every
  // segment out, so the helper should write most of them: with only a few
  // ahead, it waits for this thread and leaves it every fourth segment or so.
  static constexpr std::size_t kAhead = 8;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<WrittenSegment> segments_;
  std::vector<Owner> owner_;
  std::vector<std::string> spare_;
  std::size_t first_ = 0;  // no segment before it is without an owner
  std::size_t ahead_ = 0;  // the helper's segments not yet given back
  bool stop_ = false;
  bool waitForHelper_ = false;
  bool helperBegan_ = false;
};

// One serialisation: the output buffer, the encoding, the ids written so far
// and the elements that are open in the output.
class Writer {
 public:
  Writer(std::string& buf, OutStream& out, OutputEncoding enc) : buf_(buf), out_(out), enc_(enc) {}

  // The segments this writer shares with a helper.
  void Share(const SegmentPlan* plan, SegmentQueue* queue) {
    plan_ = plan;
    queue_ = queue;
  }
  bool TookSegments() const { return tookSegments_; }
  // The bytes go out through a helper, a chunk at a time.
  void WriteBehindTo(WriteBehind* behind) {
    behind_ = behind;
    flushAt_ = WriteBehind::kChunk;
  }
  // Hands the buffer on.
  void Flush() {
    if (behind_) {
      behind_->Take(buf_);
    } else {
      out_.write(buf_);
      buf_.clear();
    }
  }

  // The helper's part: claims segments and writes each into its buffer.
  void WriteSegments(const SegmentPlan& plan, SegmentQueue& queue) {
    keepAll_ = true;
    std::string buffer;
    for (std::size_t i; (i = queue.Claim(buffer)) != SegmentQueue::kNone;) {
      WrittenSegment& seg = queue.Segment(i);
      bool failed = false;
      try {
        open_.assign(1, plan.parents[i]);
        seg.ids.clear();
        idsOut_ = &seg.ids;
        buf_.swap(buffer);
        buf_.clear();
        for (const TagNode* n = plan.starts[i];; n = n->next) {
          Subtree(n, false);
          if (n == plan.lasts[i]) break;
        }
        seg.after = open_.back();
        seg.bytes.swap(buf_);
      } catch (...) {
        failed = true;
      }
      buffer = std::string();
      queue.Done(i, failed);
      if (failed) return;
    }
  }

  // Cuts the document into segments of about equal size, each a run of
  // siblings, judged by where their tags began in the input: a run grows
  // until a place a segment may begin comes after it is large enough; a
  // child larger than that is cut inside instead, and ends the run before
  // it, so that no segment lies inside another. Only the children of large
  // elements are looked at, not the whole tree. False when there are too
  // few segments to share.
  static bool PlanSegments(const TagNode* root, std::uint64_t inputBytes, SegmentPlan& plan) {
    constexpr std::uint64_t kSegments = 256;
    constexpr std::size_t kMinSegments = 8;
    const std::uint64_t from = PositionFrom(root, 0);
    const std::uint64_t to = std::max(from, inputBytes);
    const std::uint64_t enough = std::max<std::uint64_t>((to - from) / kSegments, 1);
    struct Frame {
      const TagNode* parent;  // nullptr: the top-level chain
      const TagNode* child;   // the next child to look at
      std::uint64_t at;       // where it begins
      std::uint64_t end;      // where the parent's content ends
      bool cuttable;          // its children are written one by one, after its own state
      bool container;
      const TagNode* prev = nullptr;  // the child looked at last
      const TagNode* runFirst = nullptr;  // nullptr: no run is being gathered
      std::uint64_t runSize = 0;
    };
    std::vector<Frame> open;
    open.push_back({nullptr, root, from, to, false, false});
    auto endRun = [&](Frame& f, std::uint64_t atLeast) {
      if (f.runFirst && f.runSize >= atLeast) {
        const ElementInfo info = ElementOf(f.parent).info;
        plan.starts.push_back(f.runFirst);
        plan.lasts.push_back(f.prev);
        plan.parents.push_back(Open{{}, info.container, info.textless, false, info.container});
      }
      f.runFirst = nullptr;
    };
    while (!open.empty()) {
      Frame& f = open.back();
      const TagNode* c = f.child;
      if (!c) {
        endRun(f, enough / 4);
        open.pop_back();
        continue;
      }
      f.child = c->next;
      const std::uint64_t at = f.at;
      // Where nothing near the next sibling tells, the child is taken to
      // run to its parent's end: too large a guess only cuts it finer.
      const std::uint64_t next = c->next ? std::min(PositionFrom(c->next, f.end), f.end) : f.end;
      f.at = next;
      const std::uint64_t size = next > at ? next - at : 0;
      const TagDef* d = c->def;
      // The writer walks below neither a drawing nor an element written
      // without content.
      if (size > enough && c->firstChild && d->rawTag != kRawTagForeignXml && d->writeForm == 0) {
        endRun(f, enough / 4);
        f.prev = c;
        const bool cuttable = d->outputName != nullptr;
        const bool container = cuttable && Row(c).element.container && ElementOf(c).info.container;
        open.push_back({c, c->firstChild, PositionFrom(c->firstChild, at), next, cuttable, container});
        continue;
      }
      // Whether a segment may begin here is asked only where one would:
      // most children just add to a run that is not large enough yet.
      const TagNode* prev = f.prev;
      const bool cut = (!f.runFirst || f.runSize >= enough) && f.cuttable && prev &&
                       (!f.container || (prev->def->outputName && !(prev->def->rawTag && prev->raw.has()) &&
                                         !(prev->tail.has() && !IsXmlWhite(prev->tail.view())) &&
                                         ElementOf(prev).info.kind == Kind::Block));
      if (cut && f.runFirst) endRun(f, enough);
      if (cut && !f.runFirst) {
        f.runFirst = c;
        f.runSize = 0;
      }
      f.runSize += size;
      f.prev = c;
    }
    return plan.starts.size() >= kMinSegments;
  }

  // Writes one subtree without recursion, so that no depth of nesting can
  // exhaust the machine stack, and flushes the buffer as it grows.
  void Subtree(const TagNode* root, bool topLevel) {
    std::vector<const TagNode*> parents;
    const TagNode* cur = root;
    for (;;) {
      // Properties lie apart from their nodes: the next node's first one is
      // fetched while this one is written.
      if (const TagNode* ahead = cur->firstChild ? cur->firstChild.get() : cur->next.get())
        if (const TagProperty* p = ahead->props) __builtin_prefetch(p);
      const TagDef* d = cur->def;
      // A drawing is written whole here, its markup checked.
      const bool foreign = d->rawTag == kRawTagForeignXml;
      const bool written = d->outputName != nullptr;
      const Element element = written ? ElementOf(cur) : Element{};
      if (written) {
        Emit(element.info.kind);
        StartTag(cur, element.startTag, element.info);
      }
      if (foreign) {
        if (written) {
          AppendSvg(cur->raw.view(), cur->text.view(), buf_, enc_);
          buf_.append(element.endTag);
        }
      } else if (d->writeForm == 0) {
        if (written) open_.push_back({element.endTag, element.info.container, element.info.textless, false, false});
        Text(cur->text);
        if (cur->firstChild) {
          parents.push_back(cur);
          cur = cur->firstChild;
          continue;
        }
        if (written) EndElement();
      }
      Tail(cur, topLevel && cur == root);
      if (buf_.size() >= flushAt_ && !keepAll_) Flush();
      for (;;) {
        if (cur == root) return;
        if (cur->next) {
          if (plan_ && reached_ < plan_->starts.size() && cur->next == plan_->starts[reached_])
            if (const TagNode* last = AtSegments()) {
              cur = last;
              continue;
            }
          cur = cur->next;
          break;
        }
        cur = parents.back();
        parents.pop_back();
        if (cur->def->outputName) EndElement();
        Tail(cur, topLevel && cur == root);
      }
    }
  }

 private:
  struct Element {
    std::string_view startTag;
    std::string_view endTag;
    ElementInfo info;
  };

  // At the first node of the next segment: takes the segments from there
  // on that the helper wrote, and returns the last node of the last one
  // taken; nullptr when this thread writes the next segment itself.
  const TagNode* AtSegments() {
    const TagNode* last = nullptr;
    while (reached_ < plan_->starts.size() && (!last || last->next == plan_->starts[reached_])) {
      const std::size_t i = reached_++;
      WrittenSegment* seg = queue_->Reach(i);
      if (!seg) return last;
      const bool taken = TakeSegment(*seg, plan_->parents[i]);
      queue_->Release(i);
      if (!taken) return last;
      last = plan_->lasts[i];
      tookSegments_ = true;
    }
    return last;
  }

  // Copies a segment out when the parent's state it began from is the one
  // here; drops the ids written before it.
  bool TakeSegment(const WrittenSegment& seg, const Open& began) {
    const Open& now = open_.back();
    if (seg.failed || now.container != began.container || now.textless != began.textless ||
        now.blockOpen != began.blockOpen || now.sawBlock != began.sawBlock)
      return false;
    if (!behind_) Flush();
    std::size_t at = 0;
    for (const WrittenSegment::Id& id : seg.ids) {
      if (ids_.insert(id.key).second) continue;
      Out(std::string_view(seg.bytes).substr(at, id.at - at));
      at = id.at + id.length;
    }
    Out(std::string_view(seg.bytes).substr(at));
    open_.back().blockOpen = seg.after.blockOpen;
    open_.back().sawBlock = seg.after.sawBlock;
    return true;
  }

  // Every node and property carries its table row.
  static const RowInfo& Row(const TagNode* n) { return TableRowInfo(static_cast<std::size_t>(n->def.index())); }

  static const AttributeInfo& Attribute(const TagProperty* p) {
    return Attributes().byRow[static_cast<std::size_t>(p->def.index())];
  }

  // The element a node is written under. A link without a usable target
  // is written as an inline, and a list without items as a block: FOP
  // rejects either element otherwise.
  // An inline or link with no content at all (an anchor such as <a
  // name=x></a>) is written as an empty wrapper: FOP 2.8 fails with a
  // NullPointerException on an empty inline when it hyphenates the line.
  static Element ElementOf(const TagNode* n) {
    static const std::string kInlineTags[] = {StartTagText("fo:inline"), EndTagText("fo:inline")};
    static const std::string kBlockTags[] = {StartTagText("fo:block"), EndTagText("fo:block")};
    static const std::string kWrapperTags[] = {StartTagText("fo:wrapper"), EndTagText("fo:wrapper")};
    static const Element kInline{kInlineTags[0], kInlineTags[1], ElementInfoOf("fo:inline")};
    static const Element kBlock{kBlockTags[0], kBlockTags[1], ElementInfoOf("fo:block")};
    static const Element kWrapper{kWrapperTags[0], kWrapperTags[1], ElementInfoOf("fo:wrapper")};
    const RowInfo& row = Row(n);
    if (row.emptiable && n->def->writeForm == 0 && WritesNothingInside(n)) return kWrapper;
    if (row.link && !HasUsableLinkTarget(n)) return kInline;
    if (row.list) {
      bool item = false;
      for (const TagNode* c = n->firstChild; c && !item; c = c->next) item = Is(c->def, "LI");
      if (!item) return kBlock;
    }
    return {row.startTag, row.endTag, row.element};
  }

  // Whether nothing is written between the node's tags: no text, and no
  // element below (phrase markup such as B writes none). A large subtree
  // counts as content without being walked to the end.
  static bool WritesNothingInside(const TagNode* n) {
    constexpr int kMaxLooked = 64;
    if (!n->text.empty()) return false;
    std::vector<const TagNode*> chains;
    if (n->firstChild) chains.push_back(n->firstChild);
    int looked = 0;
    while (!chains.empty()) {
      const TagNode* c = chains.back();
      chains.pop_back();
      for (; c; c = c->next) {
        if (++looked > kMaxLooked || c->def->outputName || !c->text.empty() || !c->tail.empty()) return false;
        if (c->firstChild) chains.push_back(c->firstChild);
      }
    }
    return true;
  }

  // Everything written into a block container passes here first.
  void Emit(Kind kind) {
    if (open_.empty() || !open_.back().container) return;
    Open& o = open_.back();
    switch (kind) {
      case Kind::Text:
      case Kind::Inline:
        if (!o.blockOpen) {
          buf_.append("<fo:block>");
          o.blockOpen = true;
          o.sawBlock = true;
        }
        break;
      case Kind::Block:
        if (o.blockOpen) {
          buf_.append("</fo:block>");
          o.blockOpen = false;
        }
        o.sawBlock = true;
        break;
      case Kind::White:
      case Kind::Neutral:
        break;
    }
  }

  void EndElement() {
    Open o = open_.back();
    open_.pop_back();
    if (o.container) {
      if (o.blockOpen) buf_.append("</fo:block>");
      if (!o.sawBlock) buf_.append("<fo:block/>");
    }
    buf_.append(o.endTag);
  }

  void Text(const ps::Text& t) {
    if (t.null()) return;
    Emit(IsXmlWhite(t.view()) ? Kind::White : Kind::Text);
    const bool bare = !open_.empty() && open_.back().textless;
    ConvertSpecialChars(t.view(), buf_, bare ? ConvertMode::BareText : ConvertMode::Text, enc_);
  }

  void Tail(const TagNode* n, bool topLevel) {
    if (n->tail.null()) return;
    // Only white space may follow the document element.
    if (topLevel && !IsXmlWhite(n->tail.view())) return;
    Text(n->tail);
  }

  void StartTag(const TagNode* n, std::string_view startTag, const ElementInfo& element) {
    const TagDef* d = n->def;
    if (d->rawTag && d->rawTag != kRawTagForeignXml && n->raw.has()) {
      std::string_view raw = n->raw.view();
      if (raw.substr(0, 3) == "!--") {
        WriteRawComment(buf_, raw, enc_);
      } else {
        buf_.push_back('<');
        buf_.append(raw);
        buf_.push_back('>');
      }
      return;
    }
    buf_.append(startTag);
    const bool bareAllowed = Row(n).bareAllowed;
    seen_.clear();
    for (const TagProperty* p = n->props; p; p = p->next) {
      const char* a = p->def->outputName;
      if (!a) continue;
      if (*a == '\0') {
        // Only a line break and indentation may stand bare among attributes.
        if (p->value.has() && IsXmlWhite(p->value.view()))
          ConvertSpecialChars(p->value.view(), buf_, ConvertMode::Text, enc_);
        continue;
      }
      if (p->value.null() && !bareAllowed) continue;
      const AttributeInfo& info = Attribute(p);
      // A value FOP cannot read is no value: a later one of the name may stand.
      Verdict verdict = Verdict::Keep;
      if (info.check != ValueCheck::None && p->value.has()) {
        verdict = CheckFoValue(info.check, d->outputName, p->value.view(), fixed_);
        if (verdict == Verdict::Drop) continue;
      }
      // XML allows an attribute once per element: the first in list order wins.
      bool dup = false;
      for (int s : seen_)
        if (s == info.number) {
          dup = true;
          break;
        }
      if (dup) {
        // A second name for the same place (<a name=x id=y>): an empty
        // wrapper inside carries it, where one may stand.
        if (info.kind == AttributeKind::Id && p->value.has()) secondIds_.push_back(&p->value);
        continue;
      }
      seen_.push_back(info.number);
      if (p->value.null()) {
        buf_.push_back(' ');
        buf_.append(info.name);
        continue;
      }
      if (verdict == Verdict::Replace) {
        AppendPlainAttribute(buf_, info, fixed_);
        continue;
      }
      if (info.kind == AttributeKind::Plain) {
        if (std::uint64_t bits; p->value.InPlaceBits(bits))
          buf_.append(CachedAttribute(bits | static_cast<std::uint64_t>(p->def.index()) << 56, info, p->value.view()));
        else
          AppendPlainAttribute(buf_, info, p->value.view());  // converted straight into the output
        continue;
      }
      value_.clear();
      if (info.kind == AttributeKind::ColumnSpan || info.kind == AttributeKind::RowSpan) {
        // The number the table code read from the value as given, not from
        // its converted form, in which a reference or a control byte may
        // read otherwise.
        value_.assign(p->value.view());
        const Spans limit = SpansOf(n);
        if (!SpanValue(value_, info.kind == AttributeKind::ColumnSpan ? limit.columns : limit.rows)) continue;
      } else {
        ConvertSpecialChars(p->value.view(), value_, ConvertMode::QuotedValue, enc_);
      }
      // Ids must be unique as FOP reads them, references resolved: as IdKey tells.
      const std::size_t at = buf_.size();
      if (info.kind == AttributeKind::Id) {
        const auto [id, fresh] = ids_.insert(XmlAttributeValueRead(value_, enc_));
        if (!fresh) continue;
        if (idsOut_) idsOut_->push_back({at, 0, *id});
      }
      buf_.append(info.opening);
      if (info.kind == AttributeKind::Destination)
        PercentEncodeUri(value_, buf_);
      else
        buf_.append(value_);
      buf_.push_back('"');
      if (info.kind == AttributeKind::Id && idsOut_) idsOut_->back().length = buf_.size() - at;
    }
    if (d->writeForm == 1) buf_.push_back('/');
    buf_.push_back('>');
    if (secondIds_.empty()) return;
    for (const ps::Text* id : secondIds_) {
      if (element.container || element.textless) break;
      value_.clear();
      ConvertSpecialChars(id->view(), value_, ConvertMode::QuotedValue, enc_);
      if (!ids_.insert(value_).second) continue;
      const std::size_t at = buf_.size();
      buf_.append("<fo:wrapper id=\"").append(value_).append("\"/>");
      if (idsOut_) idsOut_->push_back({at, buf_.size() - at, value_});
    }
    secondIds_.clear();
  }

  // A plain attribute whose value is kept in place, written whole. A document
  // repeats a few such attributes millions of times (font-size="10pt"), so
  // each is converted once per row and value, into a small direct-mapped
  // cache keyed by both (the row in the top byte, the value's bytes below).
  std::string_view CachedAttribute(std::uint64_t key, const AttributeInfo& info, std::string_view value) {
    static constexpr unsigned kBits = 10;
    if (cache_.empty()) cache_.resize(std::size_t{1} << kBits);
    Cached& c = cache_[(key * 0x9E3779B97F4A7C15ull) >> (64 - kBits)];
    if (c.key != key) {
      c.key = key;
      c.text.clear();
      AppendPlainAttribute(c.text, info, value);
    }
    return c.text;
  }

  void AppendPlainAttribute(std::string& out, const AttributeInfo& info, std::string_view value) const {
    out.append(info.opening);
    ConvertSpecialChars(value, out, ConvertMode::QuotedValue, enc_);
    out.push_back('"');
  }

  // How far a cell may span. FOP rejects a cell that spans more rows than
  // its table body has left or more columns than the table has, and fails on
  // a cell that spans columns into a position a cell of an earlier row
  // covers; HTML ends the span there or lets the cells overlap. So the spans
  // of a body's cells are worked out once, placing each cell as FOP does: at
  // the next position no earlier row covers, over no more positions than are
  // free from there. A cell that is not in a body's row keeps the general
  // limit.
  struct Spans {
    long long columns = kMaxSpan;
    long long rows = kMaxSpan;
  };
  Spans SpansOf(const TagNode* cell) {
    const TagNode* row = cell->parent;
    if (!row || !row->parent || !IsPart(row, TablePart::Row) || !IsPart(row->parent, TablePart::Body)) return Spans();
    // A body's cells come one after the other (but for those of tables
    // nested in them): its plan is looked up once for all of them.
    const TagNode* body = row->parent;
    if (body != lastBody_) {
      const auto [plan, fresh] = plannedBodies_.try_emplace(body, false);
      if (fresh) plan->second = PlanSpans(body);
      lastBody_ = body;
      lastBodyShrinks_ = plan->second;
    }
    if (!lastBodyShrinks_) return Spans();
    const auto it = spans_.find(cell);
    return it != spans_.end() ? it->second : Spans();
  }

  // Returns whether the spans of any cell shrink.
  bool PlanSpans(const TagNode* body) {
    long long rowCount = 0;
    for (const TagNode* r = body->firstChild; r; r = r->next)
      if (IsPart(r, TablePart::Row)) ++rowCount;
    // Positions past the table's columns make FOP reject the table whatever
    // the spans: none is looked at, so that no span can cost memory.
    std::size_t columnCount = 0;
    for (const TagNode* c = body->parent ? body->parent->firstChild : nullptr; c; c = c->next)
      if (IsPart(c, TablePart::Column)) ++columnCount;
    std::vector<long long> coveredThrough(columnCount, -1);  // per position: the last row covering it
    long long r = 0;
    bool shrinks = false;
    for (const TagNode* row = body->firstChild; row; row = row->next) {
      if (!IsPart(row, TablePart::Row)) continue;
      std::size_t at = 0;
      // Cells still to come in the row: a span leaves each of them a position.
      std::size_t later = 0;
      for (const TagNode* cell = row->firstChild; cell; cell = cell->next)
        if (IsPart(cell, TablePart::Cell)) ++later;
      for (const TagNode* cell = row->firstChild; cell; cell = cell->next) {
        if (!IsPart(cell, TablePart::Cell)) continue;
        --later;
        while (at < columnCount && coveredThrough[at] >= r) ++at;
        const Spans wanted = WrittenSpans(cell);
        const long long wantedRows = wanted.rows, wantedColumns = wanted.columns;
        Spans s;
        s.rows = std::min(wantedRows, rowCount - r);
        std::size_t end = at + 1;
        if (at < columnCount) {
          const std::size_t limit = std::max(at + 1, columnCount > later ? columnCount - later : 0);
          while (static_cast<long long>(end - at) < wantedColumns && end < limit && coveredThrough[end] < r) ++end;
          for (std::size_t k = at; k < end; ++k) coveredThrough[k] = std::max(coveredThrough[k], r + s.rows - 1);
        }
        s.columns = static_cast<long long>(end - at);
        // Only the cells whose spans must shrink are kept.
        if (s.rows < wantedRows || s.columns < wantedColumns) {
          spans_[cell] = s;
          shrinks = true;
        }
        at = end;
      }
      ++r;
    }
    return shrinks;
  }

  // The spans a cell's attributes are written with before any limit of its
  // body: the first such attribute in list order, as StartTag picks it; 1
  // when it has none that FOP would read.
  Spans WrittenSpans(const TagNode* cell) {
    Spans s{1, 1};
    bool columnsSeen = false, rowsSeen = false;
    for (const TagProperty* p = cell->props; p; p = p->next) {
      if (p->value.null() || !p->def->outputName) continue;
      const AttributeKind kind = Attribute(p).kind;
      bool& seen = kind == AttributeKind::ColumnSpan ? columnsSeen : rowsSeen;
      if ((kind != AttributeKind::ColumnSpan && kind != AttributeKind::RowSpan) || seen) continue;
      seen = true;
      std::string v(p->value.view());
      const long long n = SpanValue(v, kMaxSpan) ? std::strtoll(v.c_str(), nullptr, 10) : 1;
      (kind == AttributeKind::ColumnSpan ? s.columns : s.rows) = n;
    }
    return s;
  }
  static bool IsPart(const TagNode* n, TablePart part) { return Row(n).tablePart == part; }

  // Bytes made elsewhere: straight out, or after the buffer's for the helper.
  void Out(std::string_view bytes) {
    if (!behind_) return out_.write(bytes);
    buf_.append(bytes);
    if (buf_.size() >= flushAt_) Flush();
  }

  std::string& buf_;
  OutStream& out_;
  WriteBehind* behind_ = nullptr;
  std::size_t flushAt_ = kFlushAt;
  OutputEncoding enc_;
  std::vector<Open> open_;
  std::vector<int> seen_;
  std::vector<const ps::Text*> secondIds_;  // ids of the element beyond the one written on it
  std::string value_;
  std::string fixed_;  // a value mended for FOP
  // The table bodies planned so far (whether a cell's spans shrink in them),
  // the last one asked for, and the cells whose spans shrink.
  std::unordered_map<const TagNode*, bool> plannedBodies_;
  const TagNode* lastBody_ = nullptr;
  bool lastBodyShrinks_ = false;
  std::unordered_map<const TagNode*, Spans> spans_;
  std::unordered_set<std::string> ids_;
  // Segments shared with a helper: this thread's plan and the next segment
  // it reaches; the helper keeps its whole segment in the buffer and tells
  // where each id went.
  const SegmentPlan* plan_ = nullptr;
  SegmentQueue* queue_ = nullptr;
  std::size_t reached_ = 0;
  bool tookSegments_ = false;
  bool keepAll_ = false;
  std::vector<WrittenSegment::Id>* idsOut_ = nullptr;
  struct Cached {
    std::uint64_t key = ~std::uint64_t{0};  // no row has number 255
    std::string text;
  };
  std::vector<Cached> cache_;
};

}  // namespace

const TagProperty* WrittenIdProperty(const TagNode* n) {
  const TagDef* d = n->def;
  if (!d->outputName || (d->rawTag && d->rawTag != kRawTagForeignXml && n->raw.has())) return nullptr;
  for (const TagProperty* p = n->props; p; p = p->next)
    if (p->value.has() && Attributes().byRow[static_cast<std::size_t>(p->def.index())].kind == AttributeKind::Id)
      return p;
  return nullptr;
}

std::string IdKey(std::string_view value, OutputEncoding enc) {
  std::string written;
  ConvertSpecialChars(value, written, ConvertMode::QuotedValue, enc);
  return XmlAttributeValueRead(written, enc);
}

bool HasUsableLinkTarget(const TagNode* n) {
  for (const TagProperty* p = n->props; p; p = p->next) {
    const char* a = p->def->outputName;
    if (a && (std::strcmp(a, "external-destination") == 0 || std::strcmp(a, "internal-destination") == 0) &&
        p->value.has() && !p->value.empty())
      return true;
  }
  return false;
}

void WriteNode(std::string& out, const TagNode* node, bool topLevel, OutputEncoding enc) {
  std::string buf;
  OutStream sink = OutStream::ToString(&out);
  Writer w(buf, sink, enc);
  w.Subtree(node, topLevel);
  sink.write(buf);
}

bool WriteDocument(Context& ctx, OutStream& out, std::size_t twoThreadsFrom, bool* helped, bool waitForHelper) {
  ctx.msg().write("converting special chars and writing out...");
  ctx.msg().flush();
  std::string buf;
  buf.reserve(kFlushAt * 2);
  const OutputEncoding enc = ctx.utf8Output ? OutputEncoding::Utf8 : OutputEncoding::Latin1;
  Writer w(buf, out, enc);
  // The tree's nodes are about all the pool has out.
  const std::size_t nodes = BlockPool<sizeof(TagNode)>::Live();
  SegmentPlan plan;
  std::unique_ptr<SegmentQueue> queue;
  std::thread helper;
  struct Joined {
    std::unique_ptr<SegmentQueue>& queue;
    std::thread& thread;
    ~Joined() {
      if (queue) queue->Stop();
      if (thread.joinable()) thread.join();
    }
  } joined{queue, helper};
  if (nodes >= twoThreadsFrom && Writer::PlanSegments(ctx.documentRoot, ctx.inputBytes, plan)) {
    queue = std::make_unique<SegmentQueue>(plan.starts.size());
    try {
      helper = std::thread([&plan, &queue, enc] {
        try {
          ReadTreesOnly();
          std::string buffer;
          OutStream none = OutStream::Discard();
          Writer later(buffer, none, enc);
          later.WriteSegments(plan, *queue);
        } catch (...) {  // what it has not written, this thread writes
        }
        queue->HelperEnded();
      });
      if (waitForHelper) queue->WaitForHelper();
      w.Share(&plan, queue.get());
    } catch (const std::system_error&) {  // no second thread to be had: one writes it all
    }
  }
  // A large document that no helper shares the making of has its bytes go
  // out on a helper of their own (beside the segments' helper, a third
  // thread would only take turns with the two).
  std::unique_ptr<WriteBehind> behind;
  if (nodes >= twoThreadsFrom && !helper.joinable()) {
    try {
      behind = std::make_unique<WriteBehind>(out);
    } catch (const std::system_error&) {  // no thread to be had: this one writes
    }
    if (behind) w.WriteBehindTo(behind.get());
  }
  for (const TagNode* n = ctx.documentRoot; n; n = n->next) w.Subtree(n, true);
  if (helped) *helped = w.TookSegments();
  buf.append("\r\n");
  w.Flush();
  if (behind) behind->Finish();
  out.flush();
  ctx.msg().write(" done\n");
  return !out.failed();
}

}  // namespace ps
