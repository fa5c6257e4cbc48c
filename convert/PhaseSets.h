// Groups of heterozygous SNPs that reads connect: two SNPs are in one group
// when a chain of reads, each showing an allele at two of them, joins them.
// Only such SNPs have a phase that the reads support.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "SnpMap.h"

class PhaseSets {
 public:
  explicit PhaseSets(std::size_t snps);
  // Puts SNPs a and b (from 0) in one group.
  void link(std::uint32_t a, std::uint32_t b);
  // The smallest SNP number of the SNP's group.
  std::uint32_t firstOfGroup(std::uint32_t snp);
  // True when the SNP's group holds another SNP.
  bool isLinked(std::uint32_t snp);

 private:
  std::uint32_t root(std::uint32_t snp);
  std::vector<std::uint32_t> parent_;  // one per SNP; a root is its group's smallest SNP
  std::vector<std::uint32_t> size_;    // group size, valid at roots
};

// Reads a velta read file and, on each line, links consecutive SNPs among
// those that are heterozygous (heterozygous[k]) and that the line shows an
// allele at (the map's major or minor character of the SNP), on one
// chromosome. A line that is not pairs of a SNP number (from 1) and a run,
// or that reaches beyond the map, ends the run naming the file and line.
void linkSnpsByReads(std::istream& in, const std::string& path, const SnpMap& map,
                     const std::vector<bool>& heterozygous, PhaseSets& sets);
