#include "Compare.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CompareTestSupport.h"
#include "Parameter.h"
#include "VeltaUtil.h"

namespace {

using velta_test::runCompareBinary;
using velta_test::RunResult;
using velta_test::ScratchDir;

// The last line of the report.
std::string lastLine(const std::string& out) {
  const std::size_t end = out.find_last_of('\n');
  if (end == std::string::npos) return out;
  const std::size_t start = out.find_last_of('\n', end - 1);
  return out.substr(start == std::string::npos ? 0 : start + 1, end - start - 1);
}

std::map<std::string, std::string> keyValues(const std::string& text) {
  std::map<std::string, std::string> values;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    const std::size_t equals = word.find('=');
    if (equals != std::string::npos) values[word.substr(0, equals)] = word.substr(equals + 1);
  }
  return values;
}

// Eight heterozygous SNPs; the reads link SNPs 1-4 and 5-8. The phased pair
// has a flip at SNP 2 and a switch between SNPs 4 and 5, the border of the
// blocks.
struct TwoBlocks {
  ScratchDir dir;
  std::string truth = dir.write("truth.txt", "AG\nCT\nGA\nTC\nAC\nGT\nCA\nTG\n");
  std::string phased = dir.write("phased.txt", "AG\nTC\nGA\nTC\nCA\nTG\nAC\nGT\n");
  std::string map = dir.write("map.txt",
                              "20 s1 1000 1000 A G\n20 s2 1100 1100 C T\n20 s3 1250 1250 G A\n"
                              "20 s4 1400 1400 T C\n20 s5 5000 5000 A C\n20 s6 5100 5100 G T\n"
                              "20 s7 5150 5150 C A\n20 s8 6000 6000 T G\n");
  std::string reads = dir.write("reads.txt", "1 AC\n2 TG 4 T\n5 CG\n6 T-G\n8 G\n7 AG\n");
};

TEST(CompareRun, TwoBlocksWithTheSwitchAtTheirBorder) {
  TwoBlocks f;
  const RunResult r = runCompareBinary({f.truth, f.phased, "--map", f.map, "--reads", f.reads});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Within blocks: the flip at SNP 2 only; pairs 3 + 3; spans 4 SNPs each,
  // 400 and 1000 in coordinates.
  EXPECT_EQ(lastLine(r.out),
            "snps=8 het=8 geno_err=0 geno_err_rate=0.000000 het_called=8 switch_pairs=6 switch=2 "
            "switch_rate=0.333333 flip=1 long_switch=0 hamming=3 hamming_rate=0.375000 blocks=2 "
            "het_in_blocks=8 largest_block=4 n50_snps=4 n50_span=1000");
}

TEST(CompareRun, WithoutReadsTheBorderSwitchCounts) {
  TwoBlocks f;
  const RunResult r = runCompareBinary({f.phased, f.truth});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto values = keyValues(lastLine(r.out));
  EXPECT_EQ(values.at("switch"), "3");
  EXPECT_EQ(values.at("flip"), "1");
  EXPECT_EQ(values.at("long_switch"), "1");
  EXPECT_EQ(values.at("switch_pairs"), "7");
  EXPECT_EQ(values.count("blocks"), 0U);
  EXPECT_NE(r.out.find("SNPs                          8\n"), std::string::npos) << r.out;
}

struct UsageCase {
  std::vector<std::string> args;
  std::string message;
};

TEST(CompareRun, MalformedCommandLinesPrintUsageAndFail) {
  const UsageCase cases[] = {
      {{}, "two files are needed"},
      {{"a.txt"}, "two files are needed"},
      {{"a.txt", "b.txt", "c.txt"}, "unexpected third file name c.txt"},
      {{"a.txt", "b.txt", "--map"}, "option --map needs a file name"},
      {{"a.txt", "--reads"}, "option --reads needs a file name"},
      {{"a.txt", "b.txt", "--mpa", "m.txt"}, "unknown option --mpa"},
      {{"a.txt", "b.txt", "--reads", "r.txt"}, "option --reads needs --map MAP"},
  };
  for (const UsageCase& c : cases) {
    const RunResult r = runCompareBinary(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Usage: velta-compare TRUTH PHASED"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST(CompareRun, HelpGoesToStandardOutput) {
  const RunResult r = runCompareBinary({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: velta-compare TRUTH PHASED [--map MAP] [--reads READS]\n", 0), 0U);
  EXPECT_EQ(r.err, "");
}

TEST(CompareRun, InputFaultsAreFatalAndNameTheFile) {
  TwoBlocks f;
  const std::string shorter = f.dir.write("short.txt", "AG\nCT\n");
  const std::string badMap = f.dir.write("bad.map.txt", "20 s1 1000 1000 A G\n");
  const std::string badAllele = f.dir.write("n.txt", "AG\nCT\nGA\nTC\nAC\nGT\nCA\nTN\n");
  const std::string zeroReads = f.dir.write("zero.txt", "1 AC\n0 CAT\n");
  const UsageCase cases[] = {
      {{f.truth, shorter}, "has 8 SNP lines but"},
      {{f.truth, f.dir.file("absent.txt")}, "absent.txt cannot be opened"},
      {{f.truth, f.phased, "--map", badMap}, "bad.map.txt has 1 SNPs but"},
      {{f.truth, f.phased, "--map", f.dir.file("none.map")}, "SNP map file"},
      {{f.truth, badAllele, "--map", f.map}, "n.txt line 8: allele 'N' is not an allele of SNP 8"},
      {{f.truth, f.phased, "--map", f.map, "--reads", zeroReads},
       "Read file " + zeroReads + ", line 2: SNP positions count from 1, found position 0"},
      {{f.truth, f.phased, "--map", f.map, "--reads", f.dir.file("none.reads")},
       "none.reads cannot be opened"},
  };
  for (const UsageCase& c : cases) {
    const RunResult r = runCompareBinary(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// --- Agreement with the project's reference scorer on the shared data ---

bool havePython() {
  return std::system("python3 -c 'pass' >/dev/null 2>&1") == 0;
}

// A phasing of `truth` with errors of every kind, drawn from a seeded
// generator: switches, single-SNP flips, homozygous calls at heterozygous SNPs
// and heterozygous calls (with the map's other allele) at homozygous SNPs.
std::string perturbedPhasing(const std::string& truthFile, const std::string& mapFile,
                             unsigned int seed) {
  Parameter map;
  std::istringstream mapText(velta_test::readFile(mapFile));
  map.initFromMapStream(mapText);
  veltaSrand(seed);
  std::istringstream lines(velta_test::readFile(truthFile));
  std::string pair;
  std::string out;
  bool swapped = false;
  for (unsigned int j = 0; std::getline(lines, pair); ++j) {
    const int draw = veltaRand() % 1000;
    if (draw < 20) swapped = !swapped;  // a switch before this SNP
    std::string called = swapped ? std::string{pair[1], pair[0]} : pair;
    if (draw >= 20 && draw < 40) called = std::string{called[1], called[0]};  // a flip
    if (draw >= 40 && draw < 50) {                                            // a genotype error
      const char other =
          called[0] == map.getMajorAllele(j) ? map.getMinorAllele(j) : map.getMajorAllele(j);
      called[1] = called[0] == called[1] ? other : called[0];
    }
    out += called + "\n";
  }
  return out;
}

std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

TEST(CompareRun, AgreesWithTheReferenceScorerOnTheSharedData) {
  const std::string shared = velta_test::sharedDir();
  if (shared.empty()) GTEST_SKIP() << "shared data folder not found beside the repository";
  if (!havePython()) GTEST_SKIP() << "python3 is needed to run the reference scorer";
  const std::string scorer = shared + "/tools/score.py";
  ScratchDir dir;
  unsigned int seed = 1;
  for (const char* set :
       {"small/assembly", "small/inference", "large/assembly", "large/inference"}) {
    const std::string folder = shared + "/data/HG01500/" + set;
    const std::string truth = folder + "/truth.txt";
    const std::string map = folder + "/map.txt";
    const std::string phased = dir.write("phased.txt", perturbedPhasing(truth, map, seed++));
    for (const char* reads : {"", "reads.txt", "reads.long.txt"}) {
      SCOPED_TRACE(std::string(set) + " " + reads);
      std::vector<std::string> args{truth, phased, "--map", map};
      std::string command = "python3 '" + scorer + "' '" + truth + "' '" + phased + "'";
      if (*reads) {
        args.insert(args.end(), {"--reads", folder + "/" + reads});
        command += " --reads '" + folder + "/" + reads + "'";
      }
      const RunResult ours = runCompareBinary(args);
      ASSERT_EQ(ours.status, 0) << ours.err;
      auto mine = keyValues(lastLine(ours.out));
      auto theirs = keyValues(lastLine(commandOutput(command)));
      ASSERT_FALSE(theirs.empty()) << "the reference scorer printed nothing";
      // The reference names the Hamming count hamming_n and its rate hamming.
      theirs["hamming_rate"] = theirs["hamming"];
      theirs["hamming"] = theirs["hamming_n"];
      for (const char* key : {"snps", "het", "geno_err", "geno_err_rate", "het_called", "switch",
                              "switch_rate", "flip", "long_switch", "hamming", "hamming_rate"}) {
        EXPECT_EQ(mine[key], theirs[key]) << key;
      }
      EXPECT_NE(mine["switch"], "0") << "the perturbed phasing should hold switch errors";
      EXPECT_NE(mine["geno_err"], "0") << "the perturbed phasing should hold genotype errors";
    }
  }
}

}  // namespace
