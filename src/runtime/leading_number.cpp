// The text-to-number rule of every numeric job value.
//
// The text is read once, character by character, skipping blanks, tabs and line feeds wherever they
// occur. The decimal number is gathered into plain ASCII ("0.<digits>e<exponent>") and converted by
// std::from_chars, which neither looks at the locale nor rounds twice. Leading and trailing zeros
// of the digits are dropped and the exponent is kept in 64 bits, so a number written with a million
// digits or a huge exponent costs one pass and never wraps.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

#include "runtime/runtime.h"

namespace tolv {
namespace {

// Beyond these the value is certainly out of the double range (the largest double is below 1e309,
// the smallest above 1e-325); in between std::from_chars decides.
constexpr int64_t kSurelyOverflows = 400;
constexpr int64_t kSurelyUnderflows = -400;
// Exponents are added up saturated far inside int64_t.
constexpr int64_t kExponentLimit = int64_t{1} << 50;

[[noreturn]] void Overflow() { throw RuntimeError(ErrorKind::kOverflow, "overflow"); }

// A cursor over the text that skips the characters the rule ignores and stops at a NUL.
class Reader {
 public:
  explicit Reader(const std::u32string& text) : text_(text) {}

  // The next character that counts, or NUL at the end of the reading.
  char32_t Peek() {
    while (pos_ < text_.size() && IsSkipped(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : U'\0';
  }
  void Advance() { ++pos_; }

  // Takes the next character when it is c (letters without regard to case).
  bool Take(char32_t c) {
    const char32_t next = Peek();
    if (next != c && !(c >= U'A' && c <= U'Z' && next == c + 32)) return false;
    Advance();
    return true;
  }

 private:
  static bool IsSkipped(char32_t c) { return c == U' ' || c == U'\t' || c == U'\n'; }

  const std::u32string& text_;
  size_t pos_ = 0;
};

int DigitValue(char32_t c, int base) {
  int value = 99;
  if (c >= U'0' && c <= U'9') value = static_cast<int>(c - U'0');
  if (c >= U'A' && c <= U'F') value = static_cast<int>(c - U'A') + 10;
  if (c >= U'a' && c <= U'f') value = static_cast<int>(c - U'a') + 10;
  return value < base ? value : -1;
}

// &H and &O: an integer of up to 16 bits reads as a 16-bit two's complement value (&HFFFF is -1),
// one of up to 32 bits as a 32-bit one; anything larger overflows. Leading zeros do not count, so
// &H0FFFF is -1 as well.
double RadixInteger(Reader& reader, int base) {
  uint64_t value = 0;
  for (int digit; (digit = DigitValue(reader.Peek(), base)) >= 0; reader.Advance()) {
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > UINT32_MAX) Overflow();
  }
  if (value <= UINT16_MAX) return static_cast<int16_t>(static_cast<uint16_t>(value));
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int64_t AddSaturated(int64_t a, int64_t b) {
  return std::clamp(a + b, -kExponentLimit, kExponentLimit);  // |a|, |b| <= the limit: no wrap
}

double DecimalNumber(Reader& reader) {
  const bool negative = reader.Peek() == U'-';
  if (negative || reader.Peek() == U'+') reader.Advance();

  // The significant digits, and the power of ten of the place just left of the first one: the
  // value is 0.<digits> x 10^scale.
  std::string digits;
  int64_t scale = 0;
  bool any_digit = false;
  for (char32_t c; (c = reader.Peek()) >= U'0' && c <= U'9'; reader.Advance()) {
    any_digit = true;
    if (c != U'0' || !digits.empty()) {
      digits.push_back(static_cast<char>(c));
      scale = AddSaturated(scale, 1);
    }
  }
  if (reader.Take(U'.')) {
    for (char32_t c; (c = reader.Peek()) >= U'0' && c <= U'9'; reader.Advance()) {
      any_digit = true;
      if (c != U'0' || !digits.empty()) {
        digits.push_back(static_cast<char>(c));
      } else {
        scale = AddSaturated(scale, -1);  // a zero between the point and the first digit
      }
    }
  }
  if (!any_digit) return 0;  // "", "-", ".", "E5": no number

  if (reader.Take(U'E') || reader.Take(U'D')) {
    const bool negative_exponent = reader.Peek() == U'-';
    if (negative_exponent || reader.Peek() == U'+') reader.Advance();
    int64_t exponent = 0;
    for (char32_t c; (c = reader.Peek()) >= U'0' && c <= U'9'; reader.Advance()) {
      exponent = std::min(exponent * 10 + static_cast<int64_t>(c - U'0'), kExponentLimit);
    }
    scale = AddSaturated(scale, negative_exponent ? -exponent : exponent);
  }

  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) return 0;
  if (scale > kSurelyOverflows) Overflow();
  if (scale < kSurelyUnderflows) return 0;

  std::string text = "0.";
  text += digits;
  text += 'e';
  text += std::to_string(scale);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // from_chars reports both ends of the range alike; the scale tells which one it is.
    if (scale > 0) Overflow();
    return 0;
  }
  if (error != std::errc() || end != text.data() + text.size()) return 0;  // cannot happen
  return negative ? -value : value;
}

}  // namespace

double LeadingNumber(const std::u32string& text) {
  Reader reader(text);
  // &H and &O only open the text; "-&H5" has no number.
  if (reader.Take(U'&')) {
    if (reader.Take(U'H')) return RadixInteger(reader, 16);
    if (reader.Take(U'O')) return RadixInteger(reader, 8);
    return 0;
  }
  return DecimalNumber(reader);
}

}  // namespace tolv
