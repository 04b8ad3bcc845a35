// A scratch program directory, form data files and a recording form for the direct drivers' tests.
#ifndef TOLV_TESTS_DRIVERS_DRIVER_RIG_H_
#define TOLV_TESTS_DRIVERS_DRIVER_RIG_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "form/tolv_form.h"
#include "platform/recording/recording.h"
#include "support/temp_dir.h"

namespace tolv::testing {

struct Dot {
  int16_t x;
  int16_t y;
  int32_t color;
};

// The records as the form data file holds them, little-endian, byte by byte.
inline std::string EncodeDots(const std::vector<Dot>& dots) {
  std::string bytes;
  for (const Dot& d : dots) {
    const auto u16 = [&](int16_t v) {
      bytes.push_back(static_cast<char>(static_cast<uint16_t>(v) & 0xFF));
      bytes.push_back(static_cast<char>(static_cast<uint16_t>(v) >> 8));
    };
    u16(d.x);
    u16(d.y);
    const uint32_t c = static_cast<uint32_t>(d.color);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(c >> shift));
  }
  return bytes;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string DataFileName(int16_t blank) {
  return "KORDEL" + std::to_string(blank) + "A.DAT";
}

// A printer of exactly 10 device pixels per millimetre (254 dpi) with an A4 printable area, so
// that expected positions read as tenths of a millimetre.
inline recording::PrinterSetup TenPixelsPerMm(double height_px = 2970) {
  recording::PrinterSetup setup;
  setup.dpi_x = setup.dpi_y = 254;
  setup.width_px = 2100;
  setup.height_px = height_px;
  return setup;
}

template <class T>
std::vector<T> OpsOfType(const recording::RecordingPlatform& platform,
                         const std::string& surface = "Printer") {
  std::vector<T> out;
  for (const recording::Op& op : platform.OpsOf(surface)) {
    if (const T* t = std::get_if<T>(&op)) out.push_back(*t);
  }
  return out;
}

}  // namespace tolv::testing

#endif  // TOLV_TESTS_DRIVERS_DRIVER_RIG_H_
