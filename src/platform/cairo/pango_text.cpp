#include "platform/cairo/pango_text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "job/code_page.h"
#include "runtime/runtime.h"
#include "surface/text_rules.h"

namespace tolv {
namespace {

// Whether the layout shows a glyph of some font: a character that no font has comes out as an
// unknown glyph (a box with its code, or nothing).
bool Shown(PangoLayout* layout) {
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  bool shown = false;
  do {
    const PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
    if (run == nullptr) continue;
    for (int i = 0; i < run->glyphs->num_glyphs && !shown; ++i) {
      const PangoGlyph glyph = run->glyphs->glyphs[i].glyph;
      shown = glyph != PANGO_GLYPH_EMPTY && (glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0;
    }
  } while (!shown && pango_layout_iter_next_run(iter));
  pango_layout_iter_free(iter);
  return shown;
}

struct FontDescriptionDeleter {
  void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

}  // namespace

std::string PangoText(const std::u32string& text) { return ToUtf8(DrawnText(text)); }

void PangoTextEngine::LayoutDeleter::operator()(PangoLayout* layout) const {
  g_object_unref(layout);
}

PangoTextEngine::PangoTextEngine(double dpi_x, double dpi_y, std::shared_ptr<MissingFonts> missing)
    : dpi_x_(dpi_x),
      dpi_y_(dpi_y),
      context_(pango_font_map_create_context(pango_cairo_font_map_get_default())),
      missing_(std::move(missing)) {
  // Unhinted metrics and unrounded positions: widths then scale linearly with the size and agree
  // between the 96 dpi picture boxes and the 600 dpi printer. Grey antialiasing keeps coloured
  // fringes out of the picture boxes' pixels.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context_, FALSE);
}

PangoTextEngine::~PangoTextEngine() { g_object_unref(context_); }

namespace {

FontDescriptionPtr Describe(const FontSpec& font, double dpi_y) {
  CheckFontSize(font.size);
  FontDescriptionPtr description(pango_font_description_new());
  if (!font.name.empty()) {
    pango_font_description_set_family(description.get(), PangoText(font.name).c_str());
  }
  pango_font_description_set_weight(description.get(),
                                    font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  // An absolute size in device pixels: no resolution of Pango's own takes part.
  pango_font_description_set_absolute_size(description.get(),
                                           font.size * dpi_y / 72.0 * PANGO_SCALE);
  return description;
}

}  // namespace

PangoTextEngine::LayoutPtr PangoTextEngine::MakeLayout(const std::u32string& text,
                                                       const FontSpec& font) {
  FontDescriptionPtr description = Describe(font, dpi_y_);
  LayoutPtr layout(pango_layout_new(context_));
  // One line whatever the text holds: line and paragraph separators are shown, not obeyed.
  pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
  pango_layout_set_font_description(layout.get(), description.get());
  const std::string utf8 = PangoText(text);
  pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
  return layout;
}

double PangoTextEngine::LineHeight(const FontSpec& font) {
  if (line_height_px_ >= 0 && font.name == line_font_.name && font.size == line_font_.size &&
      font.bold == line_font_.bold) {
    return line_height_px_;
  }
  // The logical height of an empty line is the font's ascent and descent, whatever characters a
  // string brings from other fonts.
  PangoRectangle logical;
  pango_layout_get_extents(MakeLayout(U"", font).get(), nullptr, &logical);
  double height = pango_units_to_double(logical.height);
  FontDescriptionPtr description = Describe(font, dpi_y_);
  PangoFont* loaded = pango_context_load_font(context_, description.get());
  if (loaded != nullptr) {
    PangoFontMetrics* metrics = pango_font_get_metrics(loaded, nullptr);
    // The metrics' height is the distance between baselines the font asks for: ascent, descent
    // and its line gap. Pango's line leaves the gap out; a font that gives no height has none.
    const int between_baselines = pango_font_metrics_get_height(metrics);
    if (between_baselines > 0) {
      height += std::max(
          0.0, pango_units_to_double(between_baselines - pango_font_metrics_get_ascent(metrics) -
                                     pango_font_metrics_get_descent(metrics)));
    }
    pango_font_metrics_unref(metrics);
    g_object_unref(loaded);
  }
  line_font_ = font;
  line_height_px_ = height;
  return height;
}

size_t PangoTextEngine::LaidKeyHash::operator()(const LaidKey& key) const {
  const std::hash<std::u32string> strings;
  size_t h = strings(key.text);
  h = h * 31 + strings(key.face);
  h = h * 31 + std::hash<float>()(key.size);
  return h * 2 + (key.bold ? 1 : 0);
}

const PangoTextEngine::Laid& PangoTextEngine::Lay(const std::u32string& text,
                                                  const FontSpec& font) {
  LaidKey key{text, font.name, font.size, font.bold};
  auto found = laid_.find(key);
  if (found != laid_.end()) return found->second;
  LayoutPtr layout = MakeLayout(text, font);
  const TextExtent extent = Extent(layout.get(), font);
  const bool visible = DrawnText(text).find_first_not_of(U' ') != std::u32string::npos;
  const bool shown = visible && Shown(layout.get());
  if (laid_.size() >= kMaxLaid) laid_.clear();
  return laid_.emplace(std::move(key), Laid{std::move(layout), extent, shown, visible})
      .first->second;
}

TextExtent PangoTextEngine::Measure(const std::u32string& text, const FontSpec& font) {
  return Lay(text, font).extent;
}

TextExtent PangoTextEngine::Extent(PangoLayout* layout, const FontSpec& font) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return {pango_units_to_double(logical.width) * dpi_x_ / dpi_y_, LineHeight(font)};
}

TextExtent PangoTextEngine::Draw(cairo_t* cr, double x, double y, const std::u32string& text,
                                 const FontSpec& font) {
  const Laid& laid = Lay(text, font);
  if (laid.shown) {
    missing_->Shown();
  } else if (laid.visible) {
    missing_->Note(font);
  }
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_translate(cr, x, y);
  if (dpi_x_ != dpi_y_) cairo_scale(cr, dpi_x_ / dpi_y_, 1.0);
  cairo_move_to(cr, 0, 0);
  pango_cairo_show_layout(cr, laid.layout.get());
  cairo_new_path(cr);
  cairo_restore(cr);
  return laid.extent;
}

}  // namespace tolv

// Fontconfig keeps the patterns Pango matched in caches it only frees at FcFini, which nothing
// calls at exit; a leak checker (the sanitizer build) would report them and fail every run that
// drew text. Only allocations made inside fontconfig are excused, and quietly: the program's
// standard error carries its own one line only.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
extern "C" __attribute__((used)) const char* __lsan_default_options() {
  return "print_suppressions=0";
}
