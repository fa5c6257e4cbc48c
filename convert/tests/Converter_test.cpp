#include "Converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using velta_test::ScratchDir;

TEST(ConverterBinary, ExitStatusAndStreams) {
  const auto bare = convert_test::runConvertBinary({});
  EXPECT_EQ(bare.status, 1);
  EXPECT_NE(bare.err.find("Usage: velta-convert <command> [options]"), std::string::npos);

  const auto help = convert_test::runConvertBinary({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: velta-convert <command> [options]"), std::string::npos);

  ScratchDir scratch;
  const auto missing = convert_test::runConvertBinary(
      {"panel", "--vcf", scratch.file("none.vcf.gz"), "--out", scratch.file("p")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("FATAL => cannot open panel VCF " + scratch.file("none.vcf.gz")),
            std::string::npos)
      << missing.err;

  const auto done =
      convert_test::runConvertBinary({"map", "--vcf", convert_test::dataFile("calls.vcf"),
                                      "--sample", "NA1", "--out", scratch.file("m.map")});
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(velta_test::readFile(scratch.file("m.map")).substr(0, 19), "20 rs1 100 100 A G\n");
}

}  // namespace

namespace {

// The README's worked example runs on convert/example: its panel and calls
// give exactly the velta example's map, panel and heterozygous map.
TEST(ConverterExample, TheReadmeExampleGivesTheVeltaExampleFiles) {
  const std::string example = std::string(VELTA_SOURCE_DIR) + "/convert/example/";
  const std::string veltaExample = std::string(VELTA_SOURCE_DIR) + "/example/";
  ScratchDir scratch;
  const std::string prefix = scratch.file("panel");
  ASSERT_FALSE(convert_test::runConvert({"panel", "--vcf", example + "panel.vcf.gz",
                                         "--keep-monomorphic", "--out", prefix})
                   .fatal);
  EXPECT_TRUE(velta_test::readFile(prefix + ".map") ==
              velta_test::readFile(veltaExample + "map.txt"));
  EXPECT_TRUE(velta_test::readFile(prefix + ".panel") ==
              velta_test::readFile(veltaExample + "panel.txt"));
  const std::string het = scratch.file("het.map");
  ASSERT_FALSE(convert_test::runConvert({"map", "--vcf", example + "HG01500.vcf.gz", "--sample",
                                         "HG01500", "--het-only", "--out", het})
                   .fatal);
  EXPECT_TRUE(velta_test::readFile(het) == velta_test::readFile(veltaExample + "assembly.map.txt"));
  // The reads were simulated from the truth with 0.5% base errors: each read
  // or pair must agree with one of the two true haplotypes at nearly every SNP.
  const std::string reads = scratch.file("het.reads");
  const auto run = convert_test::runConvert(
      {"reads", "--bam", example + "HG01500.bam", "--map", het, "--out", reads});
  ASSERT_FALSE(run.fatal) << run.err;
  std::vector<std::string> truth;
  std::istringstream truthLines(velta_test::readFile(veltaExample + "assembly.truth.txt"));
  for (std::string line; std::getline(truthLines, line);) truth.push_back(line);
  std::istringstream readLines(velta_test::readFile(reads));
  std::size_t calls = 0;
  std::size_t mismatches = 0;
  for (std::string line; std::getline(readLines, line);) {
    std::istringstream words(line);
    std::size_t first = 0;
    std::string run;
    std::size_t against[2] = {0, 0};
    while (words >> first >> run) {
      for (std::size_t j = 0; j < run.size(); ++j) {
        if (run[j] == '-') continue;
        ++calls;
        for (int h = 0; h < 2; ++h) against[h] += run[j] != truth.at(first - 1 + j)[h];
      }
    }
    mismatches += std::min(against[0], against[1]);
  }
  EXPECT_GT(calls, 300u);
  EXPECT_LT(mismatches * 100, calls * 2) << mismatches << " of " << calls;
}

}  // namespace
