// Standard output sent to /dev/null for a while. velta's sampler speaks on
// standard output at every verbose level (the best path search's dots, the
// assembly's mismatch line); below level 2 the phase command's own display
// stands for it, so standard output is muted meanwhile. Muting is for the
// whole process: windows phased on several threads are muted once, around
// all of them, by the thread that starts them.
#pragma once

class MutedStdout {
 public:
  explicit MutedStdout(bool mute);
  ~MutedStdout() { restore(); }
  MutedStdout(const MutedStdout&) = delete;
  MutedStdout& operator=(const MutedStdout&) = delete;

 private:
  void restore();
  int saved_ = -1;
};

