// Paragraphs and fonts: text must stand in blocks, fonts must sit on a block
// or an inline.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

#include "model/tree.h"

namespace ps {

// The size (points) and weight SizeHeading gives H1 to H6; the line height
// is twice the size.
struct HeadingStyle {
  int size;
  bool bold;
};
inline constexpr HeadingStyle kHeadingStyles[] = {{16, true}, {16, false}, {14, true},
                                                  {14, false}, {12, true}, {12, false}};
namespace css {
struct Computed;
}

// Wraps a container's content in one "P" when it holds text or inline content
// directly. True asks the calling level to treat the node as inline content.
bool InsertParagraphs(Context& ctx, int depth, TagNode* node);
// Whether a node can carry the fonts for all of its content.
bool IsSimpleContent(int depth, const TagNode* node);

// Texts made for the font step's states, each value once: a page's
// elements repeat a few sizes and colours (texts keyed by what they say,
// points by their bits).
struct KeptTexts {
  std::deque<Text> texts;
  std::unordered_map<std::string, const Text*> byText;
  std::unordered_map<std::uint64_t, const Text*> byPoints;
};

// The inherited state of the font step. The texts belong to properties of
// the tree, which the font step never frees.
struct FontState {
  const Text* face = nullptr;
  const Text* size = nullptr;
  const Text* color = nullptr;
  const Text* lineHeight = nullptr;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool lineThrough = false;
  TagNode* paragraph = nullptr;
  TagNode* carrier = nullptr;
  // What the style sheets give: the nearest element's computed values, the
  // properties they set (css::Prop bits), and what the fields above cannot
  // hold. Texts made for the state live in `texts` (none: no sheets).
  const css::Computed* css = nullptr;
  std::uint64_t cssSet = 0;
  bool background = false;
  std::uint32_t backgroundColor = 0;
  KeptTexts* texts = nullptr;
  const TagNode* split = nullptr;  // whose children a helper shares (SplitParentFor); none: one thread
};

// The font step over a subtree; returns the node that now stands in the
// node's place (the node itself or the "XML-INLINE" that wraps it).
TagNode* PropagateFonts(Context& ctx, int depth, TagNode* node, FontState state);

}  // namespace ps
