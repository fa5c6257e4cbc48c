// One line of the read file: the alleles a read (or read pair) shows at runs of
// consecutive SNPs, coded against the SNP map, and its orientation flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "VeltaUtil.h"

class Parameter;
class Haplotype;
class Read;
class RandomStream;

// Walks the present positions of a read, yielding (0-based SNP, allele) with
// allele true for the minor allele. A position is a fragment of the line as
// parsed (a run of characters, trimmed of '-'; a run longer than
// Read::kMaxFragmentLength counts as several) and a character of it: in
// "3 --AC- 9 T" fragment 0 holds SNPs 4 and 5 (0-based), fragment 1 SNP 8.
// The calls themselves are walked in the read's packed runs.
class ReadIterator {
 public:
  // Character `index` of fragment `fragment`; an absent character yields its
  // SNP with allele false. (fragment count, 0) is the end.
  ReadIterator(const Read& read, unsigned fragment, unsigned index);
  std::pair<std::uint32_t, bool> operator*() const;
  // To the next present position, or to the end.
  ReadIterator& operator++();
  // Compares positions only, not the read walked.
  bool operator!=(const ReadIterator& other) const {
    return fragment_ != other.fragment_ || index_ != other.index_;
  }

 private:
  friend class Read;

  // True when the position is a present one: the next call is there.
  bool atCall() const;
  // SNP of the next call; valid while callsLeft_ > 0.
  std::uint32_t callSnp() const;
  // Moves run_ and bit_ to the call after the next one.
  void nextCall();

  const Read* read_;
  unsigned fragment_;
  unsigned index_;
  unsigned run_;  // the next call at or after the position, in the packed runs
  unsigned bit_;
  unsigned callsLeft_;  // calls of fragment_ not yet passed
};

// The flip draws' decisions for every read size n and agreement count m. The
// weights depend only on these counts, so they are computed once per setting
// of mu and the error rate, from the same formula as ever, into tables: a draw
// then costs a look-up and one veltaRand() instead of two exp calls. Reads
// larger than the tables use the formula.
// Checked against the plain formula draws velta_plain::flipOne and flipTwo of
// tests/PlainKernels.h.
class FlipDrawTable {
 public:
  // Read sizes below kSmall draw between two haplotypes from a threshold per
  // (n, m1, m2); sizes up to kLarge from tabled weights.
  static constexpr unsigned kSmall = 16;
  static constexpr unsigned kLarge = 256;

  // The table for the parameter's setting; built at a thread's first call
  // and again whenever the setting differs from that thread's last call. One
  // table per thread: samplers running side by side (the converter's windows)
  // never see a table half built, or rebuilt for another's setting.
  static const FlipDrawTable& forParameter(const Parameter& parameter);

  // New flip of a read of n calls for the generator value `value`: against
  // one haplotype agreeing at m (flip 1 takes the agreements as
  // disagreements), or between two agreeing at m1 and m2.
  bool chooseOne(unsigned n, unsigned m, std::uint32_t value) const {
    if (n <= kLarge) return value >= oneThreshold_[triangle(n) + m];
    return chooseOneByFormula(n, m, value);
  }
  bool chooseTwo(unsigned n, unsigned m1, unsigned m2, std::uint32_t value) const {
    if (n < kSmall) return value >= twoThreshold_[(n * kSmall + m1) * kSmall + m2];
    return chooseTwoByWeights(n, m1, m2, value);
  }
  // The first generator value for which chooseTwo(n, m1, m2, value) gives
  // flip 1: every value below it gives 0, every value from it on 1.
  std::uint32_t twoThreshold(unsigned n, unsigned m1, unsigned m2) const {
    if (n < kSmall) return twoThreshold_[(n * kSmall + m1) * kSmall + m2];
    return twoThresholdByWeights(n, m1, m2);
  }

 private:
  FlipDrawTable() = default;
  // Entry (n, m), 0 <= m <= n, of a triangular table.
  static std::size_t triangle(unsigned n) { return static_cast<std::size_t>(n) * (n + 1) / 2; }
  bool chooseOneByFormula(unsigned n, unsigned m, std::uint32_t value) const;
  // From the tabled weights up to kLarge, from the formula beyond.
  bool chooseTwoByWeights(unsigned n, unsigned m1, unsigned m2, std::uint32_t value) const;
  // Probability of flip 0 for sizes from kSmall on.
  double twoProbability(unsigned n, unsigned m1, unsigned m2) const;
  std::uint32_t twoThresholdByWeights(unsigned n, unsigned m1, unsigned m2) const {
    return thresholdForProbability(twoProbability(n, m1, m2));
  }
  void build(const double (&key)[3]);
  double logWeight(unsigned n, unsigned m) const;

  bool built_ = false;
  double key_[3] = {};                       // mu, ln(1 - e), ln(e)
  std::vector<std::uint32_t> oneThreshold_;  // (n, m) for n <= kLarge, triangular
  std::vector<std::uint32_t> twoThreshold_;  // (n, m1, m2) for n < kSmall, kSmall^3
  std::vector<double> weight_;               // e^logWeight(n, m) for n <= kLarge, triangular
};

class Read {
 public:
  // Limits of one line: fragments (runs of characters, a run longer than
  // kMaxFragmentLength counting as several) and characters, inner '-' included.
  static constexpr unsigned kMaxFragments = 255;
  static constexpr unsigned kMaxFragmentLength = 256;
  static constexpr unsigned kMaxCharacters = 32767;

  // Parses one read-file line. Draws rand() once for the initial flip before
  // parsing. A line that needs more fragments or characters than a read
  // holds, or gives position 0, ends the run; `fileName` and `lineNo`
  // (1-based) name the line in messages.
  Read(const std::string& text, const Parameter& parameter, const char* fileName = "",
       unsigned long lineNo = 0);
  Read(const Read& other);
  Read(Read&& other) noexcept;
  Read& operator=(const Read& other);
  Read& operator=(Read&& other) noexcept;
  ~Read() { release(); }

  // Trims '-' from both ends of `token`; returns how many leading ones went.
  unsigned int validateReadEnd(std::string& token) const;

  unsigned int size() const { return size_; }
  unsigned char getFlip() const { return flip_; }
  void setFlip(unsigned char flip) { flip_ = flip & 1U; }
  ReadIterator begin() const;
  ReadIterator end() const;

  // Present positions whose allele equals the haplotype's; the flip is ignored.
  unsigned int countMatch(const Haplotype& haplotype) const;
  // Gibbs draw of the flip against one haplotype (assembly) or between two
  // (inference). One rand() per call; true when the flip changed. The caller
  // books the processor time of a pass over the reads with addTime.
  bool sampleFlip(const Haplotype& haplotype, const Parameter& parameter);
  bool sampleFlip(const Haplotype& first, const Haplotype& second, const Parameter& parameter);

  // The assembly sampler's pass over all reads in file order, one
  // veltaRand() per read, each draw as sampleFlip's: every flip redrawn
  // against the haplotype, which holds every read (complemented when its flip
  // is 1), and each read whose flip changed recounted (Haplotype::flipRead).
  // Checked against per-read plain draws (velta_plain::flipOne and countMatch
  // of tests/PlainKernels.h) with the haplotype's own recounts. (The
  // inference sampler's passes are ReadSides'.)
  static void sampleFlips(std::vector<Read>& reads, Haplotype& haplotype,
                          const Parameter& parameter);

  // Calls visit(snp, present, minor) for every stored run of up to 32
  // consecutive SNPs, in the order of the line: bit i of `present` is set when
  // SNP snp + i shows an allele, bit i of `minor` when that allele is the
  // minor one. Every run has a present position.
  template <typename Visit>
  __attribute__((always_inline)) void forEachRun(Visit&& visit) const;

  // Diagnostic dump to standard output; the program does not call it.
  void print() const;

  // Processor time and calls counted on the calling thread.
  static std::int64_t getTime() { return time_; }
  static std::uint64_t getCount() { return count_; }
  static void addTime(std::int64_t ticks) { time_ += ticks; }
  // For passes that draw flips without sampleFlip.
  static void addDraws(std::uint64_t draws) { count_ += draws; }

 private:
  friend class ReadIterator;

  // Calls at up to 32 consecutive SNPs from `snp` on (see forEachRun). A run
  // holds calls in the order of the line: a call joins the last run only at
  // a SNP past all of that run's calls, so walking the runs bit by bit gives
  // the calls in line order.
  struct Run {
    std::uint32_t snp;
    std::uint32_t present;
    std::uint32_t minor;
  };
  // Reads of up to kLocalRuns runs, nearly every short read, keep them in
  // the record itself: a pass over the reads then walks one array.
  static constexpr unsigned kLocalRuns = 2;

  // One fragment of the line: its first SNP, its characters and its present
  // calls.
  struct Fragment {
    std::uint32_t snp;
    std::uint16_t length;
    std::uint16_t calls;
  };

  // What the parser has gathered of one line.
  struct LineCalls {
    std::vector<Run> runs;
    std::vector<Fragment> fragmentList;
    unsigned fragments = 0;
    unsigned characters = 0;
    unsigned inconsistent = 0;  // characters matching neither allele of their SNP
  };
  // Inconsistent allele characters reported one by one per line; the rest of
  // a line's are counted and reported together.
  static constexpr unsigned kReportedPerLine = 5;

  void parseLine(LineCalls& calls, const std::string& text, const Parameter& parameter,
                 const char* fileName, unsigned long lineNo);
  void appendToken(LineCalls& calls, std::string& token, std::uint64_t start,
                   const std::string& text, const Parameter& parameter, const char* fileName,
                   unsigned long lineNo);
  void appendFragment(LineCalls& calls, const char* characters, unsigned length,
                      std::uint64_t start, const std::string& text, const std::string& token,
                      const Parameter& parameter, const char* fileName, unsigned long lineNo);
  static void appendCall(std::vector<Run>& runs, std::uint32_t snp, bool minor);

  // New flip drawn against one haplotype or between two; no counting. Built
  // into each form of the passes.
  __attribute__((always_inline)) unsigned char drawFlip(const Haplotype& haplotype,
                                                        const FlipDrawTable& table,
                                                        std::uint32_t value) const;
  __attribute__((always_inline)) unsigned char drawFlip(const Haplotype& first,
                                                        const Haplotype& second,
                                                        const FlipDrawTable& table,
                                                        std::uint32_t value) const;

  const Run* runs() const { return runCount_ <= kLocalRuns ? local_ : heap_; }
  // Copies `count` runs and `fragments` fragments into the record (or blocks
  // it owns).
  void storeRuns(const Run* runs, unsigned count, const Fragment* fragments,
                 unsigned fragmentCount);
  // Frees the owned blocks; the read then holds no runs and no fragments.
  void release();
  void takeRuns(Read& other) noexcept;

  std::uint32_t size_;  // present positions
  unsigned char flip_;
  std::uint8_t fragmentCount_;
  std::uint16_t runCount_;
  union {
    Run local_[kLocalRuns];  // runCount_ <= kLocalRuns: the runs, 12 bytes each
    Run* heap_;              // otherwise: an owned block of runCount_ runs
  };
  // An owned block of fragmentCount_ fragments, 8 bytes each: only the
  // iterator's positions use them, never the samplers' passes.
  Fragment* fragments_;

  static thread_local std::int64_t time_;
  static thread_local std::uint64_t count_;
};

template <typename Visit>
inline void Read::forEachRun(Visit&& visit) const {
  const Run* run = runs();
  for (const Run* end = run + runCount_; run != end; ++run) {
    visit(run->snp, run->present, run->minor);
  }
}
