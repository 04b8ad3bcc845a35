// What tolv needs of the machine it runs on besides drawing: the program's directory, the default
// printer, picture boxes, the picture loader, the message loop and the end of the program. Main
// wires one real platform; tests wire a recording one.
#ifndef TOLV_PLATFORM_PLATFORM_H_
#define TOLV_PLATFORM_PLATFORM_H_

#include <memory>
#include <string>

#include "picture/picture.h"
#include "picture/picture_format.h"
#include "surface/drawing_surface.h"

namespace tolv {

class Platform {
 public:
  virtual ~Platform() = default;

  // The directory of the running program, without a trailing separator.
  virtual std::string ProgramDirectory() = 0;
  // The default printer, found and measured at the first call (not before: a run without a job
  // never looks for a printer).
  virtual Printer& DefaultPrinter() = 0;
  virtual std::unique_ptr<PictureBox> CreatePictureBox(const PictureBoxDesign& design) = 0;
  // Reads a picture file; raises RuntimeError when it is missing, unreadable, truncated or too
  // large.
  virtual PicturePtr LoadPicture(const std::string& path) = 0;
  // A picture file's size in pixels, for a caller that needs nothing else. Raises as LoadPicture
  // does; a machine's platform reads only the header where it states the size
  // (ReadPictureSize), this one decodes the picture.
  virtual PixelSize PictureSize(const std::string& path) {
    const PicturePtr picture = LoadPicture(path);
    return {picture->width(), picture->height()};
  }
  // Lets pending window messages run (tolv has no window system: nothing to do).
  virtual void DoEvents() = 0;
  // Ends the program: finishes and hands over a print document that is still open. Returns the
  // exit status (0 handed over or nothing to print, 2 not handed over, after one line on standard
  // error).
  virtual int EndProgram() = 0;
};

}  // namespace tolv

#endif  // TOLV_PLATFORM_PLATFORM_H_
