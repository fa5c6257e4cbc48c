#include "CompareTestSupport.h"

#include <sstream>

namespace velta_test {

RunResult runCompareBinary(const std::vector<std::string>& args) {
  return runBinary(VELTA_COMPARE_BIN, args);
}

std::vector<PhasedGenotype> genotypes(const std::string& pairs) {
  std::istringstream words(pairs);
  std::vector<PhasedGenotype> result;
  std::string pair;
  while (words >> pair) result.push_back(PhasedGenotype{pair.at(0), pair.at(1)});
  return result;
}

}  // namespace velta_test
