#include "CompareReport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PhaseScore someScore() {
  PhaseScore s;
  s.snps = 8;
  s.het = 6;
  s.genotypeErrors = 1;
  s.hetCalled = 5;
  s.switchPairs = 4;
  s.switches = 3;
  s.flips = 1;
  s.longSwitches = 1;
  s.hamming = 2;
  return s;
}

TEST(SummaryLine, KeysAndValuesForScripts) {
  EXPECT_EQ(summaryLine(someScore(), nullptr),
            "snps=8 het=6 geno_err=1 geno_err_rate=0.125000 het_called=5 switch_pairs=4 "
            "switch=3 switch_rate=0.750000 flip=1 long_switch=1 hamming=2 "
            "hamming_rate=0.333333\n");
}

TEST(SummaryLine, BlockKeysOnlyWithBlocksAndSpanOnlyWithCoordinates) {
  BlockStats b;
  b.blocks = 2;
  b.hetInBlocks = 5;
  b.largest = 3;
  b.n50Snps = 3;
  const std::string head = summaryLine(someScore(), nullptr);
  const std::string tail = " blocks=2 het_in_blocks=5 largest_block=3 n50_snps=3";
  EXPECT_EQ(summaryLine(someScore(), &b), head.substr(0, head.size() - 1) + tail + "\n");
  b.hasCoordinates = true;
  b.n50Coordinates = 123456.5;
  EXPECT_EQ(summaryLine(someScore(), &b),
            head.substr(0, head.size() - 1) + tail + " n50_span=123456.5\n");
}

TEST(Report, ShowsCountsWithPercentagesAndBlocksOnlyWhenGiven) {
  const std::string plain = formatReport(someScore(), nullptr);
  EXPECT_NE(plain.find("genotype discordance          1 (12.5000% of SNPs)\n"), std::string::npos)
      << plain;
  EXPECT_NE(plain.find("switch errors                 3 (75.0000% of 4 neighbouring pairs)\n"),
            std::string::npos)
      << plain;
  EXPECT_EQ(plain.find("block"), std::string::npos) << plain;
  BlockStats b;
  b.n50Snps = 7;
  const std::string withBlocks = formatReport(someScore(), &b);
  EXPECT_NE(withBlocks.find("pairs within blocks)"), std::string::npos) << withBlocks;
  EXPECT_NE(withBlocks.find("block span N50                7 SNPs\n"), std::string::npos)
      << withBlocks;
}

}  // namespace
