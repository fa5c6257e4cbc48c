// Reading the records of a VCF or BCF file (plain, gzipped or bgzipped),
// optionally restricted to a region: through the file's index when it has
// one, otherwise by reading it whole and skipping records outside the region.
#pragma once

#include <cstdint>
#include <string>

#include "HtsHandles.h"
#include "Progress.h"
#include "Region.h"

class VcfInput {
 public:
  // Opens the file and reads its header; `region` may be empty (everything).
  // `what` names the file's role in messages ("panel VCF").
  VcfInput(const std::string& path, const std::string& region, const char* what);

  bcf_hdr_t* header() const { return header_.get(); }
  const std::string& path() const { return path_; }
  const Region& region() const { return region_; }

  // Reads the next record inside the region into `record`, unpacked up to
  // its alleles and ID. False at the end; a read or parse error ends the run
  // naming the file and the last good record, as does a region whose
  // chromosome no record lies on.
  bool next(bcf1_t* record);
  // The record next() returns next, read ahead (nullptr at the end); it stays
  // valid until next() or dropPeeked().
  const bcf1_t* peek();
  // Passes over the record peek() returned.
  void dropPeeked() { hasPending_ = false; }

  // "20:2000021 (rs73062450)", or "20:2000021" when the record has no ID.
  std::string describe(const bcf1_t* record) const;

 private:
  int readRecord(bcf1_t* record);
  bool readNext(bcf1_t* record);
  void checkRegionContig(const char* what) const;
  void openRegion();
  void checkParseProblems(int errcode);
  void checkRegionSeen() const;
  [[noreturn]] void failAfterLastRecord(const char* problem) const;

  std::string path_;
  Region region_;
  HtsFilePtr file_;
  BcfHeaderPtr header_;
  HtsIndexPtr bcfIndex_;  // set when reading a BCF region through its index
  TabixPtr tabix_;        // set when reading a VCF region through its index
  HtsIteratorPtr iterator_;
  KString text_;          // one VCF line read through the tabix index
  BcfRecordPtr pending_;  // the record read ahead by peek()
  bool hasPending_ = false;
  Progress progress_;
  std::string lastRecord_;  // description of the last record read, for messages
  bool warnedUndeclared_ = false;
  bool regionChromSeen_ = false;  // a record lay on the region's chromosome
};
