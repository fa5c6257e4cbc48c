#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "VeltaIO.h"

namespace {

// Which subcommands accept an option, one bit per Command.
constexpr unsigned kPanel = 1u << static_cast<unsigned>(Command::kPanel);
constexpr unsigned kMap = 1u << static_cast<unsigned>(Command::kMap);
constexpr unsigned kReads = 1u << static_cast<unsigned>(Command::kReads);
constexpr unsigned kVcf = 1u << static_cast<unsigned>(Command::kVcf);
constexpr unsigned kPhase = 1u << static_cast<unsigned>(Command::kPhase);
constexpr unsigned kLigate = 1u << static_cast<unsigned>(Command::kLigate);
constexpr unsigned kWindows = 1u << static_cast<unsigned>(Command::kWindows);

struct OptionRule {
  const char* name;
  unsigned commands;
  std::string ConvertOptions::*text;  // set for options with a text value
  bool ConvertOptions::*flag;         // set for options without a value
  int ConvertOptions::*number;        // set for options with a number value
  int maxNumber;
  bool isInput;         // names a file the run reads, which no output may overwrite
  bool forwardToVelta;  // velta's own option: kept with its value for velta's parser
};

const OptionRule kOptions[] = {
    {"--vcf", kPanel | kMap | kPhase | kWindows, &ConvertOptions::vcf, nullptr, nullptr, 0, true, false},
    {"--region", kPanel | kMap | kPhase | kWindows, &ConvertOptions::region, nullptr, nullptr, 0,
     false, false},
    {"--samples-exclude", kPanel, &ConvertOptions::samplesExclude, nullptr, nullptr, 0, true,
     false},
    {"--allow-unphased", kPanel, nullptr, &ConvertOptions::allowUnphased, nullptr, 0, false, false},
    {"--keep-monomorphic", kPanel, nullptr, &ConvertOptions::keepMonomorphic, nullptr, 0, false,
     false},
    {"--sample", kMap | kVcf | kPhase | kLigate, &ConvertOptions::sample, nullptr, nullptr, 0,
     false, false},
    {"--het-only", kMap, nullptr, &ConvertOptions::hetOnly, nullptr, 0, false, false},
    {"--bam", kReads | kPhase, &ConvertOptions::bam, nullptr, nullptr, 0, true, false},
    {"--reference", kReads | kPhase, &ConvertOptions::reference, nullptr, nullptr, 0, true, false},
    {"--map", kReads | kVcf, &ConvertOptions::map, nullptr, nullptr, 0, true, false},
    {"--min-mapq", kReads | kPhase, nullptr, nullptr, &ConvertOptions::minMapq, 255, false, false},
    {"--min-baseq", kReads | kPhase, nullptr, nullptr, &ConvertOptions::minBaseq, 255, false,
     false},
    {"--haplotypes", kVcf, &ConvertOptions::haplotypes, nullptr, nullptr, 0, true, false},
    {"--reads", kVcf, &ConvertOptions::reads, nullptr, nullptr, 0, true, false},
    {"--out", kPanel | kMap | kReads | kVcf | kPhase | kLigate | kWindows, &ConvertOptions::out,
     nullptr, nullptr, 0, false, false},
    {"--window", kPhase | kWindows, nullptr, nullptr, &ConvertOptions::window, 100000000, false,
     false},
    {"--overlap", kPhase | kWindows, nullptr, nullptr, &ConvertOptions::overlap, 100000000, false,
     false},
    {"--panel", kPhase, &ConvertOptions::panel, nullptr, nullptr, 0, true, false},
    {"--keep-intermediate", kPhase, &ConvertOptions::keepIntermediate, nullptr, nullptr, 0, false,
     false},
    {"-n", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"-m", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"-s", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"-u", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"-e", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"-w", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"-r", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"-v", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"--polish", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    {"--threads", kPhase, nullptr, nullptr, nullptr, 0, false, true},
    // phase: velta's; windows: the run's seed, 0 to 4294967295 (parseSeed).
    {"--seed", kPhase | kWindows, nullptr, nullptr, nullptr, 0, false, true},
};

struct CommandRule {
  const char* name;
  const char* required[4];  // options the subcommand cannot run without
  Command command;
  bool takesFiles;  // file names without an option follow the options
};

const CommandRule kCommands[] = {
    {"panel", {"--vcf", "--out", nullptr, nullptr}, Command::kPanel, false},
    {"map", {"--vcf", "--sample", "--out", nullptr}, Command::kMap, false},
    {"reads", {"--bam", "--map", "--out", nullptr}, Command::kReads, false},
    {"vcf", {"--map", "--haplotypes", "--sample", "--out"}, Command::kVcf, false},
    {"phase", {"--vcf", "--sample", "--bam", "--out"}, Command::kPhase, false},
    {"ligate", {"--out", nullptr, nullptr, nullptr}, Command::kLigate, true},
    {"windows", {"--vcf", "--out", nullptr, nullptr}, Command::kWindows, false},
};

bool isHelp(const char* word) {
  return std::strcmp(word, "-h") == 0 || std::strcmp(word, "--help") == 0;
}

[[noreturn]] void usageExit(int status) {
  printUsage(status == 0 ? stdout : stderr);
  std::fflush(stdout);
  veltaExit(status);
}

const CommandRule& findCommand(const char* name) {
  for (const CommandRule& rule : kCommands) {
    if (std::strcmp(rule.name, name) == 0) return rule;
  }
  veltaFatal(
      "unknown command '%s' (expected panel, map, reads, vcf, phase, ligate or windows; "
      "velta-convert --help "
      "lists them)",
      name);
}

const OptionRule* findOption(const char* name) {
  for (const OptionRule& rule : kOptions) {
    if (std::strcmp(rule.name, name) == 0) return &rule;
  }
  return nullptr;
}

int parseNumber(const char* option, const char* value, int maxNumber) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || parsed < 0 || parsed > maxNumber) {
    veltaFatal("%s expects a whole number from 0 to %d, found '%s'", option, maxNumber, value);
  }
  return static_cast<int>(parsed);
}

std::uint32_t parseSeed(const char* value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || *value == '-' || parsed > UINT32_MAX) {
    veltaFatal("--seed expects a whole number from 0 to 4294967295, found '%s'", value);
  }
  return static_cast<std::uint32_t>(parsed);
}

const char* optionText(const ConvertOptions& options, const char* name) {
  const OptionRule* rule = findOption(name);
  return (options.*(rule->text)).c_str();
}

void checkRequired(const CommandRule& command, const ConvertOptions& options) {
  for (const char* name : command.required) {
    if (name != nullptr && *optionText(options, name) == '\0') {
      veltaFatal("velta-convert %s needs %s (velta-convert --help shows every option)",
                 command.name, name);
    }
  }
}

}  // namespace

ConvertOptions parseOptions(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (isHelp(argv[i])) usageExit(0);
  }
  if (argc < 2) usageExit(1);
  const CommandRule& command = findCommand(argv[1]);
  const unsigned commandBit = 1u << static_cast<unsigned>(command.command);
  ConvertOptions options;
  options.command = command.command;
  for (int i = 2; i < argc; ++i) {
    const OptionRule* rule = findOption(argv[i]);
    if (rule == nullptr && command.takesFiles && std::strncmp(argv[i], "-", 1) != 0) {
      options.inputs.emplace_back(argv[i]);
      continue;
    }
    if (rule == nullptr)
      veltaFatal("unknown option '%s' for velta-convert %s", argv[i], command.name);
    if ((rule->commands & commandBit) == 0) {
      veltaFatal("%s is not an option of velta-convert %s", rule->name, command.name);
    }
    if (rule->flag != nullptr) {
      options.*(rule->flag) = true;
      continue;
    }
    if (i + 1 >= argc) veltaFatal("%s needs a value", rule->name);
    const char* value = argv[++i];
    if (command.command == Command::kWindows && std::strcmp(rule->name, "--seed") == 0) {
      options.seed = parseSeed(value);
    } else if (rule->forwardToVelta) {
      options.veltaOptions.push_back(rule->name);
      options.veltaOptions.push_back(value);
    } else if (rule->number != nullptr) {
      options.*(rule->number) = parseNumber(rule->name, value, rule->maxNumber);
    } else {
      if (*value == '\0') veltaFatal("%s needs a value, found an empty text", rule->name);
      options.*(rule->text) = value;
    }
  }
  checkRequired(command, options);
  const bool windowed = command.command == Command::kWindows || options.window > 0;
  if (windowed && windowSize(options) <= options.overlap) {
    veltaFatal("--window %d must be larger than --overlap %d", windowSize(options),
                 options.overlap);
  }
  if (command.takesFiles && options.inputs.empty()) {
    veltaFatal("velta-convert %s needs at least one input file after its options",
                 command.name);
  }
  return options;
}

int windowSize(const ConvertOptions& options) {
  if (options.window > 0 || options.command != Command::kWindows) return options.window;
  return kDefaultWindow;
}

std::vector<std::string> inputFiles(const ConvertOptions& options) {
  std::vector<std::string> files;
  for (const OptionRule& rule : kOptions) {
    if (rule.isInput && !(options.*(rule.text)).empty()) files.push_back(options.*(rule.text));
  }
  files.insert(files.end(), options.inputs.begin(), options.inputs.end());
  return files;
}

void printUsage(std::FILE* stream) {
  const ConvertOptions defaults;
  std::fprintf(
      stream,
      "Usage: velta-convert <command> [options]\n"
      "Turns VCF/BCF and SAM/BAM/CRAM files into velta's inputs, and velta's result into a VCF.\n"
      "\n"
      "  velta-convert panel --vcf PANEL.vcf.gz --out PREFIX [--region CHR:FROM-TO]\n"
      "                      [--samples-exclude LIST] [--allow-unphased] [--keep-monomorphic]\n"
      "      phased panel -> PREFIX.map (SNP map) and PREFIX.panel (reference panel);\n"
      "      keeps biallelic SNPs with both alleles in the panel (--keep-monomorphic: also\n"
      "      those with one allele only, where the individual may still be heterozygous)\n"
      "  velta-convert map --vcf SAMPLE.vcf.gz --sample NAME --out PREFIX.map [--het-only]\n"
      "                    [--region CHR:FROM-TO]\n"
      "      a sample's calls -> SNP map of its biallelic SNPs (--het-only: heterozygous ones)\n"
      "  velta-convert reads --bam READS.bam|cram --map PREFIX.map --out PREFIX.reads\n"
      "                      [--reference REF.fa] [--min-mapq %d] [--min-baseq %d]\n"
      "      aligned reads -> velta read file: the alleles each read or pair shows\n"
      "  velta-convert vcf --map PREFIX.map --haplotypes OUT.txt --sample NAME\n"
      "                    --out PHASED.vcf.gz [--reads PREFIX.reads]\n"
      "      velta's result -> phased VCF (.vcf.gz: bgzipped with a .tbi index; .bcf: with a\n"
      "      .csi index; other names: plain text); --reads: SNPs no read links are written\n"
      "      unphased and each group of SNPs that reads connect gets a phase set (PS)\n"
      "  velta-convert phase --vcf CALLS.vcf.gz --sample NAME --bam READS.bam|cram\n"
      "                      --out PHASED.vcf.gz [--panel PANEL.vcf.gz|bcf] [--reference REF.fa]\n"
      "                      [--region CHR:FROM-TO] [--keep-intermediate DIR]\n"
      "                      [--min-mapq %d] [--min-baseq %d] [--window N [--overlap %d]]\n"
      "                      [velta's options: -n -m -s -u -e -w -r -v --polish --threads\n"
      "                      --seed N]\n"
      "      calls and reads (and a panel) -> the calls with the sample's GT phased and\n"
      "      phase sets (PS), in one run of velta: assembly on the sample's heterozygous\n"
      "      SNPs, or with --panel inference on the panel's SNPs; other records and\n"
      "      fields are kept as they are. --window: the region phased in windows of N\n"
      "      SNPs (the panel's, or the calls' in assembly) on --threads threads, each\n"
      "      seeded from --seed and its index, and ligated\n"
      "  velta-convert ligate --out PHASED.vcf.gz [--sample NAME] WINDOW.vcf.gz...\n"
      "      phased VCFs of overlapping windows of one chromosome, in position order -> one\n"
      "      VCF: each window's haplotype order follows the SNPs it shares with the previous\n"
      "      one; phase sets (PS) run across the joins that the shared SNPs decide\n"
      "  velta-convert windows --vcf PANEL.vcf.gz|CALLS.vcf.gz --out WINDOWS.tsv\n"
      "                        [--region CHR] [--window %d] [--overlap %d] [--seed %u]\n"
      "      the windows of a chromosome's biallelic SNPs as regions, one line each: index,\n"
      "      CHR:FROM-TO, SNPs and the window's seed (derived from --seed and the index);\n"
      "      a job per window running phase --region CHR:FROM-TO --seed SEED gives what\n"
      "      phase --window gives for that window\n"
      "\n"
      "LIST: sample names separated by commas, or a file with one name per line.\n",
      defaults.minMapq, defaults.minBaseq, defaults.minMapq, defaults.minBaseq, defaults.overlap,
      kDefaultWindow, defaults.overlap, defaults.seed);
}
