#include "platform/cairo/picture_loader.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace tolv {
namespace {

const char* LoaderType(PictureFormat format) {
  switch (format) {
    case PictureFormat::kBmp:
      return "bmp";
    case PictureFormat::kGif:
      return "gif";
    case PictureFormat::kJpeg:
      return "jpeg";
    case PictureFormat::kPng:
      return "png";
    case PictureFormat::kIco:
      return "ico";
    case PictureFormat::kTiff:
      return "tiff";
    case PictureFormat::kUnknown:
      break;
  }
  return nullptr;
}

struct SizeCheck {
  bool too_large = false;
  int64_t pixels = 0;  // as the decoder announced them
};

void OnSizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data) {
  static_cast<SizeCheck*>(data)->pixels = static_cast<int64_t>(width) * height;
  if (static_cast<int64_t>(width) * height > kMaxPicturePixels) {
    static_cast<SizeCheck*>(data)->too_large = true;
    // A size of 0 makes the decoders stop before they allocate the image.
    gdk_pixbuf_loader_set_size(loader, 0, 0);
  }
}

struct LoaderDeleter {
  void operator()(GdkPixbufLoader* loader) const { g_object_unref(loader); }
};

std::vector<uint32_t> OpaquePixels(GdkPixbuf* pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  const size_t stride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
  if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < (alpha ? 4 : 3)) {
    RefusePicture("unsupported pixel layout");
  }
  const guint8* data = gdk_pixbuf_read_pixels(pixbuf);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const guint8* p = data + stride * y;
    for (int x = 0; x < width; ++x, p += channels) {
      uint32_t r = p[0], g = p[1], b = p[2];
      if (alpha) {
        // Over white, rounded to the nearest value.
        const uint32_t a = p[3];
        r = (r * a + 255 * (255 - a) + 127) / 255;
        g = (g * a + 255 * (255 - a) + 127) / 255;
        b = (b * a + 255 * (255 - a) + 127) / 255;
      }
      pixels[static_cast<size_t>(y) * width + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  return pixels;
}

// `owned`, when given, holds `bytes` and is emptied once the decoder has taken them, before the
// pixels are converted: a large picture's file and its pixels are not all held at once.
PicturePtr Decode(std::string_view bytes, std::string* owned) {
  const PictureFormat format = CheckPictureBytes(bytes);
  if (format == PictureFormat::kBmp) {
    if (PicturePtr plain = DecodePlainBmp(bytes)) return plain;
  }

  GError* error = nullptr;
  std::unique_ptr<GdkPixbufLoader, LoaderDeleter> loader(
      gdk_pixbuf_loader_new_with_type(LoaderType(format), &error));
  if (!loader) {
    g_clear_error(&error);
    RefusePicture("no decoder");
  }
  SizeCheck size;
  g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(OnSizePrepared), &size);
  std::string message;
  bool out_of_memory = false;
  const auto take_error = [&] {
    if (error == nullptr) return;
    if (message.empty()) message = error->message;
    out_of_memory |= g_error_matches(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY);
    g_clear_error(&error);
  };
  const bool written = gdk_pixbuf_loader_write(
      loader.get(), reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), &error);
  take_error();
  // A loader is always closed, also after a failed write.
  const bool closed = gdk_pixbuf_loader_close(loader.get(), &error);
  take_error();
  if (owned != nullptr) std::string().swap(*owned);
  // Memory that ran out is the machine's failure, not a damaged picture to skip. The decoders say
  // "insufficient memory" for some damaged pictures too (a frame of no pixels), so the memory
  // the picture needs is tried once: only when that fails did memory run out.
  if (out_of_memory && !size.too_large) {
    void* volatile probe =  // volatile: the compiler may not leave the allocation out
        std::malloc(static_cast<size_t>(std::max<int64_t>(size.pixels, 1)) * 4);
    if (probe == nullptr) throw std::bad_alloc();
    std::free(probe);
  }

  if (size.too_large) RefusePicture("over 64 million pixels");
  if (!written || !closed) RefusePicture(message.empty() ? "damaged" : message);
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());  // owned by the loader
  if (pixbuf == nullptr) RefusePicture("nothing decoded");
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  // A decoder that never announced its size is held to the limit here, after decoding.
  CheckPictureSize(width, height);
  return std::make_shared<Picture>(width, height, OpaquePixels(pixbuf));
}

}  // namespace

PicturePtr DecodePicture(std::string_view bytes) { return Decode(bytes, nullptr); }

PicturePtr LoadPicture(const std::string& path) {
  std::string bytes = ReadPictureFile(path);
  return Decode(bytes, &bytes);
}

}  // namespace tolv
