#include "BlockStats.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CompareTestSupport.h"
#include "Parameter.h"

namespace {

using velta_test::genotypes;

struct N50Case {
  std::vector<unsigned int> lengths;
  unsigned int n50;
};

TEST(N50, HalfTheTotalIsReachedAtTheN50Length) {
  const N50Case cases[] = {
      {{}, 0},
      {{5}, 5},
      {{2, 10, 3, 5}, 10},  // 10 alone is half of 20
      {{3, 4, 3}, 3},       // 4 is short of 5; 4 + 3 reaches it
      {{1, 1, 1, 1, 6}, 6},
      {{2, 2, 2, 2, 2}, 2},
  };
  for (const N50Case& c : cases) {
    EXPECT_EQ(n50(c.lengths), c.n50);
    const std::vector<double> asDouble(c.lengths.begin(), c.lengths.end());
    EXPECT_EQ(n50(asDouble), static_cast<double>(c.n50));
  }
}

TEST(N50, TotalsBeyondThirtyTwoBitsDoNotWrap) {
  const std::vector<unsigned int> lengths(3, 4000000000U);
  EXPECT_EQ(n50(lengths), 4000000000U);
}

Parameter mapAt(const std::vector<double>& coordinates) {
  std::ostringstream text;
  for (double x : coordinates) text << "20 rs " << x << " 1 A C\n";
  std::istringstream in(text.str());
  Parameter map;
  map.initFromMapStream(in);
  return map;
}

// Eight SNPs, homozygous at the fourth and seventh. Blocks: SNPs 1-4 (the
// fourth homozygous), 5-6, the seventh alone (homozygous), the eighth alone.
const char kTruth[] = "AC CA AC AA CA AC CC AC";
const std::vector<unsigned int> kBlocks{0, 0, 0, 0, 4, 4, 6, 7};

TEST(BlockStats, BlocksNeedTwoHeterozygousSnps) {
  const BlockStats s = summariseBlocks(kBlocks, genotypes(kTruth), nullptr);
  EXPECT_EQ(s.blocks, 2U);       // the eighth SNP alone phases nothing
  EXPECT_EQ(s.hetInBlocks, 5U);  // 3 + 2
  EXPECT_EQ(s.largest, 3U);
  // Spans 3 (SNPs 1-3: the homozygous fourth does not stretch it) and 2.
  EXPECT_EQ(s.n50Snps, 3U);
  EXPECT_FALSE(s.hasCoordinates);
}

TEST(BlockStats, SpansInCoordinateUnitsComeFromTheMap) {
  const Parameter map = mapAt({100, 150, 400, 1000, 2000, 2600, 3000, 3100});
  const BlockStats s = summariseBlocks(kBlocks, genotypes(kTruth), &map);
  EXPECT_TRUE(s.hasCoordinates);
  // Spans 300 (100 to 400) and 600 (2000 to 2600): 600 holds half of 900.
  EXPECT_DOUBLE_EQ(s.n50Coordinates, 600.0);
  EXPECT_EQ(s.n50Snps, 3U);
}

TEST(BlockStats, UnorderedCoordinatesGiveTheReachOfTheBlock) {
  const Parameter map = mapAt({500, 100, 300});
  const BlockStats s = summariseBlocks({0, 0, 0}, genotypes("AC AC AC"), &map);
  EXPECT_DOUBLE_EQ(s.n50Coordinates, 400.0);
}

TEST(BlockStats, NoBlocksWithoutLinkedHeterozygousSnps) {
  const BlockStats s = summariseBlocks({0, 1, 2}, genotypes("AC AC AA"), nullptr);
  EXPECT_EQ(s.blocks, 0U);
  EXPECT_EQ(s.largest, 0U);
  EXPECT_EQ(s.n50Snps, 0U);
}

}  // namespace
