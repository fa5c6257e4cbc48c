#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Messages.h"
#include "VeltaIO.h"

namespace {

// Which subcommands accept an option, one bit per Command.
constexpr unsigned kPanel = 1u << static_cast<unsigned>(Command::kPanel);
constexpr unsigned kMap = 1u << static_cast<unsigned>(Command::kMap);
constexpr unsigned kReads = 1u << static_cast<unsigned>(Command::kReads);
constexpr unsigned kVcf = 1u << static_cast<unsigned>(Command::kVcf);
constexpr unsigned kLigate = 1u << static_cast<unsigned>(Command::kLigate);
constexpr unsigned kWindows = 1u << static_cast<unsigned>(Command::kWindows);

struct OptionRule {
  const char* name;
  unsigned commands;
  std::string ConvertOptions::*text;  // set for options with a text value
  bool ConvertOptions::*flag;         // set for options without a value
  int ConvertOptions::*number;        // set for options with a number value
  int maxNumber;
  bool isInput;  // names a file the run reads, which no output may overwrite
};

const OptionRule kOptions[] = {
    {"--vcf", kPanel | kMap | kWindows, &ConvertOptions::vcf, nullptr, nullptr, 0, true},
    {"--region", kPanel | kMap | kWindows, &ConvertOptions::region, nullptr, nullptr, 0, false},
    {"--samples-exclude", kPanel, &ConvertOptions::samplesExclude, nullptr, nullptr, 0, true},
    {"--allow-unphased", kPanel, nullptr, &ConvertOptions::allowUnphased, nullptr, 0, false},
    {"--keep-monomorphic", kPanel, nullptr, &ConvertOptions::keepMonomorphic, nullptr, 0, false},
    {"--sample", kMap | kVcf | kLigate, &ConvertOptions::sample, nullptr, nullptr, 0, false},
    {"--het-only", kMap, nullptr, &ConvertOptions::hetOnly, nullptr, 0, false},
    {"--bam", kReads, &ConvertOptions::bam, nullptr, nullptr, 0, true},
    {"--reference", kReads, &ConvertOptions::reference, nullptr, nullptr, 0, true},
    {"--map", kReads | kVcf, &ConvertOptions::map, nullptr, nullptr, 0, true},
    {"--min-mapq", kReads, nullptr, nullptr, &ConvertOptions::minMapq, 255, false},
    {"--min-baseq", kReads, nullptr, nullptr, &ConvertOptions::minBaseq, 255, false},
    {"--haplotypes", kVcf, &ConvertOptions::haplotypes, nullptr, nullptr, 0, true},
    {"--reads", kVcf, &ConvertOptions::reads, nullptr, nullptr, 0, true},
    {"--window", kWindows, nullptr, nullptr, &ConvertOptions::window, 100000000, false},
    {"--overlap", kWindows, nullptr, nullptr, &ConvertOptions::overlap, 100000000, false},
    {"--seed", kWindows, nullptr, nullptr, nullptr, 0, false},  // 0 to 4294967295: parseSeed
    {"--out", kPanel | kMap | kReads | kVcf | kLigate | kWindows, &ConvertOptions::out, nullptr,
     nullptr, 0, false},
};

struct CommandRule {
  const char* name;
  Command command;
  const char* required[4];  // options the subcommand cannot run without
  bool takesFiles;          // file names without an option follow the options
};

const CommandRule kCommands[] = {
    {"panel", Command::kPanel, {"--vcf", "--out", nullptr, nullptr}, false},
    {"map", Command::kMap, {"--vcf", "--sample", "--out", nullptr}, false},
    {"reads", Command::kReads, {"--bam", "--map", "--out", nullptr}, false},
    {"vcf", Command::kVcf, {"--map", "--haplotypes", "--sample", "--out"}, false},
    {"ligate", Command::kLigate, {"--out", nullptr, nullptr, nullptr}, true},
    {"windows", Command::kWindows, {"--vcf", "--out", nullptr, nullptr}, false},
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
  convertFatal(
      "unknown command '%s' (expected panel, map, reads, vcf, ligate or windows; velta-convert "
      "--help "
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
    convertFatal("%s expects a whole number from 0 to %d, found '%s'", option, maxNumber, value);
  }
  return static_cast<int>(parsed);
}

std::uint32_t parseSeed(const char* value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || *value == '-' || parsed > UINT32_MAX) {
    convertFatal("--seed expects a whole number from 0 to 4294967295, found '%s'", value);
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
      convertFatal("velta-convert %s needs %s (velta-convert --help shows every option)",
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
      convertFatal("unknown option '%s' for velta-convert %s", argv[i], command.name);
    if ((rule->commands & commandBit) == 0) {
      convertFatal("%s is not an option of velta-convert %s", rule->name, command.name);
    }
    if (rule->flag != nullptr) {
      options.*(rule->flag) = true;
      continue;
    }
    if (i + 1 >= argc) convertFatal("%s needs a value", rule->name);
    const char* value = argv[++i];
    if (rule->number != nullptr) {
      options.*(rule->number) = parseNumber(rule->name, value, rule->maxNumber);
    } else if (rule->text == nullptr) {
      options.seed = parseSeed(value);
    } else {
      if (*value == '\0') convertFatal("%s needs a value, found an empty text", rule->name);
      options.*(rule->text) = value;
    }
  }
  checkRequired(command, options);
  if (command.command == Command::kWindows && options.window <= options.overlap) {
    convertFatal("--window %d must be larger than --overlap %d", options.window, options.overlap);
  }
  if (command.takesFiles && options.inputs.empty()) {
    convertFatal("velta-convert %s needs at least one input file after its options",
                 command.name);
  }
  return options;
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
      "  velta-convert ligate --out PHASED.vcf.gz [--sample NAME] WINDOW.vcf.gz...\n"
      "      phased VCFs of overlapping windows of one chromosome, in position order -> one\n"
      "      VCF: each window's haplotype order follows the SNPs it shares with the previous\n"
      "      one; phase sets (PS) run across the joins that the shared SNPs decide\n"
      "  velta-convert windows --vcf PANEL.vcf.gz|CALLS.vcf.gz --out WINDOWS.tsv\n"
      "                        [--region CHR] [--window %d] [--overlap %d] [--seed %u]\n"
      "      the windows of a chromosome's biallelic SNPs as regions, one line each: index,\n"
      "      CHR:FROM-TO, SNPs and the window's seed (derived from --seed and the index)\n"
      "\n"
      "LIST: sample names separated by commas, or a file with one name per line.\n",
      defaults.minMapq, defaults.minBaseq, defaults.window, defaults.overlap, defaults.seed);
}
