// Forward-backward of the diploid copying model over one window.
#include "DiploidCopyingModel.h"

#include <algorithm>
#include <utility>

void PhaseWindow::clear() {
  alleles.clear();
  kind.clear();
  stay.clear();
  firstAllele.clear();
  keep.clear();
}

void PhaseWindow::addSite(Kind siteKind, const unsigned char* candidateAlleles,
                          double stayProbability, unsigned char first, double keepProbability) {
  alleles.insert(alleles.end(), candidateAlleles, candidateAlleles + candidates);
  kind.push_back(siteKind);
  stay.push_back(stayProbability);
  firstAllele.push_back(first);
  keep.push_back(keepProbability);
}

namespace {

// One step of the pair chain: each member keeps its candidate with
// probability q + u or moves to a given other one with probability u,
// u = (1 - q) / K, the two members independently. Factorised, the step costs
// O(K^2): out(a, b) = q^2 in(a, b) + q u (row(a) + column(b)) + u^2 total.
// The step is its own transpose, so the backward pass uses it too.
void pairStep(const double* in, double* out, int K, double q, double* rowSum,
              double* columnSum) {
  std::fill(columnSum, columnSum + K, 0.0);
  double total = 0;
  for (int a = 0; a < K; ++a) {
    const double* row = in + static_cast<std::size_t>(a) * K;
    double sum = 0;
    for (int b = 0; b < K; ++b) {
      sum += row[b];
      columnSum[b] += row[b];
    }
    rowSum[a] = sum;
    total += sum;
  }
  const double u = (1 - q) / K;
  const double both = q * q;
  const double one = q * u;
  const double none = u * u * total;
  for (int a = 0; a < K; ++a) {
    const double* row = in + static_cast<std::size_t>(a) * K;
    double* target = out + static_cast<std::size_t>(a) * K;
    const double rowPart = one * rowSum[a] + none;
    for (int b = 0; b < K; ++b) target[b] = both * row[b] + one * columnSum[b] + rowPart;
  }
}

// Multiplies pair (a, b) of one layer by factorA[a] x factorB[b].
void emit(double* layer, int K, const double* factorA, const double* factorB) {
  for (int a = 0; a < K; ++a) {
    double* row = layer + static_cast<std::size_t>(a) * K;
    const double fa = factorA[a];
    for (int b = 0; b < K; ++b) row[b] *= fa * factorB[b];
  }
}

// Divides by the sum; returns nothing, the scale is not needed.
void normalise(double* values, std::size_t n) {
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += values[i];
  if (!(sum > 0)) return;
  const double inverse = 1 / sum;
  for (std::size_t i = 0; i < n; ++i) values[i] *= inverse;
}

double dot(const float* x, const double* y, std::size_t n) {
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * y[i];
  return sum;
}

}  // namespace

void DiploidCopyingModel::siteFactors(const PhaseWindow& window, std::size_t site,
                                      double mismatch) {
  const int K = window.candidates;
  const unsigned char* alleles = &window.alleles[site * static_cast<std::size_t>(K)];
  const double match = 1 - mismatch;
  const unsigned char kind = window.kind[site];
  // Member a wants `wantA`, member b `wantB` under orientation 0.
  const unsigned char wantA = kind == PhaseWindow::HET ? window.firstAllele[site] : kind;
  const unsigned char wantB = kind == PhaseWindow::HET ? 1 - wantA : kind;
  for (int k = 0; k < K; ++k) {
    factorA_[k] = alleles[k] == wantA ? match : mismatch;
    factorB_[k] = alleles[k] == wantB ? match : mismatch;
  }
}

std::vector<double> DiploidCopyingModel::keepPosterior(const PhaseWindow& window,
                                                       double mismatch) {
  const int K = window.candidates;
  const std::size_t layer = static_cast<std::size_t>(K) * K;
  const std::size_t n = window.siteCount();
  std::vector<double> result(n, -1.0);
  if (n == 0 || K == 0) return result;
  forward_.assign(2 * layer, 1.0);
  next_.resize(2 * layer);
  rowSum_.resize(K);
  columnSum_.resize(K);
  factorA_.resize(K);
  factorB_.resize(K);
  // The predicted vectors are kept at every heterozygous site that has a
  // heterozygous site before it in the window.
  std::size_t stored = 0;
  std::size_t firstHet = n;
  for (std::size_t t = 0; t < n; ++t) {
    if (window.kind[t] == PhaseWindow::HET) {
      if (firstHet < t) ++stored;
      firstHet = std::min(firstHet, t);
    }
  }
  predicted_.resize(stored * 2 * layer);

  auto emitSite = [&](double* values, std::size_t t) {
    siteFactors(window, t, mismatch);
    emit(values, K, factorA_.data(), factorB_.data());
    emit(values + layer, K, factorB_.data(), factorA_.data());
  };
  // Mixes the two orientation layers: each keeps its orientation with
  // probability p.
  auto mixLayers = [&](double* values, double p) {
    for (std::size_t i = 0; i < layer; ++i) {
      const double zero = values[i];
      const double one = values[layer + i];
      values[i] = p * zero + (1 - p) * one;
      values[layer + i] = p * one + (1 - p) * zero;
    }
  };

  emitSite(forward_.data(), 0);
  normalise(forward_.data(), 2 * layer);
  std::size_t slot = 0;
  for (std::size_t t = 1; t < n; ++t) {
    for (int s = 0; s < 2; ++s) {
      pairStep(forward_.data() + s * layer, next_.data() + s * layer, K, window.stay[t],
               rowSum_.data(), columnSum_.data());
    }
    if (window.kind[t] == PhaseWindow::HET && t > firstHet) {
      std::copy(next_.begin(), next_.end(), predicted_.begin() + slot * 2 * layer);
      ++slot;
      mixLayers(next_.data(), window.keep[t]);
    }
    emitSite(next_.data(), t);
    normalise(next_.data(), 2 * layer);
    std::swap(forward_, next_);
  }

  // Backward: forward_ now holds the backward vector of site t.
  std::fill(forward_.begin(), forward_.end(), 1.0);
  for (std::size_t t = n - 1; t >= 1; --t) {
    double* beta = forward_.data();
    emitSite(beta, t);
    if (window.kind[t] == PhaseWindow::HET && t > firstHet) {
      // P(s_prev = x, s_t = y) is proportional to R(x, y) times the
      // predicted vector of layer x against the emitted backward one of y.
      --slot;
      const float* predicted = &predicted_[slot * 2 * layer];
      const double p = window.keep[t];
      const double same =
          dot(predicted, beta, layer) + dot(predicted + layer, beta + layer, layer);
      const double crossed =
          dot(predicted, beta + layer, layer) + dot(predicted + layer, beta, layer);
      const double kept = p * same;
      const double flipped = (1 - p) * crossed;
      result[t] = kept + flipped > 0 ? kept / (kept + flipped) : 0.5;
      mixLayers(beta, p);
    }
    for (int s = 0; s < 2; ++s) {
      pairStep(beta + s * layer, next_.data() + s * layer, K, window.stay[t], rowSum_.data(),
               columnSum_.data());
    }
    normalise(next_.data(), 2 * layer);
    std::swap(forward_, next_);
  }
  return result;
}
