#include "form/tolv_form.h"

namespace tolv {

void TolvForm::PrintMiniText() {}
void TolvForm::PrintMiniTextEx(const int32_t&, const int32_t&, const int32_t&, const int32_t&) {}

}  // namespace tolv
