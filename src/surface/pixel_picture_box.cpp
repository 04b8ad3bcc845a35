#include "surface/pixel_picture_box.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/runtime.h"
#include "runtime/units.h"
#include "surface/text_rules.h"

namespace tolv {
namespace {

// Picture boxes work at the screen's 96 dots per inch.

// Copies the part of a w x h source that fits into a tw x th target, top-left on top-left.
void Blit(const uint32_t* src, int32_t w, int32_t h, uint32_t* dst, int32_t tw, int32_t th) {
  const int32_t cols = std::min(w, tw);
  const int32_t rows = std::min(h, th);
  if (cols <= 0) return;
  for (int32_t y = 0; y < rows; ++y) {
    std::memcpy(dst + static_cast<size_t>(y) * tw, src + static_cast<size_t>(y) * w,
                static_cast<size_t>(cols) * sizeof(uint32_t));
  }
}

}  // namespace

int32_t TwipsToPixels(float twips) {
  const int32_t px = ToInt32(static_cast<long double>(twips) / kTwipsPerPixel);
  if (px < 0) throw RuntimeError(ErrorKind::kInvalidArgument, "negative picture box size");
  return px;
}

PixelPictureBox::PixelPictureBox(const PictureBoxDesign& design)
    : name_(design.name),
      left_(design.left),
      top_(design.top),
      auto_size_(design.auto_size),
      scale_(kScreenDpi, kScreenDpi, 0, 0),
      font_{design.font_name, design.font_size, design.font_bold} {
  Resize(TwipsToPixels(design.width), TwipsToPixels(design.height));
}

void PixelPictureBox::SetScaleMode(int16_t mode) { scale_.SetMode(mode); }

void PixelPictureBox::SetCurrentX(float x) { current_x_px_ = scale_.ToDeviceX(x); }
void PixelPictureBox::SetCurrentY(float y) { current_y_px_ = scale_.ToDeviceY(y); }
float PixelPictureBox::CurrentX() const { return ToSingle(scale_.FromDeviceX(current_x_px_)); }
float PixelPictureBox::CurrentY() const { return ToSingle(scale_.FromDeviceY(current_y_px_)); }

void PixelPictureBox::SetFontName(const std::u32string& name) {
  if (!name.empty()) font_.name = name;
}

void PixelPictureBox::SetFontSize(float points) {
  CheckFontSize(points);
  font_.size = points;
}

void PixelPictureBox::Print(const std::u32string& text) {
  // Drawing while AutoRedraw is off would go to a window that is never shown.
  if (auto_redraw_) {
    // The device's coordinate limit holds for every backend's text, checked before any is drawn.
    const double x = CheckedDeviceCoordinate(current_x_px_);
    const double y = CheckedDeviceCoordinate(current_y_px_);
    OnDrawText(MutableImage(), x, y, DrawnText(text), font_);
  }
  current_y_px_ += OnMeasureText(U"", font_).height;
  current_x_px_ = scale_.ToDeviceX(0);
}

float PixelPictureBox::TextWidth(const std::u32string& text) {
  return ToSingle(scale_.LengthFromDeviceX(OnMeasureText(DrawnText(text), font_).width));
}

float PixelPictureBox::TextHeight(const std::u32string& text) {
  return ToSingle(scale_.LengthFromDeviceY(OnMeasureText(text, font_).height));
}

void PixelPictureBox::SetPicture(PicturePtr picture) {
  picture_ = std::move(picture);
  if (picture_ && auto_size_) {
    Resize(picture_->width(), picture_->height());
  }
  // The persistent image starts again from the background and the new picture; the memory of
  // the old one goes now.
  std::vector<uint32_t>().swap(image_);
  image_picture_.reset();
}

bool PixelPictureBox::PictureIsImage() const {
  return image_.empty() && !image_picture_ && picture_ && picture_->width() == width_px_ &&
         picture_->height() == height_px_;
}

void PixelPictureBox::MakeImage() const {
  const size_t size = static_cast<size_t>(width_px_) * static_cast<size_t>(height_px_);
  image_.assign(size, kWhite);
  if (picture_) {
    Blit(picture_->pixels().data(), picture_->width(), picture_->height(), image_.data(), width_px_,
         height_px_);
  }
}

const uint32_t* PixelPictureBox::ImageData() const { return image_pixels().data(); }

const std::vector<uint32_t>& PixelPictureBox::image_pixels() const {
  if (!image_.empty()) return image_;
  if (image_picture_) return image_picture_->pixels();
  if (PictureIsImage()) return picture_->pixels();
  MakeImage();
  return image_;
}

std::vector<uint32_t>& PixelPictureBox::MutableImage() {
  if (image_.empty()) {
    if (image_picture_) {
      // Shared with a picture handed out by Image(), which must not change: a copy of its own.
      image_ = image_picture_->pixels();
      image_picture_.reset();
    } else {
      MakeImage();
    }
  }
  return image_;
}

PicturePtr PixelPictureBox::Image() const {
  if (image_picture_) return image_picture_;
  // Nothing drawn on a picture of the box's size: the image is that picture.
  if (PictureIsImage()) return picture_;
  if (image_.empty()) MakeImage();
  // The box's own pixels become the picture, without a copy; the box shares them from now on.
  image_picture_ = std::make_shared<tolv::Picture>(width_px_, height_px_, std::move(image_));
  image_.clear();
  return image_picture_;
}

void PixelPictureBox::SetWidth(float twips) { Resize(TwipsToPixels(twips), height_px_); }
void PixelPictureBox::SetHeight(float twips) { Resize(width_px_, TwipsToPixels(twips)); }

void PixelPictureBox::Resize(int32_t width_px, int32_t height_px) {
  if (width_px == width_px_ && height_px == height_px_) return;
  if (!image_.empty() || image_picture_) {
    // What was drawn stays where it was; new area is background, with the picture where it
    // reaches.
    std::vector<uint32_t> owned = std::move(image_);
    const PicturePtr shared = std::move(image_picture_);
    const uint32_t* old = shared ? shared->pixels().data() : owned.data();
    const int32_t old_w = width_px_;
    const int32_t old_h = height_px_;
    width_px_ = width_px;
    height_px_ = height_px;
    image_.clear();
    image_picture_.reset();
    MakeImage();
    Blit(old, old_w, old_h, image_.data(), width_px_, height_px_);
  } else {
    width_px_ = width_px;
    height_px_ = height_px;
  }
  scale_.SetInnerSize(width_px_, height_px_);
}

int32_t PixelPictureBox::GetImageRows(int32_t first_row, int32_t count, uint32_t* pixels,
                                      int32_t width) const {
  const uint32_t* image = ImageData();
  const int32_t begin = std::max(first_row, 0);
  const int32_t end = std::min<int64_t>(static_cast<int64_t>(first_row) + count, height_px_);
  const int32_t cols = std::min(width, width_px_);
  for (int32_t y = begin; y < end; ++y) {
    std::memcpy(pixels + static_cast<size_t>(y - first_row) * width,
                image + static_cast<size_t>(y) * width_px_,
                static_cast<size_t>(std::max(cols, 0)) * sizeof(uint32_t));
  }
  return std::max(end - begin, 0);
}

int32_t PixelPictureBox::SetImageRows(int32_t first_row, int32_t count, const uint32_t* pixels,
                                      int32_t width) {
  const int32_t begin = std::max(first_row, 0);
  const int32_t end = std::min<int64_t>(static_cast<int64_t>(first_row) + count, height_px_);
  const int32_t cols = std::min(width, width_px_);
  if (begin == 0 && end == height_px_ && cols == width_px_ && image_.empty()) {
    // Every pixel is written: the image need not first be made from the picture.
    image_picture_.reset();
    image_.assign(static_cast<size_t>(width_px_) * static_cast<size_t>(height_px_), kWhite);
  }
  std::vector<uint32_t>& image = MutableImage();
  for (int32_t y = begin; y < end; ++y) {
    std::memcpy(image.data() + static_cast<size_t>(y) * width_px_,
                pixels + static_cast<size_t>(y - first_row) * width,
                static_cast<size_t>(std::max(cols, 0)) * sizeof(uint32_t));
  }
  return std::max(end - begin, 0);
}

void PixelPictureBox::PrintContentInto(PictureBox& target) const {
  auto* pixel_target = dynamic_cast<PixelPictureBox*>(&target);
  if (pixel_target == nullptr) {
    throw RuntimeError(ErrorKind::kDeviceError, "picture boxes of different backends");
  }
  // A target without AutoRedraw would receive the drawing on a window that is never shown.
  if (!pixel_target->auto_redraw_) return;
  const uint32_t* shown = ImageData();
  if (pixel_target == this) return;  // drawn onto itself: nothing changes
  PixelPictureBox& t = *pixel_target;
  if (width_px_ == t.width_px_ && height_px_ == t.height_px_) {
    // Of the same size, the target's image becomes this one's, every pixel. When this one is held
    // as a picture (nothing drawn on its shown picture, or handed out by Image()), the target
    // shares that picture, which never changes, rather than copying it.
    const PicturePtr held =
        image_picture_ ? image_picture_ : (PictureIsImage() ? picture_ : nullptr);
    if (held) {
      std::vector<uint32_t>().swap(t.image_);
      t.image_picture_ = held;
      return;
    }
  }
  if (t.image_.empty() && width_px_ >= t.width_px_ && height_px_ >= t.height_px_) {
    // This box covers the whole target: its image is made from this one's pixels directly.
    t.image_picture_.reset();
    t.image_.resize(static_cast<size_t>(t.width_px_) * static_cast<size_t>(t.height_px_));
  } else {
    t.MutableImage();
  }
  Blit(shown, width_px_, height_px_, t.image_.data(), t.width_px_, t.height_px_);
}

}  // namespace tolv
