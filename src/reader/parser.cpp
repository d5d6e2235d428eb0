// The scanner and tree builder: one forward pass over the input, with the
// nesting repairs driven by the tag rows.
#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "model/tables.h"
#include "reader/attributes.h"
#include "reader/encoding.h"
#include "reader/reader.h"

namespace ps {

namespace {

constexpr int kStackSlots = 50;
static_assert(kStackSlots <= 64, "a second reader marks the slots in one word");
constexpr std::size_t kMaxPending = 200;
// The tag table has no alias cycles; the bound only keeps a bad row from hanging a run.
constexpr int kMaxTagAliasHops = 16;

inline bool IsTagSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view NameOf(std::string_view s) {
  std::size_t n = 0;
  while (n < s.size() && !IsTagSpace(s[n])) ++n;
  return s.substr(0, n);
}

// The program's own tags are not HTML: a name written with the prefix has no row.
bool IsInternalName(std::string_view name) { return name.size() >= 4 && EqualsNoCase(name.substr(0, 4), "XML-"); }

// MatchTagDef's answers as bit tests, with each list's set of rows
// remembered by its address: the reader asks several times at every tag.
class ListRows {
 public:
  bool Match(const TagDef* def, NameList list) {
    if (!def || !list) return false;
    Slot& s = slots_[(reinterpret_cast<std::uintptr_t>(list) >> 3) % kSlots];
    if (s.list != list) s = {list, TagRowsOfList(list)};
    const std::less<const TagDef*> before;
    const TagDef* first = kTagDatabase.data();
    if (s.rows && !before(def, first) && before(def, first + std::min(kTagDatabase.size(), kIndexedTagRows)))
      return s.rows->test(static_cast<std::size_t>(def - first));
    return MatchTagDef(def, list);
  }

 private:
  static constexpr std::size_t kSlots = 64;
  struct Slot {
    NameList list = nullptr;
    const std::bitset<kIndexedTagRows>* rows = nullptr;
  };
  std::array<Slot, kSlots> slots_{};
};

// The row a start tag is read as under the parent: its own, or a variant of
// it that the parent admits where it refuses the row itself.
const TagDef* RowUnder(ListRows& lists, const TagNode* parent, const TagDef* def) {
  const auto admits = [&](const TagDef* d) {
    return !(parent && parent->def && parent->def->children && !lists.Match(d, parent->def->children));
  };
  if (admits(def)) return def;
  for (const TagVariant& v : kTagVariants) {
    if (!EqualsNoCase(v.tag, def->name)) continue;
    const TagDef* variant = FindTagDef(nullptr, v.variant);
    if (variant && admits(variant)) return variant;
  }
  return def;
}

// The name an end tag closes an element by: a variant row is closed by the
// end tag of its tag.
std::string_view EndTagNameOfRow(const TagDef* def) {
  for (const TagVariant& v : kTagVariants)
    if (EqualsNoCase(v.variant, def->name)) return v.tag;
  return def->name;
}

// A fact of each tag row, worked out once: the reader asks at every tag.
template <class T, class F>
std::vector<T> PerRow(F fact) {
  std::vector<T> out;
  out.reserve(kTagDatabase.size());
  for (const TagDef& r : kTagDatabase) out.push_back(fact(&r));
  return out;
}
std::size_t RowOf(const TagDef* def) { return static_cast<std::size_t>(def - kTagDatabase.data()); }

std::string_view EndTagNameOf(int row) {
  static const std::vector<std::string_view> names = PerRow<std::string_view>(EndTagNameOfRow);
  return names[static_cast<std::size_t>(row)];
}

// The row a table part or list item is read as where it stands: its own
// inside its table or list, its stand-in elsewhere (none: dropped).
const TagPlacement* PlacementOfRow(const TagDef* def) {
  for (const TagPlacement& p : kTagPlacements)
    if (EqualsNoCase(p.tag, def->name)) return &p;
  return nullptr;
}

const TagDef* PlacedRow(ListRows& lists, const TagNode* innermost, const TagDef* def) {
  static const std::vector<const TagPlacement*> placements = PerRow<const TagPlacement*>(PlacementOfRow);
  const TagPlacement* p = placements[RowOf(def)];
  if (!p) return def;
  if (lists.Match(innermost->def, p->parents)) return def;
  return p->standIn ? FindTagDef(nullptr, p->standIn) : nullptr;
}

// The rule of the elements a start tag ends (HTML's optional end tags);
// the last rule naming the row holds.
const ImpliedEnd* ImpliedEndOf(const TagDef* def) {
  static const std::vector<const ImpliedEnd*> rules = PerRow<const ImpliedEnd*>([](const TagDef* row) {
    const ImpliedEnd* rule = nullptr;
    for (const ImpliedEnd& r : kImpliedEnds)
      if (EqualsNoCase(r.tag, row->name)) rule = &r;
    return rule;
  });
  return rules[RowOf(def)];
}

bool IsStandInRow(const TagDef* def) {
  for (const TagPlacement& p : kTagPlacements)
    if (p.standIn && EqualsNoCase(p.standIn, def->name)) return true;
  return false;
}

bool IsStandIn(int row) {
  static const std::vector<bool> standIns = PerRow<bool>(IsStandInRow);
  return standIns[static_cast<std::size_t>(row)];
}

// The name of the end tag that closes an open element: a stand-in is
// closed by the end tag of the tag it was read from.
std::string_view EndTagNameOf(const TagNode* e) {
  static const TagDef* const unknown = FindTagDef(nullptr, "XML-ELEMENT");
  if (IsStandIn(e->def.index()) || e->def == unknown) return NameOf(e->raw.view());
  return EndTagNameOf(e->def.index());
}

// Every element records where its tag began.
const PropertyName& FilePosName() {
  static const PropertyName name("html-FilePos");
  return name;
}

// The rows of the names a page uses, remembered by their bytes: a page
// names few tags, each of them thousands of times. Names of up to eight
// bytes, the common ones, are kept; longer ones are looked up each time.
class RowsByName {
 public:
  const TagDef* Find(std::string_view name) {
    if (name.empty() || name.size() > 8) return FindTagDef(nullptr, name);
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < name.size(); ++i)
      word |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
    Slot& s = slots_[((word * 0x9E3779B97F4A7C15ull) >> 56 ^ name.size()) % kSlots];
    if (s.size != name.size() || s.word != word) s = {word, name.size(), FindTagDef(nullptr, name)};
    return s.def;
  }

 private:
  static constexpr std::size_t kSlots = 256;
  struct Slot {
    std::uint64_t word = 0;
    std::size_t size = 0;  // 0: empty
    const TagDef* def = nullptr;
  };
  std::array<Slot, kSlots> slots_{};
};

class Parser {
 public:
  // Positions and lengths are 64-bit so that inputs beyond 2 GB report them correctly.
  // A second reader gets the text as the first has it, NUL bytes dropped.
  Parser(Context& ctx, std::string_view input, const PositionMap* positions, bool dropNuls = true)
      : ctx_(ctx), in_(input), positions_(positions) {
    if (dropNuls && in_.find('\0') != std::string_view::npos) DropNulBytes();
  }

  // A NUL byte is no character: browsers drop it from the text, and here it
  // would end every string it stood in. Tags keep their file positions.
  void DropNulBytes() {
    withoutNuls_.reserve(in_.size());
    for (std::size_t i = 0; i < in_.size(); ++i) {
      const char c = in_[i];
      if (c == '\0') continue;
      withoutNuls_.push_back(c);
      if (c == '<')
        withoutNulsMap_.AfterLess(withoutNuls_.size(), positions_ ? positions_->FileOffset(i + 1) : i + 1);
    }
    in_ = withoutNuls_;
    positions_ = &withoutNulsMap_;
  }

  void Run(bool implyDocument) {
    if (implyDocument) OpenImpliedElements();
    if (implyDocument && in_.size() >= ctx_.splitReadingFrom && !ctx_.tracing() && !ctx_.debugLevel)
      StartSecondReader();
    Read();
    EndSecondReader();  // the first reader ended before its place: nothing of the second's is kept
    if (implyDocument) EnsureDocumentElement();
  }

  // As the second reader: reads from `at` (just after a '<') on, with the
  // document's HTML and BODY open and nothing else, as the first reader
  // finds them there when the place was well chosen. What it reads goes
  // under elements of its own standing for those two; it stops before a
  // tag that would close them and when `stop` is set, and it is unsure of
  // its reading as soon as that reading depends on what stands before the
  // place (see Usable).
  void ReadAsSecond(std::size_t at, const std::atomic<bool>* stop) {
    ctx_.documentRoot = NewNode(htmlDef_);  // holds the top level, as a document's root does
    TagNode* html = NewNode(htmlDef_);
    TagNode* body = NewNode(bodyDef_);
    ctx_.documentRoot->next = html;
    LinkLastChild(html, body);
    stack_[0] = html;
    stack_[1] = body;
    for (int k = 2; k < kStackSlots; ++k) stack_[k] = UnknownSlot();
    depth_ = floor_ = 2;
    body_ = body;
    stop_ = stop;
    pos_ = at;
    more_ = Loop(true);
  }

  // The second reader's own top level, to be freed once the first has taken
  // what it read (or nothing).
  TagNode* SecondsTop() const { return ctx_.documentRoot; }

 private:
  class SecondReader;

  void Read() { Loop(ReadUntil('<', Innermost() ? Innermost()->text : discard_)); }

  // Reads tags and the text after each, from just after a '<' on; what
  // `more` was when the reading stopped.
  bool Loop(bool more) {
    while (more) {
      if (second_ && pos_ >= SecondStart()) {
        more = MeetSecond();
        if (!more) break;
      }
      if (floor_ && (unsure_ || stop_->load(std::memory_order_relaxed))) return more;
      // "a < b" or "x<10": a '<' that no tag name, end tag, comment or
      // declaration follows is text, as in HTML; read as a tag it would
      // swallow the words up to the next '>'.
      if (!StartsTag(pos_)) {
        lastText_->append("<");
        more = ReadUntil('<', *lastText_);
        continue;
      }
      const std::size_t at = pos_;
      tagPos_ = static_cast<long long>(positions_ ? positions_->FileOffset(pos_) : pos_);
      Text raw;
      if (StartsComment(pos_))
        ReadComment(raw);
      else
        ReadUntil('>', raw);
      if (floor_ && !raw.view().empty() && ReachesFloor(raw.view())) {
        pos_ = at;  // the first reader reads this tag on
        return true;
      }
      if (raw.null()) {
        ctx_.msg().printf("Found empty Tag!\nPos %lld\n", tagPos_);
        more = ReadAfterInnermostContent();
      } else {
        if (ctx_.tracing()) ctx_.dbg().printf("Processing Tag \"%s\"\n", raw.c_str());
        if (raw.view()[0] == '/') {
          bool endOfReading = false;
          more = EndTag(std::move(raw), endOfReading);
          if (endOfReading) return false;  // the rest of the input is ignored
        } else {
          more = StartTag(std::move(raw));
        }
      }
      if (ctx_.tracing()) ctx_.dbg().printf("bctpos %i\n", static_cast<int>(pending_.size()));
    }
    return more;
  }

  // Whether a tag the second reader is about to read could close the HTML or
  // BODY it stands in for, or open another: the first reader reads it.
  bool ReachesFloor(std::string_view raw) {
    if (raw.substr(0, 3) == "!--") return false;
    if (raw[0] != '/') {
      const std::string_view name = NameOf(raw);
      return EqualsNoCase(name, "html") || EqualsNoCase(name, "body") || EqualsNoCase(name, "head");
    }
    if (EqualsNoCase(NameOf(raw.substr(1)), "html")) return true;
    std::string& name = floorName_;
    if (!EndTagName(raw, name)) return false;
    for (int i = depth_ - 1; i >= 0; --i)
      if (EqualsNoCase(EndTagNameOf(stack_[i]), name)) return i < floor_;
    return false;
  }

  // Closes the open elements down to `depth`. Below the second reader's
  // floor the first reader's elements would close, which only it knows.
  void Lower(int depth) {
    depth_ = depth;
    if (depth_ < floor_) unsure_ = true;
  }

  // What a second reader holds in the slots above the floor that it has
  // not placed anything in: the first reader's nodes, unknown to it.
  static TagNode* UnknownSlot() {
    static TagNode unknown;
    return &unknown;
  }

  void StartSecondReader();
  std::size_t SecondStart() const;
  void EndSecondReader();
  bool MeetSecond();
  bool TakeOver(Parser& second);
  // Whether the second reader's reading can stand as the first would have
  // read it: it never reached below its floor, and neither its HTML and BODY
  // nor its top level took anything but its BODY's children.
  bool Usable() const;

  // The document read must be an HTML element with a body. A page whose
  // HTML tag stands inside another element keeps, at the top level, whatever
  // element was read last there, and its FO had no root (not even
  // well-formed XML): that element is put in a body of an HTML element, as a
  // fragment would be; a top-level body or head only gets the HTML element
  // around it. A document without a body (a redirecting page that has only
  // a head) gets an empty one: FOP rejects a page sequence without a flow.
  void EnsureDocumentElement() {
    TagNode* root = ctx_.documentRoot;
    if (!root) return;
    TagNode* top = root->next;
    TagNode* html = top;
    if (!top || top->def != htmlDef_) {
      html = NewNode(htmlDef_);
      root->next = html;
      if (top) {
        top->next = nullptr;  // the top level holds one element
        if (top->def == bodyDef_ || top->def == headDef_) {
          LinkLastChild(html, top);
        } else {
          TagNode* body = NewNode(bodyDef_);
          LinkLastChild(html, body);
          LinkLastChild(body, top);
        }
      }
    }
    for (const TagNode* c = html->firstChild; c; c = c->next)
      if (c->def == bodyDef_) return;
    LinkLastChild(html, NewNode(bodyDef_));
  }

  // What may follow a '<' that starts a tag: a name, '/', '!' or '?', and
  // '>' of an empty tag (reported as such). The end of the input too, so
  // that a last '<' is reported as an empty tag.
  bool StartsTag(std::size_t at) const {
    if (at >= in_.size()) return true;
    const char c = in_[at];
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '/' || c == '!' || c == '?' || c == '>';
  }

  // Reads up to the stop byte into the slot; true when the stop byte was there
  // (and consumed), false at the end of the input.
  bool ReadUntil(char stop, Text& slot) {
    if (&slot == &discard_) discard_.reset();  // nobody reads it: it need not grow
    if (stop == '<') lastText_ = &slot;
    std::size_t len = in_.size() - pos_;
    if (len != 0) {
      if (const void* hit = std::memchr(in_.data() + pos_, stop, len))
        len = static_cast<std::size_t>(static_cast<const char*>(hit) - (in_.data() + pos_));
    }
    const bool debug = ctx_.debugLevel != 0;
    if (debug) ctx_.dbg().printf("readed %lld chars\n", static_cast<long long>(len));
    if (len) {
      slot.append(in_.substr(pos_, len));
      if (debug) ctx_.dbg().printf("String:%s\n", slot.c_str());
    }
    pos_ += len;
    if (pos_ < in_.size()) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool StartsComment(std::size_t at) const { return in_.substr(at, 3) == "!--"; }

  // Where a comment that starts at `at` (just after its '<') ends: the first
  // "-->" after its "<!--", whatever '<' or '>' it holds, as HTML reads it.
  // npos when it runs to the end of the input.
  std::size_t CommentEnd(std::size_t at) const { return in_.find("-->", at + 3); }

  // Reads a comment as the raw text of its tag: "!--", its content and the
  // "--" before its '>' (none when it is cut off by the end of the input).
  void ReadComment(Text& raw) {
    std::size_t end = CommentEnd(pos_);
    std::size_t stop = end == std::string_view::npos ? in_.size() : end + 2;
    raw.append(in_.substr(pos_, stop - pos_));
    pos_ = end == std::string_view::npos ? in_.size() : end + 3;
  }

  // Whether the input has a start tag of that name, as the scanner would read it.
  bool HasStartTag(std::string_view wanted) const {
    std::size_t pos = 0;
    while ((pos = in_.find('<', pos)) != std::string_view::npos) {
      if (StartsComment(pos + 1)) {
        std::size_t end = CommentEnd(pos + 1);
        if (end == std::string_view::npos) break;
        pos = end + 3;
        continue;
      }
      std::size_t end = in_.find('>', pos + 1);
      std::string_view raw = in_.substr(pos + 1, end == std::string_view::npos ? end : end - pos - 1);
      if (!raw.empty() && raw.back() == '/') raw.remove_suffix(1);
      if (!raw.empty() && raw[0] != '/' && EqualsNoCase(NameOf(raw), wanted)) return true;
      if (end == std::string_view::npos) break;
      pos = end + 1;
    }
    return false;
  }

  // A page fragment (no HTML start tag) is read as though it began with
  // <html>, and with <body> too when it has none: otherwise all but its last
  // top-level element would be lost and no page frame built.
  void OpenImpliedElements() {
    if (HasStartTag("html")) return;
    TagNode* html = NewNode(FindTagDef(nullptr, "HTML"));
    ctx_.documentRoot->next = html;
    stack_[depth_++] = html;
    if (HasStartTag("body")) return;
    TagNode* body = NewNode(FindTagDef(nullptr, "BODY"));
    body_ = body;
    body->parent = html;
    html->firstChild = html->lastChild = body;
    stack_[depth_++] = body;
  }

  TagNode* Innermost() const { return depth_ ? stack_[depth_ - 1] : nullptr; }

  // Text after a tag that made no node goes after everything the innermost
  // element already holds, so that it keeps its place among the words around
  // it. Text without a receiving node (nothing open) is read and dropped,
  // like the text before the first tag.
  bool ReadAfterInnermostContent() {
    if (TagNode* e = Innermost()) return ReadUntil('<', e->lastChild ? e->lastChild->tail : e->text);
    return ReadUntil('<', discard_);
  }

  // A second body of the same document continues the first, which is open
  // again: one page sequence admits one flow, and FOP rejects a document
  // with two. What follows goes after what the body already holds.
  bool ReopenBody() {
    TagNode* body = body_;
    stack_[depth_++] = body;
    return ReadUntil('<', body->lastChild ? body->lastChild->tail : body->text);
  }

  // Drops a start tag: no node, its text stays with the enclosing element,
  // and the position property finds no node to land on. A dropped SCRIPT or
  // STYLE still takes its content and end tag with it.
  bool DropStartTag(const TagDef* rawText = nullptr) {
    bool more = true;
    if (rawText) more = SkipRawText(rawText);
    if (more) more = ReadAfterInnermostContent();
    CreateProperty(ctx_, nullptr, FilePosName());
    return more;
  }

  // SCRIPT and STYLE hold raw text: '<' inside them starts no tag. So does
  // foreign markup (an inline SVG drawing), kept whole for the writer.
  static bool HoldsRawText(const TagDef* def) {
    return EqualsNoCase(def->name, "SCRIPT") || EqualsNoCase(def->name, "STYLE") ||
           def->rawTag == kRawTagForeignXml;
  }

  // Whether a tag of that name starts at `at` (just after "<" or "</").
  bool NameAt(std::size_t at, std::string_view name) const {
    if (in_.size() - at < name.size() || !EqualsNoCase(in_.substr(at, name.size()), name)) return false;
    const std::size_t after = at + name.size();
    return after == in_.size() || IsTagSpace(in_[after]) || in_[after] == '>' || in_[after] == '/';
  }

  // Where the end tag of a raw-text element starts ("</script" in any case),
  // or npos. Foreign markup may nest its own element: the end tag that
  // matches counts the start tags of that name inside.
  std::size_t RawTextEnd(const TagDef* def) const {
    std::string_view name(def->name);
    const bool nests = def->rawTag == kRawTagForeignXml;
    std::size_t open = 0;
    for (std::size_t at = pos_; (at = in_.find('<', at)) != std::string_view::npos; ++at) {
      if (at + 1 < in_.size() && in_[at + 1] == '/') {
        const bool named = nests ? NameAt(at + 2, name)
                                 : in_.size() - at - 2 >= name.size() &&
                                       EqualsNoCase(in_.substr(at + 2, name.size()), name);
        if (!named) continue;
        if (open == 0) return at;
        --open;
      } else if (nests && NameAt(at + 1, name)) {
        const std::size_t close = in_.find('>', at);
        if (close == std::string_view::npos) return std::string_view::npos;
        if (in_[close - 1] != '/') ++open;
        at = close - 1;
      }
    }
    return std::string_view::npos;
  }

  // Reads a raw-text element's content into the slot and leaves the cursor on
  // its end tag (just after the '<'), so that the end tag is read as usual.
  // Without an end tag the rest of the input is the content; false then.
  bool ReadRawText(const TagDef* def, Text& slot) {
    std::size_t end = RawTextEnd(def);
    std::size_t stop = end == std::string_view::npos ? in_.size() : end;
    if (stop > pos_) slot.append(in_.substr(pos_, stop - pos_));
    if (end == std::string_view::npos) {
      pos_ = in_.size();
      return false;
    }
    pos_ = end + 1;
    return true;
  }

  // Passes over a raw-text element's content and its end tag without a node
  // to hold them; false when the input ends there.
  bool SkipRawText(const TagDef* def) {
    Text discard;
    if (!ReadRawText(def, discard)) return false;
    return ReadUntil('>', discard);
  }

  // HTML's optional end tags: the open elements the start tag ends, from
  // the innermost outwards up to the first element that stops the search.
  void EndImpliedElements(const TagDef* def) {
    const ImpliedEnd* rule = ImpliedEndOf(def);
    if (!rule) return;
    for (int i = depth_ - 1; i >= 0; --i) {
      const TagDef* open = stack_[i]->def;
      const bool stop = lists_.Match(open, rule->stops);
      if (lists_.Match(open, rule->ends)) {
        ctx_.msg().printf("Tag \"%s\" not closed!!!\nPos %lld\n", stack_[i]->raw.or_empty(), tagPos_);
        Lower(i);
      }
      if (stop) return;
    }
  }

  bool StartTag(Text raw) {
    bool selfClosed = false;
    const bool comment = raw.view().substr(0, 3) == "!--";
    if (!comment && raw.view().back() == '/') {
      raw.truncate(raw.size() - 1);
      selfClosed = true;
    }
    std::string name(comment ? std::string_view("!--") : NameOf(raw.view()));

    const TagDef* def = IsInternalName(name) ? nullptr : rows_.Find(name);
    for (int hops = 0; def && def->outputName && def->outputName[0] == '@'; ++hops) {
      const char* target = def->outputName + 1;
      ctx_.msg().printf("Processing tag \"%s\" like tag ", name.c_str());
      ctx_.msg().printf("\"%s\"\nPos %lld\n", target, tagPos_);
      name = target;
      def = hops < kMaxTagAliasHops ? FindTagDef(nullptr, name) : nullptr;
    }
    if (!def) {
      ctx_.msg().printf("Tag \"%s\" not found in internal database!!!\nPos %lld\n", name.c_str(), tagPos_);
      ctx_.msg().printf("TagString: \"%si\"\n\n", raw.c_str());
      def = UnknownRow(name);
      if (!def) return DropStartTag();
    }
    // Before a dropped tag too: a TBODY start ends the header rows before it.
    EndImpliedElements(def);
    if (def->outputName && def->outputName[0] == '\0') return DropStartTag();

    if (depth_ > 0) {
      def = PlacedRow(lists_, Innermost(), def);
      if (!def) {
        ctx_.msg().printf("Tag \"%s\" is not allowed as child of \"%s\"!!!\nPos %lld\n", name.c_str(),
                          Innermost()->def->name, tagPos_);
        return DropStartTag();
      }
      def = RowUnder(lists_, Innermost(), def);
      // A: the innermost element must accept the tag, or be closed by it.
      for (;;) {
        TagNode* e = Innermost();
        if (!e->def->children || lists_.Match(def, e->def->children)) break;
        if (def->closes && lists_.Match(e->def, def->closes)) {
          ctx_.msg().printf("Tag \"%s\" not closed!!!\nPos %lld\n", e->raw.or_empty(), tagPos_);
          Lower(depth_ - 1);
          if (depth_ == 0) break;
          continue;
        }
        // What a list does not admit, standing after an item (a PRE after an
        // LI, as pages write it), goes into that item, open again, instead
        // of losing its text where only items may stand; so does the text
        // between them.
        if (TagNode* last = e->lastChild; last && depth_ < kStackSlots && MatchTagDef(e->def, kItemListTags) &&
                                          MatchTagDef(last->def, e->def->children) &&
                                          (!last->def->children || MatchTagDef(def, last->def->children))) {
          if (last->tail.has()) {
            Text& end = last->lastChild ? last->lastChild->tail : last->text;
            end.append(last->tail.view());
            last->tail.reset();
          }
          stack_[depth_++] = last;
          continue;
        }
        ctx_.msg().printf("Tag \"%s\" is not allowed as child of \"%s\"!!!\nPos %lld\n", name.c_str(),
                          e->def->name, tagPos_);
        return DropStartTag(HoldsRawText(def) && !selfClosed ? def : nullptr);
      }
      // B: a tag of the same row.
      if (depth_ > 0 && def->selfNesting != 0) {
        if (Innermost()->def == def) {
          ctx_.msg().printf("Tag \"%s\" not or incorrect closed!!!\nPos %lld\n", Innermost()->raw.or_empty(),
                            tagPos_);
          Lower(depth_ - 1);
        } else if (def->selfNesting == 2) {
          for (int i = depth_ - 2; i >= 0; --i) {
            if (stack_[i]->def != def) continue;
            ctx_.msg().printf("Tag \"%s\" not or incorrect closed!!!\nPos %lld\n", stack_[i]->raw.or_empty(),
                              tagPos_);
            Lower(i);
            break;
          }
        }
      }
      // C: the tags this one closes.
      while (depth_ > 0 && def->closes && lists_.Match(Innermost()->def, def->closes)) {
        ctx_.msg().printf("Tag \"%s\" not closed!!!\nPos %lld\n", Innermost()->raw.or_empty(), tagPos_);
        Lower(depth_ - 1);
      }
    }

    if (def == bodyDef_ && body_ && body_->parent == Innermost() && depth_ < kStackSlots)
      return ReopenBody();

    TagNode* node = NewNode(def);
    if (def == bodyDef_) body_ = node;
    node->raw = std::move(raw);
    if (ctx_.tracing()) ctx_.dbg().printf("open Tag %s\n", node->raw.c_str());
    if (TagNode* parent = Innermost()) {
      LinkLastChild(parent, node);
    } else {
      // The top level keeps only the declaration and the last node read.
      TagNode* root = ctx_.documentRoot;
      TagNode* old = root->next;
      root->next = node;
      if (body_ != node) body_ = nullptr;  // it may go with the old subtree
      while (old) {
        TagNode* nx = old->next;
        old->next = nullptr;
        FreeSubtree(old);
        old = nx;
      }
    }
    if (def->rawTag == 0) ParseAttributes(ctx_, node);

    bool more;
    if (depth_ < kStackSlots) {
      stack_[depth_] = node;
    } else {
      placedAtLimit_ = true;
    }
    // An element that would be the 51st open one stays closed, like an empty one.
    const bool rawText = HoldsRawText(def) && !selfClosed;
    if (!selfClosed && def->contentKind != 2 && depth_ < kStackSlots) {
      ++depth_;
      more = rawText ? ReadRawText(def, node->text) : ReadUntil('<', node->text);
    } else {
      more = rawText ? SkipRawText(def) : true;
      if (more) more = ReadUntil('<', node->tail);
    }
    // The position replaces an attribute of its name.
    if (TagProperty* p = FindProperty(node, FilePosName())) {
      UnlinkProperty(node, p);
      FreeProperty(p);
    }
    node->setPosition(static_cast<std::uint64_t>(tagPos_));
    return more;
  }

  std::vector<std::string>::iterator FindPending(std::string_view name) {
    for (auto it = pending_.begin(); it != pending_.end(); ++it)
      if (EqualsNoCase(*it, name)) return it;
    return pending_.end();
  }

  // The name an end tag closes by, its aliases followed; false when its row
  // drops it (it closes nothing).
  bool EndTagName(std::string_view raw, std::string& name) {
    name.assign(NameOf(raw.substr(1)));
    const TagDef* def = IsInternalName(name) ? nullptr : rows_.Find(name);
    if (def && def->outputName && def->outputName[0] == '\0') return false;
    for (int hops = 0; def && def->outputName && def->outputName[0] == '@' && hops < kMaxTagAliasHops; ++hops) {
      name = def->outputName + 1;
      def = FindTagDef(nullptr, name);
    }
    return true;
  }

  bool EndTag(Text raw, bool& endOfReading) {
    std::string name;
    const bool more = EndTagName(raw.view(), name) ? ApplyEndTag(raw, name) : ReadAfterInnermostContent();
    // White space (or anything else) after the name does not make it another tag.
    if (EqualsNoCase(NameOf(raw.view().substr(1)), "html")) {
      ctx_.dbg().write("returning after /html\n");
      endOfReading = true;
    }
    return more;
  }

  // The row an element without one is kept as, or none (dropped): only
  // where unknown elements are kept, and only names that begin with a letter.
  const TagDef* UnknownRow(std::string_view name) const {
    if (!ctx_.keepUnknownElements || name.empty() || IsInternalName(name)) return nullptr;
    const char c = name[0];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return nullptr;
    static const TagDef* const element = FindTagDef(nullptr, "XML-ELEMENT");
    static const TagDef* const empty = FindTagDef(nullptr, "XML-EMPTY-ELEMENT");
    return MatchNameListWalk(name, kVoidUnknownTags) ? empty : element;
  }

  bool IsOpen(std::string_view name) const {
    for (int i = depth_ - 1; i >= 0; --i)
      if (EqualsNoCase(EndTagNameOf(stack_[i]), name)) return true;
    return false;
  }

  bool ApplyEndTag(const Text& raw, const std::string& name) {
    if (depth_ == 0) return ReadAfterInnermostContent();
    // An end tag whose element is not open anywhere closes nothing, as in
    // HTML. Remembered as pending, it would close the next element of its
    // name as soon as anything inside that one ended (a stray </p> would
    // tear every later paragraph at its first link).
    if (!IsOpen(name)) {
      ctx_.msg().printf("Tag \"%s\" closes no open element, ignored!!!\nPos %lld\n", raw.c_str(), tagPos_);
      return ReadAfterInnermostContent();
    }
    int i = depth_ - 1;
    for (; i >= 0; --i) {
      TagNode* e = stack_[i];
      if (EqualsNoCase(EndTagNameOf(e), name)) break;
      if (e->def->contentKind == 1) {
        ctx_.msg().printf("Tag \"%s\" not closed!!!\nPos %lld\n", e->raw.or_empty(), tagPos_);
        continue;
      }
      if (e->def->contentKind != 0) continue;
      auto it = FindPending(EndTagNameOf(e));
      if (it != pending_.end()) {
        ctx_.msg().printf("Tag \"%s\" incorrect closed!!!\nPos %lld\n", it->c_str(), tagPos_);
        pending_.erase(it);
        continue;
      }
      return MakePending(raw, name);
    }
    if (i < 0) return ReadAfterInnermostContent();

    if (ctx_.tracing()) ctx_.dbg().printf("\t found tag \"%s\"...\n", stack_[i]->raw.or_empty());
    Lower(i);
    while (depth_ > 0) {
      auto it = FindPending(EndTagNameOf(stack_[depth_ - 1]));
      if (it == pending_.end()) break;
      ctx_.msg().printf("Tag \"%s\" incorrect closed!!!\nPos %lld\n", it->c_str(), tagPos_);
      pending_.erase(it);
      Lower(depth_ - 1);
    }
    return ReadUntil('<', stack_[depth_]->tail);
  }

  bool MakePending(const Text& raw, const std::string& name) {
    ctx_.msg().printf("Tag \"%s\" incorrect closed!!!\nPos %lld\n", raw.c_str(), tagPos_);
    if (pending_.size() < kMaxPending) pending_.push_back(name);
    TagNode* e = Innermost();
    if (e->lastChild) return ReadUntil('<', e->lastChild->tail);
    bool slotUsed;
    if (depth_ < kStackSlots) {
      // A second reader takes what the first placed at that depth as a node
      // (a page that went that deep once); the first checks it.
      if (stack_[depth_] == UnknownSlot()) assumedPlaced_ |= std::uint64_t{1} << depth_;
      slotUsed = stack_[depth_] != nullptr;
    } else {
      if (floor_ && !placedAtLimit_) unsure_ = true;  // the first reader's, which it does not know
      slotUsed = placedAtLimit_;
    }
    // A slot that names a node elsewhere in the tree must not receive the
    // text; the innermost element keeps it. So do the document element and
    // the body when nothing has been placed in them yet: closed there, by a
    // stray end tag at their start, they would leave the rest of the input
    // outside the flow (unprinted) or outside the document (which the next
    // top-level element then replaces).
    if (slotUsed || e->def == bodyDef_ || e->def == htmlDef_) return ReadUntil('<', e->text);
    Lower(depth_ - 1);
    return ReadUntil('<', e->tail);
  }

  Context& ctx_;
  std::string_view in_;
  const PositionMap* positions_;  // none when the text is the file as given
  // The text without its NUL bytes, and where its offsets lie in the file.
  std::string withoutNuls_;
  PositionMap withoutNulsMap_;
  std::size_t pos_ = 0;
  long long tagPos_ = 0;
  // Slots above the depth keep the last node placed there; they are only
  // tested for having held one, never followed (the node may be gone).
  TagNode* stack_[kStackSlots] = {};
  int depth_ = 0;
  bool placedAtLimit_ = false;
  const TagDef* const htmlDef_ = FindTagDef(nullptr, "HTML");
  const TagDef* const headDef_ = FindTagDef(nullptr, "HEAD");
  const TagDef* const bodyDef_ = FindTagDef(nullptr, "BODY");
  TagNode* body_ = nullptr;  // the document's body, once there is one
  // Text that has no node to go to (nothing is open) is read into this and dropped.
  Text discard_;
  // Where the last text was read to, so that a '<' that starts no tag and
  // the text after it join it; only followed right after that read.
  Text* lastText_ = &discard_;
  std::vector<std::string> pending_;
  RowsByName rows_;
  ListRows lists_;
  // The second reader, while it reads (on the first).
  std::unique_ptr<SecondReader> second_;
  // On the second: how deep its own elements start (0 on the first), whether
  // its reading must be dropped, when to stop, and what `more` was last.
  int floor_ = 0;
  bool unsure_ = false;
  std::string floorName_;  // kept room for the end tags ReachesFloor reads
  std::uint64_t assumedPlaced_ = 0;  // the slots it took as the first reader's nodes
  const std::atomic<bool>* stop_ = nullptr;
  bool more_ = false;
};

// Where a second reader may start (just after the '<' of a start tag): the
// first place from `near` on that follows an end tag which, by a count of
// the open block elements whose end tag is required, leaves the body's top
// level, with no paragraph open there either (a page's tables often stand
// in a paragraph never closed). Tag soup can make the count wrong; the first
// reader checks the place when it gets there. npos when there is none
// before the last tenth, or when `stop` is set.
std::size_t FindSecondStart(std::string_view in, std::size_t near, const std::atomic<bool>& stop) {
  static const TagDef* const htmlDef = FindTagDef(nullptr, "HTML");
  static const TagDef* const headDef = FindTagDef(nullptr, "HEAD");
  static const TagDef* const bodyDef = FindTagDef(nullptr, "BODY");
  static const TagDef* const pDef = FindTagDef(nullptr, "P");
  RowsByName rows;
  ListRows lists;
  // Whether a start tag at the top level ends a paragraph open there, as
  // the reader's rules for optional end tags and for refused children say.
  const auto endsParagraph = [&lists](const TagDef* def) {
    if (const ImpliedEnd* rule = ImpliedEndOf(def); rule && lists.Match(pDef, rule->ends)) return true;
    return pDef->children && !lists.Match(def, pDef->children) && def->closes && lists.Match(pDef, def->closes);
  };
  bool paragraph = false;  // a paragraph open at the top level
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const std::size_t last = in.size() - in.size() / 10;
  int open = 0;
  std::size_t tags = 0;
  for (std::size_t i = 0; i < last;) {
    const void* hit = std::memchr(in.data() + i, '<', last - i);
    if (!hit) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - in.data()) + 1;
    if (++tags % 4096 == 0 && stop.load(std::memory_order_relaxed)) break;
    if (in.substr(at, 3) == "!--") {
      const std::size_t end = in.find("-->", at + 3);
      if (end == std::string_view::npos) break;
      i = end + 3;
      continue;
    }
    const bool endTag = at < in.size() && in[at] == '/';
    const std::size_t from = at + (endTag ? 1 : 0);
    std::size_t to = from;
    while (to < in.size() && (letter(in[to]) || (to > from && in[to] >= '0' && in[to] <= '9'))) ++to;
    // Where a tag that counts for nothing ends does not matter: the next
    // '<' is looked for right after its name.
    i = to;
    if (to == from) continue;
    const TagDef* def = rows.Find(in.substr(from, to - from));
    if (!def || def == htmlDef || def == headDef) continue;
    if (def == bodyDef) {
      open = 0;
      paragraph = false;
      continue;
    }
    if (open == 0) {
      if (def == pDef) paragraph = !endTag;
      else if (!endTag && paragraph && endsParagraph(def)) paragraph = false;
    }
    if (def->contentKind != 0 || !lists.Match(def, kBlockTags)) continue;
    const std::size_t close = in.find('>', to);
    if (close == std::string_view::npos) break;
    i = close + 1;
    if (!endTag) {
      if (in[close - 1] != '/') ++open;
      continue;
    }
    if (open == 0 || --open > 0 || paragraph || i < near) continue;
    const std::size_t next = in.find('<', i);
    if (next != std::string_view::npos && next + 1 < last && letter(in[next + 1])) return next + 1;
  }
  return std::string_view::npos;
}

// A thread that reads the input from a place past its middle on while the
// first reads up to it. Its context is its own: its messages join the first
// reader's when the first takes its reading over.
class Parser::SecondReader {
 public:
  SecondReader(Context& ctx, std::string_view in, const PositionMap* positions)
      : in_(in), out_(OutStream::ToPieces(&messages_)) {
    // A map of positions remembers where it was last asked: each reader
    // asks its own.
    if (positions) {
      ownPositions_ = *positions;
      positions_ = &ownPositions_;
    }
    if (ctx.message && ctx.message->discards()) out_ = OutStream::Discard();
    own_.message = &out_;
    own_.debug = ctx.debug;
    own_.reportPropertyFailures = ctx.reportPropertyFailures;
    own_.keepUnknownElements = ctx.keepUnknownElements;
    // A little past the middle: the second reader first looks for its place.
    near_ = ctx.splitReadingNear ? ctx.splitReadingNear : in.size() / 100 * 55;
    books_ = LendTrees();
    try {
      thread_ = std::thread([this] { Read(); });
    } catch (const std::system_error&) {
      AdoptTrees(books_);  // no second thread: the first reads it all
      Decided();
    }
    // With the place given (tests), the first reader waits until the second
    // has found it, so that whether they meet does not depend on which
    // thread runs first.
    if (ctx.splitReadingNear) decided_.wait(false);
  }
  SecondReader(const SecondReader&) = delete;
  SecondReader& operator=(const SecondReader&) = delete;

  // Frees what the second reader read that the first did not take.
  ~SecondReader() {
    Finish(true);
    if (reader_ && reader_->SecondsTop()) FreeTree(reader_->SecondsTop());
  }

  // Where the second reader started; npos until it has.
  std::size_t Start() const { return start_.load(std::memory_order_acquire); }

  // Ends the second reader, stopping it first when its reading will not be
  // used; its reading, when it can stand.
  Parser* Finish(bool stop) {
    if (stop) stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) {
      thread_.join();
      AdoptTrees(books_);
    }
    return !stop && !failed_ && reader_ && reader_->Usable() ? &*reader_ : nullptr;
  }

  void JoinMessages(OutStream& out) const { messages_.WriteRange(out, 0, messages_.size()); }

 private:
  void Read() {
    BorrowTrees(books_);
    try {
      const std::size_t at = FindSecondStart(in_, near_, stop_);
      if (at != std::string_view::npos && !stop_.load()) {
        reader_.emplace(own_, in_, positions_, false);
        start_.store(at, std::memory_order_release);
        Decided();
        reader_->ReadAsSecond(at, &stop_);
      }
    } catch (...) {  // out of memory, say: the first reader reads it all
      failed_ = true;
    }
    Decided();
    books_ = HandTrees();
  }

  void Decided() {
    decided_.store(true);
    decided_.notify_all();
  }

  std::string_view in_;
  PositionMap ownPositions_;
  const PositionMap* positions_ = nullptr;
  std::size_t near_ = 0;
  PieceText messages_;
  OutStream out_;
  Context own_;
  std::optional<Parser> reader_;
  std::atomic<std::size_t> start_{std::string_view::npos};
  std::atomic<bool> stop_{false};
  std::atomic<bool> decided_{false};  // the place is known, or that there is none
  bool failed_ = false;
  TreeHandover books_{};
  std::thread thread_;
};

void Parser::StartSecondReader() { second_ = std::make_unique<SecondReader>(ctx_, in_, positions_); }
std::size_t Parser::SecondStart() const { return second_->Start(); }
void Parser::EndSecondReader() { second_.reset(); }

bool Parser::Usable() const {
  if (unsure_ || depth_ < floor_) return false;
  const TagNode* top = ctx_.documentRoot;
  const TagNode* html = stack_[0];
  const TagNode* body = stack_[1];
  if (top->next != html || html->next || html->firstChild != body || html->lastChild != body) return false;
  if (body_ != body || html->text.has() || html->tail.has() || body->text.has() || body->tail.has()) return false;
  return lastText_ != &html->text && lastText_ != &html->tail && lastText_ != &body->text && lastText_ != &body->tail;
}

// At the second reader's place: its reading is taken over when this
// reader stands there as it assumed, with the HTML and BODY open and
// nothing else; otherwise this one reads on alone.
bool Parser::MeetSecond() {
  std::unique_ptr<SecondReader> second = std::move(second_);
  const bool there = pos_ == second->Start() && depth_ == 2 && body_ && stack_[1] == body_ &&
                     stack_[0]->def == htmlDef_ && body_->parent == stack_[0] && pending_.empty() && !placedAtLimit_;
  Parser* read = second->Finish(!there);
  if (!read) return true;
  for (int k = 2; k < kStackSlots; ++k)
    if ((read->assumedPlaced_ >> k & 1) && !stack_[k]) return true;
  second->JoinMessages(ctx_.msg());
  ++ctx_.secondReadingsTaken;
  return TakeOver(*read);
}

// Takes the second reader's BODY children as this BODY's next ones, and its
// state as this reader's; what `more` was when it stopped.
bool Parser::TakeOver(Parser& second) {
  TagNode* body = second.stack_[1];
  if (TagNode* first = body->firstChild) {
    for (TagNode* c = first; c; c = c->next) c->parent = body_;
    if (body_->lastChild)
      body_->lastChild->next = first;
    else
      body_->firstChild = first;
    body_->lastChild = body->lastChild;
    body->firstChild = body->lastChild = nullptr;
  }
  for (int k = 2; k < kStackSlots; ++k)
    if (second.stack_[k] != UnknownSlot()) stack_[k] = second.stack_[k];
  depth_ = second.depth_;
  placedAtLimit_ = second.placedAtLimit_;
  pending_ = std::move(second.pending_);
  lastText_ = second.lastText_ == &second.discard_ ? &discard_ : second.lastText_;
  pos_ = second.pos_;
  return second.more_;
}

}  // namespace

void ParseHtml(Context& ctx, std::string_view input, bool implyDocument, const PositionMap* positions) {
  Parser p(ctx, input, positions);
  p.Run(implyDocument);
}

}  // namespace ps
