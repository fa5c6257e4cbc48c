#include "PhaseFile.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "CompareTestSupport.h"
#include "Parameter.h"

namespace {

using velta_test::fatalMessageOf;

std::vector<PhasedGenotype> readText(const std::string& text) {
  std::istringstream in(text);
  return readPhaseStream(in, "phased.txt");
}

TEST(PhaseFile, ReadsPairsInOrderWithOrWithoutCarriageReturns) {
  const std::vector<PhasedGenotype> g = readText("AG\r\nCC\nTA");
  ASSERT_EQ(g.size(), 3U);
  EXPECT_EQ(g[0].first, 'A');
  EXPECT_EQ(g[0].second, 'G');
  EXPECT_FALSE(g[1].isHeterozygous());
  EXPECT_EQ(g[2].first, 'T');
  EXPECT_EQ(g[2].second, 'A');
}

TEST(PhaseFile, EmptyLinesAfterTheLastSnpAreIgnored) {
  EXPECT_EQ(readText("AG\nCT\n\n\r\n\n").size(), 2U);
  EXPECT_TRUE(readText("").empty());
}

TEST(PhaseFile, SameAllelesIgnoresHaplotypeOrder) {
  const PhasedGenotype ag{'A', 'G'}, ga{'G', 'A'}, aa{'A', 'A'}, at{'A', 'T'};
  EXPECT_TRUE(ag.sameAlleles(ga));
  EXPECT_TRUE(ag.sameAlleles(ag));
  EXPECT_FALSE(ag.sameAlleles(aa));
  EXPECT_FALSE(ag.sameAlleles(at));
}

struct BadFile {
  const char* text;
  const char* message;  // expected within the fatal message
};

TEST(PhaseFile, MalformedLinesAreFatalNamingFileAndLine) {
  const BadFile cases[] = {
      {"AG\nA\n", "phased.txt line 2: expected two allele characters, found 1 characters \"A\""},
      {"AG\nAGT\n", "phased.txt line 2: expected two allele characters, found 3"},
      {"AG\nA G\n", "phased.txt line 2: expected two allele characters, found 3"},
      {"AG\n\nCT\n", "phased.txt line 2: empty line between SNP lines"},
      {"AG\nA-\n", "phased.txt line 2: '-' is not an allele character"},
      {"A \n", "phased.txt line 1: byte 0x20 is not an allele character"},
      {"CC\n\tA\n", "phased.txt line 2: byte 0x09 is not an allele character"},
      {"\xC3\xA9\n", "phased.txt line 1: byte 0xC3 is not an allele character"},
  };
  for (const BadFile& c : cases) {
    const std::string err = fatalMessageOf([&] { readText(c.text); });
    EXPECT_NE(err.find(c.message), std::string::npos) << "input: " << c.text << "\nerr: " << err;
    EXPECT_EQ(err.rfind("FATAL => ", 0), 0U) << err;
  }
}

TEST(PhaseFile, MissingOrUnreadableFilesAreFatalNamingThem) {
  std::string err = fatalMessageOf([] { loadPhaseFile("/nonexistent/truth.txt"); });
  EXPECT_NE(err.find("/nonexistent/truth.txt cannot be opened"), std::string::npos) << err;
  // A folder opens, but every read fails: an error, not an empty file.
  velta_test::ScratchDir dir;
  err = fatalMessageOf([&] { loadPhaseFile(dir.path().c_str()); });
  EXPECT_NE(err.find(dir.path() + " could not be read after line 0"), std::string::npos) << err;
}

TEST(PhaseFile, LoadsFromANamedFile) {
  velta_test::ScratchDir dir;
  const std::string path = dir.write("truth.txt", "GT\nCA\n");
  EXPECT_EQ(loadPhaseFile(path.c_str()).size(), 2U);
}

TEST(PhaseFile, AllelesMustBeTheMapAllelesOfTheirSnp) {
  const Parameter map =
      velta_test::mapFromText("20 a 100 100 A G\n20 b 200 200 C T\n20 c 300 300 G T\n");
  checkMapAlleles(velta_test::genotypes("AG TC GG"), "phased.txt", map);  // no fatal exit
  const std::string err = fatalMessageOf(
      [&] { checkMapAlleles(velta_test::genotypes("AG TC GA"), "phased.txt", map); });
  EXPECT_NE(err.find("phased.txt line 3: allele 'A' is not an allele of SNP 3 in the map "
                     "(expected G or T)"),
            std::string::npos)
      << err;
}

}  // namespace
