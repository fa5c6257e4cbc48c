// The inference sampler's kept read sides against the plain inner iteration.
#include "ReadSides.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "PlainKernels.h"
#include "Read.h"
#include "Reference.h"
#include "TestSupport.h"
#include "VeltaUtil.h"

namespace {

using velta_test::countsOf;
using velta_test::flipsOf;

// Alleles and counts of every SNP.
std::vector<int> statesOf(const Haplotype& h) {
  std::vector<int> state;
  for (const auto& [major, minor] : countsOf(h)) state.push_back(2 * major + 131072 * minor);
  for (int j = 0; j < h.getLength(); ++j) state[j] += h[j];
  return state;
}

// Several inner iterations from the same state and seed: the same alleles,
// counts and sides as the plain iteration, and the random sequence left at
// the same place, for several settings, for haplotype pairs from unrelated
// to nearly equal (where agreements tie), on one to three threads.
TEST(ReadSides, IterationsEqualThePlainInnerIteration) {
  const int nSnp = 700;
  Parameter p = velta_test::uniformMap(nSnp);
  veltaSrand(41);
  std::ostringstream panelText;
  for (int j = 0; j < nSnp; ++j) {
    for (int h = 0; h < 6; ++h) panelText << "AG"[veltaRand() & 1];
    panelText << '\n';
  }
  std::istringstream panel(panelText.str());
  Reference reference;
  reference.initFromStream(panel, "panel.txt", p);
  p.renewTran(6);
  const std::vector<Read> start = velta_test::mixedReads(nSnp, 1500, p);
  const struct {
    double mu, error, emit;
  } settings[] = {{1.0, 0.01, 0.002}, {0.5, 0.05, 0.1}, {2.0, 0.01, 0.002}};
  for (const auto& setting : settings) {
    p.setSmoothMu(setting.mu);
    p.setSeqError(setting.error);
    p.setEmitError(setting.emit);
    for (unsigned related = 0; related < 3; ++related) {
      RefPath paths[2] = {RefPath(reference), RefPath(reference)};
      std::vector<bool> alleles[2];
      for (int j = 0; j < nSnp; ++j) {
        for (RefPath& path : paths) path(j) = static_cast<unsigned short>(veltaRand() % 6);
        alleles[0].push_back(veltaRand() & 1);
        alleles[1].push_back(static_cast<unsigned>(veltaRand() % 3) < related ? alleles[0][j] : (veltaRand() & 1) != 0);
      }
      std::vector<Read> reads = start;
      Haplotype first(alleles[0]), second(alleles[1]);
      velta_test::loadSides(reads, first, second);
      std::vector<Read> plainReads = reads;
      Haplotype plainFirst = first, plainSecond = second;
      // One, two and three threads: the same results.
      ReadSides sides(reads, first, second, p, related + 1);
      std::vector<std::uint64_t> copied[2];
      paths[0].copiedAlleles(copied[0]);
      paths[1].copiedAlleles(copied[1]);
      const unsigned seed = 90 + related;
      veltaSrand(seed);
      std::srand(seed);
      for (unsigned iteration = 0; iteration < 6; ++iteration) {
        // Runs of one and of two inner iterations.
        const unsigned count = 1 + iteration % 2;
        sides.subIterations(count, first, second, copied[0], copied[1], p);
        for (unsigned k = 0; k < count; ++k) {
          velta_plain::subIteration(plainFirst, plainSecond, paths[0], paths[1], plainReads, p);
        }
        sides.storeFlips(reads);
        const std::string where = "mu " + std::to_string(setting.mu) + " related " +
                                  std::to_string(related) + " iteration " +
                                  std::to_string(iteration);
        ASSERT_EQ(statesOf(first), statesOf(plainFirst)) << where;
        ASSERT_EQ(statesOf(second), statesOf(plainSecond)) << where;
        ASSERT_EQ(flipsOf(reads), flipsOf(plainReads)) << where;
        // The kept agreements give the read term's sums of a fresh count.
        ReadAgreement counted;
        for (const Read& read : plainReads) {
          counted.add(read.size(), velta_plain::countMatch(read, plainFirst),
                      velta_plain::countMatch(read, plainSecond));
        }
        const ReadAgreement kept = sides.agreement();
        EXPECT_EQ(kept.matches, counted.matches) << where;
        EXPECT_EQ(kept.mismatches, counted.mismatches) << where;
        EXPECT_EQ(kept.bestSideMismatches, counted.bestSideMismatches) << where;
      }
      EXPECT_EQ(veltaRand(), std::rand());
    }
  }
}

// The first value giving flip 1, for sizes in the small table, the tabled
// weights and beyond: below it every value gives 0, from it on 1.
TEST(ReadSides, FlipThresholdsSplitTheValuesWhereTheDrawChanges) {
  Parameter p = velta_test::uniformMap(1);
  veltaSrand(8);
  for (double mu : {1.0, 0.3, -1.0}) {
    p.setSmoothMu(mu);
    const FlipDrawTable& table = FlipDrawTable::forParameter(p);
    for (int trial = 0; trial < 3000; ++trial) {
      const unsigned n = trial % 3 == 0 ? veltaRand() % 16 : veltaRand() % 400;
      const unsigned m1 = veltaRand() % (n + 1);
      const unsigned m2 = trial % 4 == 0 ? m1 : veltaRand() % (n + 1);
      const std::uint32_t threshold = table.twoThreshold(n, m1, m2);
      ASSERT_LE(threshold, 2147483647U);
      const std::string mismatch = velta_plain::decisionMismatch(
          [&](std::uint32_t value) { return value >= threshold; },
          [&](double u) { return velta_plain::flipTwo(n, m1, m2, p, u) != 0; });
      ASSERT_EQ(mismatch, "") << "n " << n << " m " << m1 << " " << m2 << " mu " << mu;
    }
  }
}

}  // namespace
