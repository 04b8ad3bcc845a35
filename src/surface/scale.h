// The coordinate system of a drawing surface: its scale mode, its origin and its inner size, and
// the conversion between scale units and device pixels. Every backend keeps one, so that all
// surfaces agree on what ScaleMode, ScaleWidth, ScaleLeft and CurrentX mean.
#ifndef TOLV_SURFACE_SCALE_H_
#define TOLV_SURFACE_SCALE_H_

#include <cstdint>

namespace tolv {

enum ScaleModes : int16_t {
  kScaleTwips = 1,
  kScalePoints = 2,
  kScalePixels = 3,
  kScaleCharacters = 4,
  kScaleInches = 5,
  kScaleMillimetres = 6,
  kScaleCentimetres = 7,
};

// Device coordinates beyond this many pixels are refused as an overflow, on printers and picture
// boxes alike: Cairo keeps coordinates in 24.8 fixed point and GDI in 27 bits, and both would wrap
// them silently.
constexpr double kMaxDeviceCoordinate = 8388607.0;

// A position in device pixels as it is to be drawn: raises RuntimeError (kOverflow) beyond
// kMaxDeviceCoordinate or when not finite.
double CheckedDeviceCoordinate(double px);

class SurfaceScale {
 public:
  // dpi_x, dpi_y: device pixels per inch; the inner (printable) area's size in device pixels.
  SurfaceScale(double dpi_x, double dpi_y, double inner_width_px, double inner_height_px);

  // Sets the scale mode (1 to 7); the origin goes back to the inner area's top-left corner.
  // Raises kInvalidArgument for any other mode.
  void SetMode(int16_t mode);
  int16_t mode() const { return mode_; }

  void SetInnerSize(double width_px, double height_px);
  double inner_width_px() const { return inner_width_px_; }
  double inner_height_px() const { return inner_height_px_; }
  double dpi_x() const { return dpi_x_; }
  double dpi_y() const { return dpi_y_; }

  // ScaleWidth and ScaleHeight: the inner size in the current unit, as single-precision values.
  float Width() const;
  float Height() const;

  float Left() const { return static_cast<float>(left_); }
  float Top() const { return static_cast<float>(top_); }
  void SetLeft(float left) { left_ = left; }
  void SetTop(float top) { top_ = top; }

  // Conversions between a position in scale units and device pixels from the inner area's corner.
  double ToDeviceX(double x) const { return (x - left_) * PixelsPerUnitX(); }
  double ToDeviceY(double y) const { return (y - top_) * PixelsPerUnitY(); }
  double FromDeviceX(double px) const { return LengthFromDeviceX(px) + left_; }
  double FromDeviceY(double px) const { return LengthFromDeviceY(px) + top_; }
  // Lengths (no origin).
  double LengthToDeviceX(double x) const { return x * PixelsPerUnitX(); }
  double LengthToDeviceY(double y) const { return y * PixelsPerUnitY(); }
  double LengthFromDeviceX(double px) const;
  double LengthFromDeviceY(double px) const;

  double PixelsPerUnitX() const;
  double PixelsPerUnitY() const;

 private:
  double dpi_x_;
  double dpi_y_;
  double inner_width_px_;
  double inner_height_px_;
  int16_t mode_ = kScaleTwips;
  double left_ = 0;
  double top_ = 0;
};

}  // namespace tolv

#endif  // TOLV_SURFACE_SCALE_H_
