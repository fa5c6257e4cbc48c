// The factorised diploid copying model against the plain one on random
// windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "DiploidCopyingModel.h"
#include "DiploidModelReference.h"

namespace {

PhaseWindow randomWindow(std::mt19937& random, int K, int sites) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  PhaseWindow window;
  window.candidates = K;
  std::vector<unsigned char> alleles(K);
  for (int t = 0; t < sites; ++t) {
    for (unsigned char& allele : alleles) allele = random() & 1U;
    const int kind = static_cast<int>(random() % 3);
    window.addSite(static_cast<PhaseWindow::Kind>(kind), alleles.data(), 0.5 + 0.5 * unit(random),
                   random() & 1U, 0.02 + 0.96 * unit(random));
  }
  return window;
}

TEST(DiploidCopyingModel, MatchesThePlainModelOnRandomWindows) {
  std::mt19937 random(20261208);
  DiploidCopyingModel model;  // reused: its storage must not leak between windows
  for (int trial = 0; trial < 60; ++trial) {
    const int K = 1 + trial % 4;
    const int sites = 1 + static_cast<int>(random() % 14);
    const double mismatch = trial % 2 ? 0.01 : 0.2;
    const PhaseWindow window = randomWindow(random, K, sites);
    const std::vector<double> fast = model.keepPosterior(window, mismatch);
    const std::vector<double> plain = velta_plain::keepPosterior(window, mismatch);
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t t = 0; t < fast.size(); ++t) {
      // The kept predicted vectors hold 8 bits of mantissa.
      EXPECT_NEAR(fast[t], plain[t], 5e-3) << "trial " << trial << " site " << t;
    }
  }
}

}  // namespace
