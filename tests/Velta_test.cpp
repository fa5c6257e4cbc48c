#include "Velta.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "PhasePolish.h"
#include "Read.h"
#include "TestSupport.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace {

using velta_test::RunResult;
using velta_test::runVeltaBinary;
using velta_test::betterOrientationMismatch;
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
    "-v verbose : verbose level (default 1)\n"
    "--polish 0/1 : final phase stage after sampling (default 1)\n"
    "--threads n : threads used by the sampler and the final phase (default 1)\n"
    "--seed n : seed of the random generator (default: the clock)\n";

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
// The usage text the program prints promises defaults; they must be the
// record's.
TEST(Usage, DefaultsAgreeWithTheRecord) {
  const std::string out = runVeltaBinary({}).out;
  const Parameter p;
  struct Default {
    const char* option;
    double value;
  };
  const Default defaults[] = {{"-n ", static_cast<double>(p.getMaxIter())},
                              {"-u ", p.getSmoothMu()},
                              {"-e ", p.getSeqError()},
                              {"-w ", p.getEmitError()},
                              {"-r ", p.getTranNe()},
                              {"-v ", static_cast<double>(p.getVerbose())}};
  for (const Default& d : defaults) {
    const std::size_t start = out.find(std::string("\n") + d.option);
    ASSERT_NE(start, std::string::npos) << d.option;
    const std::size_t text = out.find("(default ", start);
    ASSERT_NE(text, std::string::npos) << d.option;
    EXPECT_DOUBLE_EQ(std::strtod(out.c_str() + text + 9, nullptr), d.value) << d.option;
  }
}

struct MalformedCase {
  const char* name;
  std::vector<std::string> args;
  const char* err;
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
  *os << c.name;
}

// True when `text` is `prefix`, a decimal number, then `suffix`.
bool isNumberedLine(const std::string& text, const std::string& prefix, const std::string& suffix) {
  if (text.size() <= prefix.size() + suffix.size()) return false;
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  if (text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  const std::string number =
      text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
  return number.find_first_not_of("0123456789") == std::string::npos;
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
  const RunResult r = runVeltaBinary({"--rfile", missing, "--mfile", map_, "--sfile", reads_, "-n",
                                      "3", "--output", scratch_.file("out.txt")});
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

// A whole assembly run: six SNPs, reads without errors that link them all.
class AssemblyRun : public ::testing::Test {
 protected:
  void SetUp() override {
    map_ = scratch_.write("map.txt",
                          "20 a 1 1 A G\n20 b 2 2 C T\n20 c 3 3 G A\n20 d 4 4 T C\n"
                          "20 e 5 5 A C\n20 f 6 6 C A\n");
    // Truth: A T G C C C on one haplotype, G C A T A A on the other.
    reads_ = scratch_.write("reads.txt", "1 ATG\n2 CAT\n3 GCC\n4 TAA 1 G\n1 A-GC\n");
    out_ = scratch_.file("out.txt");
  }
  std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  ScratchDir scratch_;
  std::string map_;
  std::string reads_;
  std::string out_;
};

TEST_F(AssemblyRun, VerboseLevelsGateTheProgressMessages) {
  for (int verbose : {0, 1, 2}) {
    const RunResult r = runVeltaBinary({"--mfile", map_, "--sfile", reads_, "--output", out_, "-n",
                                        "7", "-v", std::to_string(verbose)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.substr(0, sizeof kBanner - 1), kBanner);
    std::vector<std::string> expected = {"Options in effect:",
                                         "    --sfile " + reads_,
                                         "    --mfile " + map_,
                                         "    --output " + out_,
                                         "    -n 7",
                                         "    -u 1.000000",
                                         "    -e 0.010000",
                                         "    -w 0.002000",
                                         "    -r 0.001000",
                                         "    -v " + std::to_string(verbose),
                                         "",
                                         "Number of read : [5]",
                                         "Number of read bit : [16]",
                                         "Number of SNP per read on average : [3.20]",
                                         "Number of SNP : [6]",
                                         ""};
    if (verbose >= 1) expected.push_back("Haplotype assembly start...");
    const std::vector<std::string> got = linesOf(r.out.substr(sizeof kBanner - 1));
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + expected.size()), expected);
    std::size_t i = expected.size();
    const int perIteration = verbose >= 2 ? 7 : 0;
    ASSERT_EQ(got.size(), i + perIteration + 3) << r.out;
    for (int k = 0; k < perIteration; ++k, ++i) {
      EXPECT_TRUE(isNumberedLine(got[i], "no. of mismatch = ", "")) << got[i];
    }
    EXPECT_TRUE(isNumberedLine(got[i], "Optimal number of mismatch : [", "]")) << got[i];
    EXPECT_EQ(got[i + 1], "start output");
    unsigned long long reads = 0, haplotypes = 0, references = 0;
    double readTime = -1, haplotypeTime = -1, referenceTime = -1;
    EXPECT_EQ(
        std::sscanf(got[i + 2].c_str(),
                    "sampling time (read %llu %lf, haplotype %llu %lf, reference %llu %lf)", &reads,
                    &readTime, &haplotypes, &haplotypeTime, &references, &referenceTime),
        6)
        << got[i + 2];
    EXPECT_EQ(reads, 35U);
    EXPECT_EQ(haplotypes, 7U);
    EXPECT_EQ(references, 0U);
    EXPECT_GE(readTime, 0.0);
    EXPECT_EQ(referenceTime, 0.0);
    // Every output line holds a SNP's two alleles, one per haplotype.
    const std::string written = velta_test::readFile(out_);
    ASSERT_EQ(written.size(), 18U);
    const char* alleles[] = {"AG", "CT", "GA", "TC", "AC", "CA"};
    for (int snp = 0; snp < 6; ++snp) {
      const std::string lineText = written.substr(3 * snp, 3);
      const std::string pair = alleles[snp];
      EXPECT_TRUE(lineText == pair + "\n" || lineText == std::string(1, pair[1]) + pair[0] + "\n")
          << "SNP " << snp << ": " << lineText;
    }
  }
}

TEST_F(AssemblyRun, WithoutOutputNameWarnsOnceAndWritesNothing) {
  ScratchDir cwd;
  const RunResult r =
      runVeltaBinary({"--mfile", map_, "--sfile", reads_, "-n", "3"}, "cd '" + cwd.path() + "' &&");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "WARINING => No output file given (--output): the phased haplotypes will not be "
            "written\n\n");
  EXPECT_NE(r.out.find("start output\n"), std::string::npos);
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + cwd.path() + "')\"").c_str()), 0);
}

TEST_F(AssemblyRun, AnOutputThatCannotBeCreatedEndsTheRunBeforeAnyWork) {
  const std::string out = scratch_.file("no/such/folder/out.txt");
  const RunResult r = runVeltaBinary({"--mfile", map_, "--sfile", reads_, "--output", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kBanner);
  EXPECT_EQ(r.err,
            "FATAL => Output file " + out + " cannot be created: No such file or directory\n\n");
}

// In-process runs of the sampler, seeded explicitly.
class AssemblySampler : public ::testing::Test {
 protected:
  void load(const std::string& map, const std::string& reads) {
    std::istringstream mapIn(map);
    parameter_.initFromMapStream(mapIn);
    std::istringstream readIn(reads);
    readSeqStream(readIn, "reads.txt", reads_, parameter_);
  }
  std::string runQuietly(Haplotype& haplotype) {
    testing::internal::CaptureStdout();
    assemblyGibbs(haplotype, reads_, parameter_);
    return testing::internal::GetCapturedStdout();
  }
  Parameter parameter_;
  std::vector<Read> reads_;
};

TEST_F(AssemblySampler, ErrorFreeLinkedReadsGiveTheTruthUpToSwap) {
  const int nSnp = 60;
  veltaSrand(2024);
  std::string map;
  std::vector<bool> truth(nSnp);
  for (int j = 0; j < nSnp; ++j) {
    map += "1 s" + std::to_string(j) + " " + std::to_string(j) + " 0 C T\n";
    truth[j] = veltaRand() & 1;
  }
  // Reads of 3 to 12 consecutive SNPs from either haplotype, starting at every
  // SNP, some with gaps: each neighbouring pair of SNPs is linked.
  std::string reads;
  for (int round = 0; round < 3; ++round) {
    for (int start = 0; start + 1 < nSnp; ++start) {
      const int length = std::min(nSnp - start, 3 + veltaRand() % 10);
      const bool fromSecond = veltaRand() & 1;
      std::string token;
      for (int j = start; j < start + length; ++j) {
        const bool gap = j > start + 1 && j + 1 < start + length && veltaRand() % 5 == 0;
        token += gap ? '-' : (truth[j] != fromSecond ? 'T' : 'C');
      }
      reads += std::to_string(start + 1) + " " + token + "\n";
    }
  }
  load(map, reads);
  parameter_.setMaxIter(300);
  veltaSrand(7);
  Haplotype haplotype(nSnp);
  EXPECT_EQ(runQuietly(haplotype), "Optimal number of mismatch : [0]\n");
  EXPECT_EQ(assemblyMismatch(haplotype), 0);
  std::vector<bool> got(nSnp);
  for (int j = 0; j < nSnp; ++j) got[j] = haplotype[j];
  std::vector<bool> swapped(nSnp);
  for (int j = 0; j < nSnp; ++j) swapped[j] = !truth[j];
  EXPECT_TRUE(got == truth || got == swapped);
}

TEST_F(AssemblySampler, MismatchCountsTheCallsAgainstEachAllele) {
  load("1 a 1 0 A G\n1 b 2 0 A G\n1 c 3 0 A G\n", "");
  Haplotype h(std::vector<bool>{false, true, false});
  const Read read("1 GGG", parameter_);
  for (int i = 0; i < 3; ++i) h.appendRead(read, false);
  h.appendRead(Read("1 AA", parameter_), false);
  // SNP 1 (major) has 3 minor calls, SNP 2 (minor) 1 major call, SNP 3
  // (major) 3 minor calls.
  EXPECT_EQ(assemblyMismatch(h), 7);
}

TEST_F(AssemblySampler, ConsumesOneDrawPerSnpAndPerReadEachIteration) {
  load("1 a 1 0 A G\n1 b 2 0 A G\n1 c 3 0 A G\n", "1 AG\n2 GG\n3 A\n1 A-A\n");
  parameter_.setMaxIter(5);
  Haplotype h(3);
  veltaSrand(40);
  runQuietly(h);
  const int next = veltaRand();
  veltaSrand(40);
  for (int i = 0; i < 5 * (3 + 4); ++i) veltaRand();
  EXPECT_EQ(veltaRand(), next);
}

TEST_F(AssemblySampler, NoIterationKeepsTheStartAndReportsTheLargestMismatch) {
  load("1 a 1 0 A G\n1 b 2 0 A G\n", "1 AG\n");
  parameter_.setMaxIter(0);
  veltaSrand(3);
  Haplotype h(2);
  const bool first = h[0];
  const bool second = h[1];
  EXPECT_EQ(runQuietly(h), "Optimal number of mismatch : [2147483647]\n");
  EXPECT_EQ(h[0], first);
  EXPECT_EQ(h[1], second);
  // The reads were loaded into the counts all the same.
  EXPECT_EQ(h.getCount(0, false) + h.getCount(0, true), 1);
}

TEST_F(AssemblySampler, WithoutReadsTheFirstStateIsKept) {
  load("1 a 1 0 A G\n1 b 2 0 A G\n1 c 3 0 A G\n", "");
  parameter_.setMaxIter(4);
  parameter_.setVerbose(2);
  veltaSrand(9);
  Haplotype h(3);
  EXPECT_EQ(runQuietly(h),
            "no. of mismatch = 0\nno. of mismatch = 0\nno. of mismatch = 0\n"
            "no. of mismatch = 0\nOptimal number of mismatch : [0]\n");
  // Later states, equally good, do not replace the first iteration's draws.
  veltaSrand(9);
  for (int j = 0; j < 3; ++j) veltaRand();  // the random start
  for (int j = 0; j < 3; ++j) EXPECT_EQ(h[j], !(0.5 > velta_test::uniformDraw())) << j;
}

TEST_F(AssemblySampler, PolishingMendsASwitchOfPhase) {
  load("1 a 1 0 A G\n1 b 2 0 A G\n1 c 3 0 A G\n1 d 4 0 A G\n1 e 5 0 A G\n",
       "1 AGA\n2 GAG\n3 AGA\n1 GAGAG\n");
  // The truth is A G A G A (or its complement); the last two SNPs are switched.
  Haplotype h(std::vector<bool>{false, true, false, false, true});
  EXPECT_EQ(polishAssembly(h, reads_), 0);
  EXPECT_EQ(assemblyMismatch(h), 0);
  const std::vector<bool> truth = {false, true, false, true, false};
  std::vector<bool> got;
  for (int j = 0; j < 5; ++j) got.push_back(h[j]);
  const std::vector<bool> swapped = {true, false, true, false, true};
  EXPECT_TRUE(got == truth || got == swapped);
}

TEST_F(AssemblySampler, PolishedStatesAreLocalOptimaWithConsistentCounts) {
  const int nSnp = 40;
  std::string map;
  for (int j = 0; j < nSnp; ++j)
    map += "1 s" + std::to_string(j) + " " + std::to_string(j) + " 0 A G\n";
  veltaSrand(55);
  std::string text;
  for (int r = 0; r < 120; ++r) {
    // Noisy reads, some with two fragments that may overlap.
    for (int f = 0, n = 1 + veltaRand() % 2; f < n; ++f) {
      text += std::to_string(1 + veltaRand() % (nSnp - 6)) + " ";
      for (int j = 0, len = 1 + veltaRand() % 6; j < len; ++j) text += "AG-"[veltaRand() % 3];
      text += " ";
    }
    text += "\n";
  }
  load(map, text);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<bool> start(nSnp);
    for (int j = 0; j < nSnp; ++j) start[j] = veltaRand() & 1;
    Haplotype h(start);
    const int polished = polishAssembly(h, reads_);
    std::vector<bool> alleles(nSnp);
    for (int j = 0; j < nSnp; ++j) alleles[j] = h[j];
    const long long reached = betterOrientationMismatch(alleles, reads_);
    EXPECT_EQ(polished, reached);
    EXPECT_EQ(assemblyMismatch(h), reached);
    EXPECT_LE(reached, betterOrientationMismatch(start, reads_));
    // No single complement and no switch of phase lowers it further.
    for (int from = 0; from < nSnp; ++from) {
      for (int to : {from + 1, nSnp}) {
        std::vector<bool> moved = alleles;
        for (int j = from; j < to; ++j) moved[j] = !moved[j];
        ASSERT_GE(betterOrientationMismatch(moved, reads_), reached) << from << ".." << to;
      }
    }
    // The counts are those of the reads under their flips.
    Haplotype rebuilt(alleles);
    for (const Read& read : reads_) rebuilt.assignRead(read, Haplotype::ALL_READS);
    for (int j = 0; j < nSnp; ++j) {
      ASSERT_EQ(h.getCount(j, false), rebuilt.getCount(j, false));
      ASSERT_EQ(h.getCount(j, true), rebuilt.getCount(j, true));
    }
  }
}

}  // namespace
