// velta-convert phase: calls and reads (and a panel) in, the calls with the
// sample's phase out, in one process that runs velta through its library.
#pragma once

#include <string>

#include "Options.h"
#include "OutputFile.h"
#include "Parameter.h"
#include "PhaseRange.h"
#include "PhasedCalls.h"
#include "ReadsConverter.h"

class PhaseProgress;

// Assembly on the sample's heterozygous SNPs without --panel, inference on
// the panel's SNPs with it; writes the calls with GT phased and PS (see
// writePhasedCalls) and prints a summary. Every failure ends the run naming
// the file and record before the output is written.
void runPhase(const ConvertOptions& options);

// velta's options of the command line, read and checked by velta's parser.
Parameter veltaSettings(const ConvertOptions& options);

// What phasing one region gave.
struct PhaseRegionReport {
  ReadsReport reads;
  RangePhase phase;
  PhasedCallCounts counts;
  // Why the region was written unphased (no heterozygous call of the sample,
  // or no panel SNP, in it); empty when it was phased.
  std::string unphased;
};

// The work of runPhase on options.region with `seed`, written to `out` and
// committed: the calls, the panel's SNPs (with --panel), the reads, velta,
// the phased calls, each stage shown on `progress` (nullptr: none). A region
// with nothing to phase is no error: its records are written unphased and
// the report says why. A window
// of a windowed run is phased by the same call with
// the window's region and seed, so it gives what a job phasing that region
// alone gives.
PhaseRegionReport phaseRegion(const ConvertOptions& options, const Parameter& settings,
                              unsigned int seed, OutputFile& out, PhaseProgress* progress);

// The process's peak resident memory so far, in MB.
double peakMemoryMb();
