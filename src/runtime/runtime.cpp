#include "runtime/runtime.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace tolv {
namespace {

[[noreturn]] void Overflow() { throw RuntimeError(ErrorKind::kOverflow, "overflow"); }

// Nearest integer with halves to the even neighbour, checked against [lo, hi].
long double RoundChecked(long double value, long double lo, long double hi) {
  if (!std::isfinite(value)) Overflow();
  const long double rounded = std::nearbyint(value);  // the default mode rounds halves to even
  if (rounded < lo || rounded > hi) Overflow();
  return rounded;
}

}  // namespace

int16_t ToInt16(long double value) {
  return static_cast<int16_t>(RoundChecked(value, std::numeric_limits<int16_t>::min(),
                                           std::numeric_limits<int16_t>::max()));
}

int32_t ToInt32(long double value) {
  return static_cast<int32_t>(RoundChecked(value, std::numeric_limits<int32_t>::min(),
                                           std::numeric_limits<int32_t>::max()));
}

float ToSingle(long double value) {
  // Values from FLT_MAX + half its last place on round to infinity: beyond the single range.
  constexpr long double kLimit = static_cast<long double>(FLT_MAX) + 0x1p103L;
  if (!std::isfinite(value) || std::fabs(value) >= kLimit) Overflow();
  return static_cast<float>(value);
}

long double Checked(long double value) {
  if (!std::isfinite(value)) Overflow();
  return value;
}

long double Divide(long double a, long double b) {
  if (b == 0) throw RuntimeError(ErrorKind::kDivisionByZero, "division by zero");
  return Checked(a / b);
}

double DivideDouble(double a, double b) {
  if (b == 0) throw RuntimeError(ErrorKind::kDivisionByZero, "division by zero");
  return static_cast<double>(Checked(a / b));
}

}  // namespace tolv
