#include "form/tolv_form.h"

namespace tolv {

void TolvForm::PrintRoduvu() {}
void TolvForm::PrintAt(const double&, const double&, const std::u32string&) {}

}  // namespace tolv
