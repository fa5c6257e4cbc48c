#include "MatePairs.h"

#include <gtest/gtest.h>

namespace {

ReadCalls readWith(std::uint32_t snp, char allele, bool kept = true) {
  ReadCalls read;
  read.calls.push_back({snp, allele});
  read.anyKept = kept;
  return read;
}

TEST(MatePairs, JoinsMatesByNameAndForgetsThem) {
  MatePairs pairs;
  ReadCalls first = readWith(3, 'A');
  pairs.hold("r1", first);
  EXPECT_TRUE(first.calls.empty());
  ReadCalls other = readWith(1, 'C', false);
  pairs.hold("r2", other);
  EXPECT_EQ(pairs.size(), 2u);

  ReadCalls second = readWith(7, 'G', false);
  ASSERT_TRUE(pairs.takeMate("r1", second));
  ASSERT_EQ(second.calls.size(), 2u);
  EXPECT_EQ(second.calls[1].snp, 3u);
  EXPECT_TRUE(second.anyKept);  // the held mate passed the filters
  EXPECT_FALSE(pairs.takeMate("r1", second));
  EXPECT_FALSE(pairs.takeMate("unknown", second));
  EXPECT_EQ(pairs.size(), 1u);
}

TEST(MatePairs, LeftoversComeInTheOrderTheyWereHeld) {
  MatePairs pairs;
  const char* names[] = {"q", "c", "x", "a", "m"};
  for (std::uint32_t i = 0; i < 5; ++i) {
    ReadCalls read = readWith(i, 'T');
    pairs.hold(names[i], read);
  }
  ReadCalls taken;
  ASSERT_TRUE(pairs.takeMate("x", taken));
  const std::vector<ReadCalls> leftovers = pairs.takeLeftovers();
  ASSERT_EQ(leftovers.size(), 4u);
  const std::uint32_t expected[] = {0, 1, 3, 4};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(leftovers[i].calls[0].snp, expected[i]);
  EXPECT_EQ(pairs.size(), 0u);
}

}  // namespace
