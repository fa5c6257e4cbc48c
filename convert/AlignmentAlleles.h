// The alleles one alignment shows at the map's SNPs, found by walking its
// CIGAR along the reference.
#pragma once

#include <cstdint>
#include <vector>

#include "HtsHandles.h"
#include "ReadLines.h"
#include "SnpLocator.h"

// Why covered SNPs showed an allele or not, summed over alignments.
struct BaseCounts {
  std::uint64_t calls = 0;       // the base is one of the SNP's alleles
  std::uint64_t lowQuality = 0;  // base quality below the threshold
  std::uint64_t otherBase = 0;   // a base equal to neither allele (N included)
  std::uint64_t deleted = 0;     // the SNP lies in a deletion or a skipped region
};

// Appends one call per SNP of `track` inside the alignment's reference span:
// the map's allele character when the aligned base equals that allele (case
// ignored) with a base quality of at least `minBaseq` (a record without
// qualities passes), '-' otherwise. Soft-clipped and inserted bases lie on
// no reference position and so cover no SNP.
void collectAlignmentCalls(const bam1_t* alignment, const SnpTrack& track, int minBaseq,
                           BaseCounts& counts, std::vector<SnpCall>& calls);
