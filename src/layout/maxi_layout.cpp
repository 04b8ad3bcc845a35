#include "form/tolv_form.h"

namespace tolv {

void TolvForm::PrintMaxiText() {}
void TolvForm::PrintMaxiTextEx(const int32_t&, const int32_t&, const int32_t&, const int32_t&) {}

}  // namespace tolv
