// Messages to the user, the shared message buffer, and the program's file
// readers and writers that are not tied to one model class.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

class Parameter;
class Read;
class Haplotype;

// The message buffer: messages that carry values are composed here first.
// 999 characters and the terminating zero; one per thread, so that jobs run on
// several threads compose their messages apart.
constexpr std::size_t kLineSize = 1000;
extern thread_local char line[kLineSize];

// Composes a printf-style message into `line`. Text that would not fit is cut
// at the end of the buffer; nothing is ever written past it.
void composeLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints `text` and a newline on standard output when the verbose level of
// `parameter` is at least `level`; level 0 is always printed.
void veltaMessage(const char* text, int level, const Parameter& parameter);

// "WARINING => text" on standard error; the run goes on.
void veltaWarning(const char* text);

// "FATAL => text" on standard error, then ends the run with status 1 through
// the exit handler (the C library's exit unless a harness replaced it).
[[noreturn]] void veltaErrorExit(const char* text);

// The one-call forms every reader and checker uses: compose a printf-style
// message into `line` (cut like composeLine's) and hand it to veltaErrorExit
// or veltaWarning.
[[noreturn]] void veltaFatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
void veltaWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The exit handler must not return. Returns the previous handler. Test
// harnesses and fuzzers install one that throws or jumps instead of ending
// the process.
using ExitHandler = void (*)(int status);
ExitHandler setExitHandler(ExitHandler handler);
[[noreturn]] void veltaExit(int status);

// True when every character is '-', ' ' or '\t' (the empty text included).
bool isEmpty(const std::string& text);

// Appends the reads of the named read file to `reads` (file order). Lines that
// carry nothing are skipped and reads without a present allele dropped. A line
// beyond a read's storage limits, a position of 0, or a SNP whose alleles would
// overflow the per-SNP counters ends the run naming the file and line or SNP.
void readSeqFile(const char* fileName, std::vector<Read>& reads, const Parameter& parameter);
// The same from an open stream; `fileName` is only used in messages.
void readSeqStream(std::istream& in, const char* fileName, std::vector<Read>& reads,
                   const Parameter& parameter);

// Ends the run when an output file of this name could not be created. Called
// right after the command line is read, before any loading or sampling, so a
// long run never ends with its result lost. An empty name checks nothing.
void checkOutputWritable(const char* fileName);

// Writes the output file: one line of two allele characters per SNP.
// outputAssembly writes the haplotype and its complement; outputInference the
// two haplotypes. Without an output name nothing is written. A file that cannot
// be opened, written or closed ends the run with status 1.
void outputAssembly(const Haplotype& haplotype, const Parameter& parameter);
void outputInference(const Haplotype& first, const Haplotype& second, const Parameter& parameter);
