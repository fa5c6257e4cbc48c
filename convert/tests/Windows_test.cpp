#include "Windows.h"

#include <gtest/gtest.h>

#include <set>

#include "TestSupport.h"

namespace {

struct PlanCase {
  std::uint64_t snps, size, overlap;
};

// Every plan covers the SNPs in order, windows within the size, neighbours
// sharing exactly the overlap, sizes within one of each other, and no plan
// with one window fewer would do.
TEST(Windows, PlansCoverTheSnpsWithExactOverlapsAndBalancedSizes) {
  const PlanCase cases[] = {{1, 1, 0},      {5, 10, 3},      {10, 10, 3},    {11, 10, 3},
                            {18788, 2000, 200}, {300000, 2000, 200}, {4001, 2000, 0},
                            {17, 4, 3},     {100, 7, 6},     {2001, 2000, 1999}};
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.snps << " SNPs, size " << c.size << ", overlap "
                                    << c.overlap);
    const std::vector<SnpWindow> windows = planWindows(c.snps, c.size, c.overlap);
    ASSERT_FALSE(windows.empty());
    EXPECT_EQ(windows.front().first, 0u);
    EXPECT_EQ(windows.back().end, c.snps);
    std::uint64_t smallest = c.snps;
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
      EXPECT_LE(windows[i].size(), c.size);
      smallest = std::min(smallest, windows[i].size());
      largest = std::max(largest, windows[i].size());
      if (i == 0) continue;
      EXPECT_GT(windows[i].first, windows[i - 1].first);
      EXPECT_EQ(windows[i - 1].end - windows[i].first, c.overlap);
    }
    EXPECT_LE(largest - smallest, 1u);
    const std::uint64_t fewer = windows.size() - 1;
    if (fewer > 0) {
      EXPECT_GT(c.snps, fewer * (c.size - c.overlap) + c.overlap);
    }
  }
  EXPECT_TRUE(planWindows(0, 10, 2).empty());
}

TEST(Windows, AnOverlapAsLargeAsTheWindowIsRefused) {
  velta_test::ExitGuard guard;
  testing::internal::CaptureStderr();
  EXPECT_THROW(planWindows(100, 10, 10), velta_test::FatalExit);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("overlap must be smaller"),
            std::string::npos);
}

// The seeds are the documented mixing function (values from an independent
// computation of the splitmix64 finaliser), differ between windows and runs.
TEST(Windows, WindowSeedsFollowTheDocumentedMixAndDiffer) {
  EXPECT_EQ(windowSeed(0, 0), 0xE220A839u);
  EXPECT_EQ(windowSeed(1, 0), 0xC42C5A1Au);
  EXPECT_EQ(windowSeed(42, 7), 0x2C582B9Eu);
  std::set<std::uint32_t> seen;
  for (std::uint32_t seed : {0u, 1u, 1700000000u}) {
    for (std::uint32_t index = 0; index < 2000; ++index) seen.insert(windowSeed(seed, index));
  }
  EXPECT_EQ(seen.size(), 6000u);
}

}  // namespace
