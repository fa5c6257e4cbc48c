// The run: command line, input report, the two samplers and the run flow.
#pragma once

#include <vector>

class Parameter;
class Read;
class Reference;
class Haplotype;

// Runs one phasing job; returns the exit status of a complete run (0). Fatal
// errors end the process through the exit handler. The caller seeds rand().
int runVelta(int argc, char** argv);

void printVersionInformation();
void parseInputParameter(int argc, char** argv, Parameter& parameter);
// Values that would turn the model's probabilities into NaN, or an inner loop
// count into billions, end the run before anything is loaded. Panel settings
// are checked only `withPanel` (inference), where they are used.
void checkOptionValues(const Parameter& parameter, bool withPanel);
[[noreturn]] void exitWithHelp();
void printInputInformation(const std::vector<Read>& reads, const Parameter& parameter);
void printInputInformation(const std::vector<Read>& reads, const Reference& reference,
                           const Parameter& parameter);
void printTimingLine();

void assemblyGibbs(Haplotype& haplotype, std::vector<Read>& reads, const Parameter& parameter);
int assemblyMismatch(const Haplotype& haplotype);

// The inference job on loaded inputs: the sampler, whose best state is left
// in the two haplotypes. Callers that load their inputs themselves (the
// converter) run the job through here, as the command line does.
void inferHaplotypes(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
                     const Reference& reference, const Parameter& parameter);
void inferenceGibbs(Haplotype& first, Haplotype& second, std::vector<Read>& reads,
                    const Reference& reference, const Parameter& parameter);
double inferenceLikelihood(const Haplotype& first, const Haplotype& second,
                           const std::vector<Read>& reads, const Reference& reference,
                           const Parameter& parameter);
