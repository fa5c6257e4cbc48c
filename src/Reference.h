// The reference panel and the copying model over it: the panel store, copying
// paths, forward-backward path draws, likelihoods, and the best pair-of-paths
// search that gives the inference sampler its warm start.
#pragma once

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
  void print() const;

 private:
  const Reference* ref_;
  std::vector<unsigned short> path_;
};

using AlleleCounts = std::vector<std::pair<unsigned short, unsigned short>>;

class Reference {
 public:
  // Panels address haplotypes with 16-bit indices.
  static constexpr int kMaxHaplotypes = 65536;

  Reference();

  // Loads the panel; every SNP line must hold the same number of alleles, each
  // one of its SNP's two map characters, and there must be one SNP line per
  // map SNP. Violations end the run naming the file.
  void initFromFile(const char* fileName, const Parameter& parameter);
  void initFromStream(std::istream& in, const char* fileName, const Parameter& parameter);
  // Removes separators ('-', blank, tab, CR, LF) in place; returns the number
  // of allele characters left.
  int validateLine(std::string& text) const;

  int getHapNo() const { return hapNo_; }
  int getSnpNo() const { return snpNo_; }
  // Allele of haplotype `hap` at SNP `snp`: true for minor. Not range-checked.
  bool getAllele(unsigned short hap, unsigned int snp) const;

  static std::int64_t getTime() { return time_; }
  static std::uint64_t getCount() { return count_; }

  // Forward pass of the copying model for `haplotype`: F (H x S, SNP-major)
  // and T (S) hold natural-log forward values and per-SNP totals.
  void forward(std::vector<double>& F, std::vector<double>& T, const Haplotype& haplotype,
               const Parameter& parameter) const;
  // Draws a whole path from the posterior given a filled F and T.
  void backwardSampling(RefPath& path, const std::vector<double>& F, const std::vector<double>& T,
                        const Parameter& parameter) const;
  // forward then backwardSampling; timed in the class counters.
  void samplePath(RefPath& path, const Haplotype& haplotype, const Parameter& parameter) const;
  // Natural-log likelihood of the haplotype under the copying model.
  double forwardProb(const Haplotype& haplotype, const Parameter& parameter) const;

  // Adds SNP s's emission scores for every sampled pair to layer s mod 2.
  void plusEmission(std::vector<double>& scores, int s,
                    const std::pair<unsigned short, unsigned short>& counts,
                    const std::vector<int>& sample, const Parameter& parameter) const;
  // Best pair of paths over a random sample of panel haplotypes for the pooled
  // read allele counts; writes both paths.
  void maxPath(RefPath& first, RefPath& second, const AlleleCounts& counts,
               const Parameter& parameter) const;

 private:
  int hapNo_;
  int snpNo_;
  int layout_;
  std::vector<std::uint64_t> alleles_;

  static std::int64_t time_;
  static std::uint64_t count_;
};

inline bool RefPath::operator[](unsigned int i) const {
  return ref_->getAllele(path_[i], i);
}
