// Serialises the tree as XML.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/tree.h"
#include "writer/entities.h"

namespace ps {

// Writes the whole top-level chain followed by "\r\n", with the progress
// messages. Returns false when the output stream reported a failure.
// From `twoThreadsFrom` nodes on, a helper thread writes part of it (the
// bytes are the same); `helped`, when given, tells whether it did. Tests
// ask `waitForHelper`, so that the helper takes part however the threads
// are scheduled.
inline constexpr std::size_t kWriteTwoThreadsFrom = std::size_t{1} << 17;
bool WriteDocument(Context& ctx, OutStream& out, std::size_t twoThreadsFrom = kWriteTwoThreadsFrom,
                   bool* helped = nullptr, bool waitForHelper = false);
// Whether a link has a destination with a non-empty value; one without is
// written as a plain inline.
bool HasUsableLinkTarget(const TagNode* node);
// The property a node's id is written from: the first with a value whose
// attribute is "id"; nullptr when the node writes none. Of two nodes whose
// ids have equal keys only the first in document order keeps its id.
const TagProperty* WrittenIdProperty(const TagNode* node);
std::string IdKey(std::string_view value, OutputEncoding enc);
// Writes one node with its subtree and tail text (not its siblings).
void WriteNode(std::string& out, const TagNode* node, bool topLevel = false,
               OutputEncoding enc = OutputEncoding::Latin1);

}  // namespace ps
