// The warm start's best pair of copying paths: the pooled read alleles of each
// SNP scored against every ordered pair of a random sample of panel
// haplotypes, then a Viterbi search over the pairs with both members' moves.
#include <cstdio>
#include <limits>
#include <new>

#include "Parameter.h"
#include "Reference.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace {

// ln 1/2: under a pair of differing panel alleles each read allele is equally
// likely to come from either member.
constexpr double kLogHalf = -0.6931471805599453;

void checkSampleSize(int sampleSize) {
  if (sampleSize < 1 || sampleSize > Reference::kMaxSampleSize) {
    veltaFatal(
        "Sample size %d is outside the allowed range 1 to %d for the best path search (-s)\n",
        sampleSize, Reference::kMaxSampleSize);
  }
}

// snpNo x S x S zeros; a table that cannot be allocated ends the run with the
// size it needed.
std::vector<std::uint16_t> allocateBackPointers(std::size_t snpNo, int S) {
  const std::size_t entries = snpNo * static_cast<std::size_t>(S) * static_cast<std::size_t>(S);
  try {
    return std::vector<std::uint16_t>(entries, 0);
  } catch (const std::bad_alloc&) {
    veltaFatal(
        "Best path search needs %llu bytes for its back-pointer table (%zu SNPs x %d x %d "
        "sample pairs), which could not be allocated; a smaller sample size (-s) needs less\n",
        static_cast<unsigned long long>(entries) * sizeof(std::uint16_t), snpNo, S, S);
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
    veltaFatal(
        "Bug found in Reference::maxPath: %zu allele counts and paths of %u and %u SNPs for a "
        "panel of %d SNPs",
        counts.size(), first.size(), second.size(), snpNo_);
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
