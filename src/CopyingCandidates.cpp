// Copying candidates chosen by closeness to the individual's haplotypes.
#include "CopyingCandidates.h"

#include <algorithm>
#include <numeric>

#include "Reference.h"

CopyingCandidates::CopyingCandidates(const Reference& reference)
    : hapNo_(reference.getHapNo()),
      snpNo_(static_cast<unsigned int>(reference.getSnpNo())),
      words_((std::size_t{snpNo_} + 63) / 64),
      bits_(static_cast<std::size_t>(hapNo_) * words_, 0) {
  for (int h = 0; h < hapNo_; ++h) {
    std::uint64_t* bits = &bits_[static_cast<std::size_t>(h) * words_];
    for (unsigned int j = 0; j < snpNo_; ++j) {
      if (reference.getAllele(static_cast<unsigned short>(h), j)) {
        bits[j >> 6] |= std::uint64_t{1} << (j & 63);
      }
    }
  }
}

int CopyingCandidates::onlyAllele(unsigned int snp) const {
  if (hapNo_ == 0) return -1;
  const auto alleleOf = [&](int h) {
    return static_cast<int>((row(h)[snp / 64] >> (snp % 64)) & 1U);
  };
  const int first = alleleOf(0);
  for (int h = 1; h < hapNo_; ++h) {
    if (alleleOf(h) != first) return -1;
  }
  return first;
}

int CopyingCandidates::closestDistance(const HaplotypeBits& haplotype, unsigned int begin,
                                       unsigned int end, unsigned int skip) const {
  if (end <= begin) return 0;
  const std::size_t firstWord = begin / 64;
  const std::size_t lastWord = (end - 1) / 64;
  // Per word, the SNPs of the range other than `skip`.
  std::vector<std::uint64_t> inRange(lastWord - firstWord + 1, ~std::uint64_t{0});
  inRange.front() &= ~std::uint64_t{0} << (begin % 64);
  if (end % 64 != 0) inRange.back() &= ~(~std::uint64_t{0} << (end % 64));
  if (skip / 64 >= firstWord && skip / 64 <= lastWord) {
    inRange[skip / 64 - firstWord] &= ~(std::uint64_t{1} << (skip % 64));
  }
  int closest = -1;
  for (int h = 0; h < hapNo_; ++h) {
    const std::uint64_t* panel = row(h);
    int distance = 0;
    for (std::size_t w = firstWord; w <= lastWord; ++w) {
      distance += __builtin_popcountll((panel[w] ^ haplotype[w]) & inRange[w - firstWord]);
    }
    if (closest < 0 || distance < closest) closest = distance;
  }
  return closest;
}

unsigned int CopyingCandidates::matchReach(const HaplotypeBits& haplotype,
                                           unsigned int snp) const {
  const std::uint64_t all = ~std::uint64_t{0};
  unsigned int left = 0;   // longest agreement ending at snp - 1
  unsigned int right = 0;  // longest agreement starting at snp + 1
  for (int h = 0; h < hapNo_; ++h) {
    const std::uint64_t* panel = row(h);
    if (snp > 0) {
      // The last disagreement before snp, words walked down from snp - 1.
      std::size_t w = (snp - 1) / 64;
      std::uint64_t differ = (panel[w] ^ haplotype[w]) & (all >> (63 - (snp - 1) % 64));
      while (differ == 0 && w > 0) {
        --w;
        differ = panel[w] ^ haplotype[w];
      }
      const unsigned int run =
          differ == 0 ? snp
                      : snp - 1 - static_cast<unsigned int>(w * 64 + 63 - __builtin_clzll(differ));
      left = std::max(left, run);
    }
    if (snp + 1 < snpNo_) {
      // The first disagreement after snp, words walked up from snp + 1.
      std::size_t w = (snp + 1) / 64;
      std::uint64_t differ = (panel[w] ^ haplotype[w]) & (all << ((snp + 1) % 64));
      while (differ == 0 && w + 1 < words_) {
        ++w;
        differ = panel[w] ^ haplotype[w];
      }
      const unsigned int stop =
          differ == 0 ? snpNo_
                      : std::min(snpNo_, static_cast<unsigned int>(w * 64) +
                                             static_cast<unsigned int>(__builtin_ctzll(differ)));
      right = std::max(right, stop - (snp + 1));
    }
  }
  return left + right;
}

std::vector<int> CopyingCandidates::choose(const std::vector<HaplotypeBits>& individual,
                                           unsigned int begin, unsigned int end, int count,
                                           unsigned int stretchWords) const {
  count = std::min(count, hapNo_);
  if (count <= 0 || end <= begin) return {};
  stretchWords = std::max(stretchWords, 1U);
  const std::size_t firstWord = begin / 64;
  const std::size_t lastWord = std::min((end - 1) / 64 + std::size_t{1}, words_);
  const std::size_t depth = static_cast<std::size_t>(count);
  std::vector<std::vector<int>> rankings;
  std::vector<int> distance(hapNo_);
  std::vector<int> order(hapNo_);
  for (std::size_t w0 = firstWord; w0 < lastWord; w0 += stretchWords) {
    const std::size_t w1 = std::min(w0 + stretchWords, lastWord);
    for (const HaplotypeBits& haplotype : individual) {
      for (int h = 0; h < hapNo_; ++h) {
        const std::uint64_t* panel = row(h);
        int d = 0;
        for (std::size_t w = w0; w < w1; ++w) d += __builtin_popcountll(panel[w] ^ haplotype[w]);
        distance[h] = d;
      }
      std::iota(order.begin(), order.end(), 0);
      std::partial_sort(order.begin(), order.begin() + count, order.end(), [&](int x, int y) {
        return distance[x] != distance[y] ? distance[x] < distance[y] : x < y;
      });
      rankings.emplace_back(order.begin(), order.begin() + count);
    }
  }
  std::vector<char> taken(hapNo_, 0);
  std::vector<int> chosen;
  for (std::size_t rank = 0; rank < depth && chosen.size() < depth; ++rank) {
    for (const std::vector<int>& ranking : rankings) {
      const int h = ranking[rank];
      if (!taken[h] && chosen.size() < depth) {
        taken[h] = 1;
        chosen.push_back(h);
      }
    }
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}
