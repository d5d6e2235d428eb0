// The printed page from the style sheets: @page rules (size, margins, the
// :first, :left and :right pages, the margin boxes and their content) and
// the running strings that `string-set` takes from elements. Plain values:
// lengths in points, texts, lists of content pieces.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "style/syntax.h"

namespace ps::css {

// One piece of a margin box's `content` or of a `string-set` value.
struct ContentPiece {
  enum class Kind : std::uint8_t {
    Text,         // `text`
    PageNumber,   // counter(page)
    PageCount,    // counter(pages)
    String,       // string(`text`): a running string's value on the page
    ElementText,  // content() / content(text) of a string-set: the element's text
  };
  // Which value string() takes when the string is set more than once.
  enum class Position : std::uint8_t { First, Start, Last, FirstExcept };
  Kind kind = Kind::Text;
  Position position = Position::First;
  std::string text;
  bool operator==(const ContentPiece&) const = default;
};
using Content = std::vector<ContentPiece>;

// The margin boxes the converter places; the corner and side boxes join the
// nearest of these (see the notes in page.cpp).
enum class Slot : std::uint8_t { TopLeft, TopCenter, TopRight, BottomLeft, BottomCenter, BottomRight };
inline constexpr int kSlotCount = 6;

enum class BoxAlign : std::uint8_t { Default, Left, Center, Right };

struct MarginBox {
  bool given = false;  // a `content` other than none/normal (an empty string counts)
  Content content;
  double fontSizePt = 0;  // 0: not given
  bool hasColor = false;
  std::uint32_t color = 0;  // 0xRRGGBB
  BoxAlign align = BoxAlign::Default;
  bool operator==(const MarginBox&) const = default;
};

struct PageBox {
  double widthPt = 595.28, heightPt = 841.89;  // A4
  // Where no sheet gives a margin: the converter's own frame (2.5 cm above
  // and below the text, 2 cm beside it).
  double marginTopPt = 70.87, marginRightPt = 56.69, marginBottomPt = 70.87, marginLeftPt = 56.69;
  std::array<MarginBox, kSlotCount> boxes;
  bool operator==(const PageBox&) const = default;
  const MarginBox& box(Slot s) const { return boxes[static_cast<int>(s)]; }
  bool AnyBox(bool top) const;  // some box of the top (or bottom) row is given
};

// A `string-set` given to every element of one name.
struct StringSet {
  std::string element;  // lower case
  std::string name;
  Content value;  // Text and ElementText pieces
};

struct PageSetup {
  bool given = false;  // some sheet has an @page rule for the printed pages
  PageBox first;       // the first page (a right page)
  PageBox left, right;
  std::vector<StringSet> stringSets;
};

// Takes the rules of the style sheets in cascade order (user sheets first,
// then the page's), and computes the page setup from them.
class PageSetupBuilder {
 public:
  // One rule: @page rules and style rules that give `string-set` are kept,
  // others are passed over. @media and @supports blocks are the caller's.
  void AddRule(const Rule& rule, bool user);
  // The top-level rules of a whole sheet.
  void AddSheet(const Stylesheet& sheet, bool user);
  PageSetup Finish() const;

 private:
  struct PageRule {
    Rule rule;
    bool user;
    std::uint32_t order;
  };
  std::vector<PageRule> pageRules_;
  std::vector<PageRule> stringRules_;
  std::uint32_t order_ = 0;
};

// Convenience for sheets given as text, user sheets first.
PageSetup ComputePageSetup(const std::vector<const Stylesheet*>& userSheets,
                           const std::vector<const Stylesheet*>& authorSheets);

}  // namespace ps::css
