#include "PhaseSets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "SnpMap.h"

namespace {

// A plain reference: group labels relabelled by flooding after every link.
class FloodGroups {
 public:
  explicit FloodGroups(std::size_t n) : label_(n) {
    for (std::size_t k = 0; k < n; ++k) label_[k] = k;
  }
  void link(std::size_t a, std::size_t b) {
    const std::size_t from = label_[b];
    const std::size_t to = label_[a];
    for (std::size_t& label : label_) {
      if (label == from) label = to;
    }
  }
  std::size_t smallestMember(std::size_t k) const {
    for (std::size_t j = 0; j < label_.size(); ++j) {
      if (label_[j] == label_[k]) return j;
    }
    return k;
  }
  std::size_t size(std::size_t k) const {
    std::size_t n = 0;
    for (std::size_t label : label_) n += label == label_[k];
    return n;
  }

 private:
  std::vector<std::size_t> label_;
};

TEST(PhaseSets, AgreeWithAPlainReferenceOnRandomLinks) {
  std::srand(5);
  for (int trial = 0; trial < 40; ++trial) {
    const std::size_t n = 1 + std::rand() % 60;
    PhaseSets sets(n);
    FloodGroups reference(n);
    const int links = std::rand() % 50;
    for (int i = 0; i < links; ++i) {
      const std::uint32_t a = static_cast<std::uint32_t>(std::rand() % n);
      const std::uint32_t b = static_cast<std::uint32_t>(std::rand() % n);
      sets.link(a, b);
      reference.link(a, b);
    }
    for (std::uint32_t k = 0; k < n; ++k) {
      EXPECT_EQ(sets.firstOfGroup(k), reference.smallestMember(k));
      EXPECT_EQ(sets.isLinked(k), reference.size(k) > 1);
    }
  }
}

SnpMap twoChromosomeMap() {
  std::istringstream text(
      "20 a 10 10 A G\n20 b 20 20 C T\n20 c 30 30 G A\n21 d 5 5 T C\n21 e 9 9 A C\n");
  return readSnpMap(text, "test.map");
}

TEST(PhaseSets, OnlyShownAllelesAtHeterozygousSnpsOfOneChromosomeLink) {
  const SnpMap map = twoChromosomeMap();
  const std::vector<bool> heterozygous = {true, true, true, true, true};
  struct Case {
    const char* reads;
    std::vector<bool> linked;
  };
  const Case cases[] = {
      {"1 A-G\n", {true, false, true, false, false}},   // '-' shows nothing, the run still links
      {"1 AN\n", {false, false, false, false, false}},  // N is neither allele of SNP 2
      {"3 GT\n", {false, false, false, false, false}},  // SNPs 3 and 4 lie on two chromosomes
      {"3 G 5 A\n", {false, false, false, false, false}},
      {"4 TA\n", {false, false, false, true, true}},
      {"1 a\n2 C 3 A\n", {false, true, true, false, false}},  // case counts, as in velta
  };
  for (const Case& c : cases) {
    PhaseSets sets(map.size());
    std::istringstream reads(c.reads);
    linkSnpsByReads(reads, "reads.txt", map, heterozygous, sets);
    for (std::uint32_t k = 0; k < map.size(); ++k) {
      EXPECT_EQ(sets.isLinked(k), c.linked[k]) << c.reads << " SNP " << k + 1;
    }
  }
  PhaseSets sets(map.size());
  std::istringstream reads("1 ACG\n");
  linkSnpsByReads(reads, "reads.txt", map, {true, false, true, true, true}, sets);
  EXPECT_TRUE(sets.isLinked(0));  // a homozygous SNP between them does not break the link
  EXPECT_EQ(sets.firstOfGroup(2), 0u);
}

}  // namespace
