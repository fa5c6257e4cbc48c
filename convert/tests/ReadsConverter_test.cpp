#include "ReadsConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using convert_test::dataFile;
using convert_test::runConvert;
using convert_test::writeSortedCopy;
using velta_test::readFile;
using velta_test::ScratchDir;

// What reads.sam shows at the six SNPs of reads.map, read by read (see the
// record names there):
const char kExpectedLines[] =
    "1 GC-C\n"     // cigar1: insertion, SNP 3 in a deletion, soft clip over SNP 5 ignored
    "2 T\n"        // lowqual: SNP 1 below base quality 13
    "1 A----G\n"   // spliced: SNPs 2-5 in a skipped region; =/X operations
    "1 ATATA\n"    // pairA: mates overlap at SNPs 2 and 3 and agree: once each
    "1 G-GTCG\n"   // pairB: mates disagree at SNP 2; SNP 3 low quality in one mate
    "4 T-T\n"      // neither: a G at SNP 5 (A/C) shows nothing
    "5 AG\n"       // mateunmapped: written without waiting
    "1 GT 5 CT\n"  // split: mates apart, joined by name across other records
    "4 C\n";       // orphan: its mate never comes; written at the end

std::vector<std::string> sortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(ReadsConverter, WalksCigarsJoinsMatesAndFiltersAsDocumented) {
  ScratchDir scratch;
  const std::string out = scratch.file("reads.txt");
  const auto run = runConvert(
      {"reads", "--bam", dataFile("reads.sam"), "--map", dataFile("reads.map"), "--out", out});
  ASSERT_FALSE(run.fatal) << run.err;
  EXPECT_EQ(readFile(out), kExpectedLines);
  EXPECT_NE(run.out.find("21 alignments read, 14 kept"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("filtered: 1 secondary, 1 supplementary, 2 unmapped, 1 QC failed, 1 "
                         "duplicate, 1 with mapping quality below 20"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("29 show an allele; no call for 2 with base quality below 13, 1 equal "
                         "to neither allele, 5 in a deletion or skipped region"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("mates disagree at 1 SNPs"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("1 mates written alone"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("for 9 reads or pairs (0 cut"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2 kept reads or pairs show no allele"), std::string::npos) << run.out;
  EXPECT_FALSE(velta_test::fileExists(out + ".part"));
}

TEST(ReadsConverter, QualityThresholdsDecideWhatShows) {
  ScratchDir scratch;
  const std::string out = scratch.file("reads.txt");
  const auto run =
      runConvert({"reads", "--bam", dataFile("reads.sam"), "--map", dataFile("reads.map"), "--out",
                  out, "--min-baseq", "0", "--min-mapq", "0"});
  ASSERT_FALSE(run.fatal) << run.err;
  const std::string lines = readFile(out);
  EXPECT_NE(lines.find("\n1 AT\n"), std::string::npos);      // lowqual's SNP 1 now shows
  EXPECT_NE(lines.find("\n1 G--TCG\n"), std::string::npos);  // pairB now disagrees at SNP 3
  EXPECT_NE(lines.find("\n1 GC\n"), std::string::npos);      // lowmapq is kept
  EXPECT_NE(run.out.find("mates disagree at 2 SNPs"), std::string::npos) << run.out;
}

TEST(ReadsConverter, ChromosomeNamesThatDifferAreReported) {
  ScratchDir scratch;
  const std::string map = scratch.write("chr.map", "chr20 s1 100 100 A G\n");
  const auto run = runConvert(
      {"reads", "--bam", dataFile("reads.sam"), "--map", map, "--out", scratch.file("r.txt")});
  EXPECT_TRUE(run.fatal);
  EXPECT_NE(run.err.find("none of the map's chromosomes (chr20) is a reference sequence of " +
                         dataFile("reads.sam") + " (it has 20, ...)"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(velta_test::fileExists(scratch.file("r.txt")));
  EXPECT_FALSE(velta_test::fileExists(scratch.file("r.txt.part")));
}

TEST(ReadsConverter, AnIndexedBamGivesTheSameReads) {
  ScratchDir scratch;
  const std::string bam = scratch.file("reads.bam");
  writeSortedCopy(dataFile("reads.sam"), bam);
  const std::string out = scratch.file("reads.txt");
  const auto run =
      runConvert({"reads", "--bam", bam, "--map", dataFile("reads.map"), "--out", out});
  ASSERT_FALSE(run.fatal) << run.err;
  EXPECT_NE(run.out.find("has an index"), std::string::npos) << run.out;
  EXPECT_EQ(sortedLines(readFile(out)), sortedLines(kExpectedLines));
}

TEST(ReadsConverter, ACramIsDecodedWithItsReference) {
  ScratchDir scratch;
  std::string sequence;  // the bases reads.sam was made from, majors at the SNPs
  for (int pos = 1; pos <= 1000; ++pos) sequence += "ACGT"[pos % 4];
  for (const auto& snp :
       {std::make_pair(100, 'A'), std::make_pair(105, 'C'), std::make_pair(110, 'G'),
        std::make_pair(120, 'T'), std::make_pair(130, 'A'), std::make_pair(135, 'G')}) {
    sequence[snp.first - 1] = snp.second;
  }
  const std::string reference =
      scratch.write("ref.fa", ">20\n" + sequence + "\n>21\n" + sequence + "\n");
  const std::string cram = scratch.file("reads.cram");
  writeSortedCopy(dataFile("reads.sam"), cram, reference);
  const std::string out = scratch.file("reads.txt");
  const auto run = runConvert({"reads", "--bam", cram, "--reference", reference, "--map",
                               dataFile("reads.map"), "--out", out});
  ASSERT_FALSE(run.fatal) << run.err;
  EXPECT_EQ(sortedLines(readFile(out)), sortedLines(kExpectedLines));
}

TEST(ReadsConverter, ALongReadOverADenseMapIsCutIntoRunsVeltaHolds) {
  ScratchDir scratch;
  std::string map;
  for (int k = 0; k < 600; ++k) {
    const std::string pos = std::to_string(1000 + k);
    map += "20 s" + std::to_string(k) + " " + pos + " " + pos + " A C\n";
  }
  const std::string mapPath = scratch.write("dense.map", map);
  const std::string sam =
      scratch.write("long.sam", "@SQ\tSN:20\tLN:5000\nlong\t0\t20\t990\t60\t700M\t*\t0\t0\t" +
                                    std::string(700, 'A') + "\t*\n");
  const std::string out = scratch.file("long.txt");
  const auto run = runConvert({"reads", "--bam", sam, "--map", mapPath, "--out", out});
  ASSERT_FALSE(run.fatal) << run.err;
  EXPECT_EQ(readFile(out), "1 " + std::string(256, 'A') + " 257 " + std::string(256, 'A') +
                               " 513 " + std::string(88, 'A') + "\n");
}

TEST(ReadsConverter, AFileThatIsNotAlignmentsIsRejected) {
  ScratchDir scratch;
  const auto run = runConvert({"reads", "--bam", dataFile("panel.vcf"), "--map",
                               dataFile("reads.map"), "--out", scratch.file("r.txt")});
  EXPECT_TRUE(run.fatal);
  EXPECT_NE(run.err.find("is not a SAM, BAM or CRAM file"), std::string::npos) << run.err;
}

}  // namespace
