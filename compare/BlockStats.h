// Size and reach of the blocks that reads connect, counted over the SNPs that
// carry phase: the truly heterozygous ones.
#pragma once

#include <vector>

#include "PhaseFile.h"

class Parameter;

struct BlockStats {
  unsigned int blocks = 0;       // blocks holding at least two truly heterozygous SNPs
  unsigned int hetInBlocks = 0;  // truly heterozygous SNPs in those blocks
  unsigned int largest = 0;      // most truly heterozygous SNPs in one block
  // N50 of the block spans: the span, from a block's first to its last
  // heterozygous SNP, such that blocks at least that long hold half the total
  // span. In SNPs of the map (first and last counted), and in the map's
  // coordinate units when coordinates were given.
  unsigned int n50Snps = 0;
  bool hasCoordinates = false;
  double n50Coordinates = 0.0;
};

// `blockOf` gives the block number (below the SNP count) of every SNP of
// `truth`; `map`, when not null, gives the coordinates of the same SNPs.
BlockStats summariseBlocks(const std::vector<unsigned int>& blockOf,
                           const std::vector<PhasedGenotype>& truth, const Parameter* map);

// N50 of a list of lengths: the largest length L such that the lengths of at
// least L sum to half the total or more; 0 for an empty list.
unsigned int n50(std::vector<unsigned int> lengths);
double n50(std::vector<double> lengths);
