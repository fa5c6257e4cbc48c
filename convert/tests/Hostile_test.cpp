// Whole-program runs of velta-convert on hostile inputs: every row builds its
// files in a scratch folder, runs the binary (so a fatal end leaves through
// exit(), as for a user) and checks the exit status, a message fragment, and
// which files exist afterwards. A run that destroys a file, leaves a part file
// or silently loses data fails its row.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ConvertTestSupport.h"
#include "TestSupport.h"

namespace {

using convert_test::replaceOnce;
using velta_test::fileExists;
using velta_test::readFile;
using velta_test::ScratchDir;

const char kHeader[] =
    "##fileformat=VCFv4.2\n"
    "##contig=<ID=20>\n"
    "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tS1\tS2\n";

// A record of the two samples' phased genotypes.
std::string record(const std::string& chrom, int pos, const std::string& id, const char* ref,
                   const char* alt, const char* gt1 = "0|1", const char* gt2 = "1|0") {
  return chrom + "\t" + std::to_string(pos) + "\t" + id + "\t" + ref + "\t" + alt +
         "\t50\tPASS\t.\tGT\t" + gt1 + "\t" + gt2 + "\n";
}

std::string vcfOf(const std::string& records) {
  return kHeader + records;
}

// Three plain SNPs at 100, 110 and 120.
std::string plainVcf() {
  return vcfOf(record("20", 100, "rs1", "A", "G") + record("20", 110, "rs2", "C", "T") +
               record("20", 120, "rs3", "G", "A"));
}

const char kMap[] = "20 rs1 100 100 A G\n20 rs2 110 110 C T\n20 rs3 120 120 G A\n";

// Reads over the map's SNPs: sorted SAM text, mates of a pair by name.
const char kSamHeader[] = "@HD\tVN:1.6\tSO:coordinate\n@SQ\tSN:20\tLN:1000\n";
std::string samLine(const std::string& name, int flag, int pos, int matePos,
                    const std::string& bases) {
  return name + "\t" + std::to_string(flag) + "\t20\t" + std::to_string(pos) + "\t60\t" +
         std::to_string(bases.size()) + "M\t=\t" + std::to_string(matePos) + "\t0\t" + bases +
         "\t" + std::string(bases.size(), 'I') + "\n";
}

void makeOlder(const std::string& path) {
  const auto when = std::filesystem::last_write_time(path);
  std::filesystem::last_write_time(path, when - std::chrono::hours(1));
}

// Drops the empty end-of-file block (28 bytes) of a bgzipped file.
void cutEofBlock(const std::string& path) {
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 28);
}

struct Hostile {
  std::string name;
  std::function<void(const ScratchDir&)> build;  // writes the row's files
  // {dir} is replaced by the scratch folder; runs there.
  std::vector<std::string> args;
  int status;
  std::string fragment;  // looked for on standard output and standard error
  std::vector<std::string> present;  // files (in the scratch folder) that must exist after
  std::vector<std::string> absent;   // and those that must not
  std::function<void(const ScratchDir&)> check;  // further checks, may be empty
};

void PrintTo(const Hostile& row, std::ostream* os) {
  *os << row.name;
}

std::function<void(const ScratchDir&)> files(
    std::vector<std::pair<std::string, std::string>> namedTexts) {
  return [namedTexts](const ScratchDir& dir) {
    for (const auto& [name, text] : namedTexts) dir.write(name, text);
  };
}

bool isLink(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::vector<std::string> mapRun(const std::string& out) {
  return {"map", "--vcf", "in.vcf", "--sample", "S1", "--out", out};
}

std::vector<Hostile> hostileRows() {
  const auto noCheck = std::function<void(const ScratchDir&)>();
  const std::vector<std::string> kMapRun = mapRun("out.map");
  const auto mapIs = [](std::string expected) {
    return [expected](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("out.map")), expected); };
  };
  const std::string pair = samLine("p", 99, 95, 115, "GGGGGGGGGGGG") +  // rs1 G
                           samLine("p", 147, 115, 95, "GGGGGGGGGG");   // rs3 G
  return {
      // 1. Outputs that are not regular files are written through, never replaced.
      {"OutputLinkToDevFull",
       [](const ScratchDir& dir) {
         dir.write("in.vcf", plainVcf());
         ASSERT_EQ(symlink("/dev/full", dir.file("full.map").c_str()), 0);
       },
       mapRun("full.map"), 1, "cannot write full.map: No space left on device", {}, {"full.map.part"},
       [](const ScratchDir& dir) { EXPECT_TRUE(isLink(dir.file("full.map"))); }},
      {"OutputLinkToAFileReplacesTheTarget",
       [](const ScratchDir& dir) {
         dir.write("in.vcf", plainVcf());
         dir.write("target.map", "old\n");
         ASSERT_EQ(symlink("target.map", dir.file("link.map").c_str()), 0);
       },
       mapRun("link.map"), 0, "3 SNPs kept", {"target.map"}, {"link.map.part", "target.map.part"},
       [](const ScratchDir& dir) {
         EXPECT_TRUE(isLink(dir.file("link.map")));
         EXPECT_EQ(readFile(dir.file("target.map")), kMap);
       }},
      {"BgzippedVcfThroughALinkToDevNullGetsNoIndex",
       [](const ScratchDir& dir) {
         dir.write("in.map", kMap);
         dir.write("h.txt", "AG\nCT\nGA\n");
         ASSERT_EQ(symlink("/dev/null", dir.file("o.vcf.gz").c_str()), 0);
       },
       {"vcf", "--map", "in.map", "--haplotypes", "h.txt", "--sample", "S", "--out", "o.vcf.gz"},
       0, "o.vcf.gz is not a regular file: no index written", {}, {"o.vcf.gz.tbi", "o.vcf.gz.part"},
       [](const ScratchDir& dir) { EXPECT_TRUE(isLink(dir.file("o.vcf.gz"))); }},
      // 2. An output naming an input is refused before anything is read or written.
      {"OutIsTheInputUnderAnotherName", files({{"in.vcf", plainVcf()}}), mapRun("./in.vcf"), 1,
       "output ./in.vcf would overwrite the input in.vcf", {"in.vcf"}, {"in.vcf.part"},
       [](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("in.vcf")), plainVcf()); }},
      {"PartNameIsAnInput", files({{"out.map.part", plainVcf()}}),
       {"map", "--vcf", "out.map.part", "--sample", "S1", "--out", "out.map"}, 1,
       "would overwrite the input out.map.part", {"out.map.part"}, {"out.map"}, noCheck},
      {"HaplotypesAsOutput", files({{"in.map", kMap}, {"h.txt", "AG\nCT\nGA\n"}}),
       {"vcf", "--map", "in.map", "--haplotypes", "h.txt", "--sample", "S", "--out", "h.txt"}, 1,
       "would overwrite the input h.txt", {"h.txt"}, {}, noCheck},
      // 3. No part file is left on a fatal end; a folder as output fails first.
      {"FatalEndLeavesNoPart", files({{"in.vcf", plainVcf()}}),
       {"map", "--vcf", "in.vcf", "--sample", "NOBODY", "--out", "out.map"}, 1,
       "sample NOBODY is not in in.vcf", {}, {"out.map", "out.map.part"}, noCheck},
      {"FatalEndOfVcfLeavesNoPart", files({{"in.map", kMap}, {"h.txt", "AG\nCT\n"}}),
       {"vcf", "--map", "in.map", "--haplotypes", "h.txt", "--sample", "S", "--out", "o.vcf.gz"},
       1, "has 2 lines, the map 3 SNPs", {}, {"o.vcf.gz", "o.vcf.gz.part"}, noCheck},
      {"OutputFolderFailsBeforeTheInputIsRead",
       [](const ScratchDir& dir) { std::filesystem::create_directory(dir.file("o.map")); },
       {"map", "--vcf", "missing.vcf", "--sample", "S1", "--out", "o.map"}, 1,
       "cannot create o.map: it is a folder", {}, {"o.map.part"}, noCheck},
      // 4. An earlier index never lies beside new data.
      {"EarlierIndexesAreReplaced",
       files({{"in.map", kMap},
              {"h.txt", "AG\nCT\nGA\n"},
              {"o.vcf.gz.tbi", "old"},
              {"o.vcf.gz.csi", "old"}}),
       {"vcf", "--map", "in.map", "--haplotypes", "h.txt", "--sample", "S", "--out", "o.vcf.gz"},
       0, "3 SNPs", {"o.vcf.gz", "o.vcf.gz.tbi"}, {"o.vcf.gz.csi", "o.vcf.gz.tbi.part"},
       [](const ScratchDir& dir) { EXPECT_NE(readFile(dir.file("o.vcf.gz.tbi")), "old"); }},
      {"IndexThatCannotBeReplacedKeepsTheOldData",
       [](const ScratchDir& dir) {
         dir.write("in.map", kMap);
         dir.write("h.txt", "AG\nCT\nGA\n");
         dir.write("o.vcf.gz", "old data");
         std::filesystem::create_directory(dir.file("o.vcf.gz.tbi"));
       },
       {"vcf", "--map", "in.map", "--haplotypes", "h.txt", "--sample", "S", "--out", "o.vcf.gz"},
       1, "cannot remove o.vcf.gz.tbi", {"o.vcf.gz"}, {"o.vcf.gz.part", "o.vcf.gz.tbi.part"},
       [](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("o.vcf.gz")), "old data"); }},
      // 5. Names with blanks and position 0.
      {"IdWithABlankIsNamedByPosition",
       files({{"in.vcf", vcfOf(record("20", 100, "rs 1", "A", "G"))}}), kMapRun, 0,
       "1 IDs with white space named CHR:POS", {}, {}, mapIs("20 20:100 100 100 A G\n")},
      {"ChromosomeWithABlank", files({{"in.vcf", vcfOf(record("chr 20", 100, "rs1", "A", "G"))}}),
       kMapRun, 1, "record chr 20:100 (rs1) is on chromosome 'chr 20', a name with white space",
       {}, {"out.map", "out.map.part"}, noCheck},
      {"PositionZeroIsDropped",
       files({{"in.vcf", vcfOf(record("20", 0, "rs0", "A", "G") + record("20", 5, "rs5", "C", "T"))}}),
       kMapRun, 0, "1 SNP records at a position outside 1..4294967295 dropped", {}, {},
       mapIs("20 rs5 5 5 C T\n")},
      // 6. One SNP per position.
      {"RepeatedRecordIsKeptOnce",
       files({{"in.vcf", vcfOf(record("20", 100, "rs1", "A", "G") + record("20", 100, "rs1", "A", "G") +
                               record("20", 110, "rs2", "C", "T"))}}),
       kMapRun, 0, "1 repeated records passed over (the first kept)", {}, {},
       mapIs("20 rs1 100 100 A G\n20 rs2 110 110 C T\n")},
      {"SplitMultiAllelicSiteIsDropped",
       files({{"in.vcf", vcfOf(record("20", 100, "rs1", "A", "G") + record("20", 100, "rs1", "A", "T") +
                               record("20", 100, "rs1i", "AT", "A") + record("20", 110, "rs2", "C", "T"))}}),
       kMapRun, 0, "2 SNP records of split multi-allelic sites dropped", {}, {},
       mapIs("20 rs2 110 110 C T\n")},
      // 7. A triploid call is no heterozygous diploid one.
      {"TriploidIsNotHeterozygous",
       files({{"in.vcf", vcfOf(record("20", 100, "rs1", "A", "G", "0/1/1") +
                               record("20", 110, "rs2", "C", "T", "0/1"))}}),
       {"map", "--vcf", "in.vcf", "--sample", "S1", "--het-only", "--out", "out.map"}, 0,
       "1 not diploid", {}, {}, mapIs("20 rs2 110 110 C T\n")},
      // 8. Mates pair across the two ends only; reads named '*' never pair.
      {"TwoFirstMatesOfOneName",
       files({{"in.map", kMap},
              {"in.sam", std::string(kSamHeader) + samLine("p", 99, 95, 115, "GGGGGGGGGGGG") +
                             samLine("p", 99, 105, 115, "TTTTTTTTTT") +
                             samLine("p", 147, 115, 95, "GGGGGGGGGG")}}),
       {"reads", "--bam", "in.sam", "--map", "in.map", "--out", "r.txt"}, 0,
       "1 second primary alignments of one end of a pair dropped", {"r.txt"}, {},
       [](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("r.txt")), "1 G 3 G\n"); }},
      {"ReadsNamedStarAreNotJoined",
       files({{"in.map", kMap},
              {"in.sam", std::string(kSamHeader) + samLine("*", 99, 95, 115, "GGGGGGGGGGGG") +
                             samLine("*", 147, 115, 95, "GGGGGGGGGG")}}),
       {"reads", "--bam", "in.sam", "--map", "in.map", "--out", "r.txt"}, 0,
       "2 paired reads named '*' written alone", {"r.txt"}, {},
       [](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("r.txt")), "1 G\n3 G\n"); }},
      // 9. An index older than its data is not used.
      {"StaleBamIndexIsNotUsed",
       [pair](const ScratchDir& dir) {
         dir.write("in.map", kMap);
         const std::string sam = dir.write("in.sam", std::string(kSamHeader) + pair);
         convert_test::writeSortedCopy(sam, dir.file("in.bam"));
         makeOlder(dir.file("in.bam.bai"));
       },
       {"reads", "--bam", "in.bam", "--map", "in.map", "--out", "r.txt"}, 0,
       "the index in.bam.bai is older than in.bam", {"r.txt"}, {},
       [](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("r.txt")), "1 G 3 G\n"); }},
      {"StaleTabixIndexIsNotUsed",
       [](const ScratchDir& dir) {
         convert_test::writeIndexedVcf(dir.file("in.vcf.gz"), plainVcf());
         makeOlder(dir.file("in.vcf.gz.tbi"));
       },
       {"map", "--vcf", "in.vcf.gz", "--sample", "S1", "--region", "20:105-120", "--out",
        "out.map"},
       0, "the index in.vcf.gz.tbi is older than in.vcf.gz", {}, {},
       mapIs("20 rs2 110 110 C T\n20 rs3 120 120 G A\n")},
      // 10. A sample name is not taken for a file or folder of the working folder.
      {"SampleNameBesideAFolderOfThatName",
       [](const ScratchDir& dir) {
         dir.write("in.vcf", plainVcf());
         std::filesystem::create_directory(dir.file("S1"));
       },
       {"panel", "--vcf", "in.vcf", "--samples-exclude", "S1", "--out", "p"}, 0,
       "SNPs kept for 1 samples", {"p.panel"}, {},
       [](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("p.panel")), "GA\nTC\nAG\n"); }},
      {"SampleNameBesideAFileOfThatName", files({{"in.vcf", plainVcf()}, {"S1", "S2\n"}}),
       {"panel", "--vcf", "in.vcf", "--samples-exclude", "S1", "--out", "p"}, 0,
       "taken as sample names; the file of that name is not read", {"p.panel"}, {},
       [](const ScratchDir& dir) { EXPECT_EQ(readFile(dir.file("p.panel")), "GA\nTC\nAG\n"); }},
      // 11. A bgzipped file cut short is refused.
      {"VcfCutShort",
       [](const ScratchDir& dir) {
         convert_test::writeIndexedVcf(dir.file("in.vcf.gz"), plainVcf());
         cutEofBlock(dir.file("in.vcf.gz"));
       },
       {"map", "--vcf", "in.vcf.gz", "--sample", "S1", "--out", "out.map"}, 1,
       "VCF in.vcf.gz is cut short", {}, {"out.map", "out.map.part"}, noCheck},
      {"BamCutShort",
       [pair](const ScratchDir& dir) {
         dir.write("in.map", kMap);
         const std::string sam = dir.write("in.sam", std::string(kSamHeader) + pair);
         convert_test::writeSortedCopy(sam, dir.file("in.bam"));
         cutEofBlock(dir.file("in.bam"));
       },
       {"reads", "--bam", "in.bam", "--map", "in.map", "--out", "r.txt"}, 1,
       "alignment file in.bam is cut short", {}, {"r.txt", "r.txt.part"}, noCheck},
      // 12. Clear messages.
      {"RegionNotANumber", files({{"in.vcf", plainVcf()}}),
       {"map", "--vcf", "in.vcf", "--sample", "S1", "--region", "20:abc", "--out", "out.map"}, 1,
       "--region 20:abc: expected CHR, CHR:FROM or CHR:FROM-TO (1-based) with CHR a contig of "
       "the VCF in.vcf (its contigs: 20)",
       {}, {"out.map"}, noCheck},
      {"RegionDashOnlyWithoutContigLines",
       files({{"in.vcf", replaceOnce(plainVcf(), "##contig=<ID=20>\n", "")}}),
       {"map", "--vcf", "in.vcf", "--sample", "S1", "--region", "20:-", "--out", "out.map"}, 1,
       "--region 20:-: no record of in.vcf lies on a chromosome named 20:-", {}, {"out.map"},
       noCheck},
      {"NoContigLinesAreReadWithAWarning",
       files({{"in.vcf", replaceOnce(plainVcf(), "##contig=<ID=20>\n", "")}}), kMapRun, 0,
       "does not declare; it is read as declared there", {}, {}, mapIs(kMap)},
      {"UndeclaredFilterIsReadWithAWarning",
       files({{"in.vcf", replaceOnce(plainVcf(), "\tPASS\t.\tGT\t0|1\t1|0\n20\t110",
                                     "\tq10\t.\tGT\t0|1\t1|0\n20\t110")}}),
       kMapRun, 0, "a record after the header names a chromosome, FILTER", {}, {}, mapIs(kMap)},
      {"SampleFieldWithoutGt",
       files({{"in.vcf", replaceOnce(plainVcf(), "\tGT\t0|1\t1|0\n20\t110", "\tDP\t3\t4\n20\t110")}}),
       kMapRun, 1, "in.vcf: record 20:100 (rs1) has no GT genotypes", {}, {"out.map"}, noCheck},
  };
}

std::string substitute(std::string word, const ScratchDir& scratch) {
  const std::size_t at = word.find("{dir}");
  if (at != std::string::npos) word.replace(at, 5, scratch.path());
  return word;
}

class ConvertHostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(ConvertHostileInput, EndsWithItsExpectedOutcome) {
  const Hostile& row = GetParam();
  ScratchDir scratch;
  row.build(scratch);
  std::vector<std::string> args;
  for (const std::string& word : row.args) args.push_back(substitute(word, scratch));
  const velta_test::RunResult r =
      convert_test::runConvertBinary(args, "cd '" + scratch.path() + "' &&");
  EXPECT_EQ(r.status, row.status) << r.out << r.err;
  EXPECT_NE((r.out + r.err).find(row.fragment), std::string::npos)
      << "missing: " << row.fragment << "\nstdout:\n"
      << r.out << "\nstderr:\n"
      << r.err.substr(0, 2000);
  for (const std::string& name : row.present) EXPECT_TRUE(fileExists(scratch.file(name))) << name;
  for (const std::string& name : row.absent) {
    EXPECT_FALSE(fileExists(scratch.file(name)) || isLink(scratch.file(name))) << name;
  }
  if (row.check) row.check(scratch);
}

INSTANTIATE_TEST_SUITE_P(Rows, ConvertHostileInput, ::testing::ValuesIn(hostileRows()),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                           return info.param.name;
                         });

}  // namespace
