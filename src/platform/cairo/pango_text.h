// How tolv measures and draws text with Pango, the same way on the printer and in the picture
// boxes.
//
// Every surface measures in its own device pixels at identity: the font size is converted from
// points with the surface's resolution and given to Pango as an absolute size in pixels, metric
// hinting and glyph-position rounding are off, so a width measured here is the width drawn on a
// 600 dpi PDF page as on a 96 dpi picture box, and it scales linearly with the size.
#ifndef TOLV_PLATFORM_CAIRO_PANGO_TEXT_H_
#define TOLV_PLATFORM_CAIRO_PANGO_TEXT_H_

#include <cairo.h>
#include <pango/pango.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "surface/font.h"

namespace tolv {

// The one way text reaches Pango: the drawn text (text_rules.h: control characters as blanks,
// which Pango would otherwise end the text at) in UTF-8, one character per input character.
std::string PangoText(const std::u32string& text);

// Whether a document's text came out as nothing: text was drawn, and none of it showed a glyph
// (there is no font at all, or the face and every substitute fontconfig offers lack each of its
// characters). Such a page cannot be right. A character that no font has, among others that
// show, is drawn as the font's missing-glyph box, as any text system does, and --check names it.
// One note is shared by the printer and the picture boxes of a platform, so that a page composed
// in a picture box and then printed is judged when the printer's document ends.
class MissingFonts {
 public:
  // Text drawn in `font` showed no glyph.
  void Note(const FontSpec& font) {
    if (!face_) face_ = font.name;
  }
  // Text drawn showed a glyph of some font.
  void Shown() { shown_ = true; }
  // Text was drawn and none of it showed a glyph.
  bool any() const { return face_.has_value() && !shown_; }
  // The first face that drew nothing, and the note cleared.
  std::u32string Take() {
    std::u32string face = face_.value_or(U"");
    face_.reset();
    shown_ = false;
    return face;
  }

 private:
  std::optional<std::u32string> face_;
  bool shown_ = false;
};

class PangoTextEngine {
 public:
  // The surface's resolution in device pixels per inch, for converting points to pixels. With
  // different resolutions the glyphs are sized for the vertical one and stretched horizontally.
  PangoTextEngine(double dpi_x, double dpi_y,
                  std::shared_ptr<MissingFonts> missing = std::make_shared<MissingFonts>());
  ~PangoTextEngine();
  PangoTextEngine(const PangoTextEngine&) = delete;
  PangoTextEngine& operator=(const PangoTextEngine&) = delete;

  // The advance width of the text and the height of a line of the font (its ascent, descent and
  // line gap, the same for every string), in device pixels. Raises RuntimeError for a font size
  // that CheckFontSize refuses.
  TextExtent Measure(const std::u32string& text, const FontSpec& font);

  // Draws the text in black with its line's logical top-left corner at (x, y) of cr's user space,
  // which must be in this engine's device pixels, and returns its extent. Raises as Measure.
  // Whether the text showed a glyph is noted in missing_fonts().
  TextExtent Draw(cairo_t* cr, double x, double y, const std::u32string& text,
                  const FontSpec& font);

  MissingFonts& missing_fonts() { return *missing_; }

 private:
  struct LayoutDeleter {
    void operator()(PangoLayout* layout) const;
  };
  using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

  // A string laid out in a font, with its extent.
  struct Laid {
    LayoutPtr layout;
    TextExtent extent;
    // Whether a font has a glyph for some character to show.
    bool shown;
    // Whether there is a character to show (not only blanks).
    bool visible;
  };
  struct LaidKey {
    std::u32string text;
    std::u32string face;
    float size;
    bool bold;
    bool operator==(const LaidKey&) const = default;
  };
  struct LaidKeyHash {
    size_t operator()(const LaidKey& key) const;
  };

  // The layout of the text in the font, made once and kept: the fixed grid and the layouts print
  // and measure the same few characters over and over, and shaping them each time was most of
  // their time. A layout depends only on its text, its font and this engine's context, whose
  // options never change, so a kept one draws exactly as a new one would.
  const Laid& Lay(const std::u32string& text, const FontSpec& font);
  LayoutPtr MakeLayout(const std::u32string& text, const FontSpec& font);
  TextExtent Extent(PangoLayout* layout, const FontSpec& font);
  double LineHeight(const FontSpec& font);

  double dpi_x_;
  double dpi_y_;
  PangoContext* context_;
  std::shared_ptr<MissingFonts> missing_;
  // The line height of the last font asked for, so that measuring one character after another
  // does not look the font up each time.
  FontSpec line_font_;
  double line_height_px_ = -1;
  // At most kMaxLaid layouts are kept; then they are all let go and made again as needed.
  static constexpr size_t kMaxLaid = 1024;
  std::unordered_map<LaidKey, Laid, LaidKeyHash> laid_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_PANGO_TEXT_H_
