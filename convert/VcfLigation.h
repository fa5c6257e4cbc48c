// velta-convert ligate: window results (phased VCFs of consecutive,
// overlapping windows of one chromosome, written by separate jobs) joined
// into one phased VCF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"
#include "OutputFile.h"

// Reads the windows twice. First pass: each window's records are matched to
// the previous window's over their shared positions, the previous window's
// records kept up to the middle of the shared records and the next window's
// from there, and the heterozygous SNPs phased in both decide the next
// window's haplotype order (Ligation.h). Second pass: every kept record is
// written as it was, except that the sample's phased heterozygous genotypes
// take their block's order and the phase set (PS) of the joined blocks.
// Windows out of position order, on several chromosomes, or whose shared
// positions hold different records end the run naming both files and the
// record. Prints one line per join and a summary, with every empty or tied
// overlap (phase across it not decided: a new phase set starts there) and
// every window without a phased heterozygous SNP (one written unphased: its
// records pass through as they are, and phase does not carry across it).
void ligateWindows(const ConvertOptions& options);

// What a ligation found, for a caller's summary.
struct LigationSummary {
  std::uint64_t joins;
  std::uint64_t undecided;  // empty overlaps
  std::uint64_t ties;
  std::uint64_t phaseSets;
  std::uint64_t unphasedWindows;  // windows without a phased heterozygous SNP
};

// The same for window files given in position order, written to `out` (opened
// by name) and committed; `sample` may be empty when the files hold one.
LigationSummary ligateWindowFiles(const std::vector<std::string>& windows,
                                  const std::string& sample, OutputFile& out);
