// Read flip draws on the large shared inference reads (short pairs and long
// reads), against one haplotype (assembly) and between two (inference), with
// the haplotypes the reads were drawn from: per flip draw.
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchSupport.h"
#include "Haplotype.h"
#include "PlainKernels.h"
#include "Read.h"

namespace {

using velta_bench::readSet;
using velta_bench::reportPer;

void BM_CountMatch(benchmark::State& state, bool longReads) {
  const velta_bench::ReadSet& set = readSet(longReads);
  const Haplotype haplotype(set.truth[0]);
  for (auto _ : state) {
    unsigned long long matches = 0;
    for (const Read& read : set.reads) matches += read.countMatch(haplotype);
    benchmark::DoNotOptimize(matches);
  }
  reportPer(state, "per_read", set.reads.size());
}

void BM_FlipDrawOne(benchmark::State& state, bool longReads) {
  const velta_bench::ReadSet& set = readSet(longReads);
  std::vector<Read> reads = set.reads;
  const Haplotype haplotype(set.truth[0]);
  veltaSrand(5);
  for (auto _ : state) {
    for (Read& read : reads) benchmark::DoNotOptimize(read.sampleFlip(haplotype, set.parameter));
  }
  reportPer(state, "per_draw", reads.size());
}

void BM_FlipDrawTwo(benchmark::State& state, bool longReads) {
  const velta_bench::ReadSet& set = readSet(longReads);
  std::vector<Read> reads = set.reads;
  const Haplotype first(set.truth[0]);
  const Haplotype second(set.truth[1]);
  veltaSrand(6);
  for (auto _ : state) {
    for (Read& read : reads) {
      benchmark::DoNotOptimize(read.sampleFlip(first, second, set.parameter));
    }
  }
  reportPer(state, "per_draw", reads.size());
}

// The same draws with the weights computed from the formula at every draw and
// the C library's rand(): what the draws cost before the weight tables.
void BM_FlipDrawOneFormula(benchmark::State& state, bool longReads) {
  const velta_bench::ReadSet& set = readSet(longReads);
  std::vector<Read> reads = set.reads;
  const Haplotype haplotype(set.truth[0]);
  veltaSrand(5);
  for (auto _ : state) {
    for (Read& read : reads) {
      const double m = read.countMatch(haplotype);
      read.setFlip(velta_plain::flipOne(read.size(), m, set.parameter, velta_plain::uniform()));
    }
    benchmark::DoNotOptimize(reads.data());
  }
  reportPer(state, "per_draw", reads.size());
}

void BM_FlipDrawTwoFormula(benchmark::State& state, bool longReads) {
  const velta_bench::ReadSet& set = readSet(longReads);
  std::vector<Read> reads = set.reads;
  const Haplotype first(set.truth[0]);
  const Haplotype second(set.truth[1]);
  veltaSrand(6);
  for (auto _ : state) {
    for (Read& read : reads) {
      const double m1 = read.countMatch(first);
      const double m2 = read.countMatch(second);
      read.setFlip(
          velta_plain::flipTwo(read.size(), m1, m2, set.parameter, velta_plain::uniform()));
    }
    benchmark::DoNotOptimize(reads.data());
  }
  reportPer(state, "per_draw", reads.size());
}

BENCHMARK_CAPTURE(BM_CountMatch, short, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CountMatch, long, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawOne, short, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawOne, long, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawTwo, short, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawTwo, long, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawOneFormula, short, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawOneFormula, long, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawTwoFormula, short, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipDrawTwoFormula, long, true)->Unit(benchmark::kMillisecond);

}  // namespace
