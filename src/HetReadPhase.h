// The reads' own phase of the individual's heterozygous SNPs: inside every
// stretch the reads link, the phase that explains the reads with the fewest
// mismatches, and how strongly the reads tie each heterozygous SNP to the one
// before.
#pragma once

#include <cstdint>
#include <vector>

class Read;

struct HetReadPhase {
  // Per heterozygous SNP (in SNP order): the first haplotype's allele (1 for
  // minor) under the reads' phase.
  std::vector<unsigned char> firstAllele;
  // Per heterozygous SNP i >= 1: log odds, from the reads, that SNPs i - 1 and
  // i are phased relative to each other as firstAllele says; 0 where no read
  // links them (entry 0 is 0).
  std::vector<double> linkLogOdds;
  // Best-side read mismatch at the heterozygous SNPs before and after
  // phasing (phasing never raises it).
  long long mismatchBefore = 0;
  long long mismatchAfter = 0;
};

// `hets`: the heterozygous SNPs in increasing order; `startAllele`: the first
// haplotype's allele at each, the phase the greedy moves start from. Reads
// with fewer than two calls at heterozygous SNPs carry no phase and are left
// out. A mismatch costs ln((1 - e) / e) for the reads' call error rate e
// (`callError`); `nSnp` is the number of SNPs. Draws no random numbers.
HetReadPhase phaseHetsByReads(const std::vector<std::uint32_t>& hets,
                              const std::vector<unsigned char>& startAllele,
                              const std::vector<Read>& reads, unsigned int nSnp,
                              double callError);
