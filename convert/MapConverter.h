// velta-convert map: a SNP map from one sample's variant calls.
#pragma once

#include <cstdint>
#include <string>

#include "Options.h"
#include "SnpMap.h"
#include "VcfSites.h"

// Records read for a sample's map, and those passed over, by reason.
struct MapCounts : SiteCounts {
  std::uint64_t kept = 0;
  std::uint64_t missing = 0;
  std::uint64_t homozygous = 0;
  std::uint64_t polyploid = 0;
};

// A sample's SNPs as velta's map holds them.
struct SampleSnps {
  SnpMap map;
  MapCounts counts;
};

// The biallelic SNPs of `vcf` inside `region` (empty: all) where `sample` has
// a called genotype (with `hetOnly`, a heterozygous one), in file order. A
// sample that is not in the file, or SNPs on two chromosomes or out of order,
// end the run naming the file; no SNP at all is the caller's to judge (a
// window of a long region may hold none).
SampleSnps readSampleSnps(const std::string& vcf, const std::string& sample,
                          const std::string& region, bool hetOnly);

// Why readSampleSnps kept nothing, naming the file, the sample and the region.
std::string noSampleSnpReason(const std::string& vcf, const std::string& sample,
                              const std::string& region, bool hetOnly);

// Keeps the biallelic SNPs where the sample has a called genotype (with
// --het-only, a heterozygous one; a call of three or more alleles is dropped)
// and writes one map line per SNP. Prints what
// was kept and dropped, by reason.
void convertMap(const ConvertOptions& options);
