// Errors and warnings of the converter. They go through velta's own message
// functions, so both programs report and end alike ("FATAL => ..." on standard
// error and status 1) and tests catch a fatal end the same way.
#pragma once

// Composes the message (cut to velta's 1000-byte message buffer) and ends the
// run through veltaErrorExit.
[[noreturn]] void convertFatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Composes the message and prints it through veltaWarning; the run goes on.
void convertWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
