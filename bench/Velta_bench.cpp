// One inner iteration of the inference sampler (both haplotypes' allele draws
// given their paths, every read's side redrawn, moved reads recounted) on the
// large shared inference data set with its 243k short read pairs.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "ReadSides.h"
#include "Reference.h"
#include "PlainKernels.h"
#include "VeltaUtil.h"

namespace {

// The sampler's state a few steps into a run: haplotypes at the truth, reads
// on their drawn sides, a path drawn for each haplotype.
struct SamplerState {
  Parameter parameter;
  Reference reference;
  std::vector<Read> reads;
  std::unique_ptr<Haplotype> first;
  std::unique_ptr<Haplotype> second;
  std::unique_ptr<RefPath> firstPath;
  std::unique_ptr<RefPath> secondPath;
};

std::unique_ptr<SamplerState> loadSamplerState() {
  const velta_bench::ReadSet& set = velta_bench::readSet(false);
  const std::string panelFile = velta_bench::largeInferenceDir() + "panel.txt";
  std::ifstream panel(panelFile);
  if (set.synthetic || !panel) return nullptr;
  auto state = std::make_unique<SamplerState>();
  state->parameter = set.parameter;
  state->reference.initFromStream(panel, panelFile.c_str(), state->parameter);
  state->parameter.renewTran(state->reference.getHapNo());
  state->reads = set.reads;
  state->first = std::make_unique<Haplotype>(set.truth[0]);
  state->second = std::make_unique<Haplotype>(set.truth[1]);
  veltaSrand(1);
  for (Read& read : state->reads) {
    read.sampleFlip(*state->first, *state->second, state->parameter);
    state->first->assignRead(read, Haplotype::UNFLIPPED_READS);
    state->second->assignRead(read, Haplotype::FLIPPED_READS);
  }
  state->firstPath = std::make_unique<RefPath>(state->reference);
  state->secondPath = std::make_unique<RefPath>(state->reference);
  state->reference.samplePath(*state->firstPath, *state->first, state->parameter);
  state->reference.samplePath(*state->secondPath, *state->second, state->parameter);
  return state;
}

// The plain one-step form the tests hold the sampler to: formula draws, reads
// moved one by one as their side changes.
void BM_InferenceSubIteration(benchmark::State& state) {
  static std::unique_ptr<SamplerState> sampler = loadSamplerState();
  if (!sampler) {
    state.SkipWithError(("shared data set " + velta_bench::largeInferenceDir() +
                         " is absent; set VELTA_SHARED_DIR to the shared folder")
                            .c_str());
    return;
  }
  veltaSrand(2);
  for (auto _ : state) {
    velta_plain::subIteration(*sampler->first, *sampler->second, *sampler->firstPath,
                              *sampler->secondPath, sampler->reads, sampler->parameter);
  }
  velta_bench::reportPer(state, "per_read", sampler->reads.size());
  // A default run (-n 1000 -m 100) does 100,000 of them.
  velta_bench::reportPer(state, "default_run", 1e-5);
}

// The sampler's form: sides kept with their agreements and thresholds,
// counts recounted per SNP, on one and two threads.
void BM_KeptSidesSubIteration(benchmark::State& state) {
  static std::unique_ptr<SamplerState> sampler = loadSamplerState();
  if (!sampler) {
    state.SkipWithError("shared data set absent; set VELTA_SHARED_DIR to the shared folder");
    return;
  }
  ReadSides sides(sampler->reads, *sampler->first, *sampler->second, sampler->parameter,
                  static_cast<unsigned>(state.range(0)));
  std::vector<std::uint64_t> copied[2];
  sampler->firstPath->copiedAlleles(copied[0]);
  sampler->secondPath->copiedAlleles(copied[1]);
  veltaSrand(2);
  for (auto _ : state) {
    sides.subIterations(1, *sampler->first, *sampler->second, copied[0], copied[1],
                        sampler->parameter);
  }
  sides.storeFlips(sampler->reads);
  velta_bench::reportPer(state, "per_read", sampler->reads.size());
  velta_bench::reportPer(state, "default_run", 1e-5);
}

BENCHMARK(BM_InferenceSubIteration)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeptSidesSubIteration)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
