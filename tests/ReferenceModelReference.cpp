#include "ReferenceModelReference.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Haplotype.h"
#include "Parameter.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace velta_reference {

namespace {

std::size_t haplotypesInWord(std::size_t w, std::size_t hapNo) {
  const std::size_t first = w * 64;
  return hapNo - first < 64 ? hapNo - first : 64;
}

constexpr double kLogHalf = -0.6931471805599453;

}  // namespace

LogSpaceModel::LogSpaceModel(const Reference& reference)
    : hapNo_(reference.getHapNo()),
      snpNo_(reference.getSnpNo()),
      words_((static_cast<std::size_t>(reference.getHapNo()) + 63) / 64),
      alleles_(words_ * static_cast<std::size_t>(reference.getSnpNo()), 0) {
  for (int i = 0; i < snpNo_; ++i) {
    for (int k = 0; k < hapNo_; ++k) {
      if (reference.getAllele(static_cast<unsigned short>(k), i)) {
        alleles_[i * words_ + k / 64] |= std::uint64_t{1} << (k % 64);
      }
    }
  }
}

void LogSpaceModel::forward(std::vector<double>& F, std::vector<double>& T,
                            const Haplotype& haplotype, const Parameter& parameter) const {
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  if (F.size() != hapNo * snpNo) F.resize(hapNo * snpNo);
  if (T.size() != snpNo) T.resize(snpNo);
  const double emission[2] = {parameter.getEmitLogRight(), parameter.getEmitLogError()};

  // SNP 0: every panel haplotype starts with weight 1, times its emission.
  double total = kLogFloor;
  const std::uint64_t flip0 = haplotype[0] ? ~std::uint64_t{0} : 0;
  for (std::size_t w = 0; w < words_; ++w) {
    const std::uint64_t differs = row(0)[w] ^ flip0;
    const std::size_t count = haplotypesInWord(w, hapNo);
    double* f = &F[w * 64];
    for (std::size_t b = 0; b < count; ++b) {
      f[b] = emission[(differs >> b) & 1];
      total = logsum(total, f[b]);
    }
  }
  T[0] = total;

  // Later SNPs: staying adds plus(i) to the own predecessor, and every
  // haplotype shares the move mass diff(i) + T[i - 1].
  for (std::size_t i = 1; i < snpNo; ++i) {
    const double shared = parameter.getTranLogDiff(i) + T[i - 1];
    const double plus = parameter.getTranLogPlus(i);
    const std::uint64_t flip = haplotype[i] ? ~std::uint64_t{0} : 0;
    const std::uint64_t* panel = row(i);
    const double* previous = &F[(i - 1) * hapNo];
    double* current = &F[i * hapNo];
    total = kLogFloor;
    for (std::size_t w = 0; w < words_; ++w) {
      const std::uint64_t differs = panel[w] ^ flip;
      const std::size_t count = haplotypesInWord(w, hapNo);
      const std::size_t base = w * 64;
      for (std::size_t b = 0; b < count; ++b) {
        const double value =
            logsum(plus + previous[base + b], shared) + emission[(differs >> b) & 1];
        current[base + b] = value;
        total = logsum(total, value);
      }
    }
    T[i] = total;
  }
}

int marginDraw(const std::vector<double>& weights, double* margin) {
  const int n = static_cast<int>(weights.size());
  *margin = std::numeric_limits<double>::infinity();
  for (;;) {
    const double r = toUniform(veltaRand());
    double cumulative = 0.0;
    for (int i = 0; i < n; ++i) {
      const double before = cumulative;
      cumulative += weights[i];
      if (cumulative >= r) {
        *margin = std::min({*margin, cumulative - r, r - before});
        return i + 1;
      }
    }
    *margin = std::min(*margin, r - cumulative);
    if (!(cumulative > 0.0)) {
      veltaFatal(
          "Discrete draw over %d categories cannot succeed: the weights sum to %g "
          "(expected a positive sum near 1)\n",
          n, cumulative);
    }
  }
}

void LogSpaceModel::backwardSampling(std::vector<unsigned short>& path,
                                     const std::vector<double>& F, const std::vector<double>& T,
                                     const Parameter& parameter,
                                     std::vector<double>* margins) const {
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  path.assign(snpNo, 0);
  if (margins != nullptr) margins->assign(snpNo, 0.0);
  std::vector<double>& w = weights_;
  w.resize(hapNo);
  auto draw = [&](std::size_t snp) {
    if (margins == nullptr) return mnrnd(w) - 1;
    return marginDraw(w, &(*margins)[snp]) - 1;
  };

  const double* last = &F[(snpNo - 1) * hapNo];
  for (std::size_t k = 0; k < hapNo; ++k) w[k] = std::exp(last[k] - T[snpNo - 1]);
  path[snpNo - 1] = static_cast<unsigned short>(draw(snpNo - 1));

  // Given state j at SNP t + 1, state k at SNP t has weight f_t(k) times the
  // move or stay probability into j; Z normalises through the total T[t].
  for (std::size_t n = snpNo - 1; n > 0; --n) {
    const std::size_t t = n - 1;
    const unsigned short j = path[n];
    const double diff = parameter.getTranLogDiff(n);
    const double* f = &F[t * hapNo];
    const double z = logsum(T[t] + diff, f[j] + parameter.getTranLogPlus(n));
    for (std::size_t k = 0; k < hapNo; ++k) w[k] = std::exp((f[k] + diff) - z);
    w[j] = std::exp((f[j] + parameter.getTranLogSame(n)) - z);
    path[t] = static_cast<unsigned short>(draw(t));
  }
}

void LogSpaceModel::samplePath(std::vector<unsigned short>& path, const Haplotype& haplotype,
                               const Parameter& parameter, std::vector<double>* margins) const {
  forward(forward_, totals_, haplotype, parameter);
  backwardSampling(path, forward_, totals_, parameter, margins);
}

double LogSpaceModel::forwardProb(const Haplotype& haplotype, const Parameter& parameter) const {
  forward(forward_, totals_, haplotype, parameter);
  return totals_[snpNo_ - 1];
}

void maxPathAllPairs(const Reference& reference, RefPath& first, RefPath& second,
                     const AlleleCounts& counts, const Parameter& parameter) {
  Parameter own(parameter);
  own.renewTran(static_cast<unsigned int>(own.getSampleSize()));
  const int S = own.getSampleSize();
  const int pairs = S * S;
  const int snpNo = reference.getSnpNo();
  std::vector<int> sample;
  nSamplek(sample, reference.getHapNo(), S);

  // Emission of the pooled counts of SNP s under pair (a, b).
  auto emission = [&](int s, int a, int b) {
    const int n0 = counts[s].first;
    const int n1 = counts[s].second;
    const double logBinomial = logChoose(n0 + n1, n0);
    const bool alpha = reference.getAllele(static_cast<unsigned short>(sample[a]), s);
    const bool beta = reference.getAllele(static_cast<unsigned short>(sample[b]), s);
    if (alpha != beta) return (n0 + n1) * kLogHalf + logBinomial;
    if (alpha) return own.getEmitLogRight() * n1 + (own.getEmitLogError() * n0 + logBinomial);
    return own.getEmitLogError() * n1 + (own.getEmitLogRight() * n0 + logBinomial);
  };

  std::vector<double> previous(pairs), current(pairs);
  std::vector<std::vector<int>> back(snpNo, std::vector<int>(pairs, 0));
  for (int k = 0; k < pairs; ++k) previous[k] = 0.0 + emission(0, k / S, k % S);
  for (int s = 1; s < snpNo; ++s) {
    const double d = own.getTranLogDiff(s);
    const double m = own.getTranLogSame(s);
    for (int a = 0; a < S; ++a) {
      for (int b = 0; b < S; ++b) {
        const int target = a * S + b;
        if (d == -std::numeric_limits<double>::infinity()) {
          // Moving is impossible: every pair can only stay where it is.
          current[target] = previous[target] + (m + m);
          back[s][target] = target;
          continue;
        }
        double best = kLogFloor;
        int arg = 0;
        for (int x = 0; x < S; ++x) {
          for (int y = 0; y < S; ++y) {
            double candidate = (d + d) + previous[x * S + y];
            if (x == a) candidate = candidate + (m - d);
            if (y == b) candidate = candidate + (m - d);
            if (candidate > best) {
              best = candidate;
              arg = x * S + y;
            }
          }
        }
        current[target] = best;
        back[s][target] = arg;
      }
    }
    for (int k = 0; k < pairs; ++k) current[k] += emission(s, k / S, k % S);
    previous.swap(current);
  }

  double best = kLogFloor;
  int k = 0;
  for (int candidate = 0; candidate < pairs; ++candidate) {
    if (previous[candidate] > best) {
      best = previous[candidate];
      k = candidate;
    }
  }
  for (int s = snpNo - 1;; --s) {
    first(s) = static_cast<unsigned short>(sample[k / S]);
    second(s) = static_cast<unsigned short>(sample[k % S]);
    if (s == 0) break;
    k = back[s][k];
  }
}

}  // namespace velta_reference
