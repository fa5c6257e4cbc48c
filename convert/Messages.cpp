#include "Messages.h"

#include <cstdarg>
#include <cstdio>

#include "VeltaIO.h"

void convertFatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, kLineSize, format, args);
  va_end(args);
  veltaErrorExit(line);
}

void convertWarning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, kLineSize, format, args);
  va_end(args);
  veltaWarning(line);
}
