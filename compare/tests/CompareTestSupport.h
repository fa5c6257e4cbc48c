// Test helpers of velta-compare: whole-program runs of the built tool and
// in-process capture of fatal messages.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PhaseFile.h"
#include "TestSupport.h"

namespace velta_test {

// Runs the built velta-compare with the given arguments (no shell quoting
// needed).
RunResult runCompareBinary(const std::vector<std::string>& args);

// Runs `action`, which must end through the fatal path; returns what it wrote
// on standard error. A test failure is recorded when it returns normally.
std::string fatalMessageOf(const std::function<void()>& action);

// Genotypes from blank-separated pairs: "AG CC TA".
std::vector<PhasedGenotype> genotypes(const std::string& pairs);

}  // namespace velta_test
