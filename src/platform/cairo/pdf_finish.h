// The last step of a print document before it leaves the program: the PDF Cairo wrote, prepared
// for the printers it goes to.
//
// Cairo 1.16 marks every page as a transparency group, whatever is drawn on it, and has no setting
// that leaves the mark out. tolv draws nothing transparent, but the scheduler's raster filters see
// the mark and composite the whole page at the printer's resolution: three to five times the time
// of the same page without it, with the same pixels. Cairo also has no way to ask a viewer or
// printer not to scale the page to its paper, which a form printed on pre-printed stationery needs.
#ifndef TOLV_PLATFORM_CAIRO_PDF_FINISH_H_
#define TOLV_PLATFORM_CAIRO_PDF_FINISH_H_

#include <string>

namespace tolv {

// Returns the document `pdf` rewritten so that
//  - a page whose content is opaque throughout (no soft mask, no constant alpha below 1, no blend
//    mode other than Normal, in its resources or in the forms, patterns and Type 3 fonts they use)
//    carries no page group; a page that does use transparency keeps its group, as it needs it;
//  - the catalogue asks viewers and printers not to scale it (/ViewerPreferences with
//    /PrintScaling /None; the header says PDF 1.6, where that entry was defined);
//  - a dictionary with a key written twice (Cairo lists a picture painted twice on a page twice
//    in the page's resources) keeps the key once;
// and nothing else: streams are copied byte for byte, numbers keep their written form, so every
// page draws exactly as before.
//
// A document that cannot be read as PDF (it never is one Cairo wrote) is returned as it was: it
// still prints, only slower. Writes nothing to standard error.
std::string FinishPdfForPrinting(std::string pdf);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_PDF_FINISH_H_
