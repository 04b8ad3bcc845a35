// Windows: the ANSI code page is the machine's own, GetACP() (Region settings, "language for
// non-Unicode programs"); job files that are not UTF-8 were written in it.
#include <windows.h>

#include "job/code_page.h"

namespace tolv {

int AnsiCodePage() {
  const UINT code_page = GetACP();
  switch (code_page) {
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
    case 1257:
      return static_cast<int>(code_page);
    default:
      // A code page without a table (an East Asian one, or UTF-8 itself, whose files are read
      // as UTF-8 anyway): the Western one, as on a machine whose language has none.
      return 1252;
  }
}

}  // namespace tolv
