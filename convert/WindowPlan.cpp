#include "WindowPlan.h"

#include <cinttypes>
#include <cstdio>

#include "HtsHandles.h"
#include "VeltaIO.h"
#include "OutputFile.h"
#include "VcfInput.h"
#include "VcfSites.h"
#include "Windows.h"

std::string RegionWindow::region() const {
  return chrom + ':' + std::to_string(from) + '-' + std::to_string(to);
}

std::vector<RegionWindow> planRegionWindows(const std::string& vcf, const std::string& region,
                                            std::uint64_t size, std::uint64_t overlap,
                                            std::uint32_t seed) {
  VcfInput input(vcf, region, "VCF");
  BcfRecordPtr record(bcf_init());
  SiteOrder order(vcf);
  SiteCounts counts;
  std::string chrom;
  std::vector<std::int64_t> positions;  // one per SNP: 8 bytes x the chromosome's SNPs
  while (nextBiallelicSnp(input, record.get(), counts)) {
    const char* name = bcf_seqname_safe(input.header(), record.get());
    order.check(name, record->pos + 1, input.describe(record.get()));
    if (chrom.empty()) chrom = name;
    positions.push_back(record->pos + 1);
  }
  if (positions.empty()) {
    veltaFatal("%s: no biallelic SNP%s%s to plan windows over", vcf.c_str(),
                 region.empty() ? "" : " in ", region.c_str());
  }
  std::vector<RegionWindow> windows;
  for (const SnpWindow& window : planWindows(positions.size(), size, overlap)) {
    const auto index = static_cast<std::uint32_t>(windows.size());
    windows.push_back({index, chrom, positions[window.first], positions[window.end - 1],
                       window.size(), windowSeed(seed, index)});
  }
  return windows;
}

void writeWindowPlan(const ConvertOptions& options) {
  const std::vector<RegionWindow> windows =
      planRegionWindows(options.vcf, options.region, static_cast<std::uint64_t>(windowSize(options)),
                        static_cast<std::uint64_t>(options.overlap), options.seed);
  OutputFile out(options.out);
  out.stream() << "#index\tregion\tsnps\tseed\n";
  for (const RegionWindow& window : windows) {
    out.stream() << window.index << '\t' << window.region() << '\t' << window.snps << '\t'
                 << window.seed << '\n';
  }
  out.commit();
  std::printf("windows %s: %zu windows of at most %d SNPs overlapping by %d, seed %" PRIu32
              "\n",
              options.out.c_str(), windows.size(), windowSize(options), options.overlap,
              options.seed);
}
