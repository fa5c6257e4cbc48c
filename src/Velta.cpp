#include "Velta.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "VeltaIO.h"

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
};

int toInt(const char* value) {
  return static_cast<int>(std::strtol(value, nullptr, 10));
}
double toDouble(const char* value) {
  return std::strtod(value, nullptr);
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
      composeLine("Unknown options: %s\n", option);
      veltaWarning(line);
      exitWithHelp();
    default:
      composeLine("Unknown options: -%s\n", option + 1);
      veltaWarning(line);
      exitWithHelp();
  }
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

// The present calls of every read sorted by SNP, read after read.
struct SortedCalls {
  std::vector<std::uint32_t> snp;
  std::vector<unsigned char> minor;
  std::vector<std::size_t> readEnd;  // one past each read's last call
};

SortedCalls sortCalls(const std::vector<Read>& reads) {
  SortedCalls calls;
  std::vector<std::pair<std::uint32_t, bool>> one;
  for (const Read& read : reads) {
    one.clear();
    for (ReadIterator it = read.begin(); it != read.end(); ++it) one.push_back(*it);
    std::sort(one.begin(), one.end());
    for (const auto& call : one) {
      calls.snp.push_back(call.first);
      calls.minor.push_back(call.second);
    }
    calls.readEnd.push_back(calls.snp.size());
  }
  return calls;
}

// Mismatch of a read under its better orientation, given its disagreements.
long long betterOrientation(long long disagree, long long size) {
  return std::min(disagree, size - disagree);
}

// Change of the total mismatch for complementing each single SNP (`single`)
// and every SNP from c on (`cut`, differences: entry c adds to cuts c and up).
void scoreMoves(const SortedCalls& calls, const std::vector<unsigned char>& alleles,
                std::vector<long long>& single, std::vector<long long>& cut) {
  std::fill(single.begin(), single.end(), 0);
  std::fill(cut.begin(), cut.end(), 0);
  std::size_t begin = 0;
  for (std::size_t end : calls.readEnd) {
    const long long size = static_cast<long long>(end - begin);
    long long disagree = 0;
    for (std::size_t i = begin; i < end; ++i) disagree += alleles[calls.snp[i]] != calls.minor[i];
    const long long now = betterOrientation(disagree, size);
    long long before = 0;  // disagreements among calls before the group
    for (std::size_t i = begin; i < end;) {
      std::size_t next = i;
      long long group = 0;
      while (next < end && calls.snp[next] == calls.snp[i]) {
        group += alleles[calls.snp[next]] != calls.minor[next];
        ++next;
      }
      const long long groupSize = static_cast<long long>(next - i);
      single[calls.snp[i]] += betterOrientation(disagree + groupSize - 2 * group, size) - now;
      before += group;
      if (next < end) {
        // Complementing from any SNP after this group up to the next call's.
        const long long after = size - static_cast<long long>(next - begin);
        const long long switched = before + after - (disagree - before);
        const long long change = betterOrientation(switched, size) - now;
        cut[calls.snp[i] + 1] += change;
        cut[calls.snp[next] + 1] -= change;
      }
      i = next;
    }
    begin = end;
  }
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

void printTimingLine() {
  // No panel path is drawn in assembly; the panel's counters join the line
  // together with the panel sampler.
  std::printf("sampling time (read %llu %f, haplotype %llu %f, reference %llu %f)\n",
              static_cast<unsigned long long>(Read::getCount()), Read::getTime() / 1000000.0,
              static_cast<unsigned long long>(Haplotype::getCount()),
              Haplotype::getTime() / 1000000.0, 0ULL, 0.0);
}

int assemblyMismatch(const Haplotype& haplotype) {
  long long mismatch = 0;
  for (unsigned int j = 0; j < static_cast<unsigned int>(haplotype.getLength()); ++j) {
    mismatch += haplotype.getCount(j, !haplotype[j]);
  }
  // Saturates rather than wraps for inputs beyond two billion read alleles.
  return mismatch > INT_MAX ? INT_MAX : static_cast<int>(mismatch);
}

int polishAssembly(Haplotype& haplotype, std::vector<Read>& reads) {
  const unsigned int nSnp = static_cast<unsigned int>(haplotype.getLength());
  std::vector<unsigned char> alleles(nSnp);
  for (unsigned int j = 0; j < nSnp; ++j) alleles[j] = haplotype[j];
  const SortedCalls calls = sortCalls(reads);
  std::vector<long long> single(nSnp);
  std::vector<long long> cut(nSnp + 1);
  for (;;) {
    scoreMoves(calls, alleles, single, cut);
    long long best = 0;
    unsigned int from = 0;
    unsigned int to = 0;  // the move complements SNPs from .. to - 1
    long long running = 0;
    for (unsigned int c = 1; c < nSnp; ++c) {
      running += cut[c];
      if (running < best) {
        best = running;
        from = c;
        to = nSnp;
      }
    }
    for (unsigned int j = 0; j < nSnp; ++j) {
      if (single[j] < best) {
        best = single[j];
        from = j;
        to = j + 1;
      }
    }
    if (best == 0) break;
    for (unsigned int j = from; j < to; ++j) alleles[j] ^= 1;
  }
  haplotype = Haplotype(std::vector<bool>(alleles.begin(), alleles.end()));
  std::size_t begin = 0;
  for (std::size_t r = 0; r < reads.size(); ++r) {
    const std::size_t end = calls.readEnd[r];
    long long disagree = 0;
    for (std::size_t i = begin; i < end; ++i) disagree += alleles[calls.snp[i]] != calls.minor[i];
    const long long size = static_cast<long long>(end - begin);
    if (disagree != size - disagree) reads[r].setFlip(disagree > size - disagree);
    haplotype.assignRead(reads[r], Haplotype::ALL_READS);
    begin = end;
  }
  return assemblyMismatch(haplotype);
}

void assemblyGibbs(Haplotype& haplotype, std::vector<Read>& reads, const Parameter& parameter) {
  for (const Read& read : reads) haplotype.assignRead(read, Haplotype::ALL_READS);
  Haplotype best = haplotype;
  int bestMismatch = INT_MAX;
  for (int iteration = 0; iteration < parameter.getMaxIter(); ++iteration) {
    haplotype.sample(parameter);
    // One clock reading per pass: the clock costs far more than a flip draw.
    const std::clock_t start = std::clock();
    for (Read& read : reads) {
      if (read.sampleFlip(haplotype, parameter)) haplotype.flipRead(read, Haplotype::ALL_READS);
    }
    Read::addTime(std::clock() - start);
    const int mismatch = assemblyMismatch(haplotype);
    composeLine("no. of mismatch = %d", mismatch);
    veltaMessage(line, 2, parameter);
    if (mismatch < bestMismatch) {
      best = haplotype;  // same length: the copy reuses best's storage
      bestMismatch = mismatch;
    }
  }
  haplotype = best;
  // Single-site draws at ~99:1 odds per call cannot move a junction between
  // two oppositely phased stretches: the best state is polished by whole
  // switches of phase. No iteration, no state to polish.
  if (parameter.getMaxIter() > 0) bestMismatch = polishAssembly(haplotype, reads);
  composeLine("Optimal number of mismatch : [%d]", bestMismatch);
  veltaMessage(line, 0, parameter);
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

}  // namespace

int runVelta(int argc, char** argv) {
  printVersionInformation();
  Parameter parameter;
  parseInputParameter(argc, argv, parameter);
  // Settle where the result goes before hours of loading and sampling.
  checkOutputWritable(parameter.getOutFile());
  if (parameter.getOutFile()[0] == '\0') {
    veltaWarning("No output file given (--output): the phased haplotypes will not be written\n");
  }
  parameter.initFromMapFile();
  std::vector<Read> reads;
  readSeqFile(parameter.getSeqFile(), reads, parameter);
  const int nSnp = static_cast<int>(parameter.getNSnp());
  Haplotype first(nSnp);
  Haplotype second(nSnp);
  // Inference mode (a panel that opened, getHasRef()) loads the panel and runs
  // its own sampler here on both haplotypes; every other run assembles.
  runAssembly(first, reads, parameter);
  printTimingLine();
  return 0;
}
