// tolv-forms: writes the sample forms of all seven form types (KORDEL1A.GFX to KORDEL7A.GFX and
// KORDEL1A.DAT to KORDEL7A.DAT) into the directory named on the command line, for the demo and
// for tests that need a program directory with forms beside the program.
#include <cstdio>
#include <exception>

#include "tools/form_drawing.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argc > 0 ? argv[0] : "tolv-forms");
    return 2;
  }
  try {
    tolv::forms::WriteSampleForms(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tolv-forms: %s\n", error.what());
    return 1;
  }
  return 0;
}
