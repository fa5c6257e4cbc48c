// Greedy polish of a phase against the reads by moves that draw no random
// numbers.
#include "PhasePolish.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "Haplotype.h"
#include "Read.h"
#include "Velta.h"

namespace {

// Mismatch of a read under its better orientation, given its disagreements.
long long betterOrientation(long long disagree, long long size) {
  return std::min(disagree, size - disagree);
}

// Above any change a move can have: padding leaves are never chosen.
constexpr long long kNoMove = 1LL << 62;

}  // namespace

void ReadCalls::addRead(std::vector<std::pair<std::uint32_t, bool>>& calls) {
  std::sort(calls.begin(), calls.end());
  for (const auto& call : calls) {
    snp.push_back(call.first);
    minor.push_back(call.second);
  }
  start.push_back(snp.size());
}

ReadCalls collectCalls(const std::vector<Read>& reads) {
  ReadCalls result;
  std::vector<std::pair<std::uint32_t, bool>> calls;
  for (const Read& read : reads) {
    calls.clear();
    for (ReadIterator it = read.begin(); it != read.end(); ++it) calls.push_back(*it);
    result.addRead(calls);
  }
  return result;
}

// Greedy descent of the mismatch, each read taken in its better orientation,
// by two moves: complementing one SNP, and complementing every SNP from a cut
// on (a switch of phase). A move changes the mismatch terms of the reads it
// touches only: those with a call at the SNP, or with calls on both sides of
// the cut (complementing all of a read's SNPs leaves its terms as they are).

PhasePolisher::PhasePolisher(std::vector<unsigned char> alleles, ReadCalls calls)
    : alleles_(std::move(alleles)),
      snp_(std::move(calls.snp)),
      minor_(std::move(calls.minor)),
      readStart_(std::move(calls.start)),
      atSnpStart_(alleles_.size() + 1, 0),
      crossingStart_(alleles_.size() + 1, 0),
      single_(alleles_.size(), 0),
      cut_(alleles_.size() + 1, 0) {
  const unsigned int nSnp = static_cast<unsigned int>(alleles_.size());
  // Two passes per index: count, then fill.
  for (int fill = 0; fill < 2; ++fill) {
    std::vector<std::size_t> nextAt(atSnpStart_.begin(), atSnpStart_.end() - 1);
    std::vector<std::size_t> nextCrossing(crossingStart_.begin(), crossingStart_.end() - 1);
    for (std::size_t r = 0; r + 1 < readStart_.size(); ++r) {
      const std::size_t begin = readStart_[r];
      const std::size_t end = readStart_[r + 1];
      if (begin == end) continue;
      for (std::size_t i = begin; i < end; ++i) {
        if (i > begin && snp_[i] == snp_[i - 1]) continue;
        if (fill) {
          atSnp_[nextAt[snp_[i]]++] = static_cast<std::uint32_t>(r);
        } else {
          ++atSnpStart_[snp_[i] + 1];
        }
      }
      for (std::uint32_t c = snp_[begin] + 1; c <= snp_[end - 1]; ++c) {
        if (fill) {
          crossing_[nextCrossing[c]++] = static_cast<std::uint32_t>(r);
        } else {
          ++crossingStart_[c + 1];
        }
      }
    }
    if (!fill) {
      for (unsigned int j = 0; j < nSnp; ++j) {
        atSnpStart_[j + 1] += atSnpStart_[j];
        crossingStart_[j + 1] += crossingStart_[j];
      }
      atSnp_.resize(atSnpStart_[nSnp]);
      crossing_.resize(crossingStart_[nSnp]);
    }
  }
  flips_.assign(nSnp + 1, 0);
  for (std::size_t r = 0; r + 1 < readStart_.size(); ++r) score(r, 1);
  buildTrees();
}

PhasePolisher::CutNode PhasePolisher::join(const CutNode& left, const CutNode& right) {
  // The first of equal minima is the left one.
  if (left.sum + right.minimum < left.minimum) {
    return {left.sum + right.sum, left.sum + right.minimum, right.at};
  }
  return {left.sum + right.sum, left.minimum, left.at};
}

PhasePolisher::SingleNode PhasePolisher::join(const SingleNode& left, const SingleNode& right) {
  return right.minimum < left.minimum ? right : left;
}

void PhasePolisher::buildTrees() {
  const std::size_t nSnp = alleles_.size();
  while (leaves_ < nSnp) leaves_ *= 2;
  cutTree_.assign(2 * leaves_, CutNode{0, kNoMove, 0});
  singleTree_.assign(2 * leaves_, SingleNode{kNoMove, 0});
  // Cuts 1 .. nSnp - 1; cut 0 would complement every SNP and change nothing.
  for (std::size_t c = 1; c < nSnp; ++c) {
    cutTree_[leaves_ + c] = {cut_[c], cut_[c], static_cast<unsigned int>(c)};
  }
  for (std::size_t j = 0; j < nSnp; ++j) {
    singleTree_[leaves_ + j] = {single_[j], static_cast<unsigned int>(j)};
  }
  for (std::size_t node = leaves_ - 1; node >= 1; --node) {
    cutTree_[node] = join(cutTree_[2 * node], cutTree_[2 * node + 1]);
    singleTree_[node] = join(singleTree_[2 * node], singleTree_[2 * node + 1]);
  }
}

void PhasePolisher::updateSingle(std::size_t j) {
  std::size_t node = leaves_ + j;
  singleTree_[node].minimum = single_[j];
  for (node /= 2; node >= 1; node /= 2) {
    singleTree_[node] = join(singleTree_[2 * node], singleTree_[2 * node + 1]);
  }
}

void PhasePolisher::updateCut(std::size_t c) {
  std::size_t node = leaves_ + c;
  cutTree_[node].sum = cutTree_[node].minimum = cut_[c];
  for (node /= 2; node >= 1; node /= 2) {
    cutTree_[node] = join(cutTree_[2 * node], cutTree_[2 * node + 1]);
  }
}

void PhasePolisher::addSingle(std::size_t j, long long change) {
  single_[j] += change;
  if (!singleTree_.empty()) updateSingle(j);
}

void PhasePolisher::addCut(std::size_t c, long long change) {
  cut_[c] += change;
  if (!cutTree_.empty() && c > 0 && c < alleles_.size()) updateCut(c);
}

bool PhasePolisher::allele(unsigned int j) const {
  unsigned char flipped = 0;
  for (std::size_t i = j + 1; i > 0; i -= i & (~i + 1)) flipped ^= flips_[i];
  return (alleles_[j] ^ flipped) != 0;
}

long long PhasePolisher::mismatch() const {
  long long total = 0;
  for (std::size_t r = 0; r + 1 < readStart_.size(); ++r) {
    total += betterOrientation(disagreements(r), callCount(r));
  }
  return total;
}

std::vector<long long> PhasePolisher::cutChanges() const {
  std::vector<long long> changes(alleles_.size(), 0);
  long long running = 0;
  for (std::size_t c = 1; c < alleles_.size(); ++c) {
    running += cut_[c];
    changes[c] = running;
  }
  return changes;
}

long long PhasePolisher::disagreements(std::size_t r) const {
  long long disagree = 0;
  for (std::size_t i = readStart_[r]; i < readStart_[r + 1]; ++i) {
    disagree += allele(snp_[i]) != (minor_[i] != 0);
  }
  return disagree;
}

void PhasePolisher::score(std::size_t r, long long sign) {
  const std::size_t begin = readStart_[r];
  const std::size_t end = readStart_[r + 1];
  const long long size = callCount(r);
  const long long disagree = disagreements(r);
  const long long now = betterOrientation(disagree, size);
  long long upTo = 0;  // disagreements among the calls up to this SNP's
  for (std::size_t i = begin; i < end;) {
    std::size_t next = i;
    long long here = 0;
    while (next < end && snp_[next] == snp_[i]) {
      here += allele(snp_[next]) != (minor_[next] != 0);
      ++next;
    }
    const long long hereSize = static_cast<long long>(next - i);
    addSingle(snp_[i], sign * (betterOrientation(disagree + hereSize - 2 * here, size) - now));
    upTo += here;
    if (next < end) {
      // Cuts after this SNP up to the read's next one complement the rest.
      const long long rest = size - static_cast<long long>(next - begin);
      const long long switched = upTo + rest - (disagree - upTo);
      const long long change = sign * (betterOrientation(switched, size) - now);
      addCut(snp_[i] + 1, change);
      addCut(snp_[next] + 1, -change);
    }
    i = next;
  }
}

void PhasePolisher::rescore(const std::vector<std::uint32_t>& reads, std::size_t begin,
                            std::size_t end, unsigned int from, unsigned int to) {
  for (std::size_t k = begin; k < end; ++k) score(reads[k], -1);
  if (to == from + 1) {
    alleles_[from] ^= 1;
  } else {
    // Every SNP from `from` to the last: one flip in the tree.
    for (std::size_t i = from + 1; i < flips_.size(); i += i & (~i + 1)) flips_[i] ^= 1;
  }
  for (std::size_t k = begin; k < end; ++k) score(reads[k], 1);
}

bool PhasePolisher::applyBestMove() {
  const unsigned int nSnp = static_cast<unsigned int>(alleles_.size());
  // The cuts first, then the singles, each replacing the best only when
  // strictly lower: the first of equal moves wins.
  long long best = 0;
  unsigned int at = 0;
  bool isCut = false;
  if (cutTree_[1].minimum < best) {
    best = cutTree_[1].minimum;
    at = cutTree_[1].at;
    isCut = true;
  }
  if (singleTree_[1].minimum < best) {
    best = singleTree_[1].minimum;
    at = singleTree_[1].at;
    isCut = false;
  }
  if (best == 0) return false;
  if (isCut) {
    rescore(crossing_, crossingStart_[at], crossingStart_[at + 1], at, nSnp);
  } else {
    rescore(atSnp_, atSnpStart_[at], atSnpStart_[at + 1], at, at + 1);
  }
  return true;
}

int polishAssembly(Haplotype& haplotype, std::vector<Read>& reads) {
  std::vector<unsigned char> alleles(haplotype.getLength());
  for (unsigned int j = 0; j < alleles.size(); ++j) alleles[j] = haplotype[j];
  PhasePolisher polisher(std::move(alleles), collectCalls(reads));
  polisher.polish();
  std::vector<bool> polished(haplotype.getLength());
  for (unsigned int j = 0; j < polished.size(); ++j) polished[j] = polisher.allele(j);
  haplotype = Haplotype(polished);
  for (std::size_t r = 0; r < reads.size(); ++r) {
    const long long disagree = polisher.disagreements(r);
    const long long agree = polisher.callCount(r) - disagree;
    if (disagree != agree) reads[r].setFlip(disagree > agree);
    haplotype.assignRead(reads[r], Haplotype::ALL_READS);
  }
  return assemblyMismatch(haplotype);
}
