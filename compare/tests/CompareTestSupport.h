// Test helpers of velta-compare: in-process capture of fatal messages and
// genotypes written compactly.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PhaseFile.h"
#include "TestSupport.h"

namespace velta_test {

// Runs `action`, which must end through the fatal path; returns what it wrote
// on standard error. A test failure is recorded when it returns normally.
std::string fatalMessageOf(const std::function<void()>& action);

// Genotypes from blank-separated pairs: "AG CC TA".
std::vector<PhasedGenotype> genotypes(const std::string& pairs);

}  // namespace velta_test
