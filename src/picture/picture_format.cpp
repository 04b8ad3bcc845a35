// The formats tolv reads, as one table found from their first bytes, and the file reading that
// checks a picture's header before its body.
#include "picture/picture_format.h"

#include <algorithm>
#include <utility>

#include "picture/format_rules.h"
#include "runtime/file_reader.h"
#include "runtime/runtime.h"

namespace tolv {
namespace format_rules {
namespace {

using namespace std::string_view_literals;

// TIFF is left to its decoder, which reports a cut-off file itself.
constexpr FormatRules kFormats[] = {
    {PictureFormat::kBmp, {"BM"sv}, BmpHeader, BmpComplete, nullptr},
    {PictureFormat::kGif, {"GIF87a"sv, "GIF89a"sv}, GifHeader, GifComplete, nullptr},
    {PictureFormat::kJpeg, {"\xFF\xD8\xFF"sv}, JpegHeader, JpegComplete, CheckJpegScans},
    {PictureFormat::kPng, {"\x89PNG\r\n\x1A\n"sv}, PngHeader, PngComplete, nullptr},
    {PictureFormat::kIco, {"\0\0\1\0"sv}, NoHeader, IcoComplete, nullptr},
    {PictureFormat::kTiff, {"II*\0"sv, "MM\0*"sv}, NoHeader, nullptr, nullptr},
};

}  // namespace

const FormatRules* FindFormat(std::string_view bytes) {
  for (const FormatRules& rules : kFormats) {
    for (std::string_view magic : rules.magic) {
      if (!magic.empty() && bytes.starts_with(magic)) return &rules;
    }
  }
  return nullptr;
}

const FormatRules* RulesOf(PictureFormat format) {
  for (const FormatRules& rules : kFormats) {
    if (rules.format == format) return &rules;
  }
  return nullptr;
}

}  // namespace format_rules

using format_rules::FindFormat;
using format_rules::FormatRules;
using format_rules::StatedHeader;

namespace {

// A larger file cannot be a picture of at most kMaxPicturePixels in any of the formats read (a
// 32-bit BMP of that size is 256 MB).
constexpr uint64_t kMaxPictureFileBytes = uint64_t{512} << 20;

// The checks on a picture's first bytes (`file_size`: the whole picture's), before its body is
// read: what is no picture of a known format, a header no decoder reads, and a picture too large
// are refused.
StatedHeader CheckHead(std::string_view head, uint64_t file_size) {
  const FormatRules* rules = FindFormat(head);
  if (rules == nullptr) RefusePicture("unknown format");
  StatedHeader stated = rules->header(head, file_size);
  if (stated.pixels > kMaxPicturePixels) RefusePicture("over 64 million pixels");
  if (stated.refusal != nullptr) RefusePicture(stated.refusal);
  return stated;
}

// A picture file opened without blocking and checked on its descriptor: a pipe or device in the
// picture's place is not a picture, and is never waited on. A file too large to hold a picture
// within the limit is refused before any of it is read.
class PictureFile {
 public:
  explicit PictureFile(const std::string& path)
      : path_(path), file_(path, kMaxPictureFileBytes + 1) {
    if (file_.status() == FileRead::Status::kMissing) {
      throw RuntimeError(ErrorKind::kFileNotFound, "file not found: " + path);
    }
    if (file_.status() != FileRead::Status::kRead) Unreadable();
    if (file_.size() > kMaxPictureFileBytes) RefusePicture("file too large");
  }

  uint64_t size() const { return file_.size(); }

  // Makes `bytes` the file's first `size` bytes, reading on from where the last read ended.
  void ReadTo(std::string& bytes, size_t size) {
    const size_t start = bytes.size();
    bytes.resize(size);
    if (size <= start) return;
    const size_t count = size - start;
    if (file_.Read(reinterpret_cast<unsigned char*>(bytes.data() + start), count) !=
        static_cast<long long>(count)) {
      Unreadable();
    }
  }

  // The first bytes, enough for every format's header, checked.
  StatedHeader ReadHead(std::string& head) {
    ReadTo(head, static_cast<size_t>(std::min<uint64_t>(size(), format_rules::kHeadBytes)));
    return CheckHead(head, size());
  }

 private:
  [[noreturn]] void Unreadable() const {
    throw RuntimeError(ErrorKind::kFileNotFound, "file not readable: " + path_);
  }

  const std::string& path_;
  BoundedFile file_;
};

}  // namespace

void RefusePicture(const std::string& why) {
  throw RuntimeError(ErrorKind::kInvalidArgument, "invalid picture: " + why);
}

PictureFormat SniffPictureFormat(std::string_view bytes) {
  const FormatRules* rules = FindFormat(bytes);
  return rules != nullptr ? rules->format : PictureFormat::kUnknown;
}

int64_t HeaderPixels(std::string_view bytes) {
  const FormatRules* rules = FindFormat(bytes);
  return rules != nullptr ? rules->header(bytes, bytes.size()).pixels : 0;
}

std::optional<PixelSize> HeaderSize(std::string_view head) {
  const FormatRules* rules = FindFormat(head);
  if (rules == nullptr) return std::nullopt;
  return rules->header(head, head.size()).size;
}

bool PictureDataComplete(PictureFormat format, std::string_view bytes) {
  const FormatRules* rules = format_rules::RulesOf(format);
  if (rules == nullptr) return false;
  return rules->complete == nullptr || rules->complete(bytes);
}

PictureFormat CheckPictureBytes(std::string_view bytes) {
  CheckHead(bytes.substr(0, format_rules::kHeadBytes), bytes.size());
  const FormatRules& rules = *FindFormat(bytes);
  if (rules.complete != nullptr && !rules.complete(bytes)) RefusePicture("truncated");
  if (rules.check_damage != nullptr) rules.check_damage(bytes);
  return rules.format;
}

void CheckPictureSize(int64_t width, int64_t height) {
  if (width * height > kMaxPicturePixels) RefusePicture("too large");
}

std::string ReadPictureFile(const std::string& path) {
  PictureFile file(path);
  std::string bytes;
  const StatedHeader stated = file.ReadHead(bytes);
  // Only then the body, no further than the picture can use.
  file.ReadTo(bytes, static_cast<size_t>(std::min(file.size(), stated.used_bytes)));
  return bytes;
}

PixelSize ReadPictureSize(const std::string& path, const std::function<PicturePtr()>& decode) {
  std::optional<PixelSize> size;
  {
    PictureFile file(path);
    std::string head;
    size = file.ReadHead(head).size;
  }
  if (!size) {
    const PicturePtr picture = decode();
    return {picture->width(), picture->height()};
  }
  CheckPictureSize(size->width, size->height);
  return *size;
}

}  // namespace tolv
