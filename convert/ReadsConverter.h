// velta-convert reads: aligned reads (SAM, BAM or CRAM) into a velta read
// file against a SNP map.
#pragma once

#include "Options.h"

// For every primary, mapped, non-duplicate alignment that passes QC and has
// at least --min-mapq, the alleles it shows at the map's SNPs; the two mates
// of a pair are joined by name into one read line, a single (long) read gives
// its own. Reads that show no allele are not written. Uses the file's index,
// when it has one, to read only the span of the map on each chromosome.
// Prints progress on long inputs and, at the end, the counts of alignments
// seen, kept and filtered by reason.
void convertReads(const ConvertOptions& options);
