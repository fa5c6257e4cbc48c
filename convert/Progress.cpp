#include "Progress.h"

#include <cinttypes>
#include <cstdio>

void Progress::tick(const char* chrom, std::int64_t position) {
  ++count_;
  if (every_ == 0 || count_ % every_ != 0) return;
  std::printf("  %" PRIu64 " %s read, at %s:%" PRId64 "\n", count_, items_, chrom, position);
  std::fflush(stdout);
}
