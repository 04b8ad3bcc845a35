#include "surface/scale.h"

#include <cmath>

#include "runtime/runtime.h"
#include "runtime/units.h"

namespace tolv {

double CheckedDeviceCoordinate(double px) {
  if (!std::isfinite(px) || std::fabs(px) > kMaxDeviceCoordinate) {
    throw RuntimeError(ErrorKind::kOverflow, "coordinate out of range");
  }
  return px;
}

namespace {

// Units per inch of the scale modes that are a fixed length (a character is 120 twips across and
// 240 down). Pixels are the device's own and have no fixed length.
double UnitsPerInch(int16_t mode, bool vertical) {
  switch (mode) {
    case kScaleTwips:
      return kTwipsPerInch;
    case kScalePoints:
      return kPointsPerInch;
    case kScaleCharacters:
      return vertical ? 6.0 : 12.0;
    case kScaleInches:
      return 1.0;
    case kScaleMillimetres:
      return kMmPerInch;
    case kScaleCentimetres:
      return kMmPerInch / 10;
    default:
      return 0.0;
  }
}

}  // namespace

SurfaceScale::SurfaceScale(double dpi_x, double dpi_y, double inner_width_px,
                           double inner_height_px)
    : dpi_x_(dpi_x),
      dpi_y_(dpi_y),
      inner_width_px_(inner_width_px),
      inner_height_px_(inner_height_px) {}

void SurfaceScale::SetMode(int16_t mode) {
  if (mode < kScaleTwips || mode > kScaleCentimetres) {
    throw RuntimeError(ErrorKind::kInvalidArgument, "invalid scale mode");
  }
  mode_ = mode;
  left_ = 0;
  top_ = 0;
}

void SurfaceScale::SetInnerSize(double width_px, double height_px) {
  inner_width_px_ = width_px;
  inner_height_px_ = height_px;
}

double SurfaceScale::PixelsPerUnitX() const {
  if (mode_ == kScalePixels) return 1.0;
  return dpi_x_ / UnitsPerInch(mode_, false);
}

double SurfaceScale::PixelsPerUnitY() const {
  if (mode_ == kScalePixels) return 1.0;
  return dpi_y_ / UnitsPerInch(mode_, true);
}

double SurfaceScale::LengthFromDeviceX(double px) const {
  if (mode_ == kScalePixels) return px;
  return px * UnitsPerInch(mode_, false) / dpi_x_;
}

double SurfaceScale::LengthFromDeviceY(double px) const {
  if (mode_ == kScalePixels) return px;
  return px * UnitsPerInch(mode_, true) / dpi_y_;
}

// The extents are computed in double and rounded once to single precision.
float SurfaceScale::Width() const { return ToSingle(LengthFromDeviceX(inner_width_px_)); }
float SurfaceScale::Height() const { return ToSingle(LengthFromDeviceY(inner_height_px_)); }

}  // namespace tolv
