#include "Velta.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <utility>

#include "FinalPhase.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "PhasePolish.h"
#include "Read.h"
#include "ReadSides.h"
#include "Reference.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace {

const char* const kUsage[] = {
    "Usage: velta [options]",
    "options: ",
    "--sfile seq_file : sequencing read file",
    "--rfile ref_file : reference haplotype file",
    "--mfile map_file : SNP map file",
    "--output out_file : output haplotype file",
    "-n iteration: number of sampling iterations (default 1e3)",
    "-u mu : smoothing parameter for sampling (default 1)",
    "-e epsilon : sequencing error rate (default 0.01)",
    "-w omega : mismatch error rate between reference and donar haplotype (default 2e-3)",
    "-r rho : population constant for computing transitions (default 1e-3)",
    "-v verbose : verbose level (default 1)",
    "--polish 0/1 : final phase stage after sampling (default 1)",
    "--threads n : threads used by the sampler and the final phase (default 1)",
    "--seed n : seed of the random generator (default: the clock)",
};

// A count beyond 32 bits saturates instead of wrapping to an unrelated one.
int toInt(const char* value) {
  const long parsed = std::strtol(value, nullptr, 10);
  return static_cast<int>(std::clamp<long>(parsed, INT_MIN, INT_MAX));
}
double toDouble(const char* value) {
  return std::strtod(value, nullptr);
}

// The options added beside the original ones take their value whole or not
// at all: a mistyped seed or thread count silently read as 0 would give a
// run other than the one asked for.
std::uint32_t checkedWholeNumber(const char* option, const char* meaning, const char* value) {
  std::uint32_t number = 0;
  if (!parseUnsigned32(value, &number)) {
    veltaFatal("Option %s (%s) must be a whole number from 0 to 4294967295, found \"%s\"\n", option,
               meaning, value);
  }
  return number;
}

int checkedCount(const char* option, const char* meaning, const char* value) {
  return static_cast<int>(
      std::min<std::uint32_t>(checkedWholeNumber(option, meaning, value), INT_MAX));
}

// Applies one option and its value; the option is selected by its second
// character, long options by their whole text.
void applyOption(const char* option, const char* value, Parameter& parameter) {
  switch (option[1]) {
    case 'n':
      parameter.setMaxIter(toInt(value));
      return;
    case 'm':
      parameter.setSubIter(toInt(value));
      return;
    case 's':
      parameter.setSampleSize(toInt(value));
      return;
    case 'u':
      parameter.setSmoothMu(toDouble(value));
      return;
    case 'e':
      parameter.setSeqError(toDouble(value));
      return;
    case 'w':
      parameter.setEmitError(toDouble(value));
      return;
    case 'r':
      parameter.setTranNe(toDouble(value));
      return;
    case 'v':
      parameter.setVerbose(static_cast<unsigned char>(std::strtol(value, nullptr, 10) & 0xFF));
      return;
    case '-':
      if (std::strcmp(option, "--sfile") == 0) return parameter.setSeqFile(value);
      if (std::strcmp(option, "--rfile") == 0) return parameter.setRefFile(value);
      if (std::strcmp(option, "--mfile") == 0) return parameter.setMapFile(value);
      if (std::strcmp(option, "--output") == 0) return parameter.setOutFile(value);
      if (std::strcmp(option, "--polish") == 0) {
        return parameter.setPolish(checkedCount(option, "final phase stage", value));
      }
      if (std::strcmp(option, "--threads") == 0) {
        return parameter.setThreads(checkedCount(option, "threads", value));
      }
      if (std::strcmp(option, "--seed") == 0) {
        return parameter.setSeed(checkedWholeNumber(option, "random seed", value));
      }
      veltaWarn("Unknown options: %s\n", option);
      exitWithHelp();
    default:
      veltaWarn("Unknown options: -%s\n", option + 1);
      exitWithHelp();
  }
}

void rejectOption(const char* option, const char* meaning, const char* expected, double value) {
  veltaFatal("Option %s (%s) must be %s, found %g\n", option, meaning, expected, value);
}

void checkRate(double value, const char* option, const char* meaning) {
  if (!(value >= 0 && value <= 1)) rejectOption(option, meaning, "between 0 and 1", value);
}

void checkNonNegative(double value, const char* option, const char* meaning) {
  if (!(value >= 0 && std::isfinite(value))) {
    rejectOption(option, meaning, "a finite number of 0 or more", value);
  }
}

}  // namespace

void checkOptionValues(const Parameter& parameter, bool withPanel) {
  if (parameter.getPolish() != 0 && parameter.getPolish() != 1) {
    rejectOption("--polish", "final phase stage", "0 or 1", parameter.getPolish());
  }
  if (parameter.getThreads() < 1) {
    rejectOption("--threads", "threads", "1 or more", parameter.getThreads());
  }
  checkRate(parameter.getSeqError(), "-e", "sequencing error rate");
  checkNonNegative(parameter.getSmoothMu(), "-u", "smoothing exponent");
  if (!withPanel) return;
  checkRate(parameter.getEmitError(), "-w", "mismatch rate");
  checkNonNegative(parameter.getTranNe(), "-r", "population constant");
  if (parameter.getSubIter() < 0) {
    rejectOption("-m", "inner iterations", "0 or more", parameter.getSubIter());
  }
  // The warm start runs with a positive -n only; the upper limit waits for the
  // panel, whose size lowers the sample size.
  if (parameter.getMaxIter() > 0 && parameter.getSampleSize() < 1) {
    rejectOption("-s", "panel haplotypes sampled for the warm start", "1 or more",
                 parameter.getSampleSize());
  }
}

namespace {

// Runs whose result no read shaped are completed, but said so.
void warnUnsampled(const Parameter& parameter) {
  const int maxIter = parameter.getMaxIter();
  if (maxIter == 0 || (maxIter < 0 && !parameter.getHasRef())) {
    veltaWarn(
        "Option -n is %d: no sampling iteration runs, so the haplotypes written are not drawn "
        "from the reads\n",
        maxIter);
  }
}

void warnNoReads(const std::vector<Read>& reads, const Parameter& parameter) {
  if (!reads.empty() || parameter.getNSnp() == 0) return;
  veltaWarn(
      "No read with an allele of the SNP map was loaded from the read file \"%s\": the "
      "haplotypes written are not phased by any read\n",
      parameter.getSeqFile());
}

// Sum over reads of their present alleles.
long long countReadBits(const std::vector<Read>& reads) {
  long long bits = 0;
  for (const Read& read : reads) bits += read.size();
  return bits;
}

void printReadSummary(const std::vector<Read>& reads, const Parameter& parameter) {
  const long long bits = countReadBits(reads);
  composeLine("Number of read : [%d]", static_cast<int>(reads.size()));
  veltaMessage(line, 0, parameter);
  composeLine("Number of read bit : [%lld]", bits);
  veltaMessage(line, 0, parameter);
  // With no reads the average is reported as 0, not as the quotient 0 / 0.
  const double average = reads.empty() ? 0.0 : static_cast<double>(bits) / reads.size();
  composeLine("Number of SNP per read on average : [%.2f]", average);
  veltaMessage(line, 0, parameter);
  composeLine("Number of SNP : [%d]", static_cast<int>(parameter.getNSnp()));
  veltaMessage(line, 0, parameter);
}

}  // namespace

void printVersionInformation() {
  std::puts(
      "@----------------------------------------------------------@\n"
      "|         VELTA!       |      v0.21      |    8/Nov/201 3  |\n"
      "|----------------------------------------------------------|\n"
      "|  For documentation, citation & bug-report instructions:  |\n"
      "|           README.md in the velta source folder           |\n"
      "@----------------------------------------------------------@\n");
}

void exitWithHelp() {
  for (const char* text : kUsage) std::puts(text);
  veltaExit(1);
}

void parseInputParameter(int argc, char** argv, Parameter& parameter) {
  if (argc < 3 || argv[1][0] != '-') exitWithHelp();
  for (int i = 1;; i += 2) {
    applyOption(argv[i], argv[i + 1], parameter);
    if (i + 2 >= argc) return;
    if (argv[i + 2][0] != '-' || i + 3 >= argc) exitWithHelp();
  }
}

void printInputInformation(const std::vector<Read>& reads, const Parameter& parameter) {
  composeLine(
      "Options in effect:\n    --sfile %s\n    --mfile %s\n    --output %s\n    -n %d\n"
      "    -u %f\n    -e %f\n    -w %f\n    -r %f\n    -v %d\n",
      parameter.getSeqFile(), parameter.getMapFile(), parameter.getOutFile(),
      parameter.getMaxIter(), parameter.getSmoothMu(), parameter.getSeqError(),
      parameter.getEmitError(), parameter.getTranNe(), parameter.getVerbose());
  veltaMessage(line, 0, parameter);
  printReadSummary(reads, parameter);
  veltaMessage("", 0, parameter);
}

void printInputInformation(const std::vector<Read>& reads, const Reference& reference,
                           const Parameter& parameter) {
  composeLine(
      "Options in effect:\n    --sfile %s\n    --rfile %s\n    --mfile %s\n    --output %s\n"
      "    -n %d\n    -u %f\n    -e %f\n    -w %f\n    -r %f\n    -v %d\n",
      parameter.getSeqFile(), parameter.getRefFile(), parameter.getMapFile(),
      parameter.getOutFile(), parameter.getMaxIter(), parameter.getSmoothMu(),
      parameter.getSeqError(), parameter.getEmitError(), parameter.getTranNe(),
      parameter.getVerbose());
  veltaMessage(line, 0, parameter);
  printReadSummary(reads, parameter);
  composeLine("Number of reference : [%d]", reference.getHapNo());
  veltaMessage(line, 0, parameter);
  veltaMessage("", 0, parameter);
}

void printTimingLine() {
  std::printf(
      "sampling time (read %llu %f, haplotype %llu %f, reference %llu %f)\n",
      static_cast<unsigned long long>(Read::getCount()), Read::getTime() / 1000000.0,
      static_cast<unsigned long long>(Haplotype::getCount()), Haplotype::getTime() / 1000000.0,
      static_cast<unsigned long long>(Reference::getCount()), Reference::getTime() / 1000000.0);
}

int assemblyMismatch(const Haplotype& haplotype) {
  long long mismatch = 0;
  for (unsigned int j = 0; j < static_cast<unsigned int>(haplotype.getLength()); ++j) {
    mismatch += haplotype.getCount(j, !haplotype[j]);
  }
  // Saturates rather than wraps for inputs beyond two billion read alleles.
  return mismatch > INT_MAX ? INT_MAX : static_cast<int>(mismatch);
}


void assemblyGibbs(Haplotype& haplotype, std::vector<Read>& reads, const Parameter& parameter) {
  for (const Read& read : reads) haplotype.assignRead(read, Haplotype::ALL_READS);
  Haplotype best = haplotype;
  int bestMismatch = INT_MAX;
  for (int iteration = 0; iteration < parameter.getMaxIter(); ++iteration) {
    haplotype.sample(parameter);
    // One clock reading per pass: the clock costs far more than a flip draw.
    const std::clock_t start = std::clock();
    Read::sampleFlips(reads, haplotype, parameter);
    Read::addTime(std::clock() - start);
    const int mismatch = assemblyMismatch(haplotype);
    composeLine("no. of mismatch = %d", mismatch);
    veltaMessage(line, 2, parameter);
    if (mismatch < bestMismatch) {
      best = haplotype;  // same length: the copy reuses best's storage
      bestMismatch = mismatch;
    }
    parameter.reportProgress(static_cast<double>(iteration + 1) / parameter.getMaxIter());
  }
  haplotype = best;
  // Single-site draws at ~99:1 odds per call cannot move a junction between
  // two oppositely phased stretches: the best state is polished by whole
  // switches of phase. No iteration, no state to polish.
  if (parameter.getMaxIter() > 0 && parameter.getPolish() == 1) {
    bestMismatch = polishAssembly(haplotype, reads);
  }
  composeLine("Optimal number of mismatch : [%d]", bestMismatch);
  veltaMessage(line, 0, parameter);
}

namespace {

// The reads' agreement with the pair, every read walked.
ReadAgreement countAgreement(const Haplotype& first, const Haplotype& second,
                             const std::vector<Read>& reads) {
  ReadAgreement agreement;
  for (const Read& read : reads) {
    agreement.add(read.size(), read.countMatch(first), read.countMatch(second));
  }
  return agreement;
}

// The score of the pair given its reads' agreement and its panel term: the
// reads' term plus the panel term, reported at level 3.
double scorePair(const ReadAgreement& agreement, double panelTerm, const Parameter& parameter) {
  const double readTerm =
      countLog(static_cast<double>(agreement.matches), parameter.getSeqLogRight()) +
      countLog(static_cast<double>(agreement.mismatches), parameter.getSeqLogError());
  composeLine("mismatch = %.5f [%llu %llu], reference = %.5f", readTerm, agreement.mismatches,
              agreement.bestSideMismatches, panelTerm);
  veltaMessage(line, 3, parameter);
  return readTerm + panelTerm;
}

// inferenceLikelihood with both haplotypes' forward passes kept for their
// next path draws.
double scoreKeepingPasses(const Haplotype& first, const Haplotype& second,
                          const ReadAgreement& agreement, const Reference& reference,
                          const Parameter& parameter, ForwardPass (&passes)[2]) {
  double secondTerm = 0.0;
  // The two passes share nothing but the panel: with threads to spare the
  // second runs beside the first.
  std::thread beside;
  if (parameter.getThreads() > 1) {
    beside = std::thread([&] { secondTerm = reference.forward(passes[1], second, parameter); });
  }
  const double firstTerm = reference.forward(passes[0], first, parameter);
  if (beside.joinable()) {
    beside.join();
  } else {
    secondTerm = reference.forward(passes[1], second, parameter);
  }
  return scorePair(agreement, firstTerm + secondTerm, parameter);
}

// Draws both haplotypes' paths from their kept passes, the second's numbers
// following the first's. Given `ahead` (a jump of one number per SNP) the
// second is drawn on another thread beside the first, from where the first's
// numbers end unless one of its draws fell short of its weights' total and
// drew again; then the second is drawn anew after the first. Passes a draw
// could end the run with are drawn one after the other, as the program's one
// thread would.
void drawPaths(const Reference& reference, ForwardPass (&passes)[2], RefPath& firstPath,
               RefPath& secondPath, const Haplotype& first, const Haplotype& second,
               const FeedbackGenerator::Jump* ahead) {
  if (ahead == nullptr || !reference.drawable(passes[0]) || !reference.drawable(passes[1])) {
    reference.drawPath(firstPath, passes[0], first);
    reference.drawPath(secondPath, passes[1], second);
    return;
  }
  const FeedbackGenerator start = velta_random::generator;
  FeedbackGenerator besideEnd;
  std::thread beside([&] {
    velta_random::generator = ahead->from(start);
    velta_random::generatorMatchesLibrary = true;
    reference.drawPath(secondPath, passes[1], second);
    besideEnd = velta_random::generator;
  });
  const std::uint64_t numbers = reference.drawPath(firstPath, passes[0], first);
  beside.join();
  if (numbers == ahead->distance()) {
    velta_random::generator = besideEnd;
    Reference::addCalls(1);
  } else {
    reference.drawPath(secondPath, passes[1], second);
  }
}

// Seeds both haplotypes from the best pair of panel paths for the pooled read
// alleles, then draws every read's side against that pair.
void warmStart(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
               const Reference& reference, const Parameter& parameter) {
  veltaMessage("counting read likelihood...", 2, parameter);
  AlleleCounts counts(reference.getSnpNo());
  for (const Read& read : reads) {
    for (ReadIterator it = read.begin(); it != read.end(); ++it) {
      const auto [snp, minor] = *it;
      if (minor) {
        ++counts[snp].second;
      } else {
        ++counts[snp].first;
      }
    }
  }
  veltaMessage("warm start...", 1, parameter);
  RefPath pathA(reference);
  RefPath pathB(reference);
  reference.maxPath(pathA, pathB, counts, parameter);
  first.copyInit(pathA);
  second.copyInit(pathB);
  const std::clock_t start = std::clock();
  for (Read& read : reads) read.sampleFlip(first, second, parameter);
  Read::addTime(std::clock() - start);
}

}  // namespace

void inferenceGibbs(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
                    const Reference& reference, const Parameter& parameter) {
  if (parameter.getMaxIter() > 0) warmStart(first, second, reads, reference, parameter);

  // Each score's forward passes serve the path draws that follow it: the
  // alleles do not change in between.
  ForwardPass passes[2];
  composeLine("Start likelihood = %f\n",
              scoreKeepingPasses(first, second, countAgreement(first, second, reads), reference,
                                 parameter, passes));
  veltaMessage(line, 2, parameter);
  for (const Read& read : reads) {
    if (read.getFlip() == 1) {
      second.assignRead(read, Haplotype::FLIPPED_READS);
    } else {
      first.assignRead(read, Haplotype::UNFLIPPED_READS);
    }
  }

  Haplotype bestFirst(first);
  Haplotype bestSecond(second);
  double bestLikelihood = kLogFloor;
  RefPath firstPath(reference);
  RefPath secondPath(reference);
  ReadSides sides(reads, first, second, parameter, static_cast<unsigned>(parameter.getThreads()));
  std::vector<std::uint64_t> firstCopied;
  std::vector<std::uint64_t> secondCopied;
  // Path draws side by side need the program's own generator, which can jump.
  std::unique_ptr<FeedbackGenerator::Jump> pathsAhead;
  if (parameter.getThreads() > 1 && velta_random::generatorMatchesLibrary) {
    pathsAhead = std::make_unique<FeedbackGenerator::Jump>(reference.getSnpNo());
  }
  // A negative count skips the warm start but still runs its absolute value
  // of iterations.
  for (long long i = 0; i < std::llabs(parameter.getMaxIter()); ++i) {
    drawPaths(reference, passes, firstPath, secondPath, first, second, pathsAhead.get());
    firstPath.copiedAlleles(firstCopied);
    secondPath.copiedAlleles(secondCopied);
    sides.subIterations(static_cast<unsigned>(parameter.getSubIter()), first, second,
                        firstCopied, secondCopied, parameter);
    const double likelihood =
        scoreKeepingPasses(first, second, sides.agreement(), reference, parameter, passes);
    const double done = static_cast<double>(i) / std::llabs(parameter.getMaxIter()) * 100;
    composeLine("likelihood = %f (%.1f%% done)", likelihood, done);
    veltaMessage(line, 1, parameter);
    if (likelihood > bestLikelihood) {
      bestFirst = first;
      bestSecond = second;
      bestLikelihood = likelihood;
    }
    parameter.reportProgress(static_cast<double>(i + 1) / std::llabs(parameter.getMaxIter()));
  }
  sides.storeFlips(reads);
  composeLine("max likelihood = [%.5f]", bestLikelihood);
  veltaMessage(line, 1, parameter);
  first = bestFirst;
  second = bestSecond;
}

double inferenceLikelihood(const Haplotype& first, const Haplotype& second,
                           const std::vector<Read>& reads, const Reference& reference,
                           const Parameter& parameter) {
  return scorePair(
      countAgreement(first, second, reads),
      reference.forwardProb(first, parameter) + reference.forwardProb(second, parameter),
      parameter);
}

void inferHaplotypes(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
                     const Reference& reference, const Parameter& parameter) {
  inferenceGibbs(first, second, reads, reference, parameter);
  // The sampler's best state keeps the phase of its warm start almost
  // everywhere: its genotypes are kept and its phase is redone from the reads
  // and the whole panel. Without an iteration there is no state to rephase.
  if (parameter.getMaxIter() != 0 && parameter.getPolish() == 1) {
    veltaMessage("final phase...", 2, parameter);
    finalPhase(first, second, reads, reference, parameter);
  }
}

namespace {

// Haplotype assembly from the reads alone: the haplotype and its complement.
void runAssembly(Haplotype& haplotype, std::vector<Read>& reads, const Parameter& parameter) {
  printInputInformation(reads, parameter);
  veltaMessage("Haplotype assembly start...", 1, parameter);
  assemblyGibbs(haplotype, reads, parameter);
  std::puts("start output");
  outputAssembly(haplotype, parameter);
}

// Haplotype inference: both haplotypes as mosaics of the panel's.
void runInference(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
                  const Reference& reference, const Parameter& parameter) {
  printInputInformation(reads, reference, parameter);
  veltaMessage("Haplotype inference with reference start...", 1, parameter);
  inferHaplotypes(first, second, reads, reference, parameter);
  outputInference(first, second, parameter);
}

}  // namespace

int runVelta(int argc, char** argv) {
  printVersionInformation();
  Parameter parameter;
  parseInputParameter(argc, argv, parameter);
  checkOptionValues(parameter, parameter.getHasRef());
  // Before anything draws: the haplotypes' random alleles are the first draws.
  if (parameter.getHasSeed()) veltaSrand(parameter.getSeed());
  // Settle where the result goes before hours of loading and sampling.
  checkOutputWritable(parameter.getOutFile());
  if (parameter.getOutFile()[0] == '\0') {
    veltaWarning("No output file given (--output): the phased haplotypes will not be written\n");
  }
  parameter.initFromMapFile();
  std::vector<Read> reads;
  readSeqFile(parameter.getSeqFile(), reads, parameter);
  warnNoReads(reads, parameter);
  warnUnsampled(parameter);
  Reference reference;
  if (parameter.getHasRef()) {
    reference.initFromFile(parameter.getRefFile(), parameter);
    parameter.setSampleSize(std::min(parameter.getSampleSize(), reference.getHapNo()));
    parameter.renewTran(static_cast<unsigned int>(reference.getHapNo()));
  }
  const int nSnp = static_cast<int>(parameter.getNSnp());
  // Both are built in every mode: each draws one veltaRand() per SNP, which fixes
  // the draws of the sampler that follows.
  Haplotype first(nSnp);
  Haplotype second(nSnp);
  if (parameter.getHasRef()) {
    runInference(first, second, reads, reference, parameter);
  } else {
    runAssembly(first, reads, parameter);
  }
  printTimingLine();
  return 0;
}
