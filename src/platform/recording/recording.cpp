#include "platform/recording/recording.h"

#include <cmath>
#include <utility>

#include "platform/runtime.h"

namespace tolv::recording {
namespace {

TextExtent FixedExtent(const std::u32string& text, const FontSpec& font, const TextMetrics& m,
                       double dpi_x, double dpi_y) {
  const double em_x = font.size * dpi_x / 72.0;
  const double em_y = font.size * dpi_y / 72.0;
  return {static_cast<double>(text.size()) * m.advance_em * em_x, m.line_height_em * em_y};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Printer

RecordingPrinter::RecordingPrinter(const PrinterSetup& setup, Log& log)
    : setup_(setup), log_(log), scale_(setup.dpi_x, setup.dpi_y, setup.width_px, setup.height_px) {}

void RecordingPrinter::Require() const {
  if (!setup_.available) throw RuntimeError(ErrorKind::kDeviceError, "no printer");
}

void RecordingPrinter::Record(Op op) { log_.push_back({"Printer", std::move(op)}); }

void RecordingPrinter::Output() { document_open_ = true; }

void RecordingPrinter::SetScaleMode(int16_t mode) {
  Require();
  scale_.SetMode(mode);
  Record(recording::SetScaleMode{mode});
}

int16_t RecordingPrinter::ScaleMode() const {
  Require();
  return scale_.mode();
}

float RecordingPrinter::ScaleWidth() const {
  Require();
  return scale_.Width();
}

float RecordingPrinter::ScaleHeight() const {
  Require();
  return scale_.Height();
}

void RecordingPrinter::SetCurrentX(float x) {
  Require();
  current_x_px_ = scale_.ToDeviceX(x);
  Record(recording::SetCurrentX{x});
}

void RecordingPrinter::SetCurrentY(float y) {
  Require();
  current_y_px_ = scale_.ToDeviceY(y);
  Record(recording::SetCurrentY{y});
}

float RecordingPrinter::CurrentX() const {
  Require();
  return ToSingle(scale_.FromDeviceX(current_x_px_));
}

float RecordingPrinter::CurrentY() const {
  Require();
  return ToSingle(scale_.FromDeviceY(current_y_px_));
}

void RecordingPrinter::SetFontName(const std::u32string& name) {
  Require();
  if (!name.empty()) font_.name = name;
  Record(recording::SetFontName{name});
}

void RecordingPrinter::SetFontSize(float points) {
  Require();
  if (!(points > 0) || !std::isfinite(points)) {
    throw RuntimeError(ErrorKind::kInvalidArgument, "invalid font size");
  }
  font_.size = points;
  Record(recording::SetFontSize{points});
}

void RecordingPrinter::SetFontBold(bool bold) {
  Require();
  font_.bold = bold;
  Record(recording::SetFontBold{bold});
}

std::u32string RecordingPrinter::FontName() const {
  Require();
  return font_.name;
}

float RecordingPrinter::FontSize() const {
  Require();
  return font_.size;
}

bool RecordingPrinter::FontBold() const {
  Require();
  return font_.bold;
}

void RecordingPrinter::Print(const std::u32string& text) {
  Require();
  Output();
  Record(recording::Print{text, CurrentX(), CurrentY(), scale_.mode(), font_});
  current_y_px_ += FixedExtent(text, font_, setup_.metrics, setup_.dpi_x, setup_.dpi_y).height;
  current_x_px_ = scale_.ToDeviceX(0);
}

float RecordingPrinter::TextWidth(const std::u32string& text) {
  Require();
  const TextExtent e = FixedExtent(text, font_, setup_.metrics, setup_.dpi_x, setup_.dpi_y);
  return ToSingle(scale_.LengthFromDeviceX(e.width));
}

float RecordingPrinter::TextHeight(const std::u32string& text) {
  Require();
  const TextExtent e = FixedExtent(text, font_, setup_.metrics, setup_.dpi_x, setup_.dpi_y);
  return ToSingle(scale_.LengthFromDeviceY(e.height));
}

void RecordingPrinter::SetDrawStyle(int16_t style) {
  Require();
  if (style < 0 || style > 6) throw RuntimeError(ErrorKind::kInvalidArgument, "draw style");
  draw_style_ = style;
  Record(recording::SetDrawStyle{style});
}

int16_t RecordingPrinter::DrawStyle() const {
  Require();
  return draw_style_;
}

void RecordingPrinter::Line(float x1, float y1, float x2, float y2) {
  Require();
  Output();
  Record(recording::Line{x1, y1, x2, y2, draw_style_});
}

void RecordingPrinter::PSet(float x, float y, int32_t color) {
  Require();
  Output();
  Record(recording::PSet{x, y, color});
}

void RecordingPrinter::PaintPicture(const PicturePtr& picture, float x, float y, float width,
                                    float height) {
  Require();
  if (!picture) throw RuntimeError(ErrorKind::kInvalidArgument, "no picture");
  Output();
  Record(recording::PaintPicture{picture, x, y, width, height});
}

void RecordingPrinter::NewPage() {
  Require();
  Output();
  Record(recording::NewPage{});
}

void RecordingPrinter::EndDoc() {
  Require();
  Record(recording::EndDoc{});
  if (document_open_) ++documents_ended_;
  document_open_ = false;
}

// ---------------------------------------------------------------------------------------------
// Picture boxes

RecordingPictureBox::RecordingPictureBox(const PictureBoxDesign& design,
                                         const TextMetrics& metrics, Log& log)
    : PixelPictureBox(design), name_(design.name), metrics_(metrics), log_(log) {}

void RecordingPictureBox::Record(Op op) const { log_.push_back({name_, std::move(op)}); }

void RecordingPictureBox::SetScaleMode(int16_t mode) {
  PixelPictureBox::SetScaleMode(mode);
  Record(recording::SetScaleMode{mode});
}

void RecordingPictureBox::SetCurrentX(float x) {
  PixelPictureBox::SetCurrentX(x);
  Record(recording::SetCurrentX{x});
}

void RecordingPictureBox::SetCurrentY(float y) {
  PixelPictureBox::SetCurrentY(y);
  Record(recording::SetCurrentY{y});
}

void RecordingPictureBox::SetFontName(const std::u32string& name) {
  PixelPictureBox::SetFontName(name);
  Record(recording::SetFontName{name});
}

void RecordingPictureBox::SetFontSize(float points) {
  PixelPictureBox::SetFontSize(points);
  Record(recording::SetFontSize{points});
}

void RecordingPictureBox::SetFontBold(bool bold) {
  PixelPictureBox::SetFontBold(bold);
  Record(recording::SetFontBold{bold});
}

void RecordingPictureBox::Print(const std::u32string& text) {
  Record(recording::Print{text, CurrentX(), CurrentY(), ScaleMode(), font()});
  PixelPictureBox::Print(text);
}

void RecordingPictureBox::SetPicture(PicturePtr picture) {
  Record(recording::SetPicture{picture});
  PixelPictureBox::SetPicture(std::move(picture));
}

void RecordingPictureBox::SetAutoRedraw(bool on) {
  PixelPictureBox::SetAutoRedraw(on);
  Record(recording::SetAutoRedraw{on});
}

void RecordingPictureBox::Refresh() {
  PixelPictureBox::Refresh();
  Record(recording::Refresh{});
}

void RecordingPictureBox::SetWidth(float twips) {
  PixelPictureBox::SetWidth(twips);
  Record(recording::SetWidth{twips});
}

void RecordingPictureBox::SetHeight(float twips) {
  PixelPictureBox::SetHeight(twips);
  Record(recording::SetHeight{twips});
}

void RecordingPictureBox::SetScaleLeft(float left) {
  PixelPictureBox::SetScaleLeft(left);
  Record(recording::SetScaleLeft{left});
}

int32_t RecordingPictureBox::GetImageRows(int32_t first_row, int32_t count, uint32_t* pixels,
                                          int32_t width) const {
  Record(recording::GetImageRows{first_row, count});
  return PixelPictureBox::GetImageRows(first_row, count, pixels, width);
}

int32_t RecordingPictureBox::SetImageRows(int32_t first_row, int32_t count,
                                          const uint32_t* pixels, int32_t width) {
  Record(recording::SetImageRows{first_row, count});
  return PixelPictureBox::SetImageRows(first_row, count, pixels, width);
}

void RecordingPictureBox::PrintContentInto(PictureBox& target) const {
  const auto* named = dynamic_cast<const RecordingPictureBox*>(&target);
  Record(recording::PrintContentInto{named ? named->name() : std::string("?")});
  PixelPictureBox::PrintContentInto(target);
}

void RecordingPictureBox::DrawText(std::vector<uint32_t>&, double, double, const std::u32string&,
                                   const FontSpec&) {
  // Recorded by Print; a test reads the text from the log, not from pixels.
}

TextExtent RecordingPictureBox::MeasureText(const std::u32string& text, const FontSpec& font) {
  return FixedExtent(text, font, metrics_, 96.0, 96.0);
}

// ---------------------------------------------------------------------------------------------
// Platform

RecordingPlatform::RecordingPlatform(const PrinterSetup& printer, std::string program_dir)
    : program_dir_(std::move(program_dir)), printer_setup_(printer), printer_(printer, log_) {}

std::unique_ptr<PictureBox> RecordingPlatform::CreatePictureBox(const PictureBoxDesign& design) {
  return std::make_unique<RecordingPictureBox>(design, printer_setup_.metrics, log_);
}

PicturePtr RecordingPlatform::LoadPicture(const std::string& path) {
  log_.push_back({"Platform", recording::LoadPicture{path}});
  auto it = pictures_.find(path);
  if (it == pictures_.end()) throw RuntimeError(ErrorKind::kFileNotFound, path);
  return it->second;
}

void RecordingPlatform::DoEvents() { log_.push_back({"Platform", recording::DoEvents{}}); }

int RecordingPlatform::EndProgram() {
  ended_ = true;
  if (printer_.document_open()) Step([&] { printer_.EndDoc(); });
  return 0;
}

std::vector<Op> RecordingPlatform::OpsOf(const std::string& surface) const {
  std::vector<Op> ops;
  for (const Entry& e : log_) {
    if (e.surface == surface) ops.push_back(e.op);
  }
  return ops;
}

PicturePtr SolidPicture(int32_t width, int32_t height, uint32_t color) {
  return std::make_shared<Picture>(
      width, height,
      std::vector<uint32_t>(static_cast<size_t>(width) * static_cast<size_t>(height), color));
}

}  // namespace tolv::recording
