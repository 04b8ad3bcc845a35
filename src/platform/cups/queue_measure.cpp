#include "platform/cups/queue_measure.h"

#include <cmath>
#include <cstdio>

namespace tolv {
namespace {

constexpr double kDefaultDpi = 600;
constexpr double kHundredthsMmPerInch = 2540;
constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72;

// The queue's default resolution; 600 dpi when it names none.
void ReadResolution(ipp_attribute_t* resolution, double* dpi_x, double* dpi_y) {
  *dpi_x = kDefaultDpi;
  *dpi_y = kDefaultDpi;
  if (resolution == nullptr || ippGetValueTag(resolution) != IPP_TAG_RESOLUTION) return;
  int y = 0;
  ipp_res_t units = IPP_RES_PER_INCH;
  const int x = ippGetResolution(resolution, 0, &y, &units);
  if (x <= 0 || y <= 0) return;
  const double per_inch = units == IPP_RES_PER_CM ? 2.54 : 1;
  *dpi_x = x * per_inch;
  *dpi_y = y * per_inch;
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
  cups_size_t media{};
  if (!cupsGetDestMediaDefault(link.get(), dest, info.get(), 0, &media)) {
    *cause = "it names no default media";
    return std::nullopt;
  }
  double dpi_x = kDefaultDpi;
  double dpi_y = kDefaultDpi;
  ReadResolution(cupsFindDestDefault(link.get(), dest, info.get(), "printer-resolution"), &dpi_x,
                 &dpi_y);
  std::optional<PrinterDevice> device = DeviceForMedia(media, dpi_x, dpi_y);
  if (!device) {
    *cause = std::string("its default media ") + media.media + " has no printable area";
  } else if (const std::string wrong = ImplausibleDevice(*device); !wrong.empty()) {
    *cause = wrong;
    device.reset();
  }
  return device;
}

}  // namespace tolv
