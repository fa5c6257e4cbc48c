// Joining phased windows. A window's phase is known up to the order of its
// two haplotypes: within each of its blocks (the SNPs one phase set holds; a
// window phased with a panel is usually one block) the order is arbitrary.
// Consecutive windows share SNPs, and the heterozygous SNPs phased in both
// say whether the next window's block keeps its order or swaps it to agree
// with the blocks already joined. Blocks whose relation no SNP decides (an
// empty overlap, or as many SNPs for one order as for the other) are never
// guessed: they stay apart and start their own phase set.
#pragma once

#include <cstdint>
#include <vector>

// Blocks joined into phase sets, each with its haplotype order relative to
// its set's first block (which keeps its own). Blocks are numbered from 0 in
// the order they are added; a set's first block is its smallest number.
class LigatedBlocks {
 public:
  std::uint32_t addBlock();
  std::uint32_t size() const { return static_cast<std::uint32_t>(parent_.size()); }
  // The set's first block.
  std::uint32_t root(std::uint32_t block) const;
  // True when the block's haplotypes are swapped relative to its set's first
  // block.
  bool swapped(std::uint32_t block) const;
  // Puts a and b in one set, b swapped relative to a when `swapped`. False,
  // and nothing changes, when they already share a set with the other
  // relation.
  bool join(std::uint32_t a, std::uint32_t b, bool swapped);
  // Records that the block has a phased heterozygous SNP at this position in
  // the joined result; a set's phase set is its smallest such position.
  void notePosition(std::uint32_t block, std::int64_t position);
  // The phase set (PS) of the block's set: its first noted position, 0 when
  // none was noted.
  std::int64_t phaseSet(std::uint32_t block) const;

 private:
  std::vector<std::uint32_t> parent_;     // one per block; a root is its own parent
  std::vector<std::uint8_t> flip_;        // one per block: swapped relative to its parent
  std::vector<std::int64_t> firstPosition_;  // valid at roots; 0: none noted yet
};

// A heterozygous SNP phased in both of two consecutive windows.
struct OverlapSite {
  std::uint32_t previousBlock;  // its block in the earlier window
  std::uint32_t nextBlock;      // its block in the later window
  bool sameOrder;               // both windows give it the same haplotype order
};

// What joining one window to the previous found.
struct JoinReport {
  std::uint64_t sites = 0;     // heterozygous SNPs phased in both windows
  std::uint64_t agreeing = 0;  // of those, SNPs whose order agrees after the join
  std::uint64_t ties = 0;      // block pairs with as many SNPs for each order: left apart
  std::uint64_t conflicts = 0; // block pairs outvoted by a stronger pair joining the same sets
  bool swapped = false;        // the later window's block with most sites was swapped
};

// True when the site's two windows give it the same order after the join.
bool agreesAfterJoin(const OverlapSite& site, const LigatedBlocks& blocks);

// Where the later window takes over, as an index into `sites` (in position
// order): the middle of the longest run of consecutive sites that agree after
// the join, so that a switch inside the overlap of one window is left out
// when the other window disagrees with it and the hand-over itself falls
// between agreeing SNPs. sites.size() when no site agrees.
std::size_t handOverSite(const std::vector<OverlapSite>& sites, const LigatedBlocks& blocks);

// Joins the later window's blocks to the earlier window's through the shared
// SNPs: for each pair of blocks the order most SNPs support, stronger pairs
// (larger margin) first. `sites` empty: nothing is joined (an empty overlap).
JoinReport joinWindows(const std::vector<OverlapSite>& sites, LigatedBlocks& blocks);
