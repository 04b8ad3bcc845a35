// tolv: reads ZOBAX.QJT beside the executable, prints it, ends. No arguments, no configuration.
#include "startup/main.h"

#include "platform/default_platform.h"

int main() { return tolv::Main(*tolv::MakeDefaultPlatform()); }
