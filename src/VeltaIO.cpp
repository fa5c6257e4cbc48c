#include "VeltaIO.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "Parameter.h"

char line[kLineSize];

namespace {
ExitHandler exitHandler = std::exit;
}  // namespace

void composeLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  // vsnprintf never writes past the buffer and always terminates it; longer
  // text is cut at the end of the buffer.
  std::vsnprintf(line, kLineSize, format, args);
  va_end(args);
}

void veltaMessage(const char* text, int level, const Parameter& parameter) {
  if (parameter.getVerbose() >= level) std::puts(text);
}

void veltaWarning(const char* text) {
  std::fprintf(stderr, "WARINING => %s\n", text);
}

void veltaErrorExit(const char* text) {
  std::fprintf(stderr, "FATAL => %s\n", text);
  veltaExit(1);
}

ExitHandler setExitHandler(ExitHandler handler) {
  ExitHandler previous = exitHandler;
  exitHandler = handler;
  return previous;
}

void veltaExit(int status) {
  exitHandler(status);
  std::abort();  // an exit handler must not return
}

bool isEmpty(const std::string& text) {
  for (char c : text) {
    if (c != '-' && c != ' ' && c != '\t') return false;
  }
  return true;
}
