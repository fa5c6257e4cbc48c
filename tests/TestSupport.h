// Shared helpers of the test suite: scratch files, whole-program runs of the
// built binary, and in-process capture of fatal exits; built once as a
// library that every test executable links.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ExitGuard.h"
#include "Read.h"
#include "VeltaUtil.h"

class Haplotype;
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

// Runs `action`, which must end through the fatal path with status 1;
// returns what it wrote on standard error. A test failure is recorded when it
// returns normally.
std::string fatalMessageOf(const std::function<void()>& action);

// A generator value of veltaRand() as the draws' uniform number.
inline double uniformDraw() {
  return toUniform(veltaRand());
}

// Root of the shared test data, or "" when it is not present beside the repo.
std::string sharedDir();

// The inference sampler's tests' reads: `count` reads over a map of `nSnp`
// uniform SNPs (uniformMap) of every shape the passes meet: single runs of
// one to six calls, pairs with gaps, long reads past the tabled sizes, and
// reads calling some SNPs twice; drawn with veltaRand().
std::vector<Read> mixedReads(int nSnp, int count, const Parameter& parameter);
// The reads' flips, in order.
std::vector<int> flipsOf(const std::vector<Read>& reads);
// Per SNP, the haplotype's (major, minor) counts.
std::vector<std::pair<int, int>> countsOf(const Haplotype& haplotype);
// Loads the reads as the inference sampler first does: the first haplotype
// holds the reads of flip 0, the second those of flip 1.
void loadSides(const std::vector<Read>& reads, Haplotype& first, Haplotype& second);

// Mismatch of each read under its better orientation, straight from the
// iterator: what the phase polish minimises.
long long betterOrientationMismatch(const std::vector<bool>& alleles,
                                    const std::vector<Read>& reads);

}  // namespace velta_test
