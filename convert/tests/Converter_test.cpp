#include "Converter.h"

#include <gtest/gtest.h>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using velta_test::runVeltaBinary;  // runs velta-convert in this test executable
using velta_test::ScratchDir;

TEST(ConverterBinary, ExitStatusAndStreams) {
  const auto bare = runVeltaBinary({});
  EXPECT_EQ(bare.status, 1);
  EXPECT_NE(bare.err.find("Usage: velta-convert <command> [options]"), std::string::npos);

  const auto help = runVeltaBinary({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: velta-convert <command> [options]"), std::string::npos);

  ScratchDir scratch;
  const auto missing =
      runVeltaBinary({"panel", "--vcf", scratch.file("none.vcf.gz"), "--out", scratch.file("p")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("FATAL => cannot open panel VCF " + scratch.file("none.vcf.gz")),
            std::string::npos)
      << missing.err;

  const auto done = runVeltaBinary({"map", "--vcf", convert_test::dataFile("calls.vcf"), "--sample",
                                    "NA1", "--out", scratch.file("m.map")});
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(velta_test::readFile(scratch.file("m.map")).substr(0, 19), "20 rs1 100 100 A G\n");
}

}  // namespace
