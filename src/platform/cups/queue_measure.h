// Measuring a queue: the page, printable area and resolution a document for it is rendered on.
#ifndef TOLV_PLATFORM_CUPS_QUEUE_MEASURE_H_
#define TOLV_PLATFORM_CUPS_QUEUE_MEASURE_H_

#include <cups/cups.h>

#include <optional>
#include <string>

#include "destination/destination.h"
#include "platform/cups/scheduler_link.h"

namespace tolv {

// The resolutions and the printable area a real printer can have; outside them the queue's
// answers are wrong, and a page rendered for them would be wrong too.
inline constexpr double kMinDpi = 72;
inline constexpr double kMaxDpi = 4800;
inline constexpr double kMinPrintableWidthMm = 139;  // one form, the narrowest way round
inline constexpr double kMinPrintableHeightMm = 105;

// The device that a media size (hundredths of millimetres, with margins) and a resolution give:
// page in points, printable area in whole device pixels. Nothing when the size is empty or its
// margins leave nothing printable.
std::optional<PrinterDevice> DeviceForMedia(const cups_size_t& media, double dpi_x, double dpi_y);

// Why a device is not one a real printer has (a resolution outside kMinDpi to kMaxDpi, a printable
// area smaller than one form); "" when it could be.
std::string ImplausibleDevice(const PrinterDevice& device);

// Measures the queue once: its default media with margins, and its resolution. Nothing, with
// `cause`, when it cannot be measured or what it says cannot be a real printer.
std::optional<PrinterDevice> Measure(SchedulerLink& link, cups_dest_t* dest, std::string* cause);

}  // namespace tolv

#endif  // TOLV_PLATFORM_CUPS_QUEUE_MEASURE_H_
