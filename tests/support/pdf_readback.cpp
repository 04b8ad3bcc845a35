#include "support/pdf_readback.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/files.h"

namespace tolv::testing {
namespace {

std::string ScratchPath(const std::string& suffix) {
  static std::atomic<int> counter{0};
  return ::testing::TempDir() + "pdf_readback_" + std::to_string(getpid()) + "_" +
         std::to_string(counter++) + suffix;
}

// Runs a poppler command over the PDF written to a scratch file; returns the output file's bytes.
std::string Poppler(const std::string& pdf, const std::string& command_before,
                    const std::string& out_suffix, const std::string& command_after = "") {
  const std::string in = ScratchPath(".pdf");
  std::ofstream(in, std::ios::binary) << pdf;
  const std::string out = ScratchPath("");
  const std::string command =
      command_before + " '" + in + "' '" + out + "'" + command_after + " 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::string bytes = ReadWholeFile(out + out_suffix);
  std::remove(in.c_str());
  std::remove((out + out_suffix).c_str());
  return bytes;
}

double Attribute(const std::string& html, size_t from, const std::string& name) {
  const size_t at = html.find(name + "=\"", from) + name.size() + 2;
  return std::stod(html.substr(at, html.find('"', at) - at));
}

}  // namespace

Raster RasterisePdf(const std::string& pdf, int dpi, int page) {
  const std::string ppm =
      Poppler(pdf,
              "pdftoppm -r " + std::to_string(dpi) + " -aa no -aaVector no -f " +
                  std::to_string(page) + " -l " + std::to_string(page) + " -singlefile",
              ".ppm");
  Raster r;
  std::istringstream s(ppm);
  std::string magic;
  int max = 0;
  s >> magic >> r.width >> r.height >> max;
  s.get();
  const size_t at = static_cast<size_t>(s.tellg());
  EXPECT_EQ(magic, "P6");
  EXPECT_EQ(ppm.size() - at, static_cast<size_t>(r.width) * r.height * 3);
  if (magic != "P6" || ppm.size() - at != static_cast<size_t>(r.width) * r.height * 3) return {};
  r.pixels.resize(static_cast<size_t>(r.width) * r.height);
  for (size_t i = 0; i < r.pixels.size(); ++i) {
    const auto* p = reinterpret_cast<const unsigned char*>(ppm.data() + at + 3 * i);
    r.pixels[i] = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
  return r;
}

std::vector<PdfWord> PdfWords(const std::string& pdf, double dpi) {
  const std::string html = Poppler(pdf, "pdftotext -bbox", "");
  std::vector<PdfWord> words;
  const double px = dpi / 72.0;
  int page = 0;
  for (size_t pos = html.find('<'); pos != std::string::npos; pos = html.find('<', pos + 1)) {
    if (html.compare(pos, 6, "<page ") == 0) ++page;
    if (html.compare(pos, 6, "<word ") != 0) continue;
    const size_t text = html.find('>', pos) + 1;
    words.push_back({html.substr(text, html.find("</word>", text) - text),
                     Attribute(html, pos, "xMin") * px, Attribute(html, pos, "yMin") * px,
                     Attribute(html, pos, "xMax") * px, Attribute(html, pos, "yMax") * px, page});
  }
  return words;
}

int PdfPageCount(const std::string& pdf) {
  const std::string html = Poppler(pdf, "pdftotext -bbox", "");
  int pages = 0;
  for (size_t pos = html.find("<page "); pos != std::string::npos;
       pos = html.find("<page ", pos + 1)) {
    ++pages;
  }
  return pages;
}

}  // namespace tolv::testing
