// JPEG: the size in its frame header, whether the segments run to the end mark, and how many
// scans the decoder would go through.
#include <string>

#include "picture/format_rules.h"

namespace tolv::format_rules {
namespace {

// A progressive JPEG is decoded again for every scan: thousands of tiny scans take minutes. Real
// pictures have at most a dozen.
constexpr int kMaxJpegScans = 64;

// Walks a JPEG's segments: whether it reaches its end mark, and how many scans it holds.
bool WalkSegments(std::string_view b, int& scans) {
  scans = 0;
  uint64_t pos = 2;  // after SOI
  while (pos < b.size()) {
    if (Byte(b, pos) != 0xFF) {
      ++pos;  // stray byte between segments
      continue;
    }
    while (pos < b.size() && Byte(b, pos) == 0xFF) ++pos;  // fill bytes
    if (pos >= b.size()) return false;
    const uint8_t marker = Byte(b, pos++);
    if (marker == 0xD9) return true;                                     // EOI
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (pos + 2 > b.size()) return false;
    pos += U16Be(b, pos);
    if (pos > b.size()) return false;
    if (marker == 0xDA) {
      ++scans;
      // Entropy-coded data runs to the next marker that is neither a stuffed 0xFF00 nor a
      // restart marker.
      while (pos + 1 < b.size()) {
        if (Byte(b, pos) == 0xFF) {
          const uint8_t next = Byte(b, pos + 1);
          if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7) && next != 0xFF) break;
        }
        ++pos;
      }
      if (pos + 1 >= b.size()) return false;
    }
  }
  return false;
}

}  // namespace

StatedHeader JpegHeader(std::string_view b, uint64_t) {
  // The frame header (SOF0 to SOF15 but DHT, JPG and DAC), found by walking the segments before
  // it.
  StatedHeader stated;
  uint64_t pos = 2;  // after SOI
  while (pos + 4 <= b.size()) {
    if (Byte(b, pos) != 0xFF) return stated;
    while (pos < b.size() && Byte(b, pos) == 0xFF) ++pos;  // fill bytes
    if (pos + 3 > b.size()) return stated;
    const uint8_t marker = Byte(b, pos++);
    if (marker == 0xDA || marker == 0xD9) return stated;  // data before any frame header
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    const uint64_t length = U16Be(b, pos);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (length < 8 || pos + 7 > b.size()) return stated;
      const int64_t height = U16Be(b, pos + 3);
      const int64_t width = U16Be(b, pos + 5);
      stated.pixels = Area(width, height);
      stated.size = PositiveSize(width, height);
      return stated;
    }
    pos += length;
  }
  return stated;
}

bool JpegComplete(std::string_view b) {
  int scans = 0;
  return WalkSegments(b, scans);
}

void CheckJpegScans(std::string_view b) {
  if (int scans = 0; WalkSegments(b, scans) && scans > kMaxJpegScans) {
    RefusePicture("damaged: more than " + std::to_string(kMaxJpegScans) + " scans");
  }
}

}  // namespace tolv::format_rules
