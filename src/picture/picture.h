// A picture: an immutable image of 32-bit pixels, as a loaded picture file or a picture box's
// persistent image is handed around. Pixels are 0xAARRGGBB in native byte order (on a little-endian
// machine the bytes run blue, green, red, alpha, as a 32-bit device-independent bitmap has them);
// every pixel tolv makes is opaque.
#ifndef TOLV_PICTURE_PICTURE_H_
#define TOLV_PICTURE_PICTURE_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace tolv {

class Picture {
 public:
  // pixels.size() must be width * height; rows run from the top down.
  Picture(int32_t width, int32_t height, std::vector<uint32_t> pixels);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  const std::vector<uint32_t>& pixels() const { return pixels_; }
  uint32_t pixel(int32_t x, int32_t y) const {
    return pixels_[static_cast<size_t>(y) * width_ + x];
  }

 private:
  int32_t width_;
  int32_t height_;
  std::vector<uint32_t> pixels_;
};

// Pictures are shared, never changed: the same picture drawn twice is the same object, which lets a
// backend store it once.
using PicturePtr = std::shared_ptr<const Picture>;

}  // namespace tolv

#endif  // TOLV_PICTURE_PICTURE_H_
