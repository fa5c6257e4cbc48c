#include "VeltaUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "PlainKernels.h"
#include "TestSupport.h"

namespace {

using velta_test::ExitGuard;
using velta_test::FatalExit;

const double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::numeric_limits<double>::quiet_NaN();

// Straightforward log of a sum of exponentials, shifted by the maximum.
double referenceLogSum(const std::vector<double>& v, int start, int count) {
  double max = -kInf;
  for (int i = start; i < start + count; ++i) max = std::max(max, v[i]);
  double sum = 0;
  for (int i = start; i < start + count; ++i) sum += std::exp(v[i] - max);
  return max + std::log(sum);
}

// Seeds at the edges of the seed's signed and unsigned ranges, those the
// seeding treats specially, and a spread of others.
std::vector<unsigned> generatorSeeds() {
  std::vector<unsigned> seeds = {0U,          1U,          2U,          3U,          127773U,
                                 127774U,     16807U,      2147483646U, 2147483647U, 2147483648U,
                                 2147483649U, 4294967294U, 4294967295U, 20261208U};
  unsigned x = 12345;
  for (int i = 0; i < 40; ++i) {
    x = x * 1103515245U + 12345U;
    seeds.push_back(x);
  }
  return seeds;
}

TEST(Generator, GivesTheLibrarySequenceForEverySeed) {
  const int n = 100000;
  std::vector<int> drawn(n);
  for (unsigned seed : generatorSeeds()) {
    veltaSrand(seed);
    for (int& value : drawn) value = veltaRand();
    std::srand(seed);
    for (int i = 0; i < n; ++i) ASSERT_EQ(drawn[i], std::rand()) << "seed " << seed << " #" << i;
  }
}

// Threads seeded at the same time each draw their own seed's sequence, the
// one a lone thread draws: windows phased on several threads give the same
// result as one after the other.
TEST(Generator, ThreadsDrawTheirOwnSeedsSequences) {
  constexpr int kThreads = 4;
  constexpr int kNumbers = 20000;
  std::vector<std::vector<int>> alone(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    veltaSrand(100 + t);
    for (int i = 0; i < kNumbers; ++i) alone[t].push_back(veltaRand());
  }
  std::vector<std::vector<int>> together(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &together] {
      veltaSrand(100 + t);
      for (int i = 0; i < kNumbers; ++i) together[t].push_back(veltaRand());
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(together[t], alone[t]) << "thread " << t;
}

#ifdef __GLIBC__
// On the GNU C library the program's own generator must be the one in use,
// and reproduce rand() far beyond the numbers veltaSrand checks.
TEST(Generator, ReproducesTheGnuLibraryWithoutFallingBack) {
  for (unsigned seed : generatorSeeds()) {
    veltaSrand(seed);
    EXPECT_TRUE(velta_random::generatorMatchesLibrary) << "seed " << seed;
    FeedbackGenerator generator;
    generator.seed(seed);
    std::srand(seed);
    for (int i = 0; i < 300000; ++i) {
      ASSERT_EQ(generator.next(), std::rand()) << "seed " << seed << " #" << i;
    }
  }
}
#endif

// A stream lent to a loop draws the numbers veltaRand() would, and the
// sequence goes on after it where those draws left it.
TEST(Generator, StreamsContinueTheProgramSequence) {
  for (unsigned seed : {5U, 2147483648U}) {
    veltaSrand(seed);
    std::vector<int> expected(3000);
    for (int& value : expected) value = veltaRand();
    veltaSrand(seed);
    std::vector<int> drawn;
    for (int length : {1, 700, 0, 1298, 1}) {
      RandomStream stream;
      for (int i = 0; i < length; ++i) drawn.push_back(stream.next());
    }
    while (drawn.size() < expected.size()) drawn.push_back(veltaRand());
    EXPECT_EQ(drawn, expected) << "seed " << seed;
  }
}

// Draws of bits from thresholds, of every length around the blocks of eight
// and the 64-bit words, from the seeded sequence and from a jumped one (whose
// buffer holds only the last 31 words), give the bits of one comparison per
// number and leave the sequence where as many single draws would.
TEST(Generator, BitDrawsCompareTheNumbersOfSingleDraws) {
  veltaSrand(17);
  const FeedbackGenerator seeded = velta_random::generator;
  const FeedbackGenerator jumped = FeedbackGenerator::Jump(1000).from(seeded);
  std::vector<std::uint32_t> thresholds(700);
  for (std::size_t i = 0; i < thresholds.size(); ++i) {
    // Thresholds at both ends too: 0 (always 1) and 2^31 - 1 (1 only for the largest value).
    thresholds[i] = i % 7 == 0 ? 0 : i % 11 == 0 ? 2147483647U : static_cast<std::uint32_t>(veltaRand());
  }
  for (const FeedbackGenerator& start : {seeded, jumped}) {
    FeedbackGenerator fast = start;
    FeedbackGenerator plain = start;
    for (std::size_t length : {0, 1, 7, 8, 9, 63, 64, 65, 130, 700, 3, 500}) {
      std::vector<std::uint64_t> bits((length + 63) / 64, ~std::uint64_t{0});
      fast.drawBits(thresholds.data(), length, bits.data());
      std::vector<std::uint32_t> values(length);
      for (std::uint32_t& value : values) value = static_cast<std::uint32_t>(plain.next());
      std::vector<std::uint64_t> expected((length + 63) / 64, 0);
      for (std::size_t k = 0; k + 64 <= length; k += 64) {
        expected[k / 64] = velta_plain::reachedBits(values.data() + k, thresholds.data() + k);
      }
      for (std::size_t k = length / 64 * 64; k < length; ++k) {
        expected[k / 64] |= std::uint64_t{values[k] >= thresholds[k]} << (k % 64);
      }
      ASSERT_EQ(bits, expected) << "length " << length;
    }
    EXPECT_EQ(fast.next(), plain.next());
  }
}

// A jump of d numbers lands where d draws land, for distances shorter and
// longer than the generator's words.
TEST(Generator, JumpsLandWhereTheDrawsLand) {
  veltaSrand(31);
  for (int i = 0; i < 57; ++i) veltaRand();
  const FeedbackGenerator start = velta_random::generator;
  for (std::uint64_t distance : {0U, 1U, 3U, 30U, 31U, 32U, 1000U, 70001U}) {
    FeedbackGenerator drawn = start;
    for (std::uint64_t i = 0; i < distance; ++i) drawn.next();
    FeedbackGenerator jumped = FeedbackGenerator::Jump(distance).from(start);
    for (int i = 0; i < 500; ++i) {
      ASSERT_EQ(jumped.next(), drawn.next()) << distance << " #" << i;
    }
  }
}

TEST(Generator, SeedingAlsoRestartsTheLibrarySequence) {
  std::srand(77);
  const int first = std::rand();
  std::rand();
  veltaSrand(77);
  EXPECT_EQ(std::rand(), first);
  veltaSrand(77);
  EXPECT_EQ(veltaRand(), first);
}

TEST(TwoValuedDraw, ProbabilityOfZeroMustExceedTheUniformNumber) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double log0, log1;
    double uniform;  // 0 or 1: what veltaRand() values of 0 and 2147483647 give
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
  veltaSrand(17);
  int ones = 0;
  const int n = 200000;
  for (int i = 0; i < n; ++i) ones += drawTwoValued(-1000.0, -1002.0);
  const double p1 = std::exp(-2.0) / (1 + std::exp(-2.0));
  // Six standard deviations: failure probability far below one in a million.
  EXPECT_NEAR(ones / static_cast<double>(n), p1, 6 * std::sqrt(p1 * (1 - p1) / n));
}

TEST(TwoValuedDraw, ConsumesExactlyOneRandomNumber) {
  veltaSrand(99);
  drawTwoValued(-1.0, -3.0);
  const int next = veltaRand();
  veltaSrand(99);
  veltaRand();
  EXPECT_EQ(veltaRand(), next);
}

// The threshold must sit exactly where the draw's decision changes: the
// value below it gives 0, the value at it gives 1.
TEST(TwoValuedDraw, ThresholdsSplitTheGeneratorValuesWhereTheDrawChanges) {
  std::vector<std::pair<double, double>> weights = {
      {0.0, 0.0},         {-1.0, -3.0},   {-3.0, -1.0},       {-kInf, 0.0},
      {0.0, -kInf},       {kNan, 0.0},    {-2000.0, -2001.0}, {2000.0, 2001.0},
      {-1000.0, -1000.0}, {-1e-300, 0.0}, {-745.0, 0.0},      {36.0, 0.0}};
  veltaSrand(23);
  for (int i = 0; i < 2000; ++i) {
    const double spread = i % 2 == 0 ? 40.0 : 3000.0;
    weights.push_back(
        {(velta_test::uniformDraw() - 0.5) * spread, (velta_test::uniformDraw() - 0.5) * spread});
  }
  for (const auto& [log0, log1] : weights) {
    const std::uint32_t threshold = zeroThreshold(log0, log1);
    // The largest value always gives 1, so the passes may compare values
    // and thresholds as signed numbers.
    ASSERT_LE(threshold, 2147483647U);
    if (threshold > 0) {
      ASSERT_FALSE(chooseTwoValued(log0, log1, toUniform(threshold - 1))) << log0 << " " << log1;
    }
    if (threshold <= std::uint32_t{kRandMax}) {
      ASSERT_TRUE(chooseTwoValued(log0, log1, toUniform(threshold))) << log0 << " " << log1;
    }
  }
  EXPECT_EQ(zeroThreshold(kNan, 0.0), 0U);            // not a number: always 1
  EXPECT_EQ(zeroThreshold(-kInf, 0.0), 0U);           // p0 = 0: always 1
  EXPECT_EQ(zeroThreshold(0.0, -kInf),
            std::uint32_t{kRandMax});                 // p0 = 1: 0 unless the largest value
  EXPECT_EQ(zeroThreshold(-5.0, -5.0), 1073741824U);  // p0 = 0.5: the lower half
}

TEST(LogSum, SmallCases) {
  EXPECT_DOUBLE_EQ(logsum(0, 0), 0.6931471805599453);
  EXPECT_EQ(logsum(-3.5, 2.25), logsum(2.25, -3.5));
  for (double a : {-1000.0, -2.5, 0.0, 7.0}) EXPECT_EQ(logsum(a, kLogFloor), a) << a;
  EXPECT_EQ(logsum(1.0, -kInf), 1.0);
  EXPECT_TRUE(std::isnan(logsum(kNan, 1.0)));
}

TEST(LogSum, ArrayMatchesAPlainSumOfExponentials) {
  veltaSrand(5);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<double> v(1 + veltaRand() % 40);
    for (double& x : v) x = (velta_test::uniformDraw() - 0.5) * 200;
    const int start = veltaRand() % static_cast<int>(v.size());
    const int count = 1 + veltaRand() % (static_cast<int>(v.size()) - start);
    const double expected = referenceLogSum(v, start, count);
    EXPECT_NEAR(logsumArray(v, start, count), expected, 1e-12 * std::max(1.0, std::fabs(expected)));
  }
}

TEST(LogSum, ArrayRangeEdges) {
  const std::vector<double> v = {1.0, 2.0, 3.0, -0.5, 4.0, 100.0, -kInf};
  EXPECT_EQ(logsumArray(v, 0, 0), kLogFloor);
  EXPECT_EQ(logsumArray(v, 2, -3), kLogFloor);
  EXPECT_EQ(logsumArray(v, 3, 1), -0.5);
  EXPECT_EQ(logsumArray(v, 6, 1), kLogFloor);  // -inf alone gives the floor
  EXPECT_NEAR(logsumArray(v, 3, 2), std::log(std::exp(-0.5) + std::exp(4.0)), 1e-14);
}

// Category mnrnd must give for the uniform number r: the first whose
// cumulative weight reaches r, or 0 when none does.
int categoryFor(const std::vector<double>& weights, double r) {
  double cumulative = 0;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    cumulative += weights[i];
    if (cumulative >= r) return static_cast<int>(i) + 1;
  }
  return 0;
}

TEST(DiscreteDraw, FollowsTheCumulativeWeightsOneRandomNumberPerAttempt) {
  const std::vector<std::vector<double>> tables = {{0.2, 0.3, 0.5}, {0.5, 0.49}, {1.0}, {0, 0, 1}};
  int redraws = 0;
  int seen[4] = {0, 0, 0, 0};
  for (const auto& weights : tables) {
    for (unsigned seed = 1; seed <= 1500; ++seed) {
      veltaSrand(seed);
      int expected = 0;
      while (expected == 0) {
        expected = categoryFor(weights, velta_test::uniformDraw());
        if (expected == 0) ++redraws;
      }
      const int next = veltaRand();
      if (weights.size() == 3 && weights[0] > 0) ++seen[expected];
      veltaSrand(seed);
      ASSERT_EQ(mnrnd(weights), expected) << "seed " << seed;
      ASSERT_EQ(veltaRand(), next) << "seed " << seed;
    }
  }
  EXPECT_GT(redraws, 0);  // 0.5, 0.49 must have met draws above 0.99
  EXPECT_GT(seen[1], 0);
  EXPECT_GT(seen[2], 0);
  EXPECT_GT(seen[3], 0);
}

TEST(DiscreteDraw, UnreachableWeightsEndTheRun) {
  const std::vector<std::vector<double>> tables = {{}, {0.0, 0.0}, {kNan, kNan}, {kNan, 0.5}};
  for (const auto& weights : tables) {
    veltaSrand(3);  // its first draw is not 0, so even all-zero weights miss
    ASSERT_GT(veltaRand(), 0);
    veltaSrand(3);
    ExitGuard catcher;
    testing::internal::CaptureStderr();
    EXPECT_THROW(mnrnd(weights), FatalExit);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("FATAL => Discrete draw over " + std::to_string(weights.size()) +
                       " categories cannot succeed"),
              std::string::npos)
        << err;
  }
}

TEST(Binomial, FactorialsAndCoefficients) {
  EXPECT_EQ(perm(-2), 1.0);
  EXPECT_EQ(perm(0), 1.0);
  EXPECT_EQ(perm(1), 1.0);
  EXPECT_EQ(perm(5), 120.0);
  EXPECT_EQ(nChoosek(5, 2), 10.0);
  EXPECT_EQ(nChoosek(0, 0), 1.0);
  EXPECT_EQ(nChoosek(4, 4), 1.0);
  EXPECT_EQ(nChoosek(20, 3), 1140.0);
  EXPECT_TRUE(std::isinf(perm(171)));
}

TEST(Binomial, NegativeArgumentsEndTheProcessSilently) {
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  try {
    nChoosek(3, -1);
    ADD_FAILURE() << "nChoosek(3, -1) returned";
  } catch (const FatalExit& e) {
    EXPECT_EQ(e.status, 1);
  }
  EXPECT_THROW(nChoosek(-1, 0), FatalExit);
  EXPECT_THROW(logChoose(2, 3), FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Binomial, LogCoefficientStaysFiniteBeyondFactorialOverflow) {
  for (int n = 0; n <= 170; n += 17) {
    for (int k = 0; k <= n; k += 3) {
      const double expected = std::log(nChoosek(n, k));
      EXPECT_NEAR(logChoose(n, k), expected, 1e-12 * std::max(1.0, expected)) << n << " " << k;
    }
  }
  // Up to two full 16-bit counts: compare with a sum of logarithms.
  for (int n : {171, 1000, 65535, 131070}) {
    for (int k : {0, 1, n / 3, n / 2, n}) {
      double expected = 0;
      for (int i = 1; i <= k; ++i) expected += std::log(static_cast<double>(n - k + i) / i);
      const double value = logChoose(n, k);
      EXPECT_TRUE(std::isfinite(value));
      EXPECT_NEAR(value, expected, 1e-9 * std::max(1.0, expected)) << n << " " << k;
    }
  }
}

// Knuth's selection sampling written out plainly.
std::vector<int> referenceSample(int n, int k) {
  std::vector<int> out;
  for (int t = 0; t < n && static_cast<int>(out.size()) < k; ++t) {
    if (veltaRand() % (n - t) < k - static_cast<int>(out.size())) out.push_back(t);
  }
  return out;
}

TEST(SubsetDraw, SelectionSamplingAndItsDraws) {
  std::vector<int> out;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    veltaSrand(seed);
    const int n = 1 + veltaRand() % 60;
    const int k = veltaRand() % (n + 1);
    const unsigned drawSeed = veltaRand();
    veltaSrand(drawSeed);
    const std::vector<int> expected = referenceSample(n, k);
    const int next = veltaRand();
    veltaSrand(drawSeed);
    out.assign(3, 99);
    nSamplek(out, n, k);
    ASSERT_EQ(out, expected) << n << " " << k;
    ASSERT_EQ(veltaRand(), next);
  }
}

TEST(SubsetDraw, FullAndEmptySamples) {
  std::vector<int> out = {7, 7};
  veltaSrand(11);
  nSamplek(out, 5, 5);
  EXPECT_EQ(out, (std::vector<int>{0, 1, 2, 3, 4}));
  const int next = veltaRand();
  veltaSrand(11);
  for (int i = 0; i < 5; ++i) veltaRand();
  EXPECT_EQ(veltaRand(), next);  // five candidates, five draws
  nSamplek(out, 5, 0);
  EXPECT_TRUE(out.empty());
}

TEST(SubsetDraw, MoreIndicesThanCandidatesEndsTheRun) {
  std::vector<int> out;
  for (int n : {3, 0, -2}) {
    ExitGuard catcher;
    testing::internal::CaptureStderr();
    EXPECT_THROW(nSamplek(out, n, 5), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FATAL => Knuth algorithm wrong\n\n");
  }
}

TEST(SquareMatrix, PlusTransitionAddsToOneRowAndOneColumn) {
  std::vector<double> m(9, 0.0);
  plusTransition(m, 1.0, 0, 2, 3);
  EXPECT_EQ(m, (std::vector<double>{1, 1, 2, 0, 0, 1, 0, 0, 1}));
  plusTransition(m, -1.0, 0, 2, 3);
  EXPECT_EQ(m, std::vector<double>(9, 0.0));
  // No matrix, nothing added: n = 0, or a negative n, even with an empty vector.
  for (int n : {0, -1, -3, INT_MIN}) {
    plusTransition(m, 5.0, 1, 1, n);
    EXPECT_EQ(m, std::vector<double>(9, 0.0)) << n;
    std::vector<double> empty;
    plusTransition(empty, 5.0, 0, 0, n);
    EXPECT_TRUE(empty.empty()) << n;
  }
}

TEST(SquareMatrix, FindMaxKeepsTheFirstOfEqualValues) {
  struct Case {
    std::vector<double> v;
    int slice, n;
    double best;
    int position;
  };
  const Case cases[] = {
      {{3, 7, 7, 1}, 0, 2, 7, 1},       {{0, 0, 0, 0, 3, 7, 7, 1}, 1, 2, 7, 1},
      {{kNan, 2, kNan, 2}, 0, 2, 2, 1}, {{-kInf, kNan, -kInf, kLogFloor}, 0, 2, kLogFloor, 0},
      {{5, 6}, 0, 0, kLogFloor, 0},     {{-1, -1, -1, -1, -1, -1, -1, -1, -0.5}, 0, 3, -0.5, 8},
  };
  for (const Case& c : cases) {
    double best = 0;
    EXPECT_EQ(findMax(c.v, c.slice, c.n, &best), c.position);
    EXPECT_EQ(best, c.best);
  }
}

}  // namespace
