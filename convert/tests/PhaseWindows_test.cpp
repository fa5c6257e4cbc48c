#include "PhaseWindows.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using convert_test::runConvert;
using convert_test::vcfBodyLines;
using velta_test::ScratchDir;

const std::string kExample = std::string(VELTA_SOURCE_DIR) + "/convert/example/";

std::vector<std::string> phaseArgs(const std::string& out) {
  return {"phase", "--vcf", kExample + "HG01500.vcf.gz", "--sample", "HG01500", "--bam",
          kExample + "HG01500.bam", "--panel", kExample + "panel.vcf.gz", "--out", out,
          "-n", "30", "-m", "5", "-v", "0", "--seed", "11"};
}

// One process on one or three threads, and one job per window of the plan
// ligated afterwards, give the same VCF: each window's seed depends on the run's
// seed and the window's index only.
TEST(PhaseWindows, ThreadsAndJobsGiveTheSameResult) {
  ScratchDir scratch;
  std::vector<std::vector<std::string>> results;
  for (const char* threads : {"1", "3"}) {
    const std::string out = scratch.file(std::string("threads") + threads + ".vcf.gz");
    std::vector<std::string> args = phaseArgs(out);
    args.insert(args.end(), {"--window", "100", "--overlap", "30", "--threads", threads});
    const auto run = runConvert(args);
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_NE(run.out.find("4 windows of at most 100 SNPs overlapping by 30"), std::string::npos)
        << run.out;
    EXPECT_FALSE(velta_test::fileExists(out + ".windows.part"));
    results.push_back(vcfBodyLines(out));
  }
  EXPECT_EQ(results[0], results[1]);
  ASSERT_EQ(results[0].size(), 300u);

  const std::string plan = scratch.file("windows.tsv");
  ASSERT_FALSE(runConvert({"windows", "--vcf", kExample + "panel.vcf.gz", "--window", "100",
                           "--overlap", "30", "--seed", "11", "--out", plan})
                   .fatal);
  std::istringstream lines(velta_test::readFile(plan));
  std::string line;
  std::vector<std::string> ligate = {"ligate", "--out", scratch.file("jobs.vcf.gz")};
  while (std::getline(lines, line)) {
    if (line[0] == '#') continue;
    std::istringstream fields(line);
    std::string index, region, snps, seed;
    fields >> index >> region >> snps >> seed;
    const std::string out = scratch.file("job" + index + ".vcf.gz");
    std::vector<std::string> args = phaseArgs(out);
    args.back() = seed;
    args.insert(args.end(), {"--region", region});
    ASSERT_FALSE(runConvert(args).fatal) << region;
    ligate.push_back(out);
  }
  ASSERT_EQ(ligate.size(), 7u);
  ASSERT_FALSE(runConvert(ligate).fatal);
  EXPECT_EQ(vcfBodyLines(scratch.file("jobs.vcf.gz")), results[0]);
}

// Windows whose overlaps hold enough heterozygous SNPs join into one phase set.
TEST(PhaseWindows, WindowsJoinIntoOnePhaseSet) {
  ScratchDir scratch;
  const std::string out = scratch.file("phased.vcf.gz");
  std::vector<std::string> args = phaseArgs(out);
  args.insert(args.end(), {"--window", "150", "--overlap", "50"});
  const auto run = runConvert(args);
  ASSERT_FALSE(run.fatal) << run.err;
  EXPECT_NE(run.out.find("0 empty overlaps, 0 tied"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("in 1 phase sets"), std::string::npos) << run.out;
}

}  // namespace
