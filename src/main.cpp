// tolv: reads ZOBAX.QJT beside the executable, prints it, ends. No arguments, no configuration.
#include "startup/main.h"

#include <iostream>
#include <new>

#include "platform/default_platform.h"

int main() {
  try {
    return tolv::Main(*tolv::MakeDefaultPlatform());
  } catch (const std::bad_alloc&) {
    // Memory ran out: one line and the failure status, not an abort with a library's message.
    std::cerr << "tolv: out of memory; nothing was printed\n" << std::flush;
    return 2;
  }
}
