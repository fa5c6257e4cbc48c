// Log-space sums, discrete and subset random draws, binomial coefficients and
// helpers on square matrices stored row-major in flat vectors.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// Start value of every running log-sum and running maximum: the most negative
// finite double. An empty sum or maximum yields it.
constexpr double kLogFloor = -1.7976931348623157e308;

// The additive feedback generator of the GNU C library's rand() (31 words of
// state, lags 31 and 3), computed here without the library's lock: for the
// same seed it gives the same sequence as that rand().
class FeedbackGenerator {
 public:
  static constexpr std::size_t kWords = 31;
  // As srand(seed): seed 0 counts as 1, the state filled by the minimal
  // standard generator, then 310 numbers discarded.
  void seed(unsigned int seed);
  // As rand(): 0 to 2147483647.
  int next() {
    if (end_ == kBuffer) keepLastWords();
    const std::uint32_t value = words_[end_ - kWords] + words_[end_ - 3];
    words_[end_++] = value;
    return static_cast<int>(value >> 1);
  }
  // Two-valued draws from the next `count` numbers: bit i % 64 of bits[i / 64]
  // is set when number i reaches thresholds[i] (the rest of the last word is
  // cleared). The same numbers as `count` calls of next(); where the processor
  // has 256-bit integer vectors they are made eight at a time from the last
  // five blocks of eight held in registers, and compared as they are made.
  void drawBits(const std::uint32_t* thresholds, std::size_t count, std::uint64_t* bits);

  // The generator a fixed number of draws ahead of another, made from its
  // last 31 words: each word that far on is a fixed sum of them (with
  // multiplicities, modulo 2^32), computed once per distance, so threads can
  // draw disjoint stretches of one sequence.
  class Jump {
   public:
    explicit Jump(std::uint64_t distance);
    std::uint64_t distance() const { return distance_; }
    // The generator `distance` numbers after `from`.
    FeedbackGenerator from(const FeedbackGenerator& from) const;

   private:
    std::uint64_t distance_;
    std::vector<std::uint32_t> coefficients_;  // kWords x kWords: word i of the result from word j
  };

 private:
  // The words are kept in order of making, the newest at end_ - 1, so that a
  // number costs two loads, an add and a store; when the buffer is full the
  // last kKept words move to its start (the unrolled recurrence reaches 40
  // back).
  static constexpr std::size_t kBuffer = 296;
  static constexpr std::size_t kKept = 40;
  void keepLastWords();
  // drawBits one number at a time, for number i.
  void drawBit(const std::uint32_t* thresholds, std::size_t i, std::uint64_t* bits) {
    const std::uint32_t value = static_cast<std::uint32_t>(next());
    bits[i / 64] |= static_cast<std::uint64_t>(value >= thresholds[i]) << (i % 64);
  }

  std::uint32_t words_[kBuffer];
  std::size_t end_;  // not a 32-bit type: stores to the words cannot change it
};

namespace velta_random {
// The generator behind veltaRand(), and whether it reproduces the C library's
// rand() for the current seed (checked by veltaSrand); when it does not,
// veltaRand() is rand() itself. Each thread has its own, so that jobs phased
// on several threads (the windows of a chromosome) each draw the sequence of
// their own seed.
// Defined here, without initialisers to run, so that every use reads the
// thread's copy directly.
inline thread_local FeedbackGenerator generator;
inline thread_local bool generatorMatchesLibrary = false;
}  // namespace velta_random

// The program's one random sequence (one per thread), the C library's rand()
// sequence for the same seed: every draw of the samplers comes from here, in a
// fixed order. veltaSrand seeds the C library's generator too.
void veltaSrand(unsigned int seed);
inline int veltaRand() {
  return velta_random::generatorMatchesLibrary ? velta_random::generator.next() : std::rand();
}
// Largest value veltaRand() returns.
constexpr int kRandMax = 2147483647;
// A generator value as the uniform number 0 .. 1 of the two-valued and
// discrete draws: value / kRandMax.
inline double toUniform(std::uint32_t value) {
  return value / static_cast<double>(kRandMax);
}

// The program's random sequence lent to one hot loop: the numbers come from a
// copy of the generator local to the loop, which the compiler can keep in
// registers, and go on in the shared one after the loop. Nothing may call
// veltaRand() while a stream lives.
class RandomStream {
 public:
  RandomStream()
      : source_(&velta_random::generator),
        local_(velta_random::generator),
        own_(velta_random::generatorMatchesLibrary) {}
  // Lends the numbers of `source`, one thread's own generator, instead.
  explicit RandomStream(FeedbackGenerator& source) : source_(&source), local_(source), own_(true) {}
  ~RandomStream() {
    if (own_) *source_ = local_;
  }
  RandomStream(const RandomStream&) = delete;
  RandomStream& operator=(const RandomStream&) = delete;
  // The same number veltaRand() would give.
  int next() { return own_ ? local_.next() : std::rand(); }
  // Two-valued draws from the next `count` numbers, as
  // FeedbackGenerator::drawBits gives them.
  void drawBits(const std::uint32_t* thresholds, std::size_t count, std::uint64_t* bits) {
    if (own_) {
      local_.drawBits(thresholds, count, bits);
      return;
    }
    std::fill(bits, bits + (count + 63) / 64, 0);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t value = static_cast<std::uint32_t>(std::rand());
      bits[i / 64] |= static_cast<std::uint64_t>(value >= thresholds[i]) << (i % 64);
    }
  }

 private:
  FeedbackGenerator* source_;
  FeedbackGenerator local_;
  bool own_;
};

// Number of set bits of `word`, computed in line: in a build for any x86-64
// the compiler's built-in count calls a library routine instead.
inline unsigned countSetBits(std::uint32_t word) {
  word -= (word >> 1) & 0x55555555U;
  word = (word & 0x33333333U) + ((word >> 2) & 0x33333333U);
  word = (word + (word >> 4)) & 0x0F0F0F0FU;
  return (word * 0x01010101U) >> 24;
}

// Two-valued Gibbs draw between values 0 and 1 with weights e^logWeight0 and
// e^logWeight1: one rand(); 0 when its probability w0 / (w0 + w1) is strictly
// greater than toUniform(rand()), else 1. Where both weights underflow to
// 0 (or both overflow) the probability comes from the difference of the log
// weights instead, so the result never hinges on underflow; a probability
// that is not a number (NaN weights) gives 1. The program does not call it:
// its draws go through tables of zeroThreshold.
bool drawTwoValued(double logWeight0, double logWeight1);
// count x logProbability, taking 0 x log 0 as 0: calls that did not happen
// weigh nothing, even when an error rate of 0 or 1 makes the log infinite. A
// log that is not a number (a rate outside 0..1) stays one, so that every
// draw under such a setting gives 1, as the formula does.
inline double countLog(double count, double logProbability) {
  return count == 0 && !std::isnan(logProbability) ? 0.0 : count * logProbability;
}

// The same decision for a given uniform number in 0..1.
bool chooseTwoValued(double logWeight0, double logWeight1, double uniform);

// Probability of 0 of the two-valued draw from its weights w0 = e^logWeight0
// and w1 = e^logWeight1: w0 / (w0 + w1), or from the log difference where
// both weights underflowed to 0 or both overflowed.
inline double probabilityOfZero(double w0, double w1, double logWeight0, double logWeight1) {
  if ((w0 == 0.0 && w1 == 0.0) || (std::isinf(w0) && std::isinf(w1))) {
    return 1.0 / (1.0 + std::exp(logWeight1 - logWeight0));
  }
  return w0 / (w0 + w1);
}
// The two-valued draw gives 0 exactly for the veltaRand() values below its
// threshold (0 to 2^31): tables of thresholds replace both exp calls, the
// division and the comparison of doubles by one comparison of integers.
std::uint32_t zeroThreshold(double logWeight0, double logWeight1);
// The same threshold for a given probability of 0.
std::uint32_t thresholdForProbability(double p0);
// Thresholds lie in 0 .. 2^31 - 1 (the largest value always gives 1); this
// one, paired with the value 0, gives a 0 bit that stands for no draw.
constexpr std::uint32_t kNeverReached = 0x7FFFFFFF;

// log(e^a + e^b).
double logsum(double a, double b);
// log of the sum of e^v[i] over `count` entries from `start`. The program
// does not call it; the log-space model of the tests
// (tests/ReferenceModelReference.h) sums with it.
double logsumArray(const std::vector<double>& v, int start, int count);
// Draws a category (numbered from 1) with the given weights, one rand() per
// attempt; redraws when the cumulative weight falls short of the draw. Weights
// that can never reach a draw end the run with a fatal message. The program
// does not call it (the path draw has its own); the tests' log-space model
// draws with it.
int mnrnd(const std::vector<double>& weights);
// m! as a double (1 for m <= 1).
double perm(int m);
// n! / (k! (n - k)!) as doubles; ends the process when n or k is negative.
// The program does not call it (logChoose serves the best path search).
double nChoosek(int n, int k);
// ln of the binomial coefficient n! / (k! (n - k)!), finite for any n up to
// 2^31 - 1 (nChoosek overflows above n = 170); ends the process like nChoosek
// unless 0 <= k <= n.
double logChoose(int n, int k);
// Selection sampling: `out` gets k distinct indices of 0 .. n - 1 in increasing
// order, one rand() per candidate examined.
void nSamplek(std::vector<int>& out, int n, int k);
// Adds x to column b and row a of the n x n matrix at the start of `matrix`;
// nothing for n <= 0. The program does not call it.
void plusTransition(std::vector<double>& matrix, double x, int a, int b, int n);
// Position of the first maximum of the n x n slice s; the maximum through `best`.
int findMax(const std::vector<double>& v, int s, int n, double* best);

// Whole-word number conversions for the parsers that must reject bad text:
// text around or after the number makes the word invalid instead of being
// silently dropped (a NUL byte inside a word ends the conversion early, so
// the whole word must be used). parseDouble accepts finite values only
// ("nan" and "inf" would turn model constants into NaN); parseUnsigned32
// accepts 0 to 4294967295 in decimal, without a sign. Both return false on
// invalid text and leave *value unspecified.
bool parseDouble(const std::string& word, double* value);
bool parseUnsigned32(const std::string& word, std::uint32_t* value);
