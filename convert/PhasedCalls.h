// The sample's variant calls with velta's phase written into them: the
// heterozygous SNPs that velta phased get GT a|b and FORMAT/PS; every other
// record, sample and field is copied as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "OutputFile.h"
#include "PhaseRange.h"
#include "SnpMap.h"

// What writing the calls gave.
struct PhasedCallCounts {
  std::uint64_t records = 0;            // records written
  std::uint64_t heterozygous = 0;       // the sample's heterozygous biallelic SNPs
  std::uint64_t phased = 0;             // of them written phased
  std::vector<std::uint64_t> setSnps;   // per phase set: its phased SNPs
  std::vector<std::uint64_t> setSpans;  // per phase set: bp from its first to its last SNP
};

// Copies the records of `vcf` inside `region` (empty: all) to `out` (opened
// by name), bgzipped with a .tbi index for .vcf.gz, BCF with a .csi index for
// .bcf, plain text otherwise, and commits it. At a biallelic
// SNP where `sample` is called heterozygous and `snps` holds the same
// position, REF and ALT, the sample's GT becomes first|second of `phase` and
// PS its phase set when velta phased it (both alleles differ and the SNP has a
// phase set), unphased 0/1 without PS otherwise. The PS header line is added
// when the file has none.
PhasedCallCounts writePhasedCalls(const std::string& vcf, const std::string& region,
                                  const std::string& sample, const SnpMap& snps,
                                  const RangePhase& phase, OutputFile& out);

// N50 of the phase sets: the size such that sets of at least that size hold
// half of the total.
std::uint64_t n50(std::vector<std::uint64_t> sizes);
