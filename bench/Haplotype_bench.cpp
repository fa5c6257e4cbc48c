// Allele draws of a haplotype of 18,788 SNPs whose read counts look like 30x
// depth: from the counts alone (assembly) and guided by a copying path
// (inference): per allele draw.
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "PlainKernels.h"
#include "Read.h"
#include "Reference.h"
#include "VeltaUtil.h"

namespace {

using velta_bench::reportPer;

constexpr unsigned kSnps = 18788;

// A haplotype with counts drawn like 30x depth (the depth a sum of 60 fair
// coins), a path through a random two-haplotype panel, and the map.
struct CountedHaplotype {
  Parameter parameter;
  Reference reference;
  std::unique_ptr<Haplotype> haplotype;
  std::unique_ptr<RefPath> path;
};

unsigned coinSum(unsigned trials, unsigned percent) {
  unsigned sum = 0;
  for (unsigned t = 0; t < trials; ++t) sum += static_cast<unsigned>(veltaRand() % 100) < percent;
  return sum;
}

const CountedHaplotype& countedHaplotype() {
  static std::unique_ptr<CountedHaplotype> built;
  if (built) return *built;
  built = std::make_unique<CountedHaplotype>();
  std::ostringstream map;
  std::ostringstream panel;
  veltaSrand(3);
  for (unsigned j = 0; j < kSnps; ++j) {
    map << "20 s" << j << ' ' << j + 1 << ' ' << j + 1 << " A G\n";
    panel << "AG"[veltaRand() % 10 == 0] << "AG"[veltaRand() % 10 == 0] << '\n';
  }
  std::istringstream mapIn(map.str());
  built->parameter.initFromMapStream(mapIn);
  std::istringstream panelIn(panel.str());
  built->reference.initFromStream(panelIn, "panel", built->parameter);
  built->parameter.renewTran(built->reference.getHapNo());
  built->haplotype = std::make_unique<Haplotype>(kSnps);
  built->path = std::make_unique<RefPath>(built->reference);
  // Mostly calls of one allele with 1% errors, a tenth of the SNPs mixed.
  for (unsigned j = 0; j < kSnps; ++j) {
    const Read major(std::to_string(j + 1) + " A", built->parameter);
    const Read minor(std::to_string(j + 1) + " G", built->parameter);
    const unsigned depth = coinSum(60, 50);
    const unsigned kind = veltaRand() % 10;
    const unsigned minors = coinSum(depth, kind == 0 ? 50 : kind % 2 == 0 ? 1 : 99);
    for (unsigned k = 0; k < depth; ++k)
      built->haplotype->appendRead(k < minors ? minor : major, false);
  }
  return *built;
}

void BM_SampleCounts(benchmark::State& state) {
  const CountedHaplotype& counted = countedHaplotype();
  Haplotype haplotype = *counted.haplotype;
  veltaSrand(7);
  for (auto _ : state) haplotype.sample(counted.parameter);
  reportPer(state, "per_draw", kSnps);
}

void BM_SamplePathGuided(benchmark::State& state) {
  const CountedHaplotype& counted = countedHaplotype();
  Haplotype haplotype = *counted.haplotype;
  veltaSrand(8);
  for (auto _ : state) haplotype.sample(*counted.path, counted.parameter);
  reportPer(state, "per_draw", kSnps);
}

// The same draws with the weights computed from the formula at every SNP and
// the C library's rand(): what they cost before the weight tables.
void BM_SampleCountsFormula(benchmark::State& state) {
  const CountedHaplotype& counted = countedHaplotype();
  const Haplotype& haplotype = *counted.haplotype;
  std::vector<bool> alleles(kSnps);
  veltaSrand(7);
  for (auto _ : state) {
    for (unsigned j = 0; j < kSnps; ++j) {
      alleles[j] = velta_plain::allele(haplotype.getCount(j, false), haplotype.getCount(j, true),
                                       counted.parameter, velta_plain::uniform());
    }
    benchmark::DoNotOptimize(alleles);
  }
  reportPer(state, "per_draw", kSnps);
}

void BM_SamplePathGuidedFormula(benchmark::State& state) {
  const CountedHaplotype& counted = countedHaplotype();
  const Haplotype& haplotype = *counted.haplotype;
  const RefPath& path = *counted.path;
  std::vector<bool> alleles(kSnps);
  veltaSrand(8);
  for (auto _ : state) {
    for (unsigned j = 0; j < kSnps; ++j) {
      alleles[j] = velta_plain::allele(haplotype.getCount(j, false), haplotype.getCount(j, true),
                                       path[j], counted.parameter, velta_plain::uniform());
    }
    benchmark::DoNotOptimize(alleles);
  }
  reportPer(state, "per_draw", kSnps);
}

// The sampler's form: the path's copied alleles taken once for its many
// draws.
void BM_SampleCopiedAlleles(benchmark::State& state) {
  const CountedHaplotype& counted = countedHaplotype();
  Haplotype haplotype = *counted.haplotype;
  std::vector<std::uint64_t> copied;
  counted.path->copiedAlleles(copied);
  veltaSrand(8);
  for (auto _ : state) haplotype.sample(copied, counted.parameter);
  reportPer(state, "per_draw", kSnps);
}

BENCHMARK(BM_SampleCounts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SampleCopiedAlleles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SamplePathGuided)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SampleCountsFormula)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SamplePathGuidedFormula)->Unit(benchmark::kMicrosecond);

}  // namespace
