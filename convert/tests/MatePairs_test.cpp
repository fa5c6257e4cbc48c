#include "MatePairs.h"

#include <gtest/gtest.h>

namespace {

FragmentCalls readWith(std::uint32_t snp, char allele, bool kept = true) {
  FragmentCalls read;
  read.calls.push_back({snp, allele});
  read.anyKept = kept;
  return read;
}

TEST(MatePairs, JoinsMatesByNameAndForgetsThem) {
  MatePairs pairs;
  FragmentCalls first = readWith(3, 'A');
  pairs.hold("r1", MateEnd::kFirst, first);
  EXPECT_TRUE(first.calls.empty());
  FragmentCalls other = readWith(1, 'C', false);
  pairs.hold("r2", MateEnd::kFirst, other);
  EXPECT_EQ(pairs.size(), 2u);

  FragmentCalls second = readWith(7, 'G', false);
  ASSERT_EQ(pairs.takeMate("r1", MateEnd::kLast, second), MateMatch::kJoined);
  ASSERT_EQ(second.calls.size(), 2u);
  EXPECT_EQ(second.calls[1].snp, 3u);
  EXPECT_TRUE(second.anyKept);  // the held mate passed the filters
  EXPECT_EQ(pairs.takeMate("r1", MateEnd::kLast, second), MateMatch::kNone);
  EXPECT_EQ(pairs.takeMate("unknown", MateEnd::kLast, second), MateMatch::kNone);
  EXPECT_EQ(pairs.size(), 1u);
}

TEST(MatePairs, LeftoversComeInTheOrderTheyWereHeld) {
  MatePairs pairs;
  const char* names[] = {"q", "c", "x", "a", "m"};
  for (std::uint32_t i = 0; i < 5; ++i) {
    FragmentCalls read = readWith(i, 'T');
    pairs.hold(names[i], MateEnd::kUnknown, read);
  }
  FragmentCalls taken;
  ASSERT_EQ(pairs.takeMate("x", MateEnd::kLast, taken), MateMatch::kJoined);
  const std::vector<FragmentCalls> leftovers = pairs.takeLeftovers();
  ASSERT_EQ(leftovers.size(), 4u);
  const std::uint32_t expected[] = {0, 1, 3, 4};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(leftovers[i].calls[0].snp, expected[i]);
  EXPECT_EQ(pairs.size(), 0u);
}

// Two first-in-pair records of one name are no pair: the second joins
// nothing, and the held one still waits for its real mate.
TEST(MatePairs, JoinsOnlyOppositeEnds) {
  MatePairs pairs;
  FragmentCalls first = readWith(2, 'A');
  pairs.hold("r", MateEnd::kFirst, first);
  FragmentCalls again = readWith(5, 'C');
  EXPECT_EQ(pairs.takeMate("r", MateEnd::kFirst, again), MateMatch::kSameEnd);
  ASSERT_EQ(again.calls.size(), 1u);
  FragmentCalls last = readWith(4, 'G');
  EXPECT_EQ(pairs.takeMate("r", MateEnd::kLast, last), MateMatch::kJoined);
  ASSERT_EQ(last.calls.size(), 2u);
  EXPECT_EQ(last.calls[1].snp, 2u);
  EXPECT_EQ(mateEndOf(0x41), MateEnd::kFirst);
  EXPECT_EQ(mateEndOf(0x81), MateEnd::kLast);
  EXPECT_EQ(mateEndOf(0xC1), MateEnd::kUnknown);
}

}  // namespace
