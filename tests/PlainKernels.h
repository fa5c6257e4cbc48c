// Straightforward forms of the Gibbs sampler's draws: every weight computed
// from its formula with two exp calls, every match counted position by
// position through the read iterator. The tests check the program's fast
// kernels against these on random inputs; the benchmarks time both.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "VeltaUtil.h"
#include "Reference.h"

namespace velta_plain {

// The C library's uniform number in 0..1, as every draw of the program sees it.
inline double uniform() {
  return toUniform(std::rand());
}

// count x logProbability with 0 x log 0 = 0.
inline double weighted(double count, double logProbability) {
  return count == 0 ? 0.0 : count * logProbability;
}

// Two-valued Gibbs draw: 0 when p0 = w0 / (w0 + w1) is strictly greater than
// `u`. Where both weights underflow to 0 (or both overflow), p0 comes from the
// difference of the log weights; a probability that is not a number gives 1.
inline bool twoValued(double logWeight0, double logWeight1, double u) {
  const double w0 = std::exp(logWeight0);
  const double w1 = std::exp(logWeight1);
  double p0 = w0 / (w0 + w1);
  if ((w0 == 0.0 && w1 == 0.0) || (std::isinf(w0) && std::isinf(w1))) {
    p0 = 1.0 / (1.0 + std::exp(logWeight1 - logWeight0));
  }
  return !(p0 > u);
}

// The first generator value r (0 to 2^31 - 1) for which a draw, given the
// uniform number toUniform(r), gives 1; 2^31 when none does. Every draw
// gives 0 below it and 1 from it on.
template <typename Draw>
std::uint32_t firstValueGivingOne(Draw draw) {
  std::uint32_t low = 0;
  std::uint32_t high = std::uint32_t{1} << 31;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    if (draw(toUniform(middle))) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

// Where a fast decision `choose(value)` for generator values and a plain draw
// `draw(uniform)` part ways: "" when the fast one also changes from 0 to 1 at
// the plain draw's first value giving 1 (both only change once, so they then
// agree for every value).
template <typename Choose, typename Draw>
std::string decisionMismatch(Choose choose, Draw draw) {
  const std::uint32_t first = firstValueGivingOne(draw);
  if (first > 0 && choose(first - 1)) return "1 at value " + std::to_string(first - 1);
  if (first <= std::uint32_t{kRandMax} && !choose(first))
    return "0 at value " + std::to_string(first);
  return "";
}

// Present positions of the read whose allele equals the haplotype's.
inline unsigned countMatch(const Read& read, const Haplotype& haplotype) {
  unsigned matches = 0;
  for (ReadIterator it = read.begin(); it != read.end(); ++it) {
    matches += haplotype[(*it).first] == (*it).second;
  }
  return matches;
}

// New flip of a read of n calls of which m agree with the one haplotype.
inline unsigned char flipOne(double n, double m, const Parameter& p, double u) {
  const double mu = p.getSmoothMu();
  const double right = p.getSeqLogRight();
  const double error = p.getSeqLogError();
  return twoValued(mu * (weighted(m, right) + weighted(n - m, error)),
                   mu * (weighted(m, error) + weighted(n - m, right)), u);
}

// New flip of a read of n calls agreeing at m1 with the first haplotype and
// at m2 with the second.
inline unsigned char flipTwo(double n, double m1, double m2, const Parameter& p, double u) {
  const double mu = p.getSmoothMu();
  const double right = p.getSeqLogRight();
  const double error = p.getSeqLogError();
  return twoValued(mu * (weighted(m1, right) + weighted(n - m1, error)),
                   mu * (weighted(m2, right) + weighted(n - m2, error)), u);
}

// Allele (true for minor) drawn from k0 major and k1 minor calls.
inline bool allele(double k0, double k1, const Parameter& p, double u) {
  const double mu = p.getSmoothMu();
  const double right = p.getSeqLogRight();
  const double error = p.getSeqLogError();
  return twoValued(mu * (weighted(k0, right) + weighted(k1, error)),
                   mu * (weighted(k0, error) + weighted(k1, right)), u);
}

// Allele drawn from the calls and the panel allele `copied` of the path.
inline bool allele(double k0, double k1, bool copied, const Parameter& p, double u) {
  const double mu = p.getSmoothMu();
  const double right = p.getSeqLogRight();
  const double error = p.getSeqLogError();
  const double panel0 = copied ? p.getEmitLogError() : p.getEmitLogRight();
  const double panel1 = copied ? p.getEmitLogRight() : p.getEmitLogError();
  return twoValued(mu * (weighted(k0, right) + weighted(k1, error) + panel0),
                   mu * (weighted(k0, error) + weighted(k1, right) + panel1), u);
}

// Haplotype with every allele drawn from its counts and the path's allele,
// the counts kept.
inline Haplotype drawAlleles(const Haplotype& h, const RefPath& path, const Parameter& p) {
  std::vector<bool> alleles;
  for (int j = 0; j < h.getLength(); ++j) {
    alleles.push_back(allele(h.getCount(j, false), h.getCount(j, true), path[j], p, uniform()));
  }
  Haplotype drawn(alleles);
  for (int j = 0; j < h.getLength(); ++j) drawn.setCounts(j, h.getCount(j, false), h.getCount(j, true));
  return drawn;
}

// One inner iteration of the inference sampler: both haplotypes' alleles,
// then every read's side, a read whose side changed moved at once.
inline void subIteration(Haplotype& first, Haplotype& second, const RefPath& firstPath,
                         const RefPath& secondPath, std::vector<Read>& reads,
                         const Parameter& p) {
  first = drawAlleles(first, firstPath, p);
  second = drawAlleles(second, secondPath, p);
  for (Read& read : reads) {
    const unsigned char flip = flipTwo(read.size(), countMatch(read, first),
                                       countMatch(read, second), p, uniform());
    if (flip == read.getFlip()) continue;
    read.setFlip(flip);
    if (flip == 1) {
      first.removeRead(read, Haplotype::UNFLIPPED_READS);
      second.assignRead(read, Haplotype::FLIPPED_READS);
    } else {
      first.assignRead(read, Haplotype::UNFLIPPED_READS);
      second.removeRead(read, Haplotype::FLIPPED_READS);
    }
  }
}

// The outcomes of 64 two-valued draws, one comparison at a time: bit j is 1
// when values[j] reaches thresholds[j]. FeedbackGenerator::drawBits
// (VeltaUtil.h) compares eight at a time as it makes the numbers.
inline std::uint64_t reachedBits(const std::uint32_t* values, const std::uint32_t* thresholds) {
  std::uint64_t bits = 0;
  for (unsigned j = 0; j < 64; ++j) {
    if (values[j] >= thresholds[j]) bits |= std::uint64_t{1} << j;
  }
  return bits;
}

// One forward step of the copying model, one haplotype at a time, the form
// forwardStep (src/ForwardStep.h) vectorises: current[k] = (stay x
// previous[k] + move) x e(k), e(k) looked up by the nibble of differing bits
// that holds haplotype k; sum t over haplotypes k = t mod 8, the eight added
// pairwise.
inline double forwardStep(const double* previous, double* current, const std::uint64_t* panel,
                          std::uint64_t mask, std::size_t hapNo, double stay, double move,
                          const double* table) {
  double sums[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (std::size_t k = 0; k < hapNo; ++k) {
    const unsigned nibble = static_cast<unsigned>((panel[k / 64] ^ mask) >> (4 * ((k / 4) % 16))) & 0xFU;
    current[k] = (stay * previous[k] + move) * table[4 * std::size_t{nibble} + k % 4];
    sums[k % 8] += current[k];
  }
  return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

}  // namespace velta_plain
