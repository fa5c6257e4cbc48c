#include "VcfOutput.h"

#include <htslib/vcf.h>

#include <cstdio>
#include <utility>

#include "Messages.h"
#include "OutputFile.h"

namespace {
bool endsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

VcfOutputKind vcfOutputKind(const std::string& path) {
  if (endsWith(path, ".gz")) return {"wz", 0, ".tbi"};
  if (endsWith(path, ".bcf")) return {"wb", 14, ".csi"};
  return {"w", -1, ""};
}

VcfPartFile::VcfPartFile(std::string path) : path_(std::move(path)), partPath_(path_ + ".part") {}

VcfPartFile::~VcfPartFile() {
  if (!kept_) std::remove(partPath_.c_str());
}

void VcfPartFile::keep() {
  const VcfOutputKind kind = vcfOutputKind(path_);
  if (kind.indexShift >= 0) {
    const std::string index = path_ + kind.indexSuffix;
    if (bcf_index_build3(partPath_.c_str(), index.c_str(), kind.indexShift, 0) != 0) {
      std::remove(index.c_str());
      convertFatal("cannot build the index of %s", path_.c_str());
    }
  }
  renamePartFile(partPath_, path_);
  kept_ = true;
}
