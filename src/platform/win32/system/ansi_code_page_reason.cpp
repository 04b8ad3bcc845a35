// Windows: why a job that is not UTF-8 is read in the code page it is read in.
#include <string>

#include "job/code_page.h"

namespace tolv {

std::string AnsiCodePageReason() { return "the system's ANSI code page (GetACP)"; }

}  // namespace tolv
