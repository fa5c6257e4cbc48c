// Owning handles for htslib objects: every object is released on every path,
// including a fatal end that a test harness turns into an exception.
#pragma once

#include <htslib/hts.h>
#include <htslib/sam.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <memory>
#include <string>

struct HtsDeleter {
  void operator()(htsFile* file) const { hts_close(file); }
  void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
  void operator()(bcf1_t* record) const { bcf_destroy(record); }
  void operator()(sam_hdr_t* header) const { sam_hdr_destroy(header); }
  void operator()(bam1_t* record) const { bam_destroy1(record); }
  void operator()(hts_idx_t* index) const { hts_idx_destroy(index); }
  void operator()(hts_itr_t* iterator) const { hts_itr_destroy(iterator); }
  void operator()(tbx_t* index) const { tbx_destroy(index); }
};

using HtsFilePtr = std::unique_ptr<htsFile, HtsDeleter>;
using BcfHeaderPtr = std::unique_ptr<bcf_hdr_t, HtsDeleter>;
using BcfRecordPtr = std::unique_ptr<bcf1_t, HtsDeleter>;
using SamHeaderPtr = std::unique_ptr<sam_hdr_t, HtsDeleter>;
using BamRecordPtr = std::unique_ptr<bam1_t, HtsDeleter>;
using HtsIndexPtr = std::unique_ptr<hts_idx_t, HtsDeleter>;
using HtsIteratorPtr = std::unique_ptr<hts_itr_t, HtsDeleter>;
using TabixPtr = std::unique_ptr<tbx_t, HtsDeleter>;

// Opens an input of any format htslib reads (SAM/BAM/CRAM, VCF/BCF, plain or
// compressed). A file that cannot be opened ends the run naming it and `what`
// it was meant to be (e.g. "panel VCF"), as does a bgzipped file or CRAM that
// lacks its end-of-file block (cut short).
HtsFilePtr openHtsInput(const std::string& path, const char* what);

// A growable text buffer of htslib's, freed on every path.
class KString {
 public:
  KString() = default;
  ~KString() { ks_free(&text_); }
  KString(const KString&) = delete;
  KString& operator=(const KString&) = delete;
  kstring_t* get() { return &text_; }
  const char* c_str() const { return text_.s ? text_.s : ""; }

 private:
  kstring_t text_ = KS_INITIALIZE;
};
