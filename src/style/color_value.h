// A <color> value as red, green and blue (0-255) and alpha (0-1), for the
// computed values.
#pragma once

#include "style/syntax.h"

namespace ps::css {

// False when the values are not one colour (currentcolor is the caller's).
bool ParseColorValue(const ComponentValues& v, double& r, double& g, double& b, double& a);

}  // namespace ps::css
