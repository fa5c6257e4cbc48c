#include "PhaseWindows.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// A window of the plan `phase --window 100 --overlap 30 --seed 11` makes
// over `vcf` (the panel, or the calls in assembly).
struct PlannedWindow {
  std::string index, region, seed;
  long from, to;
};

std::vector<PlannedWindow> planOf(const ScratchDir& scratch, const std::string& vcf) {
  const std::string path = scratch.file("windows.tsv");
  EXPECT_FALSE(runConvert({"windows", "--vcf", vcf, "--window", "100", "--overlap", "30",
                           "--seed", "11", "--out", path})
                   .fatal);
  std::istringstream lines(velta_test::readFile(path));
  std::vector<PlannedWindow> plan;
  for (std::string line; std::getline(lines, line);) {
    if (line[0] == '#') continue;
    PlannedWindow window;
    std::string snps;
    std::istringstream(line) >> window.index >> window.region >> snps >> window.seed;
    std::sscanf(window.region.c_str(), "%*[^:]:%ld-%ld", &window.from, &window.to);
    plan.push_back(window);
  }
  return plan;
}

// The example's calls with the sample's call at every heterozygous record of
// positions from..to replaced by `call`, written as an indexed VCF.
std::string callsWithout(const ScratchDir& scratch, long from, long to, const std::string& call) {
  std::istringstream lines(convert_test::vcfText(kExample + "HG01500.vcf.gz"));
  std::string text;
  std::string line;
  while (std::getline(lines, line)) {
    if (line[0] != '#') {
      const long position = std::stol(convert_test::tabField(line, 1));
      const std::string gt = convert_test::tabField(line, 9);
      if (position >= from && position <= to && gt[0] != gt[2]) {
        line = line.substr(0, line.rfind('\t') + 1) + call;
      }
    }
    text += line + '\n';
  }
  const std::string path = scratch.file("calls.vcf.gz");
  convert_test::writeIndexedVcf(path, text);
  return path;
}

// The VCF of one `phase --region` job per window (`args` as for the whole
// run, its --out and --seed set per window), ligated.
std::vector<std::string> ligateJobs(const ScratchDir& scratch,
                                    const std::vector<PlannedWindow>& plan,
                                    std::vector<std::string> args) {
  const std::string joined = scratch.file("jobs.vcf.gz");
  std::vector<std::string> ligate = {"ligate", "--out", joined};
  for (const PlannedWindow& window : plan) {
    const std::string out = scratch.file("job" + window.index + ".vcf.gz");
    std::vector<std::string> job = args;
    for (std::size_t i = 0; i + 1 < job.size(); ++i) {
      if (job[i] == "--out") job[i + 1] = out;
      if (job[i] == "--seed") job[i + 1] = window.seed;
    }
    job.insert(job.end(), {"--region", window.region});
    const auto run = runConvert(job);
    EXPECT_FALSE(run.fatal) << window.region << run.err;
    ligate.push_back(out);
  }
  const auto run = runConvert(ligate);
  EXPECT_FALSE(run.fatal) << run.err;
  return vcfBodyLines(joined);
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

  EXPECT_EQ(ligateJobs(scratch, planOf(scratch, kExample + "panel.vcf.gz"), phaseArgs("")),
            results[0]);
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

// A window with nothing to phase (no heterozygous call of the sample: all
// homozygous, or every call missing) is reported and written unphased; the
// windows on either side are phased, and phase does not carry across the gap.
// Separate jobs, each phasing one window, and their ligation give the same.
TEST(PhaseWindows, AWindowWithNothingToPhasePassesThroughUnphased) {
  struct Case {
    const char* name;
    bool panel;
    const char* call;
  };
  const Case cases[] = {{"assembly, homozygous calls", false, "0/0"},
                        {"inference, missing calls", true, "./."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir scratch;
    const std::vector<PlannedWindow> plan =
        planOf(scratch, kExample + (c.panel ? "panel.vcf.gz" : "HG01500.vcf.gz"));
    ASSERT_EQ(plan.size(), 4u);
    const PlannedWindow& gap = plan[1];
    std::vector<std::string> args = phaseArgs(scratch.file("out.vcf.gz"));
    args[2] = callsWithout(scratch, gap.from, gap.to, c.call);
    if (!c.panel) args.erase(args.begin() + 7, args.begin() + 9);
    std::vector<std::string> windowed = args;
    windowed.insert(windowed.end(), {"--window", "100", "--overlap", "30", "--threads", "2"});
    const auto run = runConvert(windowed);
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_NE(run.out.find("window 2 (" + gap.region + "): nothing to phase (" + args[2] +
                           ": no heterozygous biallelic SNP called for sample HG01500 in " +
                           gap.region + ")"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("1 of 4 windows written unphased"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 windows without a phased SNP"), std::string::npos) << run.out;
    const std::vector<std::string> lines = vcfBodyLines(scratch.file("out.vcf.gz"));
    ASSERT_EQ(lines.size(), 300u);
    int phasedBefore = 0;
    int phasedAfter = 0;
    for (const std::string& line : lines) {
      const std::string format = convert_test::tabField(line, 9);
      if (format.size() < 5 || format[1] != '|') continue;
      const long position = std::stol(convert_test::tabField(line, 1));
      ASSERT_TRUE(position < gap.from || position > gap.to) << line;
      // A phase set after the gap starts after it.
      if (position > gap.to) {
        EXPECT_GT(std::stol(format.substr(4)), gap.to) << line;
      }
      (position < gap.from ? phasedBefore : phasedAfter) += 1;
    }
    EXPECT_GT(phasedBefore, 0);
    EXPECT_GT(phasedAfter, 0);
    EXPECT_EQ(ligateJobs(scratch, plan, args), lines);
  }
}

// A fatal end inside a window (calls with an allele their records lack, in
// the last window) leaves neither the output nor the windows' scratch folder,
// though the earlier windows were written there.
TEST(PhaseWindows, AFatalEndRemovesTheWindowFolder) {
  ScratchDir scratch;
  const PlannedWindow last = planOf(scratch, kExample + "panel.vcf.gz").back();
  const std::string out = scratch.file("out.vcf.gz");
  std::vector<std::string> args = phaseArgs(out);
  args[2] = callsWithout(scratch, last.from, last.to, "0/2");
  args.insert(args.end(), {"--window", "100", "--overlap", "30", "--threads", "1"});
  const velta_test::RunResult run = convert_test::runConvertBinary(args);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("has allele 2 at a site with one ALT"), std::string::npos) << run.err;
  EXPECT_FALSE(velta_test::fileExists(out));
  EXPECT_FALSE(velta_test::fileExists(out + ".part"));
  EXPECT_FALSE(velta_test::fileExists(out + ".windows.part"));
}

}  // namespace
