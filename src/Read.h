// One line of the read file: the alleles a read (or read pair) shows at runs of
// consecutive SNPs, coded against the SNP map, and its orientation flag.
#pragma once

#include <cstddef>
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
  // parsing. A run longer than a fragment holds is stored as consecutive
  // fragments. A line that needs more fragments or characters than a read
  // holds, or gives position 0, ends the run; `fileName` and `lineNo`
  // (1-based) name the line in messages.
  Read(const std::string& text, const Parameter& parameter, const char* fileName = "",
       unsigned long lineNo = 0);
  Read(const Read&) = default;
  Read& operator=(const Read&) = default;

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

  // Calls visit(snp, present, minor) for every run of up to 32 consecutive
  // characters of the read, fragment after fragment, skipping runs with no
  // present position: bit i of `present` is set when SNP snp + i shows an
  // allele, bit i of `minor` when that allele is the minor one.
  template <typename Visit>
  void forEachRun(Visit&& visit) const;

  void print() const;

  static std::int64_t getTime() { return time_; }
  static std::uint64_t getCount() { return count_; }
  static void addTime(std::int64_t ticks) { time_ += ticks; }

 private:
  friend class ReadIterator;

  // Inconsistent allele characters reported one by one per line; the rest
  // of a line's are counted and reported together.
  static constexpr unsigned kReportedPerLine = 5;

  // `inconsistent` counts the line's characters that match neither allele of
  // their SNP.
  void parseLine(const std::string& text, const Parameter& parameter, const char* fileName,
                 unsigned long lineNo, unsigned int& inconsistent);
  void appendToken(std::string& token, std::uint64_t start, const std::string& text,
                   const Parameter& parameter, const char* fileName, unsigned long lineNo,
                   unsigned int& inconsistent);
  void appendFragment(const char* characters, unsigned length, std::uint64_t start,
                      const std::string& text, const std::string& token, const Parameter& parameter,
                      const char* fileName, unsigned long lineNo, unsigned int& inconsistent);
  // Characters in fragment f.
  unsigned fragLength(std::size_t f) const {
    const unsigned end = f + 1 < fragBit_.size() ? fragBit_[f + 1] : bitCount_;
    return (end - fragBit_[f]) / 2;
  }
  bool bit(unsigned index) const { return (bits_[index >> 6] >> (index & 63)) & 1U; }
  // The 64 bits of bits_ from `index` on (zero past the end).
  std::uint64_t wordAt(unsigned index) const {
    const std::size_t w = index >> 6;
    const unsigned shift = index & 63;
    std::uint64_t word = bits_[w] >> shift;
    if (shift != 0 && w + 1 < bits_.size()) word |= bits_[w + 1] << (64 - shift);
    return word;
  }
  // Gathers the even-numbered bits of `word` into the low 32 bits.
  static std::uint32_t evenBits(std::uint64_t word) {
    word &= 0x5555555555555555ULL;
    word = (word | (word >> 1)) & 0x3333333333333333ULL;
    word = (word | (word >> 2)) & 0x0F0F0F0F0F0F0F0FULL;
    word = (word | (word >> 4)) & 0x00FF00FF00FF00FFULL;
    word = (word | (word >> 8)) & 0x0000FFFF0000FFFFULL;
    word = (word | (word >> 16)) & 0x00000000FFFFFFFFULL;
    return static_cast<std::uint32_t>(word);
  }

  unsigned char flip_;
  std::uint32_t size_;
  std::vector<std::uint32_t> fragStart_;  // per fragment: 0-based SNP of its first character
  std::vector<std::uint16_t> fragBit_;    // per fragment: bit offset of its first character
  std::vector<std::uint64_t> bits_;       // 2 bits per character (presence, then allele), packed
  std::uint32_t bitCount_;                // bits used in bits_: twice the character count

  static std::int64_t time_;
  static std::uint64_t count_;
};

template <typename Visit>
void Read::forEachRun(Visit&& visit) const {
  for (std::size_t f = 0; f < fragStart_.size(); ++f) {
    const unsigned end = fragBit_[f] + 2 * fragLength(f);
    std::uint32_t snp = fragStart_[f];
    for (unsigned index = fragBit_[f]; index < end; index += 64, snp += 32) {
      std::uint64_t word = wordAt(index);
      if (end - index < 64) word &= (std::uint64_t{1} << (end - index)) - 1;
      const std::uint32_t present = evenBits(word);
      if (present != 0) visit(snp, present, evenBits(word >> 1));
    }
  }
}
