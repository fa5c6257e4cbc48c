// velta-convert phase --window N --overlap M: a region phased in overlapping
// windows in one process, then ligated.
#pragma once

#include "Options.h"

// Plans the windows over the panel's biallelic SNPs (the calls' without
// --panel) in --region, as `velta-convert windows` does; phases each window
// exactly as `phase --region WINDOW --seed SEED` would (phaseRegion, the
// window's seed derived from --seed and its index), on --threads threads,
// into window VCFs in the folder OUT.windows.part; ligates them into OUT
// (velta-convert ligate) and removes the folder. With --keep-intermediate
// DIR, each window's velta files go to DIR/windowI. The output is the same
// for every thread count and equals ligating the VCFs of one job per window.
void runWindowedPhase(const ConvertOptions& options);
