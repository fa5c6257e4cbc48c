// Test helpers of velta-compare: whole-program runs of the built tool and
// phased genotypes from text.
#pragma once

#include <string>
#include <vector>

#include "PhaseFile.h"
#include "TestSupport.h"

namespace velta_test {

// Runs the built velta-compare with the given arguments (no shell quoting
// needed).
RunResult runCompareBinary(const std::vector<std::string>& args);

// Genotypes from blank-separated pairs: "AG CC TA".
std::vector<PhasedGenotype> genotypes(const std::string& pairs);

}  // namespace velta_test
