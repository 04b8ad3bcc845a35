#include "platform/cairo/font_match.h"

#include <fontconfig/fontconfig.h>
#include <glib.h>

#include "job/code_page.h"

namespace tolv {
namespace {

// The face in bold, as the text is drawn, with fontconfig's substitutions applied.
FcPattern* BoldPattern(const std::u32string& face) {
  FcPattern* pattern = FcPatternCreate();
  const std::string name = ToUtf8(face);
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  return pattern;
}

}  // namespace

std::string MatchedFontFamily(const std::u32string& face) {
  FcPattern* pattern = BoldPattern(face);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  std::string family;
  FcChar8* value = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch) {
    family = reinterpret_cast<const char*>(value);
  }
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return family;
}

std::u32string CharactersWithoutGlyph(const std::u32string& face, const std::u32string& text) {
  FcPattern* pattern = BoldPattern(face);
  // Every font the face falls back to, and the characters they have together.
  FcCharSet* covered = nullptr;
  FcResult result = FcResultNoMatch;
  FcFontSet* fonts = FcFontSort(nullptr, pattern, FcTrue, &covered, &result);
  std::u32string missing;
  for (const char32_t c : text) {
    if (c > 0x10FFFF || g_unichar_isspace(c) || g_unichar_iscntrl(c) || g_unichar_iszerowidth(c) ||
        missing.find(c) != std::u32string::npos) {
      continue;
    }
    if (covered == nullptr || !FcCharSetHasChar(covered, c)) missing.push_back(c);
  }
  if (covered != nullptr) FcCharSetDestroy(covered);
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  FcPatternDestroy(pattern);
  return missing;
}

}  // namespace tolv
