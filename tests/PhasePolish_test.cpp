// The phase polish against a plain greedy descent that scores every move by
// recounting every read.
#include "PhasePolish.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "TestSupport.h"
#include "VeltaUtil.h"

namespace {

using velta_test::betterOrientationMismatch;

// Greedy descent: every cut (complementing SNPs c .. end) in order, then
// every single SNP, the first strictly lowest move applied, while any lowers
// the mismatch.
std::vector<bool> plainPolish(std::vector<bool> alleles, const std::vector<Read>& reads) {
  for (;;) {
    const long long now = betterOrientationMismatch(alleles, reads);
    long long best = 0;
    std::size_t at = 0;
    bool isCut = false;
    for (std::size_t c = 1; c < alleles.size(); ++c) {
      std::vector<bool> moved = alleles;
      for (std::size_t j = c; j < moved.size(); ++j) moved[j] = !moved[j];
      const long long change = betterOrientationMismatch(moved, reads) - now;
      if (change < best) best = change, at = c, isCut = true;
    }
    for (std::size_t j = 0; j < alleles.size(); ++j) {
      std::vector<bool> moved = alleles;
      moved[j] = !moved[j];
      const long long change = betterOrientationMismatch(moved, reads) - now;
      if (change < best) best = change, at = j, isCut = false;
    }
    if (best == 0) return alleles;
    for (std::size_t j = at; j < (isCut ? alleles.size() : at + 1); ++j) alleles[j] = !alleles[j];
  }
}

TEST(PhasePolish, MakesThePlainDescentsMoves) {
  const int nSnp = 50;
  const Parameter p = velta_test::uniformMap(nSnp);
  veltaSrand(17);
  for (int trial = 0; trial < 12; ++trial) {
    std::vector<bool> truth;
    for (int j = 0; j < nSnp; ++j) truth.push_back(veltaRand() & 1);
    std::vector<Read> reads;
    for (int r = 0; r < 70; ++r) {
      // Reads of both haplotypes with errors, some calling a SNP twice.
      const int length = 1 + veltaRand() % 8;
      const int start = veltaRand() % (nSnp - length);
      const bool other = veltaRand() & 1;
      std::string text = std::to_string(start + 1) + " ";
      for (int j = start; j < start + length; ++j) {
        const bool minor = (truth[j] != other) != (veltaRand() % 8 == 0);
        text += minor ? 'G' : 'A';
      }
      if (r % 9 == 0) text += " " + std::to_string(start + 1) + " G";
      reads.emplace_back(text, p);
    }
    std::vector<bool> start;
    for (int j = 0; j < nSnp; ++j) start.push_back(veltaRand() % 3 == 0 ? !truth[j] : truth[j]);
    Haplotype haplotype(start);
    std::vector<Read> polished = reads;
    const int mismatch = polishAssembly(haplotype, polished);
    const std::vector<bool> expected = plainPolish(start, reads);
    for (int j = 0; j < nSnp; ++j) ASSERT_EQ(haplotype[j], expected[j]) << trial << " SNP " << j;
    EXPECT_EQ(mismatch, betterOrientationMismatch(expected, reads)) << trial;
  }
}

}  // namespace
