// Overlapping windows over a chromosome's SNPs: a long region is phased one
// window at a time and the windows joined afterwards (Ligation.h), so that a
// job's memory depends on the window's size, not the chromosome's.
#pragma once

#include <cstdint>
#include <vector>

// SNPs [first, end) of the region, numbered from 0.
struct SnpWindow {
  std::uint64_t first;
  std::uint64_t end;
  std::uint64_t size() const { return end - first; }
};

// Splits `snps` SNPs into the fewest windows of at most `size` SNPs such that
// consecutive windows share exactly `overlap` SNPs; the windows are balanced
// (their sizes differ by at most one), so no short window ends the region.
// Region of at most `size` SNPs: one window; no SNPs: none. An overlap not
// below the size ends the run.
std::vector<SnpWindow> planWindows(std::uint64_t snps, std::uint64_t size, std::uint64_t overlap);

// The random seed of window `index` (from 0) of a run seeded with `seed`: the
// splitmix64 finaliser of (seed * 2^32 + index), upper 32 bits. A window's seed
// depends on nothing else, so a run gives the same windows whether they are
// phased in one process on any number of threads or as separate jobs.
std::uint32_t windowSeed(std::uint32_t seed, std::uint32_t index);
