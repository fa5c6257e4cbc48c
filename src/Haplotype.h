// One haplotype of the individual: an allele per SNP and, per SNP, the counts
// of major and minor calls among the read alleles assigned to it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Read.h"

class Parameter;
class RefPath;
class RandomStream;

// The allele draws' decisions for every pair of counts (k0 major, k1 minor
// calls) and copied panel allele. The weights depend only on these, so they
// are computed once per setting of mu and the two error rates, from the same
// formulas as ever, into tables of thresholds: a draw then costs a look-up and
// one veltaRand() instead of two exp calls. Counts beyond the tables use the
// formulas.
// Checked against the plain formula draws velta_plain::allele of
// tests/PlainKernels.h.
class AlleleDrawTable {
 public:
  // Counts below kCounts draw from the tables.
  static constexpr unsigned kCounts = 64;
  static_assert((kCounts & (kCounts - 1)) == 0, "a power of two");

  // The table for the parameter's setting; built at a thread's first call
  // and again whenever the setting differs from that thread's last call. One
  // table per thread: samplers running side by side (the converter's windows)
  // never see a table half built, or rebuilt for another's setting.
  static const AlleleDrawTable& forParameter(const Parameter& parameter);

  // Allele (true for minor) for the generator value `value`, from the counts
  // alone, or from the counts and the allele `copied` of the path.
  bool choose(unsigned k0, unsigned k1, std::uint32_t value) const;
  bool choose(unsigned k0, unsigned k1, bool copied, std::uint32_t value) const {
    return value >= threshold(k0, k1, copied);
  }
  // The first generator value for which the path-guided draw gives allele 1.
  std::uint32_t threshold(unsigned k0, unsigned k1, bool copied) const {
    // Both counts are below kCounts, a power of two, when their bits together are.
    if ((k0 | k1) < kCounts) return pathThreshold_[(copied * kCounts + k0) * kCounts + k1];
    return thresholdByFormula(k0, k1, copied);
  }

 private:
  AlleleDrawTable() = default;
  void build(const double (&key)[5]);
  std::uint32_t thresholdByFormula(unsigned k0, unsigned k1, bool copied) const;
  // Tempered log weight of the allele that `agree` calls support and
  // `disagree` calls contradict.
  double logWeight(double agree, double disagree) const;
  // The same with the copied panel allele as one more observation with the
  // panel mismatch rate: `matches` when it is the weighed allele.
  double pathLogWeight(double agree, double disagree, bool matches) const;

  bool built_ = false;
  double key_[5] = {};                        // mu, ln(1 - e), ln(e), ln(1 - w), ln(w)
  std::vector<std::uint32_t> threshold_;      // (k0, k1), kCounts^2
  std::vector<std::uint32_t> pathThreshold_;  // (copied, k0, k1), 2 kCounts^2
};

class Haplotype {
 public:
  // Which reads a haplotype holds: UNFLIPPED_READS the reads of flip 0,
  // FLIPPED_READS those of flip 1 (both counted as read), ALL_READS every read,
  // complemented when its flip is 1.
  enum Mode { UNFLIPPED_READS = 0, FLIPPED_READS = 1, ALL_READS = 2 };

  // `length` SNPs, counts 0, alleles from the low bit of one rand() per SNP.
  explicit Haplotype(int length);
  // The given alleles, counts 0. The program does not call it.
  explicit Haplotype(const std::vector<bool>& alleles);

  int getLength() const { return length_; }
  // Allele at SNP j: true for minor.
  bool operator[](unsigned int j) const { return (allele_[j >> 6] >> (j & 63)) & 1U; }
  // Alleles of SNPs first .. first + 31 as bits 0 .. 31 (0 past the last SNP).
  std::uint32_t getAlleleRun(unsigned int first) const {
    if (first >= static_cast<unsigned>(length_)) return 0;
    const std::size_t w = first >> 6;
    const unsigned shift = first & 63;
    // The padding word makes w + 1 readable; shifting by 1 and then by
    // 63 - shift shifts by 64 - shift without a shift by 64 at shift 0.
    return static_cast<std::uint32_t>((allele_[w] >> shift) |
                                      ((allele_[w + 1] << 1) << (63 - shift)));
  }
  // Word w of the allele bits: SNP 64 w + b at bit b; (length + 63) / 64 words.
  std::uint64_t getAlleleWord(std::size_t w) const { return allele_[w]; }
  std::size_t getAlleleWordCount() const { return allele_.size() - 1; }
  // Minor-call count when `minor` is true, major-call count otherwise.
  unsigned short getCount(unsigned int j, bool minor) const { return alleleCount_[2 * j + minor]; }
  // Both counts of SNP j at once, for callers that count the calls themselves.
  void setCounts(unsigned int j, std::uint16_t major, std::uint16_t minor) {
    alleleCount_[2 * std::size_t{j}] = major;
    alleleCount_[2 * std::size_t{j} + 1] = minor;
  }

  // Add or remove one read's alleles: with `flag` false counted as read, with
  // it true complemented. A removal must mirror an earlier addition.
  void appendRead(const Read& read, bool flag);
  void popRead(const Read& read, bool flag);
  // Mode-aware forms: true when the counts changed, false when the read does
  // not concern a haplotype of this mode. assignRead adds a read joining the
  // haplotype; removeRead (not in ALL_READS) takes out a read whose flip has
  // just changed; flipRead (ALL_READS only) recounts such a read under its new
  // flip. A mode they do not take ends the run.
  bool assignRead(const Read& read, Mode mode);
  bool removeRead(const Read& read, Mode mode);
  bool flipRead(const Read& read, Mode mode);

  // Redraws every allele from the counts (assembly), one rand() per SNP.
  void sample(const Parameter& parameter);
  // Redraws every allele from the counts and the allele the path copies.
  void sample(const RefPath& path, const Parameter& parameter);
  // The same given the path's copied alleles as RefPath::copiedAlleles gives
  // them, for callers that draw many times from one path.
  void sample(const std::vector<std::uint64_t>& copied, const Parameter& parameter);
  // The draws of sample(copied, parameter) for the SNPs of allele words
  // wordBegin .. wordEnd - 1 only, from `random`, untimed: threads draw
  // disjoint stretches, each from its own stretch of the sequence.
  void sampleWords(const std::vector<std::uint64_t>& copied, const AlleleDrawTable& table,
                   RandomStream& random, std::size_t wordBegin, std::size_t wordEnd);
  // Books draws made through sampleWords in the timing counters.
  static void addTime(std::int64_t ticks, std::uint64_t draws) {
    time_ += ticks;
    count_ += draws;
  }
  // Sets every allele to the one the path copies; no draw.
  void copyInit(const RefPath& path);
  void randomInit();
  // Diagnostic dump to standard output; the program does not call it.
  void print() const;

  // Processor time and calls counted on the calling thread.
  static std::int64_t getTime() { return time_; }
  static std::uint64_t getCount() { return count_; }

 private:
  // Adds `step` modulo 2^16 (1 to add, 0xFFFF to remove) to the count of every
  // present allele of the read under the orientation `flag`.
  void stepCounts(const Read& read, bool flag, std::uint16_t step);
  // Sets every allele, SNP after SNP, to draw(j), a word of 64 at a time.
  template <typename Draw>
  void drawAlleles(Draw&& draw) {
    for (unsigned first = 0; first < static_cast<unsigned>(length_); first += 64) {
      const unsigned end = std::min(first + 64, static_cast<unsigned>(length_));
      std::uint64_t word = 0;
      for (unsigned j = first; j < end; ++j) word |= std::uint64_t{draw(j)} << (j - first);
      allele_[first >> 6] = word;
    }
  }
  void setAllele(unsigned int j, bool minor) {
    const std::uint64_t bit = std::uint64_t{1} << (j & 63);
    allele_[j >> 6] = minor ? (allele_[j >> 6] | bit) : (allele_[j >> 6] & ~bit);
  }

  int length_;
  // Per SNP j the major-call count at 2j, the minor-call count at 2j + 1:
  // 2 x length_ entries.
  std::vector<std::uint16_t> alleleCount_;
  // One bit per SNP, (length_ + 63) / 64 words and one word of 0 after them.
  std::vector<std::uint64_t> allele_;

  static thread_local std::int64_t time_;
  static thread_local std::uint64_t count_;
};
