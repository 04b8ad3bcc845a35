#include "startup/check_report.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "job/code_page.h"
#include "job/form_types.h"
#include "layout/geometry.h"
#include "runtime/file_path.h"
#include "runtime/units.h"

namespace tolv {
namespace {

constexpr double kPointsPerMm = 72 / kMmPerInch;

std::string Format(const char* format, double a, double b) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

std::string TwoDigits(int i) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", i);
  return text;
}

std::string OutputModeMeaning(int paper_type, int blank) {
  switch (paper_type) {
    case 0:
      return "composed picture: the form's picture with the text, printed as one picture";
    case 1:
      return "composed picture sent in 20 bands";
    case 2:
      return "background dots and text drawn directly";
    case 3:
      return blank == 6 ? "fixed grid, which form type 6 does not have: nothing is printed"
                        : "text only on a fixed grid; the form is expected on the paper";
    default:
      return "unknown: nothing is printed";
  }
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(PathFromUtf8(path), ignored);
}

// Where a placed copy of the form runs past the printable area (what lies there does not print),
// in millimetres per edge; empty when it lies within, half a millimetre of rounding allowed.
std::string OffThePrintableArea(const PlacedForm& f, const RunTrace& trace) {
  if (trace.printable_width_px <= 0 || trace.printable_height_px <= 0) return "";
  constexpr double kToleranceMm = 0.5;
  const double mm_x = trace.px_per_mm_x, mm_y = trace.px_per_mm_y;
  const struct {
    const char* edge;
    double past_mm;
  } edges[] = {
      {"left", -f.x / mm_x},
      {"top", -f.y / mm_y},
      {"right", (f.x + f.width - trace.printable_width_px) / mm_x},
      {"bottom", (f.y + f.height - trace.printable_height_px) / mm_y},
  };
  std::string off;
  for (const auto& e : edges) {
    if (e.past_mm <= kToleranceMm) continue;
    off += (off.empty() ? "" : ", ") + Format("%.1f mm past the", e.past_mm, 0) + " " + e.edge;
  }
  if (off.empty()) return "";
  return "runs " + off + " edge of the printable area: what lies there does not print";
}

}  // namespace

void NoteJob(const JobState& job, const std::string& program_dir, RunTrace& trace) {
  const PrintJobRecord& p = job.PrintJob;
  trace.Note("form type", std::to_string(p.Blank) + ": " + DescribeFormType(p.Blank));
  trace.Note("output mode",
             std::to_string(p.PaperType) + ": " + OutputModeMeaning(p.PaperType, p.Blank));
  trace.Note("placement", "offsets " + std::to_string(p.OffsetX) + ", " +
                              std::to_string(p.OffsetY) +
                              " (fiftieths of the free space; 25 centred), zoom " +
                              std::to_string(std::lround(job.Zoom * 100)) + "%");
  trace.px_per_mm_x = job.PixelsPerMmX;
  trace.px_per_mm_y = job.PixelsPerMmY;
  std::string font = "\"" + ToUtf8(job.FontFace) + "\"";
  if (job.FontFace.empty()) font += " (none: the printer's default face)";
  if (trace.match_font) {
    const std::string used = trace.match_font(job.FontFace.empty() ? U"Arial" : job.FontFace);
    if (!used.empty()) font += ", drawn with \"" + used + "\"";
  }
  trace.Note("font", font);
  if (trace.unshown_characters) {
    for (size_t i = 0; i < job.Rows.size(); ++i) {
      if (job.Rows[i].empty()) continue;
      trace.row(static_cast<int>(i)).no_glyph =
          trace.unshown_characters(job.FontFace.empty() ? U"Arial" : job.FontFace, job.Rows[i]);
    }
  }
  if (FindFormType(p.Blank) != nullptr) {
    for (const char* kind : {"GFX", "DAT"}) {
      const std::string path = program_dir + "/" + FormFileName(p.Blank, kind);
      // Output mode 2 loads the picture too: its size scales the dots.
      const bool used =
          (kind[0] == 'G') ? (p.PaperType >= 0 && p.PaperType <= 2) : p.PaperType == 2;
      trace.Note("form files", path + (Exists(path) ? ": found" : ": missing") +
                                   (used ? "" : " (not used in this output mode)"));
      if (used && !Exists(path)) trace.Problem("form file " + path + " is missing");
    }
  }
}

void NoteDestination(const Destination& destination, RunTrace& trace) {
  const PrinterDevice& d = destination.Device();
  const std::string name = destination.Describe();
  trace.Note("printer", name);
  trace.printable_width_px = d.printable_width_px;
  trace.printable_height_px = d.printable_height_px;
  if (name.starts_with("a printer that failed")) trace.Problem("the printer: " + name);
  trace.Note("paper", d.media + ", " +
                          Format("%.1f x %.1f mm", d.page_width_pt / kPointsPerMm,
                                 d.page_height_pt / kPointsPerMm) +
                          Format(", %.0f x %.0f dpi", d.dpi_x, d.dpi_y));
  trace.Note("printable area", Format("%.1f x %.1f mm", d.printable_width_px / d.dpi_x * kMmPerInch,
                                      d.printable_height_px / d.dpi_y * kMmPerInch) +
                                   Format(" from %.1f mm left, %.1f mm top",
                                          d.printable_left_px / d.dpi_x * kMmPerInch,
                                          d.printable_top_px / d.dpi_y * kMmPerInch));
  if (!d.state.empty()) {
    trace.Note("queue state", d.state);
    // A paused queue takes the job and prints it once resumed; one that refuses jobs does not.
    if (d.state.find("does not accept jobs") != std::string::npos) {
      trace.Problem("the printer: " + d.state);
    }
  }
  if (!d.paper_from.empty()) trace.Note("paper from", d.paper_from);
  if (!d.resolution_from.empty()) trace.Note("resolution from", d.resolution_from);
  for (const std::string& disagreement : d.disagreements) {
    trace.Note("disagreement", disagreement);
    trace.Problem("the paper: " + disagreement);
  }
  trace.Note("scaling", "the job asks for print-scaling=none and the paper's own media");
  for (const std::string& setting : d.dropped) trace.Note("not passed on", setting);
}

void NoteCorrection(const QueueCorrection& correction, RunTrace& trace) {
  trace.Note("correction", correction.found ? Format("tolv.conf moves the page %.2f mm right, "
                                                     "%.2f mm down",
                                                     correction.shift_x_mm, correction.shift_y_mm)
                           : correction.problems.empty()
                               ? "none (no section for this queue in tolv.conf)"
                               : "none: tolv.conf has a problem for this queue");
  for (const std::string& problem : correction.problems) trace.Problem(problem);
}

std::string CheckReport(const RunTrace& trace, bool* problems) {
  std::ostringstream out;
  std::vector<std::string> listed = trace.problems();
  for (const auto& [heading, text] : trace.notes()) {
    char label[24];
    std::snprintf(label, sizeof label, "%-16s", heading.c_str());
    out << label << " " << text << "\n";
  }
  const auto& forms = trace.forms();
  bool two_pages = false;
  for (const PlacedForm& f : forms) two_pages = two_pages || f.page > 1;
  if (!two_pages) {
    out << "copies           "
        << (forms.empty()       ? "nothing is printed"
            : forms.size() == 1 ? "one copy"
                                : "both copies on one sheet")
        << "\n";
  }
  if (trace.px_per_mm_x > 0 && trace.px_per_mm_y > 0) {
    for (size_t i = 0; i < forms.size(); ++i) {
      const PlacedForm& f = forms[i];
      out << "  copy " << i + 1 << "           page " << f.page << ", corner at "
          << Format("%.1f, %.1f mm", f.x / trace.px_per_mm_x, f.y / trace.px_per_mm_y)
          << " from the printable area's, "
          << Format("%.1f x %.1f mm", f.width / trace.px_per_mm_x, f.height / trace.px_per_mm_y)
          << "\n";
      if (const std::string off = OffThePrintableArea(f, trace); !off.empty()) {
        listed.push_back("copy " + std::to_string(i + 1) + " " + off);
      }
    }
  }

  out << "rows\n";
  for (const auto& [index, r] : trace.rows()) {
    if (!r.has_text) continue;  // an empty field printed as empty is no news
    const std::string name = "ROW" + TwoDigits(index);
    std::string line = "  " + name + "  ";
    std::vector<std::string> row_problems;
    if (r.length_missing) {
      row_problems.push_back("dropped: LEN" + TwoDigits(index) + " is missing");
    } else if (r.has_text && !r.laid_out) {
      row_problems.push_back("dropped: beyond the form's last row");
    } else {
      if (r.prints > 0) {
        line += "printed in a " + r.where +
                Format(" at %.1f, %.1f mm from the form's corner", r.x_mm, r.y_mm);
      } else if (r.dropped.empty()) {
        line += "nothing to print (blank)";
      }
      if (r.cut_characters > 0) {
        row_problems.push_back("cut by LEN" + TwoDigits(index) + ": " +
                               std::to_string(r.cut_characters) + " characters left out");
      }
      if (!r.no_glyph.empty() && r.prints > 0) {
        std::string codes;
        for (const char32_t c : r.no_glyph) {
          char code[16];
          std::snprintf(code, sizeof code, "%sU+%04X", codes.empty() ? "" : " ",
                        static_cast<unsigned>(c));
          codes += code;
        }
        row_problems.push_back("printed as missing-glyph boxes, no font can show " +
                               ToUtf8(r.no_glyph) + " (" + codes + ")");
      }
      for (const std::string& why : r.dropped) {
        row_problems.push_back((r.prints > 0 ? "partly left out: " : "dropped: ") + why);
      }
    }
    for (size_t k = 0; k < row_problems.size(); ++k) {
      line += (k == 0 && line.size() == name.size() + 4 ? "" : "; ") + row_problems[k];
      listed.push_back(name + ": " + row_problems[k]);
    }
    out << line << "\n";
  }
  if (listed.empty()) {
    out << "problems         none: the job prints as written\n";
  } else {
    out << "problems         " << listed.size() << "\n";
    for (const std::string& p : listed) out << "  " << p << "\n";
  }
  if (problems != nullptr) *problems = !listed.empty();
  return out.str();
}

}  // namespace tolv
