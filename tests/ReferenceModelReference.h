// Reference implementations of the copying-model kernels: the plain log-space
// forward pass over an H x S table with path draws through mnrnd, and the best
// path search that scores all S^4 pair-to-pair moves per SNP. The tests check
// the fast kernels of Reference against them; the benchmarks time both.
#pragma once

#include <cstdint>
#include <vector>

#include "Reference.h"

class Haplotype;
class Parameter;

namespace velta_reference {

// The copying model in natural-log space over a copy of a loaded panel.
class LogSpaceModel {
 public:
  explicit LogSpaceModel(const Reference& reference);

  // F (H x S, SNP i haplotype k at i x H + k) and T (S): log forward values
  // and per-SNP log totals, each step one logsum per haplotype.
  void forward(std::vector<double>& F, std::vector<double>& T, const Haplotype& haplotype,
               const Parameter& parameter) const;
  // One mnrnd draw per SNP from F and T, last SNP first. With `margins`, each
  // draw also records, per SNP, the distance between its uniform numbers and
  // the nearest cumulative weight that decided it (rounding within that
  // distance could change the draw); the draws and numbers taken stay the same.
  void backwardSampling(std::vector<unsigned short>& path, const std::vector<double>& F,
                        const std::vector<double>& T, const Parameter& parameter,
                        std::vector<double>* margins = nullptr) const;
  void samplePath(std::vector<unsigned short>& path, const Haplotype& haplotype,
                  const Parameter& parameter, std::vector<double>* margins = nullptr) const;
  double forwardProb(const Haplotype& haplotype, const Parameter& parameter) const;

 private:
  const std::uint64_t* row(unsigned int snp) const { return &alleles_[snp * words_]; }

  int hapNo_;
  int snpNo_;
  std::size_t words_;
  std::vector<std::uint64_t> alleles_;  // snpNo_ rows of words_ words, as the panel stores them
  mutable std::vector<double> forward_, totals_, weights_;
};

// mnrnd with the decision margin of the accepted draw: the same numbers taken,
// the same category returned (from 1), the same fatal end.
int marginDraw(const std::vector<double>& weights, double* margin);

// The best pair-of-paths search scoring every predecessor pair of every
// target pair, each candidate computed afresh as ((d + d) + P) plus (m - d)
// for a first member that stays and again for a second member that stays, so
// no value drifts through repeated adding and taking away. Same sample draw,
// tie rule and result as Reference::maxPath; it prints nothing and does not
// check the sample size.
void maxPathAllPairs(const Reference& reference, RefPath& first, RefPath& second,
                     const AlleleCounts& counts, const Parameter& parameter);

}  // namespace velta_reference
