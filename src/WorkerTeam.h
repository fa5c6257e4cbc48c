// A fixed team of threads that run one task at a time together, for the
// sampler's --threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// run(task) calls task(t) for t = 0 .. size() - 1, share 0 on the calling
// thread and the others on the team's own threads, and returns when every
// share is done; what a share writes is then visible to the caller. Tasks run
// in the sampler's inner loop, tens of microseconds each, so a waiting thread
// first spins briefly and only then sleeps.
class WorkerTeam {
 public:
  explicit WorkerTeam(unsigned size);
  ~WorkerTeam();
  WorkerTeam(const WorkerTeam&) = delete;
  WorkerTeam& operator=(const WorkerTeam&) = delete;

  unsigned size() const { return static_cast<unsigned>(workers_.size()) + 1; }

  template <typename Task>
  void run(Task& task) {
    if (workers_.empty()) {
      task(0U);
      return;
    }
    start(&task, [](void* context, unsigned share) { (*static_cast<Task*>(context))(share); });
    task(0U);
    finish();
  }

 private:
  using Call = void (*)(void*, unsigned);
  void start(void* context, Call call);
  void finish();
  void work(unsigned share);

  std::vector<std::thread> workers_;
  void* context_ = nullptr;
  Call call_ = nullptr;
  std::atomic<std::uint64_t> round_{0};  // tasks started; odd counts never mean anything
  std::atomic<unsigned> pending_{0};     // shares of the current task still running
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
};
