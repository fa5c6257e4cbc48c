#include "ReadBlocks.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CompareTestSupport.h"

namespace {

using velta_test::fatalMessageOf;
using Snps = std::vector<unsigned int>;

Snps calledSnps(const std::string& text, unsigned int nSnp) {
  Snps snps;
  collectCalledSnps(text, "reads.txt", 7, nSnp, snps);
  return snps;
}

struct GoodLine {
  const char* text;
  Snps snps;  // 0-based
};

TEST(ReadLine, CallsAreTheNonDashCharactersOfEachRun) {
  const GoodLine cases[] = {
      {"5 A-G 12 GT", {4, 6, 11, 12}},
      {"3 --AC- 9 T", {4, 5, 8}},
      {"\t1 A\t 2 C \r", {0, 1}},
      {"19 AC--", {18, 19}},  // no-calls past the last SNP show nothing
      {"", {}},
  };
  for (const GoodLine& c : cases) EXPECT_EQ(calledSnps(c.text, 20), c.snps) << c.text;
}

struct BadLine {
  const char* text;
  const char* message;
};

TEST(ReadLine, MalformedLinesAreFatalNamingFileAndLine) {
  const BadLine cases[] = {
      {"0 A", "reads.txt line 7: expected a SNP number (a whole number from 1), found \"0\""},
      {"x 3 AC", "found \"x\""},
      {"-1 A", "found \"-1\""},
      {"3A C", "found \"3A\""},
      {"4294967296 A", "found \"4294967296\""},
      {"3 AC 7", "reads.txt line 7: SNP number 7 has no run of alleles after it"},
      {"3 AC 7 \r", "SNP number 7 has no run"},
      {"19 A-C",
       "reads.txt line 7: the run at SNP 19 shows an allele at SNP 21, past the last of "
       "the 20 SNPs"},
      {"4294967295 A", "shows an allele at SNP 4294967295, past the last"},
  };
  for (const BadLine& c : cases) {
    const std::string err = fatalMessageOf([&] { calledSnps(c.text, 20); });
    EXPECT_NE(err.find(c.message), std::string::npos) << "line: " << c.text << "\nerr: " << err;
  }
}

std::vector<unsigned int> blocksOf(const std::string& reads, unsigned int nSnp) {
  SnpLinks links(nSnp);
  std::istringstream in(reads);
  linkReadStream(in, "reads.txt", links);
  return links.blockOf();
}

TEST(ReadBlocks, ReadsLinkTheirSnpsAndChainsJoinBlocks) {
  // SNPs 1-2 by one read; 4 and 6 by a pair of runs; 3, 5 and 7 alone.
  EXPECT_EQ(blocksOf("1 AC\n3 G\n4 T 6 A\n", 7), (Snps{0, 0, 2, 3, 4, 3, 6}));
  // 1-3 and 3-5 share SNP 3, so 1, 3 and 5 form one block; 2 is a no-call.
  EXPECT_EQ(blocksOf("1 A-C\n3 C 5 G\n", 5), (Snps{0, 1, 0, 3, 0}));
}

TEST(ReadBlocks, LinesThatCarryNothingAreSkipped) {
  EXPECT_EQ(blocksOf("---\n\n \t-\n2 AC\n", 3), (Snps{0, 1, 1}));
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
  const std::string err = fatalMessageOf([] { blocksOf("1 AC\n\n2 GT 9\n", 5); });
  EXPECT_NE(err.find("reads.txt line 3: SNP number 9 has no run"), std::string::npos) << err;
}

TEST(ReadBlocks, MissingFileIsFatalNamingIt) {
  const std::string err = fatalMessageOf([] { loadReadBlocks("/nonexistent/reads.txt", 3); });
  EXPECT_NE(err.find("Read file /nonexistent/reads.txt cannot be opened"), std::string::npos)
      << err;
}

}  // namespace
