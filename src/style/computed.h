// Computed values of the text properties the converter prints, and the side
// table that holds them for the elements the style sheets reach.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/huge_pages.h"
#include "style/syntax.h"

namespace ps {
struct TagNode;
}

namespace ps::css {

// One bit per property: which of them a style sheet gave the element (or
// its ancestors, for the inherited ones). Without the bit the converter's
// own look applies.
enum Prop : std::uint8_t {
  kDisplay, kVisibility, kFontFamily, kFontSize, kFontWeight, kFontStyle, kFontVariant, kColor,
  kTextDecoration, kTextTransform, kVerticalAlign, kTextAlign, kTextIndent, kLineHeight,
  kLetterSpacing, kWordSpacing, kWhiteSpace, kBackgroundColor,
  // The boxes of blocks: margins, padding, borders, widths, breaks, lists.
  kMarginTop, kMarginRight, kMarginBottom, kMarginLeft,
  kPaddingTop, kPaddingRight, kPaddingBottom, kPaddingLeft,
  kBorderTopWidth, kBorderRightWidth, kBorderBottomWidth, kBorderLeftWidth,
  kBorderTopStyle, kBorderRightStyle, kBorderBottomStyle, kBorderLeftStyle,
  kBorderTopColor, kBorderRightColor, kBorderBottomColor, kBorderLeftColor,
  kWidth, kMaxWidth, kBreakBefore, kBreakAfter, kBreakInside, kOrphans, kWidows,
  kListStyleType, kListStylePosition,
  // Tables.
  kTableLayout, kBorderCollapse, kBorderSpacing,
  kPropCount
};
using PropSet = std::uint64_t;
static_assert(kPropCount <= 64, "a PropSet holds a bit per property");
// The properties of text, before those of boxes.
inline constexpr PropSet kTextProps = (PropSet{1} << kMarginTop) - 1;
inline constexpr PropSet Bit(Prop p) { return PropSet{1} << p; }
bool IsInherited(Prop p);
// The property of a name in lower case; kPropCount for none.
Prop PropOfName(std::string_view name);

enum class Display : std::uint8_t { Inline, Block, ListItem, None, Other };
enum class Generic : std::uint8_t { None, Serif, SansSerif, Monospace, Cursive, Fantasy };
enum class Transform : std::uint8_t { None, Uppercase, Lowercase, Capitalize };
enum class VAlign : std::uint8_t { Baseline, Sub, Super, Length, Other };
enum class TextAlign : std::uint8_t { Start, Left, Right, Center, Justify, End };
enum class WhiteSpace : std::uint8_t { Normal, Pre, PreWrap, PreLine, Nowrap };
// The keyword of vertical-align, for table cells.
enum class CellAlign : std::uint8_t { Baseline, Top, Middle, Bottom };
enum class BorderStyle : std::uint8_t { None, Hidden, Solid, Dashed, Dotted, Double, Groove, Ridge, Inset, Outset };
enum class Break : std::uint8_t { Auto, Avoid, Page, Left, Right };
enum class ListStyle : std::uint8_t {
  Disc, Circle, Square, Decimal, DecimalLeadingZero, LowerAlpha, UpperAlpha, LowerRoman, UpperRoman, LowerGreek, None
};
// A border colour that is the element's text colour.
inline constexpr std::uint32_t kCurrentColor = 0xFF000000;
// Sides in the order of the box shorthands.
enum Side : std::uint8_t { kTop, kRight, kBottom, kLeft };
enum Decoration : std::uint8_t { kUnderline = 1, kOverline = 2, kLineThrough = 4 };

// Lengths in points. Colours as 0xRRGGBB, already laid over white.
struct Computed {
  PropSet set = 0;
  PropSet declared = 0;  // the properties a declaration gave this element itself
  Display display = Display::Inline;
  bool hidden = false;  // visibility: hidden or collapse
  Generic generic = Generic::None;
  std::string family;  // the first named family the sheet gave, if any, before the generic one
  float fontSize = 12;
  std::uint16_t fontWeight = 400;
  bool italic = false;
  bool smallCaps = false;
  std::uint32_t color = 0;
  std::uint8_t decoration = 0;
  Transform transform = Transform::None;
  VAlign valign = VAlign::Baseline;
  float valignPt = 0;
  TextAlign textAlign = TextAlign::Start;
  float textIndent = 0;
  bool lineHeightNormal = true;
  float lineHeightFactor = 0;  // a multiple of the font size, inherited as such; 0: a length
  float lineHeight = 0;        // points, when neither normal nor a factor
  float letterSpacing = 0;
  float wordSpacing = 0;
  WhiteSpace whiteSpace = WhiteSpace::Normal;
  bool background = false;  // background-color is not transparent
  std::uint32_t backgroundColor = 0xFFFFFF;
  // Sides in the order top, right, bottom, left. Percentages of widths are
  // taken of the page's line.
  float margin[4] = {0, 0, 0, 0};
  std::uint8_t marginAuto = 0;  // one bit per side
  float padding[4] = {0, 0, 0, 0};
  float borderWidth[4] = {2.25f, 2.25f, 2.25f, 2.25f};  // medium: 3px
  BorderStyle borderStyle[4] = {};
  std::uint32_t borderColor[4] = {kCurrentColor, kCurrentColor, kCurrentColor, kCurrentColor};
  float width = -1;     // points; below 0: auto
  float widthPercent = -1;  // a percentage of the containing block, when given so
  float maxWidth = -1;  // points; below 0: none
  float maxWidthPercent = -1;
  Break breakBefore = Break::Auto;
  Break breakAfter = Break::Auto;
  bool avoidBreakInside = false;
  std::uint16_t orphans = 2;
  std::uint16_t widows = 2;
  ListStyle listStyle = ListStyle::Disc;
  bool listInside = false;
  // Tables and the boxes of their cells.
  CellAlign cellAlign = CellAlign::Baseline;
  bool tableLayoutFixed = false;
  bool borderCollapse = false;
  float borderSpacingH = 0;
  float borderSpacingV = 0;
  // The border as printed: no width without a style.
  float UsedBorder(Side s) const {
    return borderStyle[s] == BorderStyle::None || borderStyle[s] == BorderStyle::Hidden ? 0.0f : borderWidth[s];
  }
  std::uint32_t UsedBorderColor(Side s) const { return borderColor[s] == kCurrentColor ? color : borderColor[s]; }
  bool operator==(const Computed&) const = default;
};

// The computed values of the elements that have an entry: those a
// declaration reached directly. Elements between them inherit what the
// converter carries down the tree.
// An entry is known by the node's address, which the converter hands out
// again once it frees the node (a hidden element, a dissolved table
// header): an entry also holds the element's row and input position, and a
// node created later at that address, which has neither, finds none.
class ComputedStyles {
 public:
  static constexpr std::uint32_t kNoEntry = ~std::uint32_t{0};
  // Entries put by one thread: the cascade may fill the table from two, each
  // walking its own part of the tree, each with its own entries (numbered
  // within the part).
  class Part {
   public:
    // Without a table the entries are made and numbered, and no node gets one.
    explicit Part(ComputedStyles* table) : table_(table) {}
    // Returns the entry's number, for Share; kNoEntry when the node had one.
    std::uint32_t Put(const TagNode* n, Computed c);
    // Gives the node the values of an entry already put (a sibling's).
    void Share(const TagNode* n, std::uint32_t entry);
    std::size_t size() const { return entries_.size(); }

   private:
    ComputedStyles* table_;
    // A deque: growing moves no entry (a page may give a million elements one).
    std::deque<Computed> entries_;
  };

  ComputedStyles() = default;
  ComputedStyles(const ComputedStyles&) = delete;
  ComputedStyles& operator=(const ComputedStyles&) = delete;

  const Computed* Find(const TagNode* n) const;
  std::uint32_t Put(const TagNode* n, Computed c) { return own_.Put(n, std::move(c)); }
  void Share(const TagNode* n, std::uint32_t entry) { own_.Share(n, entry); }
  Part& Own() { return own_; }
  std::size_t size() const;

  // Makes room for every node the tree's pool has a place for, so that parts
  // on other threads fill the table without growing it (each its own nodes).
  void MakeRoomForAll();
  ~ComputedStyles();
  // Keeps a part's entries for as long as the table (its nodes point at them).
  void Keep(std::unique_ptr<Part> part) { parts_.push_back(std::move(part)); }

 private:
  // The entry itself, and the element's row and input position, which a
  // node made later at the same place does not have.
  struct Slot {
    const Computed* computed = nullptr;
    std::uint64_t check = 0;
  };
  static std::uint64_t CheckOf(const TagNode* n);
  // By the node's place in the tree's pool: looking a node up is one index,
  // where hashing its address cost a cache miss or more on every call. Room
  // for every node the pool had when the first entry came, taken zeroed from
  // the system: only the pages that get entries are ever touched.
  struct FreeSlots {
    std::size_t spareBytes;  // taken from the spare huge pages: given back there
    void operator()(Slot* p) const {
      if (spareBytes) KeepSpareHugePages(reinterpret_cast<char*>(p), spareBytes);
      else std::free(p);
    }
  };
  std::unique_ptr<Slot[], FreeSlots> slots_;
  std::size_t slotCount_ = 0;
  Slot* SlotOf(const TagNode* n);  // nullptr when the node has an entry
  Part own_{this};
  std::vector<std::unique_ptr<Part>> parts_;
};

// Computing one declared value onto `out`, given the parent's computed
// values; false when the value is invalid (the declaration is then ignored).
// `mediumPt` is the size of `font-size: medium`.
bool ComputeValue(Prop p, const ComponentValues& value, const Computed& parent, Computed& out, double mediumPt);
// The initial value of a property onto `out`.
void SetInitial(Prop p, Computed& out, double mediumPt);
// The parent's value onto `out`.
void CopyValue(Prop p, const Computed& parent, Computed& out);

// The table properties (box_values.cpp), as the two above.
bool ComputeBoxValue(Prop p, const ComponentValues& value, const Computed& parent, Computed& out, double mediumPt);
void CopyBoxValue(Prop p, const Computed& from, Computed& out);

// A colour (no currentcolor) laid over white paper, as 0xRRGGBB.
bool ColorOnPaper(const ComponentValues& v, std::uint32_t& rgb);

// A single length in points: em against emPt, % against percentOf (none
// when below 0).
bool Length(const ComponentValues& v, double emPt, double percentOf, double mediumPt, double& out);
bool TokenLength(const Token& t, double emPt, double percentOf, double mediumPt, double& out);

}  // namespace ps::css
