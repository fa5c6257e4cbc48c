// Shared helpers of the test suite: scratch files, whole-program runs of the
// built binary, and in-process capture of fatal exits.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

class Parameter;

namespace velta_test {

// A parameter record holding the map given as text.
Parameter mapFromText(const std::string& text);
// A map of `n` SNPs, all with major A and minor G.
Parameter uniformMap(int n);

// A fresh scratch folder under the system temporary folder, removed (with its
// contents) when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to a file of that name in the folder; returns its path.
  std::string write(const std::string& name, const std::string& content) const;
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

// What one whole-program run of the velta binary gave.
struct RunResult {
  int status;
  std::string out;
  std::string err;
};

// Runs a built program with the given arguments (no shell quoting needed),
// standard input empty. `env` is prepended to the command, e.g. "LD_PRELOAD=...".
RunResult runBinary(const std::string& binary, const std::vector<std::string>& args,
                    const std::string& env = "");
// The same for the program under test (VELTA_BIN).
RunResult runVeltaBinary(const std::vector<std::string>& args, const std::string& env = "");

// Thrown in place of the process exit while a FatalCatcher is alive, so that a
// test can check a fatal path in-process.
struct FatalExit : std::runtime_error {
  explicit FatalExit(int s) : std::runtime_error("fatal exit"), status(s) {}
  int status;
};

class FatalCatcher {
 public:
  FatalCatcher();
  ~FatalCatcher();
  FatalCatcher(const FatalCatcher&) = delete;
  FatalCatcher& operator=(const FatalCatcher&) = delete;

 private:
  void (*previous_)(int);
};

// Root of the shared test data, or "" when it is not present beside the repo.
std::string sharedDir();

}  // namespace velta_test
