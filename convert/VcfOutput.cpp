#include "VcfOutput.h"

#include <htslib/vcf.h>

#include <cstdio>

#include "Messages.h"

namespace {
bool endsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

VcfOutputKind vcfOutputKind(const std::string& path) {
  if (endsWith(path, ".gz")) return {"wz", 0};
  if (endsWith(path, ".bcf")) return {"wb", 14};
  return {"w", -1};
}

void buildVcfIndex(OutputFile& out, const VcfOutputKind& kind) {
  if (kind.indexShift < 0) return;
  if (out.inPlace()) {
    std::printf("  %s is not a regular file: no index written\n", out.path().c_str());
    return;
  }
  const std::string& index = out.addIndex(kind.indexShift == 0 ? ".tbi" : ".csi");
  if (bcf_index_build3(out.writePath().c_str(), index.c_str(), kind.indexShift, 0) != 0) {
    convertFatal("cannot build the index %s of %s", index.c_str(), out.path().c_str());
  }
}
