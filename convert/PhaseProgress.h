// The phase command's one progress display, on standard error: one line per
// stage, with a percentage every 10% where the stage knows its length, and
// the seconds it took. Silent when quiet (-v 0).
#pragma once

#include <chrono>
#include <cstdint>

class Parameter;

class PhaseProgress {
 public:
  // Takes the converter's progress ticks for the whole life of the object.
  explicit PhaseProgress(bool quiet);
  ~PhaseProgress();
  PhaseProgress(const PhaseProgress&) = delete;
  PhaseProgress& operator=(const PhaseProgress&) = delete;

  // Starts a stage named `what`. A stage that walks an input in position
  // order gives the positions it runs from and to (1-based) for its
  // percentage; `to` 0: its length is unknown, and a dot marks every 100,000
  // items.
  void begin(const char* what, std::int64_t from = 0, std::int64_t to = 0);
  // Ends the stage's line with its seconds.
  void end();
  // velta's samplers report through here while `parameter` is in use.
  void attach(Parameter& parameter);

 private:
  static void onTick(std::uint64_t count, const char* chrom, std::int64_t position, void* context);
  static void onFraction(double fraction, void* context);
  void show(double fraction);
  void head();

  bool quiet_;
  std::int64_t from_ = 0;
  std::int64_t to_ = 0;
  const char* what_ = "";
  bool headed_ = false;  // the stage's name is out
  int shownTenths_ = 0;
  std::chrono::steady_clock::time_point start_;
};
