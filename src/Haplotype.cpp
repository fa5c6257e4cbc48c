#include "Haplotype.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Parameter.h"
#include "Read.h"
#include "Reference.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

thread_local std::int64_t Haplotype::time_ = 0;
thread_local std::uint64_t Haplotype::count_ = 0;

namespace {
// Words of the allele bits, with the padding word.
std::size_t wordsFor(int length) {
  return (static_cast<std::size_t>(length) + 63) / 64 + 1;
}
}  // namespace

Haplotype::Haplotype(int length)
    : length_(length),
      alleleCount_(2 * static_cast<std::size_t>(length)),
      allele_(wordsFor(length), 0) {
  randomInit();
}

Haplotype::Haplotype(const std::vector<bool>& alleles)
    : length_(static_cast<int>(alleles.size())),
      alleleCount_(2 * alleles.size()),
      allele_(wordsFor(length_), 0) {
  for (int j = 0; j < length_; ++j) setAllele(j, alleles[j]);
}

void Haplotype::randomInit() {
  for (int j = 0; j < length_; ++j) setAllele(j, veltaRand() & 1);
}

void Haplotype::appendRead(const Read& read, bool flag) {
  stepCounts(read, flag, 1);
}

void Haplotype::popRead(const Read& read, bool flag) {
  stepCounts(read, flag, 0xFFFF);
}

void Haplotype::stepCounts(const Read& read, bool flag, std::uint16_t step) {
  // A read allele counts as minor (second) when it differs from the flag.
  const std::uint32_t orientation = flag ? ~std::uint32_t{0} : 0;
  std::uint16_t* counts = alleleCount_.data();
  read.forEachRun([&](std::uint32_t snp, std::uint32_t present, std::uint32_t minor) {
    const std::uint32_t oriented = minor ^ orientation;
    for (std::uint32_t rest = present; rest != 0; rest &= rest - 1) {
      const unsigned i = __builtin_ctz(rest);
      std::uint16_t& count = counts[2 * (snp + i) + ((oriented >> i) & 1U)];
      count = static_cast<std::uint16_t>(count + step);
    }
  });
}

bool Haplotype::assignRead(const Read& read, Mode mode) {
  switch (mode) {
    case UNFLIPPED_READS:
      if (read.getFlip() != 0) return false;
      appendRead(read, false);
      return true;
    case FLIPPED_READS:
      if (read.getFlip() != 1) return false;
      appendRead(read, false);
      return true;
    case ALL_READS:
      appendRead(read, read.getFlip() != 0);
      return true;
  }
  veltaErrorExit("You should not get to here\n");
}

bool Haplotype::removeRead(const Read& read, Mode mode) {
  switch (mode) {
    case UNFLIPPED_READS:
      if (read.getFlip() != 1) return false;
      popRead(read, false);
      return true;
    case FLIPPED_READS:
      if (read.getFlip() != 0) return false;
      popRead(read, false);
      return true;
    case ALL_READS:
      break;
  }
  veltaErrorExit("You should not get here\n");
}

bool Haplotype::flipRead(const Read& read, Mode mode) {
  if (mode != ALL_READS) return false;
  const bool flip = read.getFlip() != 0;
  popRead(read, !flip);
  appendRead(read, flip);
  return true;
}

const AlleleDrawTable& AlleleDrawTable::forParameter(const Parameter& parameter) {
  static thread_local AlleleDrawTable table;
  const double key[5] = {parameter.getSmoothMu(), parameter.getSeqLogRight(),
                         parameter.getSeqLogError(), parameter.getEmitLogRight(),
                         parameter.getEmitLogError()};
  // Compared bit for bit, so that settings that are not a number do not
  // rebuild the table at every draw.
  // Bit for bit on purpose: a NaN setting must match itself.
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  if (!table.built_ || std::memcmp(key, table.key_, sizeof key) != 0) {
    table.build(key);
  }
  return table;
}

void AlleleDrawTable::build(const double (&key)[5]) {
  std::memcpy(key_, key, sizeof key_);
  built_ = true;
  threshold_.resize(std::size_t{kCounts} * kCounts);
  pathThreshold_.resize(std::size_t{2} * kCounts * kCounts);
  for (unsigned k0 = 0; k0 < kCounts; ++k0) {
    for (unsigned k1 = 0; k1 < kCounts; ++k1) {
      threshold_[k0 * kCounts + k1] = zeroThreshold(logWeight(k0, k1), logWeight(k1, k0));
      for (bool copied : {false, true}) {
        pathThreshold_[(copied * kCounts + k0) * kCounts + k1] =
            zeroThreshold(pathLogWeight(k0, k1, !copied), pathLogWeight(k1, k0, copied));
      }
    }
  }
}

double AlleleDrawTable::logWeight(double agree, double disagree) const {
  return key_[0] * (countLog(agree, key_[1]) + countLog(disagree, key_[2]));
}

double AlleleDrawTable::pathLogWeight(double agree, double disagree, bool matches) const {
  return key_[0] *
         (countLog(agree, key_[1]) + countLog(disagree, key_[2]) + (matches ? key_[3] : key_[4]));
}

bool AlleleDrawTable::choose(unsigned k0, unsigned k1, std::uint32_t value) const {
  if (k0 < kCounts && k1 < kCounts) return value >= threshold_[k0 * kCounts + k1];
  return chooseTwoValued(logWeight(k0, k1), logWeight(k1, k0), toUniform(value));
}

std::uint32_t AlleleDrawTable::thresholdByFormula(unsigned k0, unsigned k1, bool copied) const {
  return zeroThreshold(pathLogWeight(k0, k1, !copied), pathLogWeight(k1, k0, copied));
}

void Haplotype::sample(const Parameter& parameter) {
  const std::clock_t start = std::clock();
  const AlleleDrawTable& table = AlleleDrawTable::forParameter(parameter);
  RandomStream random;
  drawAlleles([&](unsigned j) {
    return table.choose(alleleCount_[std::size_t{2} * j], alleleCount_[std::size_t{2} * j + 1],
                        random.next());
  });
  time_ += std::clock() - start;
  ++count_;
}

void Haplotype::sample(const RefPath& path, const Parameter& parameter) {
  std::vector<std::uint64_t> copied;
  path.copiedAlleles(copied);
  sample(copied, parameter);
}

void Haplotype::sample(const std::vector<std::uint64_t>& copied, const Parameter& parameter) {
  const std::clock_t start = std::clock();
  RandomStream random;
  sampleWords(copied, AlleleDrawTable::forParameter(parameter), random, 0, allele_.size() - 1);
  time_ += std::clock() - start;
  ++count_;
}

void Haplotype::sampleWords(const std::vector<std::uint64_t>& copied,
                            const AlleleDrawTable& table, RandomStream& random,
                            std::size_t wordBegin, std::size_t wordEnd) {
  // Sixteen words of SNPs at a time: their thresholds looked up, then their
  // numbers made and compared in one pass.
  constexpr std::size_t kWords = 16;
  std::uint32_t thresholds[64 * kWords];
  const std::uint16_t* counts = alleleCount_.data();
  const std::size_t length = static_cast<std::size_t>(length_);
  for (std::size_t w = wordBegin; w < wordEnd; w += kWords) {
    const std::size_t words = std::min(kWords, wordEnd - w);
    const std::size_t first = 64 * w;
    const std::size_t count = std::min(64 * words, length - first);
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t j = first + k;
      thresholds[k] = table.threshold(counts[2 * j], counts[2 * j + 1],
                                      (copied[(first + k) / 64] >> (k % 64)) & 1U);
    }
    random.drawBits(thresholds, count, &allele_[w]);
  }
}

void Haplotype::copyInit(const RefPath& path) {
  for (int j = 0; j < length_; ++j) setAllele(j, path[j]);
}

void Haplotype::print() const {
  std::printf("hap\t");
  for (int j = 0; j < length_; ++j) std::printf("%d\t", (*this)[j] ? 1 : 0);
  std::printf("\ncnt0\t");
  for (int j = 0; j < length_; ++j) std::printf("%d\t", getCount(j, false));
  std::printf("\ncnt1\t");
  for (int j = 0; j < length_; ++j) std::printf("%d\t", getCount(j, true));
  std::printf("\n");
}
