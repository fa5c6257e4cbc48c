#include "PhaseProgress.h"

#include <cstdio>

#include "Parameter.h"
#include "Progress.h"

namespace {
constexpr std::uint64_t kItemsPerDot = 100000;
}  // namespace

PhaseProgress::PhaseProgress(bool quiet) : quiet_(quiet) {
  Progress::setListener(&PhaseProgress::onTick, this);
}

PhaseProgress::~PhaseProgress() {
  Progress::setListener(nullptr, nullptr);
}

void PhaseProgress::begin(const char* what, std::int64_t from, std::int64_t to) {
  from_ = from;
  to_ = to;
  shownTenths_ = 0;
  start_ = std::chrono::steady_clock::now();
  what_ = what;
  headed_ = false;
}

// The stage's name goes out with its first mark, so that a message ending the
// run early (a missing sample, a region outside the file) stands on a line of
// its own.
void PhaseProgress::head() {
  if (headed_) return;
  headed_ = true;
  std::fprintf(stderr, "%s ...", what_);
}

void PhaseProgress::end() {
  if (quiet_) return;
  if (to_ > from_) show(1.0);  // the input may end short of the span's last position
  head();
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start_;
  std::fprintf(stderr, " done in %.1f s\n", seconds.count());
}

void PhaseProgress::attach(Parameter& parameter) {
  parameter.setProgressHandler(&PhaseProgress::onFraction, this);
}

void PhaseProgress::onTick(std::uint64_t count, const char* /*chrom*/, std::int64_t position,
                           void* context) {
  auto* self = static_cast<PhaseProgress*>(context);
  if (self->quiet_) return;
  if (self->to_ > self->from_) {
    self->show(static_cast<double>(position - self->from_) /
               static_cast<double>(self->to_ - self->from_));
  } else if (count % kItemsPerDot == 0) {
    self->head();
    std::fputc('.', stderr);
    std::fflush(stderr);
  }
}

void PhaseProgress::onFraction(double fraction, void* context) {
  static_cast<PhaseProgress*>(context)->show(fraction);
}

// Prints " 10%", " 20%", ... as the fraction passes each tenth.
void PhaseProgress::show(double fraction) {
  if (quiet_ || !(fraction > 0)) return;
  const int tenths = fraction >= 1 ? 10 : static_cast<int>(fraction * 10);
  while (shownTenths_ < tenths) {
    head();
    ++shownTenths_;
    std::fprintf(stderr, " %d%%", 10 * shownTenths_);
    std::fflush(stderr);
  }
}
