#include "VeltaUtil.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#include <immintrin.h>
#endif

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
  std::copy(words_ + end_ - kKept, words_ + end_, words_);
  end_ = kKept;
}

namespace {

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VELTA_WIDE_DRAWS 1
// Blocks of eight numbers made at once, the last five blocks held in
// registers: with C_k the numbers 8k .. 8k + 7 and the unrolled recurrence
//   x[m] = x[m-12] + x[m-31] + x[m-34] + x[m-37] + x[m-40],
// x[m-40] is C_(k-5) itself and every other term eight consecutive words of
// two neighbouring blocks, put together by a lane swap and a byte shift. The
// one term from the block just made (x[m-12]) is added last, so that a block
// waits for its predecessor only one swap and one addition. `last` holds the
// generator's last 40 words, in and out; bits are ORed into *bits from bit
// `shift` (a multiple of eight) on.
constexpr std::size_t kRingWords = 40;

__attribute__((target("avx2"))) void drawBlocksWide(std::uint32_t* last,
                                                    const std::uint32_t* thresholds,
                                                    std::size_t blocks, std::uint64_t* bits,
                                                    unsigned shift) {
  const auto* in = reinterpret_cast<const __m256i*>(last);
  __m256i c5 = _mm256_loadu_si256(in);
  __m256i c4 = _mm256_loadu_si256(in + 1);
  __m256i c3 = _mm256_loadu_si256(in + 2);
  __m256i c2 = _mm256_loadu_si256(in + 3);
  __m256i c1 = _mm256_loadu_si256(in + 4);
  std::uint64_t word = *bits;
  for (std::size_t k = 0; k < blocks; ++k) {
    // Words 4..11 of (c5, c4), and of (c4, c3).
    const __m256i mid54 = _mm256_permute2x128_si256(c5, c4, 0x21);
    const __m256i mid43 = _mm256_permute2x128_si256(c4, c3, 0x21);
    const __m256i back31 = _mm256_alignr_epi8(mid43, c4, 4);   // words 1..8 of (c4, c3)
    const __m256i back34 = _mm256_alignr_epi8(c4, mid54, 8);   // words 6..13 of (c5, c4)
    const __m256i back37 = _mm256_alignr_epi8(mid54, c5, 12);  // words 3..10 of (c5, c4)
    const __m256i far =
        _mm256_add_epi32(_mm256_add_epi32(c5, back37), _mm256_add_epi32(back34, back31));
    const __m256i made = _mm256_add_epi32(far, _mm256_permute2x128_si256(c2, c1, 0x21));
    c5 = c4;
    c4 = c3;
    c3 = c2;
    c2 = c1;
    c1 = made;
    // Values and thresholds are below 2^31, so they compare as signed numbers.
    const __m256i threshold =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(thresholds + 8 * k));
    const int below = _mm256_movemask_ps(
        _mm256_castsi256_ps(_mm256_cmpgt_epi32(threshold, _mm256_srli_epi32(made, 1))));
    word |= static_cast<std::uint64_t>(~below & 0xFF) << shift;
    shift += 8;
    if (shift == 64) {
      *bits++ = word;
      word = 0;
      shift = 0;
    }
  }
  if (shift != 0) *bits = word;
  auto* out = reinterpret_cast<__m256i*>(last);
  _mm256_storeu_si256(out, c5);
  _mm256_storeu_si256(out + 1, c4);
  _mm256_storeu_si256(out + 2, c3);
  _mm256_storeu_si256(out + 3, c2);
  _mm256_storeu_si256(out + 4, c1);
}

bool hasWideDraws() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}
#endif

}  // namespace

void FeedbackGenerator::drawBits(const std::uint32_t* thresholds, std::size_t count,
                                 std::uint64_t* bits) {
  std::fill(bits, bits + (count + 63) / 64, 0);
  std::size_t i = 0;
#if defined(VELTA_WIDE_DRAWS)
  static const bool wide = hasWideDraws();
  if (wide) {
    // One at a time until the blocks line up with the bits and the buffer
    // holds the words the blocks reach back to.
    while (i < count && (i % 8 != 0 || end_ < kRingWords)) drawBit(thresholds, i++, bits);
    const std::size_t blocks = (count - i) / 8;
    if (blocks > 0) {
      drawBlocksWide(words_ + end_ - kRingWords, thresholds + i, blocks, bits + i / 64,
                     static_cast<unsigned>(i % 64));
      i += 8 * blocks;
    }
  }
#endif
  for (; i < count; ++i) drawBit(thresholds, i, bits);
}

FeedbackGenerator::Jump::Jump(std::uint64_t distance)
    : distance_(distance), coefficients_(kWords * kWords, 0) {
  // Ring of the coefficient rows of the last kWords words: at first each
  // word is itself; each new word sums the rows 31 and 3 back.
  std::vector<std::uint32_t> ring(kWords * kWords, 0);
  for (std::size_t i = 0; i < kWords; ++i) ring[i * kWords + i] = 1;
  for (std::uint64_t m = 0; m < distance; ++m) {
    // The slot of the word 31 back takes the new word.
    std::uint32_t* slot = &ring[(m % kWords) * kWords];
    const std::uint32_t* threeBack = &ring[((m + kWords - 3) % kWords) * kWords];
    for (std::size_t j = 0; j < kWords; ++j) slot[j] += threeBack[j];
  }
  for (std::size_t i = 0; i < kWords; ++i) {
    const std::uint32_t* row = &ring[((distance + i) % kWords) * kWords];
    std::copy(row, row + kWords, &coefficients_[i * kWords]);
  }
}

FeedbackGenerator FeedbackGenerator::Jump::from(const FeedbackGenerator& from) const {
  const std::uint32_t* last = from.words_ + from.end_ - kWords;
  FeedbackGenerator result;
  for (std::size_t i = 0; i < kWords; ++i) {
    std::uint32_t word = 0;
    for (std::size_t j = 0; j < kWords; ++j) word += coefficients_[i * kWords + j] * last[j];
    result.words_[i] = word;
  }
  result.end_ = kWords;
  return result;
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
  return chooseTwoValued(logWeight0, logWeight1, toUniform(veltaRand()));
}

bool chooseTwoValued(double logWeight0, double logWeight1, double uniform) {
  const double p0 =
      probabilityOfZero(std::exp(logWeight0), std::exp(logWeight1), logWeight0, logWeight1);
  return !(p0 > uniform);
}

std::uint32_t zeroThreshold(double logWeight0, double logWeight1) {
  return thresholdForProbability(
      probabilityOfZero(std::exp(logWeight0), std::exp(logWeight1), logWeight0, logWeight1));
}

std::uint32_t thresholdForProbability(double p0) {
  // The draw's test p0 > toUniform(r) holds for a first stretch of r (the
  // quotient never falls as r grows): find where it ends.
  std::uint32_t low = 0;
  std::uint32_t high = std::uint32_t{1} << 31;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    if (p0 > toUniform(middle)) {
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
    const double r = toUniform(veltaRand());
    double cumulative = 0.0;
    for (int i = 0; i < n; ++i) {
      cumulative += weights[i];
      if (cumulative >= r) return i + 1;
    }
    // A miss is redrawn, which samples a total slightly below 1 in proportion
    // to the weights; a total that is not positive (no weights, all zero, not
    // a number) could never be reached and would redraw forever.
    if (!(cumulative > 0.0)) {
      veltaFatal(
          "Discrete draw over %d categories cannot succeed: the weights sum to %g "
          "(expected a positive sum near 1)\n",
          n, cumulative);
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
  if (n <= 0) return;  // no matrix: a negative n must not become a huge count
  const std::size_t size = static_cast<std::size_t>(n);
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
