#include "PhaseSets.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "SnpMap.h"

namespace {

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
      {"4 TAG\n", {false, false, false, true, true}},         // past the map: dropped, as in velta
      {"1 a\n2 C 3 A\n", {false, true, true, false, false}},  // case counts, as in velta
  };
  for (const Case& c : cases) {
    SnpLinks sets(map.size());
    std::istringstream reads(c.reads);
    linkSnpsByReads(reads, "reads.txt", map, heterozygous, sets);
    for (std::uint32_t k = 0; k < map.size(); ++k) {
      EXPECT_EQ(sets.isLinked(k), c.linked[k]) << c.reads << " SNP " << k + 1;
    }
  }
  SnpLinks sets(map.size());
  std::istringstream reads("1 ACG\n");
  linkSnpsByReads(reads, "reads.txt", map, {true, false, true, true, true}, sets);
  EXPECT_TRUE(sets.isLinked(0));  // a homozygous SNP between them does not break the link
  EXPECT_EQ(sets.firstOfBlock(2), 0u);
}

}  // namespace
