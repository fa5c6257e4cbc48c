#include "VcfSites.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "VeltaIO.h"

namespace {
bool isSingleBase(const char* allele) {
  if (allele == nullptr || allele[0] == '\0' || allele[1] != '\0') return false;
  const char base = static_cast<char>(std::toupper(static_cast<unsigned char>(allele[0])));
  return base == 'A' || base == 'C' || base == 'G' || base == 'T';
}
}  // namespace

SiteKind classifySite(const bcf1_t* record) {
  if (record->n_allele > 2) return SiteKind::kMultiAllelic;
  if (record->n_allele < 2) return SiteKind::kNotSnp;
  const char* ref = record->d.allele[0];
  const char* alt = record->d.allele[1];
  if (!isSingleBase(ref) || !isSingleBase(alt)) return SiteKind::kNotSnp;
  if (alleleBase(ref) == alleleBase(alt)) return SiteKind::kNotSnp;
  return SiteKind::kBiallelicSnp;
}

char alleleBase(const char* allele) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(allele[0])));
}

Genotypes::~Genotypes() {
  std::free(values_);
}

void Genotypes::read(const bcf_hdr_t* header, bcf1_t* record, const char* file,
                     const std::string& where) {
  const int count = bcf_get_genotypes(header, record, &values_, &capacity_);
  const int samples = bcf_hdr_nsamples(header);
  if (count <= 0 || samples == 0 || count % samples != 0) {
    veltaFatal("%s: record %s has no GT genotypes", file, where.c_str());
  }
  ploidy_ = count / samples;
}

int genotypePloidy(const std::int32_t* gt, int ploidy) {
  int n = 0;
  while (n < ploidy && gt[n] != bcf_int32_vector_end) ++n;
  return n;
}

std::string genotypeText(const std::int32_t* gt, int ploidy) {
  std::string text;
  const int n = genotypePloidy(gt, ploidy);
  for (int k = 0; k < n; ++k) {
    if (k > 0) text += bcf_gt_is_phased(gt[k]) ? '|' : '/';
    text += bcf_gt_is_missing(gt[k]) ? std::string(".") : std::to_string(bcf_gt_allele(gt[k]));
  }
  return text.empty() ? "." : text;
}

void SiteOrder::check(const char* chrom, std::int64_t position, const std::string& site) {
  if (chrom_.empty()) {
    chrom_ = chrom;
  } else if (chrom_ != chrom) {
    veltaFatal(
        "%s: kept sites on two chromosomes (%s, then %s at %s); velta phases one "
        "chromosome at a time: choose one with --region",
        file_.c_str(), chrom_.c_str(), chrom, site.c_str());
  } else if (position < lastPosition_) {
    veltaFatal("%s: record %s comes after %s: the file is not sorted by position", file_.c_str(),
               site.c_str(), lastSite_.c_str());
  }
  lastPosition_ = position;
  lastSite_ = site;
}

bool nextBiallelicSnp(VcfInput& input, bcf1_t* record, SiteCounts& counts) {
  while (input.next(record)) {
    ++counts.read;
    const SiteKind kind = classifySite(record);
    if (kind == SiteKind::kBiallelicSnp) return true;
    ++(kind == SiteKind::kMultiAllelic ? counts.multiAllelic : counts.notSnp);
  }
  return false;
}
