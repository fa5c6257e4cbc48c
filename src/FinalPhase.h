// The final phase of inference: after the sampler has left its best state in
// the two haplotypes, the heterozygous SNPs are phased again from all the
// evidence. The genotypes stay the sampler's; the reads phase every stretch
// they link; a diploid copying model over panel haplotypes chosen close to
// the individual, window by window, weighs the panel against the reads for
// every two consecutive heterozygous SNPs.
#pragma once

#include <vector>

class Haplotype;
class Parameter;
class Read;
class Reference;

struct FinalPhaseSettings {
  int candidates = 160;           // K: copying candidates per window
  // Window length; windows overlap by half. Where reads link long blocks, the
  // model decides the joins between them, and a longer window weighs more of
  // each block against the panel.
  unsigned int windowSnps = 3000;
  unsigned int stretchWords = 2;  // candidates ranked over stretches of 64-SNP words
  int rounds = 3;                 // candidate choices from the improved haplotypes
  // Scales the copying model's switch rate for K candidates, 4 Ne d / K with
  // the options' -r as Ne. The sampler's rate lets a path over a few random
  // panel haplotypes change often enough to follow the individual; the
  // candidates here are chosen close to it, and a quarter of that rate (nearer
  // the population's own recombination rate per base) lets a long stretch
  // shared with one candidate outweigh a single disagreement.
  double switchScale = 0.25;
  double readWeight = 1.0;        // scales the reads' log odds
  // A genotype changes where the reads favour another by this log ratio
  // (negative: the sampler's genotypes stay).
  double genotypeMargin = 2.0;
  double undecided = 0.01;       // a pair whose posterior is this close to 1/2 keeps its relation
  // Mismatch rate between the individual and the candidate it copies (0: the
  // options' -w). Higher than -w: with K candidates rather than the whole
  // panel, an allele none of them carries nearby is more often a copy of a
  // haplotype left out than a new mutation.
  double mismatch = 0.01;
  // A heterozygous SNP with an allele no panel haplotype carries and no read
  // link puts that allele on the haplotype the panel fits worse over this
  // many SNPs on either side, or, where it fits both alike, on the one whose
  // agreement with the panel reaches less far (0: it keeps its orientation).
  unsigned int novelFlank = 100;
  bool usePanel = true;           // false: the reads' phase alone (benchmarks)
};

// Rephases `first` and `second` in place (alleles; each read then takes its
// better side and the counts are rebuilt). Draws no random numbers.
void finalPhase(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
                const Reference& reference, const Parameter& parameter,
                const FinalPhaseSettings& settings = FinalPhaseSettings());
