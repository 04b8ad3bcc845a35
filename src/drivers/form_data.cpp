#include "form/tolv_form.h"

namespace tolv {

void TolvForm::DrawFormData(const int32_t&, const int32_t&, const int32_t&, const int32_t&) {}

}  // namespace tolv
