#include "VcfLigation.h"

#include <algorithm>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "HtsHandles.h"
#include "Ligation.h"
#include "VeltaIO.h"
#include "OutputFile.h"
#include "VcfWriter.h"

namespace {

constexpr std::int64_t kNoCut = INT64_MAX;

// The sample's genotype in one record, as far as ligation cares.
struct SampleCall {
  bool phasedHeterozygous = false;
  std::int32_t first = 0;   // allele of the first haplotype (phased heterozygous only)
  std::int32_t second = 0;  // allele of the second
  std::int32_t phaseSet = 0;  // PS, 0 when absent: the window's unnamed set
};

// Reads the sample's GT and PS from records, reusing htslib's buffers.
class CallReader {
 public:
  CallReader() = default;
  ~CallReader() {
    std::free(gt_);
    std::free(ps_);
  }
  CallReader(const CallReader&) = delete;
  CallReader& operator=(const CallReader&) = delete;

  SampleCall read(const bcf_hdr_t* header, bcf1_t* record, int sample) {
    SampleCall call;
    const int samples = bcf_hdr_nsamples(header);
    const int count = bcf_get_genotypes(header, record, &gt_, &gtCapacity_);
    if (count != 2 * samples) return call;  // no GT, or not diploid
    const std::int32_t* gt = gt_ + static_cast<std::ptrdiff_t>(2) * sample;
    if (gt[1] == bcf_int32_vector_end || bcf_gt_is_missing(gt[0]) || bcf_gt_is_missing(gt[1]) ||
        !bcf_gt_is_phased(gt[1]) || bcf_gt_allele(gt[0]) == bcf_gt_allele(gt[1])) {
      return call;
    }
    call.phasedHeterozygous = true;
    call.first = bcf_gt_allele(gt[0]);
    call.second = bcf_gt_allele(gt[1]);
    if (bcf_get_format_int32(header, record, "PS", &ps_, &psCapacity_) == samples) {
      const std::int32_t ps = ps_[sample];
      if (ps != bcf_int32_missing && ps != bcf_int32_vector_end) call.phaseSet = ps;
    }
    return call;
  }

  // Rewrites the sample's genotype in that order and its phase set; the
  // other samples' values are kept.
  void write(const bcf_hdr_t* header, bcf1_t* record, int sample, bool swap, std::int32_t ps) {
    const int samples = bcf_hdr_nsamples(header);
    if (bcf_get_genotypes(header, record, &gt_, &gtCapacity_) != 2 * samples) return;
    std::int32_t* gt = gt_ + static_cast<std::ptrdiff_t>(2) * sample;
    if (swap) {
      const std::int32_t first = bcf_gt_allele(gt[0]);
      gt[0] = bcf_gt_unphased(bcf_gt_allele(gt[1]));
      gt[1] = bcf_gt_phased(first);
    }
    bcf_update_genotypes(header, record, gt_, 2 * samples);
    if (bcf_get_format_int32(header, record, "PS", &ps_, &psCapacity_) != samples) {
      if (psCapacity_ < samples) {
        ps_ = static_cast<std::int32_t*>(std::realloc(ps_, sizeof(std::int32_t) * samples));
        if (ps_ == nullptr) veltaFatal("out of memory writing phase sets");
        psCapacity_ = samples;
      }
      for (int i = 0; i < samples; ++i) ps_[i] = bcf_int32_missing;
    }
    ps_[sample] = ps;
    bcf_update_format_int32(header, record, "PS", ps_, samples);
  }

 private:
  std::int32_t* gt_ = nullptr;
  int gtCapacity_ = 0;
  std::int32_t* ps_ = nullptr;
  int psCapacity_ = 0;
};

// One record of a window, as the join of two windows sees it.
struct WindowRecord {
  std::int64_t position;  // 1-based
  std::string key;        // position and alleles: the same record in both windows
  SampleCall call;
  std::uint32_t block;  // of a phased heterozygous call
};

// What the second pass needs of each window.
struct WindowPlan {
  std::string path;
  std::map<std::int32_t, std::uint32_t> blockOfPhaseSet;  // the window's PS values -> blocks
  std::int64_t keepFrom = 0;      // records kept from this position on
  std::int64_t keepBefore = kNoCut;  // and before this one
};

class WindowFile {
 public:
  WindowFile(const std::string& path, const std::string& sampleName)
      : path_(path), file_(openHtsInput(path, "window VCF")) {
    header_.reset(bcf_hdr_read(file_.get()));
    if (!header_) veltaFatal("window VCF %s: cannot read its header", path.c_str());
    sample_ = findSample(sampleName);
  }
  bcf_hdr_t* header() const { return header_.get(); }
  int sample() const { return sample_; }
  const char* sampleName() const { return header_->samples[sample_]; }
  // Next record, unpacked; false at the end.
  bool next(bcf1_t* record) {
    const int status = bcf_read(file_.get(), header_.get(), record);
    if (status == -1) return false;
    if (status < -1 || record->errcode != 0 || bcf_unpack(record, BCF_UN_ALL) < 0) {
      veltaFatal("window VCF %s: a record cannot be read after %s (malformed or truncated "
                   "file?)",
                   path_.c_str(), last_.empty() ? "the header" : last_.c_str());
    }
    last_ = describe(record);
    return true;
  }
  std::string describe(const bcf1_t* record) const {
    std::string text = bcf_seqname_safe(header_.get(), record);
    text += ':' + std::to_string(record->pos + 1);
    for (unsigned i = 0; i < record->n_allele; ++i) {
      text += (i == 0 ? ' ' : (i == 1 ? '>' : ','));
      text += record->d.allele[i];
    }
    return text;
  }

 private:
  int findSample(const std::string& name) const {
    const int samples = bcf_hdr_nsamples(header_.get());
    if (name.empty()) {
      if (samples == 1) return 0;
      veltaFatal("window VCF %s has %d samples: name the phased one with --sample",
                   path_.c_str(), samples);
    }
    const int index = bcf_hdr_id2int(header_.get(), BCF_DT_SAMPLE, name.c_str());
    if (index < 0) veltaFatal("window VCF %s has no sample %s", path_.c_str(), name.c_str());
    return index;
  }

  std::string path_;
  HtsFilePtr file_;
  BcfHeaderPtr header_;
  int sample_ = 0;
  std::string last_;
};

struct LigationTotals {
  std::uint64_t joins = 0;
  std::uint64_t emptyOverlaps = 0;
  std::uint64_t ties = 0;
  std::uint64_t conflicts = 0;
  std::uint64_t swappedWindows = 0;
  std::uint64_t unphasedWindows = 0;  // without a phased heterozygous SNP
  std::uint64_t records = 0;
  std::uint64_t phasedHeterozygous = 0;
  std::uint64_t phaseSets = 0;
};

class Ligator {
 public:
  Ligator(const std::vector<std::string>& windows, const std::string& sample, OutputFile& output)
      : windows_(windows), sample_(sample), output_(output) {}
  void planAll();
  void writeAll();
  void printSummary() const;
  LigationSummary summary() const {
    return {totals_.joins, totals_.emptyOverlaps, totals_.ties, totals_.phaseSets,
            totals_.unphasedWindows};
  }

 private:
  std::vector<WindowRecord> readWindow(WindowPlan& plan);
  void joinToPrevious(std::size_t index, const std::vector<WindowRecord>& records);
  void noteKept(const std::vector<WindowRecord>& records, const WindowPlan& plan);
  BcfHeaderPtr outputHeader() const;

  const std::vector<std::string>& windows_;
  const std::string& sample_;
  OutputFile& output_;
  LigatedBlocks blocks_;
  std::vector<WindowPlan> plans_;
  std::vector<WindowRecord> previous_;  // records of the last window that had any
  std::size_t previousIndex_ = 0;       // its number in plans_
  std::string chrom_;
  LigationTotals totals_;
};

std::vector<WindowRecord> Ligator::readWindow(WindowPlan& plan) {
  WindowFile window(plan.path, sample_);
  BcfRecordPtr record(bcf_init());
  CallReader calls;
  std::vector<WindowRecord> records;
  while (window.next(record.get())) {
    const char* chrom = bcf_seqname_safe(window.header(), record.get());
    if (chrom_.empty()) chrom_ = chrom;
    if (chrom_ != chrom) {
      veltaFatal("window VCF %s: record %s is on another chromosome than %s; ligate joins the "
                   "windows of one chromosome (join chromosomes with bcftools concat)",
                   plan.path.c_str(), window.describe(record.get()).c_str(), chrom_.c_str());
    }
    WindowRecord kept{record->pos + 1, window.describe(record.get()), SampleCall(), 0};
    if (!records.empty() && kept.position < records.back().position) {
      veltaFatal("window VCF %s: record %s comes after position %" PRId64
                   "; a window's records must be in position order",
                   plan.path.c_str(), kept.key.c_str(), records.back().position);
    }
    kept.call = calls.read(window.header(), record.get(), window.sample());
    if (kept.call.phasedHeterozygous) {
      auto found = plan.blockOfPhaseSet.find(kept.call.phaseSet);
      if (found == plan.blockOfPhaseSet.end()) {
        found = plan.blockOfPhaseSet.emplace(kept.call.phaseSet, blocks_.addBlock()).first;
      }
      kept.block = found->second;
    }
    records.push_back(std::move(kept));
  }
  return records;
}

// Where the later window takes over when no shared SNP joins the two: the
// middle of the shared records, except that a window that phased none of them
// (one written unphased, say) leaves the whole overlap to the other, so that
// no phase is dropped there.
std::int64_t undecidedCut(
    const std::vector<std::pair<const WindowRecord*, const WindowRecord*>>& shared,
    std::int64_t start) {
  if (shared.empty()) return start;
  bool earlierPhased = false;
  bool laterPhased = false;
  for (const auto& [earlier, later] : shared) {
    earlierPhased = earlierPhased || earlier->call.phasedHeterozygous;
    laterPhased = laterPhased || later->call.phasedHeterozygous;
  }
  if (earlierPhased && !laterPhased) return shared.back().first->position + 1;
  if (laterPhased && !earlierPhased) return start;
  return shared[shared.size() / 2].first->position;
}

// The later window joins the earlier one through their shared heterozygous
// SNPs, and takes over inside the overlap (handOverSite; without a shared
// heterozygous SNP, the middle of the shared records), so each window's
// records are used away from its edges.
void Ligator::joinToPrevious(std::size_t index, const std::vector<WindowRecord>& records) {
  WindowPlan& previousPlan = plans_[previousIndex_];
  WindowPlan& plan = plans_[index];
  const std::int64_t start = records.front().position;
  if (start < previous_.front().position) {
    veltaFatal("window VCF %s starts at %s:%" PRId64 ", before the previous window %s (%s:%" PRId64
                 "): give the windows in position order",
                 plan.path.c_str(), chrom_.c_str(), start, previousPlan.path.c_str(),
                 chrom_.c_str(), previous_.front().position);
  }
  std::map<std::string, const WindowRecord*> later;
  for (const WindowRecord& record : records) {
    if (record.position > previous_.back().position) break;
    later.emplace(record.key, &record);
  }
  std::vector<std::pair<const WindowRecord*, const WindowRecord*>> shared;
  for (const WindowRecord& record : previous_) {
    if (record.position < start) continue;
    const auto found = later.find(record.key);
    if (found != later.end()) shared.emplace_back(&record, found->second);
  }
  std::vector<OverlapSite> sites;
  std::vector<std::int64_t> sitePositions;
  for (const auto& [earlier, later] : shared) {
    const SampleCall& a = earlier->call;
    const SampleCall& b = later->call;
    if (!a.phasedHeterozygous || !b.phasedHeterozygous) continue;
    const bool same = a.first == b.first && a.second == b.second;
    const bool opposite = a.first == b.second && a.second == b.first;
    if (!same && !opposite) continue;
    sites.push_back({earlier->block, later->block, same});
    sitePositions.push_back(earlier->position);
  }
  const JoinReport report = joinWindows(sites, blocks_);
  const std::size_t handOver = handOverSite(sites, blocks_);
  const std::int64_t cut =
      handOver < sites.size() ? sitePositions[handOver] : undecidedCut(shared, start);
  // Every record on the later side of the cut must be in the later window,
  // and the other way round: otherwise the windows come from different inputs.
  std::set<std::string> earlierKeys;
  for (const WindowRecord& record : previous_) {
    if (record.position < start) continue;
    earlierKeys.insert(record.key);
    if (record.position >= cut && later.count(record.key) == 0) {
      veltaFatal("window VCFs %s and %s overlap, but record %s of the first is missing from "
                   "the second (windows of different inputs?)",
                   previousPlan.path.c_str(), plan.path.c_str(), record.key.c_str());
    }
  }
  for (const auto& [key, record] : later) {
    if (record->position < cut && earlierKeys.count(key) == 0) {
      veltaFatal("window VCFs %s and %s overlap, but record %s of the second is missing from "
                   "the first (windows of different inputs?)",
                   previousPlan.path.c_str(), plan.path.c_str(), key.c_str());
    }
  }
  previousPlan.keepBefore = cut;
  plan.keepFrom = cut;
  ++totals_.joins;
  totals_.ties += report.ties;
  totals_.conflicts += report.conflicts;
  totals_.swappedWindows += report.swapped;
  if (sites.empty()) {
    ++totals_.emptyOverlaps;
    std::printf("  window %zu (%s): no heterozygous SNP phased in both windows; phase across the "
                "join unknown, a new phase set starts at %s:%" PRId64 "\n",
                index + 1, plan.path.c_str(), chrom_.c_str(), cut);
    return;
  }
  std::printf("  window %zu (%s): %" PRIu64 " of %" PRIu64
              " heterozygous SNPs phased in both windows agree, haplotypes %s",
              index + 1, plan.path.c_str(), report.agreeing, report.sites,
              report.swapped ? "swapped" : "kept");
  if (report.ties > 0) {
    std::printf("; %" PRIu64 " tied block pair(s) left unjoined (a new phase set starts)",
                report.ties);
  }
  if (report.conflicts > 0) {
    std::printf("; %" PRIu64 " block pair(s) outvoted by stronger ones", report.conflicts);
  }
  std::printf("\n");
}

void Ligator::noteKept(const std::vector<WindowRecord>& records, const WindowPlan& plan) {
  for (const WindowRecord& record : records) {
    if (record.position < plan.keepFrom || record.position >= plan.keepBefore) continue;
    if (record.call.phasedHeterozygous) blocks_.notePosition(record.block, record.position);
  }
}

void Ligator::planAll() {
  for (const std::string& path : windows_) {
    plans_.push_back(WindowPlan{path, {}, 0, kNoCut});
    const std::size_t index = plans_.size() - 1;
    std::vector<WindowRecord> records = readWindow(plans_.back());
    const bool phased = std::any_of(records.begin(), records.end(), [](const WindowRecord& r) {
      return r.call.phasedHeterozygous;
    });
    if (!phased) {
      ++totals_.unphasedWindows;
      std::printf("  window %zu (%s): %s; phase does not carry across it\n", index + 1,
                  path.c_str(), records.empty() ? "no records" : "no phased heterozygous SNP");
    }
    if (records.empty()) continue;
    if (!previous_.empty()) {
      joinToPrevious(index, records);
      noteKept(previous_, plans_[previousIndex_]);
    }
    previous_ = std::move(records);
    previousIndex_ = index;
  }
  if (!previous_.empty()) noteKept(previous_, plans_[previousIndex_]);
}

BcfHeaderPtr Ligator::outputHeader() const {
  BcfHeaderPtr header;
  std::vector<std::string> samples;
  for (const WindowPlan& plan : plans_) {
    WindowFile window(plan.path, sample_);
    const int count = bcf_hdr_nsamples(window.header());
    std::vector<std::string> names(window.header()->samples, window.header()->samples + count);
    if (!header) {
      header.reset(bcf_hdr_dup(window.header()));
      samples = names;
      continue;
    }
    if (names != samples) {
      veltaFatal("window VCFs %s and %s hold different samples; the windows of one ligation "
                   "come from one input",
                   plans_.front().path.c_str(), plan.path.c_str());
    }
    if (bcf_hdr_merge(header.get(), window.header()) == nullptr) {
      veltaFatal("window VCF %s: its header cannot be merged with %s's", plan.path.c_str(),
                   plans_.front().path.c_str());
    }
  }
  if (bcf_hdr_get_hrec(header.get(), BCF_HL_FMT, "ID", "PS", nullptr) == nullptr) {
    bcf_hdr_append(header.get(),
                   "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set: position of "
                   "the first SNP of the group phased together\">");
  }
  if (bcf_hdr_sync(header.get()) != 0) {
    veltaFatal("cannot make the header of %s", output_.path().c_str());
  }
  return header;
}

void Ligator::writeAll() {
  const BcfHeaderPtr header = outputHeader();
  const OutputKind kind = outputKindOf(output_.path());
  HtsFilePtr out(hts_open(output_.writePath().c_str(), kind.mode));
  if (!out) veltaFatal("cannot create %s", output_.writePath().c_str());
  if (bcf_hdr_write(out.get(), header.get()) != 0) {
    veltaFatal("cannot write %s", output_.writePath().c_str());
  }
  BcfRecordPtr record(bcf_init());
  CallReader calls;
  std::set<std::int64_t> phaseSets;
  for (const WindowPlan& plan : plans_) {
    WindowFile window(plan.path, sample_);
    const int sample = window.sample();
    while (window.next(record.get())) {
      const std::int64_t position = record->pos + 1;
      if (position < plan.keepFrom || position >= plan.keepBefore) continue;
      const SampleCall call = calls.read(window.header(), record.get(), sample);
      if (bcf_translate(header.get(), window.header(), record.get()) != 0) {
        veltaFatal("window VCF %s: record %s cannot be carried into the joined header",
                     plan.path.c_str(), window.describe(record.get()).c_str());
      }
      if (call.phasedHeterozygous) {
        const std::uint32_t block = plan.blockOfPhaseSet.at(call.phaseSet);
        const std::int64_t phaseSet = blocks_.phaseSet(block);
        calls.write(header.get(), record.get(), sample, blocks_.swapped(block),
                    static_cast<std::int32_t>(phaseSet));
        phaseSets.insert(phaseSet);
        ++totals_.phasedHeterozygous;
      }
      if (bcf_write(out.get(), header.get(), record.get()) != 0) {
        veltaFatal("cannot write record %s to %s", window.describe(record.get()).c_str(),
                     output_.writePath().c_str());
      }
      ++totals_.records;
    }
  }
  if (hts_close(out.release()) != 0) {
    veltaFatal("cannot write %s (disk full?)", output_.writePath().c_str());
  }
  buildIndex(output_, kind.indexShift);
  output_.commit();
  totals_.phaseSets = phaseSets.size();
}

void Ligator::printSummary() const {
  std::printf("ligate %s: %zu windows, %" PRIu64 " records, %" PRIu64
              " phased heterozygous SNPs in %" PRIu64 " phase sets; %" PRIu64 " joins, %" PRIu64
              " with haplotypes swapped, %" PRIu64 " empty overlaps, %" PRIu64
              " tied and %" PRIu64 " outvoted block pairs, %" PRIu64
              " windows without a phased SNP\n",
              output_.path().c_str(), plans_.size(), totals_.records, totals_.phasedHeterozygous,
              totals_.phaseSets, totals_.joins, totals_.swappedWindows, totals_.emptyOverlaps,
              totals_.ties, totals_.conflicts, totals_.unphasedWindows);
}

}  // namespace

LigationSummary ligateWindowFiles(const std::vector<std::string>& windows,
                                  const std::string& sample, OutputFile& out) {
  Ligator ligator(windows, sample, out);
  ligator.planAll();
  ligator.writeAll();
  ligator.printSummary();
  return ligator.summary();
}

void ligateWindows(const ConvertOptions& options) {
  OutputFile out(options.out, OutputFile::Writer::kByName);
  ligateWindowFiles(options.inputs, options.sample, out);
}
