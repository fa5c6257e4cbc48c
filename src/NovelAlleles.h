// Heterozygous SNPs with an allele that no panel haplotype carries. The
// copying model cannot orient one (every pair of panel haplotypes fits either
// orientation alike) and, where no read links it to a neighbour, nothing else
// in the data does: such an allele goes with the haplotype that the panel
// represents worse around it. An allele the panel lacks is a recent one, and
// a recent allele sits more often on a background the panel holds no close
// copy of than on one it does.
#pragma once

#include <cstdint>
#include <vector>

#include "CopyingCandidates.h"

// The first haplotype's allele at heterozygous SNP `snp` (1 for minor) that
// puts the allele no panel haplotype carries on the haplotype the panel
// represents worse around it: the one whose closest panel haplotype, over the
// `flank` SNPs on either side (the SNP itself left out), disagrees with it
// more often; where both disagree alike, the one whose agreement with the
// panel reaches less far without a break (CopyingCandidates::matchReach: the
// shorter the stretch it shares with its closest relatives, the more distant
// they are). -1 when the panel carries both alleles or both measures tie.
// `haplotypes`: the two haplotypes' alleles, a bit per SNP; `panel`: the
// panel held haplotype-major.
int novelFirstAllele(const std::vector<HaplotypeBits>& haplotypes, unsigned int snp,
                     const CopyingCandidates& panel, unsigned int flank);
