// The maxi forms (Blank 3 to 6): rows 0 and 1 split, row 2 plain, then rows of 35 boxes.
#include <array>

#include "form/tolv_form.h"
#include "layout/geometry.h"
#include "layout/row_layout.h"
#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv {
namespace {

constexpr std::array<HeaderRow, 3> kMaxiHeader = {HeaderRow::kSplit, HeaderRow::kSplit,
                                                  HeaderRow::kRightTrimmedIfAny};

}  // namespace

void TolvForm::PrintMaxiText() {
  PictureBox& box = Picture2();
  Step([&] { box.SetScaleMode(kScalePixels); });
  const TextFormGeometry geometry = MaxiFormGeometry(job().PrintJob.Blank);
  FormPlacement placement;
  Step([&] { placement.FormScaleX = box.ScaleWidth() / geometry.width; });
  Step([&] { placement.FormScaleY = box.ScaleHeight() / geometry.height; });
  LayOutRows(*this, {box, LayoutVariant::kPicture, placement, trace()}, geometry, kMaxiHeader);
  // The composed drivers go on in twips.
  Step([&] { box.SetScaleMode(kScaleTwips); });
}

void TolvForm::PrintMaxiTextEx(const int32_t& X, const int32_t& Y, const int32_t& width,
                               const int32_t& height) {
  // Unlike the mini layout, the scale mode is the caller's: the rectangle and every position are
  // in whatever unit the printer is in, and the direct driver has set it to pixels.
  const TextFormGeometry geometry = MaxiFormGeometry(job().PrintJob.Blank);
  const FormPlacement placement{width / geometry.width, height / geometry.height,
                                static_cast<double>(X), static_cast<double>(Y)};
  LayOutRows(*this, {printer(), LayoutVariant::kPrinter, placement, trace()}, geometry,
             kMaxiHeader);
}

}  // namespace tolv
