// The least a program can do to put output mode 3's page into a PDF: Pango and Cairo, the same
// characters at the same places, nothing else (no job file, no printer, no checks). The printer
// benchmark times it beside tolv's whole run of output mode 3: what tolv takes above it is its own.
//
// Usage: tolv_bare_pdf <text file> <output PDF>
// The text file has one string a line: "x y size font family|text", x and y the string's top-left
// corner in points from the page's top-left corner, size in points. The page is A4.
#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tolv_bare_pdf <text file> <output PDF>\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  cairo_surface_t* surface = cairo_pdf_surface_create(argv[2], 595.275591, 841.889764);
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  std::string line;
  while (std::getline(in, line)) {
    const size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    std::istringstream head(line.substr(0, bar));
    double x = 0, y = 0, size = 0;
    std::string family;
    head >> x >> y >> size;
    std::getline(head >> std::ws, family);
    PangoFontDescription* font = pango_font_description_from_string(family.c_str());
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    const std::string text = line.substr(bar + 1);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
  }
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok ? 0 : 1;
}
