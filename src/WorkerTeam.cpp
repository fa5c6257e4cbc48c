#include "WorkerTeam.h"

namespace {
// Spins before a waiting thread sleeps: a few tens of microseconds.
constexpr unsigned kSpins = 20000;
}  // namespace

WorkerTeam::WorkerTeam(unsigned size) {
  for (unsigned share = 1; share < size; ++share) {
    workers_.emplace_back([this, share] { work(share); });
  }
}

WorkerTeam::~WorkerTeam() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true);
    round_.fetch_add(1);
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void WorkerTeam::start(void* context, Call call) {
  context_ = context;
  call_ = call;
  pending_.store(static_cast<unsigned>(workers_.size()));
  {
    // Under the lock, so that a worker about to sleep sees the new round.
    std::lock_guard<std::mutex> lock(mutex_);
    round_.fetch_add(1);
  }
  wake_.notify_all();
}

void WorkerTeam::finish() {
  for (unsigned spin = 0; spin < kSpins; ++spin) {
    if (pending_.load() == 0) return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return pending_.load() == 0; });
}

void WorkerTeam::work(unsigned share) {
  std::uint64_t seen = 0;
  for (;;) {
    unsigned spin = 0;
    while (round_.load() == seen && spin < kSpins) ++spin;
    if (round_.load() == seen) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return round_.load() != seen; });
    }
    seen = round_.load();
    if (stop_.load()) return;
    call_(context_, share);
    if (pending_.fetch_sub(1) == 1) {
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_all();
    }
  }
}
