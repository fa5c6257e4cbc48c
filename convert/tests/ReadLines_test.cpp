#include "ReadLines.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Read.h"

namespace {

std::vector<SnpCall> calls(std::initializer_list<std::pair<std::uint32_t, char>> list) {
  std::vector<SnpCall> result;
  for (const auto& entry : list) result.push_back({entry.first, entry.second});
  return result;
}

std::string format(const std::vector<SnpCall>& input) {
  std::string out;
  appendReadLines(input, out);
  return out;
}

TEST(MergeCalls, KeepsOneCallPerSnpAndBlanksDisagreements) {
  // SNP 3 agrees, SNP 4 has a call and a no-call, SNP 5 disagrees, SNP 6 is
  // a no-call twice.
  std::vector<SnpCall> pair = calls({{3, 'A'},
                                     {4, '-'},
                                     {5, 'C'},
                                     {6, '-'},
                                     {9, 'G'},
                                     {5, 'T'},
                                     {3, 'A'},
                                     {4, 'G'},
                                     {6, '-'},
                                     {1, 'C'}});
  EXPECT_EQ(mergeCalls(pair), 1u);
  ASSERT_EQ(pair.size(), 6u);
  const std::string expected[] = {"1C", "3A", "4G", "5-", "6-", "9G"};
  for (std::size_t i = 0; i < pair.size(); ++i) {
    EXPECT_EQ(std::to_string(pair[i].snp) + pair[i].allele, expected[i]);
  }
}

struct FormatCase {
  std::vector<SnpCall> input;
  const char* lines;
};

TEST(ReadLinesFormat, RunsOfConsecutiveSnpsWithoutDashesAtTheirEnds) {
  const FormatCase cases[] = {
      {calls({{4, 'A'}, {5, '-'}, {6, 'G'}, {11, 'G'}, {12, 'T'}}), "5 A-G 12 GT\n"},
      {calls({{0, '-'}, {1, '-'}, {2, 'C'}, {3, '-'}}), "3 C\n"},
      {calls({{0, '-'}, {1, '-'}}), ""},
      {calls({}), ""},
      {calls({{7, 'A'}, {8, '-'}, {9, '-'}, {20, 'T'}}), "8 A 21 T\n"},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(format(c.input), c.lines);
}

// Independent decoding of read lines, checking velta's limits on the way.
std::map<std::uint32_t, char> decodeWithinLimits(const std::string& text) {
  std::map<std::uint32_t, char> seen;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::size_t runs = 0;
    std::size_t chars = 0;
    unsigned long first = 0;
    std::string run;
    while (words >> first >> run) {
      ++runs;
      chars += run.size();
      EXPECT_GE(first, 1u);
      EXPECT_LE(run.size(), Read::kMaxFragmentLength);
      EXPECT_NE(run.front(), '-');
      EXPECT_NE(run.back(), '-');
      for (std::size_t j = 0; j < run.size(); ++j) {
        const std::uint32_t snp = static_cast<std::uint32_t>(first - 1 + j);
        EXPECT_EQ(seen.count(snp), 0u) << "SNP " << snp << " written twice";
        seen[snp] = run[j];
      }
    }
    EXPECT_GE(runs, 1u);
    EXPECT_LE(runs, Read::kMaxFragments);
    EXPECT_LE(chars, Read::kMaxCharacters);
  }
  return seen;
}

TEST(ReadLinesFormat, LongReadsAreCutWithinVeltasLimitsAndLoseNoCall) {
  std::srand(17);
  for (int trial = 0; trial < 60; ++trial) {
    // Long reads over dense maps: many consecutive SNPs, some gaps, few no-calls.
    std::vector<SnpCall> input;
    std::uint32_t snp = static_cast<std::uint32_t>(std::rand() % 50);
    const int length = 1 + std::rand() % (trial < 30 ? 2000 : 40000);
    const int gapOdds = 2 + std::rand() % 200;
    for (int i = 0; i < length; ++i) {
      snp += (std::rand() % gapOdds == 0) ? 2 + std::rand() % 5 : 1;
      input.push_back({snp, std::rand() % 10 == 0 ? '-' : "ACGT"[std::rand() % 4]});
    }
    std::string out;
    const std::size_t lines = appendReadLines(input, out);
    const std::map<std::uint32_t, char> seen = decodeWithinLimits(out);
    std::size_t lineCount = 0;
    for (char c : out) lineCount += c == '\n';
    EXPECT_EQ(lines, lineCount);
    std::size_t expectedCalls = 0;
    for (const SnpCall& call : input) {
      if (call.allele == '-') continue;
      ++expectedCalls;
      const auto found = seen.find(call.snp);
      ASSERT_NE(found, seen.end()) << "call at SNP " << call.snp << " lost";
      EXPECT_EQ(found->second, call.allele);
    }
    std::size_t writtenCalls = 0;
    for (const auto& entry : seen) writtenCalls += entry.second != '-';
    EXPECT_EQ(writtenCalls, expectedCalls);
  }
}

TEST(ReadLinesFormat, CutsAtExactlyTheLimits) {
  std::vector<SnpCall> run;
  for (std::uint32_t k = 0; k < 257; ++k) run.push_back({k, 'A'});
  EXPECT_EQ(format(run), "1 " + std::string(256, 'A') + " 257 A\n");

  std::vector<SnpCall> scattered;  // 256 lone SNPs: 255 runs fit on a line
  for (std::uint32_t k = 0; k < 256; ++k) scattered.push_back({2 * k, 'C'});
  std::string out;
  EXPECT_EQ(appendReadLines(scattered, out), 2u);
  EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1), "511 C\n");

  std::vector<SnpCall> dense;  // 32767 characters fit on a line, one more does not
  for (std::uint32_t k = 0; k < 32767; ++k) dense.push_back({k, 'G'});
  out.clear();
  EXPECT_EQ(appendReadLines(dense, out), 1u);
  dense.push_back({40000, 'T'});
  out.clear();
  EXPECT_EQ(appendReadLines(dense, out), 2u);
  EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1), "40001 T\n");
}

}  // namespace
