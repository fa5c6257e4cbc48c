// How a phased genotype pair compares with the truth: genotype discordance,
// switch errors split into flips and long switches, and Hamming errors.
#pragma once

#include <vector>

#include "PhaseFile.h"

struct PhaseScore {
  unsigned int snps = 0;            // SNPs compared
  unsigned int het = 0;             // SNPs heterozygous in the truth
  unsigned int genotypeErrors = 0;  // SNPs whose unordered allele pair differs from the truth
  // Truly heterozygous SNPs called heterozygous with the true pair of alleles:
  // the SNPs whose phase can be right or wrong.
  unsigned int hetCalled = 0;
  // Neighbouring pairs of those SNPs within one block: the places where a
  // switch can happen.
  unsigned int switchPairs = 0;
  unsigned int switches = 0;      // phase changes between the neighbours of a pair
  unsigned int flips = 0;         // a switch undone at the next SNP: one wrong SNP, two switches
  unsigned int longSwitches = 0;  // the other switches
  // Wrong heterozygous SNPs under the better of the two haplotype orders; a
  // heterozygous SNP called otherwise is wrong under both.
  unsigned int hamming = 0;

  double genotypeErrorRate() const { return rate(genotypeErrors, snps); }
  double switchRate() const { return rate(switches, switchPairs); }
  double hammingRate() const { return rate(hamming, het); }

 private:
  static double rate(unsigned int count, unsigned int total) {
    return total == 0 ? 0.0 : static_cast<double>(count) / total;
  }
};

// Scores `phased` against `truth` (same length, SNPs from 0). `blockOf` gives
// a block number below the SNP count for every SNP, or is empty when the whole
// region is one block: switches are looked for only between consecutive
// phased SNPs of one block, since nothing ties the phase of one block to the
// next. Within a block's sequence of phase relations the switches are paired
// from the left: a switch followed at once by a switch back is one flip.
PhaseScore scorePhase(const std::vector<PhasedGenotype>& truth,
                      const std::vector<PhasedGenotype>& phased,
                      const std::vector<unsigned int>& blockOf);
