#include "platform/cairo/library_versions.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pango.h>

namespace tolv {

std::string DrawingLibraryVersions() {
  const int fc = FcGetVersion();  // major * 10000 + minor * 100 + revision
  return std::string("cairo ") + cairo_version_string() + ", pango " + pango_version_string() +
         ", gdk-pixbuf " + std::to_string(gdk_pixbuf_major_version) + "." +
         std::to_string(gdk_pixbuf_minor_version) + "." + std::to_string(gdk_pixbuf_micro_version) +
         ", fontconfig " + std::to_string(fc / 10000) + "." + std::to_string(fc / 100 % 100) + "." +
         std::to_string(fc % 100);
}

}  // namespace tolv
