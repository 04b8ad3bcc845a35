#include "form/tolv_form.h"

namespace tolv {

void TolvForm::TransferPicture(const int32_t&, const int32_t&, const int32_t&, const int32_t&) {}
void TolvForm::TransferPictureBanded(const int32_t&, const int32_t&, const int32_t&,
                                     const int32_t&) {}

}  // namespace tolv
