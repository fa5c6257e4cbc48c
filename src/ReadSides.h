// The inference sampler's reads between its two haplotypes, kept so that an
// inner iteration costs little more than its random numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "VeltaUtil.h"
#include "WorkerTeam.h"

class FlipDrawTable;
class Haplotype;
class Parameter;
class Read;

// The reads' agreement with a pair of haplotypes, as the likelihood's read
// term and its report need it: matches and mismatches against both, and the
// mismatches against each read's closer haplotype. 64-bit sums: a whole
// chromosome of deep reads passes 2^32 allele calls.
struct ReadAgreement {
  unsigned long long matches = 0;
  unsigned long long mismatches = 0;
  unsigned long long bestSideMismatches = 0;
  // Adds one read of `size` calls agreeing m1 and m2 times.
  void add(unsigned size, unsigned m1, unsigned m2) {
    const unsigned x1 = size - m1;
    const unsigned x2 = size - m2;
    matches += m1 + m2;
    mismatches += x1 + x2;
    bestSideMismatches += x1 < x2 ? x1 : x2;
  }
};

// A read's side draw depends only on its size and its agreements m1 and m2
// with the two haplotypes, which change only where an allele changed; so each
// read keeps its agreements and the generator value from which its draw gives
// the second haplotype (its threshold), renewed only for the reads covering a
// changed SNP. A flip pass is then one comparison per read, every side a bit.
// The haplotypes' counts are not moved read by read: after the pass they are
// counted afresh per SNP from the side bits, as the calls of the second side
// and the rest of all calls for the first.
//
// velta_plain::subIteration (tests/PlainKernels.h) is the one-step form of
// the same iteration; the tests check that a run of these iterations leaves
// the haplotypes, the flips and the random sequence exactly as a run of that
// form does.
class ReadSides {
 public:
  // Takes the reads' flips (0 first haplotype, 1 second) and their agreement
  // with the pair as they stand. The haplotypes' counts must hold the calls
  // of the reads of their side, counted as read (the sampler's first
  // loading); the reads must stay as they are while this lives. With more
  // than one thread (and the program's own generator in use) each inner
  // iteration is split over that many: SNPs in stretches for the allele
  // draws and the counts, reads in stretches for the side draws, each
  // stretch drawing its own stretch of the random sequence, so the results
  // do not depend on the number of threads.
  ReadSides(const std::vector<Read>& reads, const Haplotype& first, const Haplotype& second,
            const Parameter& parameter, unsigned threads = 1);

  // `count` inner iterations, each: both haplotypes' alleles drawn given the
  // alleles their paths copy (RefPath::copiedAlleles), then every read's
  // side, then the counts, in the draws and the order of the one-step form.
  // The flips live here until storeFlips.
  void subIterations(unsigned count, Haplotype& first, Haplotype& second,
                     const std::vector<std::uint64_t>& firstCopied,
                     const std::vector<std::uint64_t>& secondCopied, const Parameter& parameter);
  // Writes the sides into the reads' flips.
  void storeFlips(std::vector<Read>& reads) const;
  // The reads' agreement with the haplotypes as the last inner iteration
  // left them, from the kept agreements: no read is walked.
  ReadAgreement agreement() const;

 private:
  // Reads of one 64-read word of the sides that call SNP `snp`: bit b stands
  // for read 64 word + b. A read calling a SNP twice has one call per entry.
  struct Cover {
    std::uint64_t major;
    std::uint64_t minor;
    std::uint32_t word;
    std::uint32_t snp;
  };
  // One thread's part: the SNPs of allele words snpBegin .. snpEnd - 1 and
  // the reads of side words readBegin .. readEnd - 1, with the jumps to the
  // first numbers of its stretches (first haplotype's draws, second's,
  // sides) from the start of an inner iteration's numbers.
  struct Share {
    std::size_t snpBegin;
    std::size_t snpEnd;
    std::size_t readBegin;
    std::size_t readEnd;
    std::vector<FeedbackGenerator::Jump> jumps;
  };

  // The stretches' random numbers: the program's sequence itself for one
  // thread, otherwise a generator jumped from the iteration's start.
  template <typename Draw>
  void drawStretch(const Share& share, unsigned stretch, Draw&& draw);
  // Counts the calls of SNP words begin .. end - 1 per side afresh from the
  // side bits, as the calls of the second side and the rest for the first.
  void countSides(Haplotype& first, Haplotype& second, std::size_t begin, std::size_t end);
  // Renews the agreements of the share's reads that cover SNPs whose allele
  // differs from before_ (the allele words ahead of the draws), and their
  // thresholds.
  void followAlleles(const Share& share, const Haplotype& first, const Haplotype& second,
                     const FlipDrawTable& table);
  // Draws the sides of the share's reads: one generator value per read, in
  // read order.
  void drawSides(const Share& share, RandomStream& random);

  std::size_t readCount_;
  std::size_t nSnp_;
  std::vector<std::uint64_t> sides_;      // bit r: read r's side; (readCount_ + 63) / 64 words
  std::vector<std::uint32_t> threshold_;  // per read, padded to whole words with kNeverReached
  std::vector<std::uint16_t> size_;       // per read: calls
  std::vector<std::uint16_t> match_[2];   // per read: agreements with each haplotype
  std::vector<std::uint32_t> coverStart_;  // per SNP + 1: its first entry of covers_
  std::vector<Cover> covers_;              // by SNP, then by word
  std::vector<std::uint16_t> total_;       // per SNP: all major calls at 2j, minor at 2j + 1
  // Per SNP as total_: the second side's calls, tallied cover by cover.
  std::vector<std::uint16_t> secondCount_;
  std::vector<std::uint64_t> before_[2];   // allele words of each haplotype ahead of a draw
  std::vector<Share> shares_;
  std::unique_ptr<WorkerTeam> team_;
  FeedbackGenerator start_;                // the sequence at an inner iteration's start
  std::unique_ptr<FeedbackGenerator::Jump> whole_;  // past all numbers of one inner iteration
};
