#include "VeltaIO.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"

thread_local char line[kLineSize];

namespace {

ExitHandler exitHandler = std::exit;

// The per-SNP allele counts of a haplotype are 16-bit.
constexpr std::uint32_t kMaxAllelesPerSnp = 65535;

// Adds the read's present alleles to the per-SNP totals; ends the run when a
// SNP gathers more alleles than a haplotype's counts can hold.
void addCoverage(const Read& read, std::vector<std::uint32_t>& coverage, const char* fileName,
                 unsigned long lineNo) {
  for (ReadIterator it = read.begin(); it != read.end(); ++it) {
    const std::uint32_t snp = (*it).first;
    if (++coverage[snp] > kMaxAllelesPerSnp) {
      veltaFatal(
          "Read file %s, line %lu: SNP %u of the SNP map is covered by more than %u read "
          "alleles, more than its allele counts hold\n",
          fileName, lineNo, snp + 1, kMaxAllelesPerSnp);
    }
  }
}

void failOutput(const char* what, const char* fileName) {
  veltaFatal("Cannot %s output file %s: %s\n", what, fileName, std::strerror(errno));
}

// Writes one line per SNP, the first character from `first`, the second from
// `second` (the complement of `first` when `second` is null), flushing every
// line. Any failure ends the run naming the file.
void writeHaplotypes(const Haplotype& first, const Haplotype* second, const Parameter& parameter) {
  const char* fileName = parameter.getOutFile();
  if (fileName[0] == '\0') return;
  std::FILE* out = std::fopen(fileName, "w");
  if (out == nullptr) failOutput("open", fileName);
  const unsigned int nSnp = static_cast<unsigned int>(first.getLength());
  for (unsigned int j = 0; j < nSnp; ++j) {
    const bool a = first[j];
    const bool b = second != nullptr ? (*second)[j] : !a;
    const char text[3] = {a ? parameter.getMinorAllele(j) : parameter.getMajorAllele(j),
                          b ? parameter.getMinorAllele(j) : parameter.getMajorAllele(j), '\n'};
    if (std::fwrite(text, 1, 3, out) != 3 || std::fflush(out) != 0) failOutput("write", fileName);
  }
  if (std::fclose(out) != 0) failOutput("close", fileName);
}

// vsnprintf never writes past the buffer and always terminates it; longer
// text is cut at the end of the buffer.
void composeLineFrom(const char* format, va_list args) {
  // The callers' va_start initialises args; the analyzer misses it for
  // variadic C++ functions.
  std::vsnprintf(line, kLineSize, format, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
}

}  // namespace

void composeLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  composeLineFrom(format, args);
  va_end(args);
}

void veltaFatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  composeLineFrom(format, args);
  va_end(args);
  veltaErrorExit(line);
}

void veltaWarn(const char* format, ...) {
  va_list args;
  va_start(args, format);
  composeLineFrom(format, args);
  va_end(args);
  veltaWarning(line);
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

void readSeqFile(const char* fileName, std::vector<Read>& reads, const Parameter& parameter) {
  std::ifstream in(fileName);
  if (!in) return;
  readSeqStream(in, fileName, reads, parameter);
}

void readSeqStream(std::istream& in, const char* fileName, std::vector<Read>& reads,
                   const Parameter& parameter) {
  std::vector<std::uint32_t> coverage(parameter.getNSnp(), 0);
  for (const Read& read : reads) addCoverage(read, coverage, fileName, 0);
  std::string text;
  unsigned long lineNo = 0;
  while (std::getline(in, text)) {
    ++lineNo;
    if (isEmpty(text)) continue;
    Read read(text, parameter, fileName, lineNo);
    if (read.size() == 0) continue;
    addCoverage(read, coverage, fileName, lineNo);
    reads.push_back(std::move(read));
  }
  if (in.bad()) {
    veltaFatal("Read file %s could not be read after line %lu\n", fileName, lineNo);
  }
}

void checkOutputWritable(const char* fileName) {
  if (fileName[0] == '\0') return;
  // An existing file is opened for appending, which leaves its contents as they
  // are; a missing one is created exclusively and removed again. O_NONBLOCK
  // keeps a named pipe without a reader from stopping the check.
  int fd = open(fileName, O_WRONLY | O_APPEND | O_NONBLOCK);
  if (fd < 0 && errno == ENXIO) return;  // a pipe: written once a reader comes
  if (fd < 0 && errno == ENOENT) {
    fd = open(fileName, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) unlink(fileName);
  }
  if (fd < 0) {
    veltaFatal("Output file %s cannot be created: %s\n", fileName, std::strerror(errno));
  }
  close(fd);
}

void outputAssembly(const Haplotype& haplotype, const Parameter& parameter) {
  writeHaplotypes(haplotype, nullptr, parameter);
}

void outputInference(const Haplotype& first, const Haplotype& second, const Parameter& parameter) {
  writeHaplotypes(first, &second, parameter);
}
