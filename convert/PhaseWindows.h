// velta-convert phase --window N --overlap M: a region phased in overlapping
// windows in one process, then ligated.
#pragma once

#include <chrono>

#include "Options.h"

class OutputFile;
class Parameter;

// Plans the windows over the panel's biallelic SNPs (the calls' without
// --panel) in --region, as `velta-convert windows` does; phases each window
// exactly as `phase --region WINDOW --seed SEED` would (phaseRegion, the
// window's seed derived from --seed and its index), on --threads threads,
// into window VCFs in the folder OUT.windows.part; ligates them into OUT
// (velta-convert ligate) and removes the folder. With --keep-intermediate
// DIR, each window's velta files go to DIR/windowI. The output is the same
// for every thread count and equals ligating the VCFs of one job per window.
// runPhase calls it once it has the settings, OUT, the kept files' folder and
// the seed; `start` is when the run began.
void runWindowedPhase(const ConvertOptions& options, const Parameter& settings, unsigned int seed,
                      OutputFile& out, std::chrono::steady_clock::time_point start);
