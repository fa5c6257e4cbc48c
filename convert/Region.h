// A genomic region given on the command line: CHR, CHR:FROM, CHR:FROM- or
// CHR:FROM-TO, 1-based and inclusive, thousands separators allowed.
#pragma once

#include <cstdint>
#include <string>

class Region {
 public:
  // The whole genome: contains every position.
  Region() = default;
  // Parses the text; a malformed range ends the run naming it. A name whose
  // part after the last ':' does not begin with a digit is a whole chromosome.
  explicit Region(const std::string& text);
  // The whole chromosome of this name, for names that would read as a range
  // (such as HLA-A*01:01 when the file has a contig of that name).
  static Region chromosome(const std::string& name);

  bool isWholeGenome() const { return chrom_.empty(); }
  const std::string& text() const { return text_; }
  // The chromosome's name; empty for the whole genome.
  const std::string& chrom() const { return chrom_; }
  // `position` is 1-based.
  bool contains(const char* chrom, std::int64_t position) const;

 private:
  std::string text_;
  std::string chrom_;  // empty: whole genome
  std::int64_t from_ = 1;
  std::int64_t to_ = INT64_MAX;
};
