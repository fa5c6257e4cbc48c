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

PhasePolisher::PhasePolisher(std::vector<unsigned char> alleles, ReadCalls calls)
    : alleles_(std::move(alleles)),
      calls_(std::move(calls)),
      atSnpStart_(alleles_.size() + 1, 0),
      crossingStart_(alleles_.size() + 1, 0),
      single_(alleles_.size(), 0),
      cut_(alleles_.size() + 1, 0) {
  const unsigned int nSnp = static_cast<unsigned int>(alleles_.size());
  const std::vector<std::uint32_t>& snp = calls_.snp;
  const std::vector<std::size_t>& start = calls_.start;
  // Two passes per index: count, then fill.
  for (int fill = 0; fill < 2; ++fill) {
    std::vector<std::size_t> nextAt(atSnpStart_.begin(), atSnpStart_.end() - 1);
    std::vector<std::size_t> nextCrossing(crossingStart_.begin(), crossingStart_.end() - 1);
    for (std::size_t r = 0; r + 1 < start.size(); ++r) {
      const std::size_t begin = start[r];
      const std::size_t end = start[r + 1];
      if (begin == end) continue;
      for (std::size_t i = begin; i < end; ++i) {
        if (i > begin && snp[i] == snp[i - 1]) continue;
        if (fill) {
          atSnp_[nextAt[snp[i]]++] = static_cast<std::uint32_t>(r);
        } else {
          ++atSnpStart_[snp[i] + 1];
        }
      }
      for (std::uint32_t c = snp[begin] + 1; c <= snp[end - 1]; ++c) {
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
  for (std::size_t r = 0; r + 1 < start.size(); ++r) score(r, 1);
}

long long PhasePolisher::disagreements(std::size_t r) const {
  long long disagree = 0;
  for (std::size_t i = calls_.start[r]; i < calls_.start[r + 1]; ++i) {
    disagree += alleles_[calls_.snp[i]] != calls_.minor[i];
  }
  return disagree;
}

long long PhasePolisher::mismatch() const {
  long long total = 0;
  for (std::size_t r = 0; r < calls_.readCount(); ++r) {
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

void PhasePolisher::score(std::size_t r, long long sign) {
  const std::vector<std::uint32_t>& snp = calls_.snp;
  const std::vector<unsigned char>& minor = calls_.minor;
  const std::size_t begin = calls_.start[r];
  const std::size_t end = calls_.start[r + 1];
  const long long size = callCount(r);
  const long long disagree = disagreements(r);
  const long long now = betterOrientation(disagree, size);
  long long upTo = 0;  // disagreements among the calls up to this SNP's
  for (std::size_t i = begin; i < end;) {
    std::size_t next = i;
    long long here = 0;
    while (next < end && snp[next] == snp[i]) {
      here += alleles_[snp[next]] != minor[next];
      ++next;
    }
    const long long hereSize = static_cast<long long>(next - i);
    single_[snp[i]] += sign * (betterOrientation(disagree + hereSize - 2 * here, size) - now);
    upTo += here;
    if (next < end) {
      // Cuts after this SNP up to the read's next one complement the rest.
      const long long rest = size - static_cast<long long>(next - begin);
      const long long switched = upTo + rest - (disagree - upTo);
      const long long change = sign * (betterOrientation(switched, size) - now);
      cut_[snp[i] + 1] += change;
      cut_[snp[next] + 1] -= change;
    }
    i = next;
  }
}

void PhasePolisher::rescore(const std::vector<std::uint32_t>& reads, std::size_t begin,
                            std::size_t end, unsigned int from, unsigned int to) {
  for (std::size_t k = begin; k < end; ++k) score(reads[k], -1);
  for (unsigned int j = from; j < to; ++j) alleles_[j] ^= 1;
  for (std::size_t k = begin; k < end; ++k) score(reads[k], 1);
}

bool PhasePolisher::applyBestMove() {
  const unsigned int nSnp = static_cast<unsigned int>(alleles_.size());
  long long best = 0;
  unsigned int at = 0;
  bool isCut = false;
  long long running = 0;
  for (unsigned int c = 1; c < nSnp; ++c) {
    running += cut_[c];
    if (running < best) {
      best = running;
      at = c;
      isCut = true;
    }
  }
  for (unsigned int j = 0; j < nSnp; ++j) {
    if (single_[j] < best) {
      best = single_[j];
      at = j;
      isCut = false;
    }
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
