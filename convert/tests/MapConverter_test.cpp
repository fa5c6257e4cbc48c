#include "MapConverter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using convert_test::dataFile;
using convert_test::runConvert;
using velta_test::readFile;
using velta_test::ScratchDir;

struct MapCase {
  const char* sample;
  bool hetOnly;
  const char* map;
};

// calls.vcf: rs3 is multi-allelic and rs5 an indel for both samples; NA1 has
// no call at rs4.
TEST(MapConverter, KeepsTheSamplesCalledBiallelicSnps) {
  const MapCase cases[] = {
      {"NA1", false,
       "20 rs1 100 100 A G\n20 rs2 105 105 C T\n20 20:130 130 130 A C\n"
       "20 rs9 140 140 G T\n"},
      {"NA1", true, "20 rs1 100 100 A G\n20 20:130 130 130 A C\n"},
      {"NA2", false,
       "20 rs1 100 100 A G\n20 rs2 105 105 C T\n20 rs4 110 110 G A\n"
       "20 20:130 130 130 A C\n20 rs9 140 140 G T\n"},
      {"NA2", true, "20 rs2 105 105 C T\n20 rs4 110 110 G A\n20 rs9 140 140 G T\n"},
  };
  for (const MapCase& c : cases) {
    ScratchDir scratch;
    const std::string out = scratch.file("out.map");
    std::vector<std::string> args = {"map",   "--vcf", dataFile("calls.vcf"), "--sample", c.sample,
                                     "--out", out};
    if (c.hetOnly) args.push_back("--het-only");
    const auto run = runConvert(args);
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_EQ(readFile(out), c.map) << c.sample << (c.hetOnly ? " --het-only" : "");
  }
}

TEST(MapConverter, CountsWhatWasDropped) {
  ScratchDir scratch;
  const auto run = runConvert({"map", "--vcf", dataFile("calls.vcf"), "--sample", "NA1",
                               "--het-only", "--out", scratch.file("m")});
  ASSERT_FALSE(run.fatal) << run.err;
  EXPECT_NE(run.out.find("7 records read, 2 heterozygous SNPs kept"), std::string::npos);
  EXPECT_NE(run.out.find("1 multi-allelic, 1 not a SNP (indel, MNP, symbolic), 1 missing "
                         "genotype, 2 homozygous"),
            std::string::npos)
      << run.out;
}

TEST(MapConverter, AnUnknownSampleIsNamedWithTheFilesSamples) {
  ScratchDir scratch;
  const auto run = runConvert(
      {"map", "--vcf", dataFile("calls.vcf"), "--sample", "NA3", "--out", scratch.file("m")});
  EXPECT_TRUE(run.fatal);
  EXPECT_NE(
      run.err.find("sample NA3 is not in " + dataFile("calls.vcf") + " (its samples: NA1, NA2)"),
      std::string::npos)
      << run.err;
  const auto none = runConvert({"map", "--vcf", dataFile("calls.vcf"), "--sample", "NA1",
                                "--region", "20:1-99", "--out", scratch.file("m")});
  EXPECT_TRUE(none.fatal);
  EXPECT_NE(none.err.find("no biallelic SNP called for sample NA1 in 20:1-99"), std::string::npos)
      << none.err;
}

// The shared target's calls give the shared maps: all SNPs for inference,
// the heterozygous ones for assembly.
TEST(MapConverter, SharedCallsGiveTheSharedMaps) {
  const std::string shared = velta_test::sharedDir();
  if (shared.empty()) GTEST_SKIP() << "../shared is absent: no shared calls to convert";
  const std::string folder = shared + "/data/HG01500/small/";
  const std::string vcf = folder + "inference/target.unphased.vcf.gz";
  ScratchDir scratch;
  const auto all =
      runConvert({"map", "--vcf", vcf, "--sample", "HG01500", "--out", scratch.file("all.map")});
  ASSERT_FALSE(all.fatal) << all.err;
  EXPECT_TRUE(readFile(scratch.file("all.map")) == readFile(folder + "inference/map.txt"));
  const auto het = runConvert(
      {"map", "--vcf", vcf, "--sample", "HG01500", "--het-only", "--out", scratch.file("het.map")});
  ASSERT_FALSE(het.fatal) << het.err;
  EXPECT_TRUE(readFile(scratch.file("het.map")) == readFile(folder + "assembly/map.txt"));
}

}  // namespace
