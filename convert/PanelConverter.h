// velta-convert panel: a phased reference panel (VCF or BCF) into a velta SNP
// map (PREFIX.map) and panel file (PREFIX.panel).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "HtsHandles.h"
#include "Options.h"
#include "VcfInput.h"
#include "VcfSites.h"

// Records read from a panel, and those passed over, by reason.
struct PanelCounts : SiteCounts {
  std::uint64_t kept = 0;
  std::uint64_t monomorphic = 0;
  std::uint64_t unphased = 0;
};

// One kept panel SNP: its chromosome, its record (unpacked up to the
// alleles and ID) and its row, two haplotype characters per sample.
using PanelSiteHandler =
    std::function<void(const char* chrom, const bcf1_t* record, const std::string& row)>;

// The panel of options.vcf as `velta-convert panel` keeps it: the region,
// excluded samples, unphased and monomorphic sites as the options say.
class PanelSites {
 public:
  // Opens the panel and settles its samples; a panel that cannot be read or
  // has no sample left ends the run naming it.
  explicit PanelSites(const ConvertOptions& options);
  int samples() const { return samples_; }
  // Hands every kept SNP to `take`, in file order; returns the counts (no SNP
  // kept is the caller's to judge: a window of a long region may keep none).
  PanelCounts read(const PanelSiteHandler& take);

 private:
  const ConvertOptions& options_;
  VcfInput input_;
  int samples_;
};

// Why a panel kept no SNP, naming the file and the region.
std::string noPanelSnpReason(const ConvertOptions& options);

// Keeps the biallelic SNPs whose two alleles both occur among the kept
// haplotypes (with --keep-monomorphic, every biallelic SNP); writes one map line and one panel line
// (two characters per sample, in header order) per SNP. An unphased, missing or non-diploid
// genotype ends the run naming the record and the sample, except that
// --allow-unphased drops sites with unphased or missing genotypes. Prints
// what was kept and dropped, by reason.
void convertPanel(const ConvertOptions& options);

// The names of --samples-exclude: the text split at commas when every name in
// it is a sample of `header` (a file of that name is not read then, with a
// warning); otherwise the lines of the regular file it names; otherwise the
// text split at commas again (the caller names the unknown sample). Empty
// names are skipped.
std::vector<std::string> readNameList(const std::string& list, const bcf_hdr_t* header);
