// GLib's messages, for the libraries that log through it (GLib itself, gdk-pixbuf, Pango): they
// never reach standard error, and a fatal one ends the run the program's own way. GLib ends the
// process when an allocation fails (g_malloc) or a library reports an error it cannot go on from;
// instead of its message and an abort, the run writes one line and exits with status 2.
#ifndef TOLV_PLATFORM_CAIRO_GLIB_MESSAGES_H_
#define TOLV_PLATFORM_CAIRO_GLIB_MESSAGES_H_

namespace tolv {

// Once, before the libraries are used. Messages that are not fatal are dropped.
void RouteGLibMessages();

}  // namespace tolv

#endif  // TOLV_PLATFORM_CAIRO_GLIB_MESSAGES_H_
