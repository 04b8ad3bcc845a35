#include "form/tolv_form.h"

namespace tolv {

void TolvForm::PrintPageDirectMini() {}
void TolvForm::PrintPageDirectMaxi() {}

}  // namespace tolv
