#include "job/form_types.h"

#include <cstdio>

namespace tolv {

std::string FormFileName(int blank, std::string_view extension) {
  return "KORDEL" + std::to_string(blank) + "A." + std::string(extension);
}

std::string DescribeFormType(int blank) {
  const FormType* type = FindFormType(blank);
  if (type == nullptr) return "unknown: no row beyond row 0 is laid out";
  const char* kind = type->kind == FormKind::kMini       ? "small form"
                     : type->kind == FormKind::kTallMaxi ? "large single form"
                                                         : "large form";
  char size[64];
  std::snprintf(size, sizeof size, "%g x %g mm", kFormWidthMm, FormHeightMm(blank));
  return std::string(kind) + ", " + size + (type->second_copy ? ", two copies" : ", one copy");
}

}  // namespace tolv
