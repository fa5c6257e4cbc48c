// Inputs of the Gibbs sampler benchmarks: the large shared inference data set
// (map, short or long reads, the individual's true haplotypes), or, when the
// shared folder is absent, synthetic data of the same shape.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Parameter.h"
#include "Read.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace velta_bench {

// The shared folder the build was configured with, or the one the
// VELTA_SHARED_DIR environment variable names.
inline std::string sharedRoot() {
  const char* shared = std::getenv("VELTA_SHARED_DIR");
  return shared != nullptr && *shared != '\0' ? shared : VELTA_SHARED_DIR;
}

inline std::string largeInferenceDir() {
  return sharedRoot() + "/data/HG01500/large/inference/";
}

// Reads over a map, with the two haplotypes they were drawn from.
struct ReadSet {
  Parameter parameter;
  std::vector<Read> reads;
  std::vector<bool> truth[2];
  bool synthetic = false;
};

// The true haplotypes from truth.txt (two allele characters per SNP line).
inline bool loadTruth(const std::string& fileName, ReadSet& set) {
  std::ifstream in(fileName);
  std::string text;
  for (unsigned j = 0; std::getline(in, text) && j < set.parameter.getNSnp(); ++j) {
    if (text.size() < 2) return false;
    for (int h = 0; h < 2; ++h) set.truth[h].push_back(text[h] == set.parameter.getMinorAllele(j));
  }
  return set.truth[0].size() == set.parameter.getNSnp();
}

// A run of `length` characters of haplotype `h` from SNP `start` with 1%
// sequencing errors.
inline std::string syntheticRun(const ReadSet& set, int h, unsigned start, unsigned length) {
  std::string run = std::to_string(start + 1) + " ";
  for (unsigned j = start; j < start + length; ++j) {
    const bool error = veltaRand() % 100 == 0;
    run += set.truth[h][j] != error ? 'G' : 'A';
  }
  return run + " ";
}

// 18,788 SNPs of major A and minor G; short reads are pairs of 1 to 2 SNPs
// each, long reads runs of 20 to 190 SNPs, both at 30x depth over the two
// random haplotypes.
inline std::unique_ptr<ReadSet> syntheticReadSet(bool longReads) {
  auto set = std::make_unique<ReadSet>();
  set->synthetic = true;
  const unsigned nSnp = 18788;
  std::ostringstream map;
  for (unsigned j = 0; j < nSnp; ++j)
    map << "20 s" << j << ' ' << j + 1 << ' ' << j + 1 << " A G\n";
  std::istringstream mapIn(map.str());
  set->parameter.initFromMapStream(mapIn);
  veltaSrand(1);
  for (int h = 0; h < 2; ++h) {
    for (unsigned j = 0; j < nSnp; ++j) set->truth[h].push_back(veltaRand() % 10 == 0);
  }
  std::ostringstream reads;
  const unsigned count = longReads ? 9000 : 243000;
  for (unsigned r = 0; r < count; ++r) {
    const int h = veltaRand() & 1;
    if (longReads) {
      const unsigned length = 20 + veltaRand() % 171;
      reads << syntheticRun(*set, h, veltaRand() % (nSnp - length), length) << '\n';
    } else {
      const unsigned start = veltaRand() % (nSnp - 8);
      reads << syntheticRun(*set, h, start, 1 + veltaRand() % 2)
            << syntheticRun(*set, h, start + 4, 1 + veltaRand() % 2) << '\n';
    }
  }
  std::istringstream readIn(reads.str());
  readSeqStream(readIn, "synthetic", set->reads, set->parameter);
  return set;
}

// The large inference data set's map and reads.txt (short) or reads.long.txt
// (long), loaded once per process; synthetic data when they are absent.
inline const ReadSet& readSet(bool longReads) {
  static std::map<bool, std::unique_ptr<ReadSet>> loaded;
  std::unique_ptr<ReadSet>& set = loaded[longReads];
  if (set) return *set;
  const std::string dir = largeInferenceDir();
  std::ifstream map(dir + "map.txt");
  const std::string readFile = dir + (longReads ? "reads.long.txt" : "reads.txt");
  std::ifstream reads(readFile);
  if (map && reads) {
    set = std::make_unique<ReadSet>();
    set->parameter.initFromMapStream(map);
    veltaSrand(1);
    readSeqStream(reads, readFile.c_str(), set->reads, set->parameter);
    if (!loadTruth(dir + "truth.txt", *set)) set.reset();
  }
  if (!set) set = syntheticReadSet(longReads);
  return *set;
}

// Reports the time per item (read or SNP) of one benchmark iteration.
inline void reportPer(benchmark::State& state, const char* name, double items) {
  state.counters[name] = benchmark::Counter(
      items, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace velta_bench
