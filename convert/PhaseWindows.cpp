#include "PhaseWindows.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "VeltaIO.h"
#include "MutedStdout.h"
#include "OutputFile.h"
#include "Parameter.h"
#include "PhaseCommand.h"
#include "ScratchFolder.h"
#include "VcfLigation.h"
#include "WindowPlan.h"

namespace {

// "windows phased: k of n" on standard error, redrawn by whichever thread
// finishes a window.
class WindowCount {
 public:
  WindowCount(std::size_t total, bool quiet) : total_(total), quiet_(quiet) {}
  void done() {
    const std::lock_guard<std::mutex> held(lock_);
    ++done_;
    if (quiet_) return;
    std::fprintf(stderr, "\rphasing %zu windows ... %zu done", total_, done_);
    if (done_ == total_) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  std::mutex lock_;
  std::size_t total_;
  std::size_t done_ = 0;
  bool quiet_;
};

}  // namespace

void runWindowedPhase(const ConvertOptions& options, const Parameter& settings, unsigned int seed,
                      OutputFile& out, std::chrono::steady_clock::time_point start) {
  const std::string& planned = options.panel.empty() ? options.vcf : options.panel;
  const std::vector<RegionWindow> windows =
      planRegionWindows(planned, options.region, static_cast<std::uint64_t>(options.window),
                        static_cast<std::uint64_t>(options.overlap), seed);
  const ScratchFolder folder(options.out + ".windows.part", "the windows");
  std::vector<std::string> files;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    files.push_back(folder.file("window" + std::to_string(i) + ".vcf.gz"));
  }
  std::vector<std::string> unphased(windows.size());  // per window: why it was not phased

  const std::size_t threads =
      std::min<std::size_t>(static_cast<std::size_t>(settings.getThreads()), windows.size());
  WindowCount count(windows.size(), settings.getVerbose() == 0);
  std::atomic<std::size_t> next{0};
  auto work = [&]() {
    for (std::size_t i = next++; i < windows.size(); i = next++) {
      ConvertOptions window = options;
      window.region = windows[i].region();
      window.window = 0;
      if (!options.keepIntermediate.empty()) {
        window.keepIntermediate = options.keepIntermediate + "/window" + std::to_string(i);
        makeFolder(window.keepIntermediate, "--keep-intermediate");
      }
      OutputFile windowOut(files[i], OutputFile::Writer::kByName);
      unphased[i] = phaseRegion(window, settings, windows[i].seed, windowOut, nullptr).unphased;
      count.done();
    }
  };
  {
    // velta's own lines are muted once for all threads (see MutedStdout).
    const MutedStdout muted(settings.getVerbose() < 2);
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
  }
  std::printf("phase %s, sample %s (%s, seed %u): %zu windows of at most %d SNPs overlapping "
              "by %d, threads: %zu\n",
              options.vcf.c_str(), options.sample.c_str(),
              options.panel.empty() ? "assembly" : "inference with the panel", seed,
              windows.size(), options.window, options.overlap, threads);
  std::size_t passed = 0;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (unphased[i].empty()) continue;
    ++passed;
    std::printf("  window %zu (%s): nothing to phase (%s); its records are written unphased\n",
                i + 1, windows[i].region().c_str(), unphased[i].c_str());
  }
  if (passed > 0) {
    std::printf("  %zu of %zu windows written unphased; the phase sets around them do not "
                "join across them\n",
                passed, windows.size());
  }
  ligateWindowFiles(files, options.sample, out);
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("  wall time %.1f s, peak memory %.0f MB\n", seconds.count(), peakMemoryMb());
}
