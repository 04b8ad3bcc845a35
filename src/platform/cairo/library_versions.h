#ifndef TOLV_PLATFORM_CAIRO_LIBRARY_VERSIONS_H_
#define TOLV_PLATFORM_CAIRO_LIBRARY_VERSIONS_H_

#include <string>

namespace tolv {

// The drawing libraries this program runs with, as they report themselves at run time:
// "cairo 1.16.0, pango 1.50.12, gdk-pixbuf 2.42.10, fontconfig 2.14.1".
std::string DrawingLibraryVersions();

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_LIBRARY_VERSIONS_H_
