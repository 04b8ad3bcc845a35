// A picture box of the form, with text drawn by Pango into its persistent image at the screen's
// 96 dpi (15 twips a pixel), measured and drawn by the same rules as on the printer.
#ifndef TOLV_PLATFORM_CAIRO_CAIRO_PICTURE_BOX_H_
#define TOLV_PLATFORM_CAIRO_CAIRO_PICTURE_BOX_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cairo/pango_text.h"
#include "platform/platform.h"
#include "surface/font.h"
#include "surface/pixel_picture_box.h"

namespace tolv {

class CairoPictureBox : public PixelPictureBox {
 public:
  // Text drawn without a glyph is noted in `missing`.
  CairoPictureBox(const PictureBoxDesign& design,
                  std::shared_ptr<MissingFonts> missing = std::make_shared<MissingFonts>());

 protected:
  void OnDrawText(std::vector<uint32_t>& image, double x, double y, const std::u32string& text,
                  const FontSpec& font) override;
  TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) override;

 private:
  PangoTextEngine text_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_CAIRO_PICTURE_BOX_H_
