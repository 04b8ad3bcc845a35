#include "picture/ccitt_g4.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace tolv {
namespace {

// One code word: its bits, most significant first, and how many there are.
struct Code {
  uint16_t bits = 0;
  uint8_t length = 0;
};

constexpr Code C(std::string_view digits) {
  Code code;
  for (char d : digits) code.bits = static_cast<uint16_t>((code.bits << 1) | (d == '1' ? 1 : 0));
  code.length = static_cast<uint8_t>(digits.size());
  return code;
}

// The run-length codes of T.4, shared by T.6: terminating codes for 0 to 63 pixels, make-up
// codes for 64 to 1728 in steps of 64, and the make-up codes for 1792 to 2560 common to both
// colours.
constexpr Code kWhiteTerminating[64] = {
    C("00110101"), C("000111"),   C("0111"),     C("1000"),     C("1011"),     C("1100"),
    C("1110"),     C("1111"),     C("10011"),    C("10100"),    C("00111"),    C("01000"),
    C("001000"),   C("000011"),   C("110100"),   C("110101"),   C("101010"),   C("101011"),
    C("0100111"),  C("0001100"),  C("0001000"),  C("0010111"),  C("0000011"),  C("0000100"),
    C("0101000"),  C("0101011"),  C("0010011"),  C("0100100"),  C("0011000"),  C("00000010"),
    C("00000011"), C("00011010"), C("00011011"), C("00010010"), C("00010011"), C("00010100"),
    C("00010101"), C("00010110"), C("00010111"), C("00101000"), C("00101001"), C("00101010"),
    C("00101011"), C("00101100"), C("00101101"), C("00000100"), C("00000101"), C("00001010"),
    C("00001011"), C("01010010"), C("01010011"), C("01010100"), C("01010101"), C("00100100"),
    C("00100101"), C("01011000"), C("01011001"), C("01011010"), C("01011011"), C("01001010"),
    C("01001011"), C("00110010"), C("00110011"), C("00110100")};

constexpr Code kWhiteMakeUp[27] = {  // 64, 128, ..., 1728
    C("11011"),     C("10010"),     C("010111"),    C("0110111"),   C("00110110"),  C("00110111"),
    C("01100100"),  C("01100101"),  C("01101000"),  C("01100111"),  C("011001100"), C("011001101"),
    C("011010010"), C("011010011"), C("011010100"), C("011010101"), C("011010110"), C("011010111"),
    C("011011000"), C("011011001"), C("011011010"), C("011011011"), C("010011000"), C("010011001"),
    C("010011010"), C("011000"),    C("010011011")};

constexpr Code kBlackTerminating[64] = {
    C("0000110111"),   C("010"),          C("11"),           C("10"),           C("011"),
    C("0011"),         C("0010"),         C("00011"),        C("000101"),       C("000100"),
    C("0000100"),      C("0000101"),      C("0000111"),      C("00000100"),     C("00000111"),
    C("000011000"),    C("0000010111"),   C("0000011000"),   C("0000001000"),   C("00001100111"),
    C("00001101000"),  C("00001101100"),  C("00000110111"),  C("00000101000"),  C("00000010111"),
    C("00000011000"),  C("000011001010"), C("000011001011"), C("000011001100"), C("000011001101"),
    C("000001101000"), C("000001101001"), C("000001101010"), C("000001101011"), C("000011010010"),
    C("000011010011"), C("000011010100"), C("000011010101"), C("000011010110"), C("000011010111"),
    C("000001101100"), C("000001101101"), C("000011011010"), C("000011011011"), C("000001010100"),
    C("000001010101"), C("000001010110"), C("000001010111"), C("000001100100"), C("000001100101"),
    C("000001010010"), C("000001010011"), C("000000100100"), C("000000110111"), C("000000111000"),
    C("000000100111"), C("000000101000"), C("000001011000"), C("000001011001"), C("000000101011"),
    C("000000101100"), C("000001011010"), C("000001100110"), C("000001100111")};

constexpr Code kBlackMakeUp[27] = {  // 64, 128, ..., 1728
    C("0000001111"),    C("000011001000"),  C("000011001001"),  C("000001011011"),
    C("000000110011"),  C("000000110100"),  C("000000110101"),  C("0000001101100"),
    C("0000001101101"), C("0000001001010"), C("0000001001011"), C("0000001001100"),
    C("0000001001101"), C("0000001110010"), C("0000001110011"), C("0000001110100"),
    C("0000001110101"), C("0000001110110"), C("0000001110111"), C("0000001010010"),
    C("0000001010011"), C("0000001010100"), C("0000001010101"), C("0000001011010"),
    C("0000001011011"), C("0000001100100"), C("0000001100101")};

constexpr Code kExtendedMakeUp[13] = {  // 1792, 1856, ..., 2560, for both colours
    C("00000001000"),  C("00000001100"),  C("00000001101"),  C("000000010010"), C("000000010011"),
    C("000000010100"), C("000000010101"), C("000000010110"), C("000000010111"), C("000000011100"),
    C("000000011101"), C("000000011110"), C("000000011111")};

constexpr Code kPass = C("0001");
constexpr Code kHorizontal = C("001");
// Vertical modes by a1 - b1, from -3 to 3.
constexpr Code kVertical[7] = {C("0000010"), C("000010"), C("010"),    C("1"),
                               C("011"),     C("000011"), C("0000011")};
constexpr Code kEndOfLine = C("000000000001");

class BitWriter {
 public:
  explicit BitWriter(size_t max_bytes) : max_bytes_(max_bytes) {}

  void Put(Code code) {
    acc_ = (acc_ << code.length) | code.bits;
    fill_ += code.length;
    while (fill_ >= 8) {
      fill_ -= 8;
      out_.push_back(static_cast<char>((acc_ >> fill_) & 0xFF));
    }
  }

  // A run of `length` pixels of one colour: make-up codes while it is longer than 63, then the
  // terminating code of what is left.
  void PutRun(int32_t length, bool black) {
    const Code* terminating = black ? kBlackTerminating : kWhiteTerminating;
    const Code* make_up = black ? kBlackMakeUp : kWhiteMakeUp;
    while (length >= 2624) {  // the longest make-up code with a terminating code after it
      Put(kExtendedMakeUp[12]);
      length -= 2560;
    }
    if (length >= 64) {
      const int32_t units = length / 64;  // 1 to 40
      Put(units <= 27 ? make_up[units - 1] : kExtendedMakeUp[units - 28]);
      length -= units * 64;
    }
    Put(terminating[length]);
  }

  // Pads the last byte with zero bits.
  std::string Finish() {
    if (fill_ > 0) out_.push_back(static_cast<char>((acc_ << (8 - fill_)) & 0xFF));
    fill_ = 0;
    return std::move(out_);
  }

  bool full() const { return out_.size() > max_bytes_; }

 private:
  size_t max_bytes_;
  std::string out_;
  uint64_t acc_ = 0;
  int fill_ = 0;
};

// The changing elements of a row: every x where the pixel differs from the one before it (the
// one before the first is white), ascending, then `width` twice as an end mark.
void RowChanges(const uint8_t* row, int32_t width, std::vector<int32_t>& changes) {
  changes.clear();
  const size_t bytes = (static_cast<size_t>(width) + 7) / 8;
  uint64_t previous_bit = 0;  // the pixel before each word, in bit 0
  for (size_t at = 0; at < bytes; at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, row + at, std::min<size_t>(8, bytes - at));  // little-endian: LSB first
    uint64_t flips = word ^ ((word << 1) | previous_bit);
    previous_bit = word >> 63;
    for (; flips != 0; flips &= flips - 1) {
      const int32_t x = static_cast<int32_t>(at * 8) + __builtin_ctzll(flips);
      if (x < width) changes.push_back(x);
    }
  }
  changes.push_back(width);
  changes.push_back(width);
}

}  // namespace

std::string EncodeG4(const uint8_t* rows, size_t stride, int32_t width, int32_t height,
                     size_t max_bytes) {
  BitWriter out(max_bytes);
  std::vector<int32_t> reference = {width, width};  // the all-white row above the first
  std::vector<int32_t> coding;
  for (int32_t y = 0; y < height; ++y) {
    RowChanges(rows + static_cast<size_t>(y) * stride, width, coding);
    // a0 starts on an imaginary white pixel before the row. Changes alternate white-to-black
    // (even index) and black-to-white (odd index).
    int32_t a0 = -1;
    bool black = false;
    size_t i = 0;  // coding[i] is a1, the first change right of a0
    size_t k = 0;  // reference[k] is the first change right of a0 on the reference row
    while (a0 < width) {
      while (coding[i] <= a0) ++i;
      const int32_t a1 = coding[i];
      while (reference[k] <= a0) ++k;
      // b1: the first change right of a0 on the reference row to the colour opposite a0's. The
      // changes alternate, so it is reference[k] or the one after it.
      const size_t j = (k % 2 == 1) == black ? k : k + 1;
      const int32_t b1 = reference[j];
      const int32_t b2 = b1 >= width ? width : reference[j + 1];
      if (b2 < a1) {
        out.Put(kPass);
        a0 = b2;
      } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
        out.Put(kVertical[a1 - b1 + 3]);
        a0 = a1;
        black = !black;
      } else {
        const int32_t a2 = coding[i + 1];
        out.Put(kHorizontal);
        out.PutRun(a1 - std::max(a0, 0), black);
        out.PutRun(a2 - a1, !black);
        a0 = a2;
      }
      if (out.full()) return "";
    }
    std::swap(reference, coding);
  }
  out.Put(kEndOfLine);
  out.Put(kEndOfLine);
  std::string bytes = out.Finish();
  if (bytes.size() > max_bytes) return "";
  return bytes;
}

std::string G4Params(int32_t width, int32_t height) {
  return "Columns=" + std::to_string(width) + " Rows=" + std::to_string(height) +
         " K=-1 BlackIs1=true";
}

}  // namespace tolv
