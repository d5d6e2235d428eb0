// @media queries and @supports conditions, answered for the printed page.
#pragma once

#include "style/syntax.h"

namespace ps::css {

struct Medium {
  double widthPx = 793.7;   // the page's width (A4 less nothing: 210mm at 96px/in)
  double heightPx = 1122.5;
};

// A media query list (the prelude of @media, or a `media` attribute's text).
bool MediaMatches(const ComponentValues& queries, const Medium& m);
bool MediaMatches(std::string_view queries, const Medium& m);
// @supports: `supported(name, value)` answers for declarations.
using SupportsFn = bool (*)(std::string_view property, const ComponentValues& value);
bool SupportsMatches(const ComponentValues& condition, SupportsFn supported);

}  // namespace ps::css
