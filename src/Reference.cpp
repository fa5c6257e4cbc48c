#include "Reference.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <istream>
#include <limits>
#include <new>

#include "Haplotype.h"
#include "Parameter.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

std::int64_t Reference::time_ = 0;
std::uint64_t Reference::count_ = 0;

namespace {

bool isSeparator(char c) {
  return c == '-' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Haplotypes of word w of a row: 64, or fewer in the last word.
std::size_t haplotypesInWord(std::size_t w, std::size_t hapNo) {
  const std::size_t first = w * 64;
  return hapNo - first < 64 ? hapNo - first : 64;
}

// ln 1/2: under a pair of differing panel alleles each read allele is equally
// likely to come from either member.
constexpr double kLogHalf = -0.6931471805599453;

void checkSampleSize(int sampleSize) {
  if (sampleSize < 1 || sampleSize > Reference::kMaxSampleSize) {
    composeLine(
        "Sample size %d is outside the allowed range 1 to %d for the best path search (-s)\n",
        sampleSize, Reference::kMaxSampleSize);
    veltaErrorExit(line);
  }
}

// snpNo x S x S zeros; a table that cannot be allocated ends the run with the
// size it needed.
std::vector<std::uint16_t> allocateBackPointers(std::size_t snpNo, int S) {
  const std::size_t entries = snpNo * static_cast<std::size_t>(S) * static_cast<std::size_t>(S);
  try {
    return std::vector<std::uint16_t>(entries, 0);
  } catch (const std::bad_alloc&) {
    composeLine(
        "Best path search needs %llu bytes for its back-pointer table (%zu SNPs x %d x %d "
        "sample pairs), which could not be allocated; a smaller sample size (-s) needs less\n",
        static_cast<unsigned long long>(entries) * sizeof(std::uint16_t), snpNo, S, S);
    veltaErrorExit(line);
  }
}

// One transition step of the search: for every pair (a, b), its best score
// over the predecessor pairs of `previous` with the moves of both members
// (log stay m, log move d), and that predecessor's flat index.
void stepPairs(const double* previous, double* current, std::uint16_t* back,
               std::vector<double>& candidates, double d, double m, int S) {
  const std::size_t size = static_cast<std::size_t>(S);
  const std::size_t pairs = size * size;
  if (d == -std::numeric_limits<double>::infinity()) {
    // Moving is impossible here, so every pair can only stay where it is.
    for (std::size_t k = 0; k < pairs; ++k) {
      current[k] = previous[k] + (m + m);
      back[k] = static_cast<std::uint16_t>(k);
    }
    return;
  }
  for (std::size_t k = 0; k < pairs; ++k) candidates[k] = (d + d) + previous[k];
  // Target (a, b): add the stay bonus m - d to row a and column b, take the
  // best predecessor, then take the bonus away again.
  for (int a = 0; a < S; ++a) {
    for (int b = 0; b < S; ++b) {
      const std::size_t k = static_cast<std::size_t>(a) * size + b;
      plusTransition(candidates, m - d, a, b, S);
      double best = 0;
      back[k] = static_cast<std::uint16_t>(findMax(candidates, 0, S, &best));
      current[k] = best;
      plusTransition(candidates, d - m, a, b, S);
    }
  }
}

}  // namespace

RefPath::RefPath(const Reference& reference)
    : ref_(&reference), path_(static_cast<std::size_t>(reference.getSnpNo()), 0) {}

void RefPath::print() const {
  std::printf("Path\t");
  const unsigned int snpNo = static_cast<unsigned int>(ref_->getSnpNo());
  for (unsigned int i = 0; i < snpNo; ++i) std::printf("%d_%d\t", path_[i], (*this)[i] ? 1 : 0);
  std::printf("\n");
}

Reference::Reference() : hapNo_(0), snpNo_(0), layout_(kHaplotypeMajor), wordsPerSnp_(0) {}

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
    composeLine("Reference file %s cannot be opened\n", fileName);
    veltaErrorExit(line);
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
    composeLine("Reference file %s could not be read after line %lld\n", fileName, lineNo);
    veltaErrorExit(line);
  }
  checkAgainstMap(fileName, parameter);
  layout_ = kSnpMajor;
  reserveWorkspace(fileName);
}

void Reference::appendSnpLine(const std::string& alleles, long long lineNo, const char* fileName,
                              const Parameter& parameter) {
  const unsigned int snp = static_cast<unsigned int>(snpNo_);
  if (snp >= parameter.getNSnp()) {
    composeLine(
        "Reference file %s has more SNP lines than the SNP map has SNPs (%u): line %lld is "
        "SNP line %u\n",
        fileName, parameter.getNSnp(), lineNo, snp + 1);
    veltaErrorExit(line);
  }
  const int n = static_cast<int>(alleles.size());
  if (hapNo_ == 0) {
    if (n > kMaxHaplotypes) {
      composeLine(
          "Reference file %s has %d haplotypes on line %lld; at most %d haplotypes are "
          "supported\n",
          fileName, n, lineNo, kMaxHaplotypes);
      veltaErrorExit(line);
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
      composeLine(
          "Reference file %s constains unexpected character %c for %d-th SNP (%c or %c "
          "expected)\n",
          fileName, ch, static_cast<int>(snp) + 1, minor, major);
      veltaErrorExit(line);
    }
  }
}

void Reference::checkAgainstMap(const char* fileName, const Parameter& parameter) const {
  if (hapNo_ == 0) {
    composeLine(
        "Reference file %s holds no haplotype: expected one line of alleles for each of the "
        "%u SNPs of the map\n",
        fileName, parameter.getNSnp());
    veltaErrorExit(line);
  }
  if (static_cast<unsigned int>(snpNo_) != parameter.getNSnp()) {
    composeLine(
        "Reference file %s has %d SNP lines but the SNP map has %u SNPs: expected one line "
        "per map SNP\n",
        fileName, snpNo_, parameter.getNSnp());
    veltaErrorExit(line);
  }
}

void Reference::reserveWorkspace(const char* fileName) {
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  try {
    forward_.resize(hapNo * snpNo);
    totals_.resize(snpNo);
    weights_.resize(hapNo);
  } catch (const std::bad_alloc&) {
    composeLine(
        "Reference file %s: the copying model over %d haplotypes x %d SNPs needs %llu bytes "
        "of working memory, which could not be allocated\n",
        fileName, hapNo_, snpNo_,
        static_cast<unsigned long long>(hapNo * snpNo + snpNo + hapNo) * sizeof(double));
    veltaErrorExit(line);
  }
}

void Reference::checkModelInput(const Haplotype& haplotype) const {
  if (layout_ != kSnpMajor) layoutFault();
  if (haplotype.getLength() < snpNo_) {
    composeLine("Bug found in Reference::forward: a haplotype of %d SNPs for a panel of %d SNPs",
                haplotype.getLength(), snpNo_);
    veltaErrorExit(line);
  }
}

void Reference::forward(std::vector<double>& F, std::vector<double>& T, const Haplotype& haplotype,
                        const Parameter& parameter) const {
  checkModelInput(haplotype);
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  if (F.size() != hapNo * snpNo) F.resize(hapNo * snpNo);
  if (T.size() != snpNo) T.resize(snpNo);
  // Indexed by whether the panel allele differs from the haplotype's.
  const double emission[2] = {parameter.getEmitLogRight(), parameter.getEmitLogError()};

  // SNP 0: every panel haplotype starts with weight 1, times its emission.
  double total = kLogFloor;
  const std::uint64_t flip0 = haplotype[0] ? ~std::uint64_t{0} : 0;
  for (std::size_t w = 0; w < wordsPerSnp_; ++w) {
    const std::uint64_t differs = row(0)[w] ^ flip0;
    const std::size_t count = haplotypesInWord(w, hapNo);
    double* f = &F[w * 64];
    for (std::size_t b = 0; b < count; ++b) {
      f[b] = emission[(differs >> b) & 1];
      total = logsum(total, f[b]);
    }
  }
  T[0] = total;

  // Later SNPs: staying adds plus(i) to the own predecessor, and every
  // haplotype shares the move mass diff(i) + T[i - 1], so the step is O(H).
  for (std::size_t i = 1; i < snpNo; ++i) {
    const double shared = parameter.getTranLogDiff(i) + T[i - 1];
    const double plus = parameter.getTranLogPlus(i);
    const std::uint64_t flip = haplotype[i] ? ~std::uint64_t{0} : 0;
    const std::uint64_t* panel = row(i);
    const double* previous = &F[(i - 1) * hapNo];
    double* current = &F[i * hapNo];
    total = kLogFloor;
    for (std::size_t w = 0; w < wordsPerSnp_; ++w) {
      const std::uint64_t differs = panel[w] ^ flip;
      const std::size_t count = haplotypesInWord(w, hapNo);
      const std::size_t base = w * 64;
      for (std::size_t b = 0; b < count; ++b) {
        const double value =
            logsum(plus + previous[base + b], shared) + emission[(differs >> b) & 1];
        current[base + b] = value;
        total = logsum(total, value);
      }
    }
    T[i] = total;
  }
}

void Reference::backwardSampling(RefPath& path, const std::vector<double>& F,
                                 const std::vector<double>& T, const Parameter& parameter) const {
  if (layout_ != kSnpMajor) layoutFault();
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  std::vector<double>& w = weights_;

  const double* last = &F[(snpNo - 1) * hapNo];
  for (std::size_t k = 0; k < hapNo; ++k) w[k] = std::exp(last[k] - T[snpNo - 1]);
  path(snpNo - 1) = static_cast<unsigned short>(mnrnd(w) - 1);

  // Given state j at SNP t + 1, state k at SNP t has weight f_t(k) times the
  // move or stay probability into j; Z normalises through the total T[t].
  for (std::size_t n = snpNo - 1; n > 0; --n) {
    const std::size_t t = n - 1;
    const unsigned short j = path.at(n);
    const double diff = parameter.getTranLogDiff(n);
    const double* f = &F[t * hapNo];
    const double z = logsum(T[t] + diff, f[j] + parameter.getTranLogPlus(n));
    for (std::size_t k = 0; k < hapNo; ++k) w[k] = std::exp((f[k] + diff) - z);
    w[j] = std::exp((f[j] + parameter.getTranLogSame(n)) - z);
    path(t) = static_cast<unsigned short>(mnrnd(w) - 1);
  }
}

void Reference::samplePath(RefPath& path, const Haplotype& haplotype,
                           const Parameter& parameter) const {
  const std::clock_t start = std::clock();
  forward(forward_, totals_, haplotype, parameter);
  backwardSampling(path, forward_, totals_, parameter);
  time_ += std::clock() - start;
  ++count_;
}

double Reference::forwardProb(const Haplotype& haplotype, const Parameter& parameter) const {
  forward(forward_, totals_, haplotype, parameter);
  return totals_[snpNo_ - 1];
}

void Reference::plusEmission(std::vector<double>& scores, int s,
                             const std::pair<unsigned short, unsigned short>& counts,
                             const std::vector<int>& sample, const Parameter& parameter) const {
  const int S = parameter.getSampleSize();
  const int n0 = counts.first;
  const int n1 = counts.second;
  const int n = n0 + n1;
  // The binomial term is the same for every pair of the SNP; its logarithm
  // is taken directly because n! overflows a double above 170 reads.
  const double logBinomial = logChoose(n, n0);
  const double logRight = parameter.getEmitLogRight();
  const double logError = parameter.getEmitLogError();
  const double bothMajor = logError * n1 + (logRight * n0 + logBinomial);
  const double bothMinor = logRight * n1 + (logError * n0 + logBinomial);
  const double differ = n * kLogHalf + logBinomial;
  if (S <= 0) return;

  const std::size_t size = static_cast<std::size_t>(S);
  double* layer = &scores[static_cast<std::size_t>(s % 2) * size * size];
  const unsigned int snp = static_cast<unsigned int>(s);
  for (std::size_t a = 0; a < size; ++a) {
    const bool alpha = getAllele(static_cast<unsigned short>(sample[a]), snp);
    double* scoreRow = layer + a * size;
    for (std::size_t b = 0; b < size; ++b) {
      const bool beta = getAllele(static_cast<unsigned short>(sample[b]), snp);
      scoreRow[b] += alpha != beta ? differ : (alpha ? bothMinor : bothMajor);
    }
  }
}

void Reference::maxPath(RefPath& first, RefPath& second, const AlleleCounts& counts,
                        const Parameter& parameter) const {
  Parameter own(parameter);
  checkSampleSize(own.getSampleSize());
  own.renewTran(static_cast<unsigned int>(own.getSampleSize()));
  const int S = own.getSampleSize();
  const std::size_t size = static_cast<std::size_t>(S);
  const std::size_t pairs = size * size;
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  if (snpNo == 0 || counts.size() < snpNo || first.size() != snpNo || second.size() != snpNo) {
    composeLine(
        "Bug found in Reference::maxPath: %zu allele counts and paths of %u and %u SNPs for a "
        "panel of %d SNPs",
        counts.size(), first.size(), second.size(), snpNo_);
    veltaErrorExit(line);
  }

  std::vector<double> pairScores(2 * pairs, 0.0);  // two layers of S x S, by SNP parity
  std::vector<double> candidates(pairs, 0.0);      // predecessor pair (x, y) at x * S + y
  std::vector<std::uint16_t> backPointers = allocateBackPointers(snpNo, S);  // flat predecessors
  std::vector<int> hapSample;
  nSamplek(hapSample, hapNo_, S);
  plusEmission(pairScores, 0, counts[0], hapSample, own);
  for (std::size_t s = 1; s < snpNo; ++s) {
    if (s % 1000 == 0) {
      std::putchar('.');
      std::fflush(stdout);
    }
    stepPairs(&pairScores[((s - 1) % 2) * pairs], &pairScores[(s % 2) * pairs],
              &backPointers[s * pairs], candidates, own.getTranLogDiff(s), own.getTranLogSame(s),
              S);
    plusEmission(pairScores, static_cast<int>(s), counts[s], hapSample, own);
  }
  std::putchar('\n');

  double best = 0;
  std::size_t k =
      static_cast<std::size_t>(findMax(pairScores, static_cast<int>((snpNo - 1) % 2), S, &best));
  for (std::size_t s = snpNo - 1;; --s) {
    first(s) = static_cast<unsigned short>(hapSample[k / size]);
    second(s) = static_cast<unsigned short>(hapSample[k % size]);
    if (s == 0) break;
    k = backPointers[s * pairs + k];
  }
}
