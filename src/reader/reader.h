// Reads the HTML text into the tag tree, repairing and reporting bad nesting.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "model/huge_pages.h"
#include "model/tree.h"

namespace ps {

// Reads the whole stream to its real end, seekable or not. False when reading
// failed (a directory, an I/O error).
bool ReadWholeStream(std::FILE* in, InputText& data);
// Reports the length and parses the text; returns the name of the encoding
// the page was read in (for the sheets it links to).
const char* LoadHtmlText(Context& ctx, std::string_view data);
// Reads the whole stream and parses it; false (nothing parsed) when it could not be read.
bool LoadHtmlFile(Context& ctx, std::FILE* in);
class PositionMap;

// Builds the tree under ctx.documentRoot from the input text; NUL bytes are
// dropped. Positions are offsets into the text, or,
// with a map, into the file the text was converted from.
// A page fragment (no HTML start tag) is read inside an implied HTML and,
// without a BODY start tag, BODY; `implyDocument` false reads it bare.
void ParseHtml(Context& ctx, std::string_view input, bool implyDocument = true,
               const PositionMap* positions = nullptr);

}  // namespace ps
