#include "layout/cells.h"

#include <algorithm>

namespace tolv {
namespace {

constexpr char32_t kBar = U'|';
constexpr char32_t kSpace = U' ';

}  // namespace

std::u32string TrimSpaces(const std::u32string& text) {
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::u32string::npos) return {};
  const size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

std::u32string RightTrimSpaces(const std::u32string& text) {
  const size_t last = text.find_last_not_of(kSpace);
  if (last == std::u32string::npos) return {};
  return text.substr(0, last + 1);
}

RowCells SplitRow(const std::u32string& Row) {
  const size_t bar = Row.find(kBar);
  if (bar == std::u32string::npos) return {false, {}, Row};
  return {true, Row.substr(0, bar), Row.substr(bar + 1)};
}

std::u32string FormatCell(const std::u32string& Cell, const int16_t& IsRightCell) {
  std::u32string result;
  if (IsRightCell == 0) {
    result = Cell;
    std::replace(result.begin(), result.end(), kBar, kSpace);
  } else {
    const size_t bar = Cell.find(kBar);
    if (bar != std::u32string::npos) {
      result = TrimSpaces(Cell.substr(0, bar)) + kSpace + TrimSpaces(Cell.substr(bar + 1));
    } else {
      result = TrimSpaces(Cell);
    }
  }
  return RightTrimSpaces(result);
}

}  // namespace tolv
