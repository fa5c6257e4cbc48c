// velta-compare's command line and run: load the two phased files (and the map
// and reads when given), score, print the report.
#pragma once

// What the command line names; null where an optional file was not given.
struct CompareOptions {
  const char* truthFile = nullptr;
  const char* phasedFile = nullptr;
  const char* mapFile = nullptr;
  const char* readFile = nullptr;
};

// Reads `velta-compare TRUTH PHASED [--map MAP] [--reads READS]` (options in
// any order). -h or --help prints the usage text on standard output and ends
// with status 0; a malformed command line prints a line naming the fault and
// the usage text on standard error and ends with status 1.
CompareOptions parseCompareArguments(int argc, char** argv);

// Runs one comparison; returns 0 after the report is written. Faulty input
// ends the process with status 1 through the exit handler.
int runCompare(int argc, char** argv);
