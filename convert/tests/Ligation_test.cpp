#include "Ligation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// A plain reference: every block carries a set label and an order; a join
// relabels and reorders the whole later set by scanning all blocks.
class PlainBlocks {
 public:
  void add() {
    label_.push_back(label_.size());
    swap_.push_back(false);
  }
  bool join(std::size_t a, std::size_t b, bool swapped) {
    const bool needed = swap_[a] != swapped;  // b's order in a's set
    if (label_[a] == label_[b]) return swap_[b] == needed;
    const std::size_t from = std::max(label_[a], label_[b]);
    const std::size_t to = std::min(label_[a], label_[b]);
    const bool flip = swap_[b] != needed;
    for (std::size_t k = 0; k < label_.size(); ++k) {
      if (label_[k] != from) continue;
      label_[k] = to;
      swap_[k] = swap_[k] != flip;
    }
    // The set keeps its first block's order.
    if (swap_[to]) {
      for (std::size_t k = 0; k < label_.size(); ++k) {
        if (label_[k] == to) swap_[k] = !swap_[k];
      }
    }
    return true;
  }
  std::size_t label(std::size_t k) const { return label_[k]; }
  bool swapped(std::size_t k) const { return swap_[k]; }

 private:
  std::vector<std::size_t> label_;
  std::vector<bool> swap_;
};

TEST(Ligation, BlocksAgreeWithAPlainReferenceOnRandomJoins) {
  std::srand(11);
  for (int trial = 0; trial < 60; ++trial) {
    LigatedBlocks blocks;
    PlainBlocks plain;
    const std::uint32_t n = 1 + std::rand() % 30;
    for (std::uint32_t k = 0; k < n; ++k) {
      EXPECT_EQ(blocks.addBlock(), k);
      plain.add();
    }
    for (int i = std::rand() % 40; i > 0; --i) {
      const std::uint32_t a = std::rand() % n;
      const std::uint32_t b = std::rand() % n;
      const bool swapped = std::rand() % 2 == 1;
      ASSERT_EQ(blocks.join(a, b, swapped), plain.join(a, b, swapped));
    }
    for (std::uint32_t k = 0; k < n; ++k) {
      EXPECT_EQ(blocks.root(k), plain.label(k));
      EXPECT_EQ(blocks.swapped(k), plain.swapped(k));
    }
  }
}

TEST(Ligation, PhaseSetIsTheFirstNotedPositionOfTheJoinedSet) {
  LigatedBlocks blocks;
  for (int k = 0; k < 3; ++k) blocks.addBlock();
  blocks.notePosition(1, 500);
  blocks.notePosition(0, 900);
  blocks.notePosition(0, 700);
  EXPECT_EQ(blocks.phaseSet(0), 700);
  EXPECT_EQ(blocks.phaseSet(2), 0);
  blocks.join(0, 1, true);
  EXPECT_EQ(blocks.phaseSet(0), 500);
  EXPECT_EQ(blocks.phaseSet(1), 500);
  blocks.join(2, 1, false);
  blocks.notePosition(2, 100);
  EXPECT_EQ(blocks.phaseSet(0), 100);
}

std::vector<OverlapSite> sites(std::uint32_t previous, std::uint32_t next, int same, int opposite) {
  std::vector<OverlapSite> result;
  for (int i = 0; i < same; ++i) result.push_back({previous, next, true});
  for (int i = 0; i < opposite; ++i) result.push_back({previous, next, false});
  return result;
}

TEST(Ligation, TheMajorityOfSharedSnpsChoosesTheOrder) {
  struct Case {
    int same, opposite;
    bool joined, swapped;
    std::uint64_t agreeing, ties;
  };
  const Case cases[] = {{9, 1, true, false, 9, 0},
                        {1, 9, true, true, 9, 0},
                        {5, 5, false, false, 0, 1},
                        {0, 0, false, false, 0, 0}};
  for (const Case& c : cases) {
    LigatedBlocks blocks;
    blocks.addBlock();
    blocks.addBlock();
    const JoinReport report = joinWindows(sites(0, 1, c.same, c.opposite), blocks);
    EXPECT_EQ(blocks.root(1) == 0, c.joined) << c.same << " same, " << c.opposite << " opposite";
    EXPECT_EQ(report.swapped, c.swapped);
    EXPECT_EQ(report.agreeing, c.agreeing);
    EXPECT_EQ(report.ties, c.ties);
    EXPECT_EQ(report.sites, static_cast<std::uint64_t>(c.same + c.opposite));
  }
}

// The later window's block bridges two earlier blocks that nothing joined:
// they join through it, the later one oriented by the stronger pair, and an
// earlier block already swapped turns the vote around.
TEST(Ligation, BlocksOfTheEarlierWindowJoinThroughTheLaterOne) {
  LigatedBlocks blocks;
  for (int k = 0; k < 4; ++k) blocks.addBlock();
  blocks.join(0, 1, true);  // block 1 swapped within its set
  std::vector<OverlapSite> overlap = sites(1, 3, 6, 0);   // 3 keeps 1's raw order
  const std::vector<OverlapSite> weak = sites(2, 3, 0, 2);  // 3 swapped against 2
  overlap.insert(overlap.end(), weak.begin(), weak.end());
  const JoinReport report = joinWindows(overlap, blocks);
  EXPECT_EQ(blocks.root(3), 0u);
  EXPECT_TRUE(blocks.swapped(3));
  EXPECT_EQ(blocks.root(2), 0u);
  EXPECT_FALSE(blocks.swapped(2));
  EXPECT_EQ(report.agreeing, 8u);
  EXPECT_EQ(report.conflicts, 0u);

  // Votes of one earlier set are pooled; across sets, a weaker pair that
  // contradicts the joins the stronger ones made is outvoted, not obeyed.
  LigatedBlocks again;
  for (int k = 0; k < 4; ++k) again.addBlock();
  std::vector<OverlapSite> crossed;
  for (const std::vector<OverlapSite>& part :
       {sites(0, 2, 5, 0), sites(1, 2, 4, 0), sites(0, 3, 3, 0), sites(1, 3, 0, 2)}) {
    crossed.insert(crossed.end(), part.begin(), part.end());
  }
  const JoinReport outvoted = joinWindows(crossed, again);
  EXPECT_EQ(outvoted.conflicts, 1u);
  EXPECT_FALSE(again.swapped(3));
  EXPECT_EQ(again.root(3), 0u);
  EXPECT_EQ(outvoted.agreeing, 12u);
}

// The later window takes over in the middle of the longest agreeing run, not
// inside a stretch where one window has switched.
TEST(Ligation, HandOverFallsInTheLongestAgreeingRun) {
  LigatedBlocks blocks;
  blocks.addBlock();
  blocks.addBlock();
  std::vector<OverlapSite> overlap;
  for (bool same : {true, false, false, true, true, true, true, false}) {
    overlap.push_back({0, 1, same});
  }
  EXPECT_EQ(handOverSite(overlap, blocks), overlap.size()) << "nothing joined yet";
  joinWindows(overlap, blocks);
  EXPECT_EQ(handOverSite(overlap, blocks), 5u);
  EXPECT_EQ(handOverSite({}, blocks), 0u);
}

}  // namespace
