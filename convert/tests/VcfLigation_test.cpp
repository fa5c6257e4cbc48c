#include "VcfLigation.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using convert_test::runConvert;
using convert_test::tabField;
using convert_test::vcfBodyLines;
using convert_test::writeIndexedVcf;
using velta_test::ScratchDir;

const char kHeader[] =
    "##fileformat=VCFv4.2\n"
    "##contig=<ID=20>\n##contig=<ID=21>\n"
    "##INFO=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">\n"
    "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set\">\n"
    "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tS\n";

// Record i of a made-up chromosome: position 100 * (i + 1); every third is
// homozygous, the others heterozygous with the truth's order alternating;
// record 10 is an insertion, a record ligation passes through untouched.
struct Site {
  int position;
  std::string ref, alt, gt;
};
Site truthSite(int i) {
  if (i == 10) return {1100, "A", "AT", "0/1"};
  if (i % 3 == 2) return {100 * (i + 1), "C", "T", "1|1"};
  return {100 * (i + 1), "C", "T", i % 2 == 0 ? "0|1" : "1|0"};
}

std::string swapped(const std::string& gt) {
  if (gt.size() != 3 || gt[1] != '|') return gt;
  return std::string(1, gt[2]) + "|" + gt[0];
}

// A window of records [first, end): its phased genotypes swapped when `swap`,
// the phase set `ps` on phased heterozygous ones (0: none written).
std::string windowVcf(int first, int end, bool swap, int ps = 0, const std::string& chrom = "20") {
  std::string text = kHeader;
  for (int i = first; i < end; ++i) {
    const Site site = truthSite(i);
    const std::string gt = swap ? swapped(site.gt) : site.gt;
    const bool phasedHet = gt[1] == '|' && gt[0] != gt[2];
    text += chrom + "\t" + std::to_string(site.position) + "\trs" + std::to_string(i) + "\t" +
            site.ref + "\t" + site.alt + "\t50\tPASS\tDP=" + std::to_string(i) + "\t" +
            (ps && phasedHet ? "GT:PS\t" + gt + ":" + std::to_string(ps) : "GT\t" + gt) + "\n";
  }
  return text;
}

std::string writeWindow(const ScratchDir& scratch, const std::string& name,
                        const std::string& text) {
  const std::string path = scratch.file(name);
  writeIndexedVcf(path, text);
  return path;
}

TEST(VcfLigation, SwappedWindowsTurnBackAndEveryRecordPassesOnce) {
  ScratchDir scratch;
  const std::string a = writeWindow(scratch, "a.vcf.gz", windowVcf(0, 14, false));
  const std::string b = writeWindow(scratch, "b.vcf.gz", windowVcf(8, 24, true));
  const std::string c = writeWindow(scratch, "c.vcf.gz", windowVcf(19, 30, false));
  const std::string out = scratch.file("joined.vcf.gz");
  const convert_test::ConvertRun run = runConvert({"ligate", "--out", out, a, b, c});
  ASSERT_FALSE(run.fatal) << run.err;
  EXPECT_NE(run.out.find("3 windows, 30 records"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2 joins, 1 with haplotypes swapped, 0 empty overlaps"),
            std::string::npos);
  EXPECT_TRUE(velta_test::fileExists(out + ".tbi"));
  EXPECT_FALSE(velta_test::fileExists(out + ".part"));
  const std::vector<std::string> lines = vcfBodyLines(out);
  ASSERT_EQ(lines.size(), 30u);
  for (int i = 0; i < 30; ++i) {
    const Site site = truthSite(i);
    EXPECT_EQ(tabField(lines[i], 1), std::to_string(site.position));
    EXPECT_EQ(tabField(lines[i], 2), "rs" + std::to_string(i));
    EXPECT_EQ(tabField(lines[i], 5), "50");
    EXPECT_EQ(tabField(lines[i], 7), "DP=" + std::to_string(i));
    const bool phasedHet = site.gt[1] == '|' && site.gt[0] != site.gt[2];
    EXPECT_EQ(tabField(lines[i], 9), phasedHet ? site.gt + ":100" : site.gt) << lines[i];
  }
}

// Windows whose shared SNPs cannot decide the order keep it and start a new
// phase set, and say so.
TEST(VcfLigation, UndecidedJoinsStartANewPhaseSet) {
  struct Case {
    const char* name;
    int secondFirst;    // the later window's first record
    bool unphaseShared; // its shared heterozygous SNPs written unphased
    const char* message;
  };
  const Case cases[] = {
      {"no shared SNP", 14, false, "no heterozygous SNP phased in both windows"},
      {"shared SNPs unphased", 8, true, "no heterozygous SNP phased in both windows"},
      {"tied", 8, false, "1 tied block pair(s) left unjoined"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir scratch;
    const std::string a = writeWindow(scratch, "a.vcf.gz", windowVcf(0, 14, false));
    std::string later = windowVcf(c.secondFirst, 24, true);
    if (c.unphaseShared) {
      for (int i = c.secondFirst; i < 14; ++i) {
        const std::string gt = swapped(truthSite(i).gt);
        if (gt[0] != gt[2]) later = convert_test::replaceOnce(later, "\t" + gt + "\n", "\t0/1\n");
      }
    }
    if (std::string(c.name) == "tied") {
      // Of the shared heterozygous SNPs 9, 12 and 13, 13 unphased and 9 in
      // the other order: one SNP for each order.
      later = windowVcf(8, 24, false);
      later = convert_test::replaceOnce(later, "DP=13\tGT\t1|0", "DP=13\tGT\t0/1");
      later = convert_test::replaceOnce(later, "DP=9\tGT\t1|0", "DP=9\tGT\t0|1");
    }
    const std::string b = writeWindow(scratch, "b.vcf.gz", later);
    const std::string out = scratch.file("joined.vcf.gz");
    const convert_test::ConvertRun run = runConvert({"ligate", "--out", out, a, b});
    ASSERT_FALSE(run.fatal) << run.err;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    const std::vector<std::string> lines = vcfBodyLines(out);
    ASSERT_EQ(lines.size(), 24u);
    // A window that phased none of the shared SNPs leaves them to the other.
    for (int i = 8; c.unphaseShared && i < 14; ++i) {
      const Site site = truthSite(i);
      if (site.gt[1] == '|' && site.gt[0] != site.gt[2]) {
        EXPECT_EQ(tabField(lines[i], 9), site.gt + ":100") << i;
      }
    }
    std::set<std::string> phaseSets;
    for (const std::string& line : lines) {
      const std::string format = tabField(line, 9);
      if (format.size() > 4) phaseSets.insert(format.substr(4));
    }
    EXPECT_EQ(phaseSets.size(), 2u);
  }
}

// Phase sets inside windows (reads that link only some SNPs) join one by
// one: the later window links the earlier window's second set only.
TEST(VcfLigation, PhaseSetsJoinSetBySet) {
  ScratchDir scratch;
  std::string first = windowVcf(0, 6, false, 100);
  const std::string second = windowVcf(6, 14, true, 700);
  first += second.substr(second.find("20\t700\t"));
  const std::string a = writeWindow(scratch, "a.vcf.gz", first);
  const std::string b = writeWindow(scratch, "b.vcf.gz", windowVcf(9, 20, false, 1000));
  const std::string out = scratch.file("joined.vcf.gz");
  const convert_test::ConvertRun run = runConvert({"ligate", "--out", out, a, b});
  ASSERT_FALSE(run.fatal) << run.err;
  const std::vector<std::string> lines = vcfBodyLines(out);
  ASSERT_EQ(lines.size(), 20u);
  for (int i = 0; i < 20; ++i) {
    const Site site = truthSite(i);
    if (site.gt[1] != '|' || site.gt[0] == site.gt[2]) continue;
    // Set 700 (records 6-13, swapped) keeps its order as the first block of
    // the joined set; the later window turns to agree with it; set 100 stays apart.
    EXPECT_EQ(tabField(lines[i], 9), i < 6 ? site.gt + ":100" : swapped(site.gt) + ":700") << i;
  }
}

TEST(VcfLigation, InconsistentWindowsEndTheRunNamingThem) {
  ScratchDir scratch;
  const std::string a = writeWindow(scratch, "a.vcf.gz", windowVcf(0, 14, false));
  const std::string b = writeWindow(scratch, "b.vcf.gz", windowVcf(8, 24, false));
  const std::string otherChrom =
      writeWindow(scratch, "c.vcf.gz", windowVcf(14, 24, false, 0, "21"));
  std::string gappy = windowVcf(8, 24, false);
  gappy = convert_test::replaceOnce(gappy, "20\t1300\trs12", "20\t1301\trs12");
  const std::string holed = writeWindow(scratch, "d.vcf.gz", gappy);
  std::string two = windowVcf(8, 24, false);
  two = convert_test::replaceOnce(two, "FORMAT\tS", "FORMAT\tS\tT");
  std::string twoSamples;
  for (std::size_t at = 0, next; at < two.size(); at = next + 1) {
    next = two.find('\n', at);
    const std::string line = two.substr(at, next - at);
    twoSamples += line + (line[0] == '#' ? "" : "\t0|0") + "\n";
  }
  const std::string pair = writeWindow(scratch, "e.vcf.gz", twoSamples);
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::string out = scratch.file("joined.vcf.gz");
  const Case cases[] = {
      {{"ligate", "--out", out, b, a}, "give the windows in position order"},
      {{"ligate", "--out", out, a, otherChrom}, "on another chromosome than 20"},
      {{"ligate", "--out", out, a, holed}, "d.vcf.gz overlap, but record 20:130"},
      {{"ligate", "--out", out, a, pair}, "has 2 samples: name the phased one with --sample"},
      {{"ligate", "--out", out, "--sample", "T", a}, "has no sample T"},
      {{"ligate", "--out", out}, "needs at least one input file"},
  };
  for (const Case& c : cases) {
    const convert_test::ConvertRun run = runConvert(c.args);
    EXPECT_TRUE(run.fatal) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(velta_test::fileExists(out));
    EXPECT_FALSE(velta_test::fileExists(out + ".part"));
  }
  const convert_test::ConvertRun overwrite = runConvert({"ligate", "--out", b, a, b});
  EXPECT_TRUE(overwrite.fatal);
  EXPECT_NE(overwrite.err.find("would overwrite the input"), std::string::npos) << overwrite.err;
}

}  // namespace
