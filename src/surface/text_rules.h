// The rules of text that every surface follows, whatever draws its glyphs.
#ifndef TOLV_SURFACE_TEXT_RULES_H_
#define TOLV_SURFACE_TEXT_RULES_H_

#include <string>

namespace tolv {

// The largest font size a surface accepts, in points: 30 inches, beyond any form, and below the
// sizes at which a text library's fixed-point units overflow.
constexpr double kMaxFontPoints = 2160.0;

// Raises RuntimeError (kInvalidArgument) unless the size is a positive number of points up to
// kMaxFontPoints. Every surface checks a size when it is set, so a bad size fails the step that
// sets it, never a later print.
void CheckFontSize(float points);

// The text as it is drawn and measured: every control character (C0 with NUL, DEL, C1) becomes a
// space, so it is drawn as a blank the width of a space and never ends the string (a text library
// stops at a NUL); a value that is no character (a surrogate, beyond U+10FFFF) becomes U+FFFD.
// The result has exactly one character per character of the text.
std::u32string DrawnText(std::u32string text);

}  // namespace tolv

#endif  // TOLV_SURFACE_TEXT_RULES_H_
