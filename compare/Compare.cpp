#include "Compare.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BlockStats.h"
#include "CompareReport.h"
#include "Parameter.h"
#include "PhaseFile.h"
#include "PhaseScore.h"
#include "ReadBlocks.h"
#include "VeltaIO.h"

namespace {

const char kUsage[] =
    "Usage: velta-compare TRUTH PHASED [--map MAP] [--reads READS]\n"
    "Scores the phased haplotypes in PHASED against the true ones in TRUTH; both\n"
    "files hold one line of two allele characters per SNP, as velta writes them.\n"
    "  --map MAP      SNP map: checks every allele against its SNP and reports\n"
    "                 block spans in coordinate units too\n"
    "  --reads READS  read file (with --map, read as velta reads it): counts\n"
    "                 switch errors only within the blocks of SNPs that the\n"
    "                 reads connect, and reports those blocks\n";

[[noreturn]] void exitWithUsage(const char* fault) {
  std::fprintf(stderr, "velta-compare: %s\n%s", fault, kUsage);
  veltaExit(1);
}

void takeOptionValue(int argc, char** argv, int& i, const char*& value) {
  if (i + 1 >= argc) {
    composeLine("option %s needs a file name after it", argv[i]);
    exitWithUsage(line);
  }
  value = argv[++i];
}

void takeFileName(const char* argument, CompareOptions& options) {
  if (!options.truthFile) {
    options.truthFile = argument;
  } else if (!options.phasedFile) {
    options.phasedFile = argument;
  } else {
    composeLine("unexpected third file name %s", argument);
    exitWithUsage(line);
  }
}

void checkSameLength(const std::vector<PhasedGenotype>& truth,
                     const std::vector<PhasedGenotype>& phased, const CompareOptions& options) {
  if (truth.size() == phased.size()) return;
  veltaFatal("%s has %zu SNP lines but %s has %zu; both must give every SNP", options.truthFile,
             truth.size(), options.phasedFile, phased.size());
}

// Loads the map through velta's own loader, so a map velta accepts is read
// exactly as velta reads it.
void loadMatchingMap(const CompareOptions& options, std::size_t nSnp, Parameter& map) {
  map.setMapFile(options.mapFile);
  map.initFromMapFile();
  if (map.getNSnp() == nSnp) return;
  veltaFatal("%s has %u SNPs but %s has %zu SNP lines", options.mapFile, map.getNSnp(),
             options.truthFile, nSnp);
}

void writeReport(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    veltaFatal("the report could not be written to standard output");
  }
}

}  // namespace

CompareOptions parseCompareArguments(int argc, char** argv) {
  CompareOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0) {
      std::fputs(kUsage, stdout);
      veltaExit(0);
    } else if (std::strcmp(argument, "--map") == 0) {
      takeOptionValue(argc, argv, i, options.mapFile);
    } else if (std::strcmp(argument, "--reads") == 0) {
      takeOptionValue(argc, argv, i, options.readFile);
    } else if (argument[0] == '-' && argument[1] != '\0') {
      composeLine("unknown option %s", argument);
      exitWithUsage(line);
    } else {
      takeFileName(argument, options);
    }
  }
  if (!options.phasedFile) exitWithUsage("two files are needed: TRUTH and PHASED");
  // Reads are coded against the map's alleles, as velta codes them.
  if (options.readFile && !options.mapFile) exitWithUsage("option --reads needs --map MAP");
  return options;
}

int runCompare(int argc, char** argv) {
  const CompareOptions options = parseCompareArguments(argc, argv);
  const std::vector<PhasedGenotype> truth = loadPhaseFile(options.truthFile);
  const std::vector<PhasedGenotype> phased = loadPhaseFile(options.phasedFile);
  checkSameLength(truth, phased, options);
  Parameter map;
  if (options.mapFile) {
    loadMatchingMap(options, truth.size(), map);
    checkMapAlleles(truth, options.truthFile, map);
    checkMapAlleles(phased, options.phasedFile, map);
  }
  std::vector<unsigned int> blockOf;
  if (options.readFile) {
    blockOf = loadReadBlocks(options.readFile, map);
  }
  const PhaseScore score = scorePhase(truth, phased, blockOf);
  BlockStats blocks;
  if (options.readFile) blocks = summariseBlocks(blockOf, truth, options.mapFile ? &map : nullptr);
  const BlockStats* shownBlocks = options.readFile ? &blocks : nullptr;
  writeReport(formatReport(score, shownBlocks) + summaryLine(score, shownBlocks));
  return 0;
}
