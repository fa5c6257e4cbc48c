#include "Ligation.h"

#include <algorithm>
#include <map>
#include <utility>

std::uint32_t LigatedBlocks::addBlock() {
  const std::uint32_t block = size();
  parent_.push_back(block);
  flip_.push_back(0);
  firstPosition_.push_back(0);
  return block;
}

std::uint32_t LigatedBlocks::root(std::uint32_t block) const {
  while (parent_[block] != block) block = parent_[block];
  return block;
}

bool LigatedBlocks::swapped(std::uint32_t block) const {
  bool flip = false;
  for (; parent_[block] != block; block = parent_[block]) flip ^= flip_[block] != 0;
  return flip;
}

bool LigatedBlocks::join(std::uint32_t a, std::uint32_t b, bool swapped) {
  const std::uint32_t rootA = root(a);
  const std::uint32_t rootB = root(b);
  // b's order relative to a is the path a -> rootA -> rootB -> b.
  const bool rootsSwapped = swapped != (this->swapped(a) != this->swapped(b));
  if (rootA == rootB) return !rootsSwapped;
  const std::uint32_t top = std::min(rootA, rootB);
  const std::uint32_t below = std::max(rootA, rootB);
  parent_[below] = top;
  flip_[below] = rootsSwapped ? 1 : 0;
  const std::int64_t first = firstPosition_[top];
  const std::int64_t other = firstPosition_[below];
  if (first == 0 || (other != 0 && other < first)) firstPosition_[top] = other;
  return true;
}

void LigatedBlocks::notePosition(std::uint32_t block, std::int64_t position) {
  std::int64_t& first = firstPosition_[root(block)];
  if (first == 0 || position < first) first = position;
}

std::int64_t LigatedBlocks::phaseSet(std::uint32_t block) const {
  return firstPosition_[root(block)];
}

namespace {

// SNPs for keeping the later block's order relative to the earlier block's
// set, and for swapping it.
struct Votes {
  std::uint64_t keep = 0;
  std::uint64_t swap = 0;
  std::uint64_t margin() const { return keep > swap ? keep - swap : swap - keep; }
};

}  // namespace

JoinReport joinWindows(const std::vector<OverlapSite>& sites, LigatedBlocks& blocks) {
  JoinReport report;
  report.sites = sites.size();
  std::map<std::pair<std::uint32_t, std::uint32_t>, Votes> pairs;
  std::map<std::uint32_t, std::uint64_t> sitesOfBlock;
  for (const OverlapSite& site : sites) {
    // Votes relative to the earlier block's set, whose blocks are joined already.
    const bool swap = !site.sameOrder != blocks.swapped(site.previousBlock);
    Votes& votes = pairs[{blocks.root(site.previousBlock), site.nextBlock}];
    (swap ? votes.swap : votes.keep) += 1;
    ++sitesOfBlock[site.nextBlock];
  }
  std::vector<std::pair<std::pair<std::uint32_t, std::uint32_t>, Votes>> ordered(pairs.begin(),
                                                                                 pairs.end());
  std::stable_sort(ordered.begin(), ordered.end(), [](const auto& x, const auto& y) {
    return x.second.margin() > y.second.margin();
  });
  for (const auto& [blocksPair, votes] : ordered) {
    if (votes.keep == votes.swap) {
      ++report.ties;
      continue;
    }
    if (!blocks.join(blocksPair.first, blocksPair.second, votes.swap > votes.keep)) {
      ++report.conflicts;
    }
  }
  for (const OverlapSite& site : sites) report.agreeing += agreesAfterJoin(site, blocks);
  std::uint32_t largest = 0;
  std::uint64_t most = 0;
  for (const auto& [block, count] : sitesOfBlock) {
    if (count > most) {
      most = count;
      largest = block;
    }
  }
  report.swapped = most > 0 && blocks.swapped(largest);
  return report;
}

bool agreesAfterJoin(const OverlapSite& site, const LigatedBlocks& blocks) {
  const bool swapped = blocks.swapped(site.previousBlock) != blocks.swapped(site.nextBlock);
  const bool joined = blocks.root(site.previousBlock) == blocks.root(site.nextBlock);
  return joined && swapped != site.sameOrder;
}

std::size_t handOverSite(const std::vector<OverlapSite>& sites, const LigatedBlocks& blocks) {
  std::size_t bestStart = 0;
  std::size_t bestLength = 0;
  std::size_t runStart = 0;
  for (std::size_t i = 0; i <= sites.size(); ++i) {
    if (i < sites.size() && agreesAfterJoin(sites[i], blocks)) continue;
    if (i - runStart > bestLength) {
      bestLength = i - runStart;
      bestStart = runStart;
    }
    runStart = i + 1;
  }
  return bestLength == 0 ? sites.size() : bestStart + bestLength / 2;
}
