// The PDF's navigation and properties: bookmarks from the headings, the
// document's title and language.
#pragma once

#include <string>

#include "model/tree.h"

namespace ps {

// Adds, after the layout master set of the finished document, the
// declarations with the document's title (TITLE, else its first heading) and
// language, and a bookmark tree with one bookmark per heading, nested by
// level. A heading without an id of its own gets one no other element has.
// The walk for the headings and ids shares the children of `split` (if
// any) with a helper.
void BuildOutline(Context& ctx, TagNode* html, TagNode* masterSet, const TagNode* split = nullptr);

// A subtree's text as it prints, without markup, white space collapsed;
// entity references are left for the writer.
std::string PrintedText(const TagNode* node);
// Runs of blank, tab, carriage return and line feed as one blank, none at
// either end.
std::string CollapseWhiteSpace(std::string_view text);

// The title of a page with neither TITLE nor heading: its file's name,
// without folders, when that is plain ASCII; else empty.
std::string FileNameTitle(std::string_view path);

}  // namespace ps
