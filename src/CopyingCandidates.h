// Copying candidates close to the individual: the panel held haplotype-major,
// and the choice, for one window, of the panel haplotypes that disagree least
// with the individual's current haplotypes over each stretch of the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class Reference;

// One haplotype of the individual as bits: SNP j at bit j mod 64 of word j / 64.
using HaplotypeBits = std::vector<std::uint64_t>;

class CopyingCandidates {
 public:
  explicit CopyingCandidates(const Reference& reference);

  // Up to `count` distinct panel haplotypes for the SNPs `begin` .. `end` - 1,
  // in increasing index order. The window is cut into stretches of
  // `stretchWords` 64-SNP words (whole words: a stretch may reach a few SNPs
  // past the window); for every stretch and every haplotype of `individual`
  // the panel haplotypes are ranked by their disagreements with it over the
  // stretch (ties by index), and the choice takes the best of every ranking,
  // then the second best of every ranking, and so on. Draws no random
  // numbers.
  std::vector<int> choose(const std::vector<HaplotypeBits>& individual, unsigned int begin,
                          unsigned int end, int count, unsigned int stretchWords) const;
  // The allele (1 for minor) every panel haplotype carries at SNP `snp`; -1
  // where the panel carries both, or holds no haplotype.
  int onlyAllele(unsigned int snp) const;
  // Disagreements of the panel haplotype closest to `haplotype` over SNPs
  // `begin` .. `end` - 1 other than `skip`.
  int closestDistance(const HaplotypeBits& haplotype, unsigned int begin, unsigned int end,
                      unsigned int skip) const;
  // How far `haplotype` agrees with the panel around SNP `snp` (itself not
  // compared): the longest run of SNPs, ending next to `snp`, over which it
  // agrees with some panel haplotype, plus the longest such run starting next
  // to it on the other side (each from whichever haplotype reaches furthest).
  unsigned int matchReach(const HaplotypeBits& haplotype, unsigned int snp) const;
  unsigned int snpNo() const { return snpNo_; }

 private:
  // Panel haplotype h's words.
  const std::uint64_t* row(int h) const { return &bits_[static_cast<std::size_t>(h) * words_]; }

  int hapNo_;
  unsigned int snpNo_;
  std::size_t words_;                // 64-SNP words per haplotype
  std::vector<std::uint64_t> bits_;  // hapNo_ rows of words_ words
};
