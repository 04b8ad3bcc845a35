// A recording platform for tests: every member call on the printer and the picture boxes is kept as
// a plain struct, in order, in one log; text is measured with fixed metrics so that positions are
// exact. Picture boxes keep real pixels (text is recorded, not drawn). Never used by the program.
#ifndef TOLV_PLATFORM_RECORDING_RECORDING_H_
#define TOLV_PLATFORM_RECORDING_RECORDING_H_

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/drawing_surface.h"
#include "platform/font.h"
#include "platform/picture.h"
#include "platform/pixel_picture_box.h"
#include "platform/platform.h"
#include "platform/scale.h"

namespace tolv::recording {

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

using Op = std::variant<SetScaleMode, SetCurrentX, SetCurrentY, SetFontName, SetFontSize,
                        SetFontBold, Print, SetDrawStyle, Line, PSet, PaintPicture, NewPage,
                        EndDoc, SetPicture, SetAutoRedraw, SetWidth, SetHeight, SetScaleLeft,
                        Refresh, GetImageRows, SetImageRows, PrintContentInto, LoadPicture,
                        DoEvents>;

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

class RecordingPrinter : public Printer {
 public:
  RecordingPrinter(const PrinterSetup& setup, Log& log);

  void SetScaleMode(int16_t mode) override;
  int16_t ScaleMode() const override;
  float ScaleWidth() const override;
  float ScaleHeight() const override;
  void SetCurrentX(float x) override;
  void SetCurrentY(float y) override;
  float CurrentX() const override;
  float CurrentY() const override;
  void SetFontName(const std::u32string& name) override;
  void SetFontSize(float points) override;
  void SetFontBold(bool bold) override;
  std::u32string FontName() const override;
  float FontSize() const override;
  bool FontBold() const override;
  void Print(const std::u32string& text) override;
  float TextWidth(const std::u32string& text) override;
  float TextHeight(const std::u32string& text) override;
  void SetDrawStyle(int16_t style) override;
  int16_t DrawStyle() const override;
  void Line(float x1, float y1, float x2, float y2) override;
  void PSet(float x, float y, int32_t color) override;
  void PaintPicture(const PicturePtr& picture, float x, float y, float width,
                    float height) override;
  void NewPage() override;
  void EndDoc() override;

  // Whether a document is open (output since the last EndDoc), and how many were ended.
  bool document_open() const { return document_open_; }
  int documents_ended() const { return documents_ended_; }

 private:
  void Require() const;
  void Record(Op op);
  void Output();

  PrinterSetup setup_;
  Log& log_;
  SurfaceScale scale_;
  FontSpec font_{U"Arial", 10, false};
  double current_x_px_ = 0;
  double current_y_px_ = 0;
  int16_t draw_style_ = 0;
  bool document_open_ = false;
  int documents_ended_ = 0;
};

class RecordingPictureBox : public PixelPictureBox {
 public:
  RecordingPictureBox(const PictureBoxDesign& design, const TextMetrics& metrics, Log& log);

  void SetScaleMode(int16_t mode) override;
  void SetCurrentX(float x) override;
  void SetCurrentY(float y) override;
  void SetFontName(const std::u32string& name) override;
  void SetFontSize(float points) override;
  void SetFontBold(bool bold) override;
  void Print(const std::u32string& text) override;
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

  const std::string& name() const { return name_; }

 protected:
  void DrawText(std::vector<uint32_t>& image, double x, double y, const std::u32string& text,
                const FontSpec& font) override;
  TextExtent MeasureText(const std::u32string& text, const FontSpec& font) override;

 private:
  void Record(Op op) const;

  std::string name_;
  TextMetrics metrics_;
  Log& log_;
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
