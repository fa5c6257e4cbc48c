// The reference panel and the copying model over it: the panel store, copying
// paths, forward-backward path draws, likelihoods, and the best pair-of-paths
// search that gives the inference sampler its warm start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

class Parameter;
class Haplotype;
class Reference;

// One copying path: the index of the panel haplotype copied at every SNP.
class RefPath {
 public:
  // As many entries as the panel has SNPs, all 0.
  explicit RefPath(const Reference& reference);
  unsigned short& operator()(unsigned int i) { return path_[i]; }
  unsigned short at(unsigned int i) const { return path_[i]; }
  unsigned int size() const { return static_cast<unsigned int>(path_.size()); }
  // Panel allele (true for minor) of the haplotype copied at SNP i.
  inline bool operator[](unsigned int i) const;
  // Every copied allele: SNP 64 w + b at bit b of words[w], (size + 63) / 64
  // words.
  void copiedAlleles(std::vector<std::uint64_t>& words) const;
  void print() const;

 private:
  const Reference* ref_;
  std::vector<unsigned short> path_;
};

using AlleleCounts = std::vector<std::pair<unsigned short, unsigned short>>;

// One haplotype's forward pass over a panel, kept for a path draw: a forward
// vector every segment length (about sqrt(S)) SNPs, the buffer of one
// segment, the per-SNP sums and scaled transition terms, and the emission
// factors. Sized by the panel at its first use; separate passes can be
// computed side by side.
class ForwardPass {
 private:
  friend class Reference;
  std::vector<double> checkpoints_;    // ceil(S / k) vectors: SNPs 0, k, 2k, ...
  std::vector<double> segment_;        // max(k, 2) vectors: SNPs ck + 1 .. ck + k - 1
  std::vector<double> sums_;           // S: s_i
  std::vector<double> stays_;          // S: stay_i (entry 0 unused)
  std::vector<double> moves_;          // S: move_i (entry 0 unused)
  std::vector<double> emissionTable_;  // 16 x 4: factor of bit t of a nibble of
                                       // (panel XOR haplotype allele) bits
};

class Reference {
 public:
  // Panels address haplotypes with 16-bit indices.
  static constexpr int kMaxHaplotypes = 65536;
  // The best path search stores pair indices (S x S of them) in 16 bits.
  static constexpr int kMaxSampleSize = 256;

  Reference();

  // Loads the panel; every SNP line must hold the same number of alleles, each
  // one of its SNP's two map characters, and there must be one SNP line per
  // map SNP and 1 to 65536 haplotypes. Lines of separators only are skipped
  // without counting, so SNP line k (from 0) is always map SNP k. Violations,
  // and a file that cannot be opened, end the run naming the file. Also sizes
  // the working arrays of the forward pass once for the whole run.
  void initFromFile(const char* fileName, const Parameter& parameter);
  // The same from an open stream; `fileName` is only used in messages.
  void initFromStream(std::istream& in, const char* fileName, const Parameter& parameter);
  // The same from `count` rows held in memory: row k is SNP k's allele
  // characters, without separators; `name` stands for the file in messages.
  void initFromRows(const std::string* rows, std::size_t count, const char* name,
                    const Parameter& parameter);
  // Removes separators ('-', blank, tab, CR, LF) in place; returns the number
  // of allele characters left.
  int validateLine(std::string& text) const;

  int getHapNo() const { return hapNo_; }
  int getSnpNo() const { return snpNo_; }
  // Allele of haplotype `hap` at SNP `snp`: true for minor. Not range-checked.
  // Ends the run with "Bug found in Reference::getAllele" on a store that was
  // never loaded.
  bool getAllele(unsigned short hap, unsigned int snp) const {
    if (layout_ != kSnpMajor) layoutFault();
    return (row(snp)[hap >> 6] >> (hap & 63)) & 1U;
  }

  // Processor time and calls counted on the calling thread.
  static std::int64_t getTime() { return time_; }
  static std::uint64_t getCount() { return count_; }

  // The model operations below share working arrays owned by the panel, so
  // they are not re-entrant (the program runs one thread). They need at
  // least S SNPs in the haplotype and the transition tables built for the
  // panel (Parameter::renewTran); a haplotype the model gives probability 0
  // (every panel haplotype's weight 0 at some SNP) has log-likelihood
  // kLogFloor, and a path draw for it ends the run.

  // Draws a whole copying path from the posterior of the copying model given
  // the haplotype: one uniform number per SNP (more only where a draw falls
  // short of the weights' total), last SNP first, each the first haplotype
  // whose cumulative weight reaches it. Timed in the class counters. Checked,
  // with forwardProb, against the plain log-space model LogSpaceModel of
  // tests/ReferenceModelReference.h.
  void samplePath(RefPath& path, const Haplotype& haplotype, const Parameter& parameter) const;
  // Natural-log likelihood of the haplotype under the copying model.
  double forwardProb(const Haplotype& haplotype, const Parameter& parameter) const;
  // The same, keeping the forward pass in `pass` for drawPath: samplePath is
  // forward then drawPath, with the same draws. Calls on separate passes may
  // run at once on separate threads.
  double forward(ForwardPass& pass, const Haplotype& haplotype, const Parameter& parameter) const;
  // Draws a path from a pass that forward computed for this haplotype, which
  // has not changed since; timed and counted as samplePath. The pass's
  // segment buffer is reused. Returns how many numbers it drew: one per SNP
  // unless a draw fell short of its weights' total and drew again.
  std::uint64_t drawPath(RefPath& path, ForwardPass& pass, const Haplotype& haplotype) const;
  // Whether a draw from the pass cannot end the run: every SNP's forward sum
  // positive and finite.
  bool drawable(const ForwardPass& pass) const;
  // Books path draws made on another thread in the calling thread's counter.
  static void addCalls(std::uint64_t calls) { count_ += calls; }

  // Adds SNP s's emission scores for every pair of the first S sample entries
  // (S the parameters' sample size) to layer s mod 2 of `scores`, whose pair
  // (a, b) sits at (s mod 2) x S x S + a x S + b.
  void plusEmission(std::vector<double>& scores, int s,
                    const std::pair<unsigned short, unsigned short>& counts,
                    const std::vector<int>& sample, const Parameter& parameter) const;
  // Best pair of paths over a random sample of panel haplotypes for the pooled
  // read allele counts (one pair per panel SNP); writes both paths. Works on
  // a copy of `parameter` with transitions for the sample size, which must be
  // 1 to kMaxSampleSize and at most H. Prints one '.' per 1000 SNPs and a
  // newline. Checked against maxPathAllPairs of
  // tests/ReferenceModelReference.h.
  void maxPath(RefPath& first, RefPath& second, const AlleleCounts& counts,
               const Parameter& parameter) const;

 private:
  static constexpr int kSnpMajor = 0;
  static constexpr int kHaplotypeMajor = 1;

  // Panel alleles of SNP `snp`: haplotype h at bit h mod 64 of word h / 64;
  // bits past the last haplotype are 0.
  const std::uint64_t* row(unsigned int snp) const { return &alleles_[snp * wordsPerSnp_]; }
  [[noreturn]] static void layoutFault();
  void appendSnpLine(const std::string& alleles, long long lineNo, const char* fileName,
                     const Parameter& parameter);
  void checkAgainstMap(const char* fileName, const Parameter& parameter) const;
  void reserveWorkspace(const char* fileName);
  void checkModelInput(const Haplotype& haplotype) const;

  // The forward pass runs in linear space with one scale per SNP. Vector i
  // holds B_i(k) = f_i(k) / (sum_k' f_{i-1}(k') x e^top(i)), f_i(k) the forward
  // probability of haplotype k at SNP i and top(i) the larger of the SNP's
  // log stay extra and log move: B_0 is the SNP-0 emissions and
  //   B_i(k) = (stay_i x B_{i-1}(k) + move_i) x e_i(k),
  // stay_i = e^(plus(i) - top(i)) / s_{i-1}, move_i = e^(diff(i) - top(i)),
  // s_i = sum_k B_i(k), so the log-likelihood up to SNP i is the sum of
  // top + log s over SNPs 0..i (top(0) = 0). Returns it for the last SNP.
  // With `keepCheckpoints` every SNP's vector goes to vectorAt (so the last
  // segment stays whole), otherwise two buffers alternate.
  double forwardPass(ForwardPass& pass, const Haplotype& haplotype, const Parameter& parameter,
                     bool keepCheckpoints) const;
  // Recomputes the vectors of segment c from its checkpoint.
  void recomputeSegment(ForwardPass& pass, std::size_t c, const Haplotype& haplotype) const;
  // Draws the path backwards through the segments, recomputing each.
  std::uint64_t drawStates(RefPath& path, ForwardPass& pass, const Haplotype& haplotype) const;
  // Vector of SNP i: a checkpoint every segmentLength_ SNPs, the segment
  // buffer in between.
  double* vectorAt(ForwardPass& pass, std::size_t i) const;
  // Sizes the pass's arrays for this panel; false when memory is short.
  bool sizePass(ForwardPass& pass) const;
  void fillEmissionTable(ForwardPass& pass, const Parameter& parameter) const;

  int hapNo_;
  int snpNo_;
  int layout_;
  std::size_t wordsPerSnp_;             // (hapNo_ + 63) / 64
  std::vector<std::uint64_t> alleles_;  // snpNo_ rows of wordsPerSnp_ words, SNP-major

  // Layout of the forward passes, set at load: path draws keep a forward
  // vector every segmentLength_ SNPs and recompute one segment at a time, so
  // a pass holds O(H sqrt(S)) doubles.
  std::size_t stride_;         // doubles per vector: hapNo_ rounded up to 8
  std::size_t segmentLength_;  // smallest k with k x k >= snpNo_
  // The pass of samplePath and forwardProb, sized once at load.
  mutable ForwardPass workspace_;

  static thread_local std::int64_t time_;
  static thread_local std::uint64_t count_;
};

inline bool RefPath::operator[](unsigned int i) const {
  return ref_->getAllele(path_[i], i);
}
