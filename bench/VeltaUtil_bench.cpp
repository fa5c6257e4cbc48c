// The program's random generator against the C library's rand(), per number;
// numbers made in blocks as the read side draws take them; the side draws'
// threshold comparison beside its plain form.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "PlainKernels.h"
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

// Side draws of 1024 reads: numbers made and compared in one pass (arg 1),
// or made one at a time and then compared one at a time (arg 0).
void BM_DrawBits(benchmark::State& state) {
  veltaSrand(2);
  FeedbackGenerator generator = velta_random::generator;
  std::vector<std::uint32_t> values(1024);
  std::vector<std::uint32_t> thresholds(1024);
  std::vector<std::uint64_t> bits(16);
  for (std::uint32_t& threshold : thresholds) threshold = static_cast<std::uint32_t>(veltaRand());
  const bool fused = state.range(0) == 1;
  for (auto _ : state) {
    if (fused) {
      generator.drawBits(thresholds.data(), thresholds.size(), bits.data());
    } else {
      for (std::uint32_t& value : values) value = static_cast<std::uint32_t>(generator.next());
      for (std::size_t k = 0; k < values.size(); k += 64) {
        bits[k / 64] = velta_plain::reachedBits(values.data() + k, thresholds.data() + k);
      }
    }
    benchmark::DoNotOptimize(bits.data());
  }
  state.counters["per_number"] = benchmark::Counter(
      1024, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_DrawBits)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VeltaRand)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibraryRand)->Unit(benchmark::kMicrosecond);

}  // namespace
