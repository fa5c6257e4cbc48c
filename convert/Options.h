// The converter's command line: a subcommand and its options.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class Command { kPanel, kMap, kReads, kVcf, kPhase, kLigate, kWindows };

// The window size of velta-convert windows without --window; phase without
// --window phases its region whole.
constexpr int kDefaultWindow = 2000;

struct ConvertOptions {
  Command command = Command::kPanel;
  std::string vcf;     // panel, map, phase, windows: the input VCF or BCF
  std::string region;  // panel, map, phase, windows: CHR, CHR:FROM or CHR:FROM-TO (1-based); empty: all
  std::string samplesExclude;    // panel: names separated by commas, or a file of names
  bool allowUnphased = false;    // panel: drop sites with unphased or missing genotypes
  bool keepMonomorphic = false;  // panel: keep SNPs whose ALT (or REF) no haplotype carries
  std::string sample;            // map, vcf, ligate: the sample's name
  bool hetOnly = false;          // map: only the sample's heterozygous SNPs
  std::string bam;               // reads: SAM, BAM or CRAM
  std::string reference;         // reads: FASTA that decodes a CRAM
  std::string map;               // reads, vcf: a velta SNP map
  int minMapq = 20;              // reads: lowest mapping quality kept
  int minBaseq = 13;             // reads: lowest base quality that shows an allele
  std::string haplotypes;        // vcf: velta's output file
  std::string reads;             // vcf: the velta read file that links SNPs into phase sets
  std::string out;               // output file (panel: prefix of PREFIX.map and PREFIX.panel)
  std::string panel;             // phase: phased reference panel (VCF or BCF); empty: assembly
  std::string keepIntermediate;  // phase: folder for velta's input and output files; empty: none
  // phase: velta's own options and their values, in command-line order, as
  // velta's command line takes them (-n 100 --seed 7 ...).
  std::vector<std::string> veltaOptions;
  int window = 0;                // phase, windows: most SNPs in one window; 0: not given
  int overlap = 200;             // phase, windows: SNPs shared by neighbouring windows
  std::uint32_t seed = 1;        // windows: the run's seed, from which each window's derives
  std::vector<std::string> inputs;  // ligate: the window VCFs, in position order
};

// Reads argv[1..]. `velta-convert`, `-h` or `--help` anywhere prints the usage
// (standard output and status 0 when asked for, standard error and status 1
// otherwise); an unknown subcommand or option, a missing value or a missing
// required option ends the run naming it.
ConvertOptions parseOptions(int argc, char** argv);

// The window size in effect: --window, or kDefaultWindow for windows; 0 for
// an unwindowed phase.
int windowSize(const ConvertOptions& options);

// The values of the options that name files the run reads (--vcf, --bam,
// --map, ...), in the order of the option table.
std::vector<std::string> inputFiles(const ConvertOptions& options);

// The usage text, with the defaults of ConvertOptions.
void printUsage(std::FILE* stream);
