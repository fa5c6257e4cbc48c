#include "Velta.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Parameter.h"
#include "TestSupport.h"

namespace {

using velta_test::RunResult;
using velta_test::runVeltaBinary;
using velta_test::ScratchDir;

const char kBanner[] =
    "@----------------------------------------------------------@\n"
    "|         VELTA!       |      v0.21      |    8/Nov/201 3  |\n"
    "|----------------------------------------------------------|\n"
    "|  For documentation, citation & bug-report instructions:  |\n"
    "|           README.md in the velta source folder           |\n"
    "@----------------------------------------------------------@\n\n";

const char kUsage[] =
    "Usage: velta [options]\n"
    "options: \n"
    "--sfile seq_file : sequencing read file\n"
    "--rfile ref_file : reference haplotype file\n"
    "--mfile map_file : SNP map file\n"
    "--output out_file : output haplotype file\n"
    "-n iteration: number of sampling iterations (default 1e3)\n"
    "-u mu : smoothing parameter for sampling (default 1)\n"
    "-e epsilon : sequencing error rate (default 0.01)\n"
    "-w omega : mismatch error rate between reference and donar haplotype (default 2e-3)\n"
    "-r rho : population constant for computing transitions (default 1e-3)\n"
    "-v verbose : verbose level (default 1)\n";

TEST(Banner, EveryLineIsSixtyCharactersWide) {
  testing::internal::CaptureStdout();
  printVersionInformation();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, kBanner);
  size_t start = 0;
  for (int i = 0; i < 6; ++i) {
    const size_t end = out.find('\n', start);
    EXPECT_EQ(end - start, 60U) << "banner line " << i + 1;
    start = end + 1;
  }
}

// The usage text promises defaults; they must be the record's.
TEST(Usage, DefaultsAgreeWithTheRecord) {
  Parameter p;
  EXPECT_EQ(p.getMaxIter(), 1000);
  EXPECT_DOUBLE_EQ(p.getSmoothMu(), 1.0);
  EXPECT_DOUBLE_EQ(p.getSeqError(), 0.01);
  EXPECT_DOUBLE_EQ(p.getEmitError(), 2e-3);
  EXPECT_DOUBLE_EQ(p.getTranNe(), 1e-3);
  EXPECT_EQ(p.getVerbose(), 1);
  const std::string usage = kUsage;
  EXPECT_NE(usage.find("(default 1e3)"), std::string::npos);
  EXPECT_NE(usage.find("(default 0.01)"), std::string::npos);
}

struct MalformedCase {
  const char* name;
  std::vector<std::string> args;
  const char* err;
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
  *os << c.name;
}

class MalformedCommandLine : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedCommandLine, PrintsTheUsageAndEndsWithStatusOne) {
  const RunResult r = runVeltaBinary(GetParam().args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, std::string(kBanner) + kUsage);
  EXPECT_EQ(r.err, GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedCommandLine,
    ::testing::Values(
        MalformedCase{"NoArguments", {}, ""},
        MalformedCase{"FirstArgumentWithoutDash", {"n", "5"}, ""},
        MalformedCase{"OptionWithoutValue", {"-n"}, ""},
        MalformedCase{"TrailingArgument", {"-n", "5", "x"}, ""},
        MalformedCase{"TrailingOptionWithoutValue", {"-n", "5", "-m"}, ""},
        MalformedCase{"UnknownShortOption", {"-x", "5"}, "WARINING => Unknown options: -x\n\n"},
        MalformedCase{"LoneDash", {"-", "5"}, "WARINING => Unknown options: -\n\n"},
        MalformedCase{
            "UnknownLongOption", {"--seq", "reads.txt"}, "WARINING => Unknown options: --seq\n\n"},
        MalformedCase{"UnknownAfterKnown",
                      {"-n", "5", "--sfilex", "a"},
                      "WARINING => Unknown options: --sfilex\n\n"}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    map_ = scratch_.write("map.txt", "20 rs1 100 100 A G\n20 rs2 200 200 C T\n");
    reads_ = scratch_.write("reads.txt", "1 AC\n2 T\n");
  }
  ScratchDir scratch_;
  std::string map_;
  std::string reads_;
};

TEST_F(CommandLine, LastValueWinsAndValuesConvertWithoutChecks) {
  const RunResult r = runVeltaBinary({"--mfile", map_, "--sfile", reads_, "-n", "10", "-n", "0",
                                      "-e", "abc", "-w", "0.5x", "-r", "-5", "-v", "300"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("    -n 0\n"), std::string::npos);
  EXPECT_NE(r.out.find("    -e 0.000000\n"), std::string::npos);
  EXPECT_NE(r.out.find("    -w 0.500000\n"), std::string::npos);
  EXPECT_NE(r.out.find("    -r -5.000000\n"), std::string::npos);
  EXPECT_NE(r.out.find("    -v 44\n"), std::string::npos);
}

TEST_F(CommandLine, VerboseIsReducedToItsLowEightBits) {
  struct Case {
    const char* value;
    int level;
  };
  for (Case c : {Case{"300", 44}, Case{"-1", 255}, Case{"0", 0}, Case{"256", 0}}) {
    Parameter p;
    std::string v = c.value;
    std::vector<char*> argv = {const_cast<char*>("velta"), const_cast<char*>("-v"), v.data()};
    parseInputParameter(static_cast<int>(argv.size()), argv.data(), p);
    EXPECT_EQ(p.getVerbose(), c.level) << c.value;
  }
}

TEST_F(CommandLine, ShortOptionsAreSelectedByTheirSecondCharacter) {
  Parameter p;
  std::vector<std::string> words = {"velta", "-number", "7",   "-mx", "3", "-s",
                                    "12",    "-u",      "0.5", "-r",  "-5"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  parseInputParameter(static_cast<int>(argv.size()), argv.data(), p);
  EXPECT_EQ(p.getMaxIter(), 7);
  EXPECT_EQ(p.getSubIter(), 3);
  EXPECT_EQ(p.getSampleSize(), 12);
  EXPECT_DOUBLE_EQ(p.getSmoothMu(), 0.5);
  EXPECT_DOUBLE_EQ(p.getTranNe(), -5.0);
}

TEST_F(CommandLine, MissingReadFileIsFatal) {
  const std::string missing = scratch_.file("nowhere.txt");
  const RunResult r = runVeltaBinary({"--sfile", missing, "--mfile", map_});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "FATAL => Sequencing file " + missing + " does not exist\n\n");
  EXPECT_EQ(r.out, kBanner);
}

TEST_F(CommandLine, MissingMapFileIsFatal) {
  const std::string missing = scratch_.file("nomap.txt");
  const RunResult r = runVeltaBinary({"--mfile", missing});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "FATAL => SNP map file " + missing + " does not exist\n\n");
}

TEST_F(CommandLine, MissingReferenceFileWarnsAndKeepsAssemblyMode) {
  const std::string missing = scratch_.file("nopanel.txt");
  const RunResult r =
      runVeltaBinary({"--rfile", missing, "--mfile", map_, "--sfile", reads_, "-n", "3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "WARINING => Reference file " + missing +
                       " does not exist, swithcing to haplotype assembly\n\n");
  EXPECT_EQ(r.out.find("--rfile"), std::string::npos);
  EXPECT_NE(r.out.find("Number of SNP : [2]"), std::string::npos);
}

TEST_F(CommandLine, ReportListsTheOptionsInEffect) {
  const RunResult r = runVeltaBinary({"--mfile", map_, "--sfile", reads_, "-v", "0", "-n", "2"});
  EXPECT_EQ(r.status, 0);
  const std::string expected = "Options in effect:\n    --sfile " + reads_ + "\n    --mfile " +
                               map_ +
                               "\n    --output \n    -n 2\n    -u 1.000000\n    -e 0.010000\n"
                               "    -w 0.002000\n    -r 0.001000\n    -v 0\n\n";
  EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("sampling time (read "), std::string::npos);
}

}  // namespace
