#include "Haplotype.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Parameter.h"
#include "Read.h"
#include "Reference.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

std::int64_t Haplotype::time_ = 0;
std::uint64_t Haplotype::count_ = 0;

namespace {
std::size_t wordsFor(int length) {
  return (static_cast<std::size_t>(length) + 63) / 64;
}
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
  read.forEachRun([&](std::uint32_t snp, std::uint32_t present, std::uint32_t minor) {
    const std::uint32_t oriented = minor ^ orientation;
    for (std::uint32_t rest = present; rest != 0; rest &= rest - 1) {
      const unsigned i = __builtin_ctz(rest);
      std::uint16_t& count =
          (oriented >> i) & 1U ? alleleCount_[snp + i].second : alleleCount_[snp + i].first;
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

void Haplotype::sample(const Parameter& parameter) {
  const std::clock_t start = std::clock();
  const double mu = parameter.getSmoothMu();
  const double right = parameter.getSeqLogRight();
  const double error = parameter.getSeqLogError();
  for (int j = 0; j < length_; ++j) {
    const double k0 = alleleCount_[j].first;
    const double k1 = alleleCount_[j].second;
    setAllele(j, drawTwoValued(mu * (countLog(k0, right) + countLog(k1, error)),
                               mu * (countLog(k0, error) + countLog(k1, right))));
  }
  time_ += std::clock() - start;
  ++count_;
}

void Haplotype::sample(const RefPath& path, const Parameter& parameter) {
  const std::clock_t start = std::clock();
  const double mu = parameter.getSmoothMu();
  const double right = parameter.getSeqLogRight();
  const double error = parameter.getSeqLogError();
  const double emitRight = parameter.getEmitLogRight();
  const double emitError = parameter.getEmitLogError();
  for (int j = 0; j < length_; ++j) {
    const double k0 = alleleCount_[j].first;
    const double k1 = alleleCount_[j].second;
    // The copied panel allele weighs in as one more observation with the
    // panel mismatch rate.
    const bool copied = path[j];
    const double panel0 = copied ? emitError : emitRight;
    const double panel1 = copied ? emitRight : emitError;
    setAllele(j, drawTwoValued(mu * (countLog(k0, right) + countLog(k1, error) + panel0),
                               mu * (countLog(k0, error) + countLog(k1, right) + panel1)));
  }
  time_ += std::clock() - start;
  ++count_;
}

void Haplotype::copyInit(const RefPath& path) {
  for (int j = 0; j < length_; ++j) setAllele(j, path[j]);
}

void Haplotype::print() const {
  std::printf("hap\t");
  for (int j = 0; j < length_; ++j) std::printf("%d\t", (*this)[j] ? 1 : 0);
  std::printf("\ncnt0\t");
  for (int j = 0; j < length_; ++j) std::printf("%d\t", alleleCount_[j].first);
  std::printf("\ncnt1\t");
  for (int j = 0; j < length_; ++j) std::printf("%d\t", alleleCount_[j].second);
  std::printf("\n");
}
