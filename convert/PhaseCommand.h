// velta-convert phase: calls and reads (and a panel) in, the calls with the
// sample's phase out, in one process that runs velta through its library.
#pragma once

#include "Options.h"

// Assembly on the sample's heterozygous SNPs without --panel, inference on
// the panel's SNPs with it; writes the calls with GT phased and PS (see
// writePhasedCalls) and prints a summary. Every failure ends the run naming
// the file and record before the output is written.
void runPhase(const ConvertOptions& options);
