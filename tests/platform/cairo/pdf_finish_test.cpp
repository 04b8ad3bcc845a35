// The finishing pass over the printer's PDF, read back with qpdf: what it must take away (the page
// group of an opaque page), add (no scaling on print) and keep (every byte of every stream, the
// group of a page that does use transparency, anything that is not PDF).
#include "platform/cairo/pdf_finish.h"

#include <cairo-pdf.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>
#include <string>
#include <vector>

namespace tolv {
namespace {

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// A PDF of one page per drawing, as the printer makes it.
std::string CairoPdf(const std::vector<std::function<void(cairo_t*)>>& pages) {
  std::string pdf;
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &pdf, 144, 72);
  cairo_t* cr = cairo_create(surface);
  for (const auto& draw : pages) {
    draw(cr);
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  return pdf;
}

// A small picture with a unique id, as the printer gives its pictures, painted twice with the
// nearest filter: Cairo lists it twice in the page's resources.
void OpaqueDrawing(cairo_t* cr) {
  cairo_rectangle(cr, 10, 10, 20, 5);
  cairo_fill(cr);
  cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 8, 8);
  cairo_t* pc = cairo_create(picture);
  cairo_set_source_rgb(pc, 1, 0, 0);
  cairo_paint(pc);
  cairo_destroy(pc);
  static const unsigned char kId[] = "picture-1";
  cairo_surface_set_mime_data(picture, CAIRO_MIME_TYPE_UNIQUE_ID, kId, sizeof kId - 1, nullptr,
                              nullptr);
  for (double x : {40.0, 60.0}) {
    cairo_set_source_surface(cr, picture, x, 20);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
  }
  cairo_surface_destroy(picture);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_move_to(cr, 10, 60);
  cairo_show_text(cr, "Sofia 1000");
}

struct ReadBack {
  std::unique_ptr<QPDF> document = std::make_unique<QPDF>();
  std::string bytes;  // qpdf reads from here
  explicit ReadBack(std::string pdf) : bytes(std::move(pdf)) {
    document->setSuppressWarnings(true);
    document->processMemoryFile("test", bytes.data(), bytes.size());
  }
  std::vector<QPDFObjectHandle> Pages() { return document->getAllPages(); }
  // Every stream of the pages (contents and the resources' objects), raw, by page and name.
  std::map<std::string, std::string> Streams() {
    std::map<std::string, std::string> streams;
    int n = 0;
    for (QPDFObjectHandle page : Pages()) {
      const std::string prefix = std::to_string(n++) + ":";
      streams[prefix + "contents"] = RawData(page.getKey("/Contents"));
      QPDFObjectHandle resources = page.getKey("/Resources");
      for (const std::string& kind : resources.getKeys()) {
        QPDFObjectHandle dict = resources.getKey(kind);
        if (!dict.isDictionary()) continue;
        for (const std::string& key : dict.getKeys()) {
          QPDFObjectHandle object = dict.getKey(key);
          if (object.isStream()) streams[prefix + kind + key] = RawData(object);
        }
      }
    }
    return streams;
  }
  static std::string RawData(QPDFObjectHandle stream) {
    if (!stream.isStream()) return "";
    std::shared_ptr<Buffer> data = stream.getRawStreamData();
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  }
};

TEST(PdfFinishTest, OpaquePagesLoseTheirGroupTransparentOnesKeepIt) {
  struct Case {
    const char* name;
    std::function<void(cairo_t*)> draw;
    bool keeps_group;
  };
  const std::vector<Case> cases = {
      {"lines, a picture twice and text", OpaqueDrawing, false},
      {"an empty page", [](cairo_t*) {}, false},
      {"paint with alpha",
       [](cairo_t* cr) {
         cairo_set_source_rgb(cr, 0, 0, 1);
         cairo_paint_with_alpha(cr, 0.5);
       },
       true},
      {"a picture with an alpha channel",
       [](cairo_t* cr) {
         cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
         cairo_t* pc = cairo_create(picture);
         cairo_set_source_rgba(pc, 0, 1, 0, 0.5);
         cairo_paint(pc);
         cairo_destroy(pc);
         cairo_set_source_surface(cr, picture, 10, 10);
         cairo_paint(cr);
         cairo_surface_destroy(picture);
       },
       true},
      {"a blend mode",
       [](cairo_t* cr) {
         cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
         cairo_rectangle(cr, 10, 10, 20, 20);
         cairo_fill(cr);
       },
       true},
  };
  std::vector<std::function<void(cairo_t*)>> pages;
  for (const Case& c : cases) pages.push_back(c.draw);
  const std::string pdf = CairoPdf(pages);

  ReadBack before(pdf);
  ReadBack after(FinishPdfForPrinting(pdf));
  ASSERT_EQ(after.Pages().size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_TRUE(before.Pages()[i].hasKey("/Group"));
    EXPECT_EQ(after.Pages()[i].hasKey("/Group"), cases[i].keeps_group);
  }
  // The pages draw as before: every stream they use is the same, byte for byte.
  EXPECT_EQ(after.Streams(), before.Streams());
  EXPECT_FALSE(before.Streams().empty());
}

// Cairo makes Type 3 fonts for bitmap and colour glyphs, whose resources may hold transparency;
// Cairo 1.16 cannot be made to write one with alpha into a readable file, so the page is built
// with qpdf: one glyph drawn with the font's resources `font_resources`.
std::string PageWithType3Font(const std::string& font_resources) {
  QPDF document;
  document.emptyPDF();
  QPDFObjectHandle font = QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1 1] /FontMatrix [1 0 0 1 0 0]"
      " /CharProcs << >> /Encoding << /Differences [65 /A] >> /FirstChar 65 /LastChar 65"
      " /Widths [1] /Resources " +
      font_resources + " >>");
  QPDFObjectHandle page = QPDFObjectHandle::parse(
      "<< /Type /Page /MediaBox [0 0 100 100]"
      " /Group << /Type /Group /S /Transparency /I true /CS /DeviceRGB >> >>");
  QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
  fonts.replaceKey("/F1", document.makeIndirectObject(font));
  QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
  resources.replaceKey("/Font", fonts);
  page.replaceKey("/Resources", resources);
  page.replaceKey("/Contents",
                  QPDFObjectHandle::newStream(&document, "BT /F1 10 Tf 10 10 Td (A) Tj ET"));
  document.addPage(document.makeIndirectObject(page), false);
  QPDFWriter writer(document);
  writer.setOutputMemory();
  writer.write();
  std::shared_ptr<Buffer> out = writer.getBufferSharedPointer();
  return std::string(reinterpret_cast<const char*>(out->getBuffer()), out->getSize());
}

TEST(PdfFinishTest, AType3FontsOwnTransparencyKeepsTheGroup) {
  EXPECT_TRUE(
      ReadBack(FinishPdfForPrinting(PageWithType3Font("<< /ExtGState << /G << /ca 0.5 >> >> >>")))
          .Pages()[0]
          .hasKey("/Group"));
  EXPECT_FALSE(
      ReadBack(FinishPdfForPrinting(PageWithType3Font("<< /ExtGState << /G << /ca 1 >> >> >>")))
          .Pages()[0]
          .hasKey("/Group"));
}

TEST(PdfFinishTest, AsksNotToScaleAndReadsWithoutWarnings) {
  ReadBack before(CairoPdf({OpaqueDrawing}));
  ReadBack after(FinishPdfForPrinting(before.bytes));
  // Cairo writes the twice-painted picture's name twice in one dictionary; the result is clean.
  before.Streams();
  after.Streams();
  EXPECT_TRUE(before.document->anyWarnings());
  EXPECT_FALSE(after.document->anyWarnings());
  QPDFObjectHandle preferences = after.document->getRoot().getKey("/ViewerPreferences");
  ASSERT_TRUE(preferences.isDictionary());
  EXPECT_EQ(preferences.getKey("/PrintScaling").getName(), "/None");
  EXPECT_EQ(after.bytes.substr(0, 8), "%PDF-1.6");
}

TEST(PdfFinishTest, WhatIsNotPdfIsHandedOverAsItIs) {
  for (const std::string& bytes :
       {std::string(), std::string("not a document"), CairoPdf({OpaqueDrawing}).substr(0, 300)}) {
    EXPECT_EQ(FinishPdfForPrinting(bytes), bytes);
  }
}

}  // namespace
}  // namespace tolv
