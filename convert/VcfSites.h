// What the panel and map conversions ask of a VCF record: is it a biallelic
// SNP, what are its genotypes, and does it keep the map on one chromosome in
// position order.
#pragma once

#include <cstdint>
#include <string>

#include "HtsHandles.h"
#include "VcfInput.h"

enum class SiteKind {
  kBiallelicSnp,  // REF and one ALT, both a single base A, C, G or T
  kMultiAllelic,  // more than one ALT
  kNotSnp,        // indel, MNP, symbolic or missing ALT, N
};

// Needs the record unpacked up to its alleles.
SiteKind classifySite(const bcf1_t* record);

// Records read by a conversion, and those passed over as not biallelic SNPs.
struct SiteCounts {
  std::uint64_t read = 0;
  std::uint64_t multiAllelic = 0;
  std::uint64_t notSnp = 0;
  std::uint64_t badPosition = 0;  // position 0 (a telomere mark) or beyond 32 bits
  std::uint64_t repeated = 0;     // the same SNP again at one position: the first is kept
  std::uint64_t splitSite = 0;    // SNP records of positions with two different ALTs: all dropped
  std::uint64_t renamedIds = 0;   // IDs with white space, named CHR:POS in the map
};

// Reads records into `record` until a biallelic SNP, counting what it passes
// over; false at the end of the input. One record per position comes out:
// a repeated record (same REF and ALT) is passed over, and a position with
// SNP records of two different ALTs (a multi-allelic site split into
// biallelic records) is dropped whole, since it is no biallelic SNP. The
// first few of each are named in a warning; every one is counted.
bool nextBiallelicSnp(VcfInput& input, bcf1_t* record, SiteCounts& counts);

// Prints "  also: ..." with the counts of the records passed over for their
// position, repetition or ID, when there are any.
void printSiteIssues(const SiteCounts& counts);

// The upper-case base of a single-base allele.
char alleleBase(const char* allele);

// The GT values of every sample of one record; the buffer is reused from
// record to record.
class Genotypes {
 public:
  Genotypes() = default;
  ~Genotypes();
  Genotypes(const Genotypes&) = delete;
  Genotypes& operator=(const Genotypes&) = delete;

  // Reads the record's GT values. A record without GT ends the run naming
  // `file` and `where` (the record).
  void read(const bcf_hdr_t* header, bcf1_t* record, const char* file, const std::string& where);
  // Values per sample (the largest ploidy of the record).
  int ploidy() const { return ploidy_; }
  // The `ploidy()` values of sample i (0-based, in the header's kept samples).
  const std::int32_t* sample(int i) const { return values_ + i * ploidy_; }

 private:
  std::int32_t* values_ = nullptr;  // htslib's buffer: ploidy_ values per sample
  int capacity_ = 0;
  int ploidy_ = 0;
};

// Number of alleles a sample's genotype has (1 haploid, 2 diploid, ...).
int genotypePloidy(const std::int32_t* gt, int ploidy);
// The genotype as VCF writes it, e.g. "0|1", "./.", "1".
std::string genotypeText(const std::int32_t* gt, int ploidy);

// Guards the order of the kept sites: one chromosome (velta phases one at a
// time) and positions that never decrease (the switch model reads distances
// between consecutive SNPs).
class SiteOrder {
 public:
  explicit SiteOrder(const std::string& file) : file_(file) {}
  // Ends the run when the site breaks either rule, naming both sites.
  void check(const char* chrom, std::int64_t position, const std::string& site);

 private:
  std::string file_;
  std::string chrom_;  // of the first kept site; empty before it
  std::int64_t lastPosition_ = 0;
  std::string lastSite_;
};
