#ifndef TOLV_PLATFORM_CAIRO_FONT_MATCH_H_
#define TOLV_PLATFORM_CAIRO_FONT_MATCH_H_

#include <string>

namespace tolv {

// The family fontconfig gives for a face name, bold, as the text engine asks for it: the face
// itself when it is installed, else its substitute. Empty when fontconfig finds nothing.
std::string MatchedFontFamily(const std::u32string& face);

// The characters of `text` (each once, in order) that neither the face nor any font fontconfig
// would fall back to has: Pango draws them as the missing-glyph box. Blanks, control and
// zero-width characters show nothing anyway and are never named.
std::u32string CharactersWithoutGlyph(const std::u32string& face, const std::u32string& text);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_FONT_MATCH_H_
