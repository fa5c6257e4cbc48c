#include "PhaseScore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CompareTestSupport.h"

namespace {

using velta_test::genotypes;

// Eight SNPs, heterozygous except the second (CC) and the seventh (TT).
const char kTruth[] = "AG CC TA GC AT CG TT GA";

struct Expected {
  unsigned int genotypeErrors, hetCalled, switchPairs, switches, flips, longSwitches, hamming;
};

struct ScoreCase {
  const char* name;
  const char* truth;
  const char* phased;
  std::vector<unsigned int> blocks;  // empty: one block
  Expected expected;
};

// Each expectation worked out by hand. "kept"/"swapped" below is the phase
// relation of each heterozygous SNP called with the true alleles.
const ScoreCase kCases[] = {
    {"identical", kTruth, kTruth, {}, {0, 6, 5, 0, 0, 0, 0}},
    // All six swapped: one relation throughout, so no switch; Hamming takes
    // the better (swapped) order.
    {"swapped haplotypes", kTruth, "GA CC AT CG TA GC TT AG", {}, {0, 6, 5, 0, 0, 0, 0}},
    // kept kept kept | swapped swapped swapped: one long switch; three wrong
    // under either order.
    {"one switch", kTruth, "AG CC TA GC TA GC TT AG", {}, {0, 6, 5, 1, 0, 1, 3}},
    // kept kept swapped kept kept kept: two switches paired into one flip.
    {"one flip", kTruth, "AG CC TA CG AT CG TT GA", {}, {0, 6, 5, 2, 1, 0, 1}},
    // Third SNP called TT: a genotype error, out of the phased set (five
    // left, four pairs), wrong under both orders.
    {"homozygous call at a heterozygous SNP",
     kTruth,
     "AG CC TT GC AT CG TT GA",
     {},
     {1, 5, 4, 0, 0, 0, 1}},
    // A wrong allele (T for G) is a genotype error too, and no phase.
    {"wrong allele at a heterozygous SNP",
     kTruth,
     "AT CC TA GC AT CG TT GA",
     {},
     {1, 5, 4, 0, 0, 0, 1}},
    // A heterozygous call at a homozygous SNP: a genotype error, no phase.
    {"heterozygous call at a homozygous SNP",
     kTruth,
     "AG CT TA GC AT CG TT GA",
     {},
     {1, 6, 5, 0, 0, 0, 0}},
    // Two blocks (SNPs 1-4 and 5-8) with the switch at their border: no error;
    // pairs: (1,3) (3,4) in the first, (5,6) (6,8) in the second.
    {"switch between two blocks",
     kTruth,
     "AG CC TA GC TA GC TT AG",
     {0, 0, 0, 0, 4, 4, 4, 4},
     {0, 6, 4, 0, 0, 0, 3}},
    {"switch inside one block",
     kTruth,
     "AG CC TA GC TA GC TT AG",
     {0, 0, 0, 0, 0, 0, 0, 0},
     {0, 6, 5, 1, 0, 1, 3}},
    // kept swapped kept swapped kept: the switches pair from the left into two
    // flips (SNPs 2 and 4 wrong).
    {"alternating relations", "AG CT GA TC AC", "AG TC GA CT AC", {}, {0, 5, 4, 4, 2, 0, 2}},
    // kept swapped swapped kept: two long switches, not a flip.
    {"two long switches", "AG CT GA TC", "AG TC AG TC", {}, {0, 4, 3, 2, 0, 2, 2}},
    // kept swapped kept swapped over one block: a flip, then a switch at the
    // end that nothing undoes.
    {"flip then a final switch", "AG CT GA TC", "AG TC GA CT", {}, {0, 4, 3, 3, 1, 1, 2}},
    // Interleaved blocks (1,3) and (2,4): each keeps its own relation, so
    // nothing switches although neighbours in the file differ.
    {"interleaved blocks", "AG CT GA TC", "AG TC GA CT", {0, 1, 0, 1}, {0, 4, 2, 0, 0, 0, 2}},
    // Every SNP its own block: nothing to switch.
    {"singleton blocks",
     kTruth,
     "AG CC AT GC TA CG TT AG",
     {0, 1, 2, 3, 4, 5, 6, 7},
     {0, 6, 0, 0, 0, 0, 3}},
    {"nothing to compare", "", "", {}, {0, 0, 0, 0, 0, 0, 0}},
};

TEST(PhaseScore, HandWorkedCases) {
  for (const ScoreCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::vector<PhasedGenotype> truth = genotypes(c.truth);
    const PhaseScore s = scorePhase(truth, genotypes(c.phased), c.blocks);
    EXPECT_EQ(s.snps, truth.size());
    EXPECT_EQ(s.genotypeErrors, c.expected.genotypeErrors);
    EXPECT_EQ(s.hetCalled, c.expected.hetCalled);
    EXPECT_EQ(s.switchPairs, c.expected.switchPairs);
    EXPECT_EQ(s.switches, c.expected.switches);
    EXPECT_EQ(s.flips, c.expected.flips);
    EXPECT_EQ(s.longSwitches, c.expected.longSwitches);
    EXPECT_EQ(s.hamming, c.expected.hamming);
    EXPECT_EQ(s.switches, s.longSwitches + 2 * s.flips);
  }
}

TEST(PhaseScore, CountsHeterozygousSnpsOfTheTruth) {
  EXPECT_EQ(scorePhase(genotypes(kTruth), genotypes(kTruth), {}).het, 6U);
}

TEST(PhaseScore, RatesDivideByTheirOwnTotals) {
  // One switch among 5 pairs, 3 Hamming errors among 6 heterozygous SNPs.
  const PhaseScore s = scorePhase(genotypes(kTruth), genotypes("AG CC TA GC TA GC TT AG"), {});
  EXPECT_DOUBLE_EQ(s.switchRate(), 1.0 / 5);
  EXPECT_DOUBLE_EQ(s.hammingRate(), 3.0 / 6);
  const PhaseScore g = scorePhase(genotypes(kTruth), genotypes("AG CC TT GC AT CG TT GA"), {});
  EXPECT_DOUBLE_EQ(g.genotypeErrorRate(), 1.0 / 8);
  const PhaseScore empty;
  EXPECT_EQ(empty.switchRate(), 0.0);
  EXPECT_EQ(empty.hammingRate(), 0.0);
  EXPECT_EQ(empty.genotypeErrorRate(), 0.0);
}

}  // namespace
