// The inference sampler and the inference run flow.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "Reference.h"
#include "TestSupport.h"
#include "Velta.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace {

using velta_test::ExitGuard;
using velta_test::FatalExit;
using velta_test::readFile;
using velta_test::RunResult;
using velta_test::runVeltaBinary;
using velta_test::ScratchDir;

const char kAlleles[][3] = {"AG", "CT", "GA", "TC"};

// A synthetic individual: its map, its two true haplotypes and a panel that
// holds both of them among random others.
struct Individual {
  std::string map;
  std::vector<bool> first;
  std::vector<bool> second;
  std::string panel;
  int nSnp;
};

Individual makeIndividual(int nSnp, int others, unsigned seed) {
  std::srand(seed);
  Individual ind;
  ind.nSnp = nSnp;
  std::ostringstream map;
  for (int j = 0; j < nSnp; ++j) {
    const char* a = kAlleles[j % 4];
    map << "20 rs" << j << ' ' << 1000 * (j + 1) << ' ' << 1000 * (j + 1) << ' ' << a[0] << ' '
        << a[1] << '\n';
    const bool het = j % 3 != 1;
    const bool x = std::rand() & 1;
    ind.first.push_back(x);
    ind.second.push_back(het ? !x : x);
  }
  ind.map = map.str();
  std::ostringstream panel;
  std::vector<std::vector<bool>> haps = {ind.first, ind.second};
  for (int h = 0; h < others; ++h) {
    std::vector<bool> hap(nSnp);
    for (int j = 0; j < nSnp; ++j) hap[j] = std::rand() & 1;
    haps.push_back(hap);
  }
  for (int j = 0; j < nSnp; ++j) {
    for (const std::vector<bool>& hap : haps) panel << kAlleles[j % 4][hap[j] ? 1 : 0];
    panel << '\n';
  }
  ind.panel = panel.str();
  return ind;
}

// Error-free reads of four consecutive SNPs from both haplotypes, every
// start, so that the reads link all SNPs.
std::string errorFreeReads(const Individual& ind) {
  std::ostringstream reads;
  for (int start = 0; start + 4 <= ind.nSnp; ++start) {
    for (const std::vector<bool>* hap : {&ind.first, &ind.second}) {
      reads << start + 1 << ' ';
      for (int j = start; j < start + 4; ++j) reads << kAlleles[j % 4][(*hap)[j] ? 1 : 0];
      reads << '\n';
    }
  }
  return reads.str();
}

class InferenceSampler : public ::testing::Test {
 protected:
  void load(const Individual& ind, const std::string& readText) {
    std::istringstream map(ind.map);
    parameter_.initFromMapStream(map);
    std::istringstream reads(readText);
    readSeqStream(reads, "reads.txt", reads_, parameter_);
    std::istringstream panel(ind.panel);
    reference_.initFromStream(panel, "panel.txt", parameter_);
    parameter_.renewTran(static_cast<unsigned>(reference_.getHapNo()));
    parameter_.setSampleSize(reference_.getHapNo());
  }
  // Runs the sampler with stdout captured; returns what it printed.
  std::string run(Haplotype& first, Haplotype& second) {
    testing::internal::CaptureStdout();
    inferenceGibbs(first, second, reads_, reference_, parameter_);
    return testing::internal::GetCapturedStdout();
  }
  Parameter parameter_;
  std::vector<Read> reads_;
  Reference reference_;
};

bool sameAlleles(const Haplotype& h, const std::vector<bool>& alleles) {
  for (unsigned j = 0; j < alleles.size(); ++j) {
    if (h[j] != alleles[j]) return false;
  }
  return true;
}

TEST_F(InferenceSampler, PanelWithTheTruthAndErrorFreeReadsRecoverTheTruth) {
  const Individual ind = makeIndividual(60, 8, 11);
  load(ind, errorFreeReads(ind));
  parameter_.setMaxIter(5);
  parameter_.setSubIter(5);
  veltaSrand(2026);
  Haplotype first(ind.nSnp);
  Haplotype second(ind.nSnp);
  run(first, second);
  const bool direct = sameAlleles(first, ind.first) && sameAlleles(second, ind.second);
  const bool swapped = sameAlleles(first, ind.second) && sameAlleles(second, ind.first);
  EXPECT_TRUE(direct || swapped);
}

TEST_F(InferenceSampler, ZeroIterationsKeepTheFirstLoadingAndReportTheFloor) {
  const Individual ind = makeIndividual(12, 3, 5);
  load(ind, errorFreeReads(ind));
  parameter_.setMaxIter(0);
  parameter_.setVerbose(3);
  veltaSrand(7);
  Haplotype first(ind.nSnp);
  Haplotype second(ind.nSnp);
  const Haplotype firstBefore = first;
  const Haplotype secondBefore = second;
  const std::string out = run(first, second);
  EXPECT_EQ(out.find("warm start..."), std::string::npos);
  EXPECT_NE(out.find("Start likelihood = "), std::string::npos);
  char floorText[400];
  std::snprintf(floorText, sizeof floorText, "max likelihood = [%.5f]\n", kLogFloor);
  EXPECT_NE(out.find(floorText), std::string::npos);
  // The alleles are the constructor's; the counts hold every read on the
  // side its load-time flip gave it.
  unsigned long long held = 0;
  for (int j = 0; j < ind.nSnp; ++j) {
    EXPECT_EQ(first[j], firstBefore[j]);
    EXPECT_EQ(second[j], secondBefore[j]);
    held += first.getCount(j, false) + first.getCount(j, true) + second.getCount(j, false) +
            second.getCount(j, true);
  }
  unsigned long long calls = 0;
  for (const Read& read : reads_) calls += read.size();
  EXPECT_EQ(held, calls);
}

TEST_F(InferenceSampler, NegativeIterationsSkipTheWarmStartButStillIterate) {
  const Individual ind = makeIndividual(12, 3, 6);
  load(ind, errorFreeReads(ind));
  parameter_.setMaxIter(-2);
  parameter_.setSubIter(1);
  veltaSrand(8);
  Haplotype first(ind.nSnp);
  Haplotype second(ind.nSnp);
  const unsigned long long pathsBefore = Reference::getCount();
  const std::string out = run(first, second);
  EXPECT_EQ(out.find("warm start..."), std::string::npos);
  EXPECT_NE(out.find("(0.0% done)"), std::string::npos);
  EXPECT_NE(out.find("(50.0% done)"), std::string::npos);
  EXPECT_EQ(Reference::getCount() - pathsBefore, 4U);  // two paths per iteration
}

TEST_F(InferenceSampler, ZeroSubIterationsLeaveAllelesAndSidesUntouched) {
  const Individual ind = makeIndividual(12, 3, 9);
  load(ind, errorFreeReads(ind));
  parameter_.setSubIter(0);
  // Iterations then only draw paths and rescore an unchanged pair, so one
  // iteration and three end in the same state, without any allele draw.
  std::vector<std::vector<bool>> results;
  for (int iterations : {1, 3}) {
    parameter_.setMaxIter(iterations);
    veltaSrand(10);
    for (Read& read : reads_) read.setFlip(0);
    Haplotype first(ind.nSnp);
    Haplotype second(ind.nSnp);
    const unsigned long long drawsBefore = Haplotype::getCount();
    run(first, second);
    EXPECT_EQ(Haplotype::getCount(), drawsBefore);
    std::vector<bool> both;
    for (int j = 0; j < ind.nSnp; ++j) both.push_back(first[j]);
    for (int j = 0; j < ind.nSnp; ++j) both.push_back(second[j]);
    results.push_back(both);
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST_F(InferenceSampler, WithoutReadsTheScoreIsThePanelTermAlone) {
  const Individual ind = makeIndividual(10, 4, 12);
  load(ind, "");
  parameter_.setMaxIter(1);
  parameter_.setSubIter(2);
  parameter_.setVerbose(3);
  veltaSrand(13);
  Haplotype first(ind.nSnp);
  Haplotype second(ind.nSnp);
  const std::string out = run(first, second);
  EXPECT_NE(out.find("mismatch = 0.00000 [0 0], reference = "), std::string::npos) << out;
  testing::internal::CaptureStdout();
  const double score = inferenceLikelihood(first, second, reads_, reference_, parameter_);
  testing::internal::GetCapturedStdout();
  EXPECT_DOUBLE_EQ(score, reference_.forwardProb(first, parameter_) +
                              reference_.forwardProb(second, parameter_));
}

TEST_F(InferenceSampler, LikelihoodCountsEveryReadAgainstBothHaplotypes) {
  const Individual ind = makeIndividual(8, 2, 14);
  load(ind, "1 " + std::string(1, kAlleles[0][ind.first[0]]) +
                std::string(1, kAlleles[1][ind.first[1]]) + "\n");
  const Haplotype first(ind.first);
  const Haplotype second(ind.second);
  const int m2 = (ind.second[0] == ind.first[0]) + (ind.second[1] == ind.first[1]);
  const int x2 = 2 - m2;
  const double readTerm = parameter_.getSeqLogRight() * (2 + m2) + parameter_.getSeqLogError() * x2;
  parameter_.setVerbose(3);
  testing::internal::CaptureStdout();
  const double score = inferenceLikelihood(first, second, reads_, reference_, parameter_);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NEAR(score - reference_.forwardProb(first, parameter_) -
                  reference_.forwardProb(second, parameter_),
              readTerm, 1e-9);
  EXPECT_NE(out.find("[" + std::to_string(x2) + " 0]"), std::string::npos) << out;
}

TEST_F(InferenceSampler, SampleSizeOutsideTheSearchRangeIsFatalAtTheWarmStart) {
  const Individual ind = makeIndividual(6, 2, 15);
  load(ind, errorFreeReads(ind));
  parameter_.setMaxIter(1);
  parameter_.setSampleSize(0);
  Haplotype first(ind.nSnp);
  Haplotype second(ind.nSnp);
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  EXPECT_THROW(run(first, second), FatalExit);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("allowed range 1 to 256"),
            std::string::npos);
}

class InferenceRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const Individual ind = makeIndividual(30, 5, 21);
    map_ = scratch_.write("map.txt", ind.map);
    reads_ = scratch_.write("reads.txt", errorFreeReads(ind));
    panel_ = scratch_.write("panel.txt", ind.panel);
    out_ = scratch_.file("out.txt");
  }
  RunResult run(const std::string& verbose, const std::string& iterations = "3") {
    return runVeltaBinary({"--mfile", map_, "--sfile", reads_, "--rfile", panel_, "--output", out_,
                           "-n", iterations, "-m", "2", "-v", verbose});
  }
  ScratchDir scratch_;
  std::string map_, reads_, panel_, out_;
};

TEST_F(InferenceRun, VerboseLevelsGateTheMessages) {
  struct Level {
    const char* verbose;
    std::vector<const char*> shown;
    std::vector<const char*> hidden;
  };
  const Level levels[] = {
      {"0",
       {"Number of reference : [7]", "Number of SNP : [30]", "\nsampling time (read "},
       {"Haplotype inference with reference start...", "warm start...", "likelihood = "}},
      {"1",
       {"Haplotype inference with reference start...\n", "warm start...\n", "(0.0% done)\n",
        "(66.7% done)\n", "max likelihood = ["},
       {"counting read likelihood...", "Start likelihood", "mismatch = "}},
      {"3",
       {"counting read likelihood...\n", "Start likelihood = ", "mismatch = ", "reference = "},
       {"start output"}},
  };
  for (const Level& level : levels) {
    const RunResult r = run(level.verbose);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* text : level.shown) {
      EXPECT_NE(r.out.find(text), std::string::npos) << "-v " << level.verbose << ": " << text;
    }
    for (const char* text : level.hidden) {
      EXPECT_EQ(r.out.find(text), std::string::npos) << "-v " << level.verbose << ": " << text;
    }
    EXPECT_NE(r.out.find("--rfile " + panel_), std::string::npos);
    // One line of two allele characters per SNP.
    const std::string written = readFile(out_);
    EXPECT_EQ(written.size(), 30U * 3);
  }
}

TEST_F(InferenceRun, TimingLineCountsPathAndAlleleDraws) {
  const RunResult r = run("0", "4");
  ASSERT_EQ(r.status, 0);
  // 4 iterations x 2 paths; 4 x 2 sub-iterations x 2 haplotypes.
  EXPECT_NE(r.out.find(", haplotype 16 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(", reference 8 "), std::string::npos) << r.out;
}

// The example data at a fixed seed on one, two and three threads: the same
// output file and the same progress, likelihood by likelihood.
TEST(InferenceThreads, EveryThreadCountGivesTheSameRun) {
  const std::string example = std::string(VELTA_SOURCE_DIR) + "/example/";
  std::string outputs[3];
  std::string progress[3];
  for (int threads = 1; threads <= 3; ++threads) {
    ScratchDir scratch;
    const std::string out = scratch.file("out.txt");
    // Flattened draws, so that alleles and sides keep changing.
    const RunResult r = runVeltaBinary(
        {"--mfile", example + "map.txt", "--sfile", example + "reads.txt", "--rfile",
         example + "panel.txt", "--output", out, "-n", "12", "-m", "15", "-u", "0.3", "-v", "3",
         "--seed", "2024", "--threads", std::to_string(threads)});
    ASSERT_EQ(r.status, 0) << r.err;
    outputs[threads - 1] = readFile(out);
    // Everything up to the timing line, whose times vary.
    const std::size_t start = r.out.find("Haplotype inference with reference start");
    progress[threads - 1] = r.out.substr(start, r.out.find("sampling time") - start);
  }
  EXPECT_EQ(outputs[0].size(), 300U * 3);
  EXPECT_NE(progress[0].find("likelihood = "), std::string::npos);
  for (int t = 1; t < 3; ++t) {
    EXPECT_EQ(outputs[t], outputs[0]) << t + 1 << " threads";
    EXPECT_EQ(progress[t], progress[0]) << t + 1 << " threads";
  }
}

TEST_F(InferenceRun, ASampleLargerThanThePanelIsCappedAtThePanelSize) {
  const RunResult r = runVeltaBinary({"--mfile", map_, "--sfile", reads_, "--rfile", panel_,
                                      "--output", out_, "-n", "1", "-m", "1", "-s", "200"});
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
