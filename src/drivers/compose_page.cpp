#include "form/tolv_form.h"

namespace tolv {

void TolvForm::ComposePageMini() {}
void TolvForm::ComposePageMaxi() {}

}  // namespace tolv
