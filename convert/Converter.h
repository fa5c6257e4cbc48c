// velta-convert's run: reads the command line and runs one subcommand.
#pragma once

// Returns 0 after a complete conversion; every failure ends the run through
// veltaErrorExit (status 1).
int runConverter(int argc, char** argv);
