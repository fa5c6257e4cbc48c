#include "VeltaUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

TEST(TwoValuedDraw, ProbabilityOfZeroMustExceedTheUniformNumber) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double log0, log1;
    double uniform;  // 0 or 1: what rand() values of 0 and 2147483647 give
    bool expected;
  };
  const Case cases[] = {
      {0.0, 0.0, 0.0, false},          // p0 = 0.5 > 0
      {0.0, 0.0, 1.0, true},           // p0 = 0.5 is not > 1
      {-inf, 0.0, 0.0, true},          // p0 = 0 is not > 0
      {0.0, -inf, 1.0, true},          // p0 = 1 is not > 1
      {nan, 0.0, 0.0, true},           // NaN probability gives 1
      {-2000.0, -2001.0, 0.0, false},  // both underflow: decided by the difference
      {-2001.0, -2000.0, 0.0, false},  // p0 = 0.27 > 0 still
      {2000.0, 2001.0, 1.0, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chooseTwoValued(c.log0, c.log1, c.uniform), c.expected) << c.log0 << " " << c.log1;
  }
}

TEST(TwoValuedDraw, UnderflowedWeightsFollowTheLogDifference) {
  // e^-1000 underflows; the two values must still be drawn 1 : e^-2.
  std::srand(17);
  int ones = 0;
  const int n = 200000;
  for (int i = 0; i < n; ++i) ones += drawTwoValued(-1000.0, -1002.0);
  const double p1 = std::exp(-2.0) / (1 + std::exp(-2.0));
  // Six standard deviations: failure probability far below one in a million.
  EXPECT_NEAR(ones / static_cast<double>(n), p1, 6 * std::sqrt(p1 * (1 - p1) / n));
}

TEST(TwoValuedDraw, ConsumesExactlyOneRandomNumber) {
  std::srand(99);
  drawTwoValued(-1.0, -3.0);
  const int next = std::rand();
  std::srand(99);
  std::rand();
  EXPECT_EQ(std::rand(), next);
}

}  // namespace
