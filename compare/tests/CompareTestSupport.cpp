#include "CompareTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace velta_test {

RunResult runCompareBinary(const std::vector<std::string>& args) {
  return runBinary(VELTA_COMPARE_BIN, args);
}

std::string fatalMessageOf(const std::function<void()>& action) {
  FatalCatcher catcher;
  testing::internal::CaptureStderr();
  bool ended = false;
  try {
    action();
  } catch (const FatalExit& fatal) {
    ended = fatal.status == 1;
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ended) << "expected a fatal exit with status 1";
  return err;
}

std::vector<PhasedGenotype> genotypes(const std::string& pairs) {
  std::istringstream words(pairs);
  std::vector<PhasedGenotype> result;
  std::string pair;
  while (words >> pair) result.push_back(PhasedGenotype{pair.at(0), pair.at(1)});
  return result;
}

}  // namespace velta_test
