// A progress line on standard output every `every` items of a long input, so a
// user watching a conversion of a whole chromosome sees it advance. A command
// that draws its own display (phase) takes every tick through a listener
// instead, and no line is printed.
#pragma once

#include <cstdint>

// Gets every item counted: how many so far, and where the input is.
using ProgressListener = void (*)(std::uint64_t count, const char* chrom, std::int64_t position,
                                  void* context);

class Progress {
 public:
  // While a listener is set, every Progress of the process reports to it.
  // Returns the previous one; nullptr restores the printed lines.
  static ProgressListener setListener(ProgressListener next, void* context);

  // `items` names what is counted, e.g. "alignments".
  Progress(const char* items, std::uint64_t every) : items_(items), every_(every) {}
  // Counts one item; prints "  N items read, at CHR:POS" when N is a multiple
  // of `every` (with a listener set: hands the item to it).
  void tick(const char* chrom, std::int64_t position);
  std::uint64_t count() const { return count_; }

 private:
  const char* items_;
  std::uint64_t every_;
  std::uint64_t count_ = 0;
};
