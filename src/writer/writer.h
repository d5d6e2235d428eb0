// Serialises the tree as XML.
#pragma once

#include <string>

#include "model/tree.h"
#include "writer/entities.h"

namespace ps {

// Writes the whole top-level chain followed by "\r\n", with the progress
// messages. Returns false when the output stream reported a failure.
bool WriteDocument(Context& ctx, OutStream& out);
// Whether a link has a destination with a non-empty value; one without is
// written as a plain inline.
bool HasUsableLinkTarget(const TagNode* node);
// Writes one node with its subtree and tail text (not its siblings).
void WriteNode(std::string& out, const TagNode* node, bool topLevel = false,
               OutputEncoding enc = OutputEncoding::Latin1);

}  // namespace ps
