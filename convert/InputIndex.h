// The index of an input (BAM .bai or .csi, CRAM .crai, bgzipped VCF .tbi or
// .csi, BCF .csi), found under the names htslib looks for. An index older than
// its data is not used: an index of another, earlier file points the reads at
// the wrong places and would lose records without a word.
#pragma once

#include <string>

#include "HtsHandles.h"

// The name of the input's index; "" when it has none, or when the one found is
// older than the data (a warning names both, and the caller reads the file
// whole, which gives the same records, only slower).
std::string freshIndexFile(const std::string& path, htsFile* file);
