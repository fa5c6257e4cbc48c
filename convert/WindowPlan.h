// Windows of a chromosome as regions: the SNPs of a VCF (the panel's for
// inference, the sample's calls for assembly) split by planWindows, each
// window given as the region from its first to its last SNP and with its own
// seed. A run that phases the windows in one process and a workflow that
// phases each as its own job use the same plan, so they phase the same SNPs
// with the same seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"

struct RegionWindow {
  std::uint32_t index;  // from 0, in position order
  std::string chrom;
  std::int64_t from;    // 1-based position of the first SNP
  std::int64_t to;      // of the last
  std::uint64_t snps;
  std::uint32_t seed;   // windowSeed(run seed, index)
  // CHR:FROM-TO
  std::string region() const;
};

// Reads the biallelic SNP records of `vcf` inside `region` (one chromosome,
// in position order, else the run ends naming the records) and plans their
// windows.
std::vector<RegionWindow> planRegionWindows(const std::string& vcf, const std::string& region,
                                            std::uint64_t size, std::uint64_t overlap,
                                            std::uint32_t seed);

// velta-convert windows: writes the plan as a table, one window per line
// (index, region, SNPs, seed) after a header line starting with '#'.
void writeWindowPlan(const ConvertOptions& options);
