#include "PhaseCommand.h"

#include <sys/resource.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "MapConverter.h"
#include "OutputFile.h"
#include "PanelConverter.h"
#include "Parameter.h"
#include "PhaseProgress.h"
#include "PhaseRange.h"
#include "PhaseWindows.h"
#include "PhasedCalls.h"
#include "ReadsConverter.h"
#include "ScratchFolder.h"
#include "SnpLocator.h"
#include "Velta.h"
#include "VeltaIO.h"

// velta's options go through velta's own parser and checks, so they mean
// exactly what they mean on velta's command line.
Parameter veltaSettings(const ConvertOptions& options) {
  Parameter settings;
  if (!options.veltaOptions.empty()) {
    std::vector<std::string> words = {"velta"};
    words.insert(words.end(), options.veltaOptions.begin(), options.veltaOptions.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    parseInputParameter(static_cast<int>(words.size()), argv.data(), settings);
  }
  checkOptionValues(settings, !options.panel.empty());
  return settings;
}

namespace {

// The panel's SNPs, every biallelic one (the sample may be heterozygous where
// the panel is not), with their rows.
// A stage on the display, or nothing for a window of a windowed run (its
// threads share one display, which counts windows instead).
void beginStage(PhaseProgress* progress, const char* what, std::int64_t from = 0,
                std::int64_t to = 0) {
  if (progress != nullptr) progress->begin(what, from, to);
}
void endStage(PhaseProgress* progress) {
  if (progress != nullptr) progress->end();
}

// Returns why nothing can be phased when the panel keeps no SNP in the region,
// else an empty text.
std::string loadPanel(const ConvertOptions& options, PhaseInputs& inputs,
                      PhaseProgress* progress, std::int64_t from, std::int64_t to) {
  ConvertOptions panelOptions = options;
  panelOptions.vcf = options.panel;
  panelOptions.keepMonomorphic = true;
  PanelSites panel(panelOptions);
  beginStage(progress, "reading the panel", from, to);
  panel.read([&](const char* chrom, const bcf1_t* record, const std::string& row) {
    appendSnp(inputs.snps, chrom, snpName(chrom, record->pos + 1, record->d.id),
              static_cast<std::uint32_t>(record->pos + 1), alleleBase(record->d.allele[0]),
              alleleBase(record->d.allele[1]));
    inputs.panelRows.push_back(row);
  });
  endStage(progress);
  return inputs.snps.size() == 0 ? noPanelSnpReason(panelOptions) : std::string();
}

void checkSameChromosome(const ConvertOptions& options, const SnpMap& calls, const SnpMap& panel) {
  if (calls.chrom[0] == panel.chrom[0]) return;
  veltaFatal(
      "the calls %s are on chromosome %s but the panel %s is on %s: the contig names differ "
      "(as 20 and chr20 do), or choose one chromosome of both with --region",
      options.vcf.c_str(), calls.chrom[0].c_str(), options.panel.c_str(), panel.chrom[0].c_str());
}

}  // namespace

double peakMemoryMb() {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux: kilobytes
}

namespace {

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

PhaseRegionReport phaseRegion(const ConvertOptions& options, const Parameter& settings,
                              unsigned int seed, OutputFile& out, PhaseProgress* progress) {
  PhaseInputs inputs;
  inputs.readsName = options.bam;
  inputs.panelName = options.panel;
  beginStage(progress, "reading the calls");
  SampleSnps calls = readSampleSnps(options.vcf, options.sample, options.region, true);
  endStage(progress);
  PhaseRegionReport report;
  if (calls.map.size() == 0) {
    report.unphased = noSampleSnpReason(options.vcf, options.sample, options.region, true);
  } else if (options.panel.empty()) {
    inputs.snps = std::move(calls.map);
  } else {
    report.unphased =
        loadPanel(options, inputs, progress, calls.map.position.front(), calls.map.position.back());
    if (report.unphased.empty()) checkSameChromosome(options, calls.map, inputs.snps);
  }
  if (!report.unphased.empty()) {
    // Nothing to phase here, as in a window of a long region that holds no
    // heterozygous call: its records pass through unphased, so the windows
    // around it are still phased and ligated.
    beginStage(progress, "writing the calls unphased");
    report.counts =
        writePhasedCalls(options.vcf, options.region, options.sample, SnpMap(), RangePhase(), out);
    endStage(progress);
    return report;
  }

  const SnpLocator locator(inputs.snps);
  beginStage(progress, "reading the alignments", inputs.snps.position.front(),
                 inputs.snps.position.back());
  report.reads = collectReadCalls(
      options, locator, [&](const std::vector<SnpCall>& read) { inputs.reads.add(read); });
  endStage(progress);
  if (inputs.reads.size() == 0) {
    veltaWarn("no read of %s shows an allele at the SNPs to phase: nothing is phased",
              options.bam.c_str());
  }

  beginStage(progress, options.panel.empty() ? "phasing (velta assembly)"
                                       : "phasing (velta inference with the panel)");
  report.phase =
      phaseSnpRange(inputs, {0, inputs.snps.size()}, settings, seed, options.keepIntermediate);
  endStage(progress);

  beginStage(progress, "writing the phased calls");
  report.counts =
      writePhasedCalls(options.vcf, options.region, options.sample, inputs.snps, report.phase, out);
  endStage(progress);
  return report;
}

void runPhase(const ConvertOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  Parameter settings = veltaSettings(options);
  OutputFile out(options.out, OutputFile::Writer::kByName);
  if (!options.keepIntermediate.empty()) {
    makeFolder(options.keepIntermediate, "--keep-intermediate");
  }
  const unsigned int seed =
      settings.getHasSeed() ? settings.getSeed() : static_cast<unsigned int>(std::time(nullptr));
  if (options.window > 0) {
    runWindowedPhase(options, settings, seed, out, start);
    return;
  }
  PhaseProgress progress(settings.getVerbose() == 0);
  progress.attach(settings);
  const PhaseRegionReport report = phaseRegion(options, settings, seed, out, &progress);
  if (!report.unphased.empty()) {
    veltaWarn("nothing to phase (%s): the records are written unphased", report.unphased.c_str());
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  printSummary(options, report.counts, report.reads, report.phase, seed, seconds.count());
}
