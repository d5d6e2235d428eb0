// The page frame the style sheets' @page rules give: page masters, the
// static contents of the margin boxes, and the markers of running strings.
#pragma once

#include <string>

#include "model/context.h"
#include "model/tree.h"

namespace ps {

// Whether the style sheets give the page (else the converter's own frame).
bool StyledPage(const Context& ctx);
// The master the page sequence refers to.
const char* StyledMasterReference(const Context& ctx);
// The simple page masters, and a sequence master when the first, left and
// right pages differ, into the layout master set.
void BuildStyledMasters(Context& ctx, TagNode* set);
// The static contents of every master, inserted before the flow `body`;
// a running text of the document (TITLE, FOOTER) fills a row that the
// sheets leave empty.
void BuildStyledRegions(Context& ctx, TagNode* body);
// A marker first in every block of the flow whose element sets a running
// string, after the outline has taken the headings' texts.
void PlaceStringMarkers(Context& ctx, TagNode* root);
// The text's width on the narrowest page, in centimetres.
double StyledContentWidthCm(const Context& ctx);

// A text from a style sheet (UTF-8) as the tree holds texts: markup
// characters and every non-ASCII character as references.
std::string SheetTextAsMarkup(std::string_view utf8);

}  // namespace ps
