#include "Progress.h"

#include <cinttypes>
#include <cstdio>

namespace {
ProgressListener listener = nullptr;
void* listenerContext = nullptr;
}  // namespace

ProgressListener Progress::setListener(ProgressListener next, void* context) {
  const ProgressListener previous = listener;
  listener = next;
  listenerContext = context;
  return previous;
}

void Progress::tick(const char* chrom, std::int64_t position) {
  ++count_;
  if (listener != nullptr) {
    listener(count_, chrom, position, listenerContext);
    return;
  }
  if (every_ == 0 || count_ % every_ != 0) return;
  std::printf("  %" PRIu64 " %s read, at %s:%" PRId64 "\n", count_, items_, chrom, position);
  std::fflush(stdout);
}
