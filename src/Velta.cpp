#include "Velta.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  std::printf("sampling time (read %llu %f, haplotype %llu %f, reference %llu %f)\n", 0ULL, 0.0,
              0ULL, 0.0, 0ULL, 0.0);
}

int runVelta(int argc, char** argv) {
  printVersionInformation();
  Parameter parameter;
  parseInputParameter(argc, argv, parameter);
  parameter.initFromMapFile();
  std::vector<Read> reads;
  printInputInformation(reads, parameter);
  printTimingLine();
  return 0;
}
