// Whole runs with a fixed seed must give exactly the output files recorded
// here: a faster kernel may change how a number is computed, never which
// haplotypes come out. The runs on the repository's example/ need nothing
// outside it; those on the shared data skip without them.
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
  const char* folder;  // "example/" in the repository, or a shared data folder
  const char* map;
  const char* reads;
  const char* panel;  // nullptr: assembly
  std::vector<std::string> options;
};

void PrintTo(const RegressionCase& c, std::ostream* os) {
  *os << c.name;
}

class RecordedRun : public ::testing::TestWithParam<RegressionCase> {};

std::string caseName(const testing::TestParamInfo<RegressionCase>& info) {
  std::string name = info.param.name;
  for (char& ch : name) {
    if (ch == '.') ch = '_';
  }
  return name;
}

TEST_P(RecordedRun, GivesTheRecordedOutput) {
  const RegressionCase& c = GetParam();
  std::string data = std::string(VELTA_SOURCE_DIR) + "/" + c.folder;
  if (std::string(c.folder) != "example/") {
    const std::string shared = sharedDir();
    if (shared.empty()) GTEST_SKIP() << "shared test data not found beside the repository";
    data = shared + "/data/HG01500/small/" + c.folder;
  }
  ScratchDir scratch;
  const std::string out = scratch.file("out.txt");
  std::vector<std::string> words = {"velta",    "--mfile", data + c.map, "--sfile", data + c.reads,
                                    "--output", out,       "-v",         "0"};
  if (c.panel != nullptr) {
    words.push_back("--rfile");
    words.push_back(data + c.panel);
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

// Recorded without the final phase stage (--polish 0), so that they guard the
// sampler's own draws; the seed is given as the option.
INSTANTIATE_TEST_SUITE_P(Example, RecordedRun,
                         ::testing::Values(RegressionCase{"example.inference",
                                                          "example/",
                                                          "map.txt",
                                                          "reads.txt",
                                                          "panel.txt",
                                                          {"-n", "20", "-m", "10", "--polish", "0",
                                                           "--seed", "20261208"}},
                                           RegressionCase{"example.assembly",
                                                          "example/",
                                                          "assembly.map.txt",
                                                          "assembly.reads.txt",
                                                          nullptr,
                                                          {"-n", "200", "--polish", "0", "--seed",
                                                           "20261208"}}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(
    SmallData, RecordedRun,
    ::testing::Values(
        RegressionCase{"inference.short",
                       "inference/",
                       "map.txt",
                       "reads.txt",
                       "panel.txt",
                       {"-n", "3", "-m", "5", "--polish", "0"}},
        RegressionCase{"inference.long",
                       "inference/",
                       "map.txt",
                       "reads.long.txt",
                       "panel.txt",
                       {"-n", "3", "-m", "5", "-u", "0.5", "--polish", "0"}},
        RegressionCase{
            "assembly.short", "assembly/", "map.txt", "reads.txt", nullptr, {"-n", "200"}},
        RegressionCase{
            "assembly.long", "assembly/", "map.txt", "reads.long.txt", nullptr, {"-n", "200"}}),
    caseName);

}  // namespace
