#ifndef TOLV_PLATFORM_CAIRO_FONT_MATCH_H_
#define TOLV_PLATFORM_CAIRO_FONT_MATCH_H_

#include <string>

namespace tolv {

// The family fontconfig gives for a face name, bold, as the text engine asks for it: the face
// itself when it is installed, else its substitute. Empty when fontconfig finds nothing.
std::string MatchedFontFamily(const std::u32string& face);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_FONT_MATCH_H_
