#include "runtime/runtime.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace tolv {
namespace {

TEST(ConversionTest, RoundsHalvesToEven) {
  EXPECT_EQ(ToInt16(2.5), 2);
  EXPECT_EQ(ToInt16(3.5), 4);
  EXPECT_EQ(ToInt16(-2.5), -2);
  EXPECT_EQ(ToInt16(-3.5), -4);
  EXPECT_EQ(ToInt16(2.4999), 2);
  EXPECT_EQ(ToInt32(1000.5), 1000);
  EXPECT_EQ(ToInt32(1001.5), 1002);
}

TEST(ConversionTest, OverflowsOutsideTheTargetRange) {
  EXPECT_EQ(ToInt16(32767.4), 32767);
  EXPECT_EQ(ToInt16(-32768.5), -32768);  // halves to even stays in range
  EXPECT_THROW(ToInt16(32767.5), RuntimeError);
  EXPECT_THROW(ToInt16(40000), RuntimeError);
  EXPECT_EQ(ToInt32(2147483647.0), 2147483647);
  EXPECT_THROW(ToInt32(2147483647.5), RuntimeError);
  EXPECT_THROW(ToInt32(-2147483649.0), RuntimeError);
  EXPECT_THROW(ToInt32(1.0L / 0.0L), RuntimeError);
  EXPECT_THROW(ToSingle(1e39), RuntimeError);
  EXPECT_EQ(ToSingle(FLT_MAX), FLT_MAX);
  EXPECT_THROW(ToSingle(__builtin_nanl("")), RuntimeError);
}

TEST(ConversionTest, DivisionByZeroRaises) {
  EXPECT_THROW(Divide(1, 0), RuntimeError);
  EXPECT_THROW(DivideDouble(0, 0), RuntimeError);
  EXPECT_DOUBLE_EQ(DivideDouble(4961, 210.0), 4961 / 210.0);
}

TEST(StepTest, ARaisingStepIsSkippedAndAFailingConditionEntersItsBlock) {
  int16_t target = 7;
  EXPECT_FALSE(Step([&] { target = ToInt16(40000); }));
  EXPECT_EQ(target, 7);
  EXPECT_TRUE(Condition([]() -> bool { throw RuntimeError(ErrorKind::kOverflow, "x"); }));
  EXPECT_FALSE(Condition([] { return false; }));
  // Not a run-time error: never swallowed.
  EXPECT_THROW(Step([] { throw std::logic_error("bug"); }), std::logic_error);
}

}  // namespace
}  // namespace tolv
