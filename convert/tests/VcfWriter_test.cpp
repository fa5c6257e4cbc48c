#include "VcfWriter.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using convert_test::dataFile;
using convert_test::runConvert;
using convert_test::tabField;
using convert_test::vcfBodyLines;
using velta_test::fileExists;
using velta_test::readFile;
using velta_test::ScratchDir;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) result.push_back(line);
  return result;
}

// panel VCF -> velta map and panel -> one sample's two haplotypes, as velta
// writes them -> phased VCF: the sample's genotypes come back unchanged.
TEST(VcfWriter, PanelRoundTripGivesBackEverySamplesGenotypes) {
  ScratchDir scratch;
  const std::string prefix = scratch.file("panel");
  ASSERT_FALSE(runConvert({"panel", "--vcf", dataFile("panel.vcf"), "--out", prefix}).fatal);
  const std::vector<std::string> panel = lines(readFile(prefix + ".panel"));
  std::map<std::string, std::vector<std::string>> input;  // POS -> GT of every sample
  for (const std::string& record : vcfBodyLines(dataFile("panel.vcf"))) {
    for (int s = 0; s < 4; ++s) input[tabField(record, 1)].push_back(tabField(record, 9 + s));
  }
  const char* samples[] = {"S1", "S2", "S3", "S4"};
  for (int s = 0; s < 4; ++s) {
    std::string haplotypes;
    for (const std::string& row : panel) haplotypes += row.substr(2 * s, 2) + "\n";
    const std::string hapFile = scratch.write("hap.txt", haplotypes);
    const std::string out = scratch.file("phased.vcf.gz");
    const auto run = runConvert({"vcf", "--map", prefix + ".map", "--haplotypes", hapFile,
                                 "--sample", samples[s], "--out", out});
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_TRUE(fileExists(out + ".tbi"));
    const std::vector<std::string> output = vcfBodyLines(out);
    ASSERT_EQ(output.size(), panel.size());
    for (const std::string& record : output) {
      EXPECT_EQ(tabField(record, 9), input[tabField(record, 1)][s])
          << samples[s] << " at " << tabField(record, 1);
    }
  }
  const std::vector<std::string> output = vcfBodyLines(scratch.file("phased.vcf.gz"));
  EXPECT_EQ(output[0].rfind("20\t100\trs1\tA\tG\t.\t.\t.\tGT\t", 0), 0u) << output[0];
  EXPECT_EQ(output[1].rfind("20\t105\t.\tC\tT\t", 0), 0u) << output[1];  // CHR:POS was no ID
  EXPECT_EQ(tabField(output[4], 2), "rs9;rs10");
}

// Seven SNPs; the sample is homozygous at SNP 3 only. Reads link SNPs 1-2
// (one read), 2-6 (a pair whose mates lie apart) and 4-5; SNP 7 is on a
// read with only the homozygous SNP 3, and SNP 1's read also shows a base
// that is neither allele at SNP 3.
const char kLinkMap[] =
    "20 s1 100 100 A G\n20 s2 200 200 C T\n20 s3 300 300 G A\n20 s4 400 400 T C\n"
    "20 s5 500 500 A C\n20 s6 600 600 G T\n20 s7 700 700 C G\n";
const char kLinkHaplotypes[] = "AG\nCT\nGG\nCT\nAC\nGT\nCG\n";
const char kLinkReads[] = "1 ACT\n2 T 6 G\n4 TA\n3 G 7 C\n";

TEST(VcfWriter, ReadsDecideWhatIsPhasedAndTheirPhaseSets) {
  ScratchDir scratch;
  const std::string out = scratch.file("phased.vcf.gz");
  const auto run = runConvert({"vcf", "--map", scratch.write("m", kLinkMap), "--haplotypes",
                               scratch.write("h", kLinkHaplotypes), "--sample", "NA1", "--reads",
                               scratch.write("r", kLinkReads), "--out", out});
  ASSERT_FALSE(run.fatal) << run.err;
  const char* expected[] = {"GT:PS\t0|1:100", "GT:PS\t0|1:100", "GT\t0/0", "GT:PS\t1|0:400",
                            "GT:PS\t0|1:400", "GT:PS\t0|1:100", "GT\t0/1"};
  const std::vector<std::string> output = vcfBodyLines(out);
  ASSERT_EQ(output.size(), 7u);
  for (std::size_t k = 0; k < 7; ++k) {
    EXPECT_EQ(tabField(output[k], 8) + "\t" + tabField(output[k], 9), expected[k])
        << "SNP " << k + 1;
  }
  EXPECT_NE(run.out.find("6 heterozygous: 5 phased in 2 phase sets, 1 unphased"), std::string::npos)
      << run.out;
}

TEST(VcfWriter, TheOutputNameChoosesTheFormatAndIndex) {
  ScratchDir scratch;
  const std::string map = scratch.write("m", kLinkMap);
  const std::string haplotypes = scratch.write("h", kLinkHaplotypes);
  struct Kind {
    const char* name;
    const char* index;
  };
  for (const Kind& kind : {Kind{"x.vcf.gz", ".tbi"}, Kind{"x.bcf", ".csi"}, Kind{"x.vcf", ""}}) {
    const std::string out = scratch.file(kind.name);
    const auto run = runConvert(
        {"vcf", "--map", map, "--haplotypes", haplotypes, "--sample", "NA1", "--out", out});
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_EQ(vcfBodyLines(out).size(), 7u) << kind.name;
    if (*kind.index) {
      EXPECT_TRUE(fileExists(out + kind.index)) << kind.name;
    }
    EXPECT_FALSE(fileExists(out + ".part"));
  }
  const std::string text = readFile(scratch.file("x.vcf"));
  const std::string lastLine = "20\t700\ts7\tC\tG\t.\t.\t.\tGT\t0|1\n";  // phased: no --reads
  ASSERT_GT(text.size(), lastLine.size());
  EXPECT_EQ(text.substr(text.size() - lastLine.size()), lastLine);
}

struct BadInput {
  const char* map;
  const char* haplotypes;
  const char* reads;  // nullptr: no --reads
  const char* message;
};

TEST(VcfWriter, BadInputsNameTheFileAndLine) {
  const BadInput cases[] = {
      {"20 a 1 1 A G\n20 b 2 2 C T\n", "AG\nCTT\n", nullptr,
       "haplotype file HAP line 2: expected two allele characters, found 'CTT'"},
      {"20 a 1 1 A G\n20 b 2 2 C T\n", "AG\nCA\n", nullptr,
       "haplotype file HAP line 2: allele A is neither C nor T, the alleles of SNP 2 of the map"},
      {"20 a 1 1 A G\n20 b 2 2 C T\n", "AG\n", nullptr,
       "haplotype file HAP has 1 lines, the map 2 SNPs"},
      {"20 a 1 1 A G\n", "AG\nCT\n", nullptr, "haplotype file HAP has more lines than the map's 1"},
      {"20 a 1 1 A G\n20 b 2 2 0 1\n", "AG\n01\n", nullptr,
       "SNP map MAP line 2: alleles 0 and 1; a VCF needs two different bases"},
      {"20 a 5 5 A G\n20 b 2 2 C T\n", "AG\nCT\n", nullptr,
       "SNP map MAP line 2: position 2 comes after 5"},
      {"20 a 1 1 A G\n21 b 2 2 C T\n20 c 3 3 C T\n", "AG\nCT\nCT\n", nullptr,
       "SNP map MAP line 3: chromosome 20 comes back after others"},
      // Read files are read by velta's own loader, with its messages.
      {"20 a 1 1 A G\n20 b 2 2 C T\n", "AG\nCT\n", "1 AC\n0 AC\n",
       "Read file READS, line 2: SNP positions count from 1, found position 0"},
  };
  for (const BadInput& c : cases) {
    ScratchDir scratch;
    const std::string map = scratch.write("MAP", c.map);
    const std::string haplotypes = scratch.write("HAP", c.haplotypes);
    std::vector<std::string> args = {
        "vcf",      "--map", map,     "--haplotypes",          haplotypes,
        "--sample", "S",     "--out", scratch.file("o.vcf.gz")};
    if (c.reads != nullptr) {
      args.push_back("--reads");
      args.push_back(scratch.write("READS", c.reads));
    }
    const auto run = runConvert(args);
    EXPECT_TRUE(run.fatal) << c.message;
    std::string message = c.message;
    for (const char* name : {"MAP", "HAP", "READS"}) {
      const std::size_t at = message.find(name);
      if (at != std::string::npos)
        message.replace(at, std::string(name).size(), scratch.file(name));
    }
    EXPECT_NE(run.err.find(message), std::string::npos) << "expected: " << message << "\n"
                                                        << run.err;
    EXPECT_FALSE(fileExists(scratch.file("o.vcf.gz")));
    EXPECT_FALSE(fileExists(scratch.file("o.vcf.gz.part")));
  }
}

// The shared truth, written as a VCF, has the genotypes of the shared phased VCF.
TEST(VcfWriter, SharedTruthGivesTheSharedPhasedGenotypes) {
  const std::string shared = velta_test::sharedDir();
  if (shared.empty()) GTEST_SKIP() << "../shared is absent: no shared truth to write";
  const std::string folder = shared + "/data/HG01500/small/inference/";
  ScratchDir scratch;
  const std::string out = scratch.file("truth.vcf.gz");
  const auto run = runConvert({"vcf", "--map", folder + "map.txt", "--haplotypes",
                               folder + "truth.txt", "--sample", "HG01500", "--out", out});
  ASSERT_FALSE(run.fatal) << run.err;
  const std::vector<std::string> ours = vcfBodyLines(out);
  const std::vector<std::string> theirs = vcfBodyLines(folder + "truth.phased.vcf.gz");
  ASSERT_EQ(ours.size(), theirs.size());
  for (std::size_t k = 0; k < ours.size(); ++k) {
    for (int column : {0, 1, 2, 3, 4, 9}) {
      ASSERT_EQ(tabField(ours[k], column), tabField(theirs[k], column))
          << "SNP " << k + 1 << " column " << column + 1;
    }
  }
}

}  // namespace
