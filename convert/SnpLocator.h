// The map's SNPs grouped by chromosome and sorted by position, so that an
// alignment finds the SNPs it covers by one binary search.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "SnpMap.h"

struct TrackedSnp {
  std::uint32_t position0;  // 0-based bp, as htslib counts
  std::uint32_t snp;        // SNP number in the map, from 0
  char major;               // the map's characters
  char minor;
};

// The SNPs of one chromosome, ascending by position.
using SnpTrack = std::vector<TrackedSnp>;

class SnpLocator {
 public:
  explicit SnpLocator(const SnpMap& map);
  // nullptr when the map has no SNP on that chromosome.
  const SnpTrack* find(const std::string& chrom) const;
  // The map's chromosomes in the order they first appear.
  const std::vector<std::string>& chromosomes() const { return chromosomes_; }

 private:
  std::map<std::string, SnpTrack> tracks_;
  std::vector<std::string> chromosomes_;
};
