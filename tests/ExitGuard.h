// The one exit guard of the test suites and the fuzz harnesses: while it
// lives, velta's fatal path (veltaErrorExit, veltaExit) throws FatalExit
// instead of ending the process, so a fatal end can be checked in-process.
#pragma once

#include <stdexcept>

#include "VeltaIO.h"

namespace velta_test {

struct FatalExit : std::runtime_error {
  explicit FatalExit(int s) : std::runtime_error("fatal exit"), status(s) {}
  int status;
};

class ExitGuard {
 public:
  ExitGuard() : previous_(setExitHandler(throwFatal)) {}
  ~ExitGuard() { setExitHandler(previous_); }
  ExitGuard(const ExitGuard&) = delete;
  ExitGuard& operator=(const ExitGuard&) = delete;

 private:
  [[noreturn]] static void throwFatal(int status) { throw FatalExit(status); }

  ExitHandler previous_;
};

}  // namespace velta_test
