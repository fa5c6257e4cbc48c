#include "Haplotype.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Parameter.h"
#include "PlainKernels.h"
#include "Read.h"
#include "Reference.h"
#include "TestSupport.h"
#include "VeltaUtil.h"

namespace {

using Counts = std::vector<std::pair<int, int>>;

using velta_test::uniformMap;

Counts countsOf(const Haplotype& h) {
  Counts counts;
  for (int j = 0; j < h.getLength(); ++j)
    counts.push_back({h.getCount(j, false), h.getCount(j, true)});
  return counts;
}

// A read with the given flip: reads are built (one veltaRand() each) until one
// draws that flip.
Read readWithFlip(const std::string& text, const Parameter& p, unsigned char flip) {
  for (;;) {
    Read read(text, p);
    if (read.getFlip() == flip) return read;
  }
}

TEST(HaplotypeCounts, FlagSaysWhetherAllelesCountAsReadOrComplemented) {
  const Parameter p = uniformMap(4);
  const Read read("1 AG-G", p);  // SNP 0 major, 1 minor, 3 minor
  Haplotype h(std::vector<bool>(4, false));
  h.appendRead(read, false);
  EXPECT_EQ(countsOf(h), (Counts{{1, 0}, {0, 1}, {0, 0}, {0, 1}}));
  h.appendRead(read, true);  // a minor allele now adds to the major count
  EXPECT_EQ(countsOf(h), (Counts{{1, 1}, {1, 1}, {0, 0}, {1, 1}}));
  h.popRead(read, false);
  EXPECT_EQ(countsOf(h), (Counts{{0, 1}, {1, 0}, {0, 0}, {1, 0}}));
  h.popRead(read, true);
  EXPECT_EQ(countsOf(h), Counts(4, {0, 0}));
}

TEST(HaplotypeCounts, AddingThenRemovingRestoresCountsOnRandomReads) {
  const int nSnp = 300;
  const Parameter p = uniformMap(nSnp);
  veltaSrand(21);
  Haplotype h(nSnp);
  std::vector<Read> reads;
  for (int i = 0; i < 200; ++i) {
    std::string text = std::to_string(1 + veltaRand() % 250) + " ";
    for (int j = 0, n = 1 + veltaRand() % 50; j < n; ++j) text += "AG-"[veltaRand() % 3];
    reads.emplace_back(text, p);
  }
  // Reference counts straight from the iterator.
  Counts expected(nSnp, {0, 0});
  for (const Read& read : reads) {
    h.appendRead(read, read.getFlip());
    for (ReadIterator it = read.begin(); it != read.end(); ++it) {
      const bool oriented = (*it).second != (read.getFlip() != 0);
      (oriented ? expected[(*it).first].second : expected[(*it).first].first) += 1;
    }
  }
  EXPECT_EQ(countsOf(h), expected);
  for (const Read& read : reads) h.popRead(read, read.getFlip());
  EXPECT_EQ(countsOf(h), Counts(nSnp, {0, 0}));
}

// A read whose flip changed from 0 to 1 leaves the haplotype of flip 0 and
// joins the one of flip 1 through the mode-aware forms, as popping and
// appending it as read would.
TEST(HaplotypeCounts, MovingAReadEqualsRemovingAndAddingIt) {
  const int nSnp = 300;
  const Parameter p = uniformMap(nSnp);
  veltaSrand(22);
  Haplotype from(nSnp), to(nSnp);
  std::vector<Read> reads;
  for (int i = 0; i < 200; ++i) {
    std::string text;
    for (int k = 0, runs = 1 + veltaRand() % 3; k < runs; ++k) {
      text += std::to_string(1 + veltaRand() % 250) + " ";
      for (int j = 0, n = 1 + veltaRand() % 50; j < n; ++j) text += "AG-"[veltaRand() % 3];
      text += " ";
    }
    reads.emplace_back(text, p);
    reads.back().setFlip(0);
    from.assignRead(reads.back(), Haplotype::UNFLIPPED_READS);
    to.appendRead(reads.back(), veltaRand() & 1);
  }
  for (Read& read : reads) {
    Haplotype expectedFrom = from, expectedTo = to;
    expectedFrom.popRead(read, false);
    expectedTo.appendRead(read, false);
    read.setFlip(1);
    EXPECT_TRUE(from.removeRead(read, Haplotype::UNFLIPPED_READS));
    EXPECT_TRUE(to.assignRead(read, Haplotype::FLIPPED_READS));
    ASSERT_EQ(countsOf(from), countsOf(expectedFrom));
    ASSERT_EQ(countsOf(to), countsOf(expectedTo));
  }
  EXPECT_EQ(countsOf(from), Counts(nSnp, {0, 0}));
}

struct ModeCase {
  Haplotype::Mode mode;
  unsigned char flip;
  bool assigns;  // assignRead takes the read
  bool removes;  // removeRead after a change of flip takes it out
};

TEST(HaplotypeModes, EachModeHoldsItsReads) {
  const Parameter p = uniformMap(3);
  veltaSrand(4);
  const ModeCase cases[] = {
      {Haplotype::UNFLIPPED_READS, 0, true, false},
      {Haplotype::UNFLIPPED_READS, 1, false, true},
      {Haplotype::FLIPPED_READS, 0, false, true},
      {Haplotype::FLIPPED_READS, 1, true, false},
  };
  const Counts held1 = {{1, 0}, {0, 1}, {0, 1}};
  const Counts none(3, {0, 0});
  for (const ModeCase& c : cases) {
    const Read read = readWithFlip("1 AGG", p, c.flip);
    Haplotype h(3);
    EXPECT_EQ(h.assignRead(read, c.mode), c.assigns);
    EXPECT_EQ(countsOf(h), c.assigns ? held1 : none);
    // removeRead sees the flip after it changed: it takes out what the other
    // flip had put in.
    Haplotype held(3);
    held.appendRead(read, false);
    EXPECT_EQ(held.removeRead(read, c.mode), c.removes);
    EXPECT_EQ(countsOf(held), c.removes ? none : held1);
    EXPECT_FALSE(held.flipRead(read, c.mode));
  }
}

TEST(HaplotypeModes, AllReadsCountsFlippedReadsComplementedAndFollowsFlips) {
  const Parameter p = uniformMap(3);
  veltaSrand(9);
  for (unsigned char flip : {0, 1}) {
    Read read = readWithFlip("1 AGG", p, flip);
    Haplotype h(3);
    EXPECT_TRUE(h.assignRead(read, Haplotype::ALL_READS));
    const Counts asRead = {{1, 0}, {0, 1}, {0, 1}};
    const Counts complemented = {{0, 1}, {1, 0}, {1, 0}};
    EXPECT_EQ(countsOf(h), flip ? complemented : asRead);
    // Redraw the flip against the other orientation until it changes, then
    // move the counts.
    const Haplotype against(flip ? std::vector<bool>{false, true, true}
                                 : std::vector<bool>{true, false, false});
    while (!read.sampleFlip(against, p)) {
    }
    EXPECT_TRUE(h.flipRead(read, Haplotype::ALL_READS));
    EXPECT_EQ(countsOf(h), flip ? asRead : complemented);
  }
}

TEST(HaplotypeModes, UnknownModesAreFatal) {
  const Parameter p = uniformMap(2);
  const Read read("1 AG", p);
  Haplotype h(2);
  velta_test::ExitGuard catcher;
  testing::internal::CaptureStderr();
  EXPECT_THROW(h.assignRead(read, static_cast<Haplotype::Mode>(3)), velta_test::FatalExit);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "FATAL => You should not get to here\n\n");
  for (Haplotype::Mode mode : {Haplotype::ALL_READS, static_cast<Haplotype::Mode>(3)}) {
    testing::internal::CaptureStderr();
    EXPECT_THROW(h.removeRead(read, mode), velta_test::FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FATAL => You should not get here\n\n");
  }
  EXPECT_EQ(countsOf(h), Counts(2, {0, 0}));
}

TEST(HaplotypeAlleles, RandomConstructionDrawsOneLowBitPerSnp) {
  veltaSrand(31);
  const Haplotype h(130);
  veltaSrand(31);
  for (int j = 0; j < 130; ++j) EXPECT_EQ(h[j], (veltaRand() & 1) != 0) << j;
}

TEST(HaplotypeAlleles, AlleleRunsMatchSingleAlleles) {
  veltaSrand(2);
  for (int length : {1, 31, 32, 63, 64, 65, 200}) {
    std::vector<bool> alleles(length);
    for (int j = 0; j < length; ++j) alleles[j] = veltaRand() & 1;
    const Haplotype h(alleles);
    for (int first = 0; first < length + 40; ++first) {
      std::uint32_t expected = 0;
      for (int i = 0; i < 32 && first + i < length; ++i) {
        expected |= static_cast<std::uint32_t>(alleles[first + i]) << i;
      }
      ASSERT_EQ(h.getAlleleRun(first), expected) << length << " " << first;
    }
  }
}

TEST(HaplotypeSample, EachAlleleIsOneDrawFromItsCounts) {
  Parameter p = uniformMap(6);
  p.setSmoothMu(0.5);
  // Counts per SNP: none, few, tied, lopsided, and 200 of each, where both
  // weights underflow.
  Haplotype h(6);
  const std::string lines[] = {"2 A", "2 G", "3 AG", "4 AAAG", "6 G", "6 A"};
  for (const std::string& text : lines) h.appendRead(Read(text, p), false);
  const Read deep("5 A", p);
  const Read deepMinor("5 G", p);
  for (int i = 0; i < 200; ++i) {
    h.appendRead(deep, false);
    h.appendRead(deepMinor, false);
  }
  const double r = p.getSeqLogRight();
  const double e = p.getSeqLogError();
  for (unsigned seed = 1; seed <= 300; ++seed) {
    veltaSrand(seed);
    std::vector<double> uniform;
    for (int j = 0; j < 6; ++j) uniform.push_back(velta_test::uniformDraw());
    veltaSrand(seed);
    const std::uint64_t calls = Haplotype::getCount();
    h.sample(p);
    EXPECT_EQ(Haplotype::getCount(), calls + 1);
    for (int j = 0; j < 6; ++j) {
      const double k0 = h.getCount(j, false);
      const double k1 = h.getCount(j, true);
      EXPECT_EQ(h[j], chooseTwoValued(0.5 * (r * k0 + e * k1), 0.5 * (e * k0 + r * k1), uniform[j]))
          << "SNP " << j << " seed " << seed;
    }
  }
}

// Settings of the allele draws: mu flattening and sharpening, sequencing and
// panel error rates from none to one half.
struct AlleleSetting {
  double mu;
  double seqError;
  double emitError;
};

const AlleleSetting kAlleleSettings[] = {{1.0, 0.01, 2e-3}, {0.5, 0.01, 2e-3}, {2.0, 0.01, 2e-3},
                                         {1.0, 0.2, 0.5},   {1.0, 0.0, 0.0},   {2.0, 0.05, 0.01}};

// Every tabled decision, and some beyond the tables, changes from allele 0 to
// allele 1 at the very generator value where the plain formula draw does.
TEST(AlleleDrawTable, DecisionsChangeWhereThePlainDrawsChange) {
  Parameter p = uniformMap(1);
  const unsigned limit = AlleleDrawTable::kCounts + 6;
  veltaSrand(64);
  for (const AlleleSetting& setting : kAlleleSettings) {
    p.setSmoothMu(setting.mu);
    p.setSeqError(setting.seqError);
    p.setEmitError(setting.emitError);
    const AlleleDrawTable& table = AlleleDrawTable::forParameter(p);
    for (unsigned k0 = 0; k0 < limit + 200; ++k0) {
      for (unsigned k1 = 0; k1 < limit + 200; ++k1) {
        // Every pair up to beyond the tables, a sample of the deeper ones.
        if ((k0 >= limit || k1 >= limit) && veltaRand() % 50 != 0) continue;
        ASSERT_EQ(velta_plain::decisionMismatch(
                      [&](std::uint32_t value) { return table.choose(k0, k1, value); },
                      [&](double u) { return velta_plain::allele(k0, k1, p, u); }),
                  "")
            << "counts " << k0 << " " << k1 << " mu " << setting.mu;
        for (bool copied : {false, true}) {
          ASSERT_EQ(velta_plain::decisionMismatch(
                        [&](std::uint32_t value) { return table.choose(k0, k1, copied, value); },
                        [&](double u) { return velta_plain::allele(k0, k1, copied, p, u); }),
                    "")
              << "counts " << k0 << " " << k1 << " copied " << copied << " mu " << setting.mu;
        }
      }
    }
  }
}

// Whole haplotypes redrawn from random counts (shallow, around the tables'
// edge, deep enough that both weights underflow) with and without a path
// through a random panel: equal alleles to the plain formula draws for equal
// seeds, one random number per SNP.
TEST(HaplotypeSample, EqualsThePlainFormulaDrawsOnRandomCounts) {
  const int nSnp = 400;
  Parameter p = uniformMap(nSnp);
  std::string panelText;
  veltaSrand(65);
  for (int j = 0; j < nSnp; ++j) {
    for (int h = 0; h < 3; ++h) panelText += "AG"[veltaRand() & 1];
    panelText += '\n';
  }
  std::istringstream panelIn(panelText);
  Reference reference;
  reference.initFromStream(panelIn, "panel.txt", p);
  RefPath path(reference);
  for (int j = 0; j < nSnp; ++j) path(j) = static_cast<unsigned short>(veltaRand() % 3);
  Haplotype h(nSnp);
  for (int j = 0; j < nSnp; ++j) {
    const int depth = j % 4 == 0 ? 400 : j % 4 == 1 ? 80 : 30;
    const int k0 = veltaRand() % depth;
    const int k1 = j % 7 == 0 ? k0 : veltaRand() % depth;
    const Read one0(std::to_string(j + 1) + " A", p);
    const Read one1(std::to_string(j + 1) + " G", p);
    for (int k = 0; k < k0; ++k) h.appendRead(one0, false);
    for (int k = 0; k < k1; ++k) h.appendRead(one1, false);
  }
  for (const AlleleSetting& setting : kAlleleSettings) {
    p.setSmoothMu(setting.mu);
    p.setSeqError(setting.seqError);
    p.setEmitError(setting.emitError);
    for (bool guided : {false, true}) {
      const unsigned seed =
          static_cast<unsigned>(100 * setting.mu + 1000 * setting.seqError) + guided;
      veltaSrand(seed);
      if (guided) {
        h.sample(path, p);
      } else {
        h.sample(p);
      }
      const int next = veltaRand();
      std::srand(seed);
      for (int j = 0; j < nSnp; ++j) {
        const double k0 = h.getCount(j, false);
        const double k1 = h.getCount(j, true);
        const bool expected = guided
                                  ? velta_plain::allele(k0, k1, path[j], p, velta_plain::uniform())
                                  : velta_plain::allele(k0, k1, p, velta_plain::uniform());
        ASSERT_EQ(h[j], expected) << "SNP " << j << " counts " << k0 << " " << k1 << " mu "
                                  << setting.mu << " guided " << guided;
      }
      EXPECT_EQ(next, std::rand());
    }
  }
}

// Rates outside 0..1 (which only the library accepts) make the weights not a
// number; every draw then gives the minor allele, tabled counts, counts
// beyond the tables and SNPs without reads alike.
TEST(HaplotypeSample, NotANumberWeightsGiveTheMinorAllele) {
  const int nSnp = 6;
  Parameter p = uniformMap(nSnp);
  std::istringstream panelIn("AG\nAG\nGA\nAA\nGG\nAG\n");
  Reference reference;
  reference.initFromStream(panelIn, "panel.txt", p);
  RefPath path(reference);
  for (int j = 0; j < nSnp; ++j) path(j) = static_cast<unsigned short>(j & 1);
  Haplotype h(nSnp);
  const int counts[nSnp][2] = {{0, 0}, {3, 0}, {0, 5}, {70, 2}, {1, 90}, {0, 0}};
  for (int j = 0; j < nSnp; ++j) {
    const Read one0(std::to_string(j + 1) + " A", p);
    const Read one1(std::to_string(j + 1) + " G", p);
    for (int k = 0; k < counts[j][0]; ++k) h.appendRead(one0, false);
    for (int k = 0; k < counts[j][1]; ++k) h.appendRead(one1, false);
  }
  const struct {
    double seqError;
    double emitError;
  } settings[] = {{2.0, 0.002}, {-1.0, 0.002}, {0.01, 2.0}};
  veltaSrand(5);
  for (const auto& setting : settings) {
    p.setSeqError(setting.seqError);
    p.setEmitError(setting.emitError);
    for (int draw = 0; draw < 20; ++draw) {
      if (setting.emitError <= 1.0) {
        h.sample(p);
        for (int j = 0; j < nSnp; ++j)
          ASSERT_TRUE(h[j]) << "SNP " << j << " e " << setting.seqError;
      }
      h.sample(path, p);
      for (int j = 0; j < nSnp; ++j) ASSERT_TRUE(h[j]) << "SNP " << j << " guided";
    }
  }
}

TEST(HaplotypeSample, DeepTiedSnpsAreFairNotAlwaysMinor) {
  const int nSnp = 1000;
  const Parameter p = uniformMap(nSnp);
  Haplotype h(nSnp);
  const Read major("1 " + std::string(nSnp, 'A'), p);
  for (int i = 0; i < 200; ++i) {
    h.appendRead(major, false);
    h.appendRead(major, true);
  }
  veltaSrand(77);
  h.sample(p);
  int minor = 0;
  for (int j = 0; j < nSnp; ++j) minor += h[j];
  // Six standard deviations around one half.
  EXPECT_NEAR(minor, nSnp / 2, 6 * std::sqrt(nSnp / 4.0));
}

TEST(HaplotypePrint, ListsAllelesAndBothCounts) {
  const Parameter p = uniformMap(3);
  Haplotype h(std::vector<bool>{true, false, true});
  h.appendRead(Read("1 AG", p), false);
  testing::internal::CaptureStdout();
  h.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "hap\t1\t0\t1\t\ncnt0\t1\t0\t0\t\ncnt1\t0\t1\t0\t\n");
}

// A sampler's tables stay as its setting made them while a sampler on
// another thread, with another setting, takes its own.
TEST(DrawTables, EachThreadKeepsItsOwn) {
  Parameter mine = uniformMap(1);
  Parameter other = uniformMap(1);
  other.setSeqError(0.2);
  other.setEmitError(0.3);
  const AlleleDrawTable& alleles = AlleleDrawTable::forParameter(mine);
  const FlipDrawTable& flips = FlipDrawTable::forParameter(mine);
  const std::uint32_t alleleBefore = alleles.threshold(3, 1, false);
  const std::uint32_t flipBefore = flips.twoThreshold(4, 3, 1);
  std::uint32_t alleleOther = 0;
  std::uint32_t flipOther = 0;
  std::thread([&] {
    alleleOther = AlleleDrawTable::forParameter(other).threshold(3, 1, false);
    flipOther = FlipDrawTable::forParameter(other).twoThreshold(4, 3, 1);
  }).join();
  ASSERT_NE(alleleOther, alleleBefore) << "the settings must differ for the check to mean anything";
  ASSERT_NE(flipOther, flipBefore);
  EXPECT_EQ(alleles.threshold(3, 1, false), alleleBefore);
  EXPECT_EQ(flips.twoThreshold(4, 3, 1), flipBefore);
}

}  // namespace
