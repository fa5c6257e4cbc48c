// The final phase of inference: reads' phase inside their blocks, then the
// diploid copying model window by window, decoded pair by pair.
#include "FinalPhase.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "CopyingCandidates.h"
#include "DiploidCopyingModel.h"
#include "Haplotype.h"
#include "HetReadPhase.h"
#include "NovelAlleles.h"
#include "Parameter.h"
#include "Read.h"
#include "ReadGenotypes.h"
#include "Reference.h"
#include "WorkerTeam.h"

namespace {

// Probabilities are kept this far off 0 and 1 so that the panel can still
// outweigh a link of many reads that share an error, and a window's certain
// posterior still averages with the other window's.
constexpr double kCertaintyMargin = 1e-9;

double probabilityOf(double logOdds) {
  const double p = 1 / (1 + std::exp(-logOdds));
  return std::clamp(p, kCertaintyMargin, 1 - kCertaintyMargin);
}

double logOddsOf(double p) {
  const double q = std::clamp(p, kCertaintyMargin, 1 - kCertaintyMargin);
  return std::log(q / (1 - q));
}

void setBit(HaplotypeBits& bits, unsigned int j, bool value) {
  const std::uint64_t bit = std::uint64_t{1} << (j & 63);
  bits[j >> 6] = value ? (bits[j >> 6] | bit) : (bits[j >> 6] & ~bit);
}

// The individual as the stage sees it: genotypes, the heterozygous SNPs and
// the first haplotype's allele at each.
struct Individual {
  std::vector<unsigned char> genotype;  // per SNP: 0 or 1 homozygous allele, 2 heterozygous
  std::vector<std::uint32_t> hets;      // heterozygous SNPs in order
};

// Windows of `length` SNPs overlapping by half, the last one ending at the
// last SNP: every pair of heterozygous SNPs away from the ends lies in two.
struct Windows {
  std::vector<unsigned int> begin;
  std::vector<unsigned int> end;
};

Windows makeWindows(unsigned int nSnp, unsigned int length) {
  Windows windows;
  length = std::max(length, 2U);
  const unsigned int step = length / 2;
  for (unsigned int b = 0;; b += step) {
    if (b + length >= nSnp) {
      const unsigned int last = nSnp > length ? nSnp - length : 0;
      windows.begin.push_back(std::max(last, windows.begin.empty() ? 0U : windows.begin.back()));
      windows.end.push_back(nSnp);
      break;
    }
    windows.begin.push_back(b);
    windows.end.push_back(b + length);
  }
  return windows;
}

constexpr std::size_t kNoSite = SIZE_MAX;

// Probability that two orientations agree, given the probabilities p and q
// that each of them agrees with one in between.
double chainedKeep(double p, double q) { return p * q + (1 - p) * (1 - q); }

// What one window's model gave: the candidates it ran on and, per
// heterozygous SNP of the window, the posterior that it keeps its relation
// to the previous one (-1 where the model left it out). The model's input is
// the candidates, the genotypes and the reads, not the current phase, so a
// window whose candidates stay from one round to the next keeps its result.
struct WindowResult {
  std::vector<int> chosen;
  std::vector<double> keep;
  bool stale = true;
};

// A worker's own model and window store.
struct ModelSpace {
  PhaseWindow window;
  DiploidCopyingModel model;
};

class FinalPhaser {
 public:
  FinalPhaser(const Individual& individual, const HetReadPhase& readPhase,
              const Reference& reference, const Parameter& parameter,
              const FinalPhaseSettings& settings)
      : individual_(individual),
        readPhase_(readPhase),
        reference_(reference),
        parameter_(parameter),
        settings_(settings),
        candidates_(reference),
        windows_(makeWindows(static_cast<unsigned int>(individual.genotype.size()),
                             settings.windowSnps)),
        results_(windows_.begin.size()),
        team_(static_cast<unsigned>(std::max(parameter.getThreads(), 1))),
        spaces_(team_.size()),
        orientation_(individual.hets.size(), 0),
        keepFromReads_(individual.hets.size(), 0.5) {
    for (std::size_t i = 1; i < keepFromReads_.size(); ++i) {
      keepFromReads_[i] = probabilityOf(settings.readWeight * readPhase.linkLogOdds[i]);
    }
    // Each window's heterozygous SNPs, fixed for the whole stage.
    const std::vector<std::uint32_t>& hets = individual.hets;
    auto firstHetFrom = [&](unsigned int snp) {
      return static_cast<std::size_t>(std::lower_bound(hets.begin(), hets.end(), snp) -
                                      hets.begin());
    };
    for (std::size_t w = 0; w < windows_.begin.size(); ++w) {
      hetBegin_.push_back(firstHetFrom(windows_.begin[w]));
      hetEnd_.push_back(firstHetFrom(windows_.end[w]));
    }
  }

  // One round: candidates from the current haplotypes, every window's
  // posterior, the orientations chained pair by pair.
  void round();
  // Orients the heterozygous SNPs that no read links to a neighbour and that
  // carry an allele no panel haplotype carries (novelFirstAllele), all from
  // the haplotypes as they stand, with those SNPs themselves set to the
  // panel's allele.
  void placeNovelAlleles(unsigned int flank);
  // First haplotype's allele at heterozygous SNP i.
  bool firstAllele(std::size_t i) const { return readPhase_.firstAllele[i] ^ orientation_[i]; }

 private:
  std::vector<HaplotypeBits> currentHaplotypes() const;
  // The first and one past the last heterozygous SNP of window w.
  std::size_t hetBegin(std::size_t w) const { return hetBegin_[w]; }
  std::size_t hetEnd(std::size_t w) const { return hetEnd_[w]; }
  // Fills space.window for window w's SNPs with `chosen` as candidates and
  // runs the model: the keep posterior of every heterozygous SNP of the
  // window, in order (-1 where it is left out).
  std::vector<double> runWindow(std::size_t w, const std::vector<int>& chosen,
                                ModelSpace& space) const;
  // Per heterozygous SNP, the keep posterior of every window that weighs it,
  // combined (-1 where none does).
  std::vector<double> combinedKeep() const;
  // Sets the relations from the combined posteriors.
  void decide(const std::vector<double>& keep, std::vector<unsigned char>& relation) const;

  const Individual& individual_;
  const HetReadPhase& readPhase_;
  const Reference& reference_;
  const Parameter& parameter_;
  const FinalPhaseSettings& settings_;
  CopyingCandidates candidates_;
  Windows windows_;
  std::vector<WindowResult> results_;
  std::vector<std::size_t> hetBegin_;  // per window
  std::vector<std::size_t> hetEnd_;
  WorkerTeam team_;
  std::vector<ModelSpace> spaces_;          // one per worker
  std::vector<unsigned char> orientation_;  // per het: 1 where the phase is the reads' one swapped
  std::vector<double> keepFromReads_;       // per het i >= 1
};

std::vector<HaplotypeBits> FinalPhaser::currentHaplotypes() const {
  const unsigned int nSnp = static_cast<unsigned int>(individual_.genotype.size());
  std::vector<HaplotypeBits> haplotypes(2, HaplotypeBits((nSnp + 63) / 64 + 1, 0));
  for (unsigned int j = 0; j < nSnp; ++j) {
    if (individual_.genotype[j] == 1) {
      setBit(haplotypes[0], j, true);
      setBit(haplotypes[1], j, true);
    }
  }
  for (std::size_t i = 0; i < individual_.hets.size(); ++i) {
    const bool first = firstAllele(i);
    setBit(haplotypes[0], individual_.hets[i], first);
    setBit(haplotypes[1], individual_.hets[i], !first);
  }
  return haplotypes;
}

std::vector<double> FinalPhaser::runWindow(std::size_t w, const std::vector<int>& chosen,
                                           ModelSpace& space) const {
  const unsigned int begin = windows_.begin[w];
  const unsigned int end = windows_.end[w];
  const std::size_t hetBegin = this->hetBegin(w);
  const std::size_t hetEnd = this->hetEnd(w);
  const int K = static_cast<int>(chosen.size());
  PhaseWindow& window = space.window;
  window.clear();
  window.candidates = K;
  std::vector<std::size_t> hetSite(hetEnd - hetBegin, 0);
  std::vector<unsigned char> alleles(K);
  // Per-member switch rate of the copying model at the panel's scale, for K
  // candidates: 4 Ne d / K per interval of d.
  const double rate = 4.0 * parameter_.getTranNe() * settings_.switchScale / K;
  double lastPosition = parameter_.getSnpPos(begin);
  std::size_t het = hetBegin;
  // The reads' keep probability from the last heterozygous site in the
  // window, chained over the heterozygous SNPs left out since.
  double pendingKeep = 1;
  for (unsigned int j = begin; j < end; ++j) {
    bool differs = false;
    bool varies = false;
    const unsigned char genotype = individual_.genotype[j];
    for (int k = 0; k < K; ++k) {
      alleles[k] = reference_.getAllele(static_cast<unsigned short>(chosen[k]), j);
      differs |= alleles[k] != genotype;
      varies |= alleles[k] != alleles[0];
    }
    if (genotype == 2 && !varies) {
      // Every candidate carries one allele: each pair fits either
      // orientation alike, so the SNP leaves the chain and its neighbours
      // are weighed against each other directly.
      hetSite[het - hetBegin] = kNoSite;
      pendingKeep = chainedKeep(pendingKeep, keepFromReads_[het]);
      ++het;
      continue;
    }
    if (!differs) continue;  // every pair fits alike: no information
    const double position = parameter_.getSnpPos(j);
    const double stay = std::exp(-rate * std::max(position - lastPosition, 0.0));
    lastPosition = position;
    if (genotype == 2) {
      hetSite[het - hetBegin] = window.siteCount();
      window.addSite(PhaseWindow::HET, alleles.data(), stay, readPhase_.firstAllele[het],
                      chainedKeep(pendingKeep, keepFromReads_[het]));
      pendingKeep = 1;
      ++het;
    } else {
      window.addSite(static_cast<PhaseWindow::Kind>(genotype), alleles.data(), stay);
    }
  }
  const double mismatch = settings_.mismatch > 0 ? settings_.mismatch : parameter_.getEmitError();
  const std::vector<double> siteKeep = space.model.keepPosterior(window, mismatch);
  std::vector<double> keep(hetSite.size(), -1.0);
  for (std::size_t i = 0; i < hetSite.size(); ++i) {
    if (hetSite[i] != kNoSite) keep[i] = siteKeep[hetSite[i]];
  }
  return keep;
}

std::vector<double> FinalPhaser::combinedKeep() const {
  // The mean of the windows' log odds, each weighted by how far the pair lies
  // from the window's nearer end: near an end the model sees the panel on one
  // side only, and the other window, which sees both sides, counts for more.
  const std::vector<std::uint32_t>& hets = individual_.hets;
  std::vector<double> logOdds(hets.size(), 0);
  std::vector<double> weight(hets.size(), 0);
  for (std::size_t w = 0; w < results_.size(); ++w) {
    const std::vector<double>& keep = results_[w].keep;
    if (keep.empty()) continue;
    for (std::size_t i = hetBegin(w); i < hetEnd(w); ++i) {
      const double p = keep[i - hetBegin(w)];
      if (p < 0) continue;
      const double centrality =
          1.0 + std::min(hets[i] - windows_.begin[w], windows_.end[w] - hets[i]);
      logOdds[i] += centrality * logOddsOf(p);
      weight[i] += centrality;
    }
  }
  std::vector<double> combined(hets.size(), -1.0);
  for (std::size_t i = 0; i < hets.size(); ++i) {
    if (weight[i] > 0) combined[i] = probabilityOf(logOdds[i] / weight[i]);
  }
  return combined;
}

void FinalPhaser::decide(const std::vector<double>& keep,
                         std::vector<unsigned char>& relation) const {
  // The hets left out since the last kept one: each takes the reads' lean
  // where they have one; the panel's decision for the next kept het sets
  // the relation across the run, mending the run's weakest read link when
  // the two disagree.
  std::vector<std::size_t> run;
  for (std::size_t i = 1; i < keep.size(); ++i) {
    run.push_back(i);
    const double p = keep[i];
    if (p < 0 && i + 1 < keep.size()) continue;
    unsigned char across = 0;
    std::size_t weakest = run.front();
    for (const std::size_t pair : run) {
      const double lean = std::fabs(keepFromReads_[pair] - 0.5);
      if (lean > settings_.undecided) relation[pair] = keepFromReads_[pair] < 0.5;
      if (lean <= std::fabs(keepFromReads_[weakest] - 0.5)) weakest = pair;
      across ^= relation[pair];
    }
    if (p >= 0 && std::fabs(p - 0.5) > settings_.undecided &&
        across != static_cast<unsigned char>(p < 0.5)) {
      relation[weakest] ^= 1;
    }
    run.clear();
  }
}

void FinalPhaser::round() {
  const std::vector<std::uint32_t>& hets = individual_.hets;
  if (hets.size() < 2) return;
  const std::vector<HaplotypeBits> haplotypes = currentHaplotypes();
  const std::size_t windowCount = windows_.begin.size();
  // Candidates for every window, then the model of every window whose
  // candidates changed, the windows shared out among the workers; each
  // window's result depends on nothing else, so any number of workers gives
  // the same results.
  for (std::size_t w = 0; w < windowCount; ++w) {
    WindowResult& result = results_[w];
    if (hetEnd(w) - hetBegin(w) < 2) continue;
    std::vector<int> chosen = candidates_.choose(haplotypes, windows_.begin[w], windows_.end[w],
                                                 settings_.candidates, settings_.stretchWords);
    result.stale = result.keep.empty() || chosen != result.chosen;
    result.chosen = std::move(chosen);
  }
  const unsigned workers = team_.size();
  auto work = [&](unsigned share) {
    for (std::size_t w = share; w < windowCount; w += workers) {
      WindowResult& result = results_[w];
      if (!result.stale) continue;
      result.keep = runWindow(w, result.chosen, spaces_[share]);
      result.stale = false;
    }
  };
  team_.run(work);
  // Relation of het i to het i - 1: 1 where their orientations differ. Pairs
  // that neither the panel nor the reads decide keep their current relation.
  std::vector<unsigned char> relation(hets.size(), 0);
  for (std::size_t i = 1; i < hets.size(); ++i) {
    relation[i] = orientation_[i] ^ orientation_[i - 1];
  }
  decide(combinedKeep(), relation);
  for (std::size_t i = 1; i < hets.size(); ++i) {
    orientation_[i] = orientation_[i - 1] ^ relation[i];
  }
}

void FinalPhaser::placeNovelAlleles(unsigned int flank) {
  const std::vector<std::uint32_t>& hets = individual_.hets;
  const std::vector<double>& link = readPhase_.linkLogOdds;
  std::vector<HaplotypeBits> haplotypes = currentHaplotypes();
  std::vector<std::size_t> unplaced;
  for (std::size_t i = 0; i < hets.size(); ++i) {
    if ((i > 0 && link[i] != 0) || (i + 1 < hets.size() && link[i + 1] != 0)) continue;
    const int panelAllele = candidates_.onlyAllele(hets[i]);
    if (panelAllele < 0) continue;
    unplaced.push_back(i);
    // Where such an allele sits now is arbitrary, yet it disagrees with
    // every panel haplotype: left in, it would count against whichever
    // haplotype holds it while its neighbours of the same kind are placed,
    // and cut that haplotype's unbroken agreement short. Both haplotypes
    // take the panel's allele there instead, so that only what the data
    // decide weighs.
    for (HaplotypeBits& haplotype : haplotypes) setBit(haplotype, hets[i], panelAllele != 0);
  }
  for (const std::size_t i : unplaced) {
    const int wanted = novelFirstAllele(haplotypes, hets[i], candidates_, flank);
    if (wanted >= 0 && (wanted != 0) != firstAllele(i)) orientation_[i] ^= 1;
  }
}

}  // namespace

void finalPhase(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
                const Reference& reference, const Parameter& parameter,
                const FinalPhaseSettings& settings) {
  const unsigned int nSnp = static_cast<unsigned int>(first.getLength());
  Individual individual;
  individual.genotype.resize(nSnp);
  for (unsigned int j = 0; j < nSnp; ++j) {
    individual.genotype[j] = first[j] != second[j] ? 2 : first[j];
  }
  // The reads' error rate, measured rather than taken from the options: long
  // reads err more often than the default rate says.
  const double callError = measureCallError(individual.genotype, reads);
  if (settings.genotypeMargin >= 0) {
    recallGenotypes(individual.genotype, reads, callError, settings.genotypeMargin);
  }
  std::vector<unsigned char> startAllele;
  for (unsigned int j = 0; j < nSnp; ++j) {
    if (individual.genotype[j] == 2) {
      individual.hets.push_back(j);
      startAllele.push_back(first[j]);
    }
  }
  const HetReadPhase readPhase =
      phaseHetsByReads(individual.hets, startAllele, reads, nSnp, callError);
  FinalPhaser phaser(individual, readPhase, reference, parameter, settings);
  if (settings.usePanel) {
    for (int r = 0; r < settings.rounds; ++r) phaser.round();
    if (settings.novelFlank > 0) phaser.placeNovelAlleles(settings.novelFlank);
  }

  std::vector<bool> firstAlleles(nSnp);
  std::vector<bool> secondAlleles(nSnp);
  for (unsigned int j = 0; j < nSnp; ++j) {
    firstAlleles[j] = individual.genotype[j] == 1;
    secondAlleles[j] = individual.genotype[j] == 1;
  }
  for (std::size_t i = 0; i < individual.hets.size(); ++i) {
    firstAlleles[individual.hets[i]] = phaser.firstAllele(i);
    secondAlleles[individual.hets[i]] = !phaser.firstAllele(i);
  }
  first = Haplotype(firstAlleles);
  second = Haplotype(secondAlleles);
  // Each read on the haplotype it fits better (a tie keeps its side).
  for (Read& read : reads) {
    const unsigned int m1 = read.countMatch(first);
    const unsigned int m2 = read.countMatch(second);
    if (m1 != m2) read.setFlip(m2 > m1);
    if (read.getFlip() == 1) {
      second.assignRead(read, Haplotype::FLIPPED_READS);
    } else {
      first.assignRead(read, Haplotype::UNFLIPPED_READS);
    }
  }
}
