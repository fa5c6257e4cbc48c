// Runs the final phase stage alone on a saved sampler result, so that the
// stage's settings can be tried without rerunning the sampler:
//
//   final_phase_driver MAP PANEL READS SAMPLER_OUTPUT OUTPUT [name=value ...]
//
// SAMPLER_OUTPUT is a velta output file (two allele characters per SNP line),
// typically from `velta --polish 0`. Settings: candidates, window, stretch,
// rounds, switch, reads (the read weight), genotype (margin), mismatch, novel (the
// novel alleles' flank; 0: not placed), panel (0: the reads' phase only), threads
// (velta's --threads).
// Prints the stage's processor time (all threads) and wall time on standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "FinalPhase.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "Reference.h"
#include "VeltaIO.h"

namespace {

// The two haplotypes of a velta output file, coded against the map.
bool loadPair(const char* fileName, const Parameter& parameter, std::vector<bool>& first,
              std::vector<bool>& second) {
  std::ifstream in(fileName);
  std::string text;
  unsigned int j = 0;
  while (std::getline(in, text) && j < parameter.getNSnp()) {
    if (text.size() < 2) return false;
    first.push_back(text[0] == parameter.getMinorAllele(j));
    second.push_back(text[1] == parameter.getMinorAllele(j));
    ++j;
  }
  return j == parameter.getNSnp();
}

bool applySetting(const char* word, FinalPhaseSettings& settings) {
  const char* equals = std::strchr(word, '=');
  if (equals == nullptr) return false;
  const std::string name(word, equals);
  const double value = std::strtod(equals + 1, nullptr);
  if (name == "candidates") {
    settings.candidates = static_cast<int>(value);
  } else if (name == "window") {
    settings.windowSnps = static_cast<unsigned int>(value);
  } else if (name == "stretch") {
    settings.stretchWords = static_cast<unsigned int>(value);
  } else if (name == "rounds") {
    settings.rounds = static_cast<int>(value);
  } else if (name == "switch") {
    settings.switchScale = value;
  } else if (name == "reads") {
    settings.readWeight = value;
  } else if (name == "undecided") {
    settings.undecided = value;
  } else if (name == "mismatch") {
    settings.mismatch = value;
  } else if (name == "novel") {
    settings.novelFlank = static_cast<unsigned int>(value);
  } else if (name == "genotype") {
    settings.genotypeMargin = value;
  } else if (name == "panel") {
    settings.usePanel = value != 0;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: final_phase_driver MAP PANEL READS SAMPLER_OUTPUT OUTPUT [name=value ...]\n");
    return 2;
  }
  FinalPhaseSettings settings;
  Parameter parameter;
  for (int a = 6; a < argc; ++a) {
    if (std::strncmp(argv[a], "threads=", 8) == 0) {
      parameter.setThreads(std::atoi(argv[a] + 8));
    } else if (!applySetting(argv[a], settings)) {
      std::fprintf(stderr, "final_phase_driver: unknown setting %s\n", argv[a]);
      return 2;
    }
  }
  parameter.setMapFile(argv[1]);
  parameter.setRefFile(argv[2]);
  parameter.setSeqFile(argv[3]);
  parameter.setOutFile(argv[5]);
  parameter.setVerbose(0);
  parameter.initFromMapFile();
  std::vector<Read> reads;
  readSeqFile(parameter.getSeqFile(), reads, parameter);
  Reference reference;
  reference.initFromFile(parameter.getRefFile(), parameter);
  parameter.renewTran(static_cast<unsigned int>(reference.getHapNo()));
  std::vector<bool> firstAlleles;
  std::vector<bool> secondAlleles;
  if (!loadPair(argv[4], parameter, firstAlleles, secondAlleles)) {
    std::fprintf(stderr, "final_phase_driver: %s does not hold one line per map SNP\n", argv[4]);
    return 1;
  }
  Haplotype first(firstAlleles);
  Haplotype second(secondAlleles);
  const std::clock_t start = std::clock();
  const auto wallStart = std::chrono::steady_clock::now();
  finalPhase(first, second, reads, reference, parameter, settings);
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  outputInference(first, second, parameter);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  std::fprintf(stderr, "stage %.2f s\nwall %.2f s\n", seconds, wall);
  return 0;
}
