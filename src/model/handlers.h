// The handlers and converters that the tables name. Each is defined in the
// module that owns its behaviour.
#pragma once

#include <string_view>

#include "model/tree.h"

namespace ps {

// The id of the block that closes the flow; no element of the author's takes it.
inline constexpr std::string_view kLastPageId = "LastPage";

// Tag handlers.
bool BuildPageFrame(Context&, TagNode*);
bool CaptureTitle(Context&, TagNode*);
bool CaptureFooter(Context&, TagNode*);
bool SetContentWidth(Context&, TagNode*);
bool BuildBodyFrame(Context&, TagNode*);
bool StyleLink(Context&, TagNode*);
bool BuildListItem(Context&, TagNode*);
bool LabelLooseItem(Context&, TagNode*);
bool NumberListItems(Context&, TagNode*);
bool DiscardStyleContent(Context&, TagNode*);
bool SizeHeading(Context&, TagNode*);
bool FitImage(Context&, TagNode*);
bool TableStep1(Context&, TagNode*);
bool TableStep2(Context&, TagNode*);
bool QuoteContent(Context&, TagNode*);
bool NarrowContent(Context&, TagNode*);

// Property converters.
bool ClearValue(Context&, TagNode*, TagProperty*);
bool ConvertFontSize(Context&, TagNode*, TagProperty*);
bool NormalizePointUnit(Context&, TagNode*, TagProperty*);
bool SpreadCellPadding(Context&, TagNode*, TagProperty*);
bool ConvertImageBorder(Context&, TagNode*, TagProperty*);
bool ConvertTableBorder(Context&, TagNode*, TagProperty*);
bool MapAlign(Context&, TagNode*, TagProperty*);
bool MapPageBreak(Context&, TagNode*, TagProperty*);
bool RetypeNamedAnchor(Context&, TagNode*, TagProperty*);
bool PlaceIdTarget(Context&, TagNode*, TagProperty*);
bool ConvertLinkTarget(Context&, TagNode*, TagProperty*);
bool ConvertBackgroundImage(Context&, TagNode*, TagProperty*);
bool DeclarationConverter(Context&, TagNode*, TagProperty*);

}  // namespace ps
