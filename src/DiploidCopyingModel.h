// The diploid copying model of one window: the individual's two haplotypes
// copy an ordered pair (a, b) of K candidate panel haplotypes, each member
// keeping its candidate between sites or moving to any of the K, with an
// orientation s per heterozygous SNP saying which haplotype carries which
// allele. Its posterior gives, for every two consecutive heterozygous SNPs,
// the probability that they are phased as the reference phase says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The model's input: the window's sites (SNPs where the candidates can tell
// pairs apart: every heterozygous SNP and every homozygous SNP where some
// candidate carries the other allele), in SNP order.
struct PhaseWindow {
  enum Kind : unsigned char { HOM_MAJOR = 0, HOM_MINOR = 1, HET = 2 };

  int candidates = 0;                  // K
  std::vector<unsigned char> alleles;  // site-major: K candidate alleles (1 minor) per site
  std::vector<unsigned char> kind;     // per site: a Kind
  // Per site: probability that one member keeps its candidate from the
  // previous site (entry 0 unused).
  std::vector<double> stay;
  // Per heterozygous site: the first haplotype's allele under orientation 0.
  std::vector<unsigned char> firstAllele;
  // Per heterozygous site: probability that its orientation equals the
  // previous heterozygous site's (the reads' evidence; 0.5 when none).
  std::vector<double> keep;

  std::size_t siteCount() const { return kind.size(); }
  void clear();
  // Appends a site; `candidateAlleles` holds K entries.
  void addSite(Kind siteKind, const unsigned char* candidateAlleles, double stayProbability,
               unsigned char first = 0, double keepProbability = 0.5);
};

// Forward-backward over states (a, b, s), 2K^2 per site. Emissions: a
// homozygous site wants both members to carry its allele, a heterozygous one
// wants member a to carry firstAllele XOR s and member b the other; a member
// that does not costs the mismatch rate `mismatch` instead of 1 - `mismatch`.
// Returns, per site, the posterior probability that a heterozygous site's
// orientation equals the previous heterozygous site's (-1 at the window's
// first heterozygous site and at homozygous sites).
//
// Swapping the members and the orientation maps the model onto itself, so
// layer s = 1 is layer s = 0 transposed (pair (a, b) of one is (b, a) of the
// other) and only layer 0 is computed. Vectors are single precision in linear
// space, each site's normalisation folded into the next site's transition.
// Works in storage it keeps between calls.
class DiploidCopyingModel {
 public:
  std::vector<double> keepPosterior(const PhaseWindow& window, double mismatch);

 private:
  // Emission factors of one site under orientation 0: member a's (firstWant_)
  // and member b's (secondWant_) per candidate.
  void siteFactors(const PhaseWindow& window, std::size_t site, double mismatch);
  // Row sums, column sums and total of `values` (K x K).
  double sums(const float* values);
  // out = the transition applied to `in` (optionally mixed with its
  // transpose: p in + (1 - p) in^T), divided by in's total, times the
  // site's emissions when `emitting`.
  void step(const float* in, float* out, double stay, double total, double keep, bool mixing,
            bool emitting);

  int K_ = 0;
  std::vector<float> current_;      // K^2: layer 0, pair (a, b) at a K + b
  std::vector<float> next_;         // K^2
  // K^2 per heterozygous site after the first, each value's upper 16 bits
  // (8 bits of mantissa): the posterior is a ratio of sums of K^2 products,
  // which rounding at 0.4% hardly moves, and the store is the model's largest.
  std::vector<std::uint16_t> predicted_;
  std::vector<double> rowSum_;      // K
  std::vector<double> columnSum_;   // K
  std::vector<float> firstWant_;    // K
  std::vector<float> secondWant_;   // K
};
