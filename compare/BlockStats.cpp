#include "BlockStats.h"

#include <algorithm>
#include <functional>
#include <type_traits>

#include "Parameter.h"

namespace {

// The heterozygous SNPs of one block: how many, the first and last, and the
// lowest and highest coordinate (a map need not list its SNPs in coordinate
// order, so the reach of a block is the distance between its outermost SNPs).
struct BlockExtent {
  unsigned int het = 0;
  unsigned int first = 0;
  unsigned int last = 0;
  double low = 0.0;
  double high = 0.0;
};

void addSnp(BlockExtent& extent, unsigned int snp, double coordinate) {
  if (extent.het == 0) {
    extent.first = snp;
    extent.low = coordinate;
    extent.high = coordinate;
  }
  extent.last = snp;
  extent.low = std::min(extent.low, coordinate);
  extent.high = std::max(extent.high, coordinate);
  ++extent.het;
}

template <typename Length>
Length n50Of(std::vector<Length>& lengths) {
  // Overlapping blocks can make the total exceed the range of one length.
  using Total =
      typename std::conditional<std::is_integral<Length>::value, unsigned long long, double>::type;
  std::sort(lengths.begin(), lengths.end(), std::greater<Length>());
  Total total = 0;
  for (Length length : lengths) total += length;
  Total sum = 0;
  for (Length length : lengths) {
    sum += length;
    if (2 * sum >= total) return length;
  }
  return 0;
}

}  // namespace

unsigned int n50(std::vector<unsigned int> lengths) {
  return n50Of(lengths);
}

double n50(std::vector<double> lengths) {
  return n50Of(lengths);
}

BlockStats summariseBlocks(const std::vector<unsigned int>& blockOf,
                           const std::vector<PhasedGenotype>& truth, const Parameter* map) {
  std::vector<BlockExtent> extents(truth.size());
  for (unsigned int k = 0; k < truth.size(); ++k) {
    if (!truth[k].isHeterozygous()) continue;
    addSnp(extents[blockOf[k]], k, map ? map->getSnpPos(k) : 0.0);
  }
  BlockStats stats;
  stats.hasCoordinates = map != nullptr;
  std::vector<unsigned int> snpSpans;
  std::vector<double> coordinateSpans;
  for (const BlockExtent& extent : extents) {
    if (extent.het < 2) continue;
    ++stats.blocks;
    stats.hetInBlocks += extent.het;
    stats.largest = std::max(stats.largest, extent.het);
    snpSpans.push_back(extent.last - extent.first + 1);
    coordinateSpans.push_back(extent.high - extent.low);
  }
  stats.n50Snps = n50(snpSpans);
  stats.n50Coordinates = n50(coordinateSpans);
  return stats;
}
