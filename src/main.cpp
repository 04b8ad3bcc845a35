// tolv: reads ZOBAX.QJT beside the executable, prints it, ends. No arguments, no configuration.
#include <memory>

#include "platform/pixel_picture_box.h"
#include "platform/posix/program_dir.h"
#include "platform/runtime.h"
#include "startup/main.h"

namespace {

// Until the printing backends are wired in, the machine has no printer: every printer member
// fails, so start-up measures factors of 0 and the drivers print nothing.
class NoPrinter : public tolv::Printer {
 public:
  [[noreturn]] static void Fail() {
    throw tolv::RuntimeError(tolv::ErrorKind::kDeviceError, "no printer");
  }
  void SetScaleMode(int16_t) override { Fail(); }
  int16_t ScaleMode() const override { Fail(); }
  float ScaleWidth() const override { Fail(); }
  float ScaleHeight() const override { Fail(); }
  void SetCurrentX(float) override { Fail(); }
  void SetCurrentY(float) override { Fail(); }
  float CurrentX() const override { Fail(); }
  float CurrentY() const override { Fail(); }
  void SetFontName(const std::u32string&) override { Fail(); }
  void SetFontSize(float) override { Fail(); }
  void SetFontBold(bool) override { Fail(); }
  std::u32string FontName() const override { Fail(); }
  float FontSize() const override { Fail(); }
  bool FontBold() const override { Fail(); }
  void Print(const std::u32string&) override { Fail(); }
  float TextWidth(const std::u32string&) override { Fail(); }
  float TextHeight(const std::u32string&) override { Fail(); }
  void SetDrawStyle(int16_t) override { Fail(); }
  int16_t DrawStyle() const override { Fail(); }
  void Line(float, float, float, float) override { Fail(); }
  void PSet(float, float, int32_t) override { Fail(); }
  void PaintPicture(const tolv::PicturePtr&, float, float, float, float) override { Fail(); }
  void NewPage() override { Fail(); }
  void EndDoc() override { Fail(); }
};

// Picture boxes without a text renderer: prints on them fail.
class PlainPictureBox : public tolv::PixelPictureBox {
 public:
  using PixelPictureBox::PixelPictureBox;

 protected:
  void DrawText(std::vector<uint32_t>&, double, double, const std::u32string&,
                const tolv::FontSpec&) override {
    NoPrinter::Fail();
  }
  tolv::TextExtent MeasureText(const std::u32string&, const tolv::FontSpec&) override {
    NoPrinter::Fail();
  }
};

class HeadlessPlatform : public tolv::Platform {
 public:
  std::string ProgramDirectory() override { return tolv::ExecutableDirectory(); }
  tolv::Printer& DefaultPrinter() override { return printer_; }
  std::unique_ptr<tolv::PictureBox> CreatePictureBox(
      const tolv::PictureBoxDesign& design) override {
    return std::make_unique<PlainPictureBox>(design);
  }
  tolv::PicturePtr LoadPicture(const std::string& path) override {
    throw tolv::RuntimeError(tolv::ErrorKind::kFileNotFound, path);
  }
  void DoEvents() override {}
  int EndProgram() override { return 0; }

 private:
  NoPrinter printer_;
};

}  // namespace

int main() {
  HeadlessPlatform platform;
  return tolv::Main(platform);
}
