#include "PhasedCalls.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>

#include "HtsHandles.h"
#include "OutputFile.h"
#include "VcfInput.h"
#include "VcfSites.h"
#include "VcfWriter.h"
#include "VeltaIO.h"

namespace {

const char kPhaseSetLine[] =
    "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set: position of the first "
    "SNP of the set that velta phased together\">";

// The input's header with a PS definition; a PS of another type ends the run.
BcfHeaderPtr outputHeader(const VcfInput& input) {
  BcfHeaderPtr header(bcf_hdr_dup(input.header()));
  if (!header) veltaFatal("%s: cannot copy its header", input.path().c_str());
  const int id = bcf_hdr_id2int(header.get(), BCF_DT_ID, "PS");
  if (bcf_hdr_idinfo_exists(header.get(), BCF_HL_FMT, id)) {
    if (bcf_hdr_id2type(header.get(), BCF_HL_FMT, id) != BCF_HT_INT) {
      veltaFatal("%s: its header defines FORMAT/PS with a type other than Integer",
                 input.path().c_str());
    }
    return header;
  }
  if (bcf_hdr_append(header.get(), kPhaseSetLine) != 0 || bcf_hdr_sync(header.get()) != 0) {
    veltaFatal("%s: cannot add the PS line to its header", input.path().c_str());
  }
  return header;
}

// Finds the SNP of `snps` a record is, walking forward with the records'
// positions.
class SnpMatcher {
 public:
  explicit SnpMatcher(const SnpMap& snps) : snps_(snps) {}
  // The SNP's number, or -1 when the record is none of them.
  long find(const char* chrom, std::int64_t position, char ref, char alt) {
    if (snps_.size() == 0 || snps_.chrom[0] != chrom) return -1;
    while (next_ < snps_.size() && snps_.position[next_] < position) ++next_;
    for (std::size_t k = next_; k < snps_.size() && snps_.position[k] == position; ++k) {
      if (snps_.major[k] == ref && snps_.minor[k] == alt) return static_cast<long>(k);
    }
    return -1;
  }

 private:
  const SnpMap& snps_;
  std::size_t next_ = 0;
};

bool isHeterozygousCall(const std::int32_t* gt, int ploidy) {
  if (genotypePloidy(gt, ploidy) != 2) return false;
  if (bcf_gt_is_missing(gt[0]) || bcf_gt_is_missing(gt[1])) return false;
  const int a = bcf_gt_allele(gt[0]);
  const int b = bcf_gt_allele(gt[1]);
  return a != b && a <= 1 && b <= 1;
}

class CallsWriter {
 public:
  CallsWriter(VcfInput& input, int column, const SnpMap& snps, const RangePhase& phase)
      : input_(input), column_(column), snps_(snps), phase_(phase), matcher_(snps) {}
  ~CallsWriter() {
    std::free(gt_);
    std::free(ps_);
  }
  CallsWriter(const CallsWriter&) = delete;
  CallsWriter& operator=(const CallsWriter&) = delete;

  void write(htsFile* file, bcf_hdr_t* header);
  PhasedCallCounts counts() const;

 private:
  void phaseRecord(bcf_hdr_t* header, bcf1_t* record, std::size_t k);

  VcfInput& input_;
  int column_;
  const SnpMap& snps_;
  const RangePhase& phase_;
  SnpMatcher matcher_;
  std::int32_t* gt_ = nullptr;
  int gtCapacity_ = 0;
  std::int32_t* ps_ = nullptr;
  int psCapacity_ = 0;
  std::uint64_t records_ = 0;
  std::uint64_t heterozygous_ = 0;
  std::uint64_t phased_ = 0;
  std::map<std::uint32_t, std::pair<std::uint64_t, std::uint32_t>> sets_;  // PS: SNPs, last pos
};

void CallsWriter::write(htsFile* file, bcf_hdr_t* header) {
  BcfRecordPtr record(bcf_init());
  while (input_.next(record.get())) {
    const char* chrom = bcf_seqname_safe(input_.header(), record.get());
    if (classifySite(record.get()) == SiteKind::kBiallelicSnp) {
      const long k = matcher_.find(chrom, record->pos + 1, alleleBase(record->d.allele[0]),
                                   alleleBase(record->d.allele[1]));
      if (k >= 0) phaseRecord(header, record.get(), static_cast<std::size_t>(k));
    }
    if (bcf_write(file, header, record.get()) != 0) {
      veltaFatal("cannot write the record %s", input_.describe(record.get()).c_str());
    }
    ++records_;
  }
}

void CallsWriter::phaseRecord(bcf_hdr_t* header, bcf1_t* record, std::size_t k) {
  const int count = bcf_get_genotypes(header, record, &gt_, &gtCapacity_);
  const int samples = bcf_hdr_nsamples(header);
  if (count <= 0 || count % samples != 0) return;
  const int ploidy = count / samples;
  std::int32_t* gt = gt_ + static_cast<std::ptrdiff_t>(column_) * ploidy;
  if (!isHeterozygousCall(gt, ploidy)) return;
  ++heterozygous_;
  const std::uint32_t phaseSet = phase_.phaseSet[k];
  const bool phased = phaseSet != 0 && phase_.first[k] != phase_.second[k];
  if (phased) {
    gt[0] = bcf_gt_unphased(phase_.first[k]);
    gt[1] = bcf_gt_phased(phase_.second[k]);
    ++phased_;
    auto& set = sets_[phaseSet];
    ++set.first;
    set.second = snps_.position[k];
  } else {  // unphased genotypes are written in allele order: 0/1, never 1/0
    gt[0] = bcf_gt_unphased(0);
    gt[1] = bcf_gt_unphased(1);
  }
  bcf_update_genotypes(header, record, gt_, count);
  const int psCount = bcf_get_format_int32(header, record, "PS", &ps_, &psCapacity_);
  if (psCount != samples) {
    if (!phased) return;  // no PS in the record and none to add
    if (psCapacity_ < samples) {
      void* grown = std::realloc(ps_, sizeof(std::int32_t) * static_cast<std::size_t>(samples));
      if (grown == nullptr) veltaFatal("out of memory writing %s", input_.path().c_str());
      ps_ = static_cast<std::int32_t*>(grown);
      psCapacity_ = samples;
    }
    std::fill(ps_, ps_ + samples, bcf_int32_missing);
  }
  ps_[column_] = phased ? static_cast<std::int32_t>(phaseSet) : bcf_int32_missing;
  bcf_update_format_int32(header, record, "PS", ps_, samples);
}

PhasedCallCounts CallsWriter::counts() const {
  PhasedCallCounts counts;
  counts.records = records_;
  counts.heterozygous = heterozygous_;
  counts.phased = phased_;
  for (const auto& [start, set] : sets_) {
    counts.setSnps.push_back(set.first);
    counts.setSpans.push_back(set.second - start + 1);
  }
  return counts;
}

}  // namespace

PhasedCallCounts writePhasedCalls(const std::string& vcf, const std::string& region,
                                  const std::string& sample, const SnpMap& snps,
                                  const RangePhase& phase, OutputFile& out) {
  VcfInput input(vcf, region, "VCF");
  const int column = bcf_hdr_id2int(input.header(), BCF_DT_SAMPLE, sample.c_str());
  if (column < 0) veltaFatal("sample %s is not in %s", sample.c_str(), vcf.c_str());
  BcfHeaderPtr header = outputHeader(input);
  const OutputKind kind = outputKindOf(out.path());
  CallsWriter writer(input, column, snps, phase);
  {
    HtsFilePtr file(hts_open(out.writePath().c_str(), kind.mode));
    if (!file) veltaFatal("cannot create %s", out.writePath().c_str());
    if (bcf_hdr_write(file.get(), header.get()) != 0) {
      veltaFatal("cannot write %s", out.writePath().c_str());
    }
    writer.write(file.get(), header.get());
    if (hts_close(file.release()) != 0) {
      veltaFatal("cannot write %s (disk full?)", out.writePath().c_str());
    }
  }
  buildIndex(out, kind.indexShift);
  out.commit();
  return writer.counts();
}

std::uint64_t n50(std::vector<std::uint64_t> sizes) {
  std::sort(sizes.begin(), sizes.end(), std::greater<std::uint64_t>());
  std::uint64_t total = 0;
  for (std::uint64_t size : sizes) total += size;
  std::uint64_t reached = 0;
  for (std::uint64_t size : sizes) {
    reached += size;
    if (2 * reached >= total) return size;
  }
  return 0;
}
