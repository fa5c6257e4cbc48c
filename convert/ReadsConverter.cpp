#include "ReadsConverter.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "AlignmentAlleles.h"
#include "HtsHandles.h"
#include "InputIndex.h"
#include "MatePairs.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ReadLines.h"
#include "SnpLocator.h"
#include "SnpMap.h"
#include "VeltaIO.h"

namespace {

constexpr std::uint64_t kAlignmentsPerProgressLine = 1000000;

// What a read file's lines took: the lines written and the reads or pairs cut
// at velta's limits.
struct LineCounts {
  std::uint64_t lines = 0;
  std::uint64_t cut = 0;
};

bool showsAllele(const std::vector<SnpCall>& calls) {
  for (const SnpCall& call : calls) {
    if (call.allele != '-') return true;
  }
  return false;
}

class ReadsConversion {
 public:
  ReadsConversion(const ConvertOptions& options, const SnpLocator& locator,
                  const ReadCallsHandler& take)
      : options_(options),
        locator_(locator),
        take_(take),
        progress_("alignments", kAlignmentsPerProgressLine) {}

  void run();
  const ReadsReport& report() const { return report_; }

 private:
  void openInput();
  void linkChromosomes();
  void readAll();
  void readMapSpans();
  void checkReadStatus(int status) const;
  void process(const bam1_t* alignment);
  bool passesFilters(const bam1_t* alignment);
  bool needNotWait(const bam1_t* alignment) const;
  void reportRepeatedEnd(const bam1_t* alignment, const char* name);
  void write(FragmentCalls& read);

  const ConvertOptions& options_;
  const SnpLocator& locator_;
  const ReadCallsHandler& take_;
  HtsFilePtr file_;
  SamHeaderPtr header_;
  std::vector<const SnpTrack*> trackOfTarget_;  // per reference sequence of the header
  MatePairs pairs_;
  FragmentCalls read_;
  Progress progress_;
  ReadsReport report_;
  AlignmentCounts& alignments_ = report_.alignments;
  BaseCounts& bases_ = report_.bases;
  std::int64_t lastTarget_ = -1;
  std::int64_t lastPosition_ = -1;
};

void ReadsConversion::run() {
  openInput();
  linkChromosomes();
  const std::string indexFile = freshIndexFile(options_.bam, file_.get());
  HtsIndexPtr index(indexFile.empty() ? nullptr
                                      : sam_index_load3(file_.get(), options_.bam.c_str(),
                                                        indexFile.c_str(), HTS_IDX_SILENT_FAIL));
  if (index) {
    std::printf("  %s has an index: reading only the span of the map on each chromosome\n",
                options_.bam.c_str());
    for (const std::string& chrom : locator_.chromosomes()) {
      const int target = sam_hdr_name2tid(header_.get(), chrom.c_str());
      if (target < 0) continue;
      const SnpTrack& track = *locator_.find(chrom);
      HtsIteratorPtr iterator(
          sam_itr_queryi(index.get(), target, track.front().position0, track.back().position0 + 1));
      if (!iterator)
        veltaFatal("%s: cannot query its index for %s", options_.bam.c_str(), chrom.c_str());
      BamRecordPtr alignment(bam_init1());
      int status;
      while ((status = sam_itr_next(file_.get(), iterator.get(), alignment.get())) >= 0) {
        process(alignment.get());
      }
      checkReadStatus(status);
    }
  } else {
    readAll();
  }
  for (FragmentCalls& read : pairs_.takeLeftovers()) {
    report_.mateMissing += read.anyKept;
    write(read);
  }
}

void ReadsConversion::openInput() {
  file_ = openHtsInput(options_.bam, "alignment file");
  if (hts_get_format(file_.get())->category != sequence_data) {
    veltaFatal("%s is not a SAM, BAM or CRAM file", options_.bam.c_str());
  }
  if (!options_.reference.empty()) {
    if (!std::ifstream(options_.reference)) {
      veltaFatal("cannot open the reference %s", options_.reference.c_str());
    }
    if (hts_set_fai_filename(file_.get(), options_.reference.c_str()) != 0) {
      veltaFatal(
          "cannot use %s as the reference of %s (a FASTA file, indexed or indexable "
          "with a .fai beside it)",
          options_.reference.c_str(), options_.bam.c_str());
    }
  }
  header_.reset(sam_hdr_read(file_.get()));
  if (!header_) veltaFatal("%s: cannot read its header", options_.bam.c_str());
}

// Ties the header's reference sequences to the map's chromosomes, by name.
void ReadsConversion::linkChromosomes() {
  const int targets = sam_hdr_nref(header_.get());
  trackOfTarget_.assign(targets, nullptr);
  for (int t = 0; t < targets; ++t) {
    trackOfTarget_[t] = locator_.find(sam_hdr_tid2name(header_.get(), t));
  }
  std::string missing;
  std::size_t found = 0;
  for (const std::string& chrom : locator_.chromosomes()) {
    if (sam_hdr_name2tid(header_.get(), chrom.c_str()) >= 0) {
      ++found;
    } else {
      missing += (missing.empty() ? "" : ", ") + chrom;
    }
  }
  if (found == 0) {
    veltaFatal(
        "none of the map's chromosomes (%s) is a reference sequence of %s (it has %s%s); "
        "do the names differ, as 20 and chr20 do?",
        missing.c_str(), options_.bam.c_str(),
        targets > 0 ? sam_hdr_tid2name(header_.get(), 0) : "none", targets > 1 ? ", ..." : "");
  }
  if (!missing.empty()) {
    veltaWarn("%s has no reference sequence named %s: their SNPs get no read", options_.bam.c_str(),
              missing.c_str());
  }
}

void ReadsConversion::readAll() {
  BamRecordPtr alignment(bam_init1());
  int status;
  while ((status = sam_read1(file_.get(), header_.get(), alignment.get())) >= 0) {
    process(alignment.get());
  }
  checkReadStatus(status);
}

void ReadsConversion::checkReadStatus(int status) const {
  if (status >= -1) return;
  const bool isCram = hts_get_format(file_.get())->format == cram;
  const char* hint = isCram && options_.reference.empty() ? " (a CRAM may need --reference)" : "";
  if (lastTarget_ < 0) {
    veltaFatal("%s: cannot read an alignment after %" PRIu64 " alignments%s", options_.bam.c_str(),
               alignments_.seen, hint);
  }
  veltaFatal(
      "%s: cannot read the alignment after %" PRIu64 " alignments, the last at %s:%" PRId64 "%s",
      options_.bam.c_str(), alignments_.seen,
      sam_hdr_tid2name(header_.get(), static_cast<int>(lastTarget_)), lastPosition_ + 1, hint);
}

bool ReadsConversion::passesFilters(const bam1_t* alignment) {
  const std::uint16_t flag = alignment->core.flag;
  if (flag & BAM_FUNMAP) {
    ++alignments_.unmapped;
  } else if (flag & BAM_FQCFAIL) {
    ++alignments_.qcFailed;
  } else if (flag & BAM_FDUP) {
    ++alignments_.duplicate;
  } else if (alignment->core.qual < options_.minMapq) {
    ++alignments_.lowMapq;
  } else {
    ++alignments_.kept;
    return true;
  }
  return false;
}

// True when the mate cannot add an allele (it is unmapped, or lies where the
// map has no SNP) or does not wait for this mate (an unmapped mate's partner
// knows it is unmapped), so the read need not be held.
bool ReadsConversion::needNotWait(const bam1_t* alignment) const {
  const std::int32_t mateTarget = alignment->core.mtid;
  if ((alignment->core.flag & (BAM_FMUNMAP | BAM_FUNMAP)) || mateTarget < 0 ||
      mateTarget >= static_cast<std::int32_t>(trackOfTarget_.size())) {
    return true;
  }
  const SnpTrack* track = trackOfTarget_[mateTarget];
  return track == nullptr || alignment->core.mpos > track->back().position0;
}

void ReadsConversion::process(const bam1_t* alignment) {
  ++alignments_.seen;
  const int target = alignment->core.tid;
  if (target >= 0) {
    lastTarget_ = target;
    lastPosition_ = alignment->core.pos;
    progress_.tick(sam_hdr_tid2name(header_.get(), target), alignment->core.pos + 1);
  } else {
    progress_.tick("*", 0);
  }
  const std::uint16_t flag = alignment->core.flag;
  if (flag & BAM_FSECONDARY) {
    ++alignments_.secondary;
    return;
  }
  if (flag & BAM_FSUPPLEMENTARY) {
    ++alignments_.supplementary;
    return;
  }
  read_.calls.clear();
  read_.anyKept = passesFilters(alignment);
  if (read_.anyKept && target >= 0 && trackOfTarget_[target] != nullptr) {
    collectAlignmentCalls(alignment, *trackOfTarget_[target], options_.minBaseq, bases_,
                          read_.calls);
  }
  const char* name = bam_get_qname(alignment);
  // '*' is SAM's "no name": such reads cannot be told apart, so none is paired.
  const bool unnamed = std::strcmp(name, "*") == 0;
  if ((flag & BAM_FPAIRED) && unnamed) ++report_.unnamed;
  if ((flag & BAM_FPAIRED) && !unnamed) {
    const MateEnd end = mateEndOf(flag);
    const MateMatch match = pairs_.takeMate(name, end, read_);
    if (match == MateMatch::kSameEnd) {
      reportRepeatedEnd(alignment, name);
      return;
    }
    if (match == MateMatch::kNone && !needNotWait(alignment)) {
      pairs_.hold(name, end, read_);
      return;
    }
  }
  write(read_);
}

void ReadsConversion::reportRepeatedEnd(const bam1_t* alignment, const char* name) {
  if (++report_.repeatedEnds > 3) return;
  const int target = alignment->core.tid;
  veltaWarn("%s: read %s has a second primary %s alignment (at %s:%" PRId64
            "): dropped; its mate is joined with the first",
            options_.bam.c_str(), name,
            mateEndOf(alignment->core.flag) == MateEnd::kFirst ? "first-in-pair" : "second-in-pair",
            target >= 0 ? sam_hdr_tid2name(header_.get(), target) : "*",
            static_cast<std::int64_t>(alignment->core.pos + 1));
}

void ReadsConversion::write(FragmentCalls& read) {
  if (!read.anyKept) return;
  report_.mateDisagreements += mergeCalls(read.calls);
  if (!showsAllele(read.calls)) {
    ++report_.noAllele;
    return;
  }
  ++report_.reads;
  take_(read.calls);
}

void printSummary(const ConvertOptions& options, const ReadsReport& report,
                  const LineCounts& written, const std::string& path) {
  printAlignmentSummary(options, report);
  std::printf("  wrote %" PRIu64 " lines to %s for %" PRIu64 " reads or pairs (%" PRIu64
              " cut at velta's limits of a read); %" PRIu64
              " kept reads or pairs show no allele and are not written\n",
              written.lines, path.c_str(), report.reads, written.cut, report.noAllele);
}

}  // namespace

ReadsReport collectReadCalls(const ConvertOptions& options, const SnpLocator& locator,
                             const ReadCallsHandler& take) {
  ReadsConversion conversion(options, locator, take);
  conversion.run();
  return conversion.report();
}

void printAlignmentSummary(const ConvertOptions& options, const ReadsReport& report) {
  const AlignmentCounts& a = report.alignments;
  const BaseCounts& b = report.bases;
  std::printf("reads %s: %" PRIu64 " alignments read, %" PRIu64 " kept\n", options.bam.c_str(),
              a.seen, a.kept);
  std::printf("  filtered: %" PRIu64 " secondary, %" PRIu64 " supplementary, %" PRIu64
              " unmapped, %" PRIu64 " QC failed, %" PRIu64 " duplicate, %" PRIu64
              " with mapping quality below %d\n",
              a.secondary, a.supplementary, a.unmapped, a.qcFailed, a.duplicate, a.lowMapq,
              options.minMapq);
  std::printf("  SNP bases: %" PRIu64 " show an allele; no call for %" PRIu64
              " with base quality below %d, %" PRIu64 " equal to neither allele, %" PRIu64
              " in a deletion or skipped region\n",
              b.calls, b.lowQuality, options.minBaseq, b.otherBase, b.deleted);
  std::printf("  overlapping mates disagree at %" PRIu64 " SNPs (written as no call); %" PRIu64
              " mates written alone (partner not in the input, or outside the map's span)\n",
              report.mateDisagreements, report.mateMissing);
  if (report.repeatedEnds + report.unnamed > 0) {
    std::printf("  also: %" PRIu64
                " second primary alignments of one end of a pair dropped, %" PRIu64
                " paired reads named '*' written alone (never joined)\n",
                report.repeatedEnds, report.unnamed);
  }
}

void convertReads(const ConvertOptions& options) {
  OutputFile out(options.out);
  const SnpMap map = loadSnpMap(options.map);
  const SnpLocator locator(map);
  LineCounts written;
  std::string lines;
  const ReadsReport report =
      collectReadCalls(options, locator, [&](const std::vector<SnpCall>& calls) {
        lines.clear();
        const std::size_t count = appendReadLines(calls, lines);
        out.stream() << lines;
        written.lines += count;
        written.cut += count > 1;
      });
  out.commit();
  printSummary(options, report, written, out.path());
}
