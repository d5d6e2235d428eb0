// Table structure: rebuilds an HTML table into columns, one body and rows
// that all fill the same grid, and dresses the cells. TableStep1 and
// TableStep2 (model/handlers.h) are the TABLE row's enter and leave handlers.
#pragma once

#include "model/tree.h"

namespace ps {

// The run of blanks that indents the node in the source text, or none.
Text NodeIndentation(const TagNode* node);
// Stores "\n", the node's indentation and four spaces in its "LIST-SEPARATOR",
// so that the attributes written after it start on a line of their own.
TagProperty* AddListSeparator(Context& ctx, TagNode* node);
// Writes "Pos in html: ..." for the node or its nearest ancestor that has an
// input position.
void PrintHtmlPosition(OutStream& out, const TagNode* node);

}  // namespace ps
