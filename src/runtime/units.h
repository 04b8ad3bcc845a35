// The units every surface and destination converts between, written once.
#ifndef TOLV_RUNTIME_UNITS_H_
#define TOLV_RUNTIME_UNITS_H_

namespace tolv {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;
constexpr double kTwipsPerInch = 1440.0;
// The form's picture boxes are measured on a screen of 96 pixels an inch: 15 twips a pixel.
constexpr float kTwipsPerPixel = 15.0f;
constexpr double kScreenDpi = kTwipsPerInch / kTwipsPerPixel;

}  // namespace tolv

#endif  // TOLV_RUNTIME_UNITS_H_
