// One haplotype of the individual: an allele per SNP and, per SNP, the counts
// of major and minor calls among the read alleles assigned to it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

class Parameter;
class Read;
class RefPath;

class Haplotype {
 public:
  // Which reads a haplotype holds: UNFLIPPED_READS the reads of flip 0,
  // FLIPPED_READS those of flip 1 (both counted as read), ALL_READS every read,
  // complemented when its flip is 1.
  enum Mode { UNFLIPPED_READS = 0, FLIPPED_READS = 1, ALL_READS = 2 };

  // `length` SNPs, counts 0, alleles from the low bit of one rand() per SNP.
  explicit Haplotype(int length);
  explicit Haplotype(const std::vector<bool>& alleles);

  int getLength() const { return length_; }
  // Allele at SNP j: true for minor.
  bool operator[](unsigned int j) const { return (allele_[j >> 6] >> (j & 63)) & 1U; }
  // Minor-call count when `minor` is true, major-call count otherwise.
  unsigned short getCount(unsigned int j, bool minor) const {
    return minor ? alleleCount_[j].second : alleleCount_[j].first;
  }

  void appendRead(const Read& read, bool flag);
  void popRead(const Read& read, bool flag);
  bool assignRead(const Read& read, Mode mode);
  bool removeRead(const Read& read, Mode mode);
  bool flipRead(const Read& read, Mode mode);

  // Redraws every allele from the counts (assembly), one rand() per SNP.
  void sample(const Parameter& parameter);
  // Redraws every allele from the counts and the allele the path copies.
  void sample(const RefPath& path, const Parameter& parameter);
  // Sets every allele to the one the path copies; no draw.
  void copyInit(const RefPath& path);
  void randomInit();
  void print() const;

  static std::int64_t getTime() { return time_; }
  static std::uint64_t getCount() { return count_; }

 private:
  void setAllele(unsigned int j, bool minor) {
    const std::uint64_t bit = std::uint64_t{1} << (j & 63);
    allele_[j >> 6] = minor ? (allele_[j >> 6] | bit) : (allele_[j >> 6] & ~bit);
  }

  int length_;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> alleleCount_;  // length_ pairs
  std::vector<std::uint64_t> allele_;  // one bit per SNP, (length_ + 63) / 64 words

  static std::int64_t time_;
  static std::uint64_t count_;
};
