// Helpers of the property converters that are worth testing on their own.
#pragma once

namespace ps {

// Reads text as sscanf(text, "%i%c", ...) does and answers whether that gives
// exactly one conversion (a bare integer); out-of-range numbers are clamped
// to the int range.
bool ScanBareInt(const char* text, int* out);

// The point size of a FONT SIZE value ("3", "+1", "-2"); false when the
// value is no bare integer after its sign.
bool HtmlFontSizePoints(const char* value, long long* points);

}  // namespace ps
