#include "VeltaUtil.h"

#include <cmath>
#include <cstdlib>

bool drawTwoValued(double logWeight0, double logWeight1) {
  return chooseTwoValued(logWeight0, logWeight1, std::rand() / 2147483647.0);
}

bool chooseTwoValued(double logWeight0, double logWeight1, double uniform) {
  const double w0 = std::exp(logWeight0);
  const double w1 = std::exp(logWeight1);
  double p0 = w0 / (w0 + w1);
  if ((w0 == 0.0 && w1 == 0.0) || (std::isinf(w0) && std::isinf(w1))) {
    p0 = 1.0 / (1.0 + std::exp(logWeight1 - logWeight0));
  }
  return !(p0 > uniform);
}
