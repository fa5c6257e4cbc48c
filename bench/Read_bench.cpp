// Read flip draws on the large shared inference reads (short pairs and long
// reads), against one haplotype (assembly) and between two (inference), with
// the haplotypes the reads were drawn from: per flip draw, one read at a time
// and in the samplers' passes, beside the formula draws.
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

// Haplotypes at the truth holding the reads as the samplers do.
struct LoadedPair {
  std::vector<Read> reads;
  Haplotype first;
  Haplotype second;
};

LoadedPair loadedPair(const velta_bench::ReadSet& set, bool inference) {
  LoadedPair pair{set.reads, Haplotype(set.truth[0]), Haplotype(set.truth[1])};
  for (const Read& read : pair.reads) {
    if (inference) {
      pair.first.assignRead(read, Haplotype::UNFLIPPED_READS);
      pair.second.assignRead(read, Haplotype::FLIPPED_READS);
    } else {
      pair.first.assignRead(read, Haplotype::ALL_READS);
    }
  }
  return pair;
}

// The assembly pass: every read's flip drawn, the reads whose flip changed
// recounted.
void BM_FlipPassOne(benchmark::State& state, bool longReads) {
  const velta_bench::ReadSet& set = readSet(longReads);
  LoadedPair pair = loadedPair(set, false);
  veltaSrand(7);
  for (auto _ : state) Read::sampleFlips(pair.reads, pair.first, set.parameter);
  reportPer(state, "per_draw", pair.reads.size());
}

// The inference pass with formula draws and the C library's rand(), each
// changed read taken out of one haplotype and added to the other by mode:
// the pass before the weight tables.
void BM_FlipPassTwoFormula(benchmark::State& state, bool longReads) {
  const velta_bench::ReadSet& set = readSet(longReads);
  LoadedPair pair = loadedPair(set, true);
  veltaSrand(8);
  for (auto _ : state) {
    for (Read& read : pair.reads) {
      const double m1 = read.countMatch(pair.first);
      const double m2 = read.countMatch(pair.second);
      const unsigned char flip =
          velta_plain::flipTwo(read.size(), m1, m2, set.parameter, velta_plain::uniform());
      if (flip == read.getFlip()) continue;
      read.setFlip(flip);
      if (flip == 1) {
        pair.first.removeRead(read, Haplotype::UNFLIPPED_READS);
        pair.second.assignRead(read, Haplotype::FLIPPED_READS);
      } else {
        pair.first.assignRead(read, Haplotype::UNFLIPPED_READS);
        pair.second.removeRead(read, Haplotype::FLIPPED_READS);
      }
    }
  }
  reportPer(state, "per_draw", pair.reads.size());
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

BENCHMARK_CAPTURE(BM_FlipPassOne, short, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipPassOne, long, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipPassTwoFormula, short, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FlipPassTwoFormula, long, true)->Unit(benchmark::kMillisecond);

}  // namespace
