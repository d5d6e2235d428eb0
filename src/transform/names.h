// The property names and tag groups the transformation steps use at every
// node or cell, each looked up once.
#pragma once

#include "model/tables.h"
#include "model/tree.h"

namespace ps {

struct StepNames {
  // paragraphs and fonts
  PropertyName keepTogether{"XML-KEEP-TOGETHER"};
  PropertyName spaceAfter{"XML-SPACE-AFTER"};
  PropertyName spaceBefore{"XML-SPACE-BEFORE"};
  PropertyName face{"XML-FONT-FACE"};
  PropertyName styleSize{"STYLE-font-size"};
  PropertyName styleColor{"STYLE-color"};
  PropertyName lineHeight{"XML-LINE-HEIGHT"};
  PropertyName size{"XML-FONT-SIZE"};
  PropertyName color{"XML-FONT-COLOR"};
  PropertyName weight{"XML-FONT-WEIGHT"};
  PropertyName decoration{"XML-FONT-TEXT-DECORATION"};
  PropertyName style{"XML-FONT-STYLE"};
  // tables and their widths
  PropertyName columnWidth{"XML-TABLE-COLUMN-WIDTH"};
  PropertyName colSpan{"COLSPAN"};
  PropertyName rowSpan{"ROWSPAN"};
  PropertyName align{"ALIGN"};
  PropertyName border{"BORDER"};
  PropertyName listSeparator{"LIST-SEPARATOR"};
  PropertyName borderWidth{"XML-BORDER-WIDTH"};
  PropertyName borderColor{"XML-BORDER-COLOR"};
  PropertyName borderStyle{"XML-BORDER-STYLE"};
  PropertyName width{"WIDTH"};
  PropertyName maxContentWidth{"XML-CONFIG-MAX-CONTENT-WIDTH"};
  // tag groups
  TagSet blockTags{kBlockTags};
  TagSet inlineTags{kInlineTags};
  TagSet paragraphTags{kParagraphTags};
  TagSet blockFbTags{kBlockFbTags};
  TagSet textBlockTags{kTextBlockTags};
  TagSet fontTags{kFontTags};
  TagSet boldTags{kBoldTags};
  TagSet italicTags{kItalicTags};
  TagSet underlineTags{kUnderlineTags};
  TagSet lineThroughTags{kLineThroughTags};
  // tags the steps insert
  const TagDef* inlineTag = FindTagDef(nullptr, "XML-INLINE");
  const TagDef* paragraphTag = FindTagDef(nullptr, "P");
};

// Inline: the steps ask for it several times at every node.
inline const StepNames& Names() {
  static const StepNames names;
  return names;
}

}  // namespace ps
