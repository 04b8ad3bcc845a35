// The program's exit status once its document went (or did not go) where it should, and the one
// line that tells a caller why not. The same on every machine.
#ifndef TOLV_DESTINATION_EXIT_STATUS_H_
#define TOLV_DESTINATION_EXIT_STATUS_H_

#include <iosfwd>

#include "destination/destination.h"

namespace tolv {

inline constexpr int kExitHandedOver = 0;
inline constexpr int kExitNotHandedOver = 2;

// 0 when the document was handed over; otherwise 2, after the result's message on `errors` as one
// line starting "tolv: ", named after the program as Unix tools do.
int ExitStatusAfterHandOver(const HandOverResult& result, std::ostream& errors);

}  // namespace tolv

#endif  // TOLV_DESTINATION_EXIT_STATUS_H_
