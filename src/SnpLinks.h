// The blocks of SNPs that reads connect, as the companion tools need them:
// two SNPs are in one block when a chain of reads, each showing an allele at
// two of them, joins them. The reads are velta's own (readSeqFile), so the
// blocks are exactly those the sampler sees.
#pragma once

#include <cstdint>
#include <vector>

class Read;

// Union-find over the SNPs, numbered from 0.
class SnpLinks {
 public:
  explicit SnpLinks(std::uint32_t nSnp);

  std::uint32_t size() const { return static_cast<std::uint32_t>(parent_.size()); }
  // Puts SNPs a and b into one block.
  void link(std::uint32_t a, std::uint32_t b);
  // The first (smallest) SNP of the SNP's block, whatever the order in which
  // the links were made.
  std::uint32_t firstOfBlock(std::uint32_t snp);
  // True when the SNP's block holds another SNP.
  bool isLinked(std::uint32_t snp);
  // firstOfBlock of every SNP.
  std::vector<std::uint32_t> blockOf();

 private:
  std::uint32_t root(std::uint32_t snp);

  std::vector<std::uint32_t> parent_;  // one per SNP; a root is its block's smallest SNP
  std::vector<std::uint32_t> size_;    // one per SNP; the block's size at its root
};

// Marks SNPs that reads never link: see linkReadSnps.
constexpr std::uint32_t kNeverLinked = 0xFFFFFFFFU;

// Links, read by read, each SNP a read shows an allele at to the one before it
// in the read. With `segment` (one entry per SNP) a SNP marked kNeverLinked is
// passed over, and two SNPs are linked only when their entries are equal (a
// chromosome, say); an empty `segment` links every called SNP.
void linkReadSnps(const std::vector<Read>& reads, const std::vector<std::uint32_t>& segment,
                  SnpLinks& links);
