// Whole-program runs on hostile inputs: every row is one input and the outcome
// it must have (exit status, a message fragment, whether the output file
// exists). A crash, a hang or a completed run that silently lost data fails
// its row. Small -n and -m keep the whole table to seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Parameter.h"
#include "TestSupport.h"
#include "Velta.h"

namespace {

using velta_test::fileExists;
using velta_test::readFile;
using velta_test::RunResult;
using velta_test::runVeltaBinary;
using velta_test::ScratchDir;

// ---- input builders -------------------------------------------------------

// n SNPs, alleles A/G and C/T in turn, 100 apart.
std::string mapOf(int n, const char* eol = "\n") {
  std::string text;
  for (int j = 0; j < n; ++j) {
    text += "20 rs" + std::to_string(j + 1) + " " + std::to_string(100 * (j + 1)) + " " +
            std::to_string(j + 1) + (j % 2 ? " C T" : " A G") + eol;
  }
  return text;
}

// The major allele of SNP j of mapOf, or its minor one.
char alleleOf(int j, bool minor) {
  return j % 2 ? (minor ? 'T' : 'C') : (minor ? 'G' : 'A');
}

// Overlapping pairs along the map from one haplotype (minor at even SNPs) and
// its complement: every read allele is consistent.
std::string readsOf(int n, const char* eol = "\n") {
  std::string text;
  for (int j = 0; j + 1 < n; ++j) {
    for (bool first : {true, false}) {
      const bool minorHere = (j % 2 == 0) == first;
      text +=
          std::to_string(j + 1) + " " + alleleOf(j, minorHere) + alleleOf(j + 1, !minorHere) + eol;
    }
  }
  return text;
}

// `haplotypes` panel haplotypes over n SNPs, alleles in a fixed pattern.
std::string panelOf(int n, int haplotypes, const char* eol = "\n") {
  std::string text;
  for (int j = 0; j < n; ++j) {
    for (int h = 0; h < haplotypes; ++h) text += alleleOf(j, (h + j / 3) % 2 == 1);
    text += eol;
  }
  return text;
}

// Bytes of every value, NUL and line feeds included, from a fixed sequence.
std::string garbage(std::size_t size) {
  std::string text(size, '\0');
  std::uint32_t state = 12345;
  for (char& c : text) {
    state = state * 1103515245U + 12345U;
    c = static_cast<char>(state >> 23);
  }
  return text;
}

std::string repeated(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += unit;
  return text;
}

// ---- the table ------------------------------------------------------------

struct Hostile {
  std::string name;
  // Files to write; an empty optional is expressed by a null builder.
  std::function<std::string()> map;
  std::function<std::string()> reads;
  std::function<std::string()> panel;
  // {map}, {reads}, {panel}, {out} and {dir} are replaced by scratch paths.
  std::vector<std::string> args;
  int status;
  std::string fragment;  // looked for on standard output and standard error
  bool outputExists;
};

void PrintTo(const Hostile& row, std::ostream* os) {
  *os << row.name;
}

const int kSnps = 10;
std::string map10() {
  return mapOf(kSnps);
}
std::string reads10() {
  return readsOf(kSnps);
}
std::string panel10() {
  return panelOf(kSnps, 4);
}

const std::vector<std::string> kAssembly = {"--mfile",  "{map}", "--sfile", "{reads}",
                                            "--output", "{out}", "-n",      "2"};
const std::vector<std::string> kInference = {"--mfile", "{map}",   "--sfile",  "{reads}",
                                             "--rfile", "{panel}", "--output", "{out}",
                                             "-n",      "2",       "-m",       "1"};

std::vector<std::string> with(std::vector<std::string> args, std::vector<std::string> more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::vector<Hostile> hostileRows() {
  const auto none = std::function<std::string()>();
  const auto text = [](std::string t) { return [t] { return t; }; };
  const std::string nul(1, '\0');
  // A read of 18 alleles: the bit count every complete load of reads10 reports.
  const std::string allReads = "Number of read bit : [36]";
  return {
      // Empty files.
      {"EmptyMapAndReads", text(""), text(""), none, kAssembly, 0, "Number of SNP : [0]", true},
      {"EmptyReadFile", map10, text(""), none, kAssembly, 0,
       "WARINING => No read with an allele of the SNP map was loaded", true},
      {"EmptyPanel", map10, reads10, text(""), kInference, 1, "holds no haplotype", false},
      // Binary garbage.
      {"BinaryMap", text(garbage(4096)), reads10, none, kAssembly, 1,
       "FATAL => Map file has wrong format", false},
      {"BinaryReads", map10, text(garbage(4096)), none, kAssembly, 0,
       "WARINING => No read with an allele of the SNP map was loaded", true},
      {"BinaryPanel", map10, reads10, text(garbage(4096)), kInference, 1, "FATAL => Reference file",
       false},
      // NUL bytes.
      {"MapWithNulInCoordinate", text("20 rs1 1" + nul + "00 1 A G\n"), reads10, none, kAssembly, 1,
       "FATAL => Map file has wrong format", false},
      {"ReadWithNulAllele", map10, text(reads10() + "1 A" + nul + "G\n"), none, kAssembly, 0,
       "Inconsistent allele", true},
      // CRLF line ends everywhere lose nothing.
      {"CrlfAssembly", [] { return mapOf(kSnps, "\r\n"); }, [] { return readsOf(kSnps, "\r\n"); },
       none, kAssembly, 0, allReads, true},
      {"CrlfInference", [] { return mapOf(kSnps, "\r\n"); }, [] { return readsOf(kSnps, "\r\n"); },
       [] { return panelOf(kSnps, 4, "\r\n"); }, kInference, 0, allReads, true},
      // One line of a megabyte.
      {"MegabyteMapLine", [] { return "20 rs1 100 1 A G" + repeated(" x", 1 << 19) + "\n"; },
       reads10, none, kAssembly, 1, "Map file has wrong format", false},
      {"MegabyteReadLine", map10, [] { return "1 " + std::string(1 << 20, 'A') + "\n"; }, none,
       kAssembly, 1, "a read holds at most 32767 allele characters", false},
      {"MegabytePanelLine", map10, reads10, [] { return std::string(1 << 20, 'A') + "\n"; },
       kInference, 1, "at most 65536 haplotypes are supported", false},
      // Positions.
      {"PositionBeyondTheMap", map10, text(reads10() + "11 A\n"), none, kAssembly, 0,
       "Inconsistent allele A at position 11, given A, should be ~ or ~", true},
      {"PositionZero", map10, text(reads10() + "0 A\n"), none, kAssembly, 1,
       "line 19: SNP positions count from 1, found position 0", false},
      {"PositionBeyond32Bits", map10, text(reads10() + "4294967297 A\n"), none, kAssembly, 0,
       "expected a SNP position (a number from 1), found \"4294967297\"", true},
      {"PositionAt32BitEdge", map10, text(reads10() + "4294967295 AG\n"), none, kAssembly, 0,
       "Inconsistent allele G at position 4294967296", true},
      // Numeric options.
      {"NegativeIterations", map10, reads10, none, with(kAssembly, {"-n", "-5"}), 0,
       "WARINING => Option -n is -5: no sampling iteration runs", true},
      {"NegativeIterationsInference", map10, reads10, panel10, with(kInference, {"-n", "-2"}), 0,
       allReads, true},
      {"HugeIterationsAndNegativeInner", map10, reads10, panel10,
       with(kInference, {"-n", "99999999999", "-m", "-1"}), 1,
       "FATAL => Option -m (inner iterations) must be 0 or more, found -1", false},
      {"HugeInnerIterationsBeyond32Bits", map10, reads10, panel10,
       with(kInference, {"-m", "-4294967296"}), 1, "must be 0 or more, found -2.14748e+09", false},
      {"HugeVerbose", map10, reads10, none, with(kAssembly, {"-v", "99999999999"}), 0,
       "    -v 255\n", true},
      {"NegativeSampleSize", map10, reads10, panel10, with(kInference, {"-s", "-1"}), 1,
       "FATAL => Option -s (panel haplotypes sampled for the warm start) must be 1 or more, found "
       "-1",
       false},
      {"SampleSizeZero", map10, reads10, panel10, with(kInference, {"-s", "0"}), 1,
       "must be 1 or more, found 0", false},
      {"SampleSizeZeroWithoutWarmStart", map10, reads10, panel10,
       with(kInference, {"-s", "0", "-n", "-2"}), 0, allReads, true},
      {"SampleSize300OfASmallPanel", map10, reads10, panel10, with(kInference, {"-s", "300"}), 0,
       "Number of reference : [4]", true},
      {"SampleSize300OfA300Panel", map10, reads10, [] { return panelOf(kSnps, 300); },
       with(kInference, {"-s", "300"}), 1, "Sample size 300 is outside the allowed range", false},
      {"NegativeRho", map10, reads10, panel10, with(kInference, {"-r", "-1"}), 1,
       "Option -r (population constant) must be a finite number of 0 or more, found -1", false},
      {"NegativeMu", map10, reads10, none, with(kAssembly, {"-u", "-1"}), 1,
       "Option -u (smoothing exponent) must be a finite number of 0 or more", false},
      // Error rates.
      {"SeqErrorZero", map10, reads10, none, with(kAssembly, {"-e", "0"}), 0, allReads, true},
      {"SeqErrorOne", map10, reads10, none, with(kAssembly, {"-e", "1"}), 0, allReads, true},
      {"SeqErrorZeroInference", map10, reads10, panel10, with(kInference, {"-e", "0"}), 0, allReads,
       true},
      {"SeqErrorOneInference", map10, reads10, panel10, with(kInference, {"-e", "1"}), 0, allReads,
       true},
      {"SeqErrorAboveOne", map10, reads10, none, with(kAssembly, {"-e", "1.5"}), 1,
       "Option -e (sequencing error rate) must be between 0 and 1, found 1.5", false},
      {"SeqErrorNegative", map10, reads10, none, with(kAssembly, {"-e", "-0.1"}), 1,
       "must be between 0 and 1, found -0.1", false},
      {"SeqErrorNotANumber", map10, reads10, none, with(kAssembly, {"-e", "nan"}), 1,
       "must be between 0 and 1, found nan", false},
      {"MismatchRateZero", map10, reads10, panel10, with(kInference, {"-w", "0"}), 0, allReads,
       true},
      {"MismatchRateOne", map10, reads10, panel10, with(kInference, {"-w", "1"}), 0, allReads,
       true},
      {"MismatchRateAboveOne", map10, reads10, panel10, with(kInference, {"-w", "2"}), 1,
       "Option -w (mismatch rate) must be between 0 and 1, found 2", false},
      // Panel shapes.
      {"PanelOneSnpShort", map10, reads10, [] { return panelOf(kSnps - 1, 4); }, kInference, 1,
       "has 9 SNP lines but the SNP map has 10 SNPs", false},
      {"PanelOneSnpLong", map10, reads10, [] { return panelOf(kSnps + 1, 4); }, kInference, 1,
       "has more SNP lines than the SNP map has SNPs (10): line 11", false},
      {"PanelOfOneHaplotype", map10, reads10, [] { return panelOf(kSnps, 1); }, kInference, 0,
       "Number of reference : [1]", true},
      {"PanelOf70000Haplotypes", map10, reads10, [] { return panelOf(kSnps, 70000); }, kInference,
       1, "has 70000 haplotypes on line 1; at most 65536", false},
      // Read depth and length.
      {"Reads65536OnOneSnp", map10, [] { return repeated("1 A\n", 65536); }, none, kAssembly, 1,
       "line 65536: SNP 1 of the SNP map is covered by more than 65535 read alleles", false},
      {"ReadOf400ConsecutiveSnps", [] { return mapOf(400); },
       [] {
         std::string a;
         std::string b;
         for (int j = 0; j < 400; ++j) {
           a += alleleOf(j, j % 3 == 0);
           b += alleleOf(j, j % 3 != 0);
         }
         return "1 " + a + "\n1 " + b + "\n";
       },
       none, kAssembly, 0, "Number of read bit : [800]", true},
      // Output paths.
      {"OutputDeviceFull",
       map10,
       reads10,
       none,
       {"--mfile", "{map}", "--sfile", "{reads}", "--output", "/dev/full", "-n", "2"},
       1,
       "FATAL => Cannot write output file /dev/full: No space left on device",
       false},
      {"OutputIsAFolder",
       map10,
       reads10,
       none,
       {"--mfile", "{map}", "--sfile", "{reads}", "--output", "{dir}", "-n", "2"},
       1,
       "cannot be created: Is a directory",
       false},
      {"OutputBelowAFile",
       map10,
       reads10,
       none,
       {"--mfile", "{map}", "--sfile", "{reads}", "--output", "{map}/out.txt", "-n", "2"},
       1,
       "cannot be created: Not a directory",
       false},
      {"OutputFolderMissing",
       map10,
       reads10,
       none,
       {"--mfile", "{map}", "--sfile", "{reads}", "--output", "{dir}/none/out.txt", "-n", "2"},
       1,
       "cannot be created: No such file or directory",
       false},
      // Folders named as input files.
      {"ReadFileIsAFolder",
       map10,
       none,
       none,
       {"--mfile", "{map}", "--sfile", "{dir}", "--output", "{out}"},
       1,
       "Sequencing file",
       false},
      // The options added beside the original ones take whole numbers only.
      {"PolishNotZeroOrOne", map10, reads10, none, with(kAssembly, {"--polish", "2"}), 1,
       "Option --polish (final phase stage) must be 0 or 1, found 2", false},
      {"PolishNotANumber", map10, reads10, panel10, with(kInference, {"--polish", "yes"}), 1,
       "Option --polish (final phase stage) must be a whole number", false},
      {"ThreadsZero", map10, reads10, none, with(kAssembly, {"--threads", "0"}), 1,
       "Option --threads (threads) must be 1 or more, found 0", false},
      {"SeedNegative", map10, reads10, none, with(kAssembly, {"--seed", "-1"}), 1,
       "Option --seed (random seed) must be a whole number from 0 to 4294967295, found \"-1\"",
       false},
      {"SeedBeyond32Bits", map10, reads10, none, with(kAssembly, {"--seed", "4294967296"}), 1,
       "Option --seed (random seed) must be a whole number", false},
      {"MapFileIsAFolder",
       none,
       reads10,
       none,
       {"--mfile", "{dir}", "--sfile", "{reads}", "--output", "{out}"},
       1,
       "is a folder, not a file",
       false},
  };
}

std::string substitute(std::string word, const ScratchDir& scratch) {
  const std::pair<const char*, std::string> names[] = {{"{map}", scratch.file("map.txt")},
                                                       {"{reads}", scratch.file("reads.txt")},
                                                       {"{panel}", scratch.file("panel.txt")},
                                                       {"{out}", scratch.file("out.txt")},
                                                       {"{dir}", scratch.path()}};
  for (const auto& [key, value] : names) {
    const std::size_t at = word.find(key);
    if (at != std::string::npos) word.replace(at, std::string(key).size(), value);
  }
  return word;
}

class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, EndsWithItsExpectedOutcome) {
  const Hostile& row = GetParam();
  ScratchDir scratch;
  if (row.map) scratch.write("map.txt", row.map());
  if (row.reads) scratch.write("reads.txt", row.reads());
  if (row.panel) scratch.write("panel.txt", row.panel());
  std::vector<std::string> args;
  for (const std::string& word : row.args) args.push_back(substitute(word, scratch));
  const RunResult r = runVeltaBinary(args);
  EXPECT_EQ(r.status, row.status) << r.err;
  EXPECT_NE((r.out + r.err).find(row.fragment), std::string::npos)
      << "missing: " << row.fragment << "\nstderr:\n"
      << r.err.substr(0, 2000);
  const std::string out = scratch.file("out.txt");
  EXPECT_EQ(fileExists(out), row.outputExists);
  if (row.status == 0) {
    // A complete run writes one line per map SNP, nothing lost on the way.
    const std::string written = readFile(out);
    const std::string mapText = row.map();
    const auto lines = [](const std::string& t) { return std::count(t.begin(), t.end(), '\n'); };
    EXPECT_EQ(lines(written), lines(mapText));
    EXPECT_EQ(written.size(), 3 * static_cast<std::size_t>(lines(mapText)));
  }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, HostileInput, ::testing::ValuesIn(hostileRows()),
                         [](const testing::TestParamInfo<Hostile>& info) {
                           return info.param.name;
                         });

// Counts beyond 32 bits saturate rather than wrap to an unrelated value.
TEST(HostileOptions, CountsBeyond32BitsSaturate) {
  struct Case {
    const char* value;
    int expected;
  };
  for (Case c : {Case{"99999999999", INT_MAX}, Case{"4294967297", INT_MAX},
                 Case{"-99999999999", INT_MIN}, Case{"2147483647", INT_MAX}, Case{"12", 12}}) {
    for (const char* option : {"-n", "-m", "-s"}) {
      Parameter p;
      std::string name = option;
      std::string value = c.value;
      std::vector<char*> argv = {const_cast<char*>("velta"), name.data(), value.data()};
      parseInputParameter(static_cast<int>(argv.size()), argv.data(), p);
      const int got = name == "-n"   ? p.getMaxIter()
                      : name == "-m" ? p.getSubIter()
                                     : p.getSampleSize();
      EXPECT_EQ(got, c.expected) << option << " " << c.value;
    }
  }
}

// A fixed seed makes runs reproducible whatever the clock says, in both modes.
TEST(HostileOptions, FixedSeedGivesIdenticalOutputs) {
  for (const bool inference : {false, true}) {
    std::string outputs[2];
    for (std::string& output : outputs) {
      ScratchDir scratch;
      scratch.write("map.txt", map10());
      scratch.write("reads.txt", reads10());
      scratch.write("panel.txt", panel10());
      std::vector<std::string> args;
      for (const std::string& word : with(inference ? kInference : kAssembly, {"--seed", "42"})) {
        args.push_back(substitute(word, scratch));
      }
      ASSERT_EQ(runVeltaBinary(args).status, 0);
      output = readFile(scratch.file("out.txt"));
    }
    EXPECT_EQ(outputs[0], outputs[1]) << (inference ? "inference" : "assembly");
    EXPECT_EQ(outputs[0].size(), 3U * kSnps);
  }
}

}  // namespace
