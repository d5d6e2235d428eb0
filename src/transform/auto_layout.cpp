#include "transform/auto_layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory_resource>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "model/converters.h"
#include "model/tables.h"
#include "style/computed.h"
#include "transform/names.h"
#include "transform/paragraphs.h"
#include "transform/share_children.h"
#include "transform/stack_arena.h"
#include "transform/table_boxes.h"
#include "transform/widths.h"
#include "writer/named_references.h"

namespace ps {

struct NestedTableMeasures {
  std::unordered_map<const TagNode*, TableMeasure> tables;
  // The helpers that share a large table's rows share its nested tables'
  // measures too; each takes out only those of its own rows.
  std::mutex lock;
};

namespace {

// As the table steps: spans beyond this count as this, rows track the
// cells of earlier rows over this many positions.
constexpr std::int64_t kSpanLimit = 1000;
constexpr std::size_t kGridPositions = 100;
constexpr std::size_t kMaxColumns = 1000;
// The size FOP gives "smaller" (SUP, SUB).
constexpr double kSmallerFactor = 1.0 / 1.2;
// An image without a width of its own is printed at its natural size, which
// the page does not tell; it is counted as an inch, and FOP shrinks it to
// fit whatever its column gets.
constexpr double kUnknownImagePt = 72.0;
// Preformatted tabs advance to the next multiple of this many characters.
constexpr int kTabColumns = 8;
// Lengths are held below this (35 km), so that sums of them stay finite.
constexpr double kHugePt = 1e8;

// A length as HTML attributes give it: bare numbers are pixels, scaled by
// pixelPt. A percentage goes to *percent. False for anything else ("*",
// "3*", words, negative values).
bool ReadLength(std::string_view v, double pixelPt, double* pt, double* percent) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\n' || v.front() == '\r')) v.remove_prefix(1);
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  double n = 0.0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n, std::chars_format::fixed);
  if (ec != std::errc() || !std::isfinite(n) || n < 0) return false;
  std::string_view unit = v.substr(static_cast<std::size_t>(end - v.data()));
  while (!unit.empty() && unit.back() == ' ') unit.remove_suffix(1);
  if (unit == "%") {
    *percent = std::min(n, 100.0);
    return true;
  }
  double scale = -1.0;
  if (unit.empty() || EqualsNoCase(unit, "px"))
    scale = pixelPt;
  else if (EqualsNoCase(unit, "pt"))
    scale = 1.0;
  else if (EqualsNoCase(unit, "cm"))
    scale = kPointsPerCm;
  else if (EqualsNoCase(unit, "mm"))
    scale = kPointsPerCm / 10.0;
  else if (EqualsNoCase(unit, "in"))
    scale = 72.0;
  if (scale < 0) return false;
  *pt = std::min(n * scale, kHugePt);
  return true;
}

// The unbreakable runs and the lines of one cell's content as it is read.
class LineMeasure {
 public:
  explicit LineMeasure(double indent) : indent_(indent) {}
  void SetIndent(double indent) { indent_ = indent; }
  void SetNoWrap(bool noWrap) { noWrap_ = noWrap; }

  void Glyph(double w) {
    FlushSpace();
    word_ += w;
    line_ += w;
  }
  // The plain glyphs from p on, right after a glyph, so that no space can
  // be pending: summed in the order Glyph would sum them. Returns where
  // they end.
  const char* GlyphsInWord(const char* p, const char* end, const double* advance) {
    const Sums sums = SumWord({word_, line_}, p, end, advance);
    word_ = sums.word;
    line_ = sums.line;
    return sums.end;
  }
  // Whether the byte is a glyph of the ASCII fast path: printable, and
  // neither '&' (a reference may start) nor '-' (a break may follow).
  static bool Plain(unsigned char b) { return b > ' ' && b < 0x7F && b != '&' && b != '-'; }
  // A collapsible space: one per run, none at a line's start.
  void Space(double w) {
    if (!noWrap_) EndWord();
    if (line_ > 0.0 || word_ > 0.0) space_ = w;
  }
  // A space that stays and does not break the line (no-break space,
  // preformatted blanks).
  void Glue(double w) {
    FlushSpace();
    word_ += w;
    line_ += w;
  }
  void BreakOpportunity() {
    if (!noWrap_) EndWord();
  }
  // An image: the line may break on either side.
  void Atomic(double w) {
    BreakOpportunity();
    Glyph(w);
    BreakOpportunity();
  }
  // Content on lines of its own (a nested table).
  void Block(const ContentWidths& w) {
    Break();
    result_.min = std::max(result_.min, w.min + indent_);
    result_.max = std::max(result_.max, w.max + indent_);
  }
  void Break() {
    EndWord();
    result_.max = std::max(result_.max, line_ + indent_);
    line_ = 0.0;
    space_ = 0.0;
  }
  ContentWidths Finish() {
    Break();
    return result_;
  }

 private:
  void FlushSpace() {
    if (space_ == 0.0) return;  // within a word: adding nothing changes no sum
    line_ += space_;
    if (noWrap_) word_ += space_;
    space_ = 0.0;
  }
  void EndWord() {
    result_.min = std::max(result_.min, word_ + indent_);
    word_ = 0.0;
  }
  struct Sums {
    double word, line;
    const char* end = nullptr;
  };
  // Kept out of line: inlined, the sums went through the stack at every glyph.
  [[gnu::noinline]] static Sums SumWord(Sums s, const char* p, const char* end, const double* advance) {
    for (; p != end && Plain(static_cast<unsigned char>(*p)); ++p) {
      const double w = advance[static_cast<unsigned char>(*p)];
      s.word += w;
      s.line += w;
    }
    s.end = p;
    return s;
  }
  double indent_;
  bool noWrap_ = false;
  double word_ = 0.0;
  double line_ = 0.0;
  double space_ = 0.0;
  ContentWidths result_;
};

// How the text under a node is set.
struct SetStyle {
  FontSpec font;
  bool preformatted = false;
  bool noWrap = false;
  double indent = 0.0;  // margins and list indents of the blocks around, both sides
};

// The tags the measure treats on their own.
enum class Kind : std::uint8_t { kOther, kTable, kImage, kBreak, kFont, kRow, kRowGroup, kCell, kColumn };

// What a tag does to the measure, from the tag table and its defaults.
struct TagRule {
  Kind kind = Kind::kOther;
  bool skip = false;       // content never printed
  bool italic = false;
  bool lineBreak = false;  // a block: starts and ends lines
  bool monospace = false;
  bool bold = false;
  bool preformatted = false;
  bool noWrap = false;
  double sizePt = 0.0;     // 0: inherited
  double sizeFactor = 1.0;
  double indent = 0.0;
};

constexpr const char* kSkippedTags[] = {"!--", "STYLE", "SCRIPT", "SVG", "HEAD", "TITLE", "Footer", nullptr};
// Tags that end a line besides the block groups.
constexpr const char* kBreakingTags[] = {"BR", "HR", "LI", "DT", "DD", "CAPTION", nullptr};
// The defaults that widen what a block's content needs.
constexpr const char* kIndentDefaults[] = {"XML-MARGIN-LEFT", "XML-MARGIN-RIGHT",
                                           "XML-provisional-distance-between-starts", nullptr};

double DefaultLengthPt(const char* value) {
  double pt = 0.0, percent = 0.0;
  return value && ReadLength(value, 1.0, &pt, &percent) ? pt : 0.0;
}

TagRule MakeRule(const TagDef& def) {
  TagRule r;
  const std::string_view name = def.name;
  r.skip = MatchNameList(name, kSkippedTags);
  r.lineBreak = (MatchTagDef(&def, kBlockTags) && !MatchTagDef(&def, kInlineTags)) || MatchNameList(name, kBreakingTags);
  r.bold = MatchTagDef(&def, kBoldTags);
  r.italic = MatchTagDef(&def, kItalicTags);
  static constexpr std::pair<const char*, Kind> kKinds[] = {
      {"TABLE", Kind::kTable},         {"IMG", Kind::kImage},           {"BR", Kind::kBreak},
      {"FONT", Kind::kFont},           {"TR", Kind::kRow},              {"THEAD", Kind::kRowGroup},
      {"TFOOT", Kind::kRowGroup},      {"XML-TABLE-BODY", Kind::kRowGroup}, {"XML-TABLE-FOOTER", Kind::kRowGroup},
      {"TD", Kind::kCell},             {"TH", Kind::kCell},             {"XML-TABLE-COLUMN", Kind::kColumn}};
  for (const auto& [tag, kind] : kKinds)
    if (EqualsNoCase(name, tag)) r.kind = kind;
  for (const DefaultProperty& d : kDefaultProperties) {
    if (!EqualsNoCase(d.tag, name) || !d.value) continue;
    const std::string_view property = d.property, value = d.value;
    if (EqualsNoCase(property, "XML-FONT-FACE"))
      r.monospace = value == kMonospaceFonts;
    else if (EqualsNoCase(property, "XML-FONT-WEIGHT"))
      r.bold = r.bold || value == "bold";
    else if (EqualsNoCase(property, "XML-FONT-SIZE") && value == "smaller")
      r.sizeFactor = kSmallerFactor;
    else if (EqualsNoCase(property, "XML-WHITE-SPACE-TREATMENT"))
      r.preformatted = value == "preserve";
    else if (EqualsNoCase(property, "XML-WORDWRAP"))
      r.noWrap = value == "no-wrap";
    else if (MatchNameList(property, kIndentDefaults))
      r.indent += DefaultLengthPt(d.value);
  }
  for (std::size_t i = 0; kHeadingTags[i]; ++i) {
    if (!EqualsNoCase(name, kHeadingTags[i])) continue;
    r.sizePt = kHeadingStyles[i].size;
    r.bold = kHeadingStyles[i].bold;
  }
  return r;
}

const TagRule& RuleOf(const TagNode* n) {
  static const std::vector<TagRule> rules = [] {
    std::vector<TagRule> all;
    for (const TagDef& def : kTagDatabase) all.push_back(MakeRule(def));
    return all;
  }();
  static const TagRule none;
  const int row = n->def.index();
  return row >= 0 && static_cast<std::size_t>(row) < rules.size() ? rules[static_cast<std::size_t>(row)] : none;
}

bool IsTag(const TagNode* n, Kind kind) { return RuleOf(n).kind == kind; }

SetStyle StyleFor(const TagNode* n, const SetStyle& parent) {
  const TagRule& r = RuleOf(n);
  SetStyle s = parent;
  if (r.monospace) s.font.monospace = true;
  if (r.bold) s.font.bold = true;
  if (r.italic) s.font.italic = true;
  if (r.sizePt > 0) s.font.sizePt = r.sizePt;
  s.font.sizePt *= r.sizeFactor;
  if (r.preformatted) s.preformatted = true;
  if (r.noWrap) s.noWrap = true;
  s.indent += r.indent;
  static const PropertyName kSize("SIZE");
  if (r.kind == Kind::kFont)
    if (const TagProperty* size = FindProperty(n, kSize); size && size->value.has()) {
      long long points = 0;
      if (HtmlFontSizePoints(size->value.c_str(), &points) && points > 0 && points <= 1000)
        s.font.sizePt = static_cast<double>(points);
    }
  return s;
}

// What the style sheets give the element's text: its size, weight, style,
// a monospaced family and white space, laid over what the tags gave.
SetStyle WithCss(const css::Computed* c, SetStyle s) {
  if (!c) return s;
  using css::Bit;
  if (c->set & Bit(css::kFontSize)) s.font.sizePt = std::clamp<double>(c->fontSize, 0.0, 1000.0);
  if (c->set & Bit(css::kFontWeight)) s.font.bold = c->fontWeight >= 600;
  if (c->set & Bit(css::kFontStyle)) s.font.italic = c->italic;
  if (c->set & Bit(css::kFontFamily)) {
    std::string lower = c->family;
    for (char& ch : lower) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    s.font.monospace = c->generic == css::Generic::Monospace || lower.find("mono") != std::string::npos ||
                       lower.find("courier") != std::string::npos;
  }
  if (c->set & Bit(css::kWhiteSpace)) {
    s.preformatted = c->whiteSpace == css::WhiteSpace::Pre || c->whiteSpace == css::WhiteSpace::PreWrap;
    s.noWrap = c->whiteSpace == css::WhiteSpace::Pre || c->whiteSpace == css::WhiteSpace::Nowrap;
  }
  return s;
}

const css::Computed* CssOf(const Context& ctx, const TagNode* n) { return ctx.styles ? ctx.styles->Find(n) : nullptr; }

// The next character of the text from i on, UTF-8 or windows-1252.
char32_t NextChar(std::string_view t, std::size_t& i, bool utf8) {
  const unsigned char b = static_cast<unsigned char>(t[i++]);
  if (!utf8 || b < 0x80) return utf8 ? b : Cp1252Char(b);
  int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
  if (more < 0) return 0xFFFD;
  char32_t c = b & (0x3F >> more);
  for (; more > 0; --more) {
    if (i >= t.size() || (static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (static_cast<unsigned char>(t[i++]) & 0x3F);
  }
  return c;
}

// Numeric references "&#233;" or "&#x1F600;" from i (at the '&'); 0 when none.
char32_t NumericReference(std::string_view t, std::size_t& i) {
  std::size_t k = i + 2;
  int base = 10;
  if (k < t.size() && (t[k] == 'x' || t[k] == 'X')) {
    base = 16;
    ++k;
  }
  std::uint32_t v = 0;
  const auto [end, ec] = std::from_chars(t.data() + k, t.data() + t.size(), v, base);
  if (ec != std::errc() || end == t.data() + t.size() || *end != ';' || v == 0 || v > 0x10FFFF) return 0;
  i = static_cast<std::size_t>(end - t.data()) + 1;
  return v;
}

// The characters a reference at i (the '&') stands for; none when the text
// there is no reference, which then reads as a plain '&'.
std::u32string Reference(std::string_view t, std::size_t& i) {
  std::u32string out;
  if (i + 1 < t.size() && t[i + 1] == '#') {
    if (const char32_t c = NumericReference(t, i)) out.push_back(c);
    return out;
  }
  std::size_t k = i + 1;
  while (k < t.size() && k - i <= 32 && ((t[k] >= 'a' && t[k] <= 'z') || (t[k] >= 'A' && t[k] <= 'Z') || (t[k] >= '0' && t[k] <= '9'))) ++k;
  if (k >= t.size() || t[k] != ';' || k == i + 1) return out;
  const char* refs = FindNamedReference(t.substr(i + 1, k - i - 1));
  if (!refs) return out;
  const std::string_view r = refs;
  for (std::size_t j = 0; j < r.size();) {
    if (const char32_t c = NumericReference(r, j))
      out.push_back(c);
    else
      break;
  }
  if (!out.empty()) i = k + 1;
  return out;
}

bool IsAsciiLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The advances of the ASCII bytes in points, as the long way computes each,
// for the last font measured on this thread: a table's texts are mostly in
// one font.
const double* AsciiAdvancesPt(const std::uint16_t* advance, double sizePt) {
  thread_local const std::uint16_t* table = nullptr;
  thread_local double size = 0.0;
  thread_local double pt[128];
  if (table != advance || size != sizePt) {
    for (int b = 0; b < 128; ++b) pt[b] = advance[b] ? advance[b] * sizePt / 1000.0 : kOtherScriptEm * sizePt;
    table = advance;
    size = sizePt;
  }
  return pt;
}

// Feeds a text, set in the style, to the measure. column counts the
// characters of a preformatted line, for its tabs.
void FeedText(std::string_view t, bool utf8, const SetStyle& s, LineMeasure& measure, int& column) {
  if (t.empty()) return;
  // Measured on a copy, which no table of advances can alias: its sums stay
  // in registers over a run of text.
  LineMeasure m = measure;
  const double space = CharAdvance(' ', s.font);
  bool afterHyphen = false;
  const double* advancePt = AsciiAdvancesPt(AdvanceTable(s.font), s.font.sizePt);
  for (std::size_t i = 0; i < t.size();) {
    // Most text is printable ASCII: a run of it is measured from the
    // table directly, as ByteAdvance would measure each character. ('&'
    // may start a reference and '-' a break; both take the long way.)
    // Outside preformatted text, so are the blanks between words.
    if (!afterHyphen) {
      std::size_t j = i;
      int glyphs = 0;
      for (; j < t.size(); ++j) {
        const auto b = static_cast<unsigned char>(t[j]);
        if (LineMeasure::Plain(b)) {
          // The word's first glyph takes the space before it; the rest
          // only add up.
          m.Glyph(advancePt[b]);
          const char* rest = t.data() + j + 1;
          const std::size_t after = static_cast<std::size_t>(m.GlyphsInWord(rest, t.data() + t.size(), advancePt) - rest);
          glyphs += 1 + static_cast<int>(after);
          j += after;
        } else if (!s.preformatted && (b == ' ' || b == '\n' || b == '\t' || b == '\r' || b == '\f' || b == '\v')) {
          m.Space(space);
        } else {
          break;
        }
      }
      if (j > i) {
        column += glyphs;
        i = j;
        continue;
      }
    }
    char32_t c;
    if (t[i] == '&') {
      const std::size_t at = i;
      std::u32string chars = Reference(t, i);
      if (chars.empty()) {
        i = at + 1;
        chars.push_back('&');
      }
      c = chars[0];
      for (std::size_t k = 1; k < chars.size(); ++k) m.Glyph(CharAdvance(chars[k], s.font));
    } else {
      c = NextChar(t, i, utf8);
    }
    if (afterHyphen && IsAsciiLetter(c)) m.BreakOpportunity();
    afterHyphen = false;
    if (c == '\n' || c == '\r' || c == '\t' || c == ' ' || c == '\f' || c == '\v') {
      if (!s.preformatted) {
        m.Space(space);
      } else if (c == '\n' || c == '\r') {
        if (!(c == '\r' && i < t.size() && t[i] == '\n')) {
          m.Break();
          column = 0;
        }
      } else {
        const int n = c == '\t' ? kTabColumns - column % kTabColumns : 1;
        m.Glue(space * n);
        column += n;
      }
      continue;
    }
    ++column;
    if (c == 0xA0) {
      m.Glue(space);
    } else if (c == 0x200B) {
      m.BreakOpportunity();
    } else if (IsWideCjk(c)) {
      m.BreakOpportunity();
      m.Glyph(CharAdvance(c, s.font));
      m.BreakOpportunity();
    } else {
      m.Glyph(CharAdvance(c, s.font));
      // A line may break after the hyphen of a compound ("well-known"),
      // not in "-1" or "1-2".
      afterHyphen = c == '-' && !s.preformatted && i >= 2 && IsAsciiLetter(static_cast<unsigned char>(t[i - 2]));
    }
  }
  measure = m;
}

double ImageWidth(const TagNode* img) {
  const TagProperty* w = FindProperty(img, Names().width);
  double pt = 0.0, percent = 0.0;
  // pagesmith prints an image's pixel width as points.
  if (w && w->value.has() && ReadLength(w->value.view(), 1.0, &pt, &percent)) return percent > 0 ? 0.0 : pt;
  return kUnknownImagePt;
}

using MeasureLookup = std::unordered_map<const TagNode*, TableMeasure>;

struct Frame {
  const TagNode* node;
  SetStyle style;
  const TagNode* next;
};

// The content of a cell, walked without recursion; nested tables count with
// their measure, already taken. open is the walk's stack, kept by the caller
// for the next cell.
ContentWidths MeasureContent(const Context& ctx, const TagNode* cell, const SetStyle& base, const MeasureLookup& nested,
                             std::pmr::vector<Frame>& open) {
  const bool utf8 = ctx.utf8Output;
  LineMeasure m(base.indent);
  m.SetNoWrap(base.noWrap);
  open.clear();
  int column = 0;
  FeedText(cell->text.view(), utf8, base, m, column);
  open.push_back({cell, base, cell->firstChild});
  while (!open.empty()) {
    Frame& top = open.back();
    const TagNode* n = top.next;
    if (!n) {
      const Frame done = top;
      open.pop_back();
      if (open.empty()) break;
      const SetStyle& outer = open.back().style;
      if (RuleOf(done.node).lineBreak) {
        m.Break();
        column = 0;
      }
      m.SetIndent(outer.indent);
      m.SetNoWrap(outer.noWrap);
      FeedText(done.node->tail.view(), utf8, outer, m, column);
      continue;
    }
    top.next = n->next;
    const SetStyle outer = top.style;
    const TagRule& rule = RuleOf(n);
    if (rule.skip) {
      FeedText(n->tail.view(), utf8, outer, m, column);
      continue;
    }
    if (rule.kind == Kind::kTable || rule.kind == Kind::kImage || rule.kind == Kind::kBreak) {
      if (rule.kind == Kind::kTable) {
        const auto it = nested.find(n);
        m.Block(it != nested.end() ? it->second.Widths() : ContentWidths{});
      } else if (rule.kind == Kind::kImage && ImageFileMissing(ctx, n)) {
        // Its ALT text prints instead, in italics.
        static const PropertyName kAlt("ALT");
        if (const TagProperty* alt = FindProperty(n, kAlt); alt && alt->value.has()) {
          SetStyle italic = outer;
          italic.font.italic = true;
          FeedText(alt->value.view(), utf8, italic, m, column);
        }
      } else if (rule.kind == Kind::kImage) {
        m.Atomic(ImageWidth(n));
      } else {
        m.Break();
      }
      column = 0;
      FeedText(n->tail.view(), utf8, outer, m, column);
      continue;
    }
    const SetStyle inner = WithCss(CssOf(ctx, n), StyleFor(n, outer));
    if (rule.lineBreak) {
      m.Break();
      column = 0;
    }
    m.SetIndent(inner.indent);
    m.SetNoWrap(inner.noWrap || inner.preformatted);
    FeedText(n->text.view(), utf8, inner, m, column);
    open.push_back({n, inner, n->firstChild});
  }
  return m.Finish();
}

// A cell spanning several columns, spread over them once the columns of
// single cells are known.
struct SpanningCell {
  std::size_t first;
  std::size_t span;
  ContentWidths widths;
  double percent;
};

void Widen(std::vector<ColumnMeasure>& cols, const SpanningCell& c, double ColumnMeasure::*field, double wanted) {
  double have = 0.0, weight = 0.0;
  for (std::size_t k = c.first; k < c.first + c.span; ++k) {
    have += cols[k].*field;
    weight += cols[k].max;
  }
  if (!(wanted > have)) return;
  // In proportion to what the columns hold already; evenly when empty.
  for (std::size_t k = c.first; k < c.first + c.span; ++k) {
    const double share = weight > 0 ? cols[k].max / weight : 1.0 / static_cast<double>(c.span);
    cols[k].*field += (wanted - have) * share;
  }
}

void SpreadSpanningCells(std::vector<ColumnMeasure>& cols, std::pmr::vector<SpanningCell>& spanning) {
  // Narrow spans first, so that a wide one sees what they asked for.
  std::stable_sort(spanning.begin(), spanning.end(),
                   [](const SpanningCell& a, const SpanningCell& b) { return a.span < b.span; });
  for (const SpanningCell& c : spanning) {
    Widen(cols, c, &ColumnMeasure::min, c.widths.min);
    Widen(cols, c, &ColumnMeasure::max, c.widths.max);
    for (std::size_t k = c.first; k < c.first + c.span; ++k) cols[k].max = std::max(cols[k].max, cols[k].min);
    double given = 0.0, weight = 0.0;
    for (std::size_t k = c.first; k < c.first + c.span; ++k) {
      given += cols[k].percent;
      weight += cols[k].max;
    }
    if (c.percent > 0 && given == 0.0)
      for (std::size_t k = c.first; k < c.first + c.span; ++k)
        cols[k].percent = c.percent * (weight > 0 ? cols[k].max / weight : 1.0 / static_cast<double>(c.span));
  }
}

// The rows of a table in document order, whether its parts are built yet or not.
template <class F>
void ForEachRow(const TagNode* table, F&& f) {
  for (const TagNode* c = table->firstChild; c; c = c->next) {
    if (IsTag(c, Kind::kRow)) {
      f(c);
    } else if (IsTag(c, Kind::kRowGroup)) {
      for (const TagNode* r = c->firstChild; r; r = r->next)
        if (IsTag(r, Kind::kRow)) f(r);
    }
  }
}

std::int64_t ReadInt(const TagNode* n, const PropertyName& name, std::int64_t def) {
  const TagProperty* p = FindProperty(n, name);
  if (!p || p->value.null()) return def;
  std::int64_t v = def;
  std::string_view t = p->value.view();
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  return ec == std::errc() ? v : def;
}

// The horizontal room a cell takes besides its content: its padding on both
// sides and one border width (half of each side's, the borders collapsing),
// as the table steps write them from CELLPADDING and BORDER.
double CellFrame(const TagNode* table) {
  static const PropertyName kPadding("CELLPADDING"), kSpacing("CELLSPACING");
  double frame = 0.0, pt = 0.0, percent = 0.0;
  if (const TagProperty* p = FindProperty(table, kPadding); p && p->value.has() && ReadLength(p->value.view(), 1.0, &pt, &percent))
    frame += 2 * pt;
  if (const TagProperty* b = FindProperty(table, Names().border)) {
    pt = 0.0;
    if (b->value.has()) {
      ReadLength(b->value.view(), 1.0, &pt, &percent);
    } else if (const TagProperty* s = FindProperty(table, kSpacing); s && s->value.has()) {
      ReadLength(s->value.view(), 1.0, &pt, &percent);
    } else {
      pt = 1.0;
    }
    frame += pt;
  }
  return frame;
}

TableMeasure MeasureTable(const Context& ctx, const TagNode* table, const MeasureLookup& nested) {
  const bool css = TableBoxesFromCss(ctx);
  TableMeasure m;
  std::vector<ColumnMeasure>& cols = m.columns;
  // Given widths: a length makes a column fixed at it (or its content's
  // minimum, when wider); a percentage asks for a share of the table.
  // With style sheets the computed width decides (WIDTH is one of their
  // hints), and a length is the content's, padding and borders added.
  auto give = [&](ColumnMeasure& col, const TagNode* node, double* fixedPt, double frame) {
    double pt = -1.0, percent = 0.0;
    if (css) {
      if (!CssGivenWidth(ctx, node, &pt, &percent)) return;
      if (pt >= 0) pt += frame;
    } else {
      const TagProperty* width = FindProperty(node, Names().width);
      if (!width || width->value.null() || !ReadLength(width->value.view(), kPointsPerPixel, &pt, &percent)) return;
    }
    if (pt >= 0) {
      col.fixed = true;
      *fixedPt = std::max(*fixedPt, pt);
    } else if (percent > 0) {
      col.percent = std::max(col.percent, percent);
    }
  };
  // The working lists on the stack while they are short: a large page
  // measures tens of thousands of tables. The columns are kept with the
  // measure; room for a few is made at once rather than column by column.
  StackArena<4096> arena;
  std::pmr::vector<double> fixedPt(&arena);
  cols.reserve(8);
  fixedPt.reserve(8);
  auto columnAt = [&](std::size_t k) -> ColumnMeasure* {
    if (k >= kMaxColumns) return nullptr;
    if (k >= cols.size()) {
      cols.resize(k + 1);
      fixedPt.resize(k + 1, 0.0);
    }
    return &cols[k];
  };
  for (const TagNode* c = table->firstChild; c && IsTag(c, Kind::kColumn); c = c->next) {
    const std::size_t k = cols.size();
    if (ColumnMeasure* col = columnAt(k)) {
      const TagProperty* width = FindProperty(c, Names().columnWidth);
      double pt = -1.0, percent = 0.0;
      if (!width || width->value.null() || !ReadLength(width->value.view(), kPointsPerPixel, &pt, &percent)) continue;
      if (pt >= 0) {
        col->fixed = true;
        fixedPt[k] = std::max(fixedPt[k], pt);
      } else if (percent > 0) {
        col->percent = std::max(col->percent, percent);
      }
    }
  }

  // The text the table inherits from the sheets: from the nearest element
  // they reached.
  SetStyle base;
  if (css) {
    const TagNode* a = table;
    for (int i = 0; a && i < 64; ++i, a = a->parent)
      if (const css::Computed* c = CssOf(ctx, a)) {
        base = WithCss(c, base);
        break;
      }
  }
  const double tableFrame = css ? 0.0 : CellFrame(table);
  const TableModel model = TableModelOf(ctx, table);
  std::pmr::vector<SpanningCell> spanning(&arena);
  std::pmr::vector<Frame> open(&arena);
  std::int32_t covered[kGridPositions] = {};
  ForEachRow(table, [&](const TagNode* row) {
    std::size_t j = 0;
    for (const TagNode* cell = row->firstChild; cell; cell = cell->next) {
      if (!IsTag(cell, Kind::kCell)) continue;
      while (j < kGridPositions && covered[j] > 0) ++j;
      const std::int64_t rows = ReadInt(cell, Names().rowSpan, 0);
      if (j < kGridPositions) covered[j] = static_cast<std::int32_t>(std::clamp<std::int64_t>(rows, 0, INT32_MAX));
      const std::int64_t n = std::clamp<std::int64_t>(ReadInt(cell, Names().colSpan, 1), -kSpanLimit, kSpanLimit);
      if (n < 1) continue;
      const std::size_t span = static_cast<std::size_t>(n);
      for (std::size_t k = j + 1; k < j + span && k < kGridPositions; ++k) covered[k] = covered[j];
      ColumnMeasure* col = columnAt(j + span - 1);
      if (!col) break;
      ContentWidths w = MeasureContent(ctx, cell, WithCss(CssOf(ctx, cell), StyleFor(cell, base)), nested, open);
      const double frame = css ? CssCellFrame(ctx, model, cell) : tableFrame;
      w.min += frame;
      w.max += frame;
      ColumnMeasure given;
      double pt = 0.0;
      give(given, cell, &pt, frame);
      if (given.fixed) {
        // A given width is the cell's width unless its content needs more.
        w.min = std::max(w.min, pt);
        w.max = w.min;
      }
      if (span == 1) {
        ColumnMeasure& c1 = cols[j];
        c1.min = std::max(c1.min, w.min);
        c1.max = std::max(c1.max, w.max);
        c1.percent = std::max(c1.percent, given.percent);
        if (given.fixed) {
          c1.fixed = true;
          fixedPt[j] = std::max(fixedPt[j], pt);
        }
      } else {
        spanning.push_back({j, span, w, given.percent});
      }
      j += span;
    }
    for (std::size_t k = 0; k < cols.size() && k < kGridPositions; ++k)
      if (covered[k] > 0) --covered[k];
  });
  for (std::size_t k = 0; k < cols.size(); ++k) {
    ColumnMeasure& c = cols[k];
    if (c.fixed) {
      // A fixed column keeps its width: wider only for its content's minimum.
      c.min = std::max(c.min, fixedPt[k]);
      c.max = c.min;
    }
    c.max = std::max(c.max, c.min);
  }
  SpreadSpanningCells(cols, spanning);
  // Shares beyond the whole table are not given.
  double shares = 0.0;
  for (ColumnMeasure& c : cols) {
    c.percent = std::clamp(c.percent, 0.0, 100.0 - shares);
    shares += c.percent;
  }

  double pt = -1.0, percent = -1.0;
  if (css) {
    // A table's width includes its borders (border-box, as browsers size tables).
    if (CssGivenWidth(ctx, table, &pt, &percent)) {
      m.givenPt = pt >= 0 ? std::max(0.0, pt - CssTableFrame(ctx, table)) : -1.0;
      m.givenPercent = pt >= 0 ? -1.0 : percent;
    }
  } else if (const TagProperty* w = FindProperty(table, Names().width);
             w && w->value.has() && ReadLength(w->value.view(), kPointsPerPixel, &pt, &percent)) {
    m.givenPt = pt;
    m.givenPercent = percent;
  }
  return m;
}

template <class Vector>
double Sum(const Vector& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return s;
}

// The widest the columns want to be together, percentages included: a
// column asking for p % of the table makes the table at least its maximum
// times 100 / p, and the others need what the percentages leave them.
double MaxTableWidth(const TableMeasure& m) {
  double sum = 0.0, percents = 0.0, others = 0.0, needed = 0.0;
  for (const ColumnMeasure& c : m.columns) {
    sum += c.max;
    if (c.percent > 0) {
      percents += c.percent;
      needed = std::max(needed, c.max * 100.0 / c.percent);
    } else {
      others += c.max;
    }
  }
  if (percents > 0 && percents < 100) needed = std::max(needed, others * 100.0 / (100.0 - percents));
  return std::min(std::max(sum, needed), kHugePt);
}

double MinTableWidth(const TableMeasure& m) {
  double sum = 0.0;
  for (const ColumnMeasure& c : m.columns) sum += c.min;
  return sum;
}

}  // namespace

ContentWidths TableMeasure::Widths() const {
  const double min = MinTableWidth(*this);
  if (givenPt >= 0) return {std::max(min, givenPt), std::max(min, givenPt)};
  return {min, std::max(min, MaxTableWidth(*this))};
}

double TextWidth(std::string_view text, bool utf8, const FontSpec& font) {
  SetStyle s;
  s.font = font;
  s.noWrap = true;
  LineMeasure m(0.0);
  m.SetNoWrap(true);
  int column = 0;
  FeedText(text, utf8, s, m, column);
  return m.Finish().max;
}

bool IsAutoLayout(Context& ctx, const TagNode* table) {
  const bool automatic = ctx.autoTableLayout || TableLayoutIsAutomatic(ctx, table);
  return ctx.tableLayoutIsAuto ? ctx.tableLayoutIsAuto(table, automatic) : automatic;
}

namespace {

// A table's nested tables may be measured on two threads (MayShareTable)
// at most this many levels down: each level may take a thread.
constexpr int kShareMeasuresLevels = 4;

const TagNode* EnclosingTable(const TagNode* n) {
  for (n = n->parent; n; n = n->parent)
    if (IsTag(n, Kind::kTable)) return n;
  return nullptr;
}

// The table's measure, its nested tables' left in `kept`.
TableMeasure MeasureSubtree(Context& ctx, const TagNode* table, MeasureLookup& kept, int level) {
  // The tables of the subtree in document order, each before those nested
  // in it; measured backwards, every table finds its nested ones measured.
  StackArena<2048> arena;
  std::pmr::vector<const TagNode*> tables(&arena);
  std::pmr::vector<const TagNode*> chains(&arena);
  tables.push_back(table);
  if (table->firstChild) chains.push_back(table->firstChild);
  while (!chains.empty()) {
    const TagNode* n = chains.back();
    chains.pop_back();
    if (n->next) chains.push_back(n->next);
    if (IsTag(n, Kind::kTable)) tables.push_back(n);
    if (n->firstChild) chains.push_back(n->firstChild);
  }
  if (level < kShareMeasuresLevels && tables.size() > 2 && MayShareTable(ctx, table, table)) {
    // The tables nested right in this one, each measured with its own
    // nested tables on one side or the other.
    std::pmr::vector<const TagNode*> direct(&arena);
    for (std::size_t i = 1; i < tables.size(); ++i)
      if (EnclosingTable(tables[i]) == table) direct.push_back(tables[i]);
    if (direct.size() >= 2) {
      MeasureLookup apart[2];
      ShareChildren(ctx, direct.size(), [&](Context& c, std::size_t k, bool helper) {
        MeasureLookup& into = apart[helper ? 1 : 0];
        TableMeasure m = MeasureSubtree(c, direct[k], into, level + 1);
        into[direct[k]] = std::move(m);
      });
      kept.merge(apart[0]);
      kept.merge(apart[1]);
      return MeasureTable(ctx, table, kept);
    }
  }
  for (std::size_t i = tables.size(); i-- > 1;) kept[tables[i]] = MeasureTable(ctx, tables[i], kept);
  return MeasureTable(ctx, table, kept);
}

}  // namespace

TableMeasure TakeTableMeasure(Context& ctx, const TagNode* table) {
  if (!ctx.nestedTableMeasures) ctx.nestedTableMeasures = std::make_shared<NestedTableMeasures>();
  NestedTableMeasures& nested = *ctx.nestedTableMeasures;
  MeasureLookup& kept = nested.tables;
  {
    const std::lock_guard<std::mutex> hold(nested.lock);
    if (const auto it = kept.find(table); it != kept.end()) {
      TableMeasure m = std::move(it->second);
      kept.erase(it);
      return m;
    }
  }
  // Shared with a helper, the measures are made apart and added at once:
  // the other thread may look up or take out its own meanwhile.
  if (ctx.nestedTableMeasures.use_count() > 1) {
    MeasureLookup own;
    TableMeasure m = MeasureSubtree(ctx, table, own, 0);
    const std::lock_guard<std::mutex> hold(nested.lock);
    kept.merge(own);
    return m;
  }
  return MeasureSubtree(ctx, table, kept, 0);
}

void ForgetNestedMeasures(Context& ctx) {
  if (ctx.nestedTableMeasures) ctx.nestedTableMeasures->tables.clear();
}

namespace {

// DistributeWidths into `widths`, its working lists taken from `memory`: a
// large page lays out tens of thousands of tables, each with a few columns.
void Distribute(const TableMeasure& m, double available, std::pmr::vector<double>& widths,
                std::pmr::memory_resource* memory) {
  const std::size_t n = m.columns.size();
  widths.assign(n, 0.0);
  if (n == 0) return;
  const double minWidth = MinTableWidth(m);
  // The table's width: a given one (never below the minimum), else its
  // widest if that fits, else what is available.
  double table;
  if (m.givenPt >= 0)
    table = m.givenPt;
  else if (m.givenPercent >= 0)
    table = available * m.givenPercent / 100.0;
  else
    table = std::min(available, MaxTableWidth(m));
  table = std::max(table, minWidth);

  // Four widths for each column, each wider than the one before: the
  // minimum; percentage columns at their share; fixed columns at their
  // width too; every column at its maximum. The table's width falls between
  // two of them, and the columns are placed between those in proportion.
  std::pmr::vector<double> guesses[4]{std::pmr::vector<double>(memory), std::pmr::vector<double>(memory),
                                      std::pmr::vector<double>(memory), std::pmr::vector<double>(memory)};
  for (auto& g : guesses) g.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const ColumnMeasure& c = m.columns[k];
    const double share = c.percent > 0 ? std::max(c.min, table * c.percent / 100.0) : -1.0;
    guesses[0][k] = c.min;
    guesses[1][k] = share >= 0 ? share : c.min;
    guesses[2][k] = share >= 0 ? share : c.fixed ? c.max : c.min;
    guesses[3][k] = share >= 0 ? share : c.max;
  }
  if (table <= minWidth) {
    widths = guesses[0];
  } else {
    bool placed = false;
    for (int g = 1; g < 4 && !placed; ++g) {
      const double low = Sum(guesses[g - 1]), high = Sum(guesses[g]);
      if (table > high) continue;
      const double t = high > low ? (table - low) / (high - low) : 0.0;
      for (std::size_t k = 0; k < n; ++k) widths[k] = guesses[g - 1][k] + t * (guesses[g][k] - guesses[g - 1][k]);
      placed = true;
    }
    if (!placed) {
      // Wider than every column wants: the excess goes to the columns
      // without given widths in proportion to their maximums, else to the
      // fixed ones, else to those with percentages.
      widths = guesses[3];
      const double excess = table - Sum(widths);
      auto spread = [&](auto pick) {
        double weight = 0.0;
        std::size_t count = 0;
        for (std::size_t k = 0; k < n; ++k)
          if (pick(m.columns[k])) {
            weight += widths[k];
            ++count;
          }
        if (count == 0) return false;
        for (std::size_t k = 0; k < n; ++k)
          if (pick(m.columns[k])) widths[k] += excess * (weight > 0 ? widths[k] / weight : 1.0 / static_cast<double>(count));
        return true;
      };
      if (!spread([](const ColumnMeasure& c) { return c.percent <= 0 && !c.fixed; }) &&
          !spread([](const ColumnMeasure& c) { return c.percent <= 0; }))
        spread([](const ColumnMeasure&) { return true; });
    }
  }
  // Never wider than the page: FOP would cut what overflows. Columns at
  // their minimums then shrink in proportion.
  const double total = Sum(widths);
  if (total > available && total > 0)
    for (double& w : widths) w *= available / total;
}

}  // namespace

std::vector<double> DistributeWidths(const TableMeasure& m, double available) {
  std::pmr::vector<double> widths;
  Distribute(m, available, widths, std::pmr::get_default_resource());
  return std::vector<double>(widths.begin(), widths.end());
}

double SetAutomaticColumnWidths(Context& ctx, TagNode* table, const TableMeasure& measure, double cw) {
  OutStream& msg = ctx.msg();
  msg.write(" fitting table columns to their content...\n");
  StackArena<4096> arena;
  std::pmr::vector<TagNode*> columns(&arena);
  for (TagNode* c = table->firstChild; c && IsTag(c, Kind::kColumn); c = c->next) columns.push_back(c);
  // The measure's columns, one for each column element.
  TableMeasure resized;
  if (measure.columns.size() != columns.size()) {
    resized = measure;
    resized.columns.resize(columns.size());
  }
  const TableMeasure& m = measure.columns.size() == columns.size() ? measure : resized;
  // A room beyond ten kilometres is no page's: it is held there, so that
  // every count of hundredths below stays far inside its integer.
  const double room = std::isfinite(cw) && cw > 0 ? std::min(cw, 1e6) : 0.0;
  std::pmr::vector<double> widths(&arena);
  Distribute(m, room * kPointsPerCm, widths, &arena);
  // Whole hundredths of a centimetre, as every width is written. Rounded
  // up where the room allows, so that no line FOP sets at its measured
  // width overflows by a rounding; else each column rounded down and the
  // hundredths left over given to the columns that lost most, so that the
  // columns add up to the table's width rounded down.
  const std::size_t n = columns.size();
  std::pmr::vector<long long> hundredths(n, &arena);
  std::pmr::vector<std::pair<double, std::size_t>> lost(n, &arena);
  double exact = 0.0;
  long long down = 0, up = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double h = std::max(0.0, widths[k] / kPointsPerCm * 100.0);
    exact += h;
    hundredths[k] = static_cast<long long>(std::floor(h));
    down += hundredths[k];
    up += static_cast<long long>(std::ceil(h - 1e-6));
    lost[k] = {h - static_cast<double>(hundredths[k]), k};
  }
  if (static_cast<double>(up) <= std::floor(room * 100.0 + 1e-6)) {
    for (std::size_t k = 0; k < n; ++k) hundredths[k] = static_cast<long long>(std::ceil(widths[k] / kPointsPerCm * 100.0 - 1e-6));
  } else {
    // A column at its minimum is rounded up all the same (its widest word
    // would overflow by the rounding); the others give the hundredths back.
    std::pmr::vector<bool> atMin(n, false, &arena);
    for (std::size_t k = 0; k < n; ++k)
      if (widths[k] <= m.columns[k].min + 1e-9 && widths[k] > 0) {
        atMin[k] = true;
        const long long up1 = static_cast<long long>(std::ceil(widths[k] / kPointsPerCm * 100.0 - 1e-6));
        down += up1 - hundredths[k];
        hundredths[k] = up1;
      }
    long long left = static_cast<long long>(std::floor(exact + 1e-6)) - down;
    std::stable_sort(lost.begin(), lost.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = 0; i < n && left > 0; ++i)
      if (!atMin[lost[i].second]) {
        ++hundredths[lost[i].second];
        --left;
      }
    // What the rounded-up minimums took comes off the widest other columns.
    std::pmr::vector<std::size_t> widest(&arena);
    for (std::size_t k = 0; k < n; ++k)
      if (!atMin[k]) widest.push_back(k);
    std::stable_sort(widest.begin(), widest.end(), [&](std::size_t a, std::size_t b) { return hundredths[a] > hundredths[b]; });
    for (std::size_t i = 0; left < 0 && !widest.empty(); i = (i + 1) % widest.size()) {
      if (hundredths[widest[i]] <= 1) break;
      --hundredths[widest[i]];
      ++left;
    }
  }
  long long total = 0;
  for (std::size_t k = 0; k < n; ++k) {
    // As in the fixed layout, no column is narrower than a hundredth.
    const long long h = std::max<long long>(hundredths[k], 1);
    total += h;
    SetProperty(ctx, columns[k], Names().columnWidth, FormatCm(static_cast<double>(h) / 100.0));
  }
  msg.write(" done\n");
  return static_cast<double>(total) / 100.0;
}

}  // namespace ps
