#include "PhaseScore.h"

namespace {

// The phase relations met so far in one block: whether each phased SNP has
// the true haplotype order (kept) or the swapped one.
struct RelationRun {
  bool started = false;
  bool lastKept = false;
  // A switch at the last SNP whose kind the next SNP decides: switching back
  // makes it a flip, staying makes it a long switch.
  bool switchPending = false;
};

void addRelation(RelationRun& run, bool kept, PhaseScore& score) {
  if (!run.started) {
    run.started = true;
    run.lastKept = kept;
    return;
  }
  ++score.switchPairs;
  const bool changed = kept != run.lastKept;
  run.lastKept = kept;
  if (run.switchPending) {
    run.switchPending = false;
    if (changed) {
      ++score.flips;  // this change undoes the pending one, so it starts no switch of its own
    } else {
      ++score.longSwitches;
    }
    return;
  }
  run.switchPending = changed;
}

}  // namespace

PhaseScore scorePhase(const std::vector<PhasedGenotype>& truth,
                      const std::vector<PhasedGenotype>& phased,
                      const std::vector<unsigned int>& blockOf) {
  PhaseScore score;
  score.snps = static_cast<unsigned int>(truth.size());
  std::vector<RelationRun> runs(blockOf.empty() ? 1 : truth.size());
  unsigned int hammingKept = 0;
  unsigned int hammingSwapped = 0;
  for (unsigned int k = 0; k < truth.size(); ++k) {
    const PhasedGenotype& t = truth[k];
    const PhasedGenotype& p = phased[k];
    const bool sameAlleles = t.sameAlleles(p);
    if (!sameAlleles) ++score.genotypeErrors;
    if (!t.isHeterozygous()) continue;
    ++score.het;
    const bool kept = p.first == t.first && p.second == t.second;
    const bool swapped = p.first == t.second && p.second == t.first;
    if (!kept) ++hammingKept;
    if (!swapped) ++hammingSwapped;
    if (!sameAlleles) continue;
    ++score.hetCalled;
    addRelation(runs[blockOf.empty() ? 0 : blockOf[k]], kept, score);
  }
  for (const RelationRun& run : runs) {
    if (run.switchPending) ++score.longSwitches;
  }
  score.switches = score.longSwitches + 2 * score.flips;
  score.hamming = hammingKept < hammingSwapped ? hammingKept : hammingSwapped;
  return score;
}
