// Replays every seed and every regression input of the fuzz harnesses through
// the same entry functions, built with the ordinary compiler (and, in CI, with
// the sanitizers). Inputs named ok_* must load, bad_* must end with a fatal
// message (or the usage text); the rest must merely end in one of the two.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "TestSupport.h"

namespace {

using velta_fuzz::Outcome;
using velta_test::readFile;
using velta_test::ScratchDir;

struct Harness {
  const char* name;
  Outcome (*entry)(const std::uint8_t*, std::size_t);
};

void PrintTo(const Harness& harness, std::ostream* os) {
  *os << harness.name;
}

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Runs the test body in a scratch folder holding the files the command-line
// inputs name, and returns to the previous folder afterwards.
class InScratchFolder {
 public:
  InScratchFolder() : previous_(getcwd(nullptr, 0)) {
    if (chdir(scratch_.path().c_str()) != 0) throw std::runtime_error("chdir failed");
    velta_fuzz::prepareCommandLineFolder();
  }
  ~InScratchFolder() {
    if (chdir(previous_) != 0) std::perror("chdir");
    free(previous_);
  }
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;

 private:
  ScratchDir scratch_;
  char* previous_;
};

class FuzzReplay : public ::testing::TestWithParam<Harness> {};

TEST_P(FuzzReplay, EveryInputEndsCleanlyWithItsExpectedOutcome) {
  const std::string root = std::string(VELTA_SOURCE_DIR) + "/fuzz/";
  int replayed = 0;
  for (const char* kind : {"corpus/", "regressions/"}) {
    const std::string folder = root + kind + GetParam().name;
    for (const std::string& name : filesIn(folder)) {
      const std::string data = readFile(folder + "/" + name);
      InScratchFolder scratch;
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      const Outcome outcome =
          GetParam().entry(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
      const std::string out = testing::internal::GetCapturedStdout();
      const std::string err = testing::internal::GetCapturedStderr();
      if (startsWith(name, "ok_")) {
        EXPECT_EQ(outcome, Outcome::kAccepted) << kind << name << "\n" << err;
      } else if (startsWith(name, "bad_")) {
        EXPECT_EQ(outcome, Outcome::kFatal) << kind << name;
        // A fatal message, or the usage text of a malformed command line.
        EXPECT_TRUE(err.find("FATAL => ") != std::string::npos ||
                    out.find("Usage: velta") != std::string::npos)
            << kind << name;
      }
      ++replayed;
    }
  }
  EXPECT_GE(replayed, 5) << "the seed corpus of " << GetParam().name << " is missing";
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzReplay,
                         ::testing::Values(Harness{"map_loader", velta_fuzz::fuzzMapLoader},
                                           Harness{"read_line", velta_fuzz::fuzzReadLine},
                                           Harness{"read_file", velta_fuzz::fuzzReadFile},
                                           Harness{"panel_loader", velta_fuzz::fuzzPanelLoader},
                                           Harness{"command_line", velta_fuzz::fuzzCommandLine}),
                         [](const testing::TestParamInfo<Harness>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
