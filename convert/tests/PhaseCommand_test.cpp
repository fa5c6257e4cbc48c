#include "PhaseCommand.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "PhasedCalls.h"
#include "TestSupport.h"
#include "Velta.h"

namespace {

using convert_test::runConvert;
using convert_test::tabField;
using convert_test::vcfBodyLines;
using velta_test::fileExists;
using velta_test::readFile;
using velta_test::ScratchDir;

const std::string kExample = std::string(VELTA_SOURCE_DIR) + "/convert/example/";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The sample's GT (the first FORMAT field of column 10) and PS, if any.
std::string genotype(const std::string& record) {
  const std::string sample = tabField(record, 9);
  return sample.substr(0, sample.find(':'));
}

struct Agreement {
  int phased = 0;         // heterozygous SNPs written phased
  int unphased = 0;       // heterozygous SNPs written 0/1
  int switches = 0;       // switch errors between consecutive phased SNPs of one set
  int wrongGenotype = 0;  // phased genotypes that are not the truth's pair
};

// Compares the output's phased heterozygous SNPs with the truth (line k of
// example/truth.txt is record k of the example VCF).
Agreement againstTruth(const std::vector<std::string>& records) {
  const std::vector<std::string> truth =
      lines(readFile(std::string(VELTA_SOURCE_DIR) + "/example/truth.txt"));
  EXPECT_EQ(records.size(), truth.size());
  Agreement agreement;
  std::string lastSet;
  int lastOrientation = -1;
  for (std::size_t k = 0; k < records.size() && k < truth.size(); ++k) {
    const std::string gt = genotype(records[k]);
    if (gt == "0/1") ++agreement.unphased;
    if (gt.size() != 3 || gt[1] != '|' || gt[0] == gt[2]) continue;
    ++agreement.phased;
    const char alt = tabField(records[k], 4)[0];
    const int t0 = truth[k][0] == alt;
    const int t1 = truth[k][1] == alt;
    if (t0 == t1) {
      ++agreement.wrongGenotype;
      continue;
    }
    const int orientation = (gt[0] - '0') == t0;
    const std::string set = tabField(records[k], 9).substr(4);
    if (set == lastSet && orientation != lastOrientation) ++agreement.switches;
    lastSet = set;
    lastOrientation = orientation;
  }
  return agreement;
}

struct ModeCase {
  const char* name;
  bool withPanel;
  int minPhased;
  int maxSwitches;
};

// 71 heterozygous SNPs: short pairs link about half of them alone; the panel
// links them all. Seeds are fixed; the thresholds leave room for any seed.
// `phase` on the example's calls and reads (and its panel for inference),
// written to `out`, with velta's options after.
std::vector<std::string> examplePhaseArgs(const std::string& out, bool withPanel,
                                          const std::vector<std::string>& options) {
  std::vector<std::string> args = {"phase", "--vcf", kExample + "HG01500.vcf.gz", "--sample",
                                   "HG01500", "--bam", kExample + "HG01500.bam", "--out", out};
  args.insert(args.end(), options.begin(), options.end());
  if (withPanel) {
    args.push_back("--panel");
    args.push_back(kExample + "panel.vcf.gz");
  }
  return args;
}

TEST(PhaseCommand, BothModesPhaseTheExampleLikeTheTruth) {
  const ModeCase cases[] = {
      {"assembly", false, 35, 3},
      {"inference", true, 60, 8},
  };
  for (const ModeCase& mode : cases) {
    SCOPED_TRACE(mode.name);
    ScratchDir scratch;
    const std::string out = scratch.file("phased.vcf.gz");
    const std::vector<std::string> args =
        examplePhaseArgs(out, mode.withPanel, {"-n", "100", "--seed", "11"});
    const auto run = runConvert(args);
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_TRUE(fileExists(out + ".tbi"));
    EXPECT_FALSE(fileExists(out + ".part"));
    const Agreement agreement = againstTruth(vcfBodyLines(out));
    EXPECT_EQ(agreement.phased + agreement.unphased, 71);
    EXPECT_GE(agreement.phased, mode.minPhased);
    EXPECT_LE(agreement.switches, mode.maxSwitches);
    EXPECT_EQ(agreement.wrongGenotype, 0);
    EXPECT_NE(run.out.find("phased in"), std::string::npos) << run.out;
  }
}

// A user's annotations survive: other samples, INFO and FORMAT fields, and
// the records that are not the sample's heterozygous SNPs.
TEST(PhaseCommand, PassesEverythingElseThrough) {
  ScratchDir scratch;
  std::string text = convert_test::vcfText(kExample + "HG01500.vcf.gz");
  text = convert_test::replaceOnce(
      text, "##contig=<ID=20>",
      "##contig=<ID=20>\n##INFO=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">\n"
      "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">");
  std::string annotated;
  int k = 0;
  for (const std::string& line : lines(text)) {
    if (line.rfind("#CHROM", 0) == 0) {
      annotated += line + "\tOTHER\n";
    } else if (line[0] == '#') {
      annotated += line + "\n";
    } else {
      std::vector<std::string> field;
      std::istringstream in(line);
      for (std::string f; std::getline(in, f, '\t');) field.push_back(f);
      field[7] = "DP=" + std::to_string(30 + k % 7);
      field[8] = "GT:DP";
      field[9] += ":" + std::to_string(k % 9);
      field.push_back(k % 2 ? "0/1:5" : "1|0:6");
      for (std::size_t i = 0; i < field.size(); ++i) annotated += (i ? "\t" : "") + field[i];
      annotated += "\n";
      if (k == 3) annotated += "20\t2059300\t.\tGA\tG\t50\tPASS\tDP=9\tGT:DP\t0/1:4\t0/0:3\n";
      ++k;
    }
  }
  const std::string input = scratch.file("annotated.vcf.gz");
  convert_test::writeIndexedVcf(input, annotated);
  const std::string out = scratch.file("phased.vcf.gz");
  const auto run = runConvert({"phase", "--vcf", input, "--sample", "HG01500", "--bam",
                               kExample + "HG01500.bam", "--out", out, "-n", "50", "--seed", "3"});
  ASSERT_FALSE(run.fatal) << run.err;
  const std::vector<std::string> before = vcfBodyLines(input);
  const std::vector<std::string> after = vcfBodyLines(out);
  ASSERT_EQ(before.size(), after.size());
  int changed = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    for (int column = 0; column < 8; ++column) {
      EXPECT_EQ(tabField(after[i], column), tabField(before[i], column)) << after[i];
    }
    // Where the record gains PS, the other sample shows it missing.
    const bool gainsPhaseSet = tabField(after[i], 8) != tabField(before[i], 8);
    EXPECT_EQ(tabField(after[i], 10), tabField(before[i], 10) + (gainsPhaseSet ? ":." : ""));
    const std::string gtBefore = genotype(before[i]);
    if (gtBefore != "0/1" || tabField(before[i], 3).size() != 1) {
      EXPECT_EQ(after[i], before[i]);
      continue;
    }
    // The sample's DP stays; GT is phased with a PS, or stays 0/1 without one.
    const std::string sample = tabField(after[i], 9);
    const std::string dp = tabField(before[i], 9).substr(4);
    if (genotype(after[i]) == "0/1") {
      EXPECT_EQ(sample, "0/1:" + dp);
    } else {
      ++changed;
      EXPECT_EQ(tabField(after[i], 8), "GT:DP:PS");
      EXPECT_EQ(sample.substr(3, dp.size() + 2), ":" + dp + ":") << sample;
    }
  }
  EXPECT_GT(changed, 20);
}

// The kept files rerun with velta itself and the same seed give the same
// haplotypes: phase runs velta's job, draws in velta's order.
TEST(PhaseCommand, KeptFilesRerunWithVeltaGiveTheSameHaplotypes) {
  for (const bool withPanel : {false, true}) {
    SCOPED_TRACE(withPanel ? "inference" : "assembly");
    ScratchDir scratch;
    const std::string kept = scratch.file("kept");
    const std::vector<std::string> args =
        examplePhaseArgs(scratch.file("phased.vcf.gz"), withPanel,
                         {"-n", "30", "-m", "10", "--seed", "5", "--keep-intermediate", kept});
    ASSERT_FALSE(runConvert(args).fatal);
    std::vector<std::string> words = {"velta",
                                      "--mfile",
                                      kept + "/map.txt",
                                      "--sfile",
                                      kept + "/reads.txt",
                                      "--output",
                                      scratch.file("velta.txt"),
                                      "-n",
                                      "30",
                                      "-m",
                                      "10",
                                      "--seed",
                                      "5"};
    if (withPanel) {
      words.push_back("--rfile");
      words.push_back(kept + "/panel.txt");
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    testing::internal::CaptureStdout();
    EXPECT_EQ(runVelta(static_cast<int>(argv.size()), argv.data()), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(readFile(scratch.file("velta.txt")), readFile(kept + "/haplotypes.txt"));
    EXPECT_FALSE(readFile(kept + "/haplotypes.txt").empty());
  }
}

struct ErrorCase {
  const char* name;
  std::vector<std::string> extra;  // arguments after the common ones
  const char* sample;
  const char* message;
};

TEST(PhaseCommand, BadInputsEndTheRunNamingTheFileAndWriteNothing) {
  ScratchDir scratch;
  const std::string panelText = convert_test::vcfText(kExample + "panel.vcf.gz");
  const std::string unphased = scratch.file("unphased.vcf.gz");
  std::string body = panelText.substr(panelText.find("\n20\t2059311"));
  convert_test::writeIndexedVcf(unphased, panelText.substr(0, panelText.find("\n20\t2059311")) +
                                              convert_test::replaceOnce(body, "|", "/"));
  // The same files with the chromosome named chr20.
  const auto onChr20 = [&](const std::string& text, const std::string& name) {
    std::string renamedText = text;
    std::size_t at = 0;
    while ((at = renamedText.find("\n20\t", at)) != std::string::npos) {
      renamedText.replace(at, 4, "\nchr20\t");
    }
    const std::string path = scratch.file(name);
    convert_test::writeIndexedVcf(path,
                                  convert_test::replaceOnce(renamedText, "<ID=20", "<ID=chr20"));
    return path;
  };
  const std::string renamed = onChr20(panelText, "chr.vcf.gz");
  const std::string callsOnChr20 =
      onChr20(convert_test::vcfText(kExample + "HG01500.vcf.gz"), "calls.chr.vcf.gz");
  const ErrorCase cases[] = {
      {"sample", {}, "NOBODY", "sample NOBODY is not in"},
      {"unphased panel", {"--panel", unphased}, "HG01500", "unphased genotype"},
      {"contigs", {"--panel", renamed}, "HG01500", "the contig names differ"},
      {"bam contigs", {"--vcf", callsOnChr20}, "HG01500", "is a reference sequence of"},
      {"kept files' folder is a file", {"--keep-intermediate", unphased}, "HG01500",
       "is not a folder"},
      {"windowed, kept files' folder is a file",
       {"--keep-intermediate", unphased, "--window", "150", "--overlap", "40"}, "HG01500",
       "is not a folder"},
  };
  for (const ErrorCase& bad : cases) {
    SCOPED_TRACE(bad.name);
    const std::string out = scratch.file("out.vcf.gz");
    std::vector<std::string> args = {"phase",    "--vcf", kExample + "HG01500.vcf.gz", "--sample",
                                     bad.sample, "--bam", kExample + "HG01500.bam",    "--out",
                                     out};
    args.insert(args.end(), bad.extra.begin(), bad.extra.end());
    const auto run = runConvert(args);
    EXPECT_TRUE(run.fatal);
    EXPECT_NE(run.err.find(bad.message), std::string::npos) << run.err;
    EXPECT_FALSE(fileExists(out));
    EXPECT_FALSE(fileExists(out + ".part"));
  }
}

// A region with nothing to phase (the panel has no SNP there, or the calls
// have no record there) is no error: its records, if any, are written
// unphased, with a warning that says why.
TEST(PhaseCommand, ARegionWithNothingToPhaseIsWrittenUnphased) {
  ScratchDir scratch;
  const std::string panelText = convert_test::vcfText(kExample + "panel.vcf.gz");
  const std::string panel = scratch.file("later.vcf.gz");
  convert_test::writeIndexedVcf(panel, panelText.substr(0, panelText.find("\n20\t") + 1) +
                                           panelText.substr(panelText.find("\n20\t2059311") + 1));
  struct Case {
    std::string region, why;
    std::size_t records;
  };
  const Case cases[] = {
      {"20:2059022-2059310",
       "panel " + panel + ": no biallelic SNP with both alleles among the panel's haplotypes", 4},
      {"20:90000000-90001000",
       kExample + "HG01500.vcf.gz: no heterozygous biallelic SNP called for sample HG01500", 0},
  };
  for (const Case& c : cases) {
    const std::string out = scratch.file("out.vcf.gz");
    const auto run =
        runConvert(examplePhaseArgs(out, false, {"--panel", panel, "--region", c.region}));
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_NE(run.err.find("nothing to phase (" + c.why + " in " + c.region +
                           "): the records are written unphased"),
              std::string::npos)
        << run.err;
    const std::vector<std::string> lines = convert_test::vcfBodyLines(out);
    EXPECT_EQ(lines.size(), c.records) << c.region;
    for (const std::string& line : lines) EXPECT_EQ(line.find('|'), std::string::npos) << line;
  }
}

TEST(PhaseCommand, N50IsTheSizeThatReachesHalfTheTotal) {
  EXPECT_EQ(n50({}), 0u);
  EXPECT_EQ(n50({7}), 7u);
  EXPECT_EQ(n50({2, 10, 3, 5}), 10u);   // 10 of 20
  EXPECT_EQ(n50({4, 4, 3, 3, 2}), 4u);  // 8 of 16
  EXPECT_EQ(n50({1, 1, 1, 4, 3}), 3u);  // 4 + 3 = 7 of 10
}

}  // namespace
