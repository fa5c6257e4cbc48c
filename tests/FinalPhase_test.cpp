// The inference's final phase stage: the reads' phase of their blocks, the
// genotype check, the copying candidates, and whole stages on a tiny panel
// where the truth is recoverable and a switched start is not it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CopyingCandidates.h"
#include "FinalPhase.h"
#include "Haplotype.h"
#include "HetReadPhase.h"
#include "NovelAlleles.h"
#include "Parameter.h"
#include "PhasePolish.h"
#include "Read.h"
#include "ReadGenotypes.h"
#include "Reference.h"
#include "TestSupport.h"
#include "VeltaUtil.h"

namespace {

using velta_test::uniformMap;

// Read-file text of one read: its alleles (0 major A, 1 minor G) at SNPs
// first, first + 1, ... (0-based) of a uniform map.
std::string readText(int first, const std::vector<int>& alleles) {
  std::string text = std::to_string(first + 1) + ' ';
  for (int allele : alleles) text += allele ? 'G' : 'A';
  return text;
}

// A tiny population: `founders` random haplotypes over `nSnp` SNPs, each
// `copies` times in the panel.
struct TinyPanel {
  std::vector<std::vector<int>> founders;
  Reference reference;
};

// The panel's copies of random founders; the map's transitions are set for its
// size, as the program does after loading a panel.
void makePanel(TinyPanel& panel, Parameter& parameter, int nSnp, int founders,
               int copies, unsigned seed) {
  std::mt19937 random(seed);
  panel.founders.assign(founders, std::vector<int>(nSnp));
  for (auto& founder : panel.founders) {
    for (int& allele : founder) allele = static_cast<int>(random() & 1U);
  }
  std::ostringstream text;
  for (int j = 0; j < nSnp; ++j) {
    for (int f = 0; f < founders; ++f) {
      for (int c = 0; c < copies; ++c) text << (panel.founders[f][j] ? 'G' : 'A');
    }
    text << '\n';
  }
  std::istringstream in(text.str());
  panel.reference.initFromStream(in, "panel", parameter);
  parameter.renewTran(static_cast<unsigned>(panel.reference.getHapNo()));
}

// Number of heterozygous neighbours whose relative phase differs from the
// truth's.
int switchErrors(const Haplotype& first, const std::vector<int>& truthFirst,
                 const std::vector<int>& truthSecond) {
  int errors = 0;
  int previous = -1;
  for (unsigned j = 0; j < truthFirst.size(); ++j) {
    if (truthFirst[j] == truthSecond[j]) continue;
    const int agrees = first[j] == (truthFirst[j] != 0);
    if (previous >= 0 && agrees != previous) ++errors;
    previous = agrees;
  }
  return errors;
}

TEST(FinalPhase, RecoversTheTruthFromAStartSwitchedBetweenReadBlocks) {
  constexpr int kSnp = 80;
  veltaSrand(11);
  Parameter parameter = uniformMap(kSnp);
  TinyPanel panel;
  makePanel(panel, parameter, kSnp, 4, 3, 5);
  const std::vector<int>& truthFirst = panel.founders[0];
  const std::vector<int>& truthSecond = panel.founders[1];
  // Reads of both haplotypes inside two blocks, SNPs 0-34 and 45-79; none
  // links the blocks.
  std::vector<Read> reads;
  for (int start : {0, 45}) {
    for (int at = start; at + 5 <= start + 35; at += 2) {
      for (const auto* truth : {&truthFirst, &truthSecond}) {
        reads.emplace_back(readText(at, std::vector<int>(truth->begin() + at,
                                                         truth->begin() + at + 5)),
                           parameter);
      }
    }
  }
  // The start has the true genotypes but the two haplotypes exchanged from
  // SNP 40 on, between the blocks, where only the panel can tell.
  std::vector<bool> first(kSnp);
  std::vector<bool> second(kSnp);
  for (int j = 0; j < kSnp; ++j) {
    const bool swapped = j >= 40;
    first[j] = (swapped ? truthSecond[j] : truthFirst[j]) != 0;
    second[j] = (swapped ? truthFirst[j] : truthSecond[j]) != 0;
  }
  Haplotype h1(first);
  Haplotype h2(second);
  ASSERT_EQ(switchErrors(h1, truthFirst, truthSecond), 1);

  FinalPhaseSettings readsOnly;
  readsOnly.usePanel = false;
  Haplotype r1(first);
  Haplotype r2(second);
  finalPhase(r1, r2, reads, panel.reference, parameter, readsOnly);
  EXPECT_EQ(switchErrors(r1, truthFirst, truthSecond), 1) << "the reads alone cannot link";

  // Windows of every length, whichever of them holds the unlinked gap near
  // an end, combine to the truth.
  for (const unsigned int windowSnps : {12U, 20U, 30U, 50U}) {
    FinalPhaseSettings windowed;
    windowed.windowSnps = windowSnps;
    std::vector<Read> copies = reads;
    Haplotype w1(first);
    Haplotype w2(second);
    finalPhase(w1, w2, copies, panel.reference, parameter, windowed);
    EXPECT_EQ(switchErrors(w1, truthFirst, truthSecond), 0) << windowSnps << "-SNP windows";
  }

  finalPhase(h1, h2, reads, panel.reference, parameter);
  EXPECT_EQ(switchErrors(h1, truthFirst, truthSecond), 0);
  for (int j = 0; j < kSnp; ++j) {
    EXPECT_EQ(h1[j] + h2[j], truthFirst[j] + truthSecond[j]) << "genotype of SNP " << j;
  }
  // Every read on the haplotype it fits, the counts rebuilt from them.
  for (const Read& read : reads) {
    EXPECT_EQ(read.countMatch(read.getFlip() ? h2 : h1), read.size());
  }
}

TEST(FinalPhase, PanelLinksTheHetsAroundOneNoCandidateCanOrient) {
  constexpr int kSnp = 80;
  Parameter parameter = uniformMap(kSnp);
  TinyPanel panel;
  makePanel(panel, parameter, kSnp, 4, 3, 5);
  // The individual is founders 0 and 1 plus a minor allele at a SNP where no
  // panel haplotype carries one, in the middle of the region.
  int privateSnp = -1;
  for (int j = 30; j < 50 && privateSnp < 0; ++j) {
    bool allMajor = true;
    for (const auto& founder : panel.founders) allMajor &= founder[j] == 0;
    if (allMajor) privateSnp = j;
  }
  ASSERT_GE(privateSnp, 0) << "the panel's seed gives no SNP without a minor allele";
  std::vector<int> truthFirst = panel.founders[0];
  std::vector<int> truthSecond = panel.founders[1];
  truthFirst[privateSnp] = 1;
  // The start exchanges the haplotypes from the private SNP on: the switch
  // lies between its neighbours, with no read to link anything.
  std::vector<bool> first(kSnp);
  std::vector<bool> second(kSnp);
  for (int j = 0; j < kSnp; ++j) {
    const bool swapped = j >= privateSnp;
    first[j] = (swapped ? truthSecond[j] : truthFirst[j]) != 0;
    second[j] = (swapped ? truthFirst[j] : truthSecond[j]) != 0;
  }
  Haplotype h1(first);
  Haplotype h2(second);
  std::vector<Read> reads;
  // The private SNP's own orientation is anyone's guess: it is left out of
  // the count, the relation across it is not.
  std::vector<int> scoredSecond = truthSecond;
  scoredSecond[privateSnp] = truthFirst[privateSnp];
  ASSERT_EQ(switchErrors(h1, truthFirst, scoredSecond), 1);
  finalPhase(h1, h2, reads, panel.reference, parameter);
  EXPECT_EQ(switchErrors(h1, truthFirst, scoredSecond), 0);
  for (int j = 0; j < kSnp; ++j) {
    EXPECT_EQ(h1[j] + h2[j], truthFirst[j] + truthSecond[j]) << "genotype of SNP " << j;
  }
}

// First SNP from `from` on where no founder carries the minor allele.
int snpWithoutMinor(const TinyPanel& panel, int from) {
  for (int j = from; j < static_cast<int>(panel.founders[0].size()); ++j) {
    bool allMajor = true;
    for (const auto& founder : panel.founders) allMajor &= founder[j] == 0;
    if (allMajor) return j;
  }
  return -1;
}

HaplotypeBits bitsOf(const std::vector<int>& alleles) {
  HaplotypeBits bits(alleles.size() / 64 + 1, 0);
  for (std::size_t j = 0; j < alleles.size(); ++j) {
    bits[j / 64] |= static_cast<std::uint64_t>(alleles[j] != 0) << (j % 64);
  }
  return bits;
}

// Founders 0 and 1 with a minor allele no panel haplotype carries, each
// leaving its founder (so the panel) at an offset from that SNP.
TEST(NovelAlleles, GoToTheHaplotypeThePanelFitsWorse) {
  Parameter parameter = uniformMap(60);
  TinyPanel panel;
  makePanel(panel, parameter, 60, 4, 2, 5);
  const int novel = snpWithoutMinor(panel, 20);
  ASSERT_GE(novel, 0) << "the panel's seed gives no SNP without a minor allele";
  const CopyingCandidates haplotypeMajor(panel.reference);
  struct Case {
    const char* name;
    int firstOffset;   // where the first haplotype leaves its founder (0: nowhere)
    int secondOffset;  // the same for the second
    int expected;      // first haplotype's allele at the novel SNP, or -1
  } cases[] = {{"second fits worse within the flank", 0, 3, 0},
               {"second fits worse, before the SNP", 0, -4, 0},
               {"beyond the flank: the second's agreement reaches less far", 0, 15, 0},
               {"both fit alike within the flank: the nearer break decides", 2, 6, 1},
               {"neither leaves its founder: a tie", 0, 0, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> first = panel.founders[0];
    std::vector<int> second = panel.founders[1];
    if (c.firstOffset != 0) first[novel + c.firstOffset] ^= 1;
    if (c.secondOffset != 0) second[novel + c.secondOffset] ^= 1;
    // Where the novel allele starts does not matter: the SNP itself is not
    // compared.
    for (bool onFirst : {true, false}) {
      (onFirst ? first : second)[novel] = 1;
      (onFirst ? second : first)[novel] = 0;
      EXPECT_EQ(novelFirstAllele({bitsOf(first), bitsOf(second)}, novel, haplotypeMajor, 10),
                c.expected);
    }
  }
  // A SNP whose both alleles the panel carries is the copying model's.
  int shared = 0;
  while (panel.founders[0][shared] == panel.founders[1][shared]) ++shared;
  EXPECT_EQ(novelFirstAllele({bitsOf(panel.founders[0]), bitsOf(panel.founders[1])}, shared,
                             haplotypeMajor, 10),
            -1);
}

// Novel alleles through the whole stage: a panel of four founders, two
// copies each, and its first SNP from 20 on with no minor allele.
class NovelAllelesInTheStage : public ::testing::Test {
 protected:
  static constexpr int kSnp = 60;
  void SetUp() override {
    makePanel(panel, parameter, kSnp, 4, 2, 5);
    novel = snpWithoutMinor(panel, 20);
    ASSERT_GE(novel, 0) << "the panel's seed gives no SNP without a minor allele";
  }
  Parameter parameter = uniformMap(kSnp);
  TinyPanel panel;
  int novel = -1;
};

// The novel allele moves to the haplotype the panel fits worse, unless reads
// link it to a neighbour.
TEST_F(NovelAllelesInTheStage, MoveOnlyWhereNoReadLinksThem) {
  std::vector<int> first = panel.founders[0];
  std::vector<int> second = panel.founders[1];
  second[novel + 3] ^= 1;
  first[novel] = 1;
  int next = novel + 1;
  while (first[next] == second[next]) ++next;
  for (bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "linked" : "unlinked");
    std::vector<Read> reads;
    if (linked) {
      for (int copy = 0; copy < 4; ++copy) {
        reads.emplace_back(
            readText(novel, std::vector<int>(first.begin() + novel, first.begin() + next + 1)),
            parameter);
      }
    }
    Haplotype h1(std::vector<bool>(first.begin(), first.end()));
    Haplotype h2(std::vector<bool>(second.begin(), second.end()));
    finalPhase(h1, h2, reads, panel.reference, parameter);
    // The novel allele, on the haplotype that carries founder 0's allele at
    // the next heterozygous SNP, or on the other one.
    const bool withFounder0 = (h1[novel] != 0) == (h1[next] == (first[next] != 0));
    EXPECT_EQ(withFounder0, linked);
  }
}

// Two unlinked novel alleles, both starting on the haplotype the panel fits
// better: neither counts against that haplotype when the other is placed,
// so both go to the one that leaves its founder, wherever they start.
TEST_F(NovelAllelesInTheStage, PlacedWithoutWeighingEachOther) {
  const int other = snpWithoutMinor(panel, novel + 1);
  ASSERT_GT(other, novel) << "the panel's seed gives no second SNP without a minor allele";
  std::vector<int> first = panel.founders[0];
  std::vector<int> second = panel.founders[1];
  ASSERT_LT(other + 8, kSnp);
  second[other + 8] ^= 1;
  ASSERT_NE(first[other + 8], second[other + 8]) << "the second leaves its founder at a het";
  for (bool otherOnFirst : {true, false}) {
    SCOPED_TRACE(otherOnFirst ? "the other on the first" : "the other on the second");
    first[novel] = 1;
    second[novel] = 0;
    first[other] = otherOnFirst;
    second[other] = !otherOnFirst;
    Haplotype h1(std::vector<bool>(first.begin(), first.end()));
    Haplotype h2(std::vector<bool>(second.begin(), second.end()));
    std::vector<Read> reads;
    finalPhase(h1, h2, reads, panel.reference, parameter);
    const Haplotype& leaving = h1[other + 8] == (second[other + 8] != 0) ? h1 : h2;
    EXPECT_EQ(leaving[novel], 1);
    EXPECT_EQ(leaving[other], 1);
  }
}

TEST(FinalPhase, ReadsMendAFlippedSiteInsideTheirBlock) {
  constexpr int kSnp = 30;
  veltaSrand(12);
  Parameter parameter = uniformMap(kSnp);
  TinyPanel panel;
  makePanel(panel, parameter, kSnp, 3, 2, 9);
  // The individual is no founder pair: its haplotypes are the founders' with
  // every tenth SNP made heterozygous, which the panel cannot phase.
  std::vector<int> truthFirst = panel.founders[0];
  std::vector<int> truthSecond = panel.founders[0];
  for (int j = 0; j < kSnp; j += 3) truthSecond[j] = 1 - truthFirst[j];
  std::vector<Read> reads;
  for (int at = 0; at + 6 <= kSnp; ++at) {
    for (const auto* truth : {&truthFirst, &truthSecond}) {
      reads.emplace_back(
          readText(at, std::vector<int>(truth->begin() + at, truth->begin() + at + 6)), parameter);
    }
  }
  std::vector<bool> first(truthFirst.begin(), truthFirst.end());
  std::vector<bool> second(truthSecond.begin(), truthSecond.end());
  first[12] = !first[12];
  second[12] = !second[12];
  Haplotype h1(first);
  Haplotype h2(second);
  ASSERT_EQ(switchErrors(h1, truthFirst, truthSecond), 2);
  finalPhase(h1, h2, reads, panel.reference, parameter);
  EXPECT_EQ(switchErrors(h1, truthFirst, truthSecond), 0);
}

TEST(FinalPhase, EveryThreadCountGivesTheSameHaplotypes) {
  constexpr int kSnp = 300;
  Parameter parameter = uniformMap(kSnp);
  TinyPanel panel;
  makePanel(panel, parameter, kSnp, 6, 2, 21);
  // Each haplotype a mosaic of founders, the start phase random, reads
  // linking short stretches only: many windows, each with its own
  // candidates and undecided pairs.
  std::mt19937 random(4);
  std::vector<bool> first(kSnp);
  std::vector<bool> second(kSnp);
  int a = 0;
  int b = 1;
  for (int j = 0; j < kSnp; ++j) {
    if (random() % 40 == 0) a = static_cast<int>(random() % 6);
    if (random() % 40 == 0) b = static_cast<int>(random() % 6);
    const bool x = panel.founders[a][j] != 0;
    const bool y = panel.founders[b][j] != 0;
    const bool swap = (random() & 1U) != 0;
    first[j] = swap ? y : x;
    second[j] = swap ? x : y;
  }
  FinalPhaseSettings settings;
  settings.windowSnps = 40;
  settings.candidates = 5;
  std::vector<std::vector<bool>> results;
  for (int threads : {1, 2, 3}) {
    veltaSrand(3);  // the reads' starting sides
    std::vector<Read> reads;
    for (int at = 0; at + 3 <= kSnp; at += 7) {
      std::vector<int> alleles;
      for (int j = at; j < at + 3; ++j) alleles.push_back(first[j] ? 1 : 0);
      reads.emplace_back(readText(at, alleles), parameter);
    }
    parameter.setThreads(threads);
    Haplotype h1(first);
    Haplotype h2(second);
    finalPhase(h1, h2, reads, panel.reference, parameter, settings);
    std::vector<bool> out;
    for (int j = 0; j < kSnp; ++j) out.push_back(h1[j] != 0);
    for (const Read& read : reads) out.push_back(read.getFlip() != 0);
    results.push_back(out);
  }
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(results[0], results[2]);
}

// Best-side mismatch of every read, counted directly.
long long bestSideMismatch(const std::vector<unsigned char>& alleles, const ReadCalls& calls) {
  long long total = 0;
  for (std::size_t r = 0; r < calls.readCount(); ++r) {
    long long disagree = 0;
    for (std::size_t i = calls.start[r]; i < calls.start[r + 1]; ++i) {
      disagree += alleles[calls.snp[i]] != calls.minor[i];
    }
    const long long size = static_cast<long long>(calls.start[r + 1] - calls.start[r]);
    total += std::min(disagree, size - disagree);
  }
  return total;
}

TEST(PhasePolisher, NeverRaisesTheMismatchAndEndsWhereNoCutLowersIt) {
  std::mt19937 random(3);
  for (int trial = 0; trial < 40; ++trial) {
    const unsigned nSnp = 2 + static_cast<unsigned>(random() % 30);
    std::vector<unsigned char> truth(nSnp);
    for (auto& allele : truth) allele = random() & 1U;
    ReadCalls calls;
    std::vector<std::pair<std::uint32_t, bool>> read;
    for (int r = 0; r < 25; ++r) {
      read.clear();
      const unsigned first = static_cast<unsigned>(random() % nSnp);
      const unsigned end = std::min(nSnp, first + 1 + static_cast<unsigned>(random() % 6));
      const bool side = random() & 1U;
      for (unsigned j = first; j < end; ++j) {
        const bool error = random() % 10 == 0;
        read.emplace_back(j, (truth[j] ^ side ^ error) != 0);
      }
      calls.addRead(read);
    }
    std::vector<unsigned char> start(nSnp);
    for (auto& allele : start) allele = random() & 1U;
    const long long before = bestSideMismatch(start, calls);
    PhasePolisher polisher(start, calls);
    EXPECT_EQ(polisher.mismatch(), before);
    polisher.polish();
    std::vector<unsigned char> polished(nSnp);
    for (unsigned j = 0; j < nSnp; ++j) polished[j] = polisher.allele(j);
    const long long after = bestSideMismatch(polished, calls);
    EXPECT_LE(after, before);
    EXPECT_EQ(polisher.mismatch(), after);
    // Each cut's change, recounted by complementing the suffix.
    const std::vector<long long> cuts = polisher.cutChanges();
    for (unsigned c = 1; c < nSnp; ++c) {
      std::vector<unsigned char> cut = polished;
      for (unsigned j = c; j < nSnp; ++j) cut[j] ^= 1;
      EXPECT_EQ(cuts[c], bestSideMismatch(cut, calls) - after) << "cut " << c;
      EXPECT_GE(cuts[c], 0);
    }
  }
}

TEST(HetReadPhase, LinksOnlyWhatTheReadsLinkAndNeverRaisesTheMismatch) {
  veltaSrand(4);
  const Parameter parameter = uniformMap(10);
  // Hets at SNPs 1, 3, 5 and 8; reads link 1-3 and 3-5 but nothing reaches 8.
  const std::vector<std::uint32_t> hets = {1, 3, 5, 8};
  std::vector<Read> reads;
  for (int copy = 0; copy < 3; ++copy) {
    reads.emplace_back(readText(1, {1, 0, 0}), parameter);  // SNPs 1-3: G A A
    reads.emplace_back(readText(1, {0, 0, 1}), parameter);
    reads.emplace_back(readText(3, {0, 0, 1}), parameter);  // SNPs 3-5
    reads.emplace_back(readText(8, {1}), parameter);
  }
  const HetReadPhase phase = phaseHetsByReads(hets, {0, 0, 0, 1}, reads, 10, 0.01);
  EXPECT_LE(phase.mismatchAfter, phase.mismatchBefore);
  EXPECT_EQ(phase.mismatchAfter, 0);
  EXPECT_NE(phase.firstAllele[0], phase.firstAllele[1]);  // G at 1 goes with A at 3
  EXPECT_NE(phase.firstAllele[1], phase.firstAllele[2]);  // A at 3 goes with G at 5
  EXPECT_GT(phase.linkLogOdds[1], 3 * std::log(99.0) - 1e-9);
  EXPECT_GT(phase.linkLogOdds[2], 0);
  EXPECT_EQ(phase.linkLogOdds[3], 0);
}

TEST(ReadGenotypes, MeasuresTheErrorAndRecallsClearCasesOnly) {
  veltaSrand(5);
  const Parameter parameter = uniformMap(4);
  std::vector<Read> reads;
  // SNP 0: 19 major, 1 minor; SNP 1: 10 and 10; SNP 2: 2 minor; SNP 3: none.
  for (int i = 0; i < 20; ++i) reads.emplace_back(readText(0, {i == 0}), parameter);
  for (int i = 0; i < 20; ++i) reads.emplace_back(readText(1, {i % 2}), parameter);
  for (int i = 0; i < 2; ++i) reads.emplace_back(readText(2, {1}), parameter);
  Genotypes genotypes = {0, 2, 1, 2};
  // Homozygous SNPs 0 and 2 hold 22 calls, 1 of them the other allele.
  EXPECT_NEAR(measureCallError(genotypes, reads), 1.0 / 22, 1e-12);
  genotypes = {0, 0, 0, 2};  // 13 of 42: more than the largest rate believed
  EXPECT_EQ(measureCallError(genotypes, reads), 0.25);
  genotypes = {2, 0, 2, 2};
  EXPECT_EQ(recallGenotypes(genotypes, reads, 0.01, 2.0), 2);
  const Genotypes expected = {0, 2, 2, 2};  // SNP 2: 2 calls cannot beat het by e^2
  EXPECT_EQ(genotypes, expected);
  genotypes = {2, 0, 2, 2};
  EXPECT_EQ(recallGenotypes(genotypes, reads, 0.01, 0), 3) << "any better genotype wins";
  const Genotypes anyBetter = {0, 2, 1, 2};  // SNP 3: no read, no better genotype
  EXPECT_EQ(genotypes, anyBetter);
}

TEST(CopyingCandidates, TakesTheClosestOfEveryStretchFirst) {
  const Parameter parameter = uniformMap(128);
  // Haplotype 0 is all major, 1 all minor, 2 minor in the first 64 SNPs only,
  // 3 minor in the last 64 only.
  std::ostringstream text;
  for (int j = 0; j < 128; ++j) text << 'A' << 'G' << (j < 64 ? 'G' : 'A') << (j < 64 ? 'A' : 'G') << '\n';
  std::istringstream in(text.str());
  Reference reference;
  reference.initFromStream(in, "panel", parameter);
  const CopyingCandidates candidates(reference);
  // The individual: minor over the first 64 SNPs, major after (haplotype 2).
  const HaplotypeBits individual = {~0ULL, 0, 0};
  EXPECT_EQ(candidates.choose({individual}, 0, 128, 1, 2), std::vector<int>({2}));
  // Stretches of one word: the first ranks 1 and 2 (tie, by index) first,
  // the second 0 and 2; one from each stretch.
  EXPECT_EQ(candidates.choose({individual}, 0, 128, 2, 1), std::vector<int>({0, 1}));
  EXPECT_EQ(candidates.choose({individual}, 0, 128, 9, 1), std::vector<int>({0, 1, 2, 3}));
  EXPECT_TRUE(candidates.choose({individual}, 5, 5, 3, 1).empty());
}

// The word walk against a SNP-by-SNP one, on panels of every length around
// the 64-SNP words, close enough to the individual that runs cross words.
TEST(CopyingCandidates, MatchReachAgreesWithASnpBySnpWalk) {
  std::mt19937 random(41);
  for (int nSnp : {1, 2, 63, 64, 65, 128, 200}) {
    const Parameter parameter = uniformMap(nSnp);
    const int hapNo = 5;
    std::vector<std::vector<int>> panel(hapNo, std::vector<int>(nSnp));
    std::vector<int> individual(nSnp);
    for (int j = 0; j < nSnp; ++j) {
      individual[j] = static_cast<int>(random() & 1U);
      // Each panel haplotype leaves the individual at about one SNP in 25.
      for (auto& haplotype : panel) haplotype[j] = individual[j] ^ (random() % 25 == 0);
    }
    std::ostringstream text;
    for (int j = 0; j < nSnp; ++j) {
      for (const auto& haplotype : panel) text << (haplotype[j] ? 'G' : 'A');
      text << '\n';
    }
    std::istringstream in(text.str());
    Reference reference;
    reference.initFromStream(in, "panel", parameter);
    const CopyingCandidates candidates(reference);
    for (int snp = 0; snp < nSnp; ++snp) {
      int left = 0;
      int right = 0;
      for (const auto& haplotype : panel) {
        int run = 0;
        while (snp - run - 1 >= 0 && haplotype[snp - run - 1] == individual[snp - run - 1]) ++run;
        left = std::max(left, run);
        run = 0;
        while (snp + run + 1 < nSnp && haplotype[snp + run + 1] == individual[snp + run + 1]) ++run;
        right = std::max(right, run);
      }
      ASSERT_EQ(candidates.matchReach(bitsOf(individual), static_cast<unsigned>(snp)),
                static_cast<unsigned>(left + right))
          << nSnp << " SNPs, SNP " << snp;
    }
  }
}

}  // namespace
