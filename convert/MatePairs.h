// The mates of read pairs waiting for their partner, joined by read name:
// the first primary mate of a pair is held until the second comes, whether
// the file is sorted by coordinate, by name or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ReadLines.h"

// What one read, or one pair so far, shows.
struct FragmentCalls {
  std::vector<SnpCall> calls;
  bool anyKept = false;  // at least one of its alignments passed the filters
};

// Which end of its pair an alignment reads (flags 0x40 and 0x80); unknown
// when neither or both are set.
enum class MateEnd { kUnknown, kFirst, kLast };

MateEnd mateEndOf(unsigned flag);

// What takeMate found held under a name.
enum class MateMatch {
  kNone,     // nothing
  kJoined,   // the partner: its calls were added
  kSameEnd,  // a mate of the same end: the new one repeats it and joins nothing
};

class MatePairs {
 public:
  // Holds the calls of a mate until its partner of the same name comes;
  // `read` is left empty.
  void hold(const char* name, MateEnd end, FragmentCalls& read);
  // When the partner of this name is held (the other end, or either when an
  // end is unknown): adds its calls to `read` and forgets it.
  MateMatch takeMate(const char* name, MateEnd end, FragmentCalls& read);
  // The mates whose partner never came, in the order they were held; all are
  // forgotten.
  std::vector<FragmentCalls> takeLeftovers();
  std::size_t size() const { return held_.size(); }

 private:
  struct Held {
    std::uint64_t order;
    MateEnd end;
    FragmentCalls read;
  };
  std::unordered_map<std::string, Held> held_;
  std::uint64_t nextOrder_ = 0;
};
