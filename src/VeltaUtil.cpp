#include "VeltaUtil.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "VeltaIO.h"

namespace {
// Numbers compared with the C library's rand() after every seeding: a library
// with another generator differs within the first few.
constexpr int kCheckedNumbers = 1000;
}  // namespace

void FeedbackGenerator::seed(unsigned int seed) {
  // The library's state: the minimal standard generator (16807 x mod
  // 2^31 - 1) by Schrage's method, in its signed 32-bit arithmetic (a seed
  // above 2^31 - 1 starts from a negative word), read as a ring whose next
  // word is made at place 3 from the words at places 3 and 0.
  std::uint32_t ring[kWords];
  std::int32_t word = static_cast<std::int32_t>(seed == 0 ? 1 : seed);
  ring[0] = static_cast<std::uint32_t>(word);
  for (std::size_t i = 1; i < kWords; ++i) {
    const std::int32_t hi = word / 127773;
    const std::int32_t lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    ring[i] = static_cast<std::uint32_t>(word);
  }
  for (std::size_t k = 0; k < kWords; ++k) words_[k] = ring[(3 + k) % kWords];
  end_ = kWords;
  for (std::size_t i = 0; i < 10 * kWords; ++i) next();
}

void FeedbackGenerator::keepLastWords() {
  std::copy(words_ + end_ - kWords, words_ + end_, words_);
  end_ = kWords;
}

void veltaSrand(unsigned int seed) {
  using velta_random::generator;
  // The C library's generator is one for the process: threads seeding at
  // once take turns comparing with it.
  static std::mutex libraryGenerator;
  const std::lock_guard<std::mutex> turn(libraryGenerator);
  std::srand(seed);
  generator.seed(seed);
  bool matches = true;
  for (int i = 0; i < kCheckedNumbers && matches; ++i) matches = generator.next() == std::rand();
  velta_random::generatorMatchesLibrary = matches;
  std::srand(seed);
  generator.seed(seed);
}

bool drawTwoValued(double logWeight0, double logWeight1) {
  return chooseTwoValued(logWeight0, logWeight1, veltaRand() / 2147483647.0);
}

bool chooseTwoValued(double logWeight0, double logWeight1, double uniform) {
  const double p0 =
      probabilityOfZero(std::exp(logWeight0), std::exp(logWeight1), logWeight0, logWeight1);
  return !(p0 > uniform);
}

std::uint32_t zeroThreshold(double logWeight0, double logWeight1) {
  const double p0 =
      probabilityOfZero(std::exp(logWeight0), std::exp(logWeight1), logWeight0, logWeight1);
  // The draw's test p0 > r / 2147483647.0 holds for a first stretch of r (the
  // quotient never falls as r grows): find where it ends.
  std::uint32_t low = 0;
  std::uint32_t high = std::uint32_t{1} << 31;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    if (p0 > middle / 2147483647.0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

double logsum(double a, double b) {
  if (a > b) return a + std::log(std::exp(b - a) + 1);
  return b + std::log(std::exp(a - b) + 1);
}

double logsumArray(const std::vector<double>& v, int start, int count) {
  double acc = kLogFloor;
  const int end = start + count;
  for (int i = start; i < end; ++i) acc = logsum(acc, v[i]);
  return acc;
}

int mnrnd(const std::vector<double>& weights) {
  const int n = static_cast<int>(weights.size());
  for (;;) {
    const double r = veltaRand() / 2147483647.0;
    double cumulative = 0.0;
    for (int i = 0; i < n; ++i) {
      cumulative += weights[i];
      if (cumulative >= r) return i + 1;
    }
    // A miss is redrawn, which samples a total slightly below 1 in proportion
    // to the weights; a total that is not positive (no weights, all zero, not
    // a number) could never be reached and would redraw forever.
    if (!(cumulative > 0.0)) {
      composeLine(
          "Discrete draw over %d categories cannot succeed: the weights sum to %g "
          "(expected a positive sum near 1)\n",
          n, cumulative);
      veltaErrorExit(line);
    }
  }
}

double perm(int m) {
  double product = 1.0;
  for (int i = m; i >= 2; --i) product *= i;
  return product;
}

double nChoosek(int n, int k) {
  if (k < 0 || n < 0) veltaExit(1);
  return perm(n) / (perm(k) * perm(n - k));
}

double logChoose(int n, int k) {
  if (k < 0 || n < 0 || k > n) veltaExit(1);
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0);
}

void nSamplek(std::vector<int>& out, int n, int k) {
  out.resize(k < 0 ? 0 : k);
  int chosen = 0;
  int examined = 0;
  if (k > 0 && n > 0) {
    do {
      if (veltaRand() % (n - examined) < k - chosen) out[chosen++] = examined;
      ++examined;
    } while (chosen < k && examined < n);
  }
  if (chosen != k) veltaErrorExit("Knuth algorithm wrong\n");
}

void plusTransition(std::vector<double>& matrix, double x, int a, int b, int n) {
  const std::size_t size = n;
  const std::size_t rowStart = static_cast<std::size_t>(a) * size;
  for (std::size_t j = 0; j < size; ++j) {
    matrix[b + j * size] += x;
    matrix[rowStart + j] += x;
  }
}

int findMax(const std::vector<double>& v, int s, int n, double* best) {
  const std::size_t size = n > 0 ? static_cast<std::size_t>(n) * n : 0;
  const double* slice = v.data() + s * size;
  double max = kLogFloor;
  int position = 0;
  for (std::size_t k = 0; k < size; ++k) {
    if (slice[k] > max) {
      max = slice[k];
      position = static_cast<int>(k);
    }
  }
  *best = max;
  return position;
}

bool parseDouble(const std::string& word, double* value) {
  const char* begin = word.c_str();
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(begin, &end);
  return end != begin && end == begin + word.size() && errno != ERANGE && std::isfinite(*value);
}

bool parseUnsigned32(const std::string& word, std::uint32_t* value) {
  if (word.empty() || word[0] < '0' || word[0] > '9') return false;
  const char* begin = word.c_str();
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(begin, &end, 10);
  if (end != begin + word.size() || errno == ERANGE || parsed > 0xFFFFFFFFULL) return false;
  *value = static_cast<std::uint32_t>(parsed);
  return true;
}
