#include "destination/held_documents.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "runtime/file_path.h"
#include "runtime/quoted.h"
#include "runtime/units.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

// A note is a few short lines; anything longer is not one of ours.
constexpr std::streamsize kNoteLimit = 4096;

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

std::string LocalTime(const char* format) {
  const std::time_t now = std::time(nullptr);
  // localtime is not reentrant, but a run holds one document from one thread.
  const std::tm* local = std::localtime(&now);
  char text[32] = "";
  if (local != nullptr) std::strftime(text, sizeof(text), format, local);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool IsHeldName(const std::string& name) {
  // Temporary files of the atomic write start with a dot; notes end in .txt.
  if (name.empty() || name[0] == '.') return false;
  const std::string lower = Lower(name);
  return lower.ends_with(".pdf") || lower.ends_with(".emf");
}

std::string NotePath(const std::string& document_path) { return document_path + ".txt"; }

uint32_t LittleEndian32(std::string_view bytes, size_t at) {
  const auto byte = [&](size_t k) { return uint32_t{static_cast<unsigned char>(bytes[at + k])}; };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

// A PDF starts with its header and ends with its end-of-file marker (and a line break or two).
bool WholePdf(std::string_view bytes) {
  std::string_view end = bytes;
  while (!end.empty() && (end.back() == '\n' || end.back() == '\r')) end.remove_suffix(1);
  return bytes.starts_with("%PDF-") && end.ends_with("%%EOF");
}

// The GDI printer's document: one enhanced metafile per page, one after the other. Each starts
// with its header record (which states the metafile's length) and ends with its end-of-file
// record, and the metafiles cover the bytes exactly. Read here byte by byte, little-endian, as the
// file format is, so that either machine can tell a whole document from a cut one.
bool WholeEnhancedMetafiles(std::string_view bytes) {
  constexpr uint32_t kHeaderRecord = 1, kEndOfFileRecord = 14;
  constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
  constexpr size_t kHeaderBytes = 88;          // the header record up to its millimetres
  size_t at = 0;
  do {
    const std::string_view rest = bytes.substr(at);
    if (rest.size() < kHeaderBytes || LittleEndian32(rest, 0) != kHeaderRecord ||
        LittleEndian32(rest, 40) != kSignature) {
      return false;
    }
    const uint32_t length = LittleEndian32(rest, 48);
    if (length < kHeaderBytes || length > rest.size()) return false;
    // Its records, each stating its length (a whole number of 4-byte units), end exactly where
    // the metafile does, the last one its end of file.
    uint32_t type = 0;
    size_t record = 0;
    while (record < length) {
      if (length - record < 8) return false;
      type = LittleEndian32(rest, record);
      const uint32_t size = LittleEndian32(rest, record + 4);
      if (size < 8 || size % 4 != 0 || size > length - record) return false;
      if (record == 0 && (type != kHeaderRecord || size < kHeaderBytes)) return false;
      record += size;
    }
    if (type != kEndOfFileRecord) return false;
    at += length;
  } while (at < bytes.size());
  return true;
}

std::string Field(std::string_view line) { return OneLine(std::string(line)); }

void ReadNote(HeldDocument& held) {
  std::ifstream in(PathFromUtf8(NotePath(held.path)), std::ios::binary);
  if (!in) return;
  std::string text(kNoteLimit, '\0');
  in.read(text.data(), kNoteLimit);
  text.resize(static_cast<size_t>(in.gcount()));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, eq);
    const std::string value(line.substr(eq + 1));
    if (key == "document") held.note_names = value;
    if (key == "when") held.when = value;
    if (key == "form") held.form = value;
    if (key == "queue") held.queue = value;
    if (key == "paper") held.paper = value;
    if (key == "area") held.area = value;
    if (key == "why") held.why = value;
    if (key == "bytes") held.bytes = value;
    if (key == "checksum") held.checksum = value;
    if (key == "job") held.job_checksum = value;
  }
}

}  // namespace

std::string HeldDirectory(const std::string& program_dir) {
  if (program_dir.empty()) return kHeldFolder;
  return program_dir + (program_dir.back() == '/' ? "" : "/") + kHeldFolder;
}

std::string Checksum(std::string_view bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

Held HoldDocument(WholeFileWriter write, const std::string& program_dir,
                  const FinishedDocument& document, const std::string& cause,
                  const HeldLimits& limits) {
  Held held;
  const std::string dir = HeldDirectory(program_dir);
  std::error_code error;
  const bool made = fs::create_directory(PathFromUtf8(dir), error);
  if (error) {
    held.error = "the folder " + ShownPath(dir) + " cannot be made: " + error.message();
    return held;
  }
  // The date, the time and this process's id name no other run's document; a name that is
  // somehow taken (a process id reused within the second) gets a number, never overwrites.
  const std::string stem = LocalTime("%Y%m%d-%H%M%S") + "-form" +
                           std::to_string(document.form_type) + "-" + std::to_string(ProcessId());
  const std::string extension = "." + Lower(document.extension);
  std::string path = dir + "/" + stem + extension;
  for (int k = 2; fs::exists(PathFromUtf8(path), error) || error; ++k) {
    if (error) {
      held.error = "the folder " + ShownPath(dir) + " cannot be read: " + error.message();
      return held;
    }
    path = dir + "/" + stem + "-" + std::to_string(k) + extension;
  }
  std::string write_error;
  if (!write(path, document.bytes, &write_error)) {
    held.error = write_error;
    // A folder made for this document and left empty is no trace worth leaving (a full disk).
    if (made) fs::remove(PathFromUtf8(dir), error);
    return held;
  }
  // The note is for the listing and the reprint's check: a document whose note cannot be
  // written is still held.
  const std::string note =
      "document=" + path.substr(path.rfind('/') + 1) + "\nwhen=" + LocalTime("%Y-%m-%d %H:%M:%S") +
      "\nform=" + std::to_string(document.form_type) + "\nqueue=" + Field(document.queue) +
      "\npaper=" + Field(document.media) + "\narea=" + Field(document.area) +
      "\nwhy=" + Field(cause) + "\nbytes=" + std::to_string(document.bytes.size()) +
      "\nchecksum=" + Checksum(document.bytes) + "\n";
  // The job, for a reprint that has to lay the page out again; the note names it only once it is
  // written whole.
  const bool job_kept =
      !document.job.empty() && write(HeldJobName(path), document.job, &write_error);
  write(NotePath(path), note + (job_kept ? "job=" + Checksum(document.job) + "\n" : ""),
        &write_error);
  held.path = path;

  std::vector<HeldDocument> all = ListHeldDocuments(program_dir);
  uintmax_t total = 0;
  for (const HeldDocument& h : all) total += h.size;
  size_t count = all.size();
  for (const HeldDocument& oldest : all) {
    if (count <= limits.max_documents && total <= limits.max_bytes) break;
    if (oldest.path == path) continue;
    if (!RemoveHeldDocument(oldest)) continue;
    held.removed.push_back(oldest.name);
    --count;
    total -= oldest.size;
  }
  return held;
}

std::vector<HeldDocument> ListHeldDocuments(const std::string& program_dir) {
  std::vector<HeldDocument> list;
  const std::string dir = HeldDirectory(program_dir);
  std::error_code error;
  for (fs::directory_iterator it(PathFromUtf8(dir), error), end; !error && it != end;
       it.increment(error)) {
    const std::u8string name8 = it->path().filename().u8string();
    HeldDocument held;
    held.name.assign(name8.begin(), name8.end());
    std::error_code kind_error;
    if (!IsHeldName(held.name) || !it->is_regular_file(kind_error)) continue;
    held.path = dir + "/" + held.name;
    held.size = it->file_size(kind_error);
    if (kind_error) held.size = 0;
    // The job kept beside it counts toward the folder's bound.
    const uintmax_t job_size = fs::file_size(PathFromUtf8(HeldJobPath(held)), kind_error);
    if (!kind_error) held.size += job_size;
    ReadNote(held);
    list.push_back(std::move(held));
  }
  std::sort(list.begin(), list.end(),
            [](const HeldDocument& a, const HeldDocument& b) { return a.name < b.name; });
  return list;
}

std::string HeldDocumentProblem(const HeldDocument& held, std::string_view bytes) {
  if (held.checksum.empty() || held.bytes.empty() || held.note_names != held.name) {
    return "it has no note of how it was held";
  }
  if (held.bytes != std::to_string(bytes.size()) || held.checksum != Checksum(bytes)) {
    return "it is not the document that was held (damaged or changed since)";
  }
  // The name's extension says which kind of document it is, as the run that held it named it.
  if (HeldDocumentKind(held) == "EMF") {
    return WholeEnhancedMetafiles(bytes) ? "" : "it is not a whole enhanced metafile document";
  }
  if (!Lower(held.name).ends_with(".pdf") || !WholePdf(bytes)) {
    return "it is not a whole PDF document";
  }
  return "";
}

std::string_view HeldDocumentKind(const HeldDocument& held) {
  return Lower(held.name).ends_with(".emf") ? "EMF" : "PDF";
}

std::string HeldJobName(const std::string& document_name) { return document_name + ".qjt"; }

std::string HeldJobPath(const HeldDocument& held) { return HeldJobName(held.path); }

bool RemoveHeldDocument(const HeldDocument& held) {
  std::error_code error;
  if (!fs::remove(PathFromUtf8(held.path), error) || error) return false;
  fs::remove(PathFromUtf8(NotePath(held.path)), error);
  fs::remove(PathFromUtf8(HeldJobPath(held)), error);
  return true;
}

std::string PrintableArea(const PrinterDevice& device) {
  const auto mm = [](double px, double dpi) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", dpi > 0 ? px / dpi * kMmPerInch : 0.0);
    return std::string(text);
  };
  return "left " + mm(device.printable_left_px, device.dpi_x) + " mm, top " +
         mm(device.printable_top_px, device.dpi_y) + " mm, " +
         mm(device.printable_width_px, device.dpi_x) + " x " +
         mm(device.printable_height_px, device.dpi_y) + " mm";
}

FinishedDocument RecordedDestination::Labelled(const FinishedDocument& document,
                                               const std::string& queue,
                                               const std::string& area) const {
  FinishedDocument labelled = document;
  labelled.form_type = form_type_;
  labelled.queue = queue;
  labelled.media = inner_->Device().media;
  labelled.area = area;
  if (job_ != nullptr) labelled.job = *job_;
  if (!held_as_.empty()) labelled.held_as = held_as_;
  return labelled;
}

HandOverResult RecordedDestination::Recorded(HandOverResult result, const std::string& queue) {
  if (record_ != nullptr) {
    record_->handed_over = true;
    record_->result = result;
    record_->queue = queue;
    record_->device = inner_->Device();
  }
  return result;
}

HandOverResult RecordedDestination::HandOver(const FinishedDocument& document) {
  const std::string queue = inner_->Queue();
  const std::string area = PrintableArea(inner_->Device());
  return Recorded(inner_->HandOver(Labelled(document, queue, area)), queue);
}

HandOverResult RecordedDestination::Keep(const FinishedDocument& document,
                                         const std::string& cause) {
  const std::string queue = inner_->Queue();
  const std::string area = PrintableArea(inner_->Device());
  return Recorded(inner_->Keep(Labelled(document, queue, area), cause), queue);
}

}  // namespace tolv
