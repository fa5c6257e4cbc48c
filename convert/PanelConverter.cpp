#include "PanelConverter.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "HtsHandles.h"
#include "OutputFile.h"
#include "SnpMap.h"
#include "VcfInput.h"
#include "VcfSites.h"
#include "VeltaIO.h"

namespace {

// velta addresses panel haplotypes with 16-bit indices.
constexpr int kMaxHaplotypes = 65536;

void excludeSamples(VcfInput& input, const std::string& list) {
  std::string joined = "^";
  for (const std::string& name : readNameList(list, input.header())) {
    if (bcf_hdr_id2int(input.header(), BCF_DT_SAMPLE, name.c_str()) < 0) {
      veltaFatal("sample %s of --samples-exclude is not in %s", name.c_str(), input.path().c_str());
    }
    if (joined.size() > 1) joined += ',';
    joined += name;
  }
  if (joined.size() > 1 && bcf_hdr_set_samples(input.header(), joined.c_str(), 0) != 0) {
    veltaFatal("cannot leave out the samples of --samples-exclude from %s", input.path().c_str());
  }
}

std::vector<std::string> splitNames(const std::string& text, char separator) {
  std::vector<std::string> names;
  std::istringstream in(text);
  std::string name;
  while (std::getline(in, name, separator)) {
    while (!name.empty() && (name.back() == '\r' || name.back() == ' ')) name.pop_back();
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

int checkedSampleCount(const VcfInput& input) {
  const int samples = bcf_hdr_nsamples(input.header());
  if (samples == 0) veltaFatal("panel %s has no sample left to use", input.path().c_str());
  if (2 * static_cast<long>(samples) > kMaxHaplotypes) {
    veltaFatal("panel %s has %d samples (%d haplotypes); velta holds at most %d haplotypes",
               input.path().c_str(), samples, 2 * samples, kMaxHaplotypes);
  }
  return samples;
}

// Writes the two haplotype characters of every sample into `row`. Returns
// false when a genotype is unphased or missing and --allow-unphased drops
// the site; without it, such a genotype ends the run.
bool fillPanelRow(const VcfInput& input, const bcf1_t* record, const Genotypes& genotypes,
                  bool allowUnphased, std::string& row) {
  const char bases[2] = {alleleBase(record->d.allele[0]), alleleBase(record->d.allele[1])};
  const int samples = bcf_hdr_nsamples(input.header());
  for (int i = 0; i < samples; ++i) {
    const std::int32_t* gt = genotypes.sample(i);
    const char* sampleName = input.header()->samples[i];
    const int ploidy = genotypePloidy(gt, genotypes.ploidy());
    // A lone "." is how many files write a missing diploid genotype.
    const bool missing = bcf_gt_is_missing(gt[0]) || (ploidy == 2 && bcf_gt_is_missing(gt[1]));
    if (ploidy != 2 && !missing) {
      veltaFatal(
          "panel %s record %s: sample %s has genotype %s; a panel needs two haplotypes "
          "per sample",
          input.path().c_str(), input.describe(record).c_str(), sampleName,
          genotypeText(gt, genotypes.ploidy()).c_str());
    }
    if (missing || !bcf_gt_is_phased(gt[1])) {
      if (allowUnphased) return false;
      veltaFatal(
          "panel %s record %s: sample %s has the %s genotype %s; a panel needs phased "
          "haplotypes (--allow-unphased drops such sites)",
          input.path().c_str(), input.describe(record).c_str(), sampleName,
          missing ? "missing" : "unphased", genotypeText(gt, genotypes.ploidy()).c_str());
    }
    for (int k = 0; k < 2; ++k) {
      const int allele = bcf_gt_allele(gt[k]);
      if (allele > 1) {
        veltaFatal("panel %s record %s: sample %s has allele %d at a site with one ALT",
                   input.path().c_str(), input.describe(record).c_str(), sampleName, allele);
      }
      row[2 * i + k] = bases[allele];
    }
  }
  return true;
}

bool isPolymorphic(const std::string& row, char alt) {
  std::size_t altCount = 0;
  for (char c : row) altCount += c == alt;
  return altCount > 0 && altCount < row.size();
}

void printPanelSummary(const ConvertOptions& options, const PanelCounts& counts, int samples) {
  std::printf("panel %s: %" PRIu64 " records read, %" PRIu64
              " SNPs kept for %d samples (%d haplotypes)\n",
              options.vcf.c_str(), counts.read, counts.kept, samples, 2 * samples);
  std::printf("  dropped: %" PRIu64 " multi-allelic, %" PRIu64
              " not a SNP (indel, MNP, symbolic), %" PRIu64 " monomorphic in the panel, %" PRIu64
              " with unphased or missing genotypes\n",
              counts.multiAllelic, counts.notSnp, counts.monomorphic, counts.unphased);
  printSiteIssues(counts);
  std::printf("  wrote %s.map and %s.panel\n", options.out.c_str(), options.out.c_str());
}

}  // namespace

std::vector<std::string> readNameList(const std::string& list, const bcf_hdr_t* header) {
  std::vector<std::string> names = splitNames(list, ',');
  bool allSamples = true;
  for (const std::string& name : names) {
    allSamples = allSamples && bcf_hdr_id2int(header, BCF_DT_SAMPLE, name.c_str()) >= 0;
  }
  struct stat info {};
  const bool isFile = stat(list.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  if (allSamples && !names.empty()) {
    if (isFile) {
      veltaWarn("--samples-exclude %s: taken as sample names; the file of that name is not read",
                list.c_str());
    }
    return names;
  }
  if (!isFile) return names;
  std::ifstream file(list);
  std::stringstream text;
  text << file.rdbuf();
  if (!file) veltaFatal("--samples-exclude: cannot read the file %s", list.c_str());
  return splitNames(text.str(), '\n');
}

namespace {
VcfInput& withoutExcludedSamples(VcfInput& input, const std::string& list) {
  if (!list.empty()) excludeSamples(input, list);
  return input;
}
}  // namespace

PanelSites::PanelSites(const ConvertOptions& options)
    : options_(options),
      input_(options.vcf, options.region, "panel VCF"),
      samples_(checkedSampleCount(withoutExcludedSamples(input_, options.samplesExclude))) {}

PanelCounts PanelSites::read(const PanelSiteHandler& take) {
  const ConvertOptions& options = options_;
  VcfInput& input = input_;
  BcfRecordPtr record(bcf_init());
  Genotypes genotypes;
  SiteOrder order(options.vcf);
  PanelCounts counts;
  std::string row(2 * static_cast<std::size_t>(samples_), ' ');
  while (nextBiallelicSnp(input, record.get(), counts)) {
    const std::string site = input.describe(record.get());
    genotypes.read(input.header(), record.get(), options.vcf.c_str(), site);
    if (!fillPanelRow(input, record.get(), genotypes, options.allowUnphased, row)) {
      ++counts.unphased;
      continue;
    }
    if (!options.keepMonomorphic && !isPolymorphic(row, alleleBase(record->d.allele[1]))) {
      ++counts.monomorphic;
      continue;
    }
    const char* chrom = bcf_seqname_safe(input.header(), record.get());
    order.check(chrom, record->pos + 1, site);
    take(chrom, record.get(), row);
    ++counts.kept;
  }
  return counts;
}

std::string noPanelSnpReason(const ConvertOptions& options) {
  return "panel " + options.vcf +
         ": no biallelic SNP with both alleles among the panel's haplotypes" +
         (options.region.empty() ? "" : " in " + options.region);
}

void convertPanel(const ConvertOptions& options) {
  OutputFile mapFile(options.out + ".map");
  OutputFile panelFile(options.out + ".panel");
  PanelSites panel(options);
  const PanelCounts counts = panel.read([&](const char* chrom, const bcf1_t* record,
                                            const std::string& row) {
    writeMapLine(mapFile.stream(), chrom, snpName(chrom, record->pos + 1, record->d.id),
                 record->pos + 1, alleleBase(record->d.allele[0]), alleleBase(record->d.allele[1]));
    panelFile.stream() << row << '\n';
  });
  if (counts.kept == 0) veltaFatal("%s", noPanelSnpReason(options).c_str());
  mapFile.commit();
  panelFile.commit();
  printPanelSummary(options, counts, panel.samples());
}
