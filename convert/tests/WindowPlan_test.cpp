#include "WindowPlan.h"

#include <gtest/gtest.h>

#include <string>

#include "ConvertTestSupport.h"
#include "TestSupport.h"
#include "Windows.h"

namespace {

using convert_test::dataFile;
using convert_test::runConvert;

// The test panel's biallelic SNPs are at 100, 105, 110, 120, 130 and 140 (the
// records at 108, 115 and 135 are not): windows of 3 overlapping by 1 are SNPs
// 1-2, 2-4 and 4-6.
TEST(WindowPlan, WindowsAreRegionsOfTheBiallelicSnpsWithDerivedSeeds) {
  velta_test::ScratchDir scratch;
  const std::string out = scratch.file("windows.tsv");
  const auto run = runConvert({"windows", "--vcf", dataFile("panel.vcf"), "--window", "3",
                               "--overlap", "1", "--seed", "5", "--out", out});
  ASSERT_FALSE(run.fatal) << run.err;
  const std::string expected = "#index\tregion\tsnps\tseed\n0\t20:100-105\t2\t" +
                               std::to_string(windowSeed(5, 0)) + "\n1\t20:105-120\t3\t" +
                               std::to_string(windowSeed(5, 1)) + "\n2\t20:120-140\t3\t" +
                               std::to_string(windowSeed(5, 2)) + "\n";
  EXPECT_EQ(velta_test::readFile(out), expected);

  const std::vector<RegionWindow> inRegion =
      planRegionWindows(dataFile("panel.vcf"), "20:106-200", 10, 2, 5);
  ASSERT_EQ(inRegion.size(), 1u);
  EXPECT_EQ(inRegion[0].region(), "20:110-140");
  EXPECT_EQ(inRegion[0].snps, 4u);

  const auto empty = runConvert({"windows", "--vcf", dataFile("panel.vcf"), "--region",
                                 "20:141-150", "--out", out + "2"});
  EXPECT_TRUE(empty.fatal);
  EXPECT_NE(empty.err.find("no biallelic SNP in 20:141-150"), std::string::npos) << empty.err;
}

}  // namespace
