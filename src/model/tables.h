// The constant tables that type every node and property.
#pragma once

#include <cstddef>
#include <span>

#include "model/tree.h"

namespace ps {

struct TagGroup {
  const char* name;
  NameList members;
};

struct DefaultProperty {
  const char* tag;
  const char* property;
  const char* value;  // may be nullptr
};

// A tag that the innermost open element refuses is read as its variant when
// that element admits the variant: one HTML name, two meanings by place.
struct TagVariant {
  const char* tag;
  const char* variant;
};

// HTML's optional end tags: a start tag of `tag` ends the open elements
// listed in `ends`, looking outwards from the innermost one and stopping
// at an element listed in `stops` (after ending it, when it is in both).
struct ImpliedEnd {
  const char* tag;
  NameList ends;
  NameList stops;
};

// A table part or list item belongs inside its table or list: where the
// innermost open element is none of `parents`, the tag is read as the
// `standIn` row, which prints its content as a block (no row: dropped).
struct TagPlacement {
  const char* tag;
  NameList parents;
  const char* standIn;
};

extern const std::span<const TagDef> kTagDatabase;
extern const std::span<const ImpliedEnd> kImpliedEnds;
extern const std::span<const TagPlacement> kTagPlacements;
extern const std::span<const TagGroup> kTagGroups;
extern const std::span<const DefaultProperty> kDefaultProperties;
extern const std::span<const PropertyDef> kPropertyDatabase;
extern const std::span<const TagVariant> kTagVariants;

// The font-family lists the FO names. FOP takes each character from the
// first font in the list that has a glyph for it: Helvetica (or Courier)
// keeps Latin text as it always printed, the free fonts after it cover
// Arabic, Greek, Cyrillic and Hebrew, Devanagari, Thai, Japanese, Chinese
// and Korean. Amiri stands before DejaVu Sans, whose Arabic letters FOP
// leaves unjoined; FOP sets text in a font without Latin letters above the
// line, so the Arabic and Thai fonts are ones that have them. The shipped
// FOP configuration makes these fonts known to FOP; rows that want text in
// them name these lists.
inline constexpr const char kTextFonts[] =
    "Helvetica, Amiri, DejaVu Sans, FreeSans, Arundina Sans, IPAGothic, WenQuanYi Zen Hei";
inline constexpr const char kMonospaceFonts[] =
    "Courier, DejaVu Sans Mono, IPAGothic, WenQuanYi Zen Hei Mono, Amiri, DejaVu Sans, FreeSans, "
    "Arundina Sans Mono";

// Every NameList the tables use, so the lookup index can be built once.
extern const std::span<const NameList> kAllNameLists;

// The groups the transformation tests nodes against, as indexed lists.
extern const NameList kBlockTags;
extern const NameList kInlineTags;
extern const NameList kParagraphTags;
extern const NameList kBlockFbTags;
extern const NameList kFontTags;
// The tags that make their content bold, italic, underlined or struck through.
extern const NameList kBoldTags;
extern const NameList kItalicTags;
extern const NameList kUnderlineTags;
extern const NameList kLineThroughTags;
extern const NameList kHeadingTags;
// Blocks that hold flow content, whose loose text becomes a paragraph.
extern const NameList kTextBlockTags;
// HTML's void elements without a row, read as XML-EMPTY-ELEMENT where
// unknown elements are kept (others as XML-ELEMENT).
extern const NameList kVoidUnknownTags;
// Lists, whose last item takes what they do not admit themselves.
extern const NameList kItemListTags;

}  // namespace ps
