// velta-convert reads: aligned reads (SAM, BAM or CRAM) into a velta read
// file against a SNP map.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "AlignmentAlleles.h"
#include "Options.h"
#include "ReadLines.h"
#include "SnpLocator.h"

// The alignments read, kept and filtered by reason.
struct AlignmentCounts {
  std::uint64_t seen = 0;
  std::uint64_t secondary = 0;
  std::uint64_t supplementary = 0;
  std::uint64_t unmapped = 0;
  std::uint64_t qcFailed = 0;
  std::uint64_t duplicate = 0;
  std::uint64_t lowMapq = 0;
  std::uint64_t kept = 0;
};

// What reading the alignments gave.
struct ReadsReport {
  AlignmentCounts alignments;
  BaseCounts bases;
  std::uint64_t reads = 0;     // reads or pairs handed on: they show an allele
  std::uint64_t noAllele = 0;  // kept reads or pairs that show no allele
  std::uint64_t mateDisagreements = 0;
  std::uint64_t mateMissing = 0;   // mates handed on alone: the partner was not in the input
  std::uint64_t repeatedEnds = 0;  // a second primary alignment of one end of a pair: dropped
  std::uint64_t unnamed = 0;       // paired reads named '*': never joined, handed on alone
};

// Takes the calls of one read or pair: sorted by SNP, one per SNP, at least
// one of them an allele.
using ReadCallsHandler = std::function<void(const std::vector<SnpCall>& calls)>;

// Reads options.bam (with options.reference, options.minMapq and
// options.minBaseq) as convertReads does and hands each read or pair that
// shows an allele at the SNPs of `locator` to `take`, in the order velta's
// read file lists them.
ReadsReport collectReadCalls(const ConvertOptions& options, const SnpLocator& locator,
                             const ReadCallsHandler& take);

// The alignments seen, kept and filtered by reason, and why covered SNPs
// showed no allele, on standard output.
void printAlignmentSummary(const ConvertOptions& options, const ReadsReport& report);

// For every primary, mapped, non-duplicate alignment that passes QC and has
// at least --min-mapq, the alleles it shows at the map's SNPs; the two mates
// of a pair are joined by name into one read line, a single (long) read gives
// its own. Reads that show no allele are not written. Uses the file's index,
// when it has one, to read only the span of the map on each chromosome.
// Prints progress on long inputs and, at the end, the counts of alignments
// seen, kept and filtered by reason.
void convertReads(const ConvertOptions& options);
