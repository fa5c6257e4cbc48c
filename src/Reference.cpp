#include "Reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <istream>
#include <limits>
#include <new>

#include "ForwardStep.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

thread_local std::int64_t Reference::time_ = 0;
thread_local std::uint64_t Reference::count_ = 0;

namespace {

bool isSeparator(char c) {
  return c == '-' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Haplotype allele at SNP i as a mask: all ones for minor, so that panel
// words XOR the mask have a 1 where the panel allele differs.
std::uint64_t alleleMask(const Haplotype& haplotype, unsigned i) {
  return haplotype[i] ? ~std::uint64_t{0} : 0;
}

// Nibble q % 16 of word q / 16 of a panel row XOR the allele mask: bit t
// tells whether haplotype 4q + t differs from the haplotype's allele.
unsigned differNibble(const std::uint64_t* panel, std::uint64_t mask, std::size_t q) {
  return static_cast<unsigned>((panel[q / 16] ^ mask) >> (4 * (q % 16))) & 0xFU;
}

// SNP 0 of the forward pass: every panel haplotype starts with weight 1
// times its emission factor. Returns the sum.
double startForward(double* current, const std::uint64_t* panel, std::uint64_t mask,
                    std::size_t hapNo, const double* table) {
  double sum = 0.0;
  for (std::size_t k = 0; k < hapNo; ++k) {
    current[k] = table[std::size_t{4} * differNibble(panel, mask, k / 4) + k % 4];
    sum += current[k];
  }
  return sum;
}

// The transition of SNP i scaled by its larger term, so that neither factor
// underflows where both logs are very negative: stay = e^(plus - top),
// move = e^(diff - top), logScale = top = max(plus, diff).
struct ScaledTransition {
  double stay;
  double move;
  double logScale;
};

ScaledTransition scaledTransition(const Parameter& parameter, unsigned i) {
  const double plus = parameter.getTranLogPlus(i);
  const double diff = parameter.getTranLogDiff(i);
  if (std::isnan(plus) || std::isnan(diff)) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan, nan};
  }
  const double top = plus > diff ? plus : diff;
  // Neither staying nor moving is possible: every weight becomes 0.
  if (top == -std::numeric_limits<double>::infinity()) return {0.0, 0.0, top};
  return {std::exp(plus - top), std::exp(diff - top), top};
}

// The end of a draw whose weights can never reach a uniform number, in the
// words mnrnd uses for the same case.
[[noreturn]] void drawCannotSucceed(std::size_t categories, double total) {
  veltaFatal(
      "Discrete draw over %d categories cannot succeed: the weights sum to %g "
      "(expected a positive sum near 1)\n",
      static_cast<int>(categories), total);
}

// Discrete draw over the weights weight(k) = vector[k] x scale, except that
// haplotype j (none when j >= hapNo) weighs weightJ: one uniform number r per
// attempt, the first haplotype whose cumulative weight reaches r, a fresh
// number when the total falls short, and the end of the run when the total
// is not positive (the rules of mnrnd). Blocks of eight are skipped on their
// sum and searched one by one only where the draw lands.
std::size_t drawState(const double* vector, std::size_t hapNo, double scale, std::size_t j,
                      double weightJ, std::uint64_t& numbers) {
  auto weight = [&](std::size_t k) { return k == j ? weightJ : vector[k] * scale; };
  for (;;) {
    const double r = toUniform(veltaRand());
    ++numbers;
    double cumulative = 0.0;
    for (std::size_t first = 0; first < hapNo; first += 8) {
      const std::size_t end = first + 8 <= hapNo ? first + 8 : hapNo;
      if (end - first == 8 && (j < first || j >= end)) {
        const double* v = vector + first;
        const double block = ((v[0] * scale + v[1] * scale) + (v[2] * scale + v[3] * scale)) +
                             ((v[4] * scale + v[5] * scale) + (v[6] * scale + v[7] * scale));
        if (!(cumulative + block >= r)) {
          cumulative += block;
          continue;
        }
      }
      for (std::size_t k = first; k < end; ++k) {
        cumulative += weight(k);
        if (cumulative >= r) return k;
      }
    }
    if (!(cumulative > 0.0)) drawCannotSucceed(hapNo, cumulative);
  }
}

}  // namespace

RefPath::RefPath(const Reference& reference)
    : ref_(&reference), path_(static_cast<std::size_t>(reference.getSnpNo()), 0) {}

void RefPath::copiedAlleles(std::vector<std::uint64_t>& words) const {
  words.assign((path_.size() + 63) / 64, 0);
  for (std::size_t i = 0; i < path_.size(); ++i) {
    words[i / 64] |= std::uint64_t{(*this)[static_cast<unsigned>(i)]} << (i % 64);
  }
}

void RefPath::print() const {
  std::printf("Path\t");
  const unsigned int snpNo = static_cast<unsigned int>(ref_->getSnpNo());
  for (unsigned int i = 0; i < snpNo; ++i) std::printf("%d_%d\t", path_[i], (*this)[i] ? 1 : 0);
  std::printf("\n");
}

Reference::Reference()
    : hapNo_(0),
      snpNo_(0),
      layout_(kHaplotypeMajor),
      wordsPerSnp_(0),
      stride_(0),
      segmentLength_(1) {}

void Reference::layoutFault() {
  veltaErrorExit("Bug found in Reference::getAllele");
}

int Reference::validateLine(std::string& text) const {
  std::size_t kept = 0;
  for (char c : text) {
    if (!isSeparator(c)) text[kept++] = c;
  }
  text.resize(kept);
  return static_cast<int>(kept);
}

void Reference::initFromFile(const char* fileName, const Parameter& parameter) {
  std::ifstream in(fileName);
  if (!in) {
    veltaFatal("Reference file %s cannot be opened\n", fileName);
  }
  initFromStream(in, fileName, parameter);
}

void Reference::initFromStream(std::istream& in, const char* fileName, const Parameter& parameter) {
  std::string text;
  long long lineNo = 0;
  while (std::getline(in, text)) {
    ++lineNo;
    // A line of separators only carries no SNP; it is not counted, so the
    // lines after it still meet their own map SNP.
    if (validateLine(text) > 0) appendSnpLine(text, lineNo, fileName, parameter);
  }
  if (in.bad()) {
    veltaFatal("Reference file %s could not be read after line %lld\n", fileName, lineNo);
  }
  checkAgainstMap(fileName, parameter);
  layout_ = kSnpMajor;
  reserveWorkspace(fileName);
}

void Reference::initFromRows(const std::string* rows, std::size_t count, const char* name,
                             const Parameter& parameter) {
  for (std::size_t k = 0; k < count; ++k) {
    appendSnpLine(rows[k], static_cast<long long>(k) + 1, name, parameter);
  }
  checkAgainstMap(name, parameter);
  layout_ = kSnpMajor;
  reserveWorkspace(name);
}

void Reference::appendSnpLine(const std::string& alleles, long long lineNo, const char* fileName,
                              const Parameter& parameter) {
  const unsigned int snp = static_cast<unsigned int>(snpNo_);
  if (snp >= parameter.getNSnp()) {
    veltaFatal(
        "Reference file %s has more SNP lines than the SNP map has SNPs (%u): line %lld is "
        "SNP line %u\n",
        fileName, parameter.getNSnp(), lineNo, snp + 1);
  }
  const int n = static_cast<int>(alleles.size());
  if (hapNo_ == 0) {
    if (n > kMaxHaplotypes) {
      veltaFatal(
          "Reference file %s has %d haplotypes on line %lld; at most %d haplotypes are "
          "supported\n",
          fileName, n, lineNo, kMaxHaplotypes);
    }
    hapNo_ = n;
    wordsPerSnp_ = (static_cast<std::size_t>(n) + 63) / 64;
  } else if (n != hapNo_) {
    veltaErrorExit("Reference file wrong format\n");
  }
  ++snpNo_;
  alleles_.resize(alleles_.size() + wordsPerSnp_, 0);
  std::uint64_t* words = &alleles_[snp * wordsPerSnp_];
  const char minor = parameter.getMinorAllele(snp);
  const char major = parameter.getMajorAllele(snp);
  for (int j = 0; j < n; ++j) {
    const char ch = alleles[j];
    if (ch == minor) {
      words[j >> 6] |= std::uint64_t{1} << (j & 63);
    } else if (ch != major) {
      veltaFatal(
          "Reference file %s constains unexpected character %c for %d-th SNP (%c or %c "
          "expected)\n",
          fileName, ch, static_cast<int>(snp) + 1, minor, major);
    }
  }
}

void Reference::checkAgainstMap(const char* fileName, const Parameter& parameter) const {
  if (hapNo_ == 0) {
    veltaFatal(
        "Reference file %s holds no haplotype: expected one line of alleles for each of the "
        "%u SNPs of the map\n",
        fileName, parameter.getNSnp());
  }
  if (static_cast<unsigned int>(snpNo_) != parameter.getNSnp()) {
    veltaFatal(
        "Reference file %s has %d SNP lines but the SNP map has %u SNPs: expected one line "
        "per map SNP\n",
        fileName, snpNo_, parameter.getNSnp());
  }
}

void Reference::reserveWorkspace(const char* fileName) {
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  stride_ = (hapNo + 7) / 8 * 8;
  segmentLength_ = 1;
  while (segmentLength_ * segmentLength_ < snpNo) ++segmentLength_;
  if (!sizePass(workspace_)) {
    const std::size_t checkpointCount = (snpNo + segmentLength_ - 1) / segmentLength_;
    const std::size_t segmentCount = (segmentLength_ < 2 ? 2 : segmentLength_) + 1;
    const std::size_t doubles =
        (checkpointCount + segmentCount) * stride_ + 3 * snpNo + std::size_t{16} * 4;
    veltaFatal(
        "Reference file %s: the copying model over %d haplotypes x %d SNPs needs %llu bytes "
        "of working memory, which could not be allocated\n",
        fileName, hapNo_, snpNo_, static_cast<unsigned long long>(doubles) * sizeof(double));
  }
}

bool Reference::sizePass(ForwardPass& pass) const {
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  const std::size_t checkpointCount = (snpNo + segmentLength_ - 1) / segmentLength_;
  // One slot more than a segment: with slot 0, which a segment never uses
  // (its first SNP is a checkpoint), the two vectors a kept pass alternates
  // between outside its last segment.
  const std::size_t segmentCount = (segmentLength_ < 2 ? 2 : segmentLength_) + 1;
  try {
    pass.checkpoints_.assign(checkpointCount * stride_, 0.0);
    pass.segment_.assign(segmentCount * stride_, 0.0);
    pass.sums_.assign(snpNo, 0.0);
    pass.stays_.assign(snpNo, 0.0);
    pass.moves_.assign(snpNo, 0.0);
    pass.emissionTable_.assign(std::size_t{16} * 4, 0.0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void Reference::checkModelInput(const Haplotype& haplotype) const {
  if (layout_ != kSnpMajor) layoutFault();
  if (haplotype.getLength() < snpNo_) {
    veltaFatal("Bug found in Reference::forward: a haplotype of %d SNPs for a panel of %d SNPs",
               haplotype.getLength(), snpNo_);
  }
}

double* Reference::vectorAt(ForwardPass& pass, std::size_t i) const {
  const std::size_t offset = i % segmentLength_;
  if (offset == 0) return &pass.checkpoints_[i / segmentLength_ * stride_];
  return &pass.segment_[offset * stride_];
}

void Reference::fillEmissionTable(ForwardPass& pass, const Parameter& parameter) const {
  const double match = std::exp(parameter.getEmitLogRight());
  const double mismatch = std::exp(parameter.getEmitLogError());
  for (unsigned nibble = 0; nibble < 16; ++nibble) {
    for (unsigned t = 0; t < 4; ++t)
      pass.emissionTable_[4 * nibble + t] = (nibble >> t) & 1 ? mismatch : match;
  }
}

double Reference::forwardPass(ForwardPass& pass, const Haplotype& haplotype,
                              const Parameter& parameter, bool keepCheckpoints) const {
  checkModelInput(haplotype);
  if (pass.sums_.size() != static_cast<std::size_t>(snpNo_) && !sizePass(pass)) {
    composeLine("The copying model over %d haplotypes x %d SNPs could not allocate its working "
                "memory\n",
                hapNo_, snpNo_);
    veltaErrorExit(line);
  }
  fillEmissionTable(pass, parameter);
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  const double* table = pass.emissionTable_.data();
  // A kept pass keeps the checkpoints and its last segment whole (the path
  // draw starts there); the other vectors alternate between two slots that
  // stay in the nearest cache.
  const std::size_t lastSegment = (snpNo - 1) / segmentLength_;
  const std::size_t spare = pass.segment_.size() / stride_ - 1;
  auto destination = [&](std::size_t i) {
    if (keepCheckpoints && (i % segmentLength_ == 0 || i / segmentLength_ == lastSegment)) {
      return vectorAt(pass, i);
    }
    return &pass.segment_[(i % 2 == 0 ? 0 : spare) * stride_];
  };

  double* current = destination(0);
  double sum = startForward(current, row(0), alleleMask(haplotype, 0), hapNo, table);
  pass.sums_[0] = sum;
  double logLikelihood = std::log(sum);
  for (std::size_t i = 1; i < snpNo; ++i) {
    const ScaledTransition transition = scaledTransition(parameter, static_cast<unsigned>(i));
    // After a SNP no panel haplotype can produce, the recursion restarts from
    // the move term alone; the likelihood is already log 0.
    const double stay = sum == 0.0 ? 0.0 : transition.stay / sum;
    pass.stays_[i] = stay;
    pass.moves_[i] = transition.move;
    const double* previous = current;
    current = destination(i);
    sum = forwardStep(previous, current, row(static_cast<unsigned>(i)),
                      alleleMask(haplotype, static_cast<unsigned>(i)), hapNo, stay, transition.move,
                      table);
    pass.sums_[i] = sum;
    logLikelihood += transition.logScale + std::log(sum);
  }
  // log 0 is reported as the most negative finite value, the value of an
  // empty log-sum.
  return logLikelihood < kLogFloor ? kLogFloor : logLikelihood;
}

void Reference::recomputeSegment(ForwardPass& pass, std::size_t c,
                                 const Haplotype& haplotype) const {
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t first = c * segmentLength_;
  const std::size_t end = std::min(first + segmentLength_, static_cast<std::size_t>(snpNo_));
  for (std::size_t i = first + 1; i < end; ++i) {
    forwardStep(vectorAt(pass, i - 1), vectorAt(pass, i), row(static_cast<unsigned>(i)),
                alleleMask(haplotype, static_cast<unsigned>(i)), hapNo, pass.stays_[i],
                pass.moves_[i], pass.emissionTable_.data());
  }
}

std::uint64_t Reference::drawStates(RefPath& path, ForwardPass& pass,
                                    const Haplotype& haplotype) const {
  std::uint64_t numbers = 0;
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  const std::size_t lastSegment = (snpNo - 1) / segmentLength_;

  // Last SNP: the normalised forward vector.
  const double lastSum = pass.sums_[snpNo - 1];
  const double lastScale = lastSum == 0.0 ? 0.0 : 1.0 / lastSum;
  path(static_cast<unsigned>(snpNo - 1)) = static_cast<unsigned short>(
      drawState(vectorAt(pass, snpNo - 1), hapNo, lastScale, hapNo, 0.0, numbers));

  // Given state j at SNP t + 1, state k at SNP t has weight B_t(k) times the
  // move term, and j also the stay term: w(k) = B_t(k) move / (s_t Z) and
  // w(j) = B_t(j) (move + stay s_t) / (s_t Z), with Z = stay B_t(j) + move,
  // the very term the forward step formed for j (stay and move of SNP t + 1).
  for (std::size_t t = snpNo - 1; t-- > 0;) {
    const std::size_t segment = t / segmentLength_;
    if (segment != lastSegment && t % segmentLength_ == segmentLength_ - 1) {
      recomputeSegment(pass, segment, haplotype);
    }
    const double* vector = vectorAt(pass, t);
    const std::size_t j = path.at(static_cast<unsigned>(t + 1));
    const double stay = pass.stays_[t + 1];
    const double move = pass.moves_[t + 1];
    const double sum = pass.sums_[t];
    const double z = stay * vector[j] + move;
    double scale = 0.0;
    double weightJ = 0.0;
    if (sum != 0.0) {
      scale = move / sum / z;
      weightJ = stay * vector[j] / z + vector[j] * scale;
    }
    path(static_cast<unsigned>(t)) =
        static_cast<unsigned short>(drawState(vector, hapNo, scale, j, weightJ, numbers));
  }
  return numbers;
}

void Reference::samplePath(RefPath& path, const Haplotype& haplotype,
                           const Parameter& parameter) const {
  const std::clock_t start = std::clock();
  forwardPass(workspace_, haplotype, parameter, true);
  drawStates(path, workspace_, haplotype);
  time_ += std::clock() - start;
  ++count_;
}

double Reference::forward(ForwardPass& pass, const Haplotype& haplotype,
                          const Parameter& parameter) const {
  return forwardPass(pass, haplotype, parameter, true);
}

std::uint64_t Reference::drawPath(RefPath& path, ForwardPass& pass,
                                  const Haplotype& haplotype) const {
  const std::clock_t start = std::clock();
  const std::uint64_t numbers = drawStates(path, pass, haplotype);
  time_ += std::clock() - start;
  ++count_;
  return numbers;
}

bool Reference::drawable(const ForwardPass& pass) const {
  if (pass.sums_.size() != static_cast<std::size_t>(snpNo_)) return false;
  for (double sum : pass.sums_) {
    if (!(sum > 0.0 && sum < std::numeric_limits<double>::infinity())) return false;
  }
  return true;
}

double Reference::forwardProb(const Haplotype& haplotype, const Parameter& parameter) const {
  return forwardPass(workspace_, haplotype, parameter, false);
}
