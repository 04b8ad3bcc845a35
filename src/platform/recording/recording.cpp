#include "platform/recording/recording.h"

#include <cmath>
#include <optional>
#include <span>
#include <utility>

#include "runtime/runtime.h"
#include "runtime/units.h"

namespace tolv::recording {
namespace {

TextExtent FixedExtent(const std::u32string& text, const FontSpec& font, const TextMetrics& m,
                       double dpi_x, double dpi_y) {
  const double em_x = font.size * dpi_x / 72.0;
  const double em_y = font.size * dpi_y / 72.0;
  return {static_cast<double>(text.size()) * m.advance_em * em_x, m.line_height_em * em_y};
}

// The device of a printer setup: its printable area is the whole page.
std::optional<PrinterDevice> SetupDevice(const PrinterSetup& setup) {
  if (!setup.available) return std::nullopt;
  PrinterDevice device;
  device.dpi_x = setup.dpi_x;
  device.dpi_y = setup.dpi_y;
  device.page_width_pt = setup.width_px * 72.0 / setup.dpi_x;
  device.page_height_pt = setup.height_px * 72.0 / setup.dpi_y;
  device.printable_left_px = 0;
  device.printable_top_px = 0;
  device.printable_width_px = setup.width_px;
  device.printable_height_px = setup.height_px;
  return device;
}

// Keeps each colour's dots of a drain.
class DotKeeper : public DotSink {
 public:
  explicit DotKeeper(std::vector<device::Op>& ops) : ops_(ops) {}
  void BlackDots(const DotBitmap& bitmap) override {
    device::Dots dots{0, {}};
    for (const DotRun& run : bitmap.Runs()) {
      for (int32_t x = run.x; x < run.x + run.length; ++x) dots.points.push_back({x, run.y});
    }
    ops_.push_back(std::move(dots));
  }
  void ColourDots(uint32_t rgb, std::span<const DotPoint> points) override {
    ops_.push_back(device::Dots{rgb, {points.begin(), points.end()}});
  }

 private:
  std::vector<device::Op>& ops_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Printer

RecordingPrinter::RecordingPrinter(const PrinterSetup& setup, Log& log)
    : LoggedSurface<DocumentPrinter>("Printer", log, SetupDevice(setup)), setup_(setup) {}

void RecordingPrinter::SetDrawStyle(int16_t style) {
  DocumentPrinter::SetDrawStyle(style);
  Record(recording::SetDrawStyle{style});
}

void RecordingPrinter::Line(float x1, float y1, float x2, float y2) {
  DocumentPrinter::Line(x1, y1, x2, y2);
  Record(recording::Line{x1, y1, x2, y2, DrawStyle()});
}

void RecordingPrinter::PSet(float x, float y, int32_t color) {
  DocumentPrinter::PSet(x, y, color);
  Record(recording::PSet{x, y, color});
}

void RecordingPrinter::PaintPicture(const PicturePtr& picture, float x, float y, float width,
                                    float height) {
  DocumentPrinter::PaintPicture(picture, x, y, width, height);
  Record(recording::PaintPicture{picture, x, y, width, height});
}

void RecordingPrinter::NewPage() {
  DocumentPrinter::NewPage();
  Record(recording::NewPage{});
}

void RecordingPrinter::EndDoc() {
  DocumentPrinter::EndDoc();
  Record(recording::EndDoc{});
}

TextExtent RecordingPrinter::OnMeasureText(const std::u32string& text, const FontSpec& font) {
  return FixedExtent(text, font, setup_.metrics, setup_.dpi_x, setup_.dpi_y);
}

TextExtent RecordingPrinter::OnDrawText(double x, double y, const std::u32string& text,
                                        const FontSpec& font) {
  device_ops_.push_back(device::Text{x, y, text, font});
  return OnMeasureText(text, font);
}

void RecordingPrinter::OnDrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int16_t style) {
  device_ops_.push_back(device::Line{x1, y1, x2, y2, style});
}

void RecordingPrinter::OnDrawDots(DotLayer& dots) {
  DotKeeper keeper(device_ops_);
  dots.Drain(keeper);
}

void RecordingPrinter::OnDrawPicture(const PicturePtr& picture, const DeviceRect& rect) {
  device_ops_.push_back(device::Picture{picture, rect});
}

void RecordingPrinter::OnBeginPage() {
  device_ops_.emplace_back(std::in_place_type<device::BeginPage>);
}

void RecordingPrinter::OnEndPage() {
  device_ops_.emplace_back(std::in_place_type<device::EndPage>);
}

HandOverResult RecordingPrinter::OnEndDocument() {
  device_ops_.emplace_back(std::in_place_type<device::EndDocument>);
  return {};
}

// ---------------------------------------------------------------------------------------------
// Picture boxes

RecordingPictureBox::RecordingPictureBox(const PictureBoxDesign& design, const TextMetrics& metrics,
                                         Log& log)
    : LoggedSurface<PixelPictureBox>(design.name, log, design), metrics_(metrics) {}

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

int32_t RecordingPictureBox::SetImageRows(int32_t first_row, int32_t count, const uint32_t* pixels,
                                          int32_t width) {
  Record(recording::SetImageRows{first_row, count});
  return PixelPictureBox::SetImageRows(first_row, count, pixels, width);
}

void RecordingPictureBox::PrintContentInto(PictureBox& target) const {
  const auto* named = dynamic_cast<const RecordingPictureBox*>(&target);
  Record(recording::PrintContentInto{named ? named->name() : std::string("?")});
  PixelPictureBox::PrintContentInto(target);
}

void RecordingPictureBox::OnDrawText(std::vector<uint32_t>&, double, double, const std::u32string&,
                                     const FontSpec&) {
  // Recorded by Print; a test reads the text from the log, not from pixels.
}

TextExtent RecordingPictureBox::OnMeasureText(const std::u32string& text, const FontSpec& font) {
  return FixedExtent(text, font, metrics_, kScreenDpi, kScreenDpi);
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
