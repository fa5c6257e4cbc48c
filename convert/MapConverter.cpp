#include "MapConverter.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "HtsHandles.h"
#include "OutputFile.h"
#include "SnpMap.h"
#include "VcfInput.h"
#include "VcfSites.h"
#include "VeltaIO.h"

namespace {

// A haploid call counts as homozygous; a call of three or more alleles is no
// diploid genotype, which velta phases, whether its alleles differ or not.
enum class CallKind { kMissing, kHomozygous, kHeterozygous, kPolyploid };

std::string someSampleNames(const bcf_hdr_t* header) {
  const int samples = bcf_hdr_nsamples(header);
  std::string names;
  for (int i = 0; i < samples && i < 5; ++i)
    names += std::string(i ? ", " : "") + header->samples[i];
  if (samples > 5) names += ", ...";
  return samples == 0 ? "none" : names;
}

// Returns the sample's column after leaving every other sample out of the
// records, so that large multi-sample files are read quickly.
int selectSample(VcfInput& input, const std::string& name) {
  const int index = bcf_hdr_id2int(input.header(), BCF_DT_SAMPLE, name.c_str());
  if (index < 0) {
    veltaFatal("sample %s is not in %s (its samples: %s)", name.c_str(), input.path().c_str(),
               someSampleNames(input.header()).c_str());
  }
  // htslib's subsetting splits its list at commas; such a name is read in place.
  if (name.find(',') != std::string::npos) return index;
  if (bcf_hdr_set_samples(input.header(), name.c_str(), 0) != 0) {
    veltaFatal("cannot select sample %s of %s", name.c_str(), input.path().c_str());
  }
  return 0;
}

CallKind classifyCall(const VcfInput& input, const bcf1_t* record, const std::int32_t* gt,
                      int ploidy, const std::string& sample) {
  const int n = genotypePloidy(gt, ploidy);
  for (int k = 0; k < n; ++k) {
    if (bcf_gt_is_missing(gt[k])) return CallKind::kMissing;
    if (bcf_gt_allele(gt[k]) > 1) {
      veltaFatal("%s record %s: sample %s has allele %d at a site with one ALT",
                 input.path().c_str(), input.describe(record).c_str(), sample.c_str(),
                 bcf_gt_allele(gt[k]));
    }
  }
  if (n == 0) return CallKind::kMissing;
  if (n > 2) return CallKind::kPolyploid;
  const bool heterozygous = n == 2 && bcf_gt_allele(gt[0]) != bcf_gt_allele(gt[1]);
  return heterozygous ? CallKind::kHeterozygous : CallKind::kHomozygous;
}

void printMapSummary(const ConvertOptions& options, const MapCounts& counts) {
  std::printf("map %s, sample %s: %" PRIu64 " records read, %" PRIu64 " %sSNPs kept\n",
              options.vcf.c_str(), options.sample.c_str(), counts.read, counts.kept,
              options.hetOnly ? "heterozygous " : "");
  std::printf("  dropped: %" PRIu64 " multi-allelic, %" PRIu64
              " not a SNP (indel, MNP, symbolic), %" PRIu64 " missing genotype",
              counts.multiAllelic, counts.notSnp, counts.missing);
  if (options.hetOnly) std::printf(", %" PRIu64 " homozygous", counts.homozygous);
  if (counts.polyploid > 0) std::printf(", %" PRIu64 " not diploid", counts.polyploid);
  std::printf("\n");
  printSiteIssues(counts);
  std::printf("  wrote %s\n", options.out.c_str());
}

}  // namespace

SampleSnps readSampleSnps(const std::string& vcf, const std::string& sample,
                          const std::string& region, bool hetOnly) {
  VcfInput input(vcf, region, "VCF");
  const int column = selectSample(input, sample);
  BcfRecordPtr record(bcf_init());
  Genotypes genotypes;
  SiteOrder order(vcf);
  SampleSnps snps;
  MapCounts& counts = snps.counts;
  while (nextBiallelicSnp(input, record.get(), counts)) {
    const std::string site = input.describe(record.get());
    genotypes.read(input.header(), record.get(), vcf.c_str(), site);
    const CallKind call =
        classifyCall(input, record.get(), genotypes.sample(column), genotypes.ploidy(), sample);
    if (call == CallKind::kMissing) {
      ++counts.missing;
      continue;
    }
    if (call == CallKind::kPolyploid) {
      if (++counts.polyploid <= 3) {
        veltaWarn("%s record %s: sample %s has the genotype %s, not a diploid one: dropped",
                  vcf.c_str(), site.c_str(), sample.c_str(),
                  genotypeText(genotypes.sample(column), genotypes.ploidy()).c_str());
      }
      continue;
    }
    if (hetOnly && call == CallKind::kHomozygous) {
      ++counts.homozygous;
      continue;
    }
    const char* chrom = bcf_seqname_safe(input.header(), record.get());
    order.check(chrom, record->pos + 1, site);
    appendSnp(snps.map, chrom, snpName(chrom, record->pos + 1, record->d.id),
              static_cast<std::uint32_t>(record->pos + 1), alleleBase(record->d.allele[0]),
              alleleBase(record->d.allele[1]));
    ++counts.kept;
  }
  return snps;
}

std::string noSampleSnpReason(const std::string& vcf, const std::string& sample,
                              const std::string& region, bool hetOnly) {
  return vcf + ": no " + (hetOnly ? "heterozygous " : "") + "biallelic SNP called for sample " +
         sample + (region.empty() ? "" : " in " + region);
}

void convertMap(const ConvertOptions& options) {
  OutputFile mapFile(options.out);
  const SampleSnps snps =
      readSampleSnps(options.vcf, options.sample, options.region, options.hetOnly);
  if (snps.counts.kept == 0) {
    veltaFatal("%s",
               noSampleSnpReason(options.vcf, options.sample, options.region, options.hetOnly)
                   .c_str());
  }
  writeSnpMap(mapFile.stream(), snps.map);
  mapFile.commit();
  printMapSummary(options, snps.counts);
}
