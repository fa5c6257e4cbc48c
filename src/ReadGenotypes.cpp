// Genotypes checked against the reads' allele counts.
#include "ReadGenotypes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "Read.h"

namespace {

// Major and minor calls per SNP over all reads.
std::vector<std::uint32_t> countCalls(std::size_t nSnp, const std::vector<Read>& reads) {
  std::vector<std::uint32_t> counts(2 * nSnp, 0);
  for (const Read& read : reads) {
    for (ReadIterator it = read.begin(); it != read.end(); ++it) {
      const auto [snp, minor] = *it;
      if (snp < nSnp) ++counts[2 * snp + minor];
    }
  }
  return counts;
}

}  // namespace

double measureCallError(const Genotypes& genotypes, const std::vector<Read>& reads) {
  const std::vector<std::uint32_t> counts = countCalls(genotypes.size(), reads);
  double other = 0;
  double all = 0;
  for (std::size_t j = 0; j < genotypes.size(); ++j) {
    if (genotypes[j] == 2) continue;
    other += counts[2 * j + (1 - genotypes[j])];
    all += counts[2 * j] + counts[2 * j + 1];
  }
  if (all == 0) return 0.01;
  return std::clamp(other / all, 1e-4, 0.25);
}

int recallGenotypes(Genotypes& genotypes, const std::vector<Read>& reads, double error,
                    double margin) {
  const std::vector<std::uint32_t> counts = countCalls(genotypes.size(), reads);
  const double right = std::log(1 - error);
  const double wrong = std::log(error);
  const double half = std::log(0.5);
  int changed = 0;
  for (std::size_t j = 0; j < genotypes.size(); ++j) {
    const double major = counts[2 * j];
    const double minor = counts[2 * j + 1];
    const double logLikelihood[3] = {right * major + wrong * minor,
                                     wrong * major + right * minor, half * (major + minor)};
    const int best = static_cast<int>(std::max_element(logLikelihood, logLikelihood + 3) -
                                      logLikelihood);
    if (best != genotypes[j] && logLikelihood[best] - logLikelihood[genotypes[j]] > margin) {
      genotypes[j] = static_cast<unsigned char>(best);
      ++changed;
    }
  }
  return changed;
}
