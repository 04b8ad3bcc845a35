#include "surface/document_printer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "runtime/runtime.h"
#include "surface/text_rules.h"

namespace tolv {

std::vector<int32_t> DashPattern(int16_t style, const PrinterDevice& device) {
  std::vector<int32_t> units;
  switch (style) {
    case 1:
      units = {3, 1};
      break;
    case 2:
      units = {1, 1};
      break;
    case 3:
      units = {3, 1, 1, 1};
      break;
    case 4:
      units = {3, 1, 1, 1, 1, 1};
      break;
    default:
      return {};
  }
  const int32_t unit = std::max<int32_t>(
      1, static_cast<int32_t>(std::lround(std::min(device.dpi_x, device.dpi_y) / 150.0)));
  for (int32_t& length : units) length *= unit;
  return units;
}
namespace {

double CheckedCoordinate(double px) { return CheckedDeviceCoordinate(px); }

// The device pixel of a position: the nearest, halves to even, as ToInt32 rounds. std::lrint
// rounds so in the default rounding mode in one instruction, where ToInt32's long double rounding
// saves and restores the floating-point environment: that was half the time of setting a million
// dots. Positions beyond the device's range (or not finite) raise an overflow.
int32_t DevicePixel(double px) {
  if (std::fabs(px) <= kMaxDeviceCoordinate) return static_cast<int32_t>(std::lrint(px));
  throw RuntimeError(ErrorKind::kOverflow, "coordinate out of range");
}

// The nearest whole pixel of a checked position, halves to even.
int32_t WholePixel(double px) {
  return static_cast<int32_t>(std::nearbyint(CheckedCoordinate(px)));
}

bool UsableDevice(const PrinterDevice& d) {
  auto positive = [](double v) { return std::isfinite(v) && v > 0; };
  auto non_negative = [](double v) { return std::isfinite(v) && v >= 0; };
  return positive(d.dpi_x) && positive(d.dpi_y) && positive(d.page_width_pt) &&
         positive(d.page_height_pt) && non_negative(d.printable_width_px) &&
         non_negative(d.printable_height_px) && std::isfinite(d.printable_left_px) &&
         std::isfinite(d.printable_top_px);
}

// The device pixels that lie on the page, wholly or in part, in the printer's coordinates (from
// the printable area's corner): the only place where a dot can be seen.
DotLayer PageDotLayer(const PrinterDevice& d, bool usable) {
  if (!usable) return DotLayer(0, 0, 0, 0);
  auto pixel = [](double v) {
    return static_cast<int32_t>(std::clamp(v, -kMaxDeviceCoordinate - 1, kMaxDeviceCoordinate + 1));
  };
  const double page_width_px = d.page_width_pt * d.dpi_x / 72.0;
  const double page_height_px = d.page_height_pt * d.dpi_y / 72.0;
  return DotLayer(pixel(std::floor(-d.printable_left_px)), pixel(std::floor(-d.printable_top_px)),
                  pixel(std::ceil(page_width_px - d.printable_left_px)),
                  pixel(std::ceil(page_height_px - d.printable_top_px)));
}

}  // namespace

DocumentPrinter::DocumentPrinter(std::optional<PrinterDevice> device)
    : device_(device.value_or(PrinterDevice{})),
      available_(device.has_value() && UsableDevice(device_)),
      scale_(available_ ? device_.dpi_x : 600, available_ ? device_.dpi_y : 600,
             available_ ? device_.printable_width_px : 0,
             available_ ? device_.printable_height_px : 0),
      dots_(PageDotLayer(device_, available_)) {
  if (device.has_value() && !available_) {
    first_failure_ = HandOverResult{false,
                                    "the printer reported an unusable page or "
                                    "resolution; nothing was printed"};
  }
}

void DocumentPrinter::Require() const {
  if (!available_) throw RuntimeError(ErrorKind::kDeviceError, "no printer");
}

void DocumentPrinter::BeginOutput() {
  if (state_ == State::kInPage) return;
  if (state_ == State::kNoDocument) OnOpenDocument();
  // The document counts as open from here, so that a page that fails to begin still ends with it.
  state_ = State::kBetweenPages;
  OnBeginPage();
  state_ = State::kInPage;
}

void DocumentPrinter::FlushDots() {
  if (!dots_.empty()) OnDrawDots(dots_);
}

// ---------------------------------------------------------------------------------------------
// Scale, position, font

void DocumentPrinter::SetScaleMode(int16_t mode) {
  Require();
  scale_.SetMode(mode);
}

int16_t DocumentPrinter::ScaleMode() const {
  Require();
  return scale_.mode();
}

float DocumentPrinter::ScaleWidth() const {
  Require();
  return scale_.Width();
}

float DocumentPrinter::ScaleHeight() const {
  Require();
  return scale_.Height();
}

void DocumentPrinter::SetCurrentX(float x) {
  Require();
  current_x_px_ = scale_.ToDeviceX(x);
}

void DocumentPrinter::SetCurrentY(float y) {
  Require();
  current_y_px_ = scale_.ToDeviceY(y);
}

float DocumentPrinter::CurrentX() const {
  Require();
  return ToSingle(scale_.FromDeviceX(current_x_px_));
}

float DocumentPrinter::CurrentY() const {
  Require();
  return ToSingle(scale_.FromDeviceY(current_y_px_));
}

void DocumentPrinter::SetFontName(const std::u32string& name) {
  Require();
  if (!name.empty()) font_.name = name;
}

void DocumentPrinter::SetFontSize(float points) {
  Require();
  CheckFontSize(points);
  font_.size = points;
}

void DocumentPrinter::SetFontBold(bool bold) {
  Require();
  font_.bold = bold;
}

std::u32string DocumentPrinter::FontName() const {
  Require();
  return font_.name;
}

float DocumentPrinter::FontSize() const {
  Require();
  return font_.size;
}

bool DocumentPrinter::FontBold() const {
  Require();
  return font_.bold;
}

// ---------------------------------------------------------------------------------------------
// Text

void DocumentPrinter::Print(const std::u32string& text) {
  Require();
  const double x = CheckedCoordinate(current_x_px_);
  const double y = CheckedCoordinate(current_y_px_);
  BeginOutput();
  FlushDots();
  const TextExtent extent = OnDrawText(x, y, DrawnText(text), font_);
  current_y_px_ = y + extent.height;
  current_x_px_ = scale_.ToDeviceX(0);
}

float DocumentPrinter::TextWidth(const std::u32string& text) {
  Require();
  return ToSingle(scale_.LengthFromDeviceX(OnMeasureText(DrawnText(text), font_).width));
}

float DocumentPrinter::TextHeight(const std::u32string& text) {
  Require();
  return ToSingle(scale_.LengthFromDeviceY(OnMeasureText(DrawnText(text), font_).height));
}

// ---------------------------------------------------------------------------------------------
// Lines, dots, pictures

void DocumentPrinter::SetDrawStyle(int16_t style) {
  Require();
  if (style < 0 || style > 6) throw RuntimeError(ErrorKind::kInvalidArgument, "draw style");
  draw_style_ = style;
}

int16_t DocumentPrinter::DrawStyle() const {
  Require();
  return draw_style_;
}

void DocumentPrinter::Line(float x1, float y1, float x2, float y2) {
  Require();
  // Both ends are rounded to whole device pixels (halves to even), as a dot's position is, and the
  // line covers the pixels from the first to the last: one pixel wide, on the printer's own grid.
  const int32_t px1 = WholePixel(scale_.ToDeviceX(x1));
  const int32_t py1 = WholePixel(scale_.ToDeviceY(y1));
  const int32_t px2 = WholePixel(scale_.ToDeviceX(x2));
  const int32_t py2 = WholePixel(scale_.ToDeviceY(y2));
  BeginOutput();
  FlushDots();
  if (draw_style_ == 5) return;  // transparent
  OnDrawLine(px1, py1, px2, py2, draw_style_);
}

void DocumentPrinter::PSet(float x, float y, int32_t color) {
  Require();
  const int32_t px = DevicePixel(scale_.ToDeviceX(x));
  const int32_t py = DevicePixel(scale_.ToDeviceY(y));
  BeginOutput();
  dots_.Set(px, py, static_cast<uint32_t>(color) & 0xFFFFFFu);
  if (dots_.full()) FlushDots();
}

void DocumentPrinter::PaintPicture(const PicturePtr& picture, float x, float y, float width,
                                   float height) {
  Require();
  if (!picture) throw RuntimeError(ErrorKind::kInvalidArgument, "no picture");
  const double left = CheckedCoordinate(scale_.ToDeviceX(x));
  const double top = CheckedCoordinate(scale_.ToDeviceY(y));
  const double right = CheckedCoordinate(left + scale_.LengthToDeviceX(width));
  const double bottom = CheckedCoordinate(top + scale_.LengthToDeviceY(height));
  BeginOutput();
  FlushDots();
  // The corners go to device pixel edges, so line art lands on whole printer pixels and bands
  // painted one below the other meet without a seam. A negative size mirrors the picture.
  const DeviceRect rect{WholePixel(left), WholePixel(top), WholePixel(right), WholePixel(bottom)};
  if (rect.left == rect.right || rect.top == rect.bottom || picture->width() == 0 ||
      picture->height() == 0) {
    return;
  }
  OnDrawPicture(picture, rect);
}

// ---------------------------------------------------------------------------------------------
// Document

void DocumentPrinter::NewPage() {
  Require();
  BeginOutput();
  FlushDots();
  OnEndPage();
  state_ = State::kBetweenPages;
  current_x_px_ = scale_.ToDeviceX(0);
  current_y_px_ = scale_.ToDeviceY(0);
}

void DocumentPrinter::EndDoc() {
  Require();
  if (state_ == State::kNoDocument) return;
  if (state_ == State::kInPage) {
    // A failure here leaves the document to the backend's end, which reports what went wrong.
    Step([&] {
      FlushDots();
      OnEndPage();
    });
  }
  state_ = State::kNoDocument;
  ++documents_ended_;
  Record(OnEndDocument());
}

void DocumentPrinter::Record(const HandOverResult& result) {
  if (!result.ok && !first_failure_) first_failure_ = result;
}

HandOverResult DocumentPrinter::Finish() {
  if (available_ && document_open()) EndDoc();
  return first_failure_ ? *first_failure_ : HandOverResult{};
}

}  // namespace tolv
