// A progress line on standard output every `every` items of a long input, so a
// user watching a conversion of a whole chromosome sees it advance.
#pragma once

#include <cstdint>

class Progress {
 public:
  // `items` names what is counted, e.g. "alignments".
  Progress(const char* items, std::uint64_t every) : items_(items), every_(every) {}
  // Counts one item; prints "  N items read, at CHR:POS" when N is a multiple
  // of `every`.
  void tick(const char* chrom, std::int64_t position);
  std::uint64_t count() const { return count_; }

 private:
  const char* items_;
  std::uint64_t every_;
  std::uint64_t count_ = 0;
};
