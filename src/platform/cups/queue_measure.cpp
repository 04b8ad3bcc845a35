#include "platform/cups/queue_measure.h"

#include <cups/ppd.h>
#include <strings.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/cups/job_options.h"
#include "runtime/units.h"

// The PPD is read with libcups' PPD functions, which it marks as old: they are the only way to a
// queue's own default page size and the resolution its driver's raster has.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace tolv {
namespace {

constexpr double kDefaultDpi = 600;
constexpr double kHundredthsMmPerInch = kMmPerInch * 100;

struct PpdFree {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdFree>;

struct Resolution {
  double x = 0;
  double y = 0;
};

std::string Dpi(const Resolution& r) {
  char text[64];
  std::snprintf(text, sizeof(text), r.x == r.y ? "%g dpi" : "%gx%g dpi", r.x, r.y);
  return text;
}

std::string Mm(int hundredths_x, int hundredths_y) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.1f x %.1f mm", hundredths_x / 100.0, hundredths_y / 100.0);
  return text;
}

int HundredthsMm(double points) { return static_cast<int>(std::lround(points * 2540 / 72)); }

// A resolution attribute's first value; nothing when it has none.
std::optional<Resolution> ReadResolution(ipp_attribute_t* resolution) {
  if (resolution == nullptr || ippGetValueTag(resolution) != IPP_TAG_RESOLUTION) return {};
  int y = 0;
  ipp_res_t units = IPP_RES_PER_INCH;
  const int x = ippGetResolution(resolution, 0, &y, &units);
  if (x <= 0 || y <= 0) return {};
  const double per_inch = units == IPP_RES_PER_CM ? 2.54 : 1;
  return Resolution{x * per_inch, y * per_inch};
}

// The queue's PPD, when it has one. A queue without a PPD (the scheduler answers without one) gives
// nothing and no cause; a PPD that comes but cannot be read gives nothing and the cause.
Ppd FetchPpd(SchedulerLink& link, const char* name, std::string* cause) {
  char path[1024] = "";
  time_t modified = 0;
  const http_status_t status = cupsGetPPD3(link.get(), name, &modified, path, sizeof(path));
  if (status != HTTP_STATUS_OK) {
    // A scheduler that serves no PPD for the queue (an answer, whatever its code) has none to
    // give; only a wait that ran out or a broken connection is a failure.
    if (link.gave_up() || httpError(link.get()) != 0) {
      *cause = "its PPD could not be fetched: " + link.Cause();
    }
    if (path[0] != '\0') unlink(path);
    return nullptr;
  }
  Ppd ppd(ppdOpenFile(path));
  if (ppd == nullptr) {
    int line = 0;
    const ppd_status_t error = ppdLastError(&line);
    *cause = "its PPD cannot be read (" + std::string(ppdErrorString(error)) + " on line " +
             std::to_string(line) + ")";
  } else {
    ppdMarkDefaults(ppd.get());
  }
  unlink(path);
  return ppd;
}

// The device resolution the PPD's default choices set (HWResolution in the code of the default
// resolution, output mode or any other choice), which is what a raster for the queue has.
std::optional<Resolution> PpdResolution(ppd_file_t* ppd, std::string* where) {
  std::optional<Resolution> found;
  for (int g = 0; g < ppd->num_groups; ++g) {
    for (int o = 0; o < ppd->groups[g].num_options; ++o) {
      ppd_option_t& option = ppd->groups[g].options[o];
      const ppd_choice_t* choice = ppdFindMarkedChoice(ppd, option.keyword);
      if (choice == nullptr || choice->code == nullptr) continue;
      const char* at = std::strstr(choice->code, "/HWResolution");
      if (at == nullptr) continue;
      at = std::strchr(at, '[');
      double x = 0;
      double y = 0;
      if (at == nullptr || std::sscanf(at + 1, "%lf %lf", &x, &y) != 2 || x <= 0 || y <= 0)
        continue;
      found = Resolution{x, y};
      *where = std::string("the PPD's ") + option.keyword + " " + choice->choice;
    }
  }
  return found;
}

// The page size the PPD's default PageSize names, with its imageable area; a custom size
// ("Custom.210x148mm") is measured and its hardware margins applied. Nothing, with `cause`, when
// the default names no size or a custom size the printer cannot take.
std::optional<cups_size_t> PpdDefaultSize(ppd_file_t* ppd, std::string* name, std::string* cause) {
  const ppd_option_t* option = ppdFindOption(ppd, "PageSize");
  if (option == nullptr) option = ppdFindOption(ppd, "PageRegion");
  if (option == nullptr || option->defchoice[0] == '\0') {
    *cause = "its PPD names no default page size";
    return {};
  }
  *name = option->defchoice;
  const ppd_size_t* size = ppdPageSize(ppd, option->defchoice);
  if (size == nullptr || size->width <= 0 || size->length <= 0) {
    *cause = "its PPD's default page size " + *name + " has no size";
    return {};
  }
  if (strncasecmp(option->defchoice, "Custom.", 7) == 0) {
    if (!ppd->variable_sizes) {
      *cause = "its PPD's default page size " + *name + " is a custom size the PPD does not allow";
      return {};
    }
    const double slack = 0.5;  // points: the size's text is rounded
    if (size->width + slack < ppd->custom_min[0] || size->width - slack > ppd->custom_max[0] ||
        size->length + slack < ppd->custom_min[1] || size->length - slack > ppd->custom_max[1]) {
      char text[200];
      std::snprintf(text, sizeof(text),
                    " is outside the custom sizes the PPD allows (%.1f x %.1f to %.1f x %.1f mm)",
                    ppd->custom_min[0] / kPointsPerInch * kMmPerInch,
                    ppd->custom_min[1] / kPointsPerInch * kMmPerInch,
                    ppd->custom_max[0] / kPointsPerInch * kMmPerInch,
                    ppd->custom_max[1] / kPointsPerInch * kMmPerInch);
      *cause = "its PPD's default page size " + *name + text;
      return {};
    }
  }
  cups_size_t media{};
  std::snprintf(media.media, sizeof(media.media), "%s", option->defchoice);
  media.width = HundredthsMm(size->width);
  media.length = HundredthsMm(size->length);
  media.left = HundredthsMm(size->left);
  media.bottom = HundredthsMm(size->bottom);
  media.right = HundredthsMm(size->width - size->right);
  media.top = HundredthsMm(size->length - size->top);
  return media;
}

// The size and margins of a media-col value; false when it has no size.
bool ReadMediaCol(ipp_attribute_t* attribute, cups_size_t* media) {
  if (attribute == nullptr || ippGetValueTag(attribute) != IPP_TAG_BEGIN_COLLECTION) return false;
  ipp_t* col = ippGetCollection(attribute, 0);
  ipp_attribute_t* size = ippFindAttribute(col, "media-size", IPP_TAG_BEGIN_COLLECTION);
  if (size == nullptr) return false;
  ipp_t* dims = ippGetCollection(size, 0);
  ipp_attribute_t* x = ippFindAttribute(dims, "x-dimension", IPP_TAG_INTEGER);
  ipp_attribute_t* y = ippFindAttribute(dims, "y-dimension", IPP_TAG_INTEGER);
  if (x == nullptr || y == nullptr) return false;
  *media = {};
  media->width = ippGetInteger(x, 0);
  media->length = ippGetInteger(y, 0);
  const auto margin = [&](const char* name) {
    ipp_attribute_t* m = ippFindAttribute(col, name, IPP_TAG_INTEGER);
    return m == nullptr ? 0 : ippGetInteger(m, 0);
  };
  media->left = margin("media-left-margin");
  media->right = margin("media-right-margin");
  media->top = margin("media-top-margin");
  media->bottom = margin("media-bottom-margin");
  ipp_attribute_t* name = ippFindAttribute(col, "media-size-name", IPP_TAG_ZERO);
  const char* text = name == nullptr ? nullptr : ippGetString(name, 0, nullptr);
  if (text != nullptr) std::snprintf(media->media, sizeof(media->media), "%s", text);
  return media->width > 0 && media->length > 0;
}

bool Named(const char* name) {
  return name != nullptr && *name != '\0' && std::strcmp(name, "unknown") != 0;
}

// The queue's default paper, in order: a media saved on the queue (lpoptions, lpadmin -o
// media-default), its media-col-default, its media-default looked up in its media database, the
// PPD's own default page size (custom sizes, which the scheduler cannot name). Never a size
// nobody named: nothing, with `cause`, when none answers.
//
// libcups gives the scheduler's media-default as the queue's "media" option too, so a saved media
// is told from the queue's own default by its size: the scheduler's media-col-default always has
// the size of the PPD's default, and a media saved over it names another.
std::optional<cups_size_t> DefaultPaper(SchedulerLink& link, cups_dest_t* dest, cups_dinfo_t* info,
                                        ppd_file_t* ppd, std::string* from, std::string* cause) {
  cups_size_t col{};
  const bool has_col = ReadMediaCol(cupsFindDestDefault(link.get(), dest, info, "media-col"), &col);
  cups_size_t media{};
  if (const char* saved = cupsGetOption("media", dest->num_options, dest->options); Named(saved)) {
    if (!cupsGetDestMediaByName(link.get(), dest, info, saved, CUPS_MEDIA_FLAGS_DEFAULT, &media)) {
      *cause = std::string("its saved media ") + saved + " names no size the queue has";
      return {};
    }
    const bool same_as_col = has_col && std::abs(col.width - media.width) <= 100 &&
                             std::abs(col.length - media.length) <= 100;
    if (!same_as_col) {
      *from = std::string("the queue's saved media ") + saved;
      return media;
    }
  }
  if (has_col) {
    *from = "the queue's media-col-default";
    if (col.media[0] == '\0') {
      cups_size_t named{};
      if (cupsGetDestMediaBySize(link.get(), dest, info, col.width, col.length,
                                 CUPS_MEDIA_FLAGS_DEFAULT, &named)) {
        std::snprintf(col.media, sizeof(col.media), "%s", named.media);
      } else {
        pwgFormatSizeName(col.media, sizeof(col.media), "custom", nullptr, col.width, col.length,
                          nullptr);
      }
    }
    return col;
  }
  ipp_attribute_t* named = cupsFindDestDefault(link.get(), dest, info, "media");
  const char* name = named == nullptr ? nullptr : ippGetString(named, 0, nullptr);
  if (Named(name)) {
    *from = std::string("the queue's media-default ") + name;
    if (cupsGetDestMediaByName(link.get(), dest, info, name, CUPS_MEDIA_FLAGS_DEFAULT, &media)) {
      return media;
    }
    *cause = std::string("its media-default ") + name + " names no size the queue has";
    return {};
  }
  if (ppd != nullptr) {
    std::string choice;
    std::optional<cups_size_t> size = PpdDefaultSize(ppd, &choice, cause);
    if (size) *from = "the PPD's DefaultPageSize " + choice;
    return size;
  }
  *cause = "it names no default paper (no saved media, media-col-default, media-default or PPD)";
  return {};
}

}  // namespace

std::optional<PrinterDevice> DeviceForMedia(const cups_size_t& media, double dpi_x, double dpi_y) {
  if (media.width <= 0 || media.length <= 0 || media.left < 0 || media.right < 0 || media.top < 0 ||
      media.bottom < 0 || media.left + media.right >= media.width ||
      media.top + media.bottom >= media.length || !(dpi_x > 0) || !(dpi_y > 0)) {
    return std::nullopt;
  }
  const auto pixels = [](int hundredths_mm, double dpi) {
    return std::round(hundredths_mm / kHundredthsMmPerInch * dpi);
  };
  PrinterDevice device;
  device.dpi_x = dpi_x;
  device.dpi_y = dpi_y;
  device.page_width_pt = media.width / kHundredthsMmPerInch * kPointsPerInch;
  device.page_height_pt = media.length / kHundredthsMmPerInch * kPointsPerInch;
  device.printable_left_px = pixels(media.left, dpi_x);
  device.printable_top_px = pixels(media.top, dpi_y);
  device.printable_width_px = pixels(media.width - media.left - media.right, dpi_x);
  device.printable_height_px = pixels(media.length - media.top - media.bottom, dpi_y);
  device.media = media.media;
  return device;
}

std::string ImplausibleDevice(const PrinterDevice& device) {
  const auto outside = [](double dpi) { return !(dpi >= kMinDpi && dpi <= kMaxDpi); };
  if (outside(device.dpi_x) || outside(device.dpi_y)) {
    char text[160];
    std::snprintf(text, sizeof(text), "its resolution %gx%g dpi is outside %g to %g dpi",
                  device.dpi_x, device.dpi_y, kMinDpi, kMaxDpi);
    return text;
  }
  const double width_mm = device.printable_width_px / device.dpi_x * kMmPerInch;
  const double height_mm = device.printable_height_px / device.dpi_y * kMmPerInch;
  // Areas are whole pixels: one pixel short of the form's size still holds it.
  const double pixel_x_mm = kMmPerInch / device.dpi_x;
  const double pixel_y_mm = kMmPerInch / device.dpi_y;
  if (!(width_mm + pixel_x_mm >= kMinPrintableWidthMm &&
        height_mm + pixel_y_mm >= kMinPrintableHeightMm)) {
    char text[200];
    std::snprintf(text, sizeof(text),
                  "its printable area of %.1f x %.1f mm cannot hold one form of %g x %g mm",
                  width_mm, height_mm, kMinPrintableWidthMm, kMinPrintableHeightMm);
    return text;
  }
  return "";
}

std::optional<PrinterDevice> Measure(SchedulerLink& link, cups_dest_t* dest, std::string* cause) {
  DestInfo info(cupsCopyDestInfo(link.get(), dest));
  if (info == nullptr) {
    *cause = link.Cause();
    return std::nullopt;
  }
  Ppd ppd = FetchPpd(link, dest->name, cause);
  if (ppd == nullptr && !cause->empty()) return std::nullopt;

  std::string paper_from;
  const std::optional<cups_size_t> media =
      DefaultPaper(link, dest, info.get(), ppd.get(), &paper_from, cause);
  if (!media) return std::nullopt;

  // The raster a driver gets has the resolution the PPD's defaults set; without a PPD (or one
  // that sets none) the queue's printer-resolution-default is what the printer renders at.
  std::vector<std::string> disagreements;
  const std::optional<Resolution> queue_default =
      ReadResolution(cupsFindDestDefault(link.get(), dest, info.get(), "printer-resolution"));
  std::string ppd_where;
  const std::optional<Resolution> ppd_default =
      ppd == nullptr ? std::nullopt : PpdResolution(ppd.get(), &ppd_where);
  Resolution dpi{kDefaultDpi, kDefaultDpi};
  std::string resolution_from = "none named: 600 dpi assumed";
  if (ppd_default) {
    dpi = *ppd_default;
    resolution_from = ppd_where;
    if (queue_default && (queue_default->x != dpi.x || queue_default->y != dpi.y)) {
      resolution_from += " (printer-resolution-default says " + Dpi(*queue_default) + ")";
    }
  } else if (queue_default) {
    dpi = *queue_default;
    resolution_from = "the queue's printer-resolution-default";
  }

  std::optional<PrinterDevice> device = DeviceForMedia(*media, dpi.x, dpi.y);
  if (!device) {
    *cause = std::string("its default paper ") + media->media + " (" + paper_from +
             ") leaves no printable area";
    return std::nullopt;
  }
  if (const std::string wrong = ImplausibleDevice(*device); !wrong.empty()) {
    *cause = wrong;
    return std::nullopt;
  }
  device->paper_from = paper_from;
  device->resolution_from = resolution_from;
  // A PPD queue prints on a size its PPD has: a job's media it does not know falls back to the
  // PPD's default, whatever the page was laid out on.
  if (ppd != nullptr && !paper_from.starts_with("the PPD's")) {
    std::string choice;
    std::string ignored;
    const std::optional<cups_size_t> ppd_size = PpdDefaultSize(ppd.get(), &choice, &ignored);
    cups_size_t known{};
    const bool queue_knows = cupsGetDestMediaByName(link.get(), dest, info.get(), media->media,
                                                    CUPS_MEDIA_FLAGS_DEFAULT, &known);
    if (!queue_knows && ppd_size) {
      disagreements.push_back("the page is laid out on " + std::string(media->media) + ", " +
                              Mm(media->width, media->length) +
                              ", which the queue's PPD does "
                              "not have: it prints on its DefaultPageSize " +
                              choice + ", " + Mm(ppd_size->width, ppd_size->length));
    }
  }
  device->disagreements = std::move(disagreements);
  device->dropped = DroppedSettings(dest, device->media);
  return device;
}

}  // namespace tolv
