#include "Haplotype.h"

#include <cstdlib>

std::int64_t Haplotype::time_ = 0;
std::uint64_t Haplotype::count_ = 0;

namespace {
std::size_t wordsFor(int length) { return (static_cast<std::size_t>(length) + 63) / 64; }
}  // namespace

Haplotype::Haplotype(int length)
    : length_(length), alleleCount_(length), allele_(wordsFor(length), 0) {
  randomInit();
}

Haplotype::Haplotype(const std::vector<bool>& alleles)
    : length_(static_cast<int>(alleles.size())),
      alleleCount_(alleles.size()),
      allele_(wordsFor(length_), 0) {
  for (int j = 0; j < length_; ++j) setAllele(j, alleles[j]);
}

void Haplotype::randomInit() {
  for (int j = 0; j < length_; ++j) setAllele(j, std::rand() & 1);
}
