// Writing a VCF under its final name only when it is complete: the records
// go to NAME.part, the index is built, then the file is renamed, so a run
// that ends early (or a workflow engine that kills it) never leaves a file
// that looks finished.
#pragma once

#include <string>

// How a name is written: NAME.gz bgzipped with a .tbi index, NAME.bcf as BCF
// with a .csi index, any other name as plain text without an index.
struct VcfOutputKind {
  const char* mode;       // hts_open mode
  int indexShift;         // bcf_index_build3: 0 a .tbi, 14 a .csi; -1 no index
  const char* indexSuffix;  // ".tbi", ".csi" or ""
};
VcfOutputKind vcfOutputKind(const std::string& path);

// NAME.part while it is written; removed when the run ends before keep().
class VcfPartFile {
 public:
  explicit VcfPartFile(std::string path);
  ~VcfPartFile();
  VcfPartFile(const VcfPartFile&) = delete;
  VcfPartFile& operator=(const VcfPartFile&) = delete;
  // The name to write to (NAME.part) and the htslib mode for NAME.
  const std::string& partPath() const { return partPath_; }
  const char* mode() const { return vcfOutputKind(path_).mode; }
  // After the file is closed: builds its index under NAME's index name and
  // renames NAME.part to NAME. A failure ends the run naming the file.
  void keep();

 private:
  std::string path_;
  std::string partPath_;
  bool kept_ = false;
};
