#include "VcfSites.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SnpMap.h"
#include "VeltaIO.h"

namespace {

// Warnings of one kind name the first few records; the rest are counted.
constexpr std::uint64_t kNamedPerKind = 3;

bool isSingleBase(const char* allele) {
  if (allele == nullptr || allele[0] == '\0' || allele[1] != '\0') return false;
  const char base = static_cast<char>(std::toupper(static_cast<unsigned char>(allele[0])));
  return base == 'A' || base == 'C' || base == 'G' || base == 'T';
}
bool sameAlleles(const bcf1_t* a, const bcf1_t* b) {
  return alleleBase(a->d.allele[0]) == alleleBase(b->d.allele[0]) &&
         alleleBase(a->d.allele[1]) == alleleBase(b->d.allele[1]);
}

bool countKind(SiteKind kind, SiteCounts& counts) {
  if (kind == SiteKind::kBiallelicSnp) return true;
  ++(kind == SiteKind::kMultiAllelic ? counts.multiAllelic : counts.notSnp);
  return false;
}

bool hasMapPosition(const VcfInput& input, const bcf1_t* record, SiteCounts& counts) {
  if (record->pos >= 0 && record->pos < 0xFFFFFFFFLL) return true;
  if (++counts.badPosition <= kNamedPerKind) {
    veltaWarn("%s: record %s dropped: a SNP map position counts from 1 to 4294967295",
              input.path().c_str(), input.describe(record).c_str());
  }
  return false;
}

// Reads the other records at the position of `record` (a biallelic SNP); false
// when they make the position a split multi-allelic site.
bool isOnlySnpAtPosition(VcfInput& input, const bcf1_t* record, SiteCounts& counts) {
  std::uint64_t snps = 1;
  std::uint64_t repeats = 0;
  bool split = false;
  while (const bcf1_t* other = input.peek()) {
    if (other->rid != record->rid || other->pos != record->pos) break;
    ++counts.read;
    if (countKind(classifySite(other), counts)) {
      ++snps;
      if (sameAlleles(record, other)) {
        ++repeats;
      } else {
        split = true;
      }
    }
    input.dropPeeked();
  }
  const std::string site = input.describe(record);
  if (split) {
    if ((counts.splitSite += snps) <= kNamedPerKind * 2) {
      veltaWarn("%s: %" PRIu64
                " SNP records with different ALTs at %s (a multi-allelic site split "
                "into biallelic records): all dropped",
                input.path().c_str(), snps, site.c_str());
    }
    return false;
  }
  if (repeats > 0 && (counts.repeated += repeats) <= kNamedPerKind) {
    veltaWarn("%s: record %s is repeated; the first is kept", input.path().c_str(), site.c_str());
  }
  return true;
}

void countRenamedId(const VcfInput& input, const bcf1_t* record, SiteCounts& counts) {
  if (!hasWhiteSpace(record->d.id)) return;
  if (++counts.renamedIds <= kNamedPerKind) {
    veltaWarn("%s: record %s has an ID with white space; the map names it by CHR:POS",
              input.path().c_str(), input.describe(record).c_str());
  }
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
    if (hasWhiteSpace(chrom)) {
      veltaFatal(
          "%s: record %s is on chromosome '%s', a name with white space that a SNP map cannot "
          "hold",
          file_.c_str(), site.c_str(), chrom);
    }
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
    if (!countKind(classifySite(record), counts)) continue;
    const bool kept = isOnlySnpAtPosition(input, record, counts);
    if (!kept || !hasMapPosition(input, record, counts)) continue;
    countRenamedId(input, record, counts);
    return true;
  }
  return false;
}

void printSiteIssues(const SiteCounts& counts) {
  if (counts.badPosition + counts.repeated + counts.splitSite + counts.renamedIds == 0) return;
  std::printf("  also: %" PRIu64
              " SNP records at a position outside 1..4294967295 dropped, %" PRIu64
              " repeated records passed over (the first kept), %" PRIu64
              " SNP records of split multi-allelic sites dropped, %" PRIu64
              " IDs with white space named CHR:POS\n",
              counts.badPosition, counts.repeated, counts.splitSite, counts.renamedIds);
}
