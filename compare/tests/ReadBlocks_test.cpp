#include "ReadBlocks.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CompareTestSupport.h"
#include "Parameter.h"
#include "SnpLinks.h"
#include "TestSupport.h"

namespace {

using velta_test::fatalMessageOf;
using Snps = std::vector<unsigned int>;

// Blocks of `nSnp` SNPs (all A/G) under the reads, with what they printed.
Snps blocksOf(const std::string& reads, int nSnp, std::string* err = nullptr) {
  const Parameter map = velta_test::uniformMap(nSnp);
  std::istringstream in(reads);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Snps blocks = readBlocks(in, "reads.txt", map);
  testing::internal::GetCapturedStdout();
  const std::string printed = testing::internal::GetCapturedStderr();
  if (err != nullptr) *err = printed;
  return blocks;
}

TEST(ReadBlocks, ReadsLinkTheirSnpsAndChainsJoinBlocks) {
  // SNPs 1-2 by one read; 4 and 6 by a pair of runs; 3, 5 and 7 alone.
  EXPECT_EQ(blocksOf("1 AG\n3 G\n4 A 6 A\n", 7), (Snps{0, 0, 2, 3, 4, 3, 6}));
  // 1-3 and 3-5 share SNP 3, so 1, 3 and 5 form one block; 2 is a no-call.
  EXPECT_EQ(blocksOf("1 A-G\n3 G 5 G\n", 5), (Snps{0, 1, 0, 3, 0}));
  EXPECT_EQ(blocksOf("---\n\n \t-\n2 AG\n", 3), (Snps{0, 1, 1}));
}

// The blocks are velta's: a character that is neither allele of its SNP
// links nothing, and a call past the map is a warning, as in velta.
TEST(ReadBlocks, CallsVeltaDropsLinkNothing) {
  std::string err;
  EXPECT_EQ(blocksOf("1 AX\n", 3, &err), (Snps{0, 1, 2}));
  EXPECT_NE(err.find("Inconsistent allele X at position 2"), std::string::npos) << err;
  EXPECT_EQ(blocksOf("2 AGA\n", 3, &err), (Snps{0, 1, 1}));
  EXPECT_NE(err.find("Inconsistent allele A at position 4"), std::string::npos) << err;
}

TEST(ReadBlocks, NumberingIsTheFirstSnpWhateverTheLinkOrder) {
  SnpLinks forward(6), backward(6);
  forward.link(1, 3);
  forward.link(3, 5);
  backward.link(5, 3);
  backward.link(5, 1);
  const Snps expected{0, 1, 2, 1, 4, 1};
  EXPECT_EQ(forward.blockOf(), expected);
  EXPECT_EQ(backward.blockOf(), expected);
}

TEST(ReadBlocks, ErrorsNameTheLineOfTheFile) {
  const Parameter map = velta_test::uniformMap(5);
  std::istringstream in("1 AG\n\n0 GA\n");
  const std::string err = fatalMessageOf([&] { readBlocks(in, "reads.txt", map); });
  EXPECT_NE(err.find("Read file reads.txt, line 3: SNP positions count from 1"), std::string::npos)
      << err;
}

TEST(ReadBlocks, MissingOrUnreadableFilesAreFatalNamingThem) {
  const Parameter map = velta_test::uniformMap(3);
  std::string err = fatalMessageOf([&] { loadReadBlocks("/nonexistent/reads.txt", map); });
  EXPECT_NE(err.find("Read file /nonexistent/reads.txt cannot be opened"), std::string::npos)
      << err;
  velta_test::ScratchDir scratch;
  err = fatalMessageOf([&] { loadReadBlocks(scratch.path().c_str(), map); });
  EXPECT_NE(err.find("Read file " + scratch.path() + " could not be read after line 0"),
            std::string::npos)
      << err;
}

}  // namespace
