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

ReadSides::ReadSides(const std::vector<Read>& reads, const Haplotype& first,
                     const Haplotype& second, const Parameter& parameter, unsigned threads)
    : readCount_(reads.size()), nSnp_(static_cast<std::size_t>(std::max(first.getLength(), 0))) {
  const FlipDrawTable& table = FlipDrawTable::forParameter(parameter);
  const std::size_t words = (readCount_ + 63) / 64;
  const std::size_t nSnp = nSnp_;
  sides_.assign(words, 0);
  threshold_.assign(words * 64, kNeverReached);
  size_.resize(readCount_);
  match_[0].resize(readCount_);
  match_[1].resize(readCount_);
  total_.assign(2 * nSnp, 0);
  secondCount_.assign(2 * nSnp, 0);

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
        covers_.push_back({0, 0, word, static_cast<std::uint32_t>(j)});
      }
      (calls[c] % 2 != 0 ? covers_.back().minor : covers_.back().major) |= bit;
    }
    coverStart_[j + 1] = static_cast<std::uint32_t>(covers_.size());
  }
  before_[0].resize(first.getAlleleWordCount());
  before_[1].resize(second.getAlleleWordCount());

  // Stretches of the random sequence can be jumped to only in the program's
  // own generator; with the C library's, one thread draws them in order.
  if (!velta_random::generatorMatchesLibrary) threads = 1;
  threads = std::max(threads, 1U);
  const std::size_t snpWords = first.getAlleleWordCount();
  const std::size_t readWords = sides_.size();
  for (unsigned t = 0; t < threads; ++t) {
    Share share;
    share.snpBegin = snpWords * t / threads;
    share.snpEnd = snpWords * (t + 1) / threads;
    share.readBegin = readWords * t / threads;
    share.readEnd = readWords * (t + 1) / threads;
    if (threads > 1) {
      const std::uint64_t snpStart = std::min<std::uint64_t>(64 * share.snpBegin, nSnp);
      share.jumps.emplace_back(snpStart);
      share.jumps.emplace_back(nSnp + snpStart);
      share.jumps.emplace_back(2 * nSnp + 64 * share.readBegin);
    }
    shares_.push_back(std::move(share));
  }
  if (threads > 1) whole_ = std::make_unique<FeedbackGenerator::Jump>(2 * nSnp + readCount_);
  team_ = std::make_unique<WorkerTeam>(threads);
}

template <typename Draw>
void ReadSides::drawStretch(const Share& share, unsigned stretch, Draw&& draw) {
  if (shares_.size() == 1) {
    RandomStream random;
    draw(random);
    return;
  }
  FeedbackGenerator generator = share.jumps[stretch].from(start_);
  RandomStream random(generator);
  draw(random);
}

void ReadSides::subIterations(unsigned count, Haplotype& first, Haplotype& second,
                              const std::vector<std::uint64_t>& firstCopied,
                              const std::vector<std::uint64_t>& secondCopied,
                              const Parameter& parameter) {
  if (count == 0) return;
  const AlleleDrawTable& alleleTable = AlleleDrawTable::forParameter(parameter);
  const FlipDrawTable& flipTable = FlipDrawTable::forParameter(parameter);
  bool recount = false;
  auto drawAlleles = [&](unsigned t) {
    Share& share = shares_[t];
    if (recount) countSides(first, second, share.snpBegin, share.snpEnd);
    for (std::size_t w = share.snpBegin; w < share.snpEnd; ++w) {
      before_[0][w] = first.getAlleleWord(w);
      before_[1][w] = second.getAlleleWord(w);
    }
    if (shares_.size() == 1) {
      // One stream for both haplotypes: the second's draws follow the first's.
      RandomStream random;
      first.sampleWords(firstCopied, alleleTable, random, share.snpBegin, share.snpEnd);
      second.sampleWords(secondCopied, alleleTable, random, share.snpBegin, share.snpEnd);
      return;
    }
    drawStretch(share, 0, [&](RandomStream& random) {
      first.sampleWords(firstCopied, alleleTable, random, share.snpBegin, share.snpEnd);
    });
    drawStretch(share, 1, [&](RandomStream& random) {
      second.sampleWords(secondCopied, alleleTable, random, share.snpBegin, share.snpEnd);
    });
  };
  auto drawReadSides = [&](unsigned t) {
    Share& share = shares_[t];
    followAlleles(share, first, second, flipTable);
    drawStretch(share, 2, [&](RandomStream& random) { drawSides(share, random); });
  };
  auto countAll = [&](unsigned t) {
    countSides(first, second, shares_[t].snpBegin, shares_[t].snpEnd);
  };
  for (unsigned j = 0; j < count; ++j) {
    if (whole_) start_ = velta_random::generator;
    const std::clock_t start = std::clock();
    team_->run(drawAlleles);
    const std::clock_t drawn = std::clock();
    team_->run(drawReadSides);
    if (whole_) velta_random::generator = whole_->from(start_);
    Haplotype::addTime(drawn - start, 2);
    Read::addTime(std::clock() - drawn);
    Read::addDraws(readCount_);
    recount = true;
  }
  const std::clock_t start = std::clock();
  team_->run(countAll);
  Read::addTime(std::clock() - start);
}

void ReadSides::followAlleles(const Share& share, const Haplotype& first,
                              const Haplotype& second, const FlipDrawTable& table) {
  const Haplotype* haplotypes[2] = {&first, &second};
  for (unsigned side = 0; side < 2; ++side) {
    std::uint16_t* match = match_[side].data();
    const std::vector<std::uint64_t>& before = before_[side];
    for (std::size_t w = 0; w < before.size(); ++w) {
      const std::uint64_t now = haplotypes[side]->getAlleleWord(w);
      for (std::uint64_t changed = before[w] ^ now; changed != 0; changed &= changed - 1) {
        const unsigned b = static_cast<unsigned>(__builtin_ctzll(changed));
        const std::size_t j = 64 * w + b;
        const bool minorNow = ((now >> b) & 1U) != 0;
        for (std::uint32_t e = coverStart_[j]; e < coverStart_[j + 1]; ++e) {
          const Cover& cover = covers_[e];
          if (cover.word < share.readBegin || cover.word >= share.readEnd) continue;
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
}

void ReadSides::drawSides(const Share& share, RandomStream& random) {
  const std::size_t begin = 64 * share.readBegin;
  const std::size_t end = std::min(64 * share.readEnd, readCount_);
  if (begin < end) {
    random.drawBits(threshold_.data() + begin, end - begin, &sides_[share.readBegin]);
  }
}

VELTA_POPCOUNT_CLONES void ReadSides::countSides(Haplotype& first, Haplotype& second,
                                                 std::size_t begin, std::size_t end) {
  const std::size_t firstSnp = 64 * begin;
  const std::size_t last = std::min(64 * end, nSnp_);
  if (firstSnp >= last) return;
  // The covers in one run, each adding to its SNP's tally: a SNP's covers
  // are one to a few, so a loop per SNP would mispredict its end at nearly
  // every SNP.
  std::uint16_t* tally = secondCount_.data();
  std::fill(tally + 2 * firstSnp, tally + 2 * last, 0);
  const Cover* covers = covers_.data();
  const std::uint64_t* sides = sides_.data();
  for (std::uint32_t e = coverStart_[firstSnp]; e < coverStart_[last]; ++e) {
    const Cover& cover = covers[e];
    const std::uint64_t second64 = sides[cover.word];
    // Counts wrap at 2^16 as the haplotypes' own additions do.
    tally[2 * std::size_t{cover.snp}] = static_cast<std::uint16_t>(
        tally[2 * std::size_t{cover.snp}] + __builtin_popcountll(second64 & cover.major));
    tally[2 * std::size_t{cover.snp} + 1] = static_cast<std::uint16_t>(
        tally[2 * std::size_t{cover.snp} + 1] + __builtin_popcountll(second64 & cover.minor));
  }
  const std::uint16_t* total = total_.data();
  for (std::size_t j = firstSnp; j < last; ++j) {
    const unsigned at = static_cast<unsigned>(j);
    second.setCounts(at, tally[2 * j], tally[2 * j + 1]);
    first.setCounts(at, static_cast<std::uint16_t>(total[2 * j] - tally[2 * j]),
                    static_cast<std::uint16_t>(total[2 * j + 1] - tally[2 * j + 1]));
  }
}

void ReadSides::storeFlips(std::vector<Read>& reads) const {
  for (std::size_t r = 0; r < readCount_; ++r) {
    reads[r].setFlip(static_cast<unsigned char>((sides_[r / 64] >> (r % 64)) & 1U));
  }
}

ReadAgreement ReadSides::agreement() const {
  ReadAgreement sum;
  for (std::size_t r = 0; r < readCount_; ++r) sum.add(size_[r], match_[0][r], match_[1][r]);
  return sum;
}
