// Greedy polish of a phase against the reads by whole switches of phase and
// single-SNP complements, which the samplers' single-allele draws cannot make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class Haplotype;
class Read;

// Every read's allele calls, sorted by SNP within the read. SNPs are numbered
// in whatever space the caller chose (all SNPs, or only the heterozygous ones).
struct ReadCalls {
  std::vector<std::uint32_t> snp;       // one per call
  std::vector<unsigned char> minor;     // beside snp: 1 for the minor allele
  std::vector<std::size_t> start{0};    // read r's calls: start[r] .. start[r + 1]

  std::size_t readCount() const { return start.size() - 1; }
  // Appends one read's calls; sorts them by SNP.
  void addRead(std::vector<std::pair<std::uint32_t, bool>>& calls);
};

// Every read's calls, in file order.
ReadCalls collectCalls(const std::vector<Read>& reads);

// Greedy descent of the mismatch, each read taken in its better orientation
// (on the phase or on its complement), by two moves: complementing one SNP,
// and complementing every SNP from a cut on (a switch of phase). Draws no
// random numbers. A move changes the mismatch terms of the reads it touches
// only: those with a call at the SNP, or with calls on both sides of the cut
// (complementing all of a read's SNPs leaves its terms as they are).
class PhasePolisher {
 public:
  // `alleles`: the starting phase, one entry (0 or 1) per SNP; every call's
  // SNP must be below its size.
  PhasePolisher(std::vector<unsigned char> alleles, ReadCalls calls);
  // Applies the move that lowers the mismatch most (the first of equals);
  // false when none lowers it.
  bool applyBestMove();
  // Applies best moves while any lowers the mismatch.
  void polish() {
    while (applyBestMove()) {
    }
  }
  bool allele(unsigned int j) const;
  // Calls of read r that disagree with the alleles, and all its calls.
  long long disagreements(std::size_t r) const;
  long long callCount(std::size_t r) const {
    return static_cast<long long>(readStart_[r + 1] - readStart_[r]);
  }
  // Sum over reads of the mismatch in the better orientation.
  long long mismatch() const;
  // Entry c (1 <= c < SNPs): how much complementing every SNP from c on would
  // change the mismatch, that is the reads' evidence that SNPs c - 1 and c
  // are phased as they are (0 when no read links them); entry 0 is 0.
  std::vector<long long> cutChanges() const;

 private:
  // Adds `sign` times read r's terms to the move scores.
  void score(std::size_t r, long long sign);
  void rescore(const std::vector<std::uint32_t>& reads, std::size_t begin, std::size_t end,
               unsigned int from, unsigned int to);
  // Adds to one move's change, keeping the trees over the changes current.
  void addSingle(std::size_t j, long long change);
  void addCut(std::size_t c, long long change);
  void buildTrees();
  void updateSingle(std::size_t j);
  void updateCut(std::size_t c);

  // A move's choice costs O(log S): the singles' changes and the cuts'
  // difference entries sit in the leaves of two trees whose inner nodes keep
  // each range's first minimum (for the cuts, of the running sums within the
  // range, with the range's total), so the root holds the move the scan over
  // all SNPs would pick. A cut complements every SNP from it on by one bit of
  // a tree of flips (a SNP's allele is its own bit XOR the flips up to it),
  // so a move's cost is the reads it touches times O(log S).
  struct CutNode {
    long long sum;
    long long minimum;  // smallest running sum from the range's start
    unsigned int at;    // first cut where it is reached
  };
  struct SingleNode {
    long long minimum;
    unsigned int at;
  };
  static CutNode join(const CutNode& left, const CutNode& right);
  static SingleNode join(const SingleNode& left, const SingleNode& right);

  std::size_t leaves_ = 1;                  // leaves per tree: a power of two
  std::vector<CutNode> cutTree_;            // 2 leaves_: leaf leaves_ + c for cut c
  std::vector<SingleNode> singleTree_;      // 2 leaves_: leaf leaves_ + j for SNP j
  std::vector<unsigned char> flips_;        // Fenwick tree of cut flips, nSnp + 1 entries
  std::vector<unsigned char> alleles_;      // one per SNP, before the cut flips
  std::vector<std::uint32_t> snp_;          // every read's calls, sorted by SNP within the read
  std::vector<unsigned char> minor_;        // beside snp_
  std::vector<std::size_t> readStart_;      // read r's calls: readStart_[r] .. readStart_[r + 1]
  std::vector<std::uint32_t> atSnp_;        // reads with a call at SNP j: atSnpStart_[j] ..
  std::vector<std::size_t> atSnpStart_;     // nSnp + 1 entries
  std::vector<std::uint32_t> crossing_;     // reads with calls before and from cut c on
  std::vector<std::size_t> crossingStart_;  // nSnp + 1 entries
  std::vector<long long> single_;           // mismatch change of complementing SNP j
  std::vector<long long> cut_;  // differences: entry c adds to the change of cuts c and up
};

// Polishes an assembled haplotype (the PhasePolisher over every read's calls);
// each read then takes its better orientation and the counts are rebuilt.
// Returns the mismatch reached.
int polishAssembly(Haplotype& haplotype, std::vector<Read>& reads);
