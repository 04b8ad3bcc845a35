#include "picture/picture.h"

#include <cassert>
#include <utility>

namespace tolv {

Picture::Picture(int32_t width, int32_t height, std::vector<uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
  assert(width >= 0 && height >= 0);
  assert(pixels_.size() == static_cast<size_t>(width) * static_cast<size_t>(height));
}

}  // namespace tolv
