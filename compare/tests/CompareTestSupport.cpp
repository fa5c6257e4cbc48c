#include "CompareTestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

namespace velta_test {

namespace {
std::string quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
}  // namespace

RunResult runCompareBinary(const std::vector<std::string>& args) {
  ScratchDir scratch;
  const std::string outPath = scratch.file("stdout");
  const std::string errPath = scratch.file("stderr");
  std::string command = quote(VELTA_COMPARE_BIN);
  for (const std::string& arg : args) command += " " + quote(arg);
  command += " </dev/null >" + quote(outPath) + " 2>" + quote(errPath);
  const int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
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
