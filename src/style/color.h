// Colour values: the keywords, #hex and the rgb()/rgba()/hsl()/hsla()
// functions (with commas, and also in the space-separated form with
// `/ alpha` that later style sheets write).
#pragma once

#include <cstdint>

#include "style/syntax.h"

namespace ps::css {

struct Rgba {
  // Red, green and blue on the 0-255 scale as written (rgb(300, -5, 0)
  // keeps its values; Clamped() brings them into range); alpha 0-1.
  double r = 0, g = 0, b = 0, a = 1;
  bool currentColor = false;  // the `currentColor` keyword: the element's color
  struct Bytes {
    std::uint8_t r, g, b;
    double a;
  };
  Bytes Clamped() const;
};

// False when the value is not a colour.
bool ParseColor(const ComponentValue& value, Rgba& out);

}  // namespace ps::css
