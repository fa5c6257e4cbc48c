// The diploid copying model's pairwise orientation posterior computed the
// plain way: every state (a, b, s) and every transition between two sites
// spelt out, forward and backward in natural logarithms. The tests check the
// program's factorised single-precision kernel against it.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "DiploidCopyingModel.h"
#include "VeltaUtil.h"

namespace velta_plain {

inline double logAdd(double x, double y) {
  if (x == -std::numeric_limits<double>::infinity()) return y;
  if (y == -std::numeric_limits<double>::infinity()) return x;
  const double top = std::max(x, y);
  return top + std::log(std::exp(x - top) + std::exp(y - top));
}

inline std::vector<double> keepPosterior(const PhaseWindow& window, double mismatch) {
  const int K = window.candidates;
  const std::size_t n = window.siteCount();
  const int states = 2 * K * K;
  const double none = -std::numeric_limits<double>::infinity();
  auto state = [K](int a, int b, int s) { return (s * K + a) * K + b; };
  auto emission = [&](std::size_t t, int a, int b, int s) {
    const unsigned char* alleles = &window.alleles[t * K];
    int wantA = window.kind[t];
    int wantB = window.kind[t];
    if (window.kind[t] == PhaseWindow::HET) {
      wantA = window.firstAllele[t] ^ s;
      wantB = 1 - wantA;
    }
    return std::log(alleles[a] == wantA ? 1 - mismatch : mismatch) +
           std::log(alleles[b] == wantB ? 1 - mismatch : mismatch);
  };
  std::size_t firstHet = n;
  for (std::size_t t = 0; t < n && firstHet == n; ++t) {
    if (window.kind[t] == PhaseWindow::HET) firstHet = t;
  }
  // Log transition from state x at site t - 1 to state y at site t.
  auto transition = [&](std::size_t t, int a, int b, int s, int a2, int b2, int s2) {
    const double q = window.stay[t];
    const double move = std::log((1 - q) / K);
    const double keep = std::log(q + (1 - q) / K);
    double value = (a == a2 ? keep : move) + (b == b2 ? keep : move);
    const bool linked = window.kind[t] == PhaseWindow::HET && t > firstHet;
    if (linked) {
      value += std::log(s == s2 ? window.keep[t] : 1 - window.keep[t]);
    } else if (s != s2) {
      value = none;
    }
    return value;
  };
  std::vector<std::vector<double>> forward(n, std::vector<double>(states, none));
  std::vector<std::vector<double>> backward(n, std::vector<double>(states, 0.0));
  for (int s = 0; s < 2; ++s) {
    for (int a = 0; a < K; ++a) {
      for (int b = 0; b < K; ++b) forward[0][state(a, b, s)] = emission(0, a, b, s);
    }
  }
  for (std::size_t t = 1; t < n; ++t) {
    for (int s2 = 0; s2 < 2; ++s2) {
      for (int a2 = 0; a2 < K; ++a2) {
        for (int b2 = 0; b2 < K; ++b2) {
          double sum = none;
          for (int s = 0; s < 2; ++s) {
            for (int a = 0; a < K; ++a) {
              for (int b = 0; b < K; ++b) {
                sum = logAdd(sum, forward[t - 1][state(a, b, s)] +
                                      transition(t, a, b, s, a2, b2, s2));
              }
            }
          }
          forward[t][state(a2, b2, s2)] = sum + emission(t, a2, b2, s2);
        }
      }
    }
  }
  for (std::size_t t = n - 1; t >= 1; --t) {
    for (int s = 0; s < 2; ++s) {
      for (int a = 0; a < K; ++a) {
        for (int b = 0; b < K; ++b) {
          double sum = none;
          for (int s2 = 0; s2 < 2; ++s2) {
            for (int a2 = 0; a2 < K; ++a2) {
              for (int b2 = 0; b2 < K; ++b2) {
                sum = logAdd(sum, transition(t, a, b, s, a2, b2, s2) +
                                      emission(t, a2, b2, s2) + backward[t][state(a2, b2, s2)]);
              }
            }
          }
          backward[t - 1][state(a, b, s)] = sum;
        }
      }
    }
  }
  std::vector<double> result(n, -1.0);
  for (std::size_t t = firstHet + 1; t < n; ++t) {
    if (window.kind[t] != PhaseWindow::HET) continue;
    double same = none;
    double all = none;
    for (int s = 0; s < 2; ++s) {
      for (int a = 0; a < K; ++a) {
        for (int b = 0; b < K; ++b) {
          for (int s2 = 0; s2 < 2; ++s2) {
            for (int a2 = 0; a2 < K; ++a2) {
              for (int b2 = 0; b2 < K; ++b2) {
                const double joint = forward[t - 1][state(a, b, s)] +
                                     transition(t, a, b, s, a2, b2, s2) +
                                     emission(t, a2, b2, s2) + backward[t][state(a2, b2, s2)];
                all = logAdd(all, joint);
                if (s == s2) same = logAdd(same, joint);
              }
            }
          }
        }
      }
    }
    result[t] = std::exp(same - all);
  }
  return result;
}

}  // namespace velta_plain
