#include "Reference.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ForwardStep.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "PlainKernels.h"
#include "ReferenceModelReference.h"
#include "TestSupport.h"
#include "VeltaUtil.h"

namespace {

using velta_test::ExitGuard;
using velta_test::FatalExit;
using velta_test::ScratchDir;

const double kInf = std::numeric_limits<double>::infinity();
using Alleles = std::vector<std::vector<bool>>;  // [snp][haplotype], true for minor

// ---------------------------------------------------------------------------
// Building maps and panels

// A map of SNPs at the given coordinates, each with major allele A and minor G
// unless other characters are given.
Parameter mapAt(const std::vector<double>& positions, const std::string& majors = "",
                const std::string& minors = "") {
  std::ostringstream text;
  for (std::size_t j = 0; j < positions.size(); ++j) {
    text.precision(17);
    text << "20 rs" << j << " " << positions[j] << " " << j + 1 << " "
         << (j < majors.size() ? majors[j] : 'A') << " " << (j < minors.size() ? minors[j] : 'G')
         << "\n";
  }
  Parameter parameter;
  std::istringstream in(text.str());
  parameter.initFromMapStream(in);
  return parameter;
}

Parameter mapOf(std::size_t snpNo) {
  std::vector<double> positions(snpNo);
  for (std::size_t j = 0; j < snpNo; ++j) positions[j] = 1000.0 * (j + 1);
  return mapAt(positions);
}

std::string panelText(const Alleles& alleles) {
  std::string text;
  for (const auto& snp : alleles) {
    for (bool minor : snp) text += minor ? 'G' : 'A';
    text += '\n';
  }
  return text;
}

void loadText(Reference& reference, const std::string& text, const Parameter& parameter,
              const char* fileName = "panel.txt") {
  std::istringstream in(text);
  reference.initFromStream(in, fileName, parameter);
}

Alleles randomAlleles(int hapNo, int snpNo) {
  Alleles alleles(snpNo, std::vector<bool>(hapNo));
  for (auto& snp : alleles) {
    for (std::size_t k = 0; k < snp.size(); ++k) snp[k] = veltaRand() & 1;
  }
  return alleles;
}

std::vector<bool> randomBits(int n) {
  std::vector<bool> bits(n);
  for (int i = 0; i < n; ++i) bits[i] = veltaRand() & 1;
  return bits;
}

// Coordinates with random gaps; about one gap in four is 0 (coincident SNPs).
std::vector<double> randomPositions(int snpNo) {
  std::vector<double> positions(snpNo);
  double at = 1000;
  for (int j = 0; j < snpNo; ++j) {
    if (veltaRand() % 4 != 0) at += 1 + veltaRand() % 20000;
    positions[j] = at;
  }
  return positions;
}

// Runs `body` and returns what it wrote to standard error before it ended the
// run; fails the test when it returns normally.
std::string fatalMessage(const std::function<void()>& body) {
  ExitGuard catcher;
  testing::internal::CaptureStderr();
  try {
    body();
  } catch (const FatalExit& e) {
    EXPECT_EQ(e.status, 1);
    return testing::internal::GetCapturedStderr();
  }
  testing::internal::GetCapturedStderr();
  ADD_FAILURE() << "the run was not ended";
  return "";
}

// ---------------------------------------------------------------------------
// Panel file and store

TEST(PanelLoader, SeparatorsAreRemovedFromEveryLine) {
  const Parameter parameter = mapOf(1);
  for (const char* text : {"AGGA", "A G G A", "A-G-G-A", "A\tG\tG\tA", "AGGA\r", "A G G A\r",
                           "A-G-G-A\r", "A\tG\tG\tA\r", "-A G\t-G  A-\r"}) {
    Reference reference;
    loadText(reference, text, parameter);
    ASSERT_EQ(reference.getHapNo(), 4) << text;
    ASSERT_EQ(reference.getSnpNo(), 1);
    EXPECT_FALSE(reference.getAllele(0, 0));
    EXPECT_TRUE(reference.getAllele(1, 0));
    EXPECT_TRUE(reference.getAllele(2, 0));
    EXPECT_FALSE(reference.getAllele(3, 0));
  }
}

TEST(PanelLoader, ValidateLineKeepsAlleleCharactersInOrder) {
  Reference reference;
  struct Case {
    std::string in, out;
    int count;
  };
  const Case cases[] = {{"", "", 0},
                        {" -\t\r\n", "", 0},
                        {"AGGA", "AGGA", 4},
                        {"x-y z", "xyz", 3},
                        {"\t1 2\r", "12", 2}};
  for (const Case& c : cases) {
    std::string text = c.in;
    EXPECT_EQ(reference.validateLine(text), c.count);
    EXPECT_EQ(text, c.out);
  }
}

TEST(PanelLoader, LooksUpTheAllelesOfTheExamplePanel) {
  const Parameter parameter = mapAt({100, 200}, "AT", "GA");
  Reference reference;
  loadText(reference, "AGA\nTTA\n", parameter);
  EXPECT_TRUE(reference.getAllele(1, 0));
  EXPECT_TRUE(reference.getAllele(2, 1));
  EXPECT_FALSE(reference.getAllele(0, 1));
  EXPECT_FALSE(reference.getAllele(0, 0));
}

TEST(PanelLoader, StoresEveryBitOfWidePanels) {
  // 130 haplotypes span three words per SNP, the last one partly.
  veltaSrand(41);
  for (int hapNo : {1, 63, 64, 65, 130}) {
    const Alleles alleles = randomAlleles(hapNo, 7);
    const Parameter parameter = mapOf(7);
    Reference reference;
    loadText(reference, panelText(alleles), parameter);
    ASSERT_EQ(reference.getHapNo(), hapNo);
    for (int s = 0; s < 7; ++s) {
      for (int k = 0; k < hapNo; ++k) ASSERT_EQ(reference.getAllele(k, s), alleles[s][k]);
    }
  }
}

TEST(PanelLoader, EqualMajorAndMinorCharactersStoreMinor) {
  const Parameter parameter = mapAt({1}, "C", "C");
  Reference reference;
  loadText(reference, "CC\n", parameter);
  EXPECT_TRUE(reference.getAllele(0, 0));
  EXPECT_TRUE(reference.getAllele(1, 0));
}

TEST(PanelLoader, SeparatorOnlyLinesAreSkippedWithoutCounting) {
  // Map SNPs A/G, C/T, G/A: the line after the blank ones must still meet
  // the second SNP's characters, and a trailing blank line changes nothing.
  const Parameter parameter = mapAt({1, 2, 3}, "ACG", "GTA");
  Reference reference;
  loadText(reference, "AG\n\n - \t\nCT\r\n\nAG\n\n", parameter);
  ASSERT_EQ(reference.getSnpNo(), 3);
  EXPECT_FALSE(reference.getAllele(0, 1));
  EXPECT_TRUE(reference.getAllele(1, 1));
  EXPECT_TRUE(reference.getAllele(0, 2));
  EXPECT_FALSE(reference.getAllele(1, 2));
}

TEST(PanelLoader, ReadsTheSameFromAFile) {
  ScratchDir scratch;
  const std::string path = scratch.write("panel.txt", "AGA\nTTA");  // no final line feed
  const Parameter parameter = mapAt({100, 200}, "AT", "GA");
  Reference reference;
  reference.initFromFile(path.c_str(), parameter);
  EXPECT_EQ(reference.getSnpNo(), 2);
  EXPECT_TRUE(reference.getAllele(2, 1));
}

struct BadPanel {
  const char* name;
  const char* text;
  const char* message;  // what standard error must hold
};

void PrintTo(const BadPanel& c, std::ostream* os) {
  *os << c.name;
}

class PanelLoaderRejects : public ::testing::TestWithParam<BadPanel> {};

TEST_P(PanelLoaderRejects, WithAMessageNamingTheFile) {
  // Three SNPs: A/G, C/T, G/A.
  const Parameter parameter = mapAt({1, 2, 3}, "ACG", "GTA");
  Reference reference;
  const std::string err = fatalMessage([&] { loadText(reference, GetParam().text, parameter); });
  EXPECT_EQ(err, std::string("FATAL => ") + GetParam().message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, PanelLoaderRejects,
    ::testing::Values(
        BadPanel{"ShorterSecondLine", "AGA\nCT\nGA\n", "Reference file wrong format\n"},
        BadPanel{"LongerLastLine", "AGA\nCTC\nGAGA\n", "Reference file wrong format\n"},
        BadPanel{"StrayCharacterOnThirdLine", "AG\nCT\nGX\n",
                 "Reference file panel.txt constains unexpected character X for 3-th SNP (A or "
                 "G expected)\n"},
        BadPanel{"LowerCaseAllele", "Ag\nCT\nGA\n",
                 "Reference file panel.txt constains unexpected character g for 1-th SNP (G or "
                 "A expected)\n"},
        BadPanel{"StrayCharacterAfterBlankLines", "AG\n\n\nCN\nGA\n",
                 "Reference file panel.txt constains unexpected character N for 2-th SNP (T or "
                 "C expected)\n"},
        BadPanel{"FewerLinesThanTheMap", "AG\nCT\n",
                 "Reference file panel.txt has 2 SNP lines but the SNP map has 3 SNPs: expected "
                 "one line per map SNP\n"},
        BadPanel{"MoreLinesThanTheMap", "AG\nCT\nGA\n\nAA\n",
                 "Reference file panel.txt has more SNP lines than the SNP map has SNPs (3): "
                 "line 5 is SNP line 4\n"},
        BadPanel{"TildesBeyondTheMap", "AG\nCT\nGA\n~~\n",
                 "Reference file panel.txt has more SNP lines than the SNP map has SNPs (3): "
                 "line 4 is SNP line 4\n"},
        BadPanel{"EmptyFile", "",
                 "Reference file panel.txt holds no haplotype: expected one line of alleles for "
                 "each of the 3 SNPs of the map\n"},
        BadPanel{"SeparatorsOnly", "\n -\n\t\n",
                 "Reference file panel.txt holds no haplotype: expected one line of alleles for "
                 "each of the 3 SNPs of the map\n"}),
    [](const testing::TestParamInfo<BadPanel>& info) { return info.param.name; });

TEST(PanelLoader, RejectsMoreHaplotypesThan16BitIndicesAddress) {
  const Parameter parameter = mapOf(1);
  Reference reference;
  const std::string text = "\n" + std::string(Reference::kMaxHaplotypes + 1, 'A') + "\n";
  const std::string err = fatalMessage([&] { loadText(reference, text, parameter); });
  EXPECT_EQ(err,
            "FATAL => Reference file panel.txt has 65537 haplotypes on line 2; at most 65536 "
            "haplotypes are supported\n\n");
}

TEST(PanelLoader, AcceptsExactly65536Haplotypes) {
  const Parameter parameter = mapOf(1);
  Reference reference;
  std::string text(Reference::kMaxHaplotypes, 'A');
  text.back() = 'G';
  loadText(reference, text, parameter);
  EXPECT_EQ(reference.getHapNo(), 65536);
  EXPECT_TRUE(reference.getAllele(65535, 0));
  EXPECT_FALSE(reference.getAllele(65534, 0));
}

TEST(PanelLoader, CutsTheUnexpectedCharacterMessageOfALongFileName) {
  const Parameter parameter = mapOf(1);
  Reference reference;
  const std::string name(3000, 'n');
  const std::string err =
      fatalMessage([&] { loadText(reference, "AX\n", parameter, name.c_str()); });
  // "FATAL => " + at most 999 characters of the message + "\n".
  EXPECT_EQ(err.size(), 9 + 999 + 1U);
  EXPECT_EQ(err.compare(0, 38, "FATAL => Reference file nnnnnnnnnnnnnn"), 0);
}

TEST(PanelLoader, AFileThatCannotBeOpenedEndsTheRun) {
  ScratchDir scratch;
  const std::string path = scratch.file("missing.txt");
  const Parameter parameter = mapOf(1);
  Reference reference;
  const std::string err = fatalMessage([&] { reference.initFromFile(path.c_str(), parameter); });
  EXPECT_EQ(err, "FATAL => Reference file " + path + " cannot be opened\n\n");
}

TEST(PanelStore, LookUpOnAStoreThatWasNeverLoadedIsAProgramFault) {
  const Reference reference;
  EXPECT_EQ(reference.getHapNo(), 0);
  EXPECT_EQ(reference.getSnpNo(), 0);
  for (const auto& use : std::vector<std::function<void()>>{
           [&] { reference.getAllele(0, 0); },
           [&] { reference.forwardProb(Haplotype(std::vector<bool>{true}), Parameter()); }}) {
    EXPECT_EQ(fatalMessage(use), "FATAL => Bug found in Reference::getAllele\n");
  }
}

// ---------------------------------------------------------------------------
// Copying paths

TEST(CopyingPath, StartsAtHaplotypeZeroAndReadsThePanel) {
  const Parameter parameter = mapAt({100, 200}, "AT", "GA");
  Reference reference;
  loadText(reference, "AGA\nTTA\n", parameter);
  RefPath path(reference);
  ASSERT_EQ(path.size(), 2U);
  EXPECT_EQ(path.at(0), 0);
  EXPECT_EQ(path.at(1), 0);
  for (unsigned short k = 0; k < 3; ++k) {
    path(0) = k;
    path(1) = 2 - k;
    EXPECT_EQ(path[0], reference.getAllele(k, 0));
    EXPECT_EQ(path[1], reference.getAllele(2 - k, 1));
  }
}

TEST(CopyingPath, PrintsEntryAndAlleleOfEverySnp) {
  const Parameter parameter = mapAt({100, 200}, "AT", "GA");
  Reference reference;
  loadText(reference, "GGA\nTTA\n", parameter);
  RefPath path(reference);
  testing::internal::CaptureStdout();
  path.print();
  path(1) = 2;
  path.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Path\t0_1\t0_0\t\nPath\t0_1\t2_1\t\n");
}

// ---------------------------------------------------------------------------
// Forward pass and path draws, checked against enumeration of every path

// Log-probability of the haplotype's alleles along one path (no start term).
double pathLogProb(const std::vector<int>& path, const Alleles& panel,
                   const std::vector<bool>& haplotype, const Parameter& p) {
  double sum = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    sum += panel[i][path[i]] == haplotype[i] ? p.getEmitLogRight() : p.getEmitLogError();
    if (i > 0) sum += path[i] == path[i - 1] ? p.getTranLogSame(i) : p.getTranLogDiff(i);
  }
  return sum;
}

// Every path of `snpNo` entries over `hapNo` haplotypes, in lexicographic order.
std::vector<std::vector<int>> allPaths(int hapNo, int snpNo) {
  std::vector<std::vector<int>> paths;
  std::vector<int> path(snpNo, 0);
  for (;;) {
    paths.push_back(path);
    int i = snpNo - 1;
    while (i >= 0 && path[i] == hapNo - 1) path[i--] = 0;
    if (i < 0) return paths;
    ++path[i];
  }
}

double logSumOf(const std::vector<double>& values) {
  double max = -kInf;
  for (double v : values) max = std::max(max, v);
  long double sum = 0;
  for (double v : values) sum += std::exp(static_cast<long double>(v - max));
  return max + static_cast<double>(std::log(sum));
}

// A small random copying-model problem: map, panel and haplotype.
struct ModelCase {
  Parameter parameter;
  Alleles panel;
  std::vector<bool> haplotype;
};

ModelCase randomModelCase(int hapNo, int snpNo, double mu, double rho, double omega,
                          const std::vector<double>& positions = {}) {
  ModelCase c{mapAt(positions.empty() ? randomPositions(snpNo) : positions),
              randomAlleles(hapNo, snpNo), randomBits(snpNo)};
  c.parameter.setSmoothMu(mu);
  c.parameter.setTranNe(rho);
  c.parameter.setEmitError(omega);
  c.parameter.renewTran(hapNo);
  return c;
}

TEST(ForwardPass, LikelihoodEqualsTheSumOverEveryPath) {
  veltaSrand(2024);
  int impossibleMoves = 0;
  for (int trial = 0; trial < 120; ++trial) {
    const int hapNo = 1 + trial % 3;
    const int snpNo = 1 + (trial / 3) % 4;
    const double mu = (trial % 5 == 0) ? 1.0 : 0.3 + 2 * velta_test::uniformDraw();
    // rho of 1e-6 makes moving impossible at coincident coordinates.
    const double rho = (trial % 2 == 0) ? 1e-6 : 0.05 * velta_test::uniformDraw();
    const double omega = 0.001 + 0.3 * velta_test::uniformDraw();
    const ModelCase c = randomModelCase(hapNo, snpNo, mu, rho, omega);
    for (int i = 1; i < snpNo; ++i) impossibleMoves += c.parameter.getTranLogDiff(i) == -kInf;

    std::vector<double> logProbs;
    for (const auto& path : allPaths(hapNo, snpNo)) {
      logProbs.push_back(pathLogProb(path, c.panel, c.haplotype, c.parameter));
    }
    const double expected = logSumOf(logProbs);
    Reference reference;
    loadText(reference, panelText(c.panel), c.parameter);
    const double value = reference.forwardProb(Haplotype(c.haplotype), c.parameter);
    ASSERT_NEAR(value, expected, 1e-12 * std::max(1.0, std::fabs(expected)))
        << "trial " << trial << " H " << hapNo << " S " << snpNo << " mu " << mu;
  }
  EXPECT_GT(impossibleMoves, 5);  // the zero-move case was really met
}

// ---------------------------------------------------------------------------
// Forward pass and path draws against the log-space reference kernels

// A haplotype copied from the panel: a mosaic of its haplotypes, switching
// about every 50 SNPs, with one allele in 100 changed.
std::vector<bool> mosaicOf(const Alleles& panel) {
  const int hapNo = static_cast<int>(panel[0].size());
  std::vector<bool> haplotype(panel.size());
  int source = veltaRand() % hapNo;
  for (std::size_t i = 0; i < panel.size(); ++i) {
    if (veltaRand() % 50 == 0) source = veltaRand() % hapNo;
    haplotype[i] = panel[i][source] != (veltaRand() % 100 == 0);
  }
  return haplotype;
}

// Random problems for comparing kernels: 1 to 300 haplotypes, 1 to 2000 SNPs
// (one case in four above 300), mu 1, 0.5 or 2, rho of 1e-6 in one case of
// three (moving is impossible at coincident SNPs), half the haplotypes random
// and half copied from the panel. Segment lengths of the path draw follow
// the square root of the SNP count, so the cases cross many segment shapes.
ModelCase randomKernelCase(int trial) {
  const int hapNo = 1 + veltaRand() % 300;
  const int snpNo = trial % 4 == 0 ? 1 + veltaRand() % 2000 : 1 + veltaRand() % 300;
  const double mus[3] = {1.0, 0.5, 2.0};
  const double rho = trial % 3 == 1 ? 1e-6 : 1e-4 + 0.01 * velta_test::uniformDraw();
  const double omega = 0.001 + 0.2 * velta_test::uniformDraw();
  ModelCase c = randomModelCase(hapNo, snpNo, mus[trial % 3], rho, omega);
  if (trial % 2 == 1) c.haplotype = mosaicOf(c.panel);
  return c;
}

int countImpossibleMoves(const Parameter& parameter, int snpNo) {
  int count = 0;
  for (int i = 1; i < snpNo; ++i) count += parameter.getTranLogDiff(i) == -kInf;
  return count;
}

TEST(ForwardPass, LikelihoodAgreesWithTheLogSpaceReference) {
  veltaSrand(707);
  int impossibleMoves = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const ModelCase c = randomKernelCase(trial);
    Reference reference;
    loadText(reference, panelText(c.panel), c.parameter);
    const velta_reference::LogSpaceModel plain(reference);
    const Haplotype haplotype(c.haplotype);
    const double expected = plain.forwardProb(haplotype, c.parameter);
    ASSERT_TRUE(std::isfinite(expected));
    EXPECT_NEAR(reference.forwardProb(haplotype, c.parameter), expected,
                1e-10 * std::max(1.0, std::fabs(expected)))
        << "trial " << trial << " H " << reference.getHapNo() << " S " << reference.getSnpNo();
    impossibleMoves += countImpossibleMoves(c.parameter, reference.getSnpNo());
  }
  EXPECT_GT(impossibleMoves, 100);
}

// Draws a path with both kernels from the same seed. They must agree, except
// where the first draw that differs (in draw order, last SNP first) had a
// uniform number within rounding of a cumulative weight in the reference:
// then the reference's smallest decision margin up to that draw is below
// 1e-10 (rounding differences are near 1e-13), and true is returned.
bool drawsAgreeUpToRounding(const Reference& reference, const ModelCase& c, unsigned seed,
                            const std::string& what) {
  const int snpNo = reference.getSnpNo();
  const Haplotype haplotype(c.haplotype);
  const velta_reference::LogSpaceModel plain(reference);
  std::vector<unsigned short> expected;
  std::vector<double> margins;
  veltaSrand(seed);
  plain.samplePath(expected, haplotype, c.parameter, &margins);
  const int expectedNext = veltaRand();
  veltaSrand(seed);
  RefPath path(reference);
  reference.samplePath(path, haplotype, c.parameter);
  const int next = veltaRand();

  int firstDifference = -1;
  for (int t = snpNo - 1; t >= 0 && firstDifference < 0; --t) {
    if (path.at(t) != expected[t]) firstDifference = t;
  }
  if (firstDifference < 0 && next == expectedNext) return false;
  // The numbers taken differ without a different state when a redraw
  // happened on one side only: look at every draw then.
  const int from = firstDifference < 0 ? 0 : firstDifference;
  const double margin = *std::min_element(margins.begin() + from, margins.end());
  EXPECT_LT(margin, 1e-10) << what << ": the draws differ from SNP " << firstDifference
                           << " on, far from any boundary";
  return true;
}

TEST(PathDraw, EqualSeedsGiveTheLogSpaceReferencePaths) {
  veltaSrand(808);
  int impossibleMoves = 0;
  int nearBoundary = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const ModelCase c = randomKernelCase(trial);
    Reference reference;
    loadText(reference, panelText(c.panel), c.parameter);
    impossibleMoves += countImpossibleMoves(c.parameter, reference.getSnpNo());
    const unsigned seed = veltaRand();
    nearBoundary += drawsAgreeUpToRounding(reference, c, seed,
                                           "trial " + std::to_string(trial) + " H " +
                                               std::to_string(reference.getHapNo()) + " S " +
                                               std::to_string(reference.getSnpNo()));
  }
  EXPECT_GT(impossibleMoves, 100);
  // Landing within 1e-10 of a boundary has a chance near 1e-10 per draw.
  EXPECT_EQ(nearBoundary, 0);
}

TEST(PathDraw, SegmentShapesAroundSquareSnpCounts) {
  // Checkpoints every ceil(sqrt(S)) SNPs: counts at, below and above squares
  // give a last segment of one SNP, a full one and everything between.
  veltaSrand(909);
  for (int snpNo : {1, 2, 3, 4, 5, 8, 9, 10, 15, 16, 17, 24, 25, 26, 63, 64, 65, 99, 100, 101}) {
    for (int hapNo : {1, 7, 8, 9, 64, 65}) {
      ModelCase c = randomModelCase(hapNo, snpNo, 1.0, 0.005, 0.05);
      c.haplotype = mosaicOf(c.panel);
      Reference reference;
      loadText(reference, panelText(c.panel), c.parameter);
      const std::string what = "H " + std::to_string(hapNo) + " S " + std::to_string(snpNo);
      EXPECT_FALSE(drawsAgreeUpToRounding(reference, c, veltaRand(), what)) << what;
    }
  }
}

// A problem the model gives probability 0 or cannot score: the run ends with
// the discrete draw's message where a draw is asked for, and the likelihood
// is what the log-space reference gives.
struct DegenerateCase {
  const char* name;
  double omega, mu, rho;
  const char* panel;
  std::vector<bool> haplotype;
  const char* drawMessage;  // start of the fatal message of a path draw
};

void PrintTo(const DegenerateCase& c, std::ostream* os) {
  *os << c.name;
}

class DegenerateModel : public ::testing::TestWithParam<DegenerateCase> {};

TEST_P(DegenerateModel, EndsOrScoresLikeTheLogSpaceReference) {
  const DegenerateCase& c = GetParam();
  Parameter parameter = mapAt({1000, 2000, 2000, 5000});
  parameter.setEmitError(c.omega);
  parameter.setSmoothMu(c.mu);
  parameter.setTranNe(c.rho);
  parameter.renewTran(3);
  Reference reference;
  loadText(reference, c.panel, parameter);
  const Haplotype haplotype(c.haplotype);
  const double expected =
      velta_reference::LogSpaceModel(reference).forwardProb(haplotype, parameter);
  const double value = reference.forwardProb(haplotype, parameter);
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(value)) << value;
  } else {
    EXPECT_EQ(value, expected);
  }
  RefPath path(reference);
  veltaSrand(3);
  const std::string err = fatalMessage([&] { reference.samplePath(path, haplotype, parameter); });
  EXPECT_EQ(err.rfind(std::string("FATAL => ") + c.drawMessage, 0), 0U) << err;
}

// Panel rows are SNPs of three haplotypes; SNPs 1 and 2 coincide.
INSTANTIATE_TEST_SUITE_P(
    Inputs, DegenerateModel,
    ::testing::Values(
        DegenerateCase{"NoPanelAlleleAtAMiddleSnpWithoutErrors",
                       0.0,
                       1.0,
                       1e-3,
                       "AGA\nAAA\nGAG\nGGA\n",
                       {false, true, true, false},
                       "Discrete draw over 3 categories cannot succeed: the weights sum to 0 "},
        DegenerateCase{"NoPanelAlleleAtTheFirstSnpWithoutErrors",
                       0.0,
                       0.5,
                       1e-3,
                       "AAA\nAGA\nGAG\nGGA\n",
                       {true, true, true, false},
                       "Discrete draw over 3 categories cannot succeed: the weights sum to 0 "},
        DegenerateCase{"EveryPanelAlleleMatchesWhereMatchingIsImpossible",
                       1.0,
                       1.0,
                       1e-3,
                       "AGA\nAAA\nGAG\nGGA\n",
                       {false, false, true, false},
                       "Discrete draw over 3 categories cannot succeed: the weights sum to 0 "},
        DegenerateCase{"MuNotANumber",
                       0.01,
                       std::nan(""),
                       1e-3,
                       "AGA\nAAA\nGAG\nGGA\n",
                       {false, true, true, false},
                       "Discrete draw over 3 categories cannot succeed: the weights sum to nan "},
        DegenerateCase{"OmegaNotANumber",
                       std::nan(""),
                       1.0,
                       1e-3,
                       "AGA\nAAA\nGAG\nGGA\n",
                       {false, true, true, false},
                       "Discrete draw over 3 categories cannot succeed: the weights sum to nan "},
        DegenerateCase{"NegativeRho",
                       0.01,
                       1.0,
                       -1e-3,
                       "AGA\nAAA\nGAG\nGGA\n",
                       {false, true, true, false},
                       "Discrete draw over 3 categories cannot succeed: the weights sum to nan "}),
    [](const testing::TestParamInfo<DegenerateCase>& info) { return info.param.name; });

TEST(ForwardPass, WithoutErrorsStatesOfWeightZeroStayZeroWhereMovingIsImpossible) {
  // omega = 0 and SNPs 1 and 2 coincide, so no copied haplotype may move
  // between them. (The log-space recursion meets log 0 + log 0 there and
  // gives no number; the linear one keeps such states at 0.)
  Parameter parameter = mapAt({1000, 2000, 2000, 5000});
  parameter.setEmitError(0.0);
  parameter.setTranNe(1e-6);
  parameter.renewTran(3);
  ASSERT_EQ(parameter.getTranLogDiff(2), -kInf);
  const Alleles panel = {
      {false, true, false}, {false, true, false}, {true, false, true}, {true, true, false}};
  Reference reference;
  loadText(reference, panelText(panel), parameter);
  RefPath path(reference);

  // Only haplotype 1 carries the allele of SNP 1 and it must stay at SNP 2.
  const std::vector<bool> possible = {false, true, false, false};
  std::vector<double> logProbs;
  for (const auto& p : allPaths(3, 4))
    logProbs.push_back(pathLogProb(p, panel, possible, parameter));
  const double expected = logSumOf(logProbs);
  ASSERT_TRUE(std::isfinite(expected));
  EXPECT_NEAR(reference.forwardProb(Haplotype(possible), parameter), expected, 1e-12);
  veltaSrand(4);
  for (int draw = 0; draw < 50; ++draw) {
    reference.samplePath(path, Haplotype(possible), parameter);
    const std::vector<int> drawn = {path.at(0), path.at(1), path.at(2), path.at(3)};
    ASSERT_TRUE(std::isfinite(pathLogProb(drawn, panel, possible, parameter)));
  }

  // The allele of SNP 2 rules out haplotype 1 as well: probability 0.
  const std::vector<bool> impossible = {false, true, true, false};
  EXPECT_EQ(reference.forwardProb(Haplotype(impossible), parameter), kLogFloor);
  const std::string err =
      fatalMessage([&] { reference.samplePath(path, Haplotype(impossible), parameter); });
  EXPECT_EQ(err.rfind("FATAL => Discrete draw over 3 categories cannot succeed: the weights sum "
                      "to 0 ",
                      0),
            0U)
      << err;
}

TEST(ForwardPass, VeryUnlikelyTransitionsStayFinite) {
  // With mu = 200, 100 haplotypes and SNPs 50 kb apart at rho = 0.01 both
  // the stay extra and the move probability (about e^-931 and e^-921) are
  // below the smallest double; scaling each SNP by its larger term keeps the
  // recursion away from 0.
  veltaSrand(5);
  std::vector<double> positions(30);
  for (int j = 0; j < 30; ++j) positions[j] = 5e4 * (j + 1);
  ModelCase c = randomModelCase(100, 30, 200.0, 0.01, 0.01, positions);
  Reference reference;
  loadText(reference, panelText(c.panel), c.parameter);
  ASSERT_EQ(std::exp(c.parameter.getTranLogPlus(1)), 0.0);
  ASSERT_EQ(std::exp(c.parameter.getTranLogDiff(1)), 0.0);
  const Haplotype haplotype(c.haplotype);
  const double expected =
      velta_reference::LogSpaceModel(reference).forwardProb(haplotype, c.parameter);
  ASSERT_TRUE(std::isfinite(expected));
  EXPECT_NEAR(reference.forwardProb(haplotype, c.parameter), expected, 1e-10 * std::fabs(expected));
  EXPECT_FALSE(drawsAgreeUpToRounding(reference, c, 77, "mu 200"));
}

TEST(ForwardPass, RepeatedCallsGiveTheSameResults) {
  // The working arrays are reused; a call must not see the previous one.
  veltaSrand(8);
  const ModelCase c = randomModelCase(70, 30, 1.0, 0.001, 0.01);
  Reference reference;
  loadText(reference, panelText(c.panel), c.parameter);
  const Haplotype first(c.haplotype);
  const Haplotype second(randomBits(30));
  const double a = reference.forwardProb(first, c.parameter);
  const double b = reference.forwardProb(second, c.parameter);
  RefPath path(reference);
  reference.samplePath(path, second, c.parameter);
  EXPECT_EQ(reference.forwardProb(first, c.parameter), a);
  EXPECT_EQ(reference.forwardProb(second, c.parameter), b);
  EXPECT_NE(a, b);
}

// A pass kept by forward gives forwardProb's likelihood and, drawn later
// (after other passes and draws), samplePath's path from the same numbers;
// two passes computed on two threads at once give the same as one by one.
TEST(ForwardPass, KeptPassesGiveTheSameLikelihoodsAndDraws) {
  veltaSrand(12);
  const ModelCase c = randomModelCase(37, 150, 1.0, 0.001, 0.01);
  Reference reference;
  loadText(reference, panelText(c.panel), c.parameter);
  const Haplotype haplotypes[2] = {Haplotype(c.haplotype), Haplotype(randomBits(150))};
  ForwardPass passes[2];
  double kept[2];
  std::thread other([&] { kept[1] = reference.forward(passes[1], haplotypes[1], c.parameter); });
  kept[0] = reference.forward(passes[0], haplotypes[0], c.parameter);
  other.join();
  const std::uint64_t count = Reference::getCount();
  RefPath drawn[2] = {RefPath(reference), RefPath(reference)};
  veltaSrand(5);
  FeedbackGenerator counted = velta_random::generator;
  // Each draw tells how many numbers it took: the generator lands there.
  const std::uint64_t numbers = reference.drawPath(drawn[0], passes[0], haplotypes[0]);
  EXPECT_GE(numbers, 150U);
  for (std::uint64_t i = 0; i < numbers; ++i) counted.next();
  EXPECT_EQ(counted.next(), FeedbackGenerator(velta_random::generator).next());
  EXPECT_TRUE(reference.drawable(passes[0]));
  EXPECT_FALSE(reference.drawable(ForwardPass()));  // never computed
  reference.samplePath(drawn[1], haplotypes[0], c.parameter);  // the shared workspace in between
  reference.drawPath(drawn[1], passes[1], haplotypes[1]);
  const int next = veltaRand();
  EXPECT_EQ(Reference::getCount(), count + 3);
  RefPath expected[2] = {RefPath(reference), RefPath(reference)};
  veltaSrand(5);
  reference.samplePath(expected[0], haplotypes[0], c.parameter);
  reference.samplePath(expected[1], haplotypes[0], c.parameter);
  reference.samplePath(expected[1], haplotypes[1], c.parameter);
  EXPECT_EQ(veltaRand(), next);
  for (int h = 0; h < 2; ++h) {
    EXPECT_EQ(kept[h], reference.forwardProb(haplotypes[h], c.parameter)) << h;
    for (unsigned i = 0; i < 150; ++i) ASSERT_EQ(drawn[h].at(i), expected[h].at(i)) << h;
  }
}

TEST(ForwardPass, OneSnpPanelHasNoStartTerm) {
  // m of H haplotypes carry the haplotype's allele: log(m (1 - w) + (H - m) w).
  Parameter parameter = mapOf(1);
  parameter.renewTran(4);
  Reference reference;
  loadText(reference, "GAGG\n", parameter);
  const double w = parameter.getEmitError();
  EXPECT_NEAR(reference.forwardProb(Haplotype(std::vector<bool>{true}), parameter),
              std::log(3 * (1 - w) + w), 1e-15);
  EXPECT_NEAR(reference.forwardProb(Haplotype(std::vector<bool>{false}), parameter),
              std::log((1 - w) + 3 * w), 1e-15);
  Reference pair;
  loadText(pair, "GG\n", parameter);
  EXPECT_GT(pair.forwardProb(Haplotype(std::vector<bool>{true}), parameter), 0.0);
}

TEST(PathDraw, FrequenciesFollowTheExactPosterior) {
  // 3 haplotypes x 4 SNPs: 81 paths. A chi-square statistic over the paths
  // (rare ones pooled) is compared with the quantile of probability 1e-7.
  // Switches and mismatches are frequent enough to spread the posterior.
  veltaSrand(31337);
  const int hapNo = 3, snpNo = 4;
  const ModelCase c = randomModelCase(hapNo, snpNo, 1.0, 5e-5, 0.3, {1000, 6000, 9000, 17000});
  const auto paths = allPaths(hapNo, snpNo);
  std::vector<double> logProbs;
  for (const auto& path : paths) {
    logProbs.push_back(pathLogProb(path, c.panel, c.haplotype, c.parameter));
  }
  const double total = logSumOf(logProbs);

  Reference reference;
  loadText(reference, panelText(c.panel), c.parameter);
  const Haplotype haplotype(c.haplotype);
  RefPath path(reference);
  const int draws = 200000;
  std::vector<int> observed(paths.size(), 0);
  const std::uint64_t countBefore = Reference::getCount();
  for (int d = 0; d < draws; ++d) {
    reference.samplePath(path, haplotype, c.parameter);
    int index = 0;
    for (int i = 0; i < snpNo; ++i) index = index * hapNo + path.at(i);
    ++observed[index];
  }
  EXPECT_EQ(Reference::getCount() - countBefore, static_cast<std::uint64_t>(draws));

  double chiSquare = 0, pooledExpected = 0, pooledObserved = 0;
  int bins = 0;
  for (std::size_t p = 0; p < paths.size(); ++p) {
    const double expected = draws * std::exp(logProbs[p] - total);
    if (expected < 5) {
      pooledExpected += expected;
      pooledObserved += observed[p];
      continue;
    }
    chiSquare += (observed[p] - expected) * (observed[p] - expected) / expected;
    ++bins;
  }
  if (pooledExpected > 0) {
    chiSquare += (pooledObserved - pooledExpected) * (pooledObserved - pooledExpected) /
                 std::max(pooledExpected, 1e-300);
    ++bins;
  }
  ASSERT_GT(bins, 20);
  // Wilson-Hilferty quantile of the chi-square law at z = 5.2 (p < 1e-7).
  const double k = bins - 1;
  const double z = 5.2;
  const double quantile = k * std::pow(1 - 2 / (9 * k) + z * std::sqrt(2 / (9 * k)), 3);
  EXPECT_LT(chiSquare, quantile) << bins << " bins";
}

// The path draw written plainly in linear space: last SNP first, one uniform
// number per attempt, first category whose cumulative weight reaches it.
std::vector<int> plainPathDraw(const Alleles& panel, const std::vector<bool>& haplotype,
                               const Parameter& p) {
  const int snpNo = static_cast<int>(panel.size());
  const int hapNo = static_cast<int>(panel[0].size());
  std::vector<std::vector<long double>> f(snpNo, std::vector<long double>(hapNo));
  for (int i = 0; i < snpNo; ++i) {
    long double previousTotal = 0;
    if (i > 0) {
      for (long double v : f[i - 1]) previousTotal += v;
    }
    for (int k = 0; k < hapNo; ++k) {
      const long double emit =
          std::exp(panel[i][k] == haplotype[i] ? p.getEmitLogRight() : p.getEmitLogError());
      f[i][k] = i == 0 ? emit
                       : emit * (std::exp((long double)p.getTranLogPlus(i)) * f[i - 1][k] +
                                 std::exp((long double)p.getTranLogDiff(i)) * previousTotal);
    }
  }
  auto draw = [](const std::vector<long double>& weights) {
    long double sum = 0;
    for (long double w : weights) sum += w;
    for (;;) {
      const double r = velta_test::uniformDraw();
      long double cumulative = 0;
      for (std::size_t k = 0; k < weights.size(); ++k) {
        cumulative += weights[k] / sum;
        if (cumulative >= r) return static_cast<int>(k);
      }
    }
  };
  std::vector<int> path(snpNo);
  path[snpNo - 1] = draw(f[snpNo - 1]);
  for (int t = snpNo - 2; t >= 0; --t) {
    std::vector<long double> weights(hapNo);
    for (int k = 0; k < hapNo; ++k) {
      const double move = k == path[t + 1] ? p.getTranLogSame(t + 1) : p.getTranLogDiff(t + 1);
      weights[k] = f[t][k] * std::exp((long double)move);
    }
    path[t] = draw(weights);
  }
  return path;
}

TEST(PathDraw, TakesOneUniformNumberPerSnpFromTheLastSnpBackwards) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    veltaSrand(seed);
    const int hapNo = 1 + veltaRand() % 6;
    const int snpNo = 1 + veltaRand() % 7;
    const ModelCase c = randomModelCase(hapNo, snpNo, 1.0, 0.05 * velta_test::uniformDraw(), 0.1);
    Reference reference;
    loadText(reference, panelText(c.panel), c.parameter);
    RefPath path(reference);
    const unsigned drawSeed = veltaRand();
    veltaSrand(drawSeed);
    const std::vector<int> expected = plainPathDraw(c.panel, c.haplotype, c.parameter);
    const int next = veltaRand();
    veltaSrand(drawSeed);
    reference.samplePath(path, Haplotype(c.haplotype), c.parameter);
    for (int i = 0; i < snpNo; ++i) ASSERT_EQ(path.at(i), expected[i]) << "seed " << seed;
    ASSERT_EQ(veltaRand(), next) << "seed " << seed;
  }
}

TEST(PathDraw, LikelihoodIsNotCountedAsADraw) {
  veltaSrand(6);
  const ModelCase c = randomModelCase(4, 5, 1.0, 0.001, 0.01);
  Reference reference;
  loadText(reference, panelText(c.panel), c.parameter);
  RefPath path(reference);
  const std::uint64_t before = Reference::getCount();
  reference.forwardProb(Haplotype(c.haplotype), c.parameter);
  EXPECT_EQ(Reference::getCount(), before);
  reference.samplePath(path, Haplotype(c.haplotype), c.parameter);
  EXPECT_EQ(Reference::getCount(), before + 1);
}

TEST(PathDraw, AHaplotypeThePanelCannotProduceEndsTheRun) {
  // With omega = 0 a haplotype whose last allele no panel haplotype carries
  // has probability 0: the draw must stop with a message, not loop.
  Parameter parameter = mapOf(2);
  parameter.setEmitError(0.0);
  parameter.renewTran(2);
  Reference reference;
  loadText(reference, "AG\nAA\n", parameter);
  RefPath path(reference);
  veltaSrand(9);
  const std::string err = fatalMessage([&] {
    reference.samplePath(path, Haplotype(std::vector<bool>{true, true}), parameter);
  });
  EXPECT_NE(err.find("FATAL => Discrete draw over 2 categories cannot succeed"), std::string::npos)
      << err;
}

TEST(ForwardPass, AHaplotypeShorterThanThePanelIsAProgramFault) {
  Parameter parameter = mapOf(3);
  parameter.renewTran(2);
  Reference reference;
  loadText(reference, "AG\nAA\nGG\n", parameter);
  const std::string err = fatalMessage([&] {
    reference.forwardProb(Haplotype(std::vector<bool>{true, true}), parameter);
  });
  EXPECT_NE(err.find("Bug found in Reference::forward"), std::string::npos) << err;
}

TEST(ForwardPass, TrueHaplotypesOfTheSharedDataAreFarMoreLikelyThanRandomOnes) {
  const std::string shared = velta_test::sharedDir();
  if (shared.empty()) GTEST_SKIP() << "shared data folder ../shared is absent";
  const std::string dir = shared + "/data/HG01500/small/inference/";
  Parameter parameter;
  std::ifstream map(dir + "map.txt");
  parameter.initFromMapStream(map);
  Reference reference;
  reference.initFromFile((dir + "panel.txt").c_str(), parameter);
  ASSERT_EQ(reference.getHapNo(), 500);
  ASSERT_EQ(reference.getSnpNo(), 2000);
  parameter.renewTran(reference.getHapNo());
  std::ifstream truth(dir + "truth.txt");
  std::vector<bool> first, second;
  std::string text;
  for (unsigned j = 0; std::getline(truth, text); ++j) {
    ASSERT_GE(text.size(), 2U);
    first.push_back(text[0] == parameter.getMinorAllele(j));
    second.push_back(text[1] == parameter.getMinorAllele(j));
  }
  ASSERT_EQ(first.size(), 2000U);
  veltaSrand(1);
  const double random = reference.forwardProb(Haplotype(2000), parameter);
  for (const auto& alleles : {first, second}) {
    const double likelihood = reference.forwardProb(Haplotype(alleles), parameter);
    EXPECT_TRUE(std::isfinite(likelihood));
    EXPECT_GT(likelihood, random + 1000);
  }
}

// ---------------------------------------------------------------------------
// Emission scoring and best path search

// Log-probability of the pooled counts under a pair with panel alleles alpha
// and beta: binomial, with ln C(n0 + n1, n0) summed factor by factor.
double pairEmission(int n0, int n1, bool alpha, bool beta, double omega) {
  double logBinomial = 0;
  for (int i = 1; i <= n0; ++i) logBinomial += std::log(static_cast<double>(n1 + i) / i);
  if (alpha != beta) return (n0 + n1) * std::log(0.5) + logBinomial;
  const int same = alpha ? n1 : n0;
  return same * std::log(1 - omega) + (n0 + n1 - same) * std::log(omega) + logBinomial;
}

// One search problem: the panel, the counts and the sample the search draws.
struct SearchCase {
  Parameter parameter;  // transitions for the whole panel, sample size set
  Alleles panel;
  AlleleCounts counts;
};

// Transition score of one member moving from sample position x to a.
double memberMove(int x, int a, const Parameter& own, int s) {
  return x == a ? own.getTranLogSame(s) : own.getTranLogDiff(s);
}

// Plain Viterbi over the S x S pairs of the sample, all S^4 moves per SNP.
double bruteForceBestScore(const SearchCase& c, const std::vector<int>& sample) {
  const int S = static_cast<int>(sample.size());
  Parameter own(c.parameter);
  own.renewTran(S);
  const double omega = own.getEmitError();
  auto emission = [&](int s, int a, int b) {
    return pairEmission(c.counts[s].first, c.counts[s].second, c.panel[s][sample[a]],
                        c.panel[s][sample[b]], omega);
  };
  std::vector<double> score(S * S), next(S * S);
  for (int a = 0; a < S; ++a) {
    for (int b = 0; b < S; ++b) score[a * S + b] = emission(0, a, b);
  }
  for (std::size_t s = 1; s < c.panel.size(); ++s) {
    for (int a = 0; a < S; ++a) {
      for (int b = 0; b < S; ++b) {
        double best = -kInf;
        for (int x = 0; x < S; ++x) {
          for (int y = 0; y < S; ++y) {
            best = std::max(best,
                            score[x * S + y] + memberMove(x, a, own, s) + memberMove(y, b, own, s));
          }
        }
        next[a * S + b] = best + emission(s, a, b);
      }
    }
    score.swap(next);
  }
  return *std::max_element(score.begin(), score.end());
}

// Score of a given pair of paths (panel indices) under the search's model.
double pairPathScore(const SearchCase& c, const RefPath& first, const RefPath& second, int S) {
  Parameter own(c.parameter);
  own.renewTran(S);
  double sum = 0;
  for (std::size_t s = 0; s < c.panel.size(); ++s) {
    sum += pairEmission(c.counts[s].first, c.counts[s].second, c.panel[s][first.at(s)],
                        c.panel[s][second.at(s)], own.getEmitError());
    if (s > 0) {
      sum += memberMove(first.at(s - 1), first.at(s), own, s) +
             memberMove(second.at(s - 1), second.at(s), own, s);
    }
  }
  return sum;
}

// Runs the search and returns what it wrote on standard output.
std::string runSearch(const Reference& reference, RefPath& first, RefPath& second,
                      const AlleleCounts& counts, const Parameter& parameter) {
  testing::internal::CaptureStdout();
  reference.maxPath(first, second, counts, parameter);
  return testing::internal::GetCapturedStdout();
}

TEST(PairEmission, WorkedExamples) {
  // Map SNP 0 is A/G and SNP 1 G/A (major/minor); both panel lines read AG,
  // so haplotype 0 is major then minor and haplotype 1 minor then major.
  Parameter parameter = mapAt({1, 2}, "AG", "GA");
  parameter.setSampleSize(2);
  Reference reference;
  loadText(reference, "AG\nAG\n", parameter);
  const std::vector<int> sample = {0, 1};
  const double w = parameter.getEmitError();
  const double half = std::log(0.5);
  struct Case {
    unsigned short n0, n1;
    double e00, e01, e11;
  };
  const Case cases[] = {
      {5, 0, 5 * std::log(1 - w), 5 * half, 5 * std::log(w)},
      {5, 1, std::log(6.0) + 5 * std::log(1 - w) + std::log(w), std::log(6.0) + 6 * half,
       std::log(6.0) + std::log(1 - w) + 5 * std::log(w)},
      {3, 3, std::log(20.0) + 3 * std::log(1 - w) + 3 * std::log(w), std::log(20.0) + 6 * half,
       std::log(20.0) + 3 * std::log(1 - w) + 3 * std::log(w)},
      {0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<double> scores(8, 0.0);
    reference.plusEmission(scores, 0, {c.n0, c.n1}, sample, parameter);
    EXPECT_NEAR(scores[0], c.e00, 1e-12);
    EXPECT_NEAR(scores[1], c.e01, 1e-12);
    EXPECT_NEAR(scores[2], c.e01, 1e-12);
    EXPECT_NEAR(scores[3], c.e11, 1e-12);
    for (int k = 4; k < 8; ++k) EXPECT_EQ(scores[k], 0.0);
    // Odd SNPs use the second layer and add to what it holds; at SNP 1 the
    // alleles are swapped, so pair (0, 0) is both minor.
    std::fill(scores.begin(), scores.end(), 1.5);
    reference.plusEmission(scores, 1, {c.n0, c.n1}, sample, parameter);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(scores[k], 1.5);
    EXPECT_NEAR(scores[4], 1.5 + c.e11, 1e-12);
    EXPECT_NEAR(scores[5], 1.5 + c.e01, 1e-12);
    EXPECT_NEAR(scores[7], 1.5 + c.e00, 1e-12);
  }
  // At the default omega (5, 0) favours both-major, (5, 1) differing alleles.
  EXPECT_GT(cases[0].e00, cases[0].e01);
  EXPECT_GT(cases[1].e01, cases[1].e00);
}

TEST(PairEmission, StaysFiniteForLargeReadCounts) {
  Parameter parameter = mapOf(1);
  parameter.setSampleSize(2);
  Reference reference;
  loadText(reference, "AG\n", parameter);
  for (unsigned short n : {171, 1000, 65535}) {
    std::vector<double> scores(8, 0.0);
    reference.plusEmission(scores, 0, {n, n}, {0, 1}, parameter);
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(std::isfinite(scores[k])) << n << " " << k;
    EXPECT_NEAR(scores[1], pairEmission(n, n, false, true, parameter.getEmitError()),
                1e-9 * std::fabs(scores[1]));
    EXPECT_GT(scores[1], scores[0]);
  }
}

TEST(BestPathSearch, MatchesAPlainViterbiOverPairs) {
  int impossibleMoves = 0;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    veltaSrand(seed);
    const int hapNo = 2 + veltaRand() % 5;
    const int S = 1 + veltaRand() % std::min(hapNo, 4);
    const int snpNo = 1 + veltaRand() % 8;
    SearchCase c{mapAt(randomPositions(snpNo)), randomAlleles(hapNo, snpNo), {}};
    for (int s = 0; s < snpNo; ++s) {
      c.counts.emplace_back(veltaRand() % 6, veltaRand() % 6);
    }
    c.parameter.setTranNe(seed % 3 == 0 ? 1e-6 : 0.002 * velta_test::uniformDraw());
    c.parameter.setSmoothMu(seed % 2 == 0 ? 1.0 : 0.5 + 1.5 * velta_test::uniformDraw());
    c.parameter.setEmitError(0.01 + 0.3 * velta_test::uniformDraw());
    c.parameter.setSampleSize(S);
    c.parameter.renewTran(hapNo);
    const Parameter before(c.parameter);
    Reference reference;
    loadText(reference, panelText(c.panel), c.parameter);
    RefPath first(reference), second(reference);

    const unsigned drawSeed = veltaRand();
    veltaSrand(drawSeed);
    std::vector<int> sample;
    nSamplek(sample, hapNo, S);
    const int next = veltaRand();
    veltaSrand(drawSeed);
    runSearch(reference, first, second, c.counts, c.parameter);
    ASSERT_EQ(veltaRand(), next) << "the search draws only its sample";

    const double expected = bruteForceBestScore(c, sample);
    ASSERT_NEAR(pairPathScore(c, first, second, S), expected, 1e-9 * std::fabs(expected))
        << "seed " << seed << " H " << hapNo << " S " << S << " SNPs " << snpNo;
    for (int s = 0; s < snpNo; ++s) {
      ASSERT_TRUE(std::binary_search(sample.begin(), sample.end(), first.at(s)));
      ASSERT_TRUE(std::binary_search(sample.begin(), sample.end(), second.at(s)));
    }
    // The caller's record keeps its transitions for the whole panel.
    EXPECT_EQ(c.parameter.getTranHapNo(), static_cast<unsigned>(hapNo));
    for (int s = 1; s < snpNo; ++s) {
      EXPECT_EQ(c.parameter.getTranLogDiff(s), before.getTranLogDiff(s));
      Parameter own(c.parameter);
      own.renewTran(S);
      impossibleMoves += own.getTranLogDiff(s) == -kInf;
    }
  }
  EXPECT_GT(impossibleMoves, 10);
}

// A panel whose haplotypes repeat `patterns` distinct ones (0 for all
// random), so that many pairs tie.
Alleles panelWithRepeats(int hapNo, int snpNo, int patterns) {
  if (patterns == 0) return randomAlleles(hapNo, snpNo);
  const Alleles distinct = randomAlleles(patterns, snpNo);
  std::vector<int> pattern(hapNo);
  for (int& p : pattern) p = veltaRand() % patterns;
  Alleles panel(snpNo, std::vector<bool>(hapNo));
  for (int s = 0; s < snpNo; ++s) {
    for (int k = 0; k < hapNo; ++k) panel[s][k] = distinct[s][pattern[k]];
  }
  return panel;
}

TEST(BestPathSearch, ChoosesTheWinnersOfTheAllPairsSearch) {
  // Random panels (half of them a few repeated haplotypes, so that scores
  // tie), random or absent reads, mu 1, 0.5 or 2 and moves made impossible
  // at coincident SNPs in one case of three; sample sizes 1 to 40, and three
  // wide samples on a few SNPs.
  int impossibleMoves = 0;
  for (unsigned seed = 1; seed <= 123; ++seed) {
    veltaSrand(seed);
    const bool wide = seed > 120;
    const int hapNo = wide ? 64 + veltaRand() % 50 : 1 + veltaRand() % 80;
    const int S = wide ? 64 : 1 + veltaRand() % std::min(hapNo, 40);
    const int snpNo = wide ? 3 : 1 + veltaRand() % (S > 20 ? 12 : 150);
    SearchCase c{mapAt(randomPositions(snpNo)),
                 panelWithRepeats(hapNo, snpNo, seed % 2 == 0 ? 1 + veltaRand() % 4 : 0),
                 {}};
    const bool reads = seed % 5 != 0;
    for (int s = 0; s < snpNo; ++s) {
      c.counts.emplace_back(reads ? veltaRand() % 6 : 0, reads ? veltaRand() % 6 : 0);
    }
    const double mus[3] = {1.0, 0.5, 2.0};
    c.parameter.setTranNe(seed % 3 == 0 ? 1e-6 : 0.002 * velta_test::uniformDraw());
    c.parameter.setSmoothMu(mus[seed % 3]);
    c.parameter.setEmitError(0.01 + 0.3 * velta_test::uniformDraw());
    c.parameter.setSampleSize(S);
    c.parameter.renewTran(hapNo);
    Reference reference;
    loadText(reference, panelText(c.panel), c.parameter);
    Parameter own(c.parameter);
    own.renewTran(S);
    impossibleMoves += countImpossibleMoves(own, snpNo);

    const unsigned drawSeed = veltaRand();
    veltaSrand(drawSeed);
    RefPath expectedFirst(reference), expectedSecond(reference);
    velta_reference::maxPathAllPairs(reference, expectedFirst, expectedSecond, c.counts,
                                     c.parameter);
    veltaSrand(drawSeed);
    RefPath first(reference), second(reference);
    runSearch(reference, first, second, c.counts, c.parameter);
    for (int s = 0; s < snpNo; ++s) {
      ASSERT_EQ(first.at(s), expectedFirst.at(s)) << "seed " << seed << " SNP " << s;
      ASSERT_EQ(second.at(s), expectedSecond.at(s)) << "seed " << seed << " SNP " << s;
    }
  }
  EXPECT_GT(impossibleMoves, 100);
}

TEST(BestPathSearch, OneSnpTakesTheBestPairByEmissionsAlone) {
  // Haplotypes 0..3 carry A G G A; ties go to the smallest flat index.
  Parameter parameter = mapOf(1);
  parameter.setSampleSize(4);
  Reference reference;
  loadText(reference, "AGGA\n", parameter);
  struct Case {
    unsigned short n0, n1;
    unsigned short first, second;
  };
  const Case cases[] = {{0, 6, 1, 1}, {6, 0, 0, 0}, {3, 3, 0, 1}, {0, 0, 0, 0}};
  for (const Case& c : cases) {
    RefPath first(reference), second(reference);
    const std::string out = runSearch(reference, first, second, {{c.n0, c.n1}}, parameter);
    EXPECT_EQ(out, "\n");
    EXPECT_EQ(first.at(0), c.first) << c.n0 << " " << c.n1;
    EXPECT_EQ(second.at(0), c.second) << c.n0 << " " << c.n1;
  }
}

TEST(BestPathSearch, EqualPairsResolveToTheFirstSampledHaplotype) {
  // Every haplotype is the same: all pairs tie and pair (0, 0) wins, which is
  // the smallest sampled panel index.
  Parameter parameter = mapOf(1);
  parameter.setSampleSize(3);
  Reference reference;
  loadText(reference, std::string(20, 'G') + "\n", parameter);
  for (unsigned seed : {1U, 2U, 3U}) {
    veltaSrand(seed);
    std::vector<int> sample;
    nSamplek(sample, 20, 3);
    veltaSrand(seed);
    RefPath first(reference), second(reference);
    runSearch(reference, first, second, {{2, 5}}, parameter);
    EXPECT_EQ(first.at(0), sample[0]);
    EXPECT_EQ(second.at(0), sample[0]);
  }
}

TEST(BestPathSearch, WritesADotEveryThousandSnpsAndANewline) {
  struct Case {
    int snpNo;
    const char* out;
  };
  for (const Case& c : {Case{999, "\n"}, Case{1000, "\n"}, Case{1001, ".\n"}, Case{2001, "..\n"}}) {
    Parameter parameter = mapOf(c.snpNo);
    parameter.setSampleSize(2);
    Reference reference;
    loadText(reference, panelText(Alleles(c.snpNo, {false, true})), parameter);
    RefPath first(reference), second(reference);
    veltaSrand(1);
    EXPECT_EQ(runSearch(reference, first, second, AlleleCounts(c.snpNo), parameter), c.out);
  }
}

TEST(BestPathSearch, WithoutReadsEachPathCopiesOneHaplotype) {
  veltaSrand(12);
  Parameter parameter = mapAt(randomPositions(60));
  parameter.setSampleSize(4);
  Reference reference;
  loadText(reference, panelText(randomAlleles(6, 60)), parameter);
  RefPath first(reference), second(reference);
  runSearch(reference, first, second, AlleleCounts(60), parameter);
  for (int s = 1; s < 60; ++s) {
    EXPECT_EQ(first.at(s), first.at(0));
    EXPECT_EQ(second.at(s), second.at(0));
  }
}

TEST(BestPathSearch, PairsStayWhereMovingIsImpossible) {
  // 73 sampled haplotypes at coincident coordinates: moving has probability 0
  // there. Reads come from haplotypes 10 and 40 everywhere, so the best pair
  // of paths copies them throughout instead of collapsing anywhere.
  const int hapNo = 73, snpNo = 10;
  veltaSrand(4);
  Alleles panel = randomAlleles(hapNo, snpNo);
  const std::vector<double> positions = {1000, 2000, 2000, 3000, 4000,
                                         4000, 4000, 5000, 6000, 6000};
  Parameter parameter = mapAt(positions);
  parameter.setSampleSize(hapNo);
  parameter.renewTran(hapNo);
  Parameter own(parameter);
  own.renewTran(hapNo);
  ASSERT_EQ(own.getTranLogDiff(2), -kInf);
  AlleleCounts counts;
  for (int s = 0; s < snpNo; ++s) {
    const int minor = panel[s][10] + panel[s][40];
    counts.emplace_back(10 * (2 - minor), 10 * minor);
  }
  Reference reference;
  loadText(reference, panelText(panel), parameter);
  RefPath first(reference), second(reference);
  runSearch(reference, first, second, counts, parameter);
  const bool swapped = first.at(0) == 40;
  for (int s = 0; s < snpNo; ++s) {
    EXPECT_EQ(first.at(s), swapped ? 40 : 10) << s;
    EXPECT_EQ(second.at(s), swapped ? 10 : 40) << s;
  }
}

TEST(BestPathSearch, SampleSizeMustBeOneTo256AndAtMostThePanel) {
  Parameter parameter = mapOf(2);
  Reference reference;
  loadText(reference, panelText(Alleles(2, std::vector<bool>(300))), parameter);
  RefPath first(reference), second(reference);
  for (int S : {0, -3, 257}) {
    parameter.setSampleSize(S);
    const std::string err =
        fatalMessage([&] { reference.maxPath(first, second, AlleleCounts(2), parameter); });
    EXPECT_EQ(err, "FATAL => Sample size " + std::to_string(S) +
                       " is outside the allowed range 1 to 256 for the best path search (-s)\n\n");
  }
  // The largest sample, on one SNP where the search costs no S^4 step.
  Parameter oneSnp = mapOf(1);
  oneSnp.setSampleSize(256);
  Reference wide;
  loadText(wide, std::string(300, 'A') + "\n", oneSnp);
  RefPath wideFirst(wide), wideSecond(wide);
  runSearch(wide, wideFirst, wideSecond, AlleleCounts(1), oneSnp);
  EXPECT_LT(wideFirst.at(0), 300);

  Reference small;
  loadText(small, "AGA\nAGA\n", parameter);
  RefPath a(small), b(small);
  parameter.setSampleSize(5);
  testing::internal::CaptureStdout();
  const std::string err = fatalMessage([&] { small.maxPath(a, b, AlleleCounts(2), parameter); });
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(err, "FATAL => Knuth algorithm wrong\n\n");
}

TEST(BestPathSearch, ABackPointerTableBeyondMemoryEndsTheRunWithItsSize) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limits cannot be set under AddressSanitizer";
#else
  // 2100 SNPs x 256^2 pairs x 2 bytes = 275 MB, more than the limit leaves.
  const int snpNo = 2100;
  Parameter parameter = mapOf(snpNo);
  parameter.setSampleSize(256);
  Reference reference;
  loadText(reference, panelText(Alleles(snpNo, std::vector<bool>(256))), parameter);
  RefPath first(reference), second(reference);
  const AlleleCounts counts(snpNo);
  auto searchWithin = [&](std::size_t headroom) {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * 4096 + headroom;
    const rlimit bound = {limit, limit};
    setrlimit(RLIMIT_AS, &bound);
    reference.maxPath(first, second, counts, parameter);
  };
  EXPECT_EXIT(searchWithin(64 << 20), testing::ExitedWithCode(1),
              "FATAL => Best path search needs 275251200 bytes for its back-pointer table "
              "\\(2100 SNPs x 256 x 256 sample pairs\\)");
#endif
}

}  // namespace

namespace {

// Rows held in memory load as the same lines of a panel file do, and break
// the same rules.
TEST(ReferenceRows, RowsInMemoryLoadAsThePanelFileDoes) {
  const Parameter p = velta_test::mapFromText("20 a 1 1 A G\n20 b 2 2 C T\n20 c 3 3 G A\n");
  const std::vector<std::string> rows = {"AGGA", "TTCC", "GAAG"};
  Reference fromRows;
  fromRows.initFromRows(rows.data(), rows.size(), "memory", p);
  std::istringstream text("AGGA\nTTCC\nGAAG\n");
  Reference fromFile;
  fromFile.initFromStream(text, "file", p);
  ASSERT_EQ(fromRows.getHapNo(), 4);
  ASSERT_EQ(fromRows.getSnpNo(), 3);
  for (unsigned short h = 0; h < 4; ++h) {
    for (unsigned s = 0; s < 3; ++s) EXPECT_EQ(fromRows.getAllele(h, s), fromFile.getAllele(h, s));
  }
  const std::vector<std::vector<std::string>> bad = {{"AGGA", "TTC", "GAAG"}, {"AGGA", "TTCC"}};
  for (const auto& rowsOfBadPanel : bad) {
    ExitGuard catcher;
    Reference reference;
    testing::internal::CaptureStderr();
    EXPECT_THROW(reference.initFromRows(rowsOfBadPanel.data(), rowsOfBadPanel.size(), "memory", p),
                 velta_test::FatalExit);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Reference file"), std::string::npos);
  }
}

// ---------------------------------------------------------------------------
// The vectorised forward step against its one-haplotype-at-a-time form

TEST(ForwardStepKernel, GivesTheBitsOfThePlainStepOnRandomInputs) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::size_t hapNo : {1, 5, 8, 9, 63, 64, 65, 127, 590, 1000}) {
    for (int round = 0; round < 4; ++round) {
      const std::size_t stride = (hapNo + 7) / 8 * 8;
      std::vector<double> previous(stride);
      // Weights over many orders of magnitude, as after a few hundred SNPs.
      for (double& value : previous) value = unit(random) * std::pow(10.0, -30 * unit(random));
      std::vector<std::uint64_t> panel((hapNo + 63) / 64);
      for (std::uint64_t& word : panel) word = random();
      std::vector<double> table(16 * 4);
      for (double& value : table) value = unit(random);
      const std::uint64_t mask = round % 2 == 0 ? 0 : ~std::uint64_t{0};
      const double stay = unit(random) * 1e5;
      const double move = unit(random) * 1e-3;
      std::vector<double> fast(stride, -1.0);
      std::vector<double> plain(stride, -1.0);
      const double fastSum = forwardStep(previous.data(), fast.data(), panel.data(), mask, hapNo,
                                         stay, move, table.data());
      const double plainSum = velta_plain::forwardStep(previous.data(), plain.data(), panel.data(),
                                                       mask, hapNo, stay, move, table.data());
      EXPECT_EQ(fastSum, plainSum) << hapNo << " haplotypes, round " << round;
      EXPECT_EQ(0, std::memcmp(fast.data(), plain.data(), hapNo * sizeof(double)))
          << hapNo << " haplotypes, round " << round;
    }
  }
}

}  // namespace
