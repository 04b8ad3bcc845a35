// The steps a run spends its time in, each on its own: reading the job, the layouts, the form's
// dots and the picture transfer on the PDF printer (CairoPrinter on the file printer's device, A4
// at 600 dpi, handing its documents to a destination that only counts their bytes), and the PDF
// finished and written to disk. The sample forms are drawn into a scratch directory at start.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "destination/file_printer.h"
#include "form/tolv_form.h"
#include "job/job_file.h"
#include "platform/cairo/cairo_platform.h"
#include "platform/posix/atomic_file.h"
#include "runtime/runtime.h"
#include "startup/form_type.h"
#include "surface/scale.h"
#include "tools/form_drawing.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

// A destination that keeps only the size of the last document.
class CountingDestination : public Destination {
 public:
  explicit CountingDestination(size_t& bytes) : bytes_(bytes) {}
  const PrinterDevice& Device() const override { return device_; }
  HandOverResult HandOver(const FinishedDocument& document) override {
    bytes_ = document.bytes.size();
    return {};
  }

 private:
  PrinterDevice device_;  // the file printer's: A4, 600 dpi, the whole page printable
  size_t& bytes_;
};

// One scratch directory for the whole run, removed at the end.
class Scratch {
 public:
  static Scratch& Get() {
    static Scratch scratch;
    return scratch;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // A program directory named `name` holding the sample forms and a 100-row job of the form type
  // and output mode.
  std::string ProgramDir(const std::string& name) {
    const std::string dir = root_ + "/" + name;
    if (!fs::exists(dir)) {
      fs::create_directory(dir);
      for (const auto& entry : fs::directory_iterator(forms_)) {
        fs::copy_file(entry.path(), dir + "/" + entry.path().filename().string());
      }
    }
    return dir;
  }

 private:
  Scratch() {
    std::string templ = (fs::temp_directory_path() / "tolv-bench-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = templ;
    forms_ = root_ + "/forms";
    forms::WriteSampleForms(forms_);
  }

  std::string root_;
  std::string forms_;
};

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// A job of 100 rows: the header fields with both cells, then box rows of 26 characters.
std::string HundredRowJob(int blank, int paper_type) {
  std::ostringstream job;
  job << "[BLANK]\nValue=" << blank << "\n[PAPERTYPE]\nValue=" << paper_type
      << "\n[OFFSETX]\nValue=25\n[OFFSETY]\nValue=25\n[FONT]\nValue=DejaVu Sans\n"
      << "[ZOOM]\nValue=100\n[INFO]\n";
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int r = 0; r < 100; ++r) {
    std::string text;
    if (r < 3) {
      text = "Header field " + std::to_string(r) + "|Right cell " + std::to_string(r);
    } else {
      for (int c = 0; c < 26; ++c) text += alphabet[(r * 7 + c) % alphabet.size()];
    }
    char key[3];
    std::snprintf(key, sizeof key, "%02d", r);
    job << "ROW" << key << "=|" << text << "|\nLEN" << key << "=" << text.size() + 2 << "\n";
  }
  return job.str();
}

// `count` form data records at random places of a width x height picture, black, one in sixteen
// red, green or blue.
std::string ScatteredRecords(int64_t count, int width, int height) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(count) * 8);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  const uint32_t colours[3] = {0x0000FF, 0x00FF00, 0xFF0000};
  for (int64_t i = 0; i < count; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const auto x = static_cast<uint16_t>(state % static_cast<uint64_t>(width));
    const auto y = static_cast<uint16_t>((state >> 20) % static_cast<uint64_t>(height));
    const uint32_t colour = ((state >> 40) % 16 == 0) ? colours[(state >> 44) % 3] : 0;
    const char record[8] = {static_cast<char>(x),
                            static_cast<char>(x >> 8),
                            static_cast<char>(y),
                            static_cast<char>(y >> 8),
                            static_cast<char>(colour),
                            static_cast<char>(colour >> 8),
                            static_cast<char>(colour >> 16),
                            0};
    bytes.append(record, sizeof record);
  }
  return bytes;
}

// The program as Main wires it, on a program directory: the job loaded, the form type and the
// printer's metrics derived, the form made and loaded. Documents go to a counting destination, or
// with `to_file` to the file printer (ZOBAX.PDF in the directory).
class Run {
 public:
  Run(const std::string& dir, int blank, int paper_type, bool to_file = false)
      : platform_(dir, [this, dir, to_file]() -> std::unique_ptr<Destination> {
          if (to_file) return std::make_unique<FileDestination>(dir, WriteFileAtomically);
          return std::make_unique<CountingDestination>(pdf_bytes_);
        }) {
    WriteFile(dir + "/ZOBAX.QJT", HundredRowJob(blank, paper_type));
    if (!LoadJob(job_, dir)) throw std::runtime_error("no job in " + dir);
    InitFormType(job_, dir);
    InitPrinterMetrics(job_, platform_.DefaultPrinter());
    form_ = std::make_unique<TolvForm>(job_, platform_);
    form_->Form_Load();
  }

  TolvForm& form() { return *form_; }
  Printer& printer() { return platform_.DefaultPrinter(); }
  size_t pdf_bytes() const { return pdf_bytes_; }

  // The printer as the direct drivers set it up, and one copy's rectangle on it.
  void SetUpDirect(float form_height_mm) {
    Printer& p = printer();
    p.SetScaleMode(kScalePixels);
    p.SetFontBold(true);
    p.SetFontSize(10.0f);
    p.SetFontName(job_.FontFace);
    W = ToInt32(139.0L * job_.PixelsPerMmX);
    H = ToInt32(static_cast<long double>(form_height_mm) * job_.PixelsPerMmY);
    X = ToInt32((p.ScaleWidth() - static_cast<long double>(W)) / 2);
    Y = 200;
  }

  // Picture1 holding the form's picture, in pixels, as the direct drivers leave it.
  void LoadFormPicture() {
    form_->Picture1().SetPicture(platform_.LoadPicture(job_.PrintJob.FormImagePath));
    form_->Picture1().SetScaleMode(kScalePixels);
  }

  // Picture2 holding the composed page, as the composed drivers leave it.
  void ComposePage() {
    PictureBox& picture1 = form_->Picture1();
    PictureBox& picture2 = form_->Picture2();
    picture2.SetFontName(job_.FontFace);
    picture2.SetFontSize(34);
    picture2.SetFontBold(true);
    picture1.SetPicture(platform_.LoadPicture(job_.PrintJob.FormImagePath));
    picture2.SetWidth(picture1.Width());
    picture2.SetHeight(picture1.Height());
    picture2.SetAutoRedraw(true);
    picture1.PrintContentInto(picture2);
    form_->PrintMaxiText();
    picture2.SetPicture(picture2.Image());
    picture2.SetAutoRedraw(false);
  }

  int32_t X = 0, Y = 0, W = 0, H = 0;

 private:
  size_t pdf_bytes_ = 0;
  JobState job_;
  CairoPlatform platform_;
  std::unique_ptr<TolvForm> form_;
};

void BM_LoadJob(benchmark::State& state) {
  const std::string dir = Scratch::Get().ProgramDir("job");
  WriteFile(dir + "/ZOBAX.QJT", HundredRowJob(3, 2));
  for (auto _ : state) {
    JobState job;
    benchmark::DoNotOptimize(LoadJob(job, dir));
  }
}
BENCHMARK(BM_LoadJob)->Unit(benchmark::kMicrosecond);

// The printer variant of a layout: one copy's rows on the printer. Ending the document is left
// out of the time (BM_EndDoc has it). From the second time on, the text engine has laid every
// string out before; a run of the program lays each out once.
void BM_Layout(benchmark::State& state) {
  const bool maxi = state.range(0) != 0;
  Run run(Scratch::Get().ProgramDir(maxi ? "layout-maxi" : "layout-mini"), maxi ? 3 : 1, 2);
  run.SetUpDirect(maxi ? 141 : 105);
  for (auto _ : state) {
    if (maxi) {
      run.form().PrintMaxiTextEx(run.X, run.Y, run.W, run.H);
    } else {
      run.form().PrintMiniTextEx(run.X, run.Y, run.W, run.H);
    }
    state.PauseTiming();
    run.printer().EndDoc();
    state.ResumeTiming();
  }
  state.SetLabel(maxi ? "PrintMaxiTextEx, form 3" : "PrintMiniTextEx, form 1");
}
BENCHMARK(BM_Layout)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One copy's background dots, ended as a document: the records are read and set (DrawFormData),
// and the printer puts them into the PDF when the document ends. 0 records: the sample form's own
// data file (one dot for each black pixel of form 1's picture); otherwise scattered records.
void BM_DrawFormData(benchmark::State& state) {
  const int64_t records = state.range(0);
  const std::string dir = Scratch::Get().ProgramDir("dots-" + std::to_string(records));
  if (records > 0) {
    WriteFile(dir + "/KORDEL1A.DAT",
              ScatteredRecords(records, forms::kPictureWidth, forms::PictureHeight(1)));
  }
  Run run(dir, 1, 2);
  run.SetUpDirect(105);
  run.LoadFormPicture();
  for (auto _ : state) {
    run.form().DrawFormData(run.X, run.Y, run.W, run.H);
    run.printer().EndDoc();
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<int64_t>(fs::file_size(dir + "/KORDEL1A.DAT") / 8));
  state.counters["pdf_kb"] = static_cast<double>(run.pdf_bytes()) / 1024.0;
  state.SetLabel(records > 0 ? "scattered records" : "sample form 1");
}
BENCHMARK(BM_DrawFormData)
    ->Arg(0)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// The composed 2087 x 3040 page of form 6 onto the printer, direct (0) or in 20 bands (1), and
// the document ended: the direct transfer only hands Cairo the picture, which it encodes when the
// document ends, so the time of the transfer alone would say nothing.
void BM_TransferPicture(benchmark::State& state) {
  const bool banded = state.range(0) != 0;
  Run run(Scratch::Get().ProgramDir(banded ? "transfer-banded" : "transfer-direct"), 6,
          banded ? 1 : 0);
  run.SetUpDirect(205.3f);
  run.ComposePage();
  for (auto _ : state) {
    run.form().TransferPicture(run.X, run.Y, run.W, run.H);
    run.printer().EndDoc();
  }
  state.counters["pdf_kb"] = static_cast<double>(run.pdf_bytes()) / 1024.0;
  state.SetLabel(banded ? "banded, document ended" : "direct, document ended");
}
BENCHMARK(BM_TransferPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A whole page finished as PDF and written to ZOBAX.PDF by the file printer: the composed page of
// form 3 transferred twice, direct (0) or banded (1), or form 3's dots and rows twice (2).
void BM_EndDoc(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const std::string dir = Scratch::Get().ProgramDir("enddoc-" + std::to_string(kind));
  Run run(dir, 3, kind == 2 ? 2 : kind, /*to_file=*/true);
  run.SetUpDirect(141);
  if (kind == 2) {
    run.LoadFormPicture();
  } else {
    run.ComposePage();
  }
  for (auto _ : state) {
    state.PauseTiming();
    const int32_t second_y = run.Y + run.H + 20;
    for (const int32_t y : {run.Y, second_y}) {
      if (kind == 2) {
        run.form().DrawFormData(run.X, y, run.W, run.H);
        run.form().PrintMaxiTextEx(run.X, y, run.W, run.H);
      } else {
        run.form().TransferPicture(run.X, y, run.W, run.H);
      }
    }
    state.ResumeTiming();
    run.printer().EndDoc();
  }
  state.counters["pdf_kb"] = static_cast<double>(fs::file_size(dir + "/ZOBAX.PDF")) / 1024.0;
  const char* labels[] = {"composed, direct", "composed, banded", "dots and rows"};
  state.SetLabel(labels[kind]);
}
BENCHMARK(BM_EndDoc)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The form's background picture (2087 x 3040, 1-bit BMP) read into a picture.
void BM_LoadPicture(benchmark::State& state) {
  const std::string path = Scratch::Get().ProgramDir("picture") + "/KORDEL6A.GFX";
  CairoPlatform platform("/", nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(platform.LoadPicture(path));
}
BENCHMARK(BM_LoadPicture)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolv

BENCHMARK_MAIN();
