#include "Reference.h"

#include <algorithm>
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

// Haplotype allele at SNP i as a mask: all ones for minor, so that panel
// words XOR the mask have a 1 where the panel allele differs.
std::uint64_t alleleMask(const Haplotype& haplotype, unsigned i) {
  return haplotype[i] ? ~std::uint64_t{0} : 0;
}

// Byte g % 8 of word g / 8 of a panel row XOR the allele mask: bit t tells
// whether haplotype 8g + t differs from the haplotype's allele.
unsigned differByte(const std::uint64_t* panel, std::uint64_t mask, std::size_t g) {
  return static_cast<unsigned>((panel[g / 8] ^ mask) >> (8 * (g % 8))) & 0xFFU;
}

// SNP 0 of the forward pass: every panel haplotype starts with weight 1
// times its emission factor. Returns the sum.
double startForward(double* current, const std::uint64_t* panel, std::uint64_t mask,
                    std::size_t hapNo, const double* table) {
  double sum = 0.0;
  for (std::size_t k = 0; k < hapNo; ++k) {
    current[k] = table[std::size_t{8} * differByte(panel, mask, k / 8) + k % 8];
    sum += current[k];
  }
  return sum;
}

// One forward step over all panel haplotypes:
//   current[k] = (stay x previous[k] + move) x e(k)
// with e(k) looked up eight haplotypes at a time by one byte of panel bits;
// eight running sums keep the loop free of a serial dependency. Returns the
// sum of current.
double forwardStep(const double* __restrict previous, double* __restrict current,
                   const std::uint64_t* __restrict panel, std::uint64_t mask, std::size_t hapNo,
                   double stay, double move, const double* __restrict table) {
  double sums[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const std::size_t groups = hapNo / 8;
  for (std::size_t g = 0; g < groups; ++g) {
    const double* e = table + std::size_t{8} * differByte(panel, mask, g);
    const double* p = previous + 8 * g;
    double* c = current + 8 * g;
    for (std::size_t t = 0; t < 8; ++t) {
      c[t] = (stay * p[t] + move) * e[t];
      sums[t] += c[t];
    }
  }
  const std::size_t rest = hapNo - 8 * groups;
  if (rest > 0) {
    const double* e = table + std::size_t{8} * differByte(panel, mask, groups);
    const double* p = previous + 8 * groups;
    double* c = current + 8 * groups;
    for (std::size_t t = 0; t < rest; ++t) {
      c[t] = (stay * p[t] + move) * e[t];
      sums[t] += c[t];
    }
  }
  return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
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
  composeLine(
      "Discrete draw over %d categories cannot succeed: the weights sum to %g "
      "(expected a positive sum near 1)\n",
      static_cast<int>(categories), total);
  veltaErrorExit(line);
}

// Discrete draw over the weights weight(k) = vector[k] x scale, except that
// haplotype j (none when j >= hapNo) weighs weightJ: one uniform number r per
// attempt, the first haplotype whose cumulative weight reaches r, a fresh
// number when the total falls short, and the end of the run when the total
// is not positive (the rules of mnrnd). Blocks of eight are skipped on their
// sum and searched one by one only where the draw lands.
std::size_t drawState(const double* vector, std::size_t hapNo, double scale, std::size_t j,
                      double weightJ) {
  auto weight = [&](std::size_t k) { return k == j ? weightJ : vector[k] * scale; };
  for (;;) {
    const double r = veltaRand() / 2147483647.0;
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

// The two best candidates of a row, a column or the pairs outside a row and
// a column: values above kLogFloor (a value that is not a number never
// enters), the higher first and, of equal values, the smaller flat index.
// Index -1 marks an empty place.
struct TopTwo {
  double value[2] = {kLogFloor, kLogFloor};
  int index[2] = {-1, -1};
};

bool ranksAbove(double value, int index, double otherValue, int otherIndex) {
  // Mostly false on the first test, so the tie test rarely runs.
  return value >= otherValue && (value > otherValue || index < otherIndex);
}

// Puts the candidate first (the first moves down) or second.
void place(TopTwo& top, double value, int index, bool first) {
  if (first) {
    top.value[1] = top.value[0];
    top.index[1] = top.index[0];
  }
  top.value[first ? 0 : 1] = value;
  top.index[first ? 0 : 1] = index;
}

void offer(TopTwo& top, double value, int index) {
  if (!ranksAbove(value, index, top.value[1], top.index[1])) return;
  place(top, value, index, ranksAbove(value, index, top.value[0], top.index[0]));
}

// The same for candidates offered in increasing flat index order, where an
// equal value never displaces an earlier one.
void offerInOrder(TopTwo& top, double value, int index) {
  if (!(value > top.value[1])) return;
  place(top, value, index, value > top.value[0]);
}

// Working arrays of one search, sized once per call for S x S pairs.
struct PairWorkspace {
  explicit PairWorkspace(int S)
      : fromOne(static_cast<std::size_t>(S) * S),
        rowBest(S),
        columnBest(S),
        columnBestNeither(S),
        columnBestRow(S),
        columnBestNeitherRow(S) {}
  std::vector<double> fromOne;            // ((d + d) + P[x, y]) + (m - d): one member stays
  std::vector<TopTwo> rowBest;            // per row x, over fromOne
  std::vector<TopTwo> columnBest;         // per column y, over fromOne
  std::vector<TopTwo> columnBestNeither;  // per column y, over (d + d) + P[x, y]
  std::vector<int> columnBestRow;         // per column y, the row of columnBest's first
  std::vector<int> columnBestNeitherRow;  // per column y, the row of columnBestNeither's first
};

// One transition step of the search: for every pair (a, b), its best score
// over the predecessor pairs of `previous` with the moves of both members
// (log stay m, log move d), and that predecessor's flat index. A predecessor
// (x, y) scores ((d + d) + P[x, y]) plus (m - d) if x = a and again if
// y = b; the best one is the best of four groups: (a, b) itself, row a
// without column b, column b without row a, and the pairs in neither, each
// found from per-row and per-column best two. Ties go to the smallest flat
// index; where no candidate exceeds kLogFloor the pair scores kLogFloor with
// back-pointer 0.
void stepPairs(const double* previous, double* current, std::uint16_t* back, PairWorkspace& work,
               double d, double m, int S) {
  const int pairs = S * S;
  if (d == -std::numeric_limits<double>::infinity()) {
    // Moving is impossible here, so every pair can only stay where it is.
    for (int k = 0; k < pairs; ++k) {
      current[k] = previous[k] + (m + m);
      back[k] = static_cast<std::uint16_t>(k);
    }
    return;
  }
  const double stayBonus = m - d;
  for (int y = 0; y < S; ++y) work.columnBest[y] = work.columnBestNeither[y] = TopTwo();
  for (int x = 0; x < S; ++x) {
    TopTwo row;
    for (int y = 0; y < S; ++y) {
      const int k = x * S + y;
      const double fromNeither = (d + d) + previous[k];
      const double fromOne = fromNeither + stayBonus;
      work.fromOne[k] = fromOne;
      offerInOrder(row, fromOne, k);
      offerInOrder(work.columnBest[y], fromOne, k);
      offerInOrder(work.columnBestNeither[y], fromNeither, k);
    }
    work.rowBest[x] = row;
  }
  // Rows of the column leaders, found once instead of by a division per target.
  for (int y = 0; y < S; ++y) {
    const int first = work.columnBest[y].index[0];
    work.columnBestRow[y] = first < 0 ? -1 : first / S;
    const int firstNeither = work.columnBestNeither[y].index[0];
    work.columnBestNeitherRow[y] = firstNeither < 0 ? -1 : firstNeither / S;
  }

  for (int a = 0; a < S; ++a) {
    // Best two over the pairs outside row a, at most one per column.
    TopTwo outside;
    for (int y = 0; y < S; ++y) {
      const TopTwo& column = work.columnBestNeither[y];
      const int place = work.columnBestNeitherRow[y] == a ? 1 : 0;
      offer(outside, column.value[place], column.index[place]);
    }
    const int outsideColumn = outside.index[0] < 0 ? -1 : outside.index[0] % S;
    const TopTwo& row = work.rowBest[a];
    const int rowColumn = row.index[0] < 0 ? -1 : row.index[0] - a * S;
    // Row a and the outside group lead with the same pair at every column
    // but the two their leaders sit in.
    double leaderValue = kLogFloor;
    int leaderIndex = -1;
    auto lead = [&](double value, int index) {
      if (ranksAbove(value, index, leaderValue, leaderIndex)) {
        leaderValue = value;
        leaderIndex = index;
      }
    };
    lead(row.value[0], row.index[0]);
    lead(outside.value[0], outside.index[0]);
    for (int b = 0; b < S; ++b) {
      const int target = a * S + b;
      // Staying put first: a value at or below kLogFloor (or not a number)
      // leaves the place empty.
      const double stay = work.fromOne[target] + stayBonus;
      double best = stay > kLogFloor ? stay : kLogFloor;
      int arg = stay > kLogFloor ? target : -1;
      auto consider = [&](double value, int index) {
        if (ranksAbove(value, index, best, arg)) {
          best = value;
          arg = index;
        }
      };
      const TopTwo& column = work.columnBest[b];
      const int columnPlace = work.columnBestRow[b] == a ? 1 : 0;
      consider(column.value[columnPlace], column.index[columnPlace]);
      if (b != rowColumn && b != outsideColumn) {
        consider(leaderValue, leaderIndex);
      } else {
        const int rowPlace = b == rowColumn ? 1 : 0;
        consider(row.value[rowPlace], row.index[rowPlace]);
        const int outsidePlace = b == outsideColumn ? 1 : 0;
        consider(outside.value[outsidePlace], outside.index[outsidePlace]);
      }
      current[target] = best;
      back[target] = static_cast<std::uint16_t>(arg < 0 ? 0 : arg);
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
  stride_ = (hapNo + 7) / 8 * 8;
  segmentLength_ = 1;
  while (segmentLength_ * segmentLength_ < snpNo) ++segmentLength_;
  const std::size_t checkpointCount = (snpNo + segmentLength_ - 1) / segmentLength_;
  const std::size_t segmentCount = segmentLength_ < 2 ? 2 : segmentLength_;
  try {
    checkpoints_.assign(checkpointCount * stride_, 0.0);
    segment_.assign(segmentCount * stride_, 0.0);
    sums_.assign(snpNo, 0.0);
    stays_.assign(snpNo, 0.0);
    moves_.assign(snpNo, 0.0);
    emissionTable_.assign(std::size_t{256} * 8, 0.0);
  } catch (const std::bad_alloc&) {
    const std::size_t doubles =
        (checkpointCount + segmentCount) * stride_ + 3 * snpNo + std::size_t{256} * 8;
    composeLine(
        "Reference file %s: the copying model over %d haplotypes x %d SNPs needs %llu bytes "
        "of working memory, which could not be allocated\n",
        fileName, hapNo_, snpNo_, static_cast<unsigned long long>(doubles) * sizeof(double));
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

double* Reference::vectorAt(std::size_t i) const {
  const std::size_t offset = i % segmentLength_;
  if (offset == 0) return &checkpoints_[i / segmentLength_ * stride_];
  return &segment_[offset * stride_];
}

void Reference::fillEmissionTable(const Parameter& parameter) const {
  const double match = std::exp(parameter.getEmitLogRight());
  const double mismatch = std::exp(parameter.getEmitLogError());
  for (unsigned byte = 0; byte < 256; ++byte) {
    for (unsigned t = 0; t < 8; ++t)
      emissionTable_[8 * byte + t] = (byte >> t) & 1 ? mismatch : match;
  }
}

double Reference::forwardPass(const Haplotype& haplotype, const Parameter& parameter,
                              bool keepCheckpoints) const {
  checkModelInput(haplotype);
  fillEmissionTable(parameter);
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  const double* table = emissionTable_.data();
  auto destination = [&](std::size_t i) {
    return keepCheckpoints ? vectorAt(i) : &segment_[(i % 2) * stride_];
  };

  double* current = destination(0);
  double sum = startForward(current, row(0), alleleMask(haplotype, 0), hapNo, table);
  sums_[0] = sum;
  double logLikelihood = std::log(sum);
  for (std::size_t i = 1; i < snpNo; ++i) {
    const ScaledTransition transition = scaledTransition(parameter, static_cast<unsigned>(i));
    // After a SNP no panel haplotype can produce, the recursion restarts from
    // the move term alone; the likelihood is already log 0.
    const double stay = sum == 0.0 ? 0.0 : transition.stay / sum;
    stays_[i] = stay;
    moves_[i] = transition.move;
    const double* previous = current;
    current = destination(i);
    sum = forwardStep(previous, current, row(static_cast<unsigned>(i)),
                      alleleMask(haplotype, static_cast<unsigned>(i)), hapNo, stay, transition.move,
                      table);
    sums_[i] = sum;
    logLikelihood += transition.logScale + std::log(sum);
  }
  // log 0 is reported as the most negative finite value, the value of an
  // empty log-sum.
  return logLikelihood < kLogFloor ? kLogFloor : logLikelihood;
}

void Reference::recomputeSegment(std::size_t c, const Haplotype& haplotype) const {
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t first = c * segmentLength_;
  const std::size_t end = std::min(first + segmentLength_, static_cast<std::size_t>(snpNo_));
  for (std::size_t i = first + 1; i < end; ++i) {
    forwardStep(vectorAt(i - 1), vectorAt(i), row(static_cast<unsigned>(i)),
                alleleMask(haplotype, static_cast<unsigned>(i)), hapNo, stays_[i], moves_[i],
                emissionTable_.data());
  }
}

void Reference::drawPath(RefPath& path, const Haplotype& haplotype) const {
  const std::size_t hapNo = static_cast<std::size_t>(hapNo_);
  const std::size_t snpNo = static_cast<std::size_t>(snpNo_);
  const std::size_t lastSegment = (snpNo - 1) / segmentLength_;

  // Last SNP: the normalised forward vector.
  const double lastSum = sums_[snpNo - 1];
  const double lastScale = lastSum == 0.0 ? 0.0 : 1.0 / lastSum;
  path(static_cast<unsigned>(snpNo - 1)) =
      static_cast<unsigned short>(drawState(vectorAt(snpNo - 1), hapNo, lastScale, hapNo, 0.0));

  // Given state j at SNP t + 1, state k at SNP t has weight B_t(k) times the
  // move term, and j also the stay term: w(k) = B_t(k) move / (s_t Z) and
  // w(j) = B_t(j) (move + stay s_t) / (s_t Z), with Z = stay B_t(j) + move,
  // the very term the forward step formed for j (stay and move of SNP t + 1).
  for (std::size_t t = snpNo - 1; t-- > 0;) {
    const std::size_t segment = t / segmentLength_;
    if (segment != lastSegment && t % segmentLength_ == segmentLength_ - 1) {
      recomputeSegment(segment, haplotype);
    }
    const double* vector = vectorAt(t);
    const std::size_t j = path.at(static_cast<unsigned>(t + 1));
    const double stay = stays_[t + 1];
    const double move = moves_[t + 1];
    const double sum = sums_[t];
    const double z = stay * vector[j] + move;
    double scale = 0.0;
    double weightJ = 0.0;
    if (sum != 0.0) {
      scale = move / sum / z;
      weightJ = stay * vector[j] / z + vector[j] * scale;
    }
    path(static_cast<unsigned>(t)) =
        static_cast<unsigned short>(drawState(vector, hapNo, scale, j, weightJ));
  }
}

void Reference::samplePath(RefPath& path, const Haplotype& haplotype,
                           const Parameter& parameter) const {
  const std::clock_t start = std::clock();
  forwardPass(haplotype, parameter, true);
  drawPath(path, haplotype);
  time_ += std::clock() - start;
  ++count_;
}

double Reference::forwardProb(const Haplotype& haplotype, const Parameter& parameter) const {
  return forwardPass(haplotype, parameter, false);
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
  // Score of a pair by its first member's allele, then by the second's.
  const double byAlleles[2][2] = {{bothMajor, differ}, {differ, bothMinor}};
  // The second members' alleles are looked up once per block of columns.
  constexpr std::size_t kBlock = 256;
  bool beta[kBlock];
  for (std::size_t first = 0; first < size; first += kBlock) {
    const std::size_t count = size - first < kBlock ? size - first : kBlock;
    for (std::size_t b = 0; b < count; ++b) {
      beta[b] = getAllele(static_cast<unsigned short>(sample[first + b]), snp);
    }
    for (std::size_t a = 0; a < size; ++a) {
      const double* scoreOf = byAlleles[getAllele(static_cast<unsigned short>(sample[a]), snp)];
      double* scoreRow = layer + a * size + first;
      for (std::size_t b = 0; b < count; ++b) scoreRow[b] += scoreOf[beta[b]];
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
  PairWorkspace work(S);
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
              &backPointers[s * pairs], work, own.getTranLogDiff(s), own.getTranLogSame(s), S);
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
