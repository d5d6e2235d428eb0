// Inline SVG drawings, written for FOP's SVG renderer.
#pragma once

#include <string>
#include <string_view>

#include "writer/entities.h"

namespace ps {

// Appends an SVG drawing as well-formed XML in the SVG namespace: `startTag`
// is the drawing's start tag as read (without '<' and '>'), `body` its markup
// up to its end tag. Only elements and attributes the renderer knows are
// kept, in the case SVG spells them; the rest is dropped with its content,
// so that no markup stops FOP's whole document; a size FOP cannot read is
// replaced.
void AppendSvg(std::string_view startTag, std::string_view body, std::string& out, OutputEncoding enc);

}  // namespace ps
