// The picture box every backend builds on: geometry, scale, font, shown picture and persistent
// image (32-bit pixels, white) are kept here; a backend adds only how text is measured and drawn
// into the image. No border: the inner size is the outer size. 15 twips are one pixel.
#ifndef TOLV_SURFACE_PIXEL_PICTURE_BOX_H_
#define TOLV_SURFACE_PIXEL_PICTURE_BOX_H_

#include <cstdint>
#include <vector>

#include "runtime/units.h"
#include "surface/drawing_surface.h"
#include "surface/font.h"
#include "surface/scale.h"

namespace tolv {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

class PixelPictureBox : public PictureBox {
 public:
  explicit PixelPictureBox(const PictureBoxDesign& design);

  void SetScaleMode(int16_t mode) override;
  int16_t ScaleMode() const override { return scale_.mode(); }
  float ScaleWidth() const override { return scale_.Width(); }
  float ScaleHeight() const override { return scale_.Height(); }
  void SetCurrentX(float x) override;
  void SetCurrentY(float y) override;
  float CurrentX() const override;
  float CurrentY() const override;
  void SetFontName(const std::u32string& name) override;
  void SetFontSize(float points) override;
  void SetFontBold(bool bold) override { font_.bold = bold; }
  std::u32string FontName() const override { return font_.name; }
  float FontSize() const override { return font_.size; }
  bool FontBold() const override { return font_.bold; }
  void Print(const std::u32string& text) override;
  float TextWidth(const std::u32string& text) override;
  float TextHeight(const std::u32string& text) override;

  PicturePtr Picture() const override { return picture_; }
  void SetPicture(PicturePtr picture) override;
  PicturePtr Image() const override;
  void SetAutoRedraw(bool on) override { auto_redraw_ = on; }
  bool AutoRedraw() const override { return auto_redraw_; }
  void Refresh() override {}
  float Left() const override { return left_; }
  float Top() const override { return top_; }
  float Width() const override { return static_cast<float>(width_px_) * kTwipsPerPixel; }
  float Height() const override { return static_cast<float>(height_px_) * kTwipsPerPixel; }
  void SetWidth(float twips) override;
  void SetHeight(float twips) override;
  float ScaleLeft() const override { return scale_.Left(); }
  void SetScaleLeft(float left) override { scale_.SetLeft(left); }
  int32_t GetImageRows(int32_t first_row, int32_t count, uint32_t* pixels,
                       int32_t width) const override;
  int32_t SetImageRows(int32_t first_row, int32_t count, const uint32_t* pixels,
                       int32_t width) override;
  void PrintContentInto(PictureBox& target) const override;

  int32_t width_px() const { return width_px_; }
  int32_t height_px() const { return height_px_; }
  // The persistent image, made when first needed.
  const std::vector<uint32_t>& image_pixels() const;

 protected:
  // Draws the text with its line's top-left corner at (x, y) device pixels into the persistent
  // image (width_px() x height_px(), rows top-down). The text is already as drawn (DrawnText: no
  // control characters), the font's size valid and the position finite and within
  // kMaxDeviceCoordinate.
  virtual void OnDrawText(std::vector<uint32_t>& image, double x, double y,
                          const std::u32string& text, const FontSpec& font) = 0;
  virtual TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) = 0;

  const FontSpec& font() const { return font_; }

 private:
  void Resize(int32_t width_px, int32_t height_px);
  // The persistent image's pixels (width_px() x height_px(), rows top-down), wherever they are
  // held; nullptr for an empty box.
  const uint32_t* ImageData() const;
  // Whether the shown picture is the whole persistent image: the box has its size and nothing
  // has been drawn since it was set.
  bool PictureIsImage() const;
  // The persistent image for writing, owned by the box alone; made when first needed.
  std::vector<uint32_t>& MutableImage();
  // The persistent image made from the background and the shown picture, owned by the box.
  void MakeImage() const;

  std::string name_;
  float left_;
  float top_;
  int32_t width_px_ = 0;
  int32_t height_px_ = 0;
  bool auto_size_;
  SurfaceScale scale_;
  FontSpec font_;
  double current_x_px_ = 0;
  double current_y_px_ = 0;
  PicturePtr picture_;
  bool auto_redraw_ = false;
  // The persistent image: white, the shown picture at the top-left, then what was drawn into it.
  // Picture1 alone is 25 MB, so it is held without copies: until something is drawn it is the
  // shown picture itself (or made from it when first read, if the sizes differ); once drawn into
  // it is image_, owned by the box; Image() hands image_ over as a picture (image_picture_), which
  // the box then shares and copies again only when it is drawn into once more.
  mutable std::vector<uint32_t> image_;
  mutable PicturePtr image_picture_;
};

// Twips to whole pixels, halves to even; raises an overflow for sizes beyond 32 bits or negative.
int32_t TwipsToPixels(float twips);

}  // namespace tolv

#endif  // TOLV_SURFACE_PIXEL_PICTURE_BOX_H_
