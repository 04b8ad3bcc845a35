// A recording platform for tests: every member call on the printer and the picture boxes is kept as
// a plain struct, in order, in one log; text is measured with fixed metrics so that positions are
// exact. Picture boxes keep real pixels (text is recorded, not drawn). Never used by the program.
#ifndef TOLV_PLATFORM_RECORDING_RECORDING_H_
#define TOLV_PLATFORM_RECORDING_RECORDING_H_

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "picture/picture.h"
#include "platform/platform.h"
#include "surface/document_printer.h"
#include "surface/dot_layer.h"
#include "surface/drawing_surface.h"
#include "surface/font.h"
#include "surface/pixel_picture_box.h"
#include "surface/scale.h"

namespace tolv::recording {

// The recorded operations, one line each so that the log reads like the drawing.
// clang-format off
struct SetScaleMode { int16_t mode; };
struct SetCurrentX { float x; };
struct SetCurrentY { float y; };
struct SetFontName { std::u32string name; };
struct SetFontSize { float points; };
struct SetFontBold { bool bold; };
// A print, with where and in what font it went (in the scale unit of the moment).
struct Print {
  std::u32string text;
  float x;
  float y;
  int16_t scale_mode;
  FontSpec font;
};
struct SetDrawStyle { int16_t style; };
struct Line { float x1, y1, x2, y2; int16_t draw_style; };
struct PSet { float x, y; int32_t color; };
struct PaintPicture { PicturePtr picture; float x, y, width, height; };
struct NewPage {};
struct EndDoc {};
struct SetPicture { PicturePtr picture; };
struct SetAutoRedraw { bool on; };
struct SetWidth { float twips; };
struct SetHeight { float twips; };
struct SetScaleLeft { float left; };
struct Refresh {};
struct GetImageRows { int32_t first_row, count; };
struct SetImageRows { int32_t first_row, count; };
struct PrintContentInto { std::string target; };
struct LoadPicture { std::string path; };
struct DoEvents {};
// clang-format on

using Op = std::variant<SetScaleMode, SetCurrentX, SetCurrentY, SetFontName, SetFontSize,
                        SetFontBold, Print, SetDrawStyle, Line, PSet, PaintPicture, NewPage, EndDoc,
                        SetPicture, SetAutoRedraw, SetWidth, SetHeight, SetScaleLeft, Refresh,
                        GetImageRows, SetImageRows, PrintContentInto, LoadPicture, DoEvents>;

// One logged call: which surface ("Printer", "Picture1", ..., or "Platform") and what.
struct Entry {
  std::string surface;
  Op op;
};
using Log = std::vector<Entry>;

// Fixed text metrics, in ems of the font size: every character has the same advance.
struct TextMetrics {
  double advance_em = 0.6;
  double line_height_em = 1.15;
};

struct PrinterSetup {
  bool available = true;  // false: every member raises, as with no printer
  double dpi_x = 600;
  double dpi_y = 600;
  double width_px = 4961;  // printable area
  double height_px = 7016;
  TextMetrics metrics;
};

// What the printer's backend was asked to draw, in device pixels from the printable area's
// corner, after every rule of the printer core: what a real backend would put on paper.
namespace device {
// The recorded operations, one line each so that the log reads like the drawing.
// clang-format off
struct BeginPage {};
struct Text { double x, y; std::u32string text; FontSpec font; };
struct Line { int32_t x1, y1, x2, y2; int16_t style; };
// The dots of one drain, each pixel once, in one colour (red in the lowest byte).
struct Dots { uint32_t rgb; std::vector<DotPoint> points; };
struct Picture { PicturePtr picture; DeviceRect rect; };
struct EndPage {};
struct EndDocument {};
using Op = std::variant<BeginPage, Text, Line, Dots, Picture, EndPage, EndDocument>;
// clang-format on
}  // namespace device

// Logs the calls a surface's drawing code makes that change it, after the surface has taken them:
// a call that raises is not logged. Print is logged with where it went and in what font.
template <class Surface>
class LoggedSurface : public Surface {
 public:
  template <class... Args>
  LoggedSurface(std::string name, Log& log, Args&&... args)
      : Surface(std::forward<Args>(args)...), name_(std::move(name)), log_(log) {}

  void SetScaleMode(int16_t mode) override {
    Surface::SetScaleMode(mode);
    Record(recording::SetScaleMode{mode});
  }
  void SetCurrentX(float x) override {
    Surface::SetCurrentX(x);
    Record(recording::SetCurrentX{x});
  }
  void SetCurrentY(float y) override {
    Surface::SetCurrentY(y);
    Record(recording::SetCurrentY{y});
  }
  void SetFontName(const std::u32string& name) override {
    Surface::SetFontName(name);
    Record(recording::SetFontName{name});
  }
  void SetFontSize(float points) override {
    Surface::SetFontSize(points);
    Record(recording::SetFontSize{points});
  }
  void SetFontBold(bool bold) override {
    Surface::SetFontBold(bold);
    Record(recording::SetFontBold{bold});
  }
  void Print(const std::u32string& text) override {
    recording::Print op{text, this->CurrentX(), this->CurrentY(), this->ScaleMode(),
                        FontSpec{this->FontName(), this->FontSize(), this->FontBold()}};
    Surface::Print(text);
    Record(std::move(op));
  }

  const std::string& name() const { return name_; }

 protected:
  void Record(Op op) const { log_.push_back({name_, std::move(op)}); }

 private:
  std::string name_;
  Log& log_;
};

// The printer core over a backend that keeps what it is asked to draw (device_ops()) and measures
// text with fixed metrics.
class RecordingPrinter : public LoggedSurface<DocumentPrinter> {
 public:
  RecordingPrinter(const PrinterSetup& setup, Log& log);

  void SetDrawStyle(int16_t style) override;
  void Line(float x1, float y1, float x2, float y2) override;
  void PSet(float x, float y, int32_t color) override;
  void PaintPicture(const PicturePtr& picture, float x, float y, float width,
                    float height) override;
  void NewPage() override;
  void EndDoc() override;

  const std::vector<device::Op>& device_ops() const { return device_ops_; }

 protected:
  void OnOpenDocument() override {}
  void OnBeginPage() override;
  TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) override;
  TextExtent OnDrawText(double x, double y, const std::u32string& text,
                        const FontSpec& font) override;
  void OnDrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int16_t style) override;
  void OnDrawDots(DotLayer& dots) override;
  void OnDrawPicture(const PicturePtr& picture, const DeviceRect& rect) override;
  void OnEndPage() override;
  HandOverResult OnEndDocument() override;

 private:
  PrinterSetup setup_;
  std::vector<device::Op> device_ops_;
};

class RecordingPictureBox : public LoggedSurface<PixelPictureBox> {
 public:
  RecordingPictureBox(const PictureBoxDesign& design, const TextMetrics& metrics, Log& log);

  void SetPicture(PicturePtr picture) override;
  void SetAutoRedraw(bool on) override;
  void Refresh() override;
  void SetWidth(float twips) override;
  void SetHeight(float twips) override;
  void SetScaleLeft(float left) override;
  int32_t GetImageRows(int32_t first_row, int32_t count, uint32_t* pixels,
                       int32_t width) const override;
  int32_t SetImageRows(int32_t first_row, int32_t count, const uint32_t* pixels,
                       int32_t width) override;
  void PrintContentInto(PictureBox& target) const override;

 protected:
  void OnDrawText(std::vector<uint32_t>& image, double x, double y, const std::u32string& text,
                  const FontSpec& font) override;
  TextExtent OnMeasureText(const std::u32string& text, const FontSpec& font) override;

 private:
  TextMetrics metrics_;
};

// Pictures the recording platform "loads": a path maps to a picture; any other path is missing.
class RecordingPlatform : public Platform {
 public:
  explicit RecordingPlatform(const PrinterSetup& printer = {}, std::string program_dir = "/tolv");

  std::string ProgramDirectory() override { return program_dir_; }
  Printer& DefaultPrinter() override { return printer_; }
  std::unique_ptr<PictureBox> CreatePictureBox(const PictureBoxDesign& design) override;
  PicturePtr LoadPicture(const std::string& path) override;
  void DoEvents() override;
  int EndProgram() override;

  void AddPicture(const std::string& path, PicturePtr picture) { pictures_[path] = picture; }
  RecordingPrinter& printer() { return printer_; }
  Log& log() { return log_; }
  const Log& log() const { return log_; }
  // The ops logged for one surface, in order.
  std::vector<Op> OpsOf(const std::string& surface) const;
  bool ended() const { return ended_; }

 private:
  Log log_;
  std::string program_dir_;
  PrinterSetup printer_setup_;
  RecordingPrinter printer_;
  std::map<std::string, PicturePtr> pictures_;
  bool ended_ = false;
};

// A solid picture of one colour, for tests.
PicturePtr SolidPicture(int32_t width, int32_t height, uint32_t color);

}  // namespace tolv::recording

#endif  // TOLV_PLATFORM_RECORDING_RECORDING_H_
