#include "PhaseCommand.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "MapConverter.h"
#include "Messages.h"
#include "OutputFile.h"
#include "PanelConverter.h"
#include "Parameter.h"
#include "PhaseProgress.h"
#include "PhaseRange.h"
#include "PhasedCalls.h"
#include "ReadsConverter.h"
#include "SnpLocator.h"
#include "Velta.h"
#include "VeltaIO.h"

namespace {

// velta's options go through velta's own parser and checks, so they mean
// exactly what they mean on velta's command line.
Parameter veltaSettings(const ConvertOptions& options) {
  Parameter settings;
  if (!options.veltaOptions.empty()) {
    std::vector<std::string> words = {"velta"};
    words.insert(words.end(), options.veltaOptions.begin(), options.veltaOptions.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    parseInputParameter(static_cast<int>(words.size()), argv.data(), settings);
  }
  checkOptionValues(settings, !options.panel.empty());
  return settings;
}

void makeKeepDir(const std::string& dir) {
  if (dir.empty()) return;
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    convertFatal("--keep-intermediate %s: cannot create the folder: %s", dir.c_str(),
                 std::strerror(errno));
  }
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    convertFatal("--keep-intermediate %s is not a folder", dir.c_str());
  }
}

// The panel's SNPs, every biallelic one (the sample may be heterozygous where
// the panel is not), with their rows.
void loadPanel(const ConvertOptions& options, PhaseInputs& inputs, PhaseProgress& progress,
               std::int64_t from, std::int64_t to) {
  ConvertOptions panelOptions = options;
  panelOptions.vcf = options.panel;
  panelOptions.keepMonomorphic = true;
  PanelSites panel(panelOptions);
  progress.begin("reading the panel", from, to);
  panel.read([&](const char* chrom, const bcf1_t* record, const std::string& row) {
    appendSnp(inputs.snps, chrom, snpName(chrom, record->pos + 1, record->d.id),
              static_cast<std::uint32_t>(record->pos + 1), alleleBase(record->d.allele[0]),
              alleleBase(record->d.allele[1]));
    inputs.panelRows.push_back(row);
  });
  progress.end();
}

void checkSameChromosome(const ConvertOptions& options, const SnpMap& calls, const SnpMap& panel) {
  if (calls.chrom[0] == panel.chrom[0]) return;
  convertFatal(
      "the calls %s are on chromosome %s but the panel %s is on %s: the contig names differ "
      "(as 20 and chr20 do), or choose one chromosome of both with --region",
      options.vcf.c_str(), calls.chrom[0].c_str(), options.panel.c_str(), panel.chrom[0].c_str());
}

double peakMemoryMb() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux: kilobytes
}

void printSummary(const ConvertOptions& options, const PhasedCallCounts& counts,
                  const ReadsReport& reads, const RangePhase& phase, unsigned int seed,
                  double seconds) {
  std::uint64_t snps = 0;
  std::uint64_t spans = 0;
  for (std::size_t i = 0; i < counts.setSnps.size(); ++i) {
    snps += counts.setSnps[i];
    spans += counts.setSpans[i];
  }
  std::printf("phase %s, sample %s (%s, seed %u): wrote %s, %" PRIu64 " records\n",
              options.vcf.c_str(), options.sample.c_str(),
              options.panel.empty() ? "assembly" : "inference with the panel", seed,
              options.out.c_str(), counts.records);
  std::printf("  heterozygous SNPs: %" PRIu64 ", %" PRIu64 " phased in %zu phase sets, %" PRIu64
              " left unphased\n",
              counts.heterozygous, counts.phased, counts.setSnps.size(),
              counts.heterozygous - counts.phased);
  std::printf("  phase set N50: %" PRIu64 " SNPs, %" PRIu64 " bp\n", n50(counts.setSnps),
              n50(counts.setSpans));
  printAlignmentSummary(options, reads);
  std::printf("  reads used by velta: %zu (%" PRIu64
              " kept reads or pairs show no allele at the phased SNPs)\n",
              phase.readsUsed, reads.noAllele);
  std::printf("  wall time %.1f s, peak memory %.0f MB\n", seconds, peakMemoryMb());
}

}  // namespace

void runPhase(const ConvertOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  Parameter settings = veltaSettings(options);
  OutputFile out(options.out, OutputFile::Writer::kByName);
  makeKeepDir(options.keepIntermediate);
  const unsigned int seed =
      settings.getHasSeed() ? settings.getSeed() : static_cast<unsigned int>(std::time(nullptr));
  PhaseProgress progress(settings.getVerbose() == 0);
  progress.attach(settings);

  PhaseInputs inputs;
  inputs.readsName = options.bam;
  inputs.panelName = options.panel;
  progress.begin("reading the calls");
  SampleSnps calls = readSampleSnps(options.vcf, options.sample, options.region, true);
  progress.end();
  const std::int64_t from = calls.map.position.front();
  const std::int64_t to = calls.map.position.back();
  if (options.panel.empty()) {
    inputs.snps = std::move(calls.map);
  } else {
    loadPanel(options, inputs, progress, from, to);
    checkSameChromosome(options, calls.map, inputs.snps);
  }

  const SnpLocator locator(inputs.snps);
  progress.begin("reading the alignments", inputs.snps.position.front(),
                 inputs.snps.position.back());
  const ReadsReport reads = collectReadCalls(
      options, locator, [&](const std::vector<SnpCall>& read) { inputs.reads.add(read); });
  progress.end();
  if (inputs.reads.size() == 0) {
    convertWarning("no read of %s shows an allele at the SNPs to phase: nothing is phased",
                   options.bam.c_str());
  }

  progress.begin(options.panel.empty() ? "phasing (velta assembly)"
                                       : "phasing (velta inference with the panel)");
  const RangePhase phase =
      phaseSnpRange(inputs, {0, inputs.snps.size()}, settings, seed, options.keepIntermediate);
  progress.end();

  progress.begin("writing the phased calls");
  const PhasedCallCounts counts =
      writePhasedCalls(options.vcf, options.region, options.sample, inputs.snps, phase, out);
  progress.end();
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  printSummary(options, counts, reads, phase, seed, seconds.count());
}
