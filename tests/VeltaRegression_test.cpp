// Whole runs on the shared data with a fixed seed must give exactly the
// output files recorded here: a faster kernel may change how a number is
// computed, never which haplotypes come out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "Velta.h"
#include "VeltaUtil.h"

namespace {

using velta_test::readFile;
using velta_test::ScratchDir;
using velta_test::sharedDir;

struct RegressionCase {
  const char* name;
  const char* kind;
  const char* reads;
  bool panel;
  std::vector<std::string> options;
};

void PrintTo(const RegressionCase& c, std::ostream* os) {
  *os << c.name;
}

class RecordedRun : public ::testing::TestWithParam<RegressionCase> {};

TEST_P(RecordedRun, GivesTheRecordedOutput) {
  const std::string shared = sharedDir();
  if (shared.empty()) GTEST_SKIP() << "shared test data not found beside the repository";
  const RegressionCase& c = GetParam();
  const std::string data = shared + "/data/HG01500/small/" + c.kind + "/";
  ScratchDir scratch;
  const std::string out = scratch.file("out.txt");
  std::vector<std::string> words = {
      "velta", "--mfile", data + "map.txt", "--sfile", data + c.reads, "--output", out, "-v", "0"};
  if (c.panel) {
    words.push_back("--rfile");
    words.push_back(data + "panel.txt");
  }
  words.insert(words.end(), c.options.begin(), c.options.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  // The seed the recorded files were made with (the clock fixed at this value).
  veltaSrand(20261208);
  testing::internal::CaptureStdout();
  const int status = runVelta(static_cast<int>(argv.size()), argv.data());
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(status, 0);
  const std::string expected =
      readFile(std::string(VELTA_SOURCE_DIR) + "/tests/data/regression/" + c.name + ".txt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(readFile(out), expected);
}

INSTANTIATE_TEST_SUITE_P(
    SmallData, RecordedRun,
    ::testing::Values(
        RegressionCase{"inference.short", "inference", "reads.txt", true,
                       {"-n", "3", "-m", "5", "--polish", "0"}},
        RegressionCase{"inference.long",
                       "inference",
                       "reads.long.txt",
                       true,
                       {"-n", "3", "-m", "5", "-u", "0.5", "--polish", "0"}},
        RegressionCase{"assembly.short", "assembly", "reads.txt", false, {"-n", "200"}},
        RegressionCase{"assembly.long", "assembly", "reads.long.txt", false, {"-n", "200"}}),
    [](const testing::TestParamInfo<RegressionCase>& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (ch == '.') ch = '_';
      }
      return name;
    });

}  // namespace
