// Helpers of the property converters that are worth testing on their own.
#pragma once

#include <string>
#include <string_view>

namespace ps {

// Reads text as sscanf(text, "%i%c", ...) does and answers whether that gives
// exactly one conversion (a bare integer); out-of-range numbers are clamped
// to the int range.
bool ScanBareInt(const char* text, int* out);

// The point size of a FONT SIZE value ("3", "+1", "-2"); false when the
// value is no bare integer after its sign.
bool HtmlFontSizePoints(const char* value, long long* points);

// The file a relative SRC names, resolved against the page's folder; "" for
// a URL with a scheme (http:, data:, ...) or a network path, which are left
// to the renderer, and for an empty one.
std::string LocalImagePath(std::string_view page, std::string_view src);

// Whether text holds nothing but ASCII white space.
bool IsBlank(std::string_view text);

}  // namespace ps
