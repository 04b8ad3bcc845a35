// A picture box on Windows: the shared pixel picture box, with text drawn by GDI at 96 dpi into a
// 32-bit DIB section, unsmoothed, black on white.
#ifndef TOLV_PLATFORM_WIN32_GDI_PICTURE_BOX_H_
#define TOLV_PLATFORM_WIN32_GDI_PICTURE_BOX_H_

#include <windows.h>

#include "platform/win32/gdi_text.h"
#include "surface/pixel_picture_box.h"

namespace tolv {

class GdiPictureBox : public PixelPictureBox {
 public:
  explicit GdiPictureBox(const PictureBoxDesign& design);
  ~GdiPictureBox() override;
  GdiPictureBox(const GdiPictureBox&) = delete;
  GdiPictureBox& operator=(const GdiPictureBox&) = delete;

 protected:
  void OnDrawText(std::vector<uint32_t>& image, double x, double y, const std::u32string& text,
                  const FontSpec& font) override;
  TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) override;

 private:
  HDC dc_;  // a memory DC; text goes into a DIB section selected into it for each Print
  GdiFonts fonts_;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_GDI_PICTURE_BOX_H_
