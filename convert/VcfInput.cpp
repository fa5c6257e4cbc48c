#include "VcfInput.h"

#include <utility>

#include "InputIndex.h"
#include "VeltaIO.h"

namespace {
constexpr std::uint64_t kRecordsPerProgressLine = 100000;
}  // namespace

VcfInput::VcfInput(const std::string& path, const std::string& region, const char* what)
    : path_(path), progress_("records", kRecordsPerProgressLine) {
  file_ = openHtsInput(path, what);
  const htsFormat* format = hts_get_format(file_.get());
  if (format->category != variant_data) {
    veltaFatal("%s %s is not a VCF or BCF file", what, path.c_str());
  }
  header_.reset(bcf_hdr_read(file_.get()));
  if (!header_) veltaFatal("%s %s: cannot read its header", what, path.c_str());
  if (!region.empty()) {
    // As htslib does: a contig of exactly this name wins over a range reading.
    const bool isContig = bcf_hdr_name2id(header_.get(), region.c_str()) >= 0;
    region_ = isContig ? Region::chromosome(region) : Region(region);
    checkRegionContig(what);
    openRegion();
  }
}

void VcfInput::checkRegionContig(const char* what) const {
  const bcf_hdr_t* header = header_.get();
  const int contigs = header->n[BCF_DT_CTG];
  // Without ##contig lines the names are only learnt from the records.
  if (contigs == 0 || bcf_hdr_name2id(header, region_.chrom().c_str()) >= 0) return;
  std::string names;
  for (int i = 0; i < contigs && i < 5; ++i) {
    names += std::string(i ? ", " : "") + bcf_hdr_id2name(header, i);
  }
  if (contigs > 5) names += ", ...";
  veltaFatal(
      "--region %s: expected CHR, CHR:FROM or CHR:FROM-TO (1-based) with CHR a contig of the "
      "%s %s (its contigs: %s)",
      region_.text().c_str(), what, path_.c_str(), names.c_str());
}

void VcfInput::openRegion() {
  const htsFormat* format = hts_get_format(file_.get());
  const char* regionText = region_.text().c_str();
  const std::string index = freshIndexFile(path_, file_.get());
  if (!index.empty() && format->format == bcf) {
    bcfIndex_.reset(bcf_index_load3(path_.c_str(), index.c_str(), HTS_IDX_SILENT_FAIL));
    if (bcfIndex_) iterator_.reset(bcf_itr_querys(bcfIndex_.get(), header_.get(), regionText));
  } else if (!index.empty()) {
    tabix_.reset(tbx_index_load3(path_.c_str(), index.c_str(), HTS_IDX_SILENT_FAIL));
    if (tabix_) iterator_.reset(tbx_itr_querys(tabix_.get(), regionText));
  }
  if (!bcfIndex_ && !tabix_) {
    std::printf("  %s has no index: reading it whole for the region %s\n", path_.c_str(),
                regionText);
    return;
  }
  if (!iterator_) {
    veltaFatal("--region %s: %s has no records on that chromosome (its index does not know it)",
               regionText, path_.c_str());
  }
  // The index knows the chromosome: a region of it without records is empty,
  // not misnamed (a window of a long chromosome may hold no call).
  regionChromSeen_ = true;
}

int VcfInput::readRecord(bcf1_t* record) {
  if (bcfIndex_) {
    // Records read through a BCF index skip htslib's sample subsetting.
    const int status = bcf_itr_next(file_.get(), iterator_.get(), record);
    if (status < 0 || header_->keep_samples == nullptr) return status;
    return bcf_subset_format(header_.get(), record) == 0 ? 0 : -2;
  }
  if (!tabix_) return bcf_read(file_.get(), header_.get(), record);
  const int status = tbx_itr_next(file_.get(), tabix_.get(), iterator_.get(), text_.get());
  if (status < 0) return status;
  return vcf_parse1(text_.get(), header_.get(), record) < 0 ? -2 : 0;
}

bool VcfInput::next(bcf1_t* record) {
  if (!hasPending_) return readNext(record);
  // bcf1_t owns its buffers and holds no pointer to itself: swapping moves them.
  std::swap(*record, *pending_);
  hasPending_ = false;
  return true;
}

const bcf1_t* VcfInput::peek() {
  if (hasPending_) return pending_.get();
  if (!pending_) pending_.reset(bcf_init());
  hasPending_ = readNext(pending_.get());
  return hasPending_ ? pending_.get() : nullptr;
}

bool VcfInput::readNext(bcf1_t* record) {
  while (true) {
    const int status = readRecord(record);
    if (status == -1) {
      checkRegionSeen();
      return false;
    }
    if (status < -1) failAfterLastRecord("a record cannot be read");
    if (record->errcode != 0) checkParseProblems(record->errcode);
    if (bcf_unpack(record, BCF_UN_STR) < 0) failAfterLastRecord("a record cannot be unpacked");
    const char* chrom = bcf_seqname_safe(header_.get(), record);
    progress_.tick(chrom, record->pos + 1);
    lastRecord_ = describe(record);
    regionChromSeen_ = regionChromSeen_ || region_.chrom() == chrom;
    if (region_.contains(chrom, record->pos + 1)) return true;
  }
}

void VcfInput::checkRegionSeen() const {
  if (region_.isWholeGenome() || regionChromSeen_) return;
  veltaFatal(
      "--region %s: no record of %s lies on a chromosome named %s (expected CHR, CHR:FROM or "
      "CHR:FROM-TO, 1-based)",
      region_.text().c_str(), path_.c_str(), region_.chrom().c_str());
}

void VcfInput::checkParseProblems(int errcode) {
  // htslib adds a header line for an undeclared contig or tag and reads the
  // record whole, as other tools do.
  const int declaredLate = BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF;
  if ((errcode & ~declaredLate) == 0) {
    if (!warnedUndeclared_) {
      veltaWarn(
          "%s: a record after %s names a chromosome, FILTER, INFO or FORMAT tag that the "
          "header does not declare; it is read as declared there (further ones are not reported)",
          path_.c_str(), lastRecord_.empty() ? "the header" : lastRecord_.c_str());
      warnedUndeclared_ = true;
    }
    return;
  }
  const char* problem = (errcode & BCF_ERR_NCOLS)         ? "a record has too few columns"
                        : (errcode & BCF_ERR_LIMITS)      ? "a record exceeds htslib's limits"
                        : (errcode & BCF_ERR_CHAR)        ? "a record holds an invalid character"
                        : (errcode & BCF_ERR_CTG_INVALID) ? "a record has an invalid chromosome"
                                                          : "a record has an invalid tag";
  failAfterLastRecord(problem);
}

std::string VcfInput::describe(const bcf1_t* record) const {
  std::string text = bcf_seqname_safe(header_.get(), record);
  text += ':' + std::to_string(record->pos + 1);
  const char* id = record->d.id;
  if (id != nullptr && std::string(id) != ".") text += std::string(" (") + id + ")";
  return text;
}

void VcfInput::failAfterLastRecord(const char* problem) const {
  if (lastRecord_.empty()) {
    veltaFatal("%s: %s before the first record was read (malformed or truncated file?)",
               path_.c_str(), problem);
  }
  veltaFatal("%s: %s after record %s (malformed or truncated file?)", path_.c_str(), problem,
             lastRecord_.c_str());
}
