// The run-time rules every routine of tolv follows.
//
// tolv's routines run statement by statement and skip a statement that fails: a failing step keeps
// its target as it was and the routine goes on with the next one. A failure of that kind is a
// RuntimeError (an overflow, a division by zero, an invalid argument, a failed platform call, a
// missing file). Programming errors (a failed assertion, std::bad_alloc) are not RuntimeErrors
// and are never swallowed.
//
// The numeric conversions live here too, so that every routine rounds the same way: to the nearest
// integer with halves to the even neighbour, raising an overflow outside the target's range.
#ifndef TOLV_RUNTIME_RUNTIME_H_
#define TOLV_RUNTIME_RUNTIME_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace tolv {

enum class ErrorKind {
  kOverflow,         // a value outside its target's range, or not finite
  kDivisionByZero,   // a float division by 0
  kInvalidArgument,  // an invalid call or argument (a negative string length, a bad scale mode)
  kFileNotFound,     // a file that could not be opened
  kDeviceError,      // a platform call that failed (no printer, a failed draw)
};

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(ErrorKind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

// Runs one step of a routine. A RuntimeError abandons the step and is swallowed; the caller goes on
// with its next step. Returns whether the step ran to its end.
template <class StepFn>
bool Step(StepFn&& step) {
  try {
    std::forward<StepFn>(step)();
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

// Evaluates the condition of an if inside a skip-and-continue routine: a condition that raises
// enters its guarded block, so an error counts as true.
template <class CondFn>
bool Condition(CondFn&& condition) {
  try {
    return static_cast<bool>(std::forward<CondFn>(condition)());
  } catch (const RuntimeError&) {
    return true;
  }
}

// Nearest integer, halves to even; overflow outside the signed 16-bit range (or not finite).
int16_t ToInt16(long double value);
// Nearest integer, halves to even; overflow outside the signed 32-bit range (or not finite).
int32_t ToInt32(long double value);
// Nearest single-precision value; overflow when the value is not finite or beyond the single range.
float ToSingle(long double value);
// Raises an overflow when the value is not finite; returns it otherwise.
long double Checked(long double value);
// a / b, raising a division by zero when b is 0 and an overflow when the quotient is not finite.
long double Divide(long double a, long double b);
// The same in double precision, for values computed and stored in 64-bit floating point.
double DivideDouble(double a, double b);

// The text-to-number rule of every numeric job value: blanks, tabs and line feeds skipped wherever
// they occur; an optional sign, digits, "." and digits, an exponent with E or D; &H hexadecimal and
// &O octal integers; a NUL stops the reading; "." is the decimal separator whatever the locale;
// 0 when the text has no number at its start. Raises an overflow when the number is beyond double.
double LeadingNumber(const std::u32string& text);

}  // namespace tolv

#endif  // TOLV_RUNTIME_RUNTIME_H_
