#include "SnpLinks.h"

#include <utility>

#include "Read.h"

SnpLinks::SnpLinks(std::uint32_t nSnp) : parent_(nSnp), size_(nSnp, 1) {
  for (std::uint32_t k = 0; k < nSnp; ++k) parent_[k] = k;
}

std::uint32_t SnpLinks::root(std::uint32_t snp) {
  while (parent_[snp] != snp) {
    parent_[snp] = parent_[parent_[snp]];  // path halving keeps the trees flat
    snp = parent_[snp];
  }
  return snp;
}

void SnpLinks::link(std::uint32_t a, std::uint32_t b) {
  std::uint32_t rootA = root(a);
  std::uint32_t rootB = root(b);
  if (rootA == rootB) return;
  // The smaller root stays, so every root is the first SNP of its block.
  if (rootB < rootA) std::swap(rootA, rootB);
  parent_[rootB] = rootA;
  size_[rootA] += size_[rootB];
}

std::uint32_t SnpLinks::firstOfBlock(std::uint32_t snp) {
  return root(snp);
}

bool SnpLinks::isLinked(std::uint32_t snp) {
  return size_[root(snp)] > 1;
}

std::vector<std::uint32_t> SnpLinks::blockOf() {
  std::vector<std::uint32_t> block(parent_.size());
  for (std::uint32_t k = 0; k < block.size(); ++k) block[k] = root(k);
  return block;
}

void linkReadSnps(const std::vector<Read>& reads, const std::vector<std::uint32_t>& segment,
                  SnpLinks& links) {
  for (const Read& read : reads) {
    std::uint32_t previous = kNeverLinked;
    for (ReadIterator it = read.begin(); it != read.end(); ++it) {
      const std::uint32_t snp = (*it).first;
      if (!segment.empty()) {
        if (segment[snp] == kNeverLinked) continue;
        if (previous != kNeverLinked && segment[previous] != segment[snp]) previous = kNeverLinked;
      }
      if (previous != kNeverLinked) links.link(previous, snp);
      previous = snp;
    }
  }
}
