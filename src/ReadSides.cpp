#include "ReadSides.h"

#include <algorithm>
#include <ctime>

#include "Haplotype.h"
#include "Read.h"
#include "VeltaUtil.h"

// Counting a SNP's calls per side is a few bit counts of 64-bit words: built
// twice, for processors with a bit-count instruction and for any other, the
// first call picking one. Only g++ builds clones of a member function.
#if defined(__GNUC__) && !defined(__clang__)
#define VELTA_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define VELTA_POPCOUNT_CLONES
#endif

namespace {

// Reads whose sides are drawn from one block of generator values.
constexpr std::size_t kBlock = 1024;

}  // namespace

ReadSides::ReadSides(const std::vector<Read>& reads, const Haplotype& first,
                     const Haplotype& second, const Parameter& parameter)
    : readCount_(reads.size()) {
  const FlipDrawTable& table = FlipDrawTable::forParameter(parameter);
  const std::size_t words = (readCount_ + 63) / 64;
  const std::size_t nSnp = static_cast<std::size_t>(std::max(first.getLength(), 0));
  sides_.assign(words, 0);
  threshold_.assign(words * 64, kNeverReached);
  size_.resize(readCount_);
  match_[0].resize(readCount_);
  match_[1].resize(readCount_);
  values_.resize(kBlock);
  total_.assign(2 * nSnp, 0);

  // Every call as (read, minor) grouped by SNP, in read order.
  std::vector<std::uint32_t> callStart(nSnp + 1, 0);
  for (const Read& read : reads) {
    for (ReadIterator it = read.begin(); it != read.end(); ++it) ++callStart[(*it).first + 1];
  }
  for (std::size_t j = 0; j < nSnp; ++j) callStart[j + 1] += callStart[j];
  std::vector<std::uint32_t> calls(callStart[nSnp]);
  std::vector<std::uint32_t> next(callStart.begin(), callStart.end() - 1);
  for (std::size_t r = 0; r < readCount_; ++r) {
    const Read& read = reads[r];
    for (ReadIterator it = read.begin(); it != read.end(); ++it) {
      const auto [snp, minor] = *it;
      calls[next[snp]++] = static_cast<std::uint32_t>(2 * r + minor);
      ++total_[2 * std::size_t{snp} + minor];
    }
    size_[r] = static_cast<std::uint16_t>(read.size());
    match_[0][r] = static_cast<std::uint16_t>(read.countMatch(first));
    match_[1][r] = static_cast<std::uint16_t>(read.countMatch(second));
    threshold_[r] = table.twoThreshold(size_[r], match_[0][r], match_[1][r]);
    sides_[r / 64] |= static_cast<std::uint64_t>(read.getFlip() & 1U) << (r % 64);
  }

  // A SNP's calls joined into one entry per word, a second call of a read
  // opening another.
  coverStart_.assign(nSnp + 1, 0);
  for (std::size_t j = 0; j < nSnp; ++j) {
    const std::size_t firstEntry = covers_.size();
    for (std::uint32_t c = callStart[j]; c < callStart[j + 1]; ++c) {
      const std::size_t r = calls[c] / 2;
      const std::uint64_t bit = std::uint64_t{1} << (r % 64);
      const std::uint32_t word = static_cast<std::uint32_t>(r / 64);
      if (covers_.size() == firstEntry || covers_.back().word != word ||
          ((covers_.back().major | covers_.back().minor) & bit) != 0) {
        covers_.push_back({0, 0, word});
      }
      (calls[c] % 2 != 0 ? covers_.back().minor : covers_.back().major) |= bit;
    }
    coverStart_[j + 1] = static_cast<std::uint32_t>(covers_.size());
  }
  before_[0].resize(first.getAlleleWordCount());
  before_[1].resize(second.getAlleleWordCount());
}

void ReadSides::subIteration(Haplotype& first, Haplotype& second,
                             const std::vector<std::uint64_t>& firstCopied,
                             const std::vector<std::uint64_t>& secondCopied,
                             const Parameter& parameter) {
  for (std::size_t w = 0; w < before_[0].size(); ++w) before_[0][w] = first.getAlleleWord(w);
  for (std::size_t w = 0; w < before_[1].size(); ++w) before_[1][w] = second.getAlleleWord(w);
  first.sample(firstCopied, parameter);
  second.sample(secondCopied, parameter);
  const std::clock_t start = std::clock();
  const FlipDrawTable& table = FlipDrawTable::forParameter(parameter);
  followAlleles(0, first, table);
  followAlleles(1, second, table);
  drawSides();
  countSides(first, second);
  Read::addDraws(readCount_);
  Read::addTime(std::clock() - start);
}

void ReadSides::followAlleles(unsigned side, const Haplotype& haplotype,
                              const FlipDrawTable& table) {
  std::uint16_t* match = match_[side].data();
  const std::vector<std::uint64_t>& before = before_[side];
  for (std::size_t w = 0; w < before.size(); ++w) {
    const std::uint64_t now = haplotype.getAlleleWord(w);
    for (std::uint64_t changed = before[w] ^ now; changed != 0; changed &= changed - 1) {
      const unsigned b = static_cast<unsigned>(__builtin_ctzll(changed));
      const std::size_t j = 64 * w + b;
      const bool minorNow = ((now >> b) & 1U) != 0;
      for (std::uint32_t e = coverStart_[j]; e < coverStart_[j + 1]; ++e) {
        const Cover& cover = covers_[e];
        // Calls of the new allele now agree, calls of the old one no longer.
        const std::uint64_t gaining = minorNow ? cover.minor : cover.major;
        for (std::uint64_t rest = cover.major | cover.minor; rest != 0; rest &= rest - 1) {
          const unsigned bit = static_cast<unsigned>(__builtin_ctzll(rest));
          const std::size_t r = 64 * std::size_t{cover.word} + bit;
          const bool gains = ((gaining >> bit) & 1U) != 0;
          match[r] = static_cast<std::uint16_t>(match[r] + (gains ? 1 : 0xFFFF));
          threshold_[r] = table.twoThreshold(size_[r], match_[0][r], match_[1][r]);
        }
      }
    }
  }
}

void ReadSides::drawSides() {
  RandomStream random;
  std::uint32_t* values = values_.data();
  for (std::size_t begin = 0; begin < readCount_; begin += kBlock) {
    const std::size_t count = std::min(kBlock, readCount_ - begin);
    random.fill(values, count);
    const std::size_t padded = (count + 63) / 64 * 64;
    std::fill(values + count, values + padded, 0U);
    for (std::size_t k = 0; k < padded; k += 64) {
      sides_[(begin + k) / 64] = reachedBits(values + k, threshold_.data() + begin + k);
    }
  }
}

VELTA_POPCOUNT_CLONES void ReadSides::countSides(Haplotype& first, Haplotype& second) const {
  const std::size_t nSnp = coverStart_.size() - 1;
  const std::uint64_t* sides = sides_.data();
  for (std::size_t j = 0; j < nSnp; ++j) {
    unsigned major = 0;
    unsigned minor = 0;
    for (std::uint32_t e = coverStart_[j]; e < coverStart_[j + 1]; ++e) {
      const Cover& cover = covers_[e];
      const std::uint64_t second64 = sides[cover.word];
      major += static_cast<unsigned>(__builtin_popcountll(second64 & cover.major));
      minor += static_cast<unsigned>(__builtin_popcountll(second64 & cover.minor));
    }
    // Counts wrap at 2^16 as the haplotypes' own additions do.
    second.setCounts(static_cast<unsigned>(j), static_cast<std::uint16_t>(major),
                     static_cast<std::uint16_t>(minor));
    first.setCounts(static_cast<unsigned>(j), static_cast<std::uint16_t>(total_[2 * j] - major),
                    static_cast<std::uint16_t>(total_[2 * j + 1] - minor));
  }
}

void ReadSides::storeFlips(std::vector<Read>& reads) const {
  for (std::size_t r = 0; r < readCount_; ++r) {
    reads[r].setFlip(static_cast<unsigned char>((sides_[r / 64] >> (r % 64)) & 1U));
  }
}
