// How a VCF output is written, chosen by its name: NAME.gz bgzipped with a
// .tbi index, NAME.bcf as BCF with a .csi index, any other name plain text
// without an index.
#pragma once

#include <string>

#include "OutputFile.h"

struct VcfOutputKind {
  const char* mode;  // hts_open mode
  int indexShift;    // bcf_index_build3: 0 a .tbi, 14 a .csi; -1 no index
};
VcfOutputKind vcfOutputKind(const std::string& path);

// Builds the index of the finished data beside them (before out.commit()),
// unless the kind has none or the data went to a device or a pipe that cannot
// be read back. A failure ends the run naming the index.
void buildVcfIndex(OutputFile& out, const VcfOutputKind& kind);
