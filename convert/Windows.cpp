#include "Windows.h"

#include "VeltaIO.h"

std::vector<SnpWindow> planWindows(std::uint64_t snps, std::uint64_t size, std::uint64_t overlap) {
  if (overlap >= size) {
    veltaFatal("a window of %llu SNPs cannot overlap the next by %llu: the overlap must be "
                 "smaller than the window",
                 static_cast<unsigned long long>(size), static_cast<unsigned long long>(overlap));
  }
  std::vector<SnpWindow> windows;
  if (snps == 0) return windows;
  const std::uint64_t step = size - overlap;
  // Each window owns a stretch of SNPs and reaches `overlap` SNPs into the
  // next one's; the stretches split the SNPs before the last overlap evenly.
  const std::uint64_t shared = snps > size ? snps - overlap : snps;
  const std::uint64_t count = snps > size ? (shared + step - 1) / step : 1;
  const std::uint64_t reach = snps > size ? overlap : 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t first = i * shared / count;
    const std::uint64_t next = (i + 1) * shared / count;
    windows.push_back({first, next + reach});
  }
  return windows;
}

std::uint32_t windowSeed(std::uint32_t seed, std::uint32_t index) {
  std::uint64_t x = (static_cast<std::uint64_t>(seed) << 32) | index;
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  return static_cast<std::uint32_t>(x >> 32);
}
