#include "PanelConverter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using convert_test::dataFile;
using convert_test::replaceOnce;
using convert_test::runConvert;
using velta_test::fileExists;
using velta_test::readFile;
using velta_test::ScratchDir;

// panel.vcf keeps rs1, 20:105 (no ID), rs4, rs7 and rs9;rs10 (lower-case
// alleles upper-cased); it drops rs3 (multi-allelic), rs5 (indel), rs8
// (symbolic) and rs6 (every haplotype carries T).
const char kMap[] =
    "20 rs1 100 100 A G\n"
    "20 20:105 105 105 C T\n"
    "20 rs4 110 110 G A\n"
    "20 rs7 130 130 A C\n"
    "20 rs9;rs10 140 140 G T\n";
const char kPanel[] =
    "AGGGAAGA\n"
    "CCCTTCCC\n"
    "AGGAGGAA\n"
    "CCACCAAA\n"
    "GTGGGGTG\n";

struct PanelRun {
  convert_test::ConvertRun run;
  std::string map;
  std::string panel;
};

PanelRun convertPanelFile(const std::string& vcf, std::vector<std::string> extra = {}) {
  ScratchDir scratch;
  const std::string prefix = scratch.file("out");
  std::vector<std::string> args = {"panel", "--vcf", vcf, "--out", prefix};
  args.insert(args.end(), extra.begin(), extra.end());
  PanelRun result{runConvert(args), readFile(prefix + ".map"), readFile(prefix + ".panel")};
  EXPECT_FALSE(fileExists(prefix + ".map.part") || fileExists(prefix + ".panel.part"));
  return result;
}

TEST(PanelConverter, KeepsBiallelicSnpsWithBothAllelesInThePanel) {
  const PanelRun result = convertPanelFile(dataFile("panel.vcf"));
  ASSERT_FALSE(result.run.fatal) << result.run.err;
  EXPECT_EQ(result.map, kMap);
  EXPECT_EQ(result.panel, kPanel);
  EXPECT_NE(result.run.out.find("9 records read, 5 SNPs kept for 4 samples (8 haplotypes)"),
            std::string::npos)
      << result.run.out;
  EXPECT_NE(result.run.out.find("dropped: 1 multi-allelic, 2 not a SNP (indel, MNP, symbolic), 1 "
                                "monomorphic in the panel, 0 with unphased"),
            std::string::npos)
      << result.run.out;
}

TEST(PanelConverter, KeepMonomorphicKeepsSitesWithOneAllele) {
  const PanelRun result = convertPanelFile(dataFile("panel.vcf"), {"--keep-monomorphic"});
  ASSERT_FALSE(result.run.fatal) << result.run.err;
  EXPECT_NE(result.map.find("20 rs4 110 110 G A\n20 rs6 120 120 T C\n"), std::string::npos);
  EXPECT_NE(result.panel.find("AGGAGGAA\nTTTTTTTT\n"), std::string::npos);
}

TEST(PanelConverter, AnUnphasedGenotypeNamesTheRecordAndSample) {
  const PanelRun result = convertPanelFile(dataFile("panel_unphased.vcf"));
  EXPECT_TRUE(result.run.fatal);
  EXPECT_NE(result.run.err.find("FATAL => panel " + dataFile("panel_unphased.vcf") +
                                " record 20:110 (rs4): sample S3 has the unphased genotype 0/1; "
                                "a panel needs phased haplotypes (--allow-unphased drops such "
                                "sites)"),
            std::string::npos)
      << result.run.err;
  EXPECT_TRUE(result.map.empty());  // nothing that looks finished is left behind
}

TEST(PanelConverter, AllowUnphasedDropsTheSite) {
  const PanelRun result = convertPanelFile(dataFile("panel_unphased.vcf"), {"--allow-unphased"});
  ASSERT_FALSE(result.run.fatal) << result.run.err;
  EXPECT_EQ(result.map, replaceOnce(kMap, "20 rs4 110 110 G A\n", ""));
  EXPECT_EQ(result.panel, replaceOnce(kPanel, "AGGAGGAA\n", ""));
  EXPECT_NE(result.run.out.find("1 with unphased or missing genotypes"), std::string::npos);
}

struct BadGenotype {
  const char* genotypes;  // the four genotypes of rs7
  const char* message;
};

TEST(PanelConverter, MissingAndNonDiploidGenotypesAreReported) {
  const BadGenotype cases[] = {
      {"1|1\t.\t1|0\t0|0", "record 20:130 (rs7): sample S2 has the missing genotype ."},
      {"1|1\t0|1\t.|0\t0|0", "record 20:130 (rs7): sample S3 has the missing genotype .|0"},
      {"1|1\t0|1\t1|0\t0",
       "record 20:130 (rs7): sample S4 has genotype 0; a panel needs two "
       "haplotypes per sample"},
      {"1|1\t0|1\t1|0\t0|1|1", "sample S4 has genotype 0|1|1"},
  };
  const std::string panel = readFile(dataFile("panel.vcf"));
  for (const BadGenotype& c : cases) {
    ScratchDir scratch;
    const std::string vcf =
        scratch.write("bad.vcf", replaceOnce(panel, "1|1\t0|1\t1|0\t0|0", c.genotypes));
    const PanelRun result = convertPanelFile(vcf);
    EXPECT_TRUE(result.run.fatal) << c.message;
    EXPECT_NE(result.run.err.find(c.message), std::string::npos) << result.run.err;
  }
}

TEST(PanelConverter, ExcludedSamplesLeaveThePanel) {
  const char kPanelS1S3[] = "AGAA\nCCTC\nAGGG\nCCCA\nGTGG\n";
  const PanelRun listed = convertPanelFile(dataFile("panel.vcf"), {"--samples-exclude", "S2,S4"});
  ASSERT_FALSE(listed.run.fatal) << listed.run.err;
  EXPECT_EQ(listed.panel, kPanelS1S3);
  EXPECT_EQ(listed.map, kMap);

  ScratchDir scratch;
  const std::string names = scratch.write("names.txt", "S4\r\nS2\n\n");
  const PanelRun fromFile = convertPanelFile(dataFile("panel.vcf"), {"--samples-exclude", names});
  ASSERT_FALSE(fromFile.run.fatal) << fromFile.run.err;
  EXPECT_EQ(fromFile.panel, kPanelS1S3);

  const PanelRun unknown = convertPanelFile(dataFile("panel.vcf"), {"--samples-exclude", "S2,S9"});
  EXPECT_TRUE(unknown.run.fatal);
  EXPECT_NE(unknown.run.err.find("sample S9 of --samples-exclude is not in"), std::string::npos);

  const PanelRun all =
      convertPanelFile(dataFile("panel.vcf"), {"--samples-exclude", "S1,S2,S3,S4"});
  EXPECT_TRUE(all.run.fatal);
  EXPECT_NE(all.run.err.find("has no sample left to use"), std::string::npos);
}

TEST(PanelConverter, RegionsWorkWithAndWithoutAnIndex) {
  const std::string kRegionMap = "20 20:105 105 105 C T\n20 rs4 110 110 G A\n20 rs7 130 130 A C\n";
  const PanelRun plain = convertPanelFile(dataFile("panel.vcf"), {"--region", "20:105-130"});
  ASSERT_FALSE(plain.run.fatal) << plain.run.err;
  EXPECT_EQ(plain.map, kRegionMap);
  EXPECT_NE(plain.run.out.find("has no index"), std::string::npos);

  ScratchDir scratch;
  const std::string text = readFile(dataFile("panel.vcf"));
  for (const char* name : {"panel.vcf.gz", "panel.bcf"}) {
    const std::string path = scratch.file(name);
    convert_test::writeIndexedVcf(path, text);
    const PanelRun indexed = convertPanelFile(path, {"--region", "20:105-130"});
    ASSERT_FALSE(indexed.run.fatal) << indexed.run.err;
    EXPECT_EQ(indexed.map, kRegionMap) << name;
    EXPECT_EQ(indexed.panel, "CCCTTCCC\nAGGAGGAA\nCCACCAAA\n") << name;
    EXPECT_EQ(indexed.run.out.find("has no index"), std::string::npos) << name;
    const PanelRun whole = convertPanelFile(path);
    EXPECT_EQ(whole.map, kMap) << name;
    const PanelRun subset =
        convertPanelFile(path, {"--region", "20:105-130", "--samples-exclude", "S2,S4"});
    EXPECT_EQ(subset.panel, "CCTC\nAGGG\nCCCA\n") << name;
    const PanelRun elsewhere = convertPanelFile(path, {"--region", "22:1-1000"});
    EXPECT_TRUE(elsewhere.run.fatal) << name;
  }
}

TEST(PanelConverter, KeptSitesStayOnOneChromosomeInOrder) {
  const std::string panel = readFile(dataFile("panel.vcf"));
  ScratchDir scratch;
  const std::string twoChromosomes = scratch.write(
      "two.vcf", replaceOnce(panel, "##contig=<ID=20>\n", "##contig=<ID=20>\n##contig=<ID=21>\n") +
                     "21\t50\trs50\tA\tG\t.\tPASS\t.\tGT\t0|1\t0|0\t0|0\t0|0\n");
  const PanelRun two = convertPanelFile(twoChromosomes);
  EXPECT_TRUE(two.run.fatal);
  EXPECT_NE(two.run.err.find("kept sites on two chromosomes (20, then 21 at 21:50 (rs50)); "
                             "velta phases one chromosome at a time: choose one with --region"),
            std::string::npos)
      << two.run.err;
  const PanelRun one = convertPanelFile(twoChromosomes, {"--region", "21"});
  ASSERT_FALSE(one.run.fatal) << one.run.err;
  EXPECT_EQ(one.map, "21 rs50 50 50 A G\n");

  const std::string unsorted = scratch.write(
      "unsorted.vcf", panel + "20\t90\trs90\tA\tG\t.\tPASS\t.\tGT\t0|1\t0|0\t0|0\t0|0\n");
  const PanelRun late = convertPanelFile(unsorted);
  EXPECT_TRUE(late.run.fatal);
  EXPECT_NE(late.run.err.find("record 20:90 (rs90) comes after 20:140 (rs9;rs10): the file is "
                              "not sorted by position"),
            std::string::npos)
      << late.run.err;
}

TEST(PanelConverter, NothingKeptIsAnError) {
  const PanelRun result = convertPanelFile(dataFile("panel.vcf"), {"--region", "20:111-125"});
  EXPECT_TRUE(result.run.fatal);
  EXPECT_NE(result.run.err.find("no biallelic SNP with both alleles among the panel's haplotypes "
                                "in 20:111-125"),
            std::string::npos)
      << result.run.err;
}

// The shared data's panel, converted, gives the shared map and panel files.
TEST(PanelConverter, SharedPanelGivesTheSharedMapAndPanel) {
  const std::string shared = velta_test::sharedDir();
  if (shared.empty()) GTEST_SKIP() << "../shared is absent: no shared panel to convert";
  const std::string folder = shared + "/data/HG01500/small/inference/";
  const std::string map = readFile(folder + "map.txt");
  const std::string panel = readFile(folder + "panel.txt");
  const PanelRun all = convertPanelFile(folder + "panel.vcf.gz", {"--keep-monomorphic"});
  ASSERT_FALSE(all.run.fatal) << all.run.err;
  EXPECT_TRUE(all.map == map) << "map differs from map.txt";
  EXPECT_TRUE(all.panel == panel) << "panel differs from panel.txt";

  // Without --keep-monomorphic: exactly the lines whose panel line holds both alleles.
  std::istringstream mapLines(map);
  std::istringstream panelLines(panel);
  std::string mapLine;
  std::string panelLine;
  std::string expectedMap;
  std::string expectedPanel;
  while (std::getline(mapLines, mapLine) && std::getline(panelLines, panelLine)) {
    const char ref = mapLine[mapLine.size() - 3];
    const char alt = mapLine.back();
    if (panelLine.find(ref) != std::string::npos && panelLine.find(alt) != std::string::npos) {
      expectedMap += mapLine + "\n";
      expectedPanel += panelLine + "\n";
    }
  }
  const PanelRun polymorphic = convertPanelFile(folder + "panel.vcf.gz");
  ASSERT_FALSE(polymorphic.run.fatal) << polymorphic.run.err;
  EXPECT_TRUE(polymorphic.map == expectedMap);
  EXPECT_TRUE(polymorphic.panel == expectedPanel);
}

}  // namespace
