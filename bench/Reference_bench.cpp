// Copying-model kernels on the shared inference panels: path draws and
// likelihoods per haplotype-SNP state, and the best path search per SNP.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Haplotype.h"
#include "Parameter.h"
#include "Reference.h"
#include "VeltaUtil.h"

namespace {

// One loaded inference data set: the map (transitions renewed for the panel)
// and the panel.
struct Panel {
  Parameter parameter;
  Reference reference;
};

// The shared folder beside the repository, or the one VELTA_SHARED_DIR names
// (for checkouts elsewhere, such as extra worktrees).
std::string dataDir(const std::string& size) {
  const char* shared = std::getenv("VELTA_SHARED_DIR");
  const std::string root = shared != nullptr && *shared != '\0' ? shared : VELTA_SHARED_DIR;
  return root + "/data/HG01500/" + size + "/inference/";
}

// Loads each data set once per process; nullptr when its files are absent.
const Panel* loadPanel(const std::string& size) {
  static std::map<std::string, std::unique_ptr<Panel>> loaded;
  auto found = loaded.find(size);
  if (found != loaded.end()) return found->second.get();
  std::unique_ptr<Panel> panel;
  std::ifstream map(dataDir(size) + "map.txt");
  std::ifstream panelFile(dataDir(size) + "panel.txt");
  if (map && panelFile) {
    panel = std::make_unique<Panel>();
    panel->parameter.initFromMapStream(map);
    const std::string name = dataDir(size) + "panel.txt";
    panel->reference.initFromStream(panelFile, name.c_str(), panel->parameter);
    panel->parameter.renewTran(panel->reference.getHapNo());
  }
  return (loaded[size] = std::move(panel)).get();
}

const Panel* panelOrSkip(benchmark::State& state, const std::string& size) {
  const Panel* panel = loadPanel(size);
  if (panel == nullptr) {
    state.SkipWithError(("shared data set " + dataDir(size) +
                         " is absent; set VELTA_SHARED_DIR to the shared folder")
                            .c_str());
  }
  return panel;
}

void reportPeakMemory(benchmark::State& state) {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MB"] = usage.ru_maxrss / 1024.0;
}

// Time per haplotype-SNP state of the forward pass (and draw).
void reportPerState(benchmark::State& state, const Reference& reference) {
  const double states = static_cast<double>(reference.getHapNo()) * reference.getSnpNo();
  state.counters["per_state"] = benchmark::Counter(
      states, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SamplePath(benchmark::State& state, const std::string& size) {
  const Panel* panel = panelOrSkip(state, size);
  if (panel == nullptr) return;
  veltaSrand(1);
  const Haplotype haplotype(panel->reference.getSnpNo());
  RefPath path(panel->reference);
  for (auto _ : state) {
    panel->reference.samplePath(path, haplotype, panel->parameter);
    benchmark::DoNotOptimize(path.at(0));
  }
  reportPerState(state, panel->reference);
  reportPeakMemory(state);
}

void BM_ForwardProb(benchmark::State& state, const std::string& size) {
  const Panel* panel = panelOrSkip(state, size);
  if (panel == nullptr) return;
  veltaSrand(2);
  const Haplotype haplotype(panel->reference.getSnpNo());
  for (auto _ : state) {
    benchmark::DoNotOptimize(panel->reference.forwardProb(haplotype, panel->parameter));
  }
  reportPerState(state, panel->reference);
  reportPeakMemory(state);
}

// The search writes progress dots on standard output; they go to /dev/null
// while it runs so the report stays readable.
class SilencedStdout {
 public:
  SilencedStdout() : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    close(devNull);
  }
  ~SilencedStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

void BM_MaxPath(benchmark::State& state, const std::string& size) {
  const Panel* panel = panelOrSkip(state, size);
  if (panel == nullptr) return;
  Parameter parameter = panel->parameter;
  parameter.setSampleSize(static_cast<int>(state.range(0)));
  const int snpNo = panel->reference.getSnpNo();
  veltaSrand(3);
  AlleleCounts counts(snpNo);
  for (auto& count : counts) count = {veltaRand() % 4, veltaRand() % 4};
  RefPath first(panel->reference), second(panel->reference);
  {
    SilencedStdout silenced;
    for (auto _ : state) panel->reference.maxPath(first, second, counts, parameter);
  }
  state.counters["per_SNP"] = benchmark::Counter(
      snpNo, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  reportPeakMemory(state);
}

BENCHMARK_CAPTURE(BM_SamplePath, small, std::string("small"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SamplePath, large, std::string("large"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ForwardProb, small, std::string("small"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ForwardProb, large, std::string("large"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MaxPath, small, std::string("small"))
    ->Arg(30)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
