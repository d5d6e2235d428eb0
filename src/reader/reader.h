// Reads the HTML text into the tag tree, repairing and reporting bad nesting.
#pragma once

#include <cstdio>
#include <string_view>

#include "model/tree.h"

namespace ps {

// Reads the whole stream (seekable or not) and parses it. Returns false when
// the stream could not be read (a directory, a read error); nothing is parsed then.
bool LoadHtmlFile(Context& ctx, std::FILE* in);
// Builds the tree under ctx.documentRoot from the input text; the first NUL
// byte, if any, ends the input.
void ParseHtml(Context& ctx, std::string_view input);

}  // namespace ps
