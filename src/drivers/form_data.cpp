// The background of output mode 2: the form's pre-printed fields set on the printer dot by dot from
// the form type's data file, KORDEL<Blank>A.DAT beside the program. The file is a headerless run of
// 8-byte records (DotX, DotY as signed 16-bit, DotColor as signed 32-bit, all little-endian) in
// Picture1's pixel space; each dot is scaled into the form rectangle on the printer.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "form/tolv_form.h"
#include "job/form_types.h"
#include "runtime/file_reader.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

constexpr size_t kFormDotSize = 8;
// Large reads: a form's file holds hundreds of thousands of dots, and one read per dot would spend
// the time in system calls. A multiple of the record size, so blocks end on record boundaries.
constexpr size_t kBlockSize = 8192 * kFormDotSize;

struct FormDot {
  int16_t DotX;
  int16_t DotY;
  int32_t DotColor;
};

// Little-endian fields, byte by byte, whatever the machine's own order.
FormDot DecodeFormDot(const unsigned char* bytes) {
  const auto u16 = [&](size_t at) {
    return static_cast<uint16_t>(bytes[at] | (static_cast<unsigned>(bytes[at + 1]) << 8));
  };
  const uint32_t color = static_cast<uint32_t>(bytes[4]) | (static_cast<uint32_t>(bytes[5]) << 8) |
                         (static_cast<uint32_t>(bytes[6]) << 16) |
                         (static_cast<uint32_t>(bytes[7]) << 24);
  return {static_cast<int16_t>(u16(0)), static_cast<int16_t>(u16(2)), static_cast<int32_t>(color)};
}

// The most of a data file that is read: 8 million dots, far more than any form has (some
// hundred thousand). Records beyond it are ignored like a damaged tail, so no file decides how
// long the page takes.
constexpr uint64_t kFormDataLimit = uint64_t{64} << 20;

// The data file, opened for reading only: a missing file is an error, never created. A name that
// is not a regular file (a directory, a pipe, a device) counts as missing; it is opened without
// blocking and checked on its descriptor, and read at most to the size it had when opened and to
// kFormDataLimit, so that nothing blocks or reads without end.
class FormDataFile {
 public:
  explicit FormDataFile(const std::string& path) : file_(path, kFormDataLimit) {
    if (file_.status() != FileRead::Status::kRead) {
      throw RuntimeError(ErrorKind::kFileNotFound, path);
    }
  }

  // Reads up to `size` bytes into `data`; fewer only at the end of the file. Raises on a read
  // error.
  size_t Read(unsigned char* data, size_t size) {
    const long long got = file_.Read(data, size);
    if (got < 0) throw RuntimeError(ErrorKind::kDeviceError, "form data file: read error");
    return static_cast<size_t>(got);
  }

 private:
  BoundedFile file_;  // closed on every way out of the routine
};

}  // namespace

void TolvForm::DrawFormData(const int32_t& X, const int32_t& Y, const int32_t& W,
                            const int32_t& H) {
  PictureBox& picture = Picture1();
  Printer& p = printer();
  const double SX = DivideDouble(W, picture.ScaleWidth());
  const double SY = DivideDouble(H, picture.ScaleHeight());

  const std::string path =
      platform().ProgramDirectory() + "/" + FormFileName(job().PrintJob.Blank, "DAT");
  FormDataFile file(path);

  // The space opens the print document before the first dot.
  p.Print(U" ");

  std::vector<unsigned char> block(kBlockSize);
  size_t filled = 0;  // bytes in the block, a partial record carried over at its front
  for (;;) {
    const size_t wanted = block.size() - filled;
    const size_t got = file.Read(block.data() + filled, wanted);
    filled += got;
    const size_t complete = filled / kFormDotSize * kFormDotSize;
    for (size_t at = 0; at < complete; at += kFormDotSize) {
      const FormDot dot = DecodeFormDot(block.data() + at);
      const float PX = ToSingle(static_cast<long double>(dot.DotX) * SX + X);
      const float PY = ToSingle(static_cast<long double>(dot.DotY) * SY + Y);
      p.PSet(PX, PY, dot.DotColor);
    }
    // tolv has no window messages to let through; one turn of the loop per block keeps the
    // yield without a call per dot.
    DoEvents();
    // A short read is the end of the file: the bytes of a partial record there are ignored.
    if (got < wanted) break;
    std::copy(block.begin() + static_cast<std::ptrdiff_t>(complete),
              block.begin() + static_cast<std::ptrdiff_t>(filled), block.begin());
    filled -= complete;
  }
}

}  // namespace tolv
