// One line of the read file: the alleles a read (or read pair) shows at runs of
// consecutive SNPs, coded against the SNP map, and its orientation flag.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class Parameter;
class Haplotype;
class Read;

// Walks the present positions of a read, yielding (0-based SNP, allele) with
// allele true for the minor allele.
class ReadIterator {
 public:
  ReadIterator(const Read& read, unsigned char frag, unsigned char index);
  std::pair<std::uint32_t, bool> operator*() const;
  ReadIterator& operator++();
  // Compares positions only, not the read walked.
  bool operator!=(const ReadIterator& other) const {
    return frag_ != other.frag_ || index_ != other.index_;
  }

 private:
  const Read* read_;
  unsigned char frag_;
  unsigned char index_;
};

class Read {
 public:
  // Storage limits of one read: fragment and character indices are 8-bit and
  // bit offsets 16-bit.
  static constexpr unsigned kMaxFragments = 255;
  static constexpr unsigned kMaxFragmentLength = 256;
  static constexpr unsigned kMaxCharacters = 32767;

  // Parses one read-file line. Draws rand() once for the initial flip before
  // parsing. `fileName` and `lineNo` (1-based) only name the line in messages.
  Read(const std::string& text, const Parameter& parameter, const char* fileName = "",
       unsigned long lineNo = 0);
  Read(const Read&) = default;
  Read& operator=(const Read&) = default;

  // Trims '-' from both ends of `token`; returns how many leading ones went.
  unsigned int validateReadEnd(std::string& token) const;

  unsigned int size() const { return size_; }
  unsigned char getFlip() const { return flip_; }
  ReadIterator begin() const;
  ReadIterator end() const;

  // Present positions whose allele equals the haplotype's; the flip is ignored.
  unsigned int countMatch(const Haplotype& haplotype) const;
  // Gibbs draw of the flip against one haplotype (assembly) or between two
  // (inference). One rand() per call; true when the flip changed. The caller
  // books the processor time of a pass over the reads with addTime.
  bool sampleFlip(const Haplotype& haplotype, const Parameter& parameter);
  bool sampleFlip(const Haplotype& first, const Haplotype& second, const Parameter& parameter);

  void print() const;

  static std::int64_t getTime() { return time_; }
  static std::uint64_t getCount() { return count_; }
  static void addTime(std::int64_t ticks) { time_ += ticks; }

 private:
  friend class ReadIterator;

  unsigned char flip_;
  std::uint32_t size_;
  std::vector<std::uint32_t> fragStart_;  // per fragment: 0-based SNP of its first character
  std::vector<std::uint16_t> fragBit_;    // per fragment: bit offset of its first character
  std::vector<std::uint64_t> bits_;       // 2 bits per character: presence, then allele

  static std::int64_t time_;
  static std::uint64_t count_;
};
