// The seven form types, in one table that every part of the program reads: which are small (mini,
// types 1, 2 and 7) and which large (maxi, 3 to 5, and the tall single form 6), their size, how
// many rows each lays out, how far apart the fixed grid's two copies lie, whether a second copy is
// printed, and the names of their files beside the program.
#ifndef TOLV_JOB_FORM_TYPES_H_
#define TOLV_JOB_FORM_TYPES_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolv {

inline constexpr double kFormWidthMm = 139.0;
inline constexpr double kMiniFormHeightMm = 105.0;
inline constexpr double kMaxiFormHeightMm = 141.0;
inline constexpr double kTallMaxiFormHeightMm = 205.3;

enum class FormKind { kMini, kMaxi, kTallMaxi };

struct FormType {
  int16_t blank;
  FormKind kind;
  int16_t last_row_index;  // the highest row the form's layout prints
  double form_pitch;       // millimetres between the fixed grid's two copies
  bool second_copy;        // a second copy goes under the first (or on a second page)
};

inline constexpr std::array<FormType, 7> kFormTypes = {{
    {1, FormKind::kMini, 10, 102.0, true},
    {2, FormKind::kMini, 10, 102.0, true},
    {3, FormKind::kMaxi, 12, 140.8, true},
    {4, FormKind::kMaxi, 12, 140.8, true},
    {5, FormKind::kMaxi, 17, 142.6, true},
    {6, FormKind::kTallMaxi, 29, 140.8, false},
    {7, FormKind::kMini, 11, 102.0, true},
}};

// The form type `blank`, or nullptr for a number outside 1 to 7.
constexpr const FormType* FindFormType(int blank) {
  return blank >= 1 && blank <= 7 ? &kFormTypes[blank - 1] : nullptr;
}
constexpr bool IsMiniForm(int blank) {
  const FormType* type = FindFormType(blank);
  return type != nullptr && type->kind == FormKind::kMini;
}
// Types 3 to 6, the tall one included.
constexpr bool IsMaxiForm(int blank) {
  const FormType* type = FindFormType(blank);
  return type != nullptr && type->kind != FormKind::kMini;
}
// The form's height; an unknown type has the large form's.
constexpr double FormHeightMm(int blank) {
  const FormType* type = FindFormType(blank);
  if (type == nullptr) return kMaxiFormHeightMm;
  switch (type->kind) {
    case FormKind::kMini:
      return kMiniFormHeightMm;
    case FormKind::kTallMaxi:
      return kTallMaxiFormHeightMm;
    default:
      return kMaxiFormHeightMm;
  }
}

// A form type's file beside the program: KORDEL<blank>A.GFX its picture, KORDEL<blank>A.DAT its
// background dots.
std::string FormFileName(int blank, std::string_view extension);
// The picture an unknown form type names: KORDELA.GFX, without a number.
inline constexpr char kUnknownFormPicture[] = "KORDELA.GFX";

// What the form type is, for tolv --check: "small form, 139 x 105 mm, two copies".
std::string DescribeFormType(int blank);

}  // namespace tolv

#endif  // TOLV_JOB_FORM_TYPES_H_
