#include "Read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "PlainKernels.h"
#include "TestSupport.h"
#include "VeltaUtil.h"

namespace {

using Calls = std::vector<std::pair<std::uint32_t, bool>>;

// Twelve SNPs; SNP index i has major kMajor[i] and minor kMinor[i].
const char kMajor[] = "ACGTACACGACG";
const char kMinor[] = "GTACCAGTTGTA";

Parameter twelveSnpMap() {
  std::ostringstream map;
  for (int i = 0; i < 12; ++i)
    map << "20 rs" << i << ' ' << 100 * i << " 0 " << kMajor[i] << ' ' << kMinor[i] << '\n';
  std::istringstream in(map.str());
  Parameter parameter;
  parameter.initFromMapStream(in);
  return parameter;
}

using velta_test::uniformMap;

Calls callsOf(const Read& read) {
  Calls calls;
  for (ReadIterator it = read.begin(); it != read.end(); ++it) calls.push_back(*it);
  return calls;
}

// Straightforward decoding of a well-formed read line against the map, for
// checking the packed storage.
Calls referenceCalls(const std::string& text, const Parameter& parameter) {
  std::istringstream words(text);
  Calls calls;
  unsigned long position;
  std::string token;
  while (words >> position >> token) {
    for (std::size_t j = 0; j < token.size(); ++j) {
      const unsigned snp = static_cast<unsigned>(position - 1 + j);
      if (snp >= parameter.getNSnp()) continue;
      if (token[j] == parameter.getMinorAllele(snp)) {
        calls.push_back({snp, true});
      } else if (token[j] == parameter.getMajorAllele(snp)) {
        calls.push_back({snp, false});
      }
    }
  }
  return calls;
}

struct ParseCase {
  const char* text;
  Calls calls;
  const char* err;  // exact standard error
};

TEST(ReadParsing, LinesGiveTheirPresentCallsInOrder) {
  const Parameter p = twelveSnpMap();
  const ParseCase cases[] = {
      {"3 --AC- 9 T", {{4, false}, {5, false}, {8, true}}, ""},
      {"3 ----", {}, ""},
      {"1 A-A", {{0, false}, {2, true}}, ""},  // inner '-' is stored but skipped
      {"1 GT\r", {{0, true}, {1, true}}, ""},
      {"1 GT \t\r", {{0, true}, {1, true}}, ""},
      {"  \t1\tGT", {{0, true}, {1, true}}, ""},
      {"5 C 1 A", {{4, true}, {0, false}}, ""},  // fragments keep line order
      {"1 A 1 G", {{0, false}, {0, true}}, ""},  // overlaps count twice
      {"3 AC 7",
       {{2, true}, {3, true}},
       "WARINING => Read file , line 0: position 7 has no allele run after it; ignored\n\n"},
      {"x 3 AC",
       {},
       "WARINING => Read file , line 0: expected a SNP position (a number from 1), found \"x\"; "
       "the rest of the line is ignored\n\n"},
      {"1 A -2 C",
       {{0, false}},
       "WARINING => Read file , line 0: expected a SNP position (a number from 1), found \"-2\"; "
       "the rest of the line is ignored\n\n"},
      {"4294967296 A",
       {},
       "WARINING => Read file , line 0: expected a SNP position (a number from 1), found "
       "\"4294967296\"; the rest of the line is ignored\n\n"},
  };
  for (const ParseCase& c : cases) {
    testing::internal::CaptureStderr();
    const Read read(c.text, p);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.text;
    EXPECT_EQ(callsOf(read), c.calls) << c.text;
    EXPECT_EQ(read.size(), c.calls.size()) << c.text;
  }
}

TEST(ReadParsing, InconsistentAlleleIsReportedAndStoredAbsent) {
  const Parameter p = twelveSnpMap();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Read read("1 -CX- 12 A", p);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1 -CX- 12 A CX\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARINING => [1 -CX- 12 A] - Inconsistent allele X at position 3, given X, should be "
            "A or G\n");
  EXPECT_EQ(callsOf(read), (Calls{{1, false}, {11, true}}));
}

TEST(ReadParsing, CharactersBeyondTheMapAreReportedAgainstTilde) {
  const Parameter p = twelveSnpMap();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Read read("12 A~", p);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARINING => [12 A~] - Inconsistent allele ~ at position 13, given ~, should be ~ or "
            "~\n");
  EXPECT_EQ(callsOf(read), (Calls{{11, true}}));
}

TEST(ReadParsing, ALineFullOfMismatchesReportsAFewThenCountsTheRest) {
  const Parameter p = twelveSnpMap();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  // Twelve characters inside the map, then 3000 beyond it.
  const Read read("1 " + std::string(3012, 'X'), p, "reads.txt", 7);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  std::size_t reports = 0;
  for (std::size_t at = err.find("Inconsistent allele"); at != std::string::npos;
       at = err.find("Inconsistent allele", at + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, 5U);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 5);
  EXPECT_NE(err.find("WARINING => Read file reads.txt, line 7: 3007 more allele characters match "
                     "neither allele of their SNP or lie beyond the SNP map; dropped\n"),
            std::string::npos);
  EXPECT_EQ(read.size(), 0U);
}

TEST(ReadParsing, AReadOfMismatchesOnlyHasSizeZero) {
  const Parameter p = twelveSnpMap();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Read read("1 XY", p);
  testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Inconsistent allele X at position 1"), std::string::npos);
  EXPECT_NE(err.find("Inconsistent allele Y at position 2"), std::string::npos);
  EXPECT_EQ(read.size(), 0U);
  EXPECT_FALSE(read.begin() != read.end());
}

TEST(ReadParsing, LongRunsAreSplitWithoutLoss) {
  const Parameter p = uniformMap(2000);
  veltaSrand(5);
  for (int trial = 0; trial < 50; ++trial) {
    // Runs up to 1000 characters with '-' anywhere, also at the split points.
    std::string token;
    const int length = 1 + veltaRand() % 1000;
    for (int j = 0; j < length; ++j) token += "AG--"[veltaRand() % 4];
    const std::string text = std::to_string(1 + veltaRand() % 900) + " " + token + " 1990 GA";
    const Read read(text, p);
    EXPECT_EQ(callsOf(read), referenceCalls(text, p)) << text;
  }
}

TEST(ReadParsing, ValidateReadEndTrimsBothEnds) {
  const Parameter p = twelveSnpMap();
  const Read read("1 A", p);
  const struct {
    const char* in;
    const char* out;
    unsigned lead;
  } cases[] = {{"--AC-", "AC", 2}, {"A-C", "A-C", 0}, {"----", "", 4}, {"", "", 0}, {"A", "A", 0}};
  for (const auto& c : cases) {
    std::string token = c.in;
    EXPECT_EQ(read.validateReadEnd(token), c.lead) << c.in;
    EXPECT_EQ(token, c.out) << c.in;
  }
}

struct LimitCase {
  const char* name;
  std::string text;
  const char* message;
};

TEST(ReadParsing, LinesBeyondTheLimitsOfAReadAreFatal) {
  const Parameter p = uniformMap(40000);
  std::string pairs254;
  for (int i = 0; i < 254; ++i) pairs254 += "1 A ";
  const std::string pairs255 = pairs254 + "1 A ";
  const std::string pairs256 = pairs255 + "1 A ";
  const LimitCase cases[] = {
      {"256Fragments", pairs256,
       "FATAL => Read file reads.txt, line 7: a read holds at most 255 runs of alleles (a run "
       "longer than 256 characters counts as several)\n\n"},
      {"SplitRunPastFragments", pairs254 + "1 " + std::string(257, 'A'),
       "FATAL => Read file reads.txt, line 7: a read holds at most 255 runs of alleles (a run "
       "longer than 256 characters counts as several)\n\n"},
      {"32768Characters", "1 " + std::string(32767, 'A') + " 5 G",
       "FATAL => Read file reads.txt, line 7: a read holds at most 32767 allele characters\n\n"},
      {"PositionZero", "3 A 0 G",
       "FATAL => Read file reads.txt, line 7: SNP positions count from 1, found position 0\n\n"},
  };
  velta_test::ExitGuard catcher;
  for (const LimitCase& c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_THROW(Read(c.text, p, "reads.txt", 7), velta_test::FatalExit) << c.name;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
  }
  // The largest reads that fit are kept whole.
  const Read fragments(pairs255, p);
  EXPECT_EQ(fragments.size(), 255U);
  const Read characters("1 " + std::string(32767, 'G'), p);
  EXPECT_EQ(characters.size(), 32767U);
  EXPECT_EQ(callsOf(characters).back(), (std::pair<std::uint32_t, bool>{32766, true}));
}

// Reads of no, one, two (held in the record) and many runs (held in a block
// of their own) keep their calls, size and flip through copies and moves.
TEST(ReadStorage, CopiesAndMovesKeepTheCalls) {
  const Parameter p = uniformMap(2000);
  const std::string lines[] = {"1 XX", "3 AG", "3 AG 40 G", "3 AG 40 G 90 A",
                               "1 " + std::string(1500, 'G')};
  std::vector<Read> reads;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (const std::string& text : lines) reads.emplace_back(text, p);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  for (std::size_t i = 0; i < reads.size(); ++i) {
    const Calls calls = referenceCalls(lines[i], p);
    reads[i].setFlip(i & 1);
    const Read copy(reads[i]);
    Read assigned = reads[(i + 1) % reads.size()];
    assigned = reads[i];
    Read& alias = assigned;
    assigned = alias;  // self-assignment keeps the read
    Read source(reads[i]);
    Read moved(std::move(source));
    Read moveAssigned = reads[(i + 2) % reads.size()];
    moveAssigned = Read(reads[i]);
    for (const Read* read : std::vector<const Read*>{&copy, &assigned, &moved, &moveAssigned}) {
      EXPECT_EQ(callsOf(*read), calls) << lines[i];
      EXPECT_EQ(read->size(), calls.size()) << lines[i];
      EXPECT_EQ(read->getFlip(), i & 1) << lines[i];
    }
  }
}

TEST(ReadIterator, ComparesPositionsOnly) {
  const Parameter p = twelveSnpMap();
  const Read a("1 A", p);
  const Read b("5 C", p);
  EXPECT_FALSE(a.begin() != b.begin());
  EXPECT_FALSE(a.end() != b.end());
  EXPECT_TRUE(a.begin() != a.end());
}

// Positions are the line's fragments as parsed, even where the calls of
// several fragments share one packed run of 32 SNPs.
struct Position {
  unsigned fragment;
  unsigned index;
  std::uint32_t snp;
  bool minor;
};

TEST(ReadIterator, PositionsAreFragmentsOfTheLine) {
  const Parameter p = twelveSnpMap();
  const struct {
    const char* text;
    unsigned fragments;
    std::vector<Position> walk;
  } cases[] = {
      {"3 --AC- 9 T", 2, {{0, 0, 4, false}, {0, 1, 5, false}, {1, 0, 8, true}}},
      {"1 AX 2 T", 2, {{0, 0, 0, false}, {1, 0, 1, true}}},     // X: overlapping fragments
      {"1 A 2 X 3 A", 3, {{0, 0, 0, false}, {2, 0, 2, true}}},  // a fragment without calls
      {"2 C-T 1 A", 2, {{0, 0, 1, false}, {0, 2, 3, false}, {1, 0, 0, false}}},
      {"1 X", 1, {}},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const Read read(c.text, p);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ReadIterator it = read.begin();
    for (const Position& at : c.walk) {
      ASSERT_TRUE(it != read.end()) << c.text;
      EXPECT_FALSE(it != ReadIterator(read, at.fragment, at.index)) << c.text << " " << at.snp;
      EXPECT_EQ(*it, std::make_pair(at.snp, at.minor)) << c.text;
      EXPECT_EQ(*ReadIterator(read, at.fragment, at.index), std::make_pair(at.snp, at.minor));
      ++it;
    }
    EXPECT_FALSE(it != read.end()) << c.text;
    EXPECT_FALSE(read.end() != ReadIterator(read, c.fragments, 0)) << c.text;
  }
}

TEST(ReadIterator, AnAbsentPositionStepsToTheNextPresentOne) {
  const Parameter p = twelveSnpMap();
  const Read read("3 A-C 9 T", p);
  ReadIterator it(read, 0, 1);
  EXPECT_EQ(*it, std::make_pair(std::uint32_t{3}, false));
  ++it;
  EXPECT_FALSE(it != ReadIterator(read, 0, 2));
  EXPECT_EQ(*it, std::make_pair(std::uint32_t{4}, true));
  ++it;
  EXPECT_EQ(*it, std::make_pair(std::uint32_t{8}, true));
  ++it;
  EXPECT_FALSE(it != read.end());
}

// Random reads and haplotypes: the packed match count must equal a count
// made straight from the line text.
TEST(CountMatch, AgreesWithTheTextOnRandomReads) {
  const int nSnp = 700;
  const Parameter p = uniformMap(nSnp);
  veltaSrand(11);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<bool> alleles(nSnp);
    for (int j = 0; j < nSnp; ++j) alleles[j] = veltaRand() & 1;
    const Haplotype haplotype(alleles);
    std::string text;
    const int pairs = 1 + veltaRand() % 6;
    for (int k = 0; k < pairs; ++k) {
      text += std::to_string(1 + veltaRand() % (nSnp - 150)) + " ";
      const int length = 1 + veltaRand() % 140;
      for (int j = 0; j < length; ++j) text += "AAGG-"[veltaRand() % 5];
      text += " ";
    }
    const Read read(text, p);
    unsigned expected = 0;
    const Calls calls = referenceCalls(text, p);
    for (const auto& call : calls) expected += alleles[call.first] == call.second;
    ASSERT_EQ(read.countMatch(haplotype), expected) << text;
    ASSERT_EQ(callsOf(read), calls) << text;
    // Against the complement the agreements and disagreements swap.
    std::vector<bool> complement(nSnp);
    for (int j = 0; j < nSnp; ++j) complement[j] = !alleles[j];
    ASSERT_EQ(read.countMatch(Haplotype(complement)), read.size() - expected);
  }
}

double logWeight(double mu, const Parameter& p, double agree, double n) {
  return mu * (p.getSeqLogRight() * agree + p.getSeqLogError() * (n - agree));
}

// The next veltaRand() value as sampleFlip sees it, with the generator left in the
// same state.
double peekUniform(unsigned seed) {
  veltaSrand(seed);
  const double u = velta_test::uniformDraw();
  veltaSrand(seed);
  return u;
}

TEST(SampleFlip, DrawsFromTheTemperedLikelihoodsWithOneRandomNumber) {
  Parameter p = uniformMap(400);
  p.setSmoothMu(0.7);
  std::vector<bool> alleles(400);
  for (int j = 0; j < 400; j += 3) alleles[j] = true;
  const Haplotype first(alleles);
  const Haplotype second(std::vector<bool>(400, true));
  // Short, long (both weights underflow at 400 calls) and mixed reads.
  const std::vector<std::string> lines = {"1 AGAG", "1 " + std::string(400, 'G'), "7 G-A 50 AAG",
                                          "1 " + std::string(200, 'A') + std::string(200, 'G')};
  for (const std::string& text : lines) {
    Read read(text, p);
    const double n = read.size();
    const double m = read.countMatch(first);
    const double m2 = read.countMatch(second);
    for (unsigned seed = 1; seed <= 200; ++seed) {
      const std::uint64_t calls = Read::getCount();
      unsigned char before = read.getFlip();
      double u = peekUniform(seed);
      bool changed = read.sampleFlip(first, p);
      EXPECT_EQ(read.getFlip(),
                chooseTwoValued(logWeight(0.7, p, m, n), logWeight(0.7, p, n - m, n), u));
      EXPECT_EQ(changed, read.getFlip() != before);
      before = read.getFlip();
      u = peekUniform(seed + 1000);
      changed = read.sampleFlip(first, second, p);
      EXPECT_EQ(read.getFlip(),
                chooseTwoValued(logWeight(0.7, p, m, n), logWeight(0.7, p, m2, n), u));
      EXPECT_EQ(changed, read.getFlip() != before);
      EXPECT_EQ(Read::getCount(), calls + 2);
    }
  }
}

// Random text of a read line over `nSnp` SNPs of major A and minor G: one to
// four runs of up to `maxLength` characters, some '-', runs that may overlap.
std::string randomReadLine(int nSnp, int maxLength) {
  std::string text;
  for (int k = 0, pairs = 1 + veltaRand() % 4; k < pairs; ++k) {
    const int length = 1 + veltaRand() % maxLength;
    text += std::to_string(1 + veltaRand() % (nSnp - length + 1)) + " ";
    for (int j = 0; j < length; ++j) text += "AAGGAGAGA-"[veltaRand() % 10];
    text += " ";
  }
  return text;
}

// Settings of the flip draws: mu flattening and sharpening (and negative, so
// that weights overflow), error rates from none to one half.
struct FlipSetting {
  double mu;
  double error;
};

// The program's flip draws against the plain formula draws (plain match
// counts, two exp per draw, the C library's rand()) on random reads from 1 to
// 800 calls and random haplotypes: equal flips for equal seeds, one random
// number per draw.
TEST(SampleFlip, EqualsThePlainFormulaDrawsOnRandomReads) {
  const int nSnp = 900;
  Parameter p = uniformMap(nSnp);
  const FlipSetting settings[] = {{1.0, 0.01},  {0.5, 0.01}, {2.0, 0.01}, {1.0, 0.2},
                                  {2.0, 0.001}, {1.0, 0.0},  {0.7, 0.5},  {-1.0, 0.01}};
  veltaSrand(61);
  std::vector<Read> reads;
  for (int r = 0; r < 600; ++r) {
    const int maxLength = r % 3 == 0 ? 12 : r % 3 == 1 ? 90 : 400;
    reads.emplace_back(randomReadLine(nSnp, maxLength), p);
  }
  for (const FlipSetting& setting : settings) {
    p.setSmoothMu(setting.mu);
    p.setSeqError(setting.error);
    for (int trial = 0; trial < 4; ++trial) {
      // Haplotype pairs from unrelated to nearly equal, where m1 and m2 tie.
      std::vector<bool> first(nSnp), second(nSnp);
      for (int j = 0; j < nSnp; ++j) {
        first[j] = veltaRand() & 1;
        second[j] = veltaRand() % 4 < trial ? first[j] : (veltaRand() & 1) != 0;
      }
      const Haplotype one(first);
      const Haplotype two(second);
      const unsigned seed =
          1000 * trial + static_cast<unsigned>(setting.mu * 10 + setting.error * 1000);
      std::vector<unsigned char> flips;
      veltaSrand(seed);
      for (Read read : reads) {
        read.sampleFlip(one, p);
        flips.push_back(read.getFlip());
        read.sampleFlip(one, two, p);
        flips.push_back(read.getFlip());
      }
      const int next = veltaRand();
      std::srand(seed);
      for (std::size_t r = 0; r < reads.size(); ++r) {
        const double n = reads[r].size();
        const unsigned m1 = velta_plain::countMatch(reads[r], one);
        const unsigned m2 = velta_plain::countMatch(reads[r], two);
        ASSERT_EQ(reads[r].countMatch(one), m1);
        ASSERT_EQ(reads[r].countMatch(two), m2);
        const unsigned char againstOne = velta_plain::flipOne(n, m1, p, velta_plain::uniform());
        const unsigned char between = velta_plain::flipTwo(n, m1, m2, p, velta_plain::uniform());
        ASSERT_EQ(flips[2 * r], againstOne)
            << "read " << r << " n " << n << " m " << m1 << " mu " << setting.mu;
        ASSERT_EQ(flips[2 * r + 1], between)
            << "read " << r << " n " << n << " m " << m1 << " " << m2 << " mu " << setting.mu
            << " e " << setting.error;
      }
      EXPECT_EQ(next, std::rand());
    }
  }
}

using velta_test::countsOf;
using velta_test::flipsOf;

// The warm start's draws between two haplotypes (each read moved at once
// when its side changed) and the assembly pass against plain draws and plain
// moves read by read: short reads of one to six calls, long and split reads,
// for several settings and haplotype pairs.
TEST(FlipPasses, EqualPlainDrawsAndMovesReadByRead) {
  const int nSnp = 500;
  Parameter p = uniformMap(nSnp);
  veltaSrand(66);
  const std::vector<Read> start = velta_test::mixedReads(nSnp, 1300, p);
  for (const FlipSetting& setting :
       {FlipSetting{1.0, 0.01}, FlipSetting{0.5, 0.05}, FlipSetting{2.0, 0.01}}) {
    p.setSmoothMu(setting.mu);
    p.setSeqError(setting.error);
    std::vector<bool> alleles[2];
    for (int h = 0; h < 2; ++h) {
      for (int j = 0; j < nSnp; ++j) alleles[h].push_back(veltaRand() % 3 == 0);
    }
    // Inference: the first haplotype holds the reads of flip 0, the second
    // those of flip 1.
    std::vector<Read> reads = start;
    Haplotype first(alleles[0]), second(alleles[1]);
    velta_test::loadSides(reads, first, second);
    std::vector<Read> plainReads = reads;
    Haplotype plainFirst = first, plainSecond = second;
    for (unsigned pass = 0; pass < 3; ++pass) {
      const unsigned seed = 700 + pass;
      const std::uint64_t draws = Read::getCount();
      veltaSrand(seed);
      for (Read& read : reads) {
        if (!read.sampleFlip(first, second, p)) continue;
        Haplotype& gaining = read.getFlip() == 1 ? second : first;
        Haplotype& losing = read.getFlip() == 1 ? first : second;
        gaining.appendRead(read, false);
        losing.popRead(read, false);
      }
      EXPECT_EQ(Read::getCount(), draws + reads.size());
      std::srand(seed);
      for (Read& read : plainReads) {
        const double n = read.size();
        const unsigned char flip = velta_plain::flipTwo(
            n, velta_plain::countMatch(read, plainFirst),
            velta_plain::countMatch(read, plainSecond), p, velta_plain::uniform());
        if (flip == read.getFlip()) continue;
        read.setFlip(flip);
        if (flip == 1) {
          plainFirst.removeRead(read, Haplotype::UNFLIPPED_READS);
          plainSecond.assignRead(read, Haplotype::FLIPPED_READS);
        } else {
          plainFirst.assignRead(read, Haplotype::UNFLIPPED_READS);
          plainSecond.removeRead(read, Haplotype::FLIPPED_READS);
        }
      }
      ASSERT_EQ(flipsOf(reads), flipsOf(plainReads)) << "pass " << pass << " mu " << setting.mu;
      ASSERT_EQ(countsOf(first), countsOf(plainFirst)) << "pass " << pass;
      ASSERT_EQ(countsOf(second), countsOf(plainSecond)) << "pass " << pass;
    }
    // Assembly: one haplotype holds every read, complemented when its flip is 1.
    reads = start;
    Haplotype haplotype(alleles[0]);
    for (const Read& read : reads) haplotype.assignRead(read, Haplotype::ALL_READS);
    plainReads = reads;
    Haplotype plainHaplotype = haplotype;
    for (unsigned pass = 0; pass < 3; ++pass) {
      const unsigned seed = 800 + pass;
      veltaSrand(seed);
      Read::sampleFlips(reads, haplotype, p);
      std::srand(seed);
      for (Read& read : plainReads) {
        const unsigned char flip = velta_plain::flipOne(
            read.size(), velta_plain::countMatch(read, plainHaplotype), p, velta_plain::uniform());
        if (flip == read.getFlip()) continue;
        read.setFlip(flip);
        plainHaplotype.flipRead(read, Haplotype::ALL_READS);
      }
      ASSERT_EQ(flipsOf(reads), flipsOf(plainReads)) << "pass " << pass << " mu " << setting.mu;
      ASSERT_EQ(countsOf(haplotype), countsOf(plainHaplotype)) << "pass " << pass;
    }
  }
}

// Every tabled decision, and some beyond the tables, changes from flip 0 to
// flip 1 at the very generator value where the plain formula draw does.
TEST(FlipDrawTable, DecisionsChangeWhereThePlainDrawsChange) {
  Parameter p = uniformMap(1);
  const FlipSetting settings[] = {{1.0, 0.01}, {0.5, 0.01}, {2.0, 0.01},
                                  {1.0, 0.0},  {0.7, 0.5},  {-1.0, 0.01}};
  const unsigned maxSize = FlipDrawTable::kLarge + 20;
  veltaSrand(63);
  for (const FlipSetting& setting : settings) {
    p.setSmoothMu(setting.mu);
    p.setSeqError(setting.error);
    const FlipDrawTable& table = FlipDrawTable::forParameter(p);
    for (unsigned n = 0; n <= maxSize; ++n) {
      for (unsigned m = 0; m <= n; ++m) {
        const std::string mismatch = velta_plain::decisionMismatch(
            [&](std::uint32_t value) { return table.chooseOne(n, m, value); },
            [&](double u) { return velta_plain::flipOne(n, m, p, u); });
        ASSERT_EQ(mismatch, "") << "one haplotype, n " << n << " m " << m << " mu " << setting.mu
                                << " e " << setting.error;
      }
    }
    for (int trial = 0; trial < 4000; ++trial) {
      // All small reads, then random sizes up to beyond the tables.
      const unsigned n = trial < 1000 ? trial % FlipDrawTable::kSmall : veltaRand() % maxSize;
      const unsigned m1 = veltaRand() % (n + 1);
      const unsigned m2 = trial % 5 == 0 ? m1 : veltaRand() % (n + 1);
      const std::string mismatch = velta_plain::decisionMismatch(
          [&](std::uint32_t value) { return table.chooseTwo(n, m1, m2, value); },
          [&](double u) { return velta_plain::flipTwo(n, m1, m2, p, u); });
      ASSERT_EQ(mismatch, "") << "two haplotypes, n " << n << " m " << m1 << " " << m2 << " mu "
                              << setting.mu << " e " << setting.error;
    }
  }
}

TEST(SampleFlip, UnderflowedWeightsDoNotForceFlipOne) {
  // 200 agreements and 200 disagreements: both weights are 0 in double, the
  // draw must still be fair.
  const Parameter p = uniformMap(400);
  const Haplotype haplotype(std::vector<bool>(400, false));
  Read read("1 " + std::string(200, 'A') + std::string(200, 'G'), p);
  veltaSrand(3);
  int ones = 0;
  const int n = 4000;
  for (int i = 0; i < n; ++i) {
    read.sampleFlip(haplotype, p);
    ones += read.getFlip();
  }
  // Six standard deviations around one half.
  EXPECT_NEAR(ones, n / 2, 6 * std::sqrt(n / 4.0));
}

TEST(SampleFlip, NotANumberGivesFlipOne) {
  Parameter p = twelveSnpMap();
  p.setSeqError(2.0);  // ln(-1): no probability at all
  const Haplotype haplotype(std::vector<bool>(12, false));
  Read read("1 AC", p);
  veltaSrand(8);
  for (int i = 0; i < 20; ++i) {
    read.sampleFlip(haplotype, p);
    EXPECT_EQ(read.getFlip(), 1);
  }
}

TEST(ReadPrint, MarksFlippedCellsAndFillsGaps) {
  const Parameter p = twelveSnpMap();
  const Read read("2 T-T", p);  // SNP index 1 minor, index 3 major
  testing::internal::CaptureStdout();
  read.print();
  const std::string expected = read.getFlip() ? "Read\t-\t(1)\t-\t(0)\t\n" : "Read\t-\t1\t-\t0\t\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

}  // namespace
