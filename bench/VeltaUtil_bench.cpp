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

// Blocks of 1024 numbers, as a pass of side draws takes them.
void BM_GeneratorBlocks(benchmark::State& state) {
  veltaSrand(1);
  FeedbackGenerator generator = velta_random::generator;
  std::vector<std::uint32_t> values(1024);
  for (auto _ : state) {
    generator.fill(values.data(), values.size());
    benchmark::DoNotOptimize(values.data());
  }
  state.counters["per_number"] = benchmark::Counter(
      1024, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// 1024 values against 1024 thresholds, 64 at a time: the program's
// comparison (arg 1) or the plain one (arg 0).
void BM_ReachedBits(benchmark::State& state) {
  veltaSrand(2);
  std::vector<std::uint32_t> values(1024);
  std::vector<std::uint32_t> thresholds(1024);
  for (std::size_t j = 0; j < values.size(); ++j) {
    values[j] = static_cast<std::uint32_t>(veltaRand());
    thresholds[j] = static_cast<std::uint32_t>(veltaRand());
  }
  const bool fast = state.range(0) == 1;
  for (auto _ : state) {
    std::uint64_t bits = 0;
    for (std::size_t k = 0; k < values.size(); k += 64) {
      bits ^= fast ? reachedBits(values.data() + k, thresholds.data() + k)
                   : velta_plain::reachedBits(values.data() + k, thresholds.data() + k);
    }
    benchmark::DoNotOptimize(bits);
  }
  state.counters["per_value"] = benchmark::Counter(
      1024, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Side draws of 1024 reads: numbers made and compared in one pass (arg 1),
// or made in a block and then compared 64 at a time (arg 0), as before.
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
      generator.fill(values.data(), values.size());
      for (std::size_t k = 0; k < values.size(); k += 64) {
        bits[k / 64] = reachedBits(values.data() + k, thresholds.data() + k);
      }
    }
    benchmark::DoNotOptimize(bits.data());
  }
  state.counters["per_number"] = benchmark::Counter(
      1024, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_DrawBits)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeneratorBlocks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReachedBits)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VeltaRand)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibraryRand)->Unit(benchmark::kMicrosecond);

}  // namespace
