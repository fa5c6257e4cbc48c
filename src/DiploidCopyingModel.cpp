// Forward-backward of the diploid copying model over one window.
#include "DiploidCopyingModel.h"

#include <algorithm>
#include <cstring>
#include <utility>

// The window's passes are built twice, for processors with 256-bit vectors
// and for any other, the first call picking one: the same operations in the
// same order (no fused multiply-add, no reordered sums), so both give the same
// posteriors.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VELTA_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELTA_WIDE_CLONES
#endif

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

void DiploidCopyingModel::siteFactors(const PhaseWindow& window, std::size_t site,
                                      double mismatch) {
  const unsigned char* alleles = &window.alleles[site * static_cast<std::size_t>(K_)];
  const float match = static_cast<float>(1 - mismatch);
  const float miss = static_cast<float>(mismatch);
  const unsigned char kind = window.kind[site];
  const unsigned char first = kind == PhaseWindow::HET ? window.firstAllele[site] : kind;
  const unsigned char second = kind == PhaseWindow::HET ? 1 - first : kind;
  for (int k = 0; k < K_; ++k) {
    firstWant_[k] = alleles[k] == first ? match : miss;
    secondWant_[k] = alleles[k] == second ? match : miss;
  }
}

VELTA_WIDE_CLONES double DiploidCopyingModel::sums(const float* values) {
  std::fill(columnSum_.begin(), columnSum_.end(), 0.0);
  double total = 0;
  for (int a = 0; a < K_; ++a) {
    const float* row = values + static_cast<std::size_t>(a) * K_;
    // Four partial sums: the row sum is the one reduction of the pass.
    float partial[4] = {0, 0, 0, 0};
    int b = 0;
    for (; b + 4 <= K_; b += 4) {
      for (int i = 0; i < 4; ++i) partial[i] += row[b + i];
    }
    for (; b < K_; ++b) partial[0] += row[b];
    for (int i = 0; i < K_; ++i) columnSum_[i] += row[i];
    rowSum_[a] = static_cast<double>(partial[0]) + partial[1] + partial[2] + partial[3];
    total += rowSum_[a];
  }
  return total;
}

// The pair chain's step: each member keeps its candidate with probability
// q + u or moves to a given other one with probability u, u = (1 - q) / K,
// independently, so out(a, b) = q^2 in(a, b) + q u (row(a) + column(b))
// + u^2 total. The step is its own transpose; the backward pass uses it too.
VELTA_WIDE_CLONES void DiploidCopyingModel::step(const float* in, float* out, double stay, double total,
                               double keep, bool mixing, bool emitting) {
  const double scale = total > 0 ? 1 / total : 1;
  const double u = (1 - stay) / K_;
  double rowMix = 1;
  double columnMix = 0;
  if (mixing) {
    // Sums of p in + (1 - p) in^T: row a mixes in's row a and column a.
    rowMix = keep;
    columnMix = 1 - keep;
  }
  const float both = static_cast<float>(stay * stay * scale);
  const float one = static_cast<float>(stay * u * scale);
  const float none = static_cast<float>(u * u * total * scale);
  const float self = static_cast<float>(keep);
  const float other = static_cast<float>(1 - keep);
  for (int a = 0; a < K_; ++a) {
    const float* row = in + static_cast<std::size_t>(a) * K_;
    float* target = out + static_cast<std::size_t>(a) * K_;
    const double rowTotal = rowMix * rowSum_[a] + columnMix * columnSum_[a];
    const float rowPart = static_cast<float>(one * rowTotal + none);
    if (mixing) {
      for (int b = 0; b < K_; ++b) {
        const float mixed = self * row[b] + other * in[static_cast<std::size_t>(b) * K_ + a];
        const double columnTotal = rowMix * columnSum_[b] + columnMix * rowSum_[b];
        const float value = both * mixed + one * static_cast<float>(columnTotal) + rowPart;
        target[b] = value;
      }
    } else if (emitting) {
      const float factor = firstWant_[a];
      for (int b = 0; b < K_; ++b) {
        target[b] = (both * row[b] + one * static_cast<float>(columnSum_[b]) + rowPart) * factor *
                    secondWant_[b];
      }
    } else {
      for (int b = 0; b < K_; ++b) {
        target[b] = both * row[b] + one * static_cast<float>(columnSum_[b]) + rowPart;
      }
    }
  }
}

namespace {

// A float rounded to its upper 16 bits, and back.
std::uint16_t toHalf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return static_cast<std::uint16_t>((bits + 0x7FFFU + ((bits >> 16) & 1U)) >> 16);
}

float fromHalf(std::uint16_t half) {
  const std::uint32_t bits = static_cast<std::uint32_t>(half) << 16;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Sum of x(a, b) y(a, b), or of x(a, b) y(b, a) when `transposed`.
VELTA_WIDE_CLONES double pairDot(const std::uint16_t* x, const float* y, int K, bool transposed) {
  double sum = 0;
  for (int a = 0; a < K; ++a) {
    const std::uint16_t* row = x + static_cast<std::size_t>(a) * K;
    float partial = 0;
    for (int b = 0; b < K; ++b) {
      partial += fromHalf(row[b]) * (transposed ? y[static_cast<std::size_t>(b) * K + a]
                                                : y[static_cast<std::size_t>(a) * K + b]);
    }
    sum += partial;
  }
  return sum;
}

}  // namespace

VELTA_WIDE_CLONES std::vector<double> DiploidCopyingModel::keepPosterior(const PhaseWindow& window,
                                                       double mismatch) {
  K_ = window.candidates;
  const std::size_t n = window.siteCount();
  std::vector<double> result(n, -1.0);
  if (n == 0 || K_ <= 0) return result;
  const std::size_t layer = static_cast<std::size_t>(K_) * K_;
  current_.assign(layer, 1.0f);
  next_.resize(layer);
  rowSum_.resize(K_);
  columnSum_.resize(K_);
  firstWant_.resize(K_);
  secondWant_.resize(K_);
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
  predicted_.resize(stored * layer);
  auto linked = [&](std::size_t t) { return window.kind[t] == PhaseWindow::HET && t > firstHet; };

  // Forward. Before the first heterozygous site both layers are equal, so
  // orientation plays no part there.
  siteFactors(window, 0, mismatch);
  for (int a = 0; a < K_; ++a) {
    for (int b = 0; b < K_; ++b) {
      current_[static_cast<std::size_t>(a) * K_ + b] = firstWant_[a] * secondWant_[b];
    }
  }
  std::size_t slot = 0;
  for (std::size_t t = 1; t < n; ++t) {
    const double total = sums(current_.data());
    siteFactors(window, t, mismatch);
    if (linked(t)) {
      // Predicted vector kept, then the orientations mixed by the reads'
      // evidence and the emissions applied.
      step(current_.data(), next_.data(), window.stay[t], total, 0, false, false);
      std::uint16_t* kept = &predicted_[slot++ * layer];
      for (std::size_t i = 0; i < layer; ++i) kept[i] = toHalf(next_[i]);
      const float self = static_cast<float>(window.keep[t]);
      const float other = 1 - self;
      const float* predicted = next_.data();
      for (int a = 0; a < K_; ++a) {
        for (int b = 0; b < K_; ++b) {
          current_[static_cast<std::size_t>(a) * K_ + b] =
              (self * predicted[static_cast<std::size_t>(a) * K_ + b] +
               other * predicted[static_cast<std::size_t>(b) * K_ + a]) *
              firstWant_[a] * secondWant_[b];
        }
      }
    } else {
      step(current_.data(), next_.data(), window.stay[t], total, 0, false, true);
      std::swap(current_, next_);
    }
  }

  // Backward: current_ holds the backward vector of site t.
  std::fill(current_.begin(), current_.end(), 1.0f);
  for (std::size_t t = n - 1; t >= 1; --t) {
    siteFactors(window, t, mismatch);
    float* beta = current_.data();
    for (int a = 0; a < K_; ++a) {
      float* row = beta + static_cast<std::size_t>(a) * K_;
      const float factor = firstWant_[a];
      for (int b = 0; b < K_; ++b) row[b] *= factor * secondWant_[b];
    }
    const bool mixing = linked(t);
    if (mixing) {
      // P(s_prev = x, s_t = y) is proportional to R(x, y) times the
      // predicted vector of layer x against the emitted backward vector of
      // layer y; layer 1 being layer 0 transposed, same-layer pairs give
      // twice the plain product and crossed pairs twice the transposed one.
      const std::uint16_t* predicted = &predicted_[--slot * layer];
      const double p = window.keep[t];
      const double kept = p * pairDot(predicted, beta, K_, false);
      const double flipped = (1 - p) * pairDot(predicted, beta, K_, true);
      result[t] = kept + flipped > 0 ? kept / (kept + flipped) : 0.5;
    }
    const double total = sums(beta);
    step(beta, next_.data(), window.stay[t], total, window.keep[t], mixing, false);
    std::swap(current_, next_);
  }
  return result;
}
