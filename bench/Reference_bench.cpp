// Copying-model kernels on the shared inference panels: path draws and
// likelihoods per haplotype-SNP state, and the best path search per SNP, each
// for the program's kernel ("fast") and for the plain reference kernel the
// tests check it against ("reference"), so one run gives both sides.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ForwardStep.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "PlainKernels.h"
#include "Reference.h"
#include "ReferenceModelReference.h"
#include "VeltaUtil.h"

namespace {

// One loaded inference data set: the map (transitions renewed for the panel)
// and the panel.
struct Panel {
  Parameter parameter;
  Reference reference;
  std::unique_ptr<velta_reference::LogSpaceModel> logSpace;  // made on first use
};

enum class Kernel { kFast, kReference };

const velta_reference::LogSpaceModel& logSpaceOf(const Panel& panel) {
  Panel& own = const_cast<Panel&>(panel);
  if (!own.logSpace) own.logSpace = std::make_unique<velta_reference::LogSpaceModel>(own.reference);
  return *own.logSpace;
}

// The shared folder beside the repository, or the one VELTA_SHARED_DIR names
// (for checkouts elsewhere, such as extra worktrees).
std::string dataDir(const std::string& size) {
  const char* shared = std::getenv("VELTA_SHARED_DIR");
  const std::string root = shared != nullptr && *shared != '\0' ? shared : VELTA_SHARED_DIR;
  return root + "/data/HG01500/" + size + "/inference/";
}

// The first `snpLimit` lines of a text (all of them for 0).
std::string firstLines(std::istream& in, std::size_t snpLimit) {
  std::string text, lineText;
  for (std::size_t n = 0; (snpLimit == 0 || n < snpLimit) && std::getline(in, lineText); ++n) {
    text += lineText;
    text += '\n';
  }
  return text;
}

// A panel of `hapNo` haplotypes over the given panel's SNPs: each is a mosaic
// of the given panel's haplotypes, switching source about every 100 SNPs,
// with one allele in 200 changed, so the copying model meets real LD blocks.
std::string mosaicPanelText(const std::string& panelText, int hapNo) {
  std::vector<std::string> rows;
  std::istringstream in(panelText);
  for (std::string row; std::getline(in, row);) rows.push_back(row);
  const std::size_t sources = rows.empty() ? 0 : rows[0].size();
  std::vector<std::size_t> source(hapNo);
  for (auto& s : source) s = veltaRand() % sources;
  std::string text;
  for (const std::string& row : rows) {
    // The row's two allele characters (one, at a SNP the source panel does
    // not vary).
    const std::size_t second = row.find_first_not_of(row[0]);
    const char alleles[2] = {row[0], second == std::string::npos ? row[0] : row[second]};
    for (int k = 0; k < hapNo; ++k) {
      if (veltaRand() % 100 == 0) source[k] = veltaRand() % sources;
      const bool first = row[source[k]] == alleles[0];
      const bool changed = veltaRand() % 200 == 0;
      text += alleles[first == changed ? 1 : 0];
    }
    text += '\n';
  }
  return text;
}

// Loads each data set once per process (its first `snpLimit` SNPs, all for 0,
// and a synthetic mosaic panel of `hapNo` haplotypes when hapNo is not 0);
// nullptr when its files are absent.
const Panel* loadPanel(const std::string& size, std::size_t snpLimit = 0, int hapNo = 0) {
  static std::map<std::string, std::unique_ptr<Panel>> loaded;
  const std::string key = size + "/" + std::to_string(snpLimit) + "/" + std::to_string(hapNo);
  auto found = loaded.find(key);
  if (found != loaded.end()) return found->second.get();
  std::unique_ptr<Panel> panel;
  std::ifstream map(dataDir(size) + "map.txt");
  std::ifstream panelFile(dataDir(size) + "panel.txt");
  if (map && panelFile) {
    panel = std::make_unique<Panel>();
    std::istringstream mapText(firstLines(map, snpLimit));
    panel->parameter.initFromMapStream(mapText);
    std::string panelText = firstLines(panelFile, snpLimit);
    if (hapNo != 0) {
      veltaSrand(5);
      panelText = mosaicPanelText(panelText, hapNo);
    }
    std::istringstream in(panelText);
    const std::string name = dataDir(size) + "panel.txt";
    panel->reference.initFromStream(in, name.c_str(), panel->parameter);
    panel->parameter.renewTran(panel->reference.getHapNo());
  }
  return (loaded[key] = std::move(panel)).get();
}

const Panel* panelOrSkip(benchmark::State& state, const std::string& size, std::size_t snpLimit = 0,
                         int hapNo = 0) {
  const Panel* panel = loadPanel(size, snpLimit, hapNo);
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

// Data set `size`; with a hapNo argument, a synthetic panel of that many
// haplotypes over its SNPs.
void BM_SamplePath(benchmark::State& state, const std::string& size, Kernel kernel) {
  const Panel* panel = panelOrSkip(state, size, 0, static_cast<int>(state.range(0)));
  if (panel == nullptr) return;
  veltaSrand(1);
  const Haplotype haplotype(panel->reference.getSnpNo());
  RefPath path(panel->reference);
  std::vector<unsigned short> plainPath;
  for (auto _ : state) {
    if (kernel == Kernel::kFast) {
      panel->reference.samplePath(path, haplotype, panel->parameter);
      benchmark::DoNotOptimize(path.at(0));
    } else {
      logSpaceOf(*panel).samplePath(plainPath, haplotype, panel->parameter);
      benchmark::DoNotOptimize(plainPath[0]);
    }
  }
  reportPerState(state, panel->reference);
  reportPeakMemory(state);
}

void BM_ForwardProb(benchmark::State& state, const std::string& size, Kernel kernel) {
  const Panel* panel = panelOrSkip(state, size, 0, static_cast<int>(state.range(0)));
  if (panel == nullptr) return;
  veltaSrand(2);
  const Haplotype haplotype(panel->reference.getSnpNo());
  for (auto _ : state) {
    benchmark::DoNotOptimize(kernel == Kernel::kFast
                                 ? panel->reference.forwardProb(haplotype, panel->parameter)
                                 : logSpaceOf(*panel).forwardProb(haplotype, panel->parameter));
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

// Sample size S = range(0) on the first range(1) SNPs of the data set.
void BM_MaxPath(benchmark::State& state, const std::string& size, Kernel kernel) {
  const Panel* panel = panelOrSkip(state, size, static_cast<std::size_t>(state.range(1)));
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
    for (auto _ : state) {
      if (kernel == Kernel::kFast) {
        panel->reference.maxPath(first, second, counts, parameter);
      } else {
        velta_reference::maxPathAllPairs(panel->reference, first, second, counts, parameter);
      }
    }
  }
  state.counters["per_SNP"] = benchmark::Counter(
      snpNo, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  reportPeakMemory(state);
}

// Panels: the small (500 haplotypes) and large (590) data sets as they are,
// and 5000 synthetic haplotypes over the small set's 2000 SNPs.
BENCHMARK_CAPTURE(BM_SamplePath, small_fast, std::string("small"), Kernel::kFast)
    ->Arg(0)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SamplePath, small_reference, std::string("small"), Kernel::kReference)
    ->Arg(0)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SamplePath, large_fast, std::string("large"), Kernel::kFast)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SamplePath, large_reference, std::string("large"), Kernel::kReference)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ForwardProb, small_fast, std::string("small"), Kernel::kFast)
    ->Arg(0)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ForwardProb, small_reference, std::string("small"), Kernel::kReference)
    ->Arg(0)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ForwardProb, large_fast, std::string("large"), Kernel::kFast)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ForwardProb, large_reference, std::string("large"), Kernel::kReference)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
// Sample sizes 30 and 100; the reference needs S^4 steps per SNP, so S = 100
// runs on the first 20 SNPs only.
BENCHMARK_CAPTURE(BM_MaxPath, small_fast, std::string("small"), Kernel::kFast)
    ->Args({30, 2000})
    ->Args({100, 20})
    ->Args({100, 2000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MaxPath, small_reference, std::string("small"), Kernel::kReference)
    ->Args({30, 2000})
    ->Args({100, 20})
    ->Unit(benchmark::kMillisecond);

// One forward step over 590 haplotypes (the large panel's count) from random
// weights and panel bits, per haplotype: the program's step ("fast") or its
// one-haplotype-at-a-time form the tests hold it to ("plain").
void BM_ForwardStep(benchmark::State& state, Kernel kernel) {
  constexpr std::size_t kHaplotypes = 590;
  veltaSrand(3);
  std::vector<double> previous(kHaplotypes + 8);
  std::vector<double> current(kHaplotypes + 8);
  std::vector<std::uint64_t> panel((kHaplotypes + 63) / 64);
  std::vector<double> table(16 * 4);
  for (double& value : previous) value = toUniform(veltaRand());
  for (std::uint64_t& word : panel) {
    word = static_cast<std::uint64_t>(veltaRand()) << 33 ^ static_cast<std::uint64_t>(veltaRand());
  }
  for (std::size_t k = 0; k < table.size(); ++k) table[k] = (k / 4 >> k % 4) & 1 ? 0.001 : 0.999;
  double sum = 1.0;
  for (auto _ : state) {
    const double stay = 0.99 / sum;
    sum = kernel == Kernel::kFast
              ? forwardStep(previous.data(), current.data(), panel.data(), 0, kHaplotypes, stay,
                            0.01, table.data())
              : velta_plain::forwardStep(previous.data(), current.data(), panel.data(), 0,
                                         kHaplotypes, stay, 0.01, table.data());
    previous.swap(current);
  }
  state.counters["per_state"] = benchmark::Counter(
      kHaplotypes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(BM_ForwardStep, fast, Kernel::kFast);
BENCHMARK_CAPTURE(BM_ForwardStep, plain, Kernel::kReference);

}  // namespace
