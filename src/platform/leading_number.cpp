#include "platform/runtime.h"

namespace tolv {

// Placeholder until the job intake lands.
double LeadingNumber(const std::u32string&) { return 0; }

}  // namespace tolv
