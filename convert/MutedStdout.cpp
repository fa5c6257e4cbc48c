#include "MutedStdout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

MutedStdout::MutedStdout(bool mute) {
  if (!mute) return;
  std::fflush(stdout);
  saved_ = dup(STDOUT_FILENO);
  const int devNull = open("/dev/null", O_WRONLY);
  if (saved_ < 0 || devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0) {
    if (devNull >= 0) close(devNull);
    restore();
    return;
  }
  close(devNull);
}

void MutedStdout::restore() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
  saved_ = -1;
}
