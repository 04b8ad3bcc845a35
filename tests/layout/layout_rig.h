// A job, a recording platform and a form for the layout tests, with the surfaces set up at ten
// pixels per millimetre so that expected positions read as millimetres times ten.
#ifndef TOLV_TESTS_LAYOUT_LAYOUT_RIG_H_
#define TOLV_TESTS_LAYOUT_LAYOUT_RIG_H_

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "form/tolv_form.h"
#include "job/job.h"
#include "platform/recording/recording.h"
#include "surface/scale.h"

namespace tolv::testing {

enum class FormKind { kMini, kMaxi };

// ASCII as it is, a NUL as \0, anything else as U+hex.
inline std::string Show(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c == 0) {
      out += "\\0";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

inline std::string Num(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v));
  return buf;
}

struct LayoutRig {
  JobState job;
  recording::RecordingPlatform platform;
  TolvForm form{job, platform};

  explicit LayoutRig(int16_t blank, int16_t last_row_index = 0) {
    job.PrintJob.Blank = blank;
    job.PrintJob.LastRowIndex = last_row_index;
  }

  // The form's height in tenths of a millimetre: its pixels at ten pixels per millimetre.
  int32_t HeightPx(FormKind kind) const {
    if (kind == FormKind::kMini) return 1050;
    return job.PrintJob.Blank == 6 ? 2053 : 1410;
  }

  // The printer variant into a 1390-pixel-wide form at (X, Y); the printer in pixels, as the
  // direct drivers leave it.
  void RunPrinter(FormKind kind, int32_t X = 0, int32_t Y = 0) {
    platform.printer().SetScaleMode(kScalePixels);
    platform.log().clear();
    const int32_t width = 1390;
    const int32_t height = HeightPx(kind);
    if (kind == FormKind::kMini) {
      form.PrintMiniTextEx(X, Y, width, height);
    } else {
      form.PrintMaxiTextEx(X, Y, width, height);
    }
  }

  // The picture variant on a Picture2 of 1390 pixels across, in twips as the drivers leave it.
  void RunPicture(FormKind kind) {
    form.Picture2().SetWidth(1390 * 15.0f);
    form.Picture2().SetHeight(static_cast<float>(HeightPx(kind)) * 15.0f);
    platform.log().clear();
    if (kind == FormKind::kMini) {
      form.PrintMiniText();
    } else {
      form.PrintMaxiText();
    }
  }

  void Run(FormKind kind, bool printer) { printer ? RunPrinter(kind) : RunPicture(kind); }

  // Every print of a surface as "x,y 'text'".
  std::vector<std::string> Prints(const std::string& surface) const {
    std::vector<std::string> out;
    for (const recording::Entry& e : platform.log()) {
      if (e.surface != surface) continue;
      if (const auto* p = std::get_if<recording::Print>(&e.op)) {
        out.push_back(Num(p->x) + "," + Num(p->y) + " '" + Show(p->text) + "'");
      }
    }
    return out;
  }

  // Every call on a surface in order: "X<x>", "Y<y>", "'text'", "S<mode>".
  std::vector<std::string> Trace(const std::string& surface) const {
    std::vector<std::string> out;
    for (const recording::Entry& e : platform.log()) {
      if (e.surface != surface) continue;
      if (const auto* p = std::get_if<recording::Print>(&e.op)) {
        out.push_back("'" + Show(p->text) + "'");
      } else if (const auto* x = std::get_if<recording::SetCurrentX>(&e.op)) {
        out.push_back("X" + Num(x->x));
      } else if (const auto* y = std::get_if<recording::SetCurrentY>(&e.op)) {
        out.push_back("Y" + Num(y->y));
      } else if (const auto* s = std::get_if<recording::SetScaleMode>(&e.op)) {
        out.push_back("S" + std::to_string(s->mode));
      } else {
        out.push_back("?");
      }
    }
    return out;
  }

  int DoEventsCount() const {
    int n = 0;
    for (const recording::Entry& e : platform.log()) {
      n += std::holds_alternative<recording::DoEvents>(e.op) ? 1 : 0;
    }
    return n;
  }
};

inline const char* SurfaceOf(bool printer) { return printer ? "Printer" : "Picture2"; }

}  // namespace tolv::testing

#endif  // TOLV_TESTS_LAYOUT_LAYOUT_RIG_H_
