// The program's random generator against the C library's rand(), per number.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "VeltaUtil.h"

namespace {

constexpr int kDraws = 1 << 16;

void BM_VeltaRand(benchmark::State& state) {
  veltaSrand(1);
  for (auto _ : state) {
    int sum = 0;
    for (int i = 0; i < kDraws; ++i) sum ^= veltaRand();
    benchmark::DoNotOptimize(sum);
  }
  state.counters["per_number"] = benchmark::Counter(
      kDraws, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_LibraryRand(benchmark::State& state) {
  std::srand(1);
  for (auto _ : state) {
    int sum = 0;
    for (int i = 0; i < kDraws; ++i) sum ^= std::rand();
    benchmark::DoNotOptimize(sum);
  }
  state.counters["per_number"] = benchmark::Counter(
      kDraws, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_VeltaRand)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibraryRand)->Unit(benchmark::kMicrosecond);

}  // namespace
