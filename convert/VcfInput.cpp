#include "VcfInput.h"

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
    openRegion();
  }
}

void VcfInput::openRegion() {
  const htsFormat* format = hts_get_format(file_.get());
  const char* regionText = region_.text().c_str();
  if (format->format == bcf) {
    bcfIndex_.reset(bcf_index_load3(path_.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    if (bcfIndex_) iterator_.reset(bcf_itr_querys(bcfIndex_.get(), header_.get(), regionText));
  } else if (format->compression == bgzf) {
    tabix_.reset(tbx_index_load3(path_.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
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
  while (true) {
    const int status = readRecord(record);
    if (status == -1) return false;
    if (status < -1 || record->errcode != 0) failAfterLastRecord("a record cannot be read");
    if (bcf_unpack(record, BCF_UN_STR) < 0) failAfterLastRecord("a record cannot be unpacked");
    const char* chrom = bcf_seqname_safe(header_.get(), record);
    progress_.tick(chrom, record->pos + 1);
    lastRecord_ = describe(record);
    if (region_.contains(chrom, record->pos + 1)) return true;
  }
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
