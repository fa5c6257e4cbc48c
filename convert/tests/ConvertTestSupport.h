// Helpers of the converter's tests: the checked-in data, in-process runs of
// velta-convert with captured output and fatal ends, and VCF files read back
// or written through htslib.
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

namespace convert_test {

// Path of a file in convert/tests/data.
std::string dataFile(const std::string& name);

// What one in-process run of velta-convert gave.
struct ConvertRun {
  bool fatal;       // the run ended through veltaErrorExit or the usage exit
  int status;       // its exit status when fatal, else 0
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the built velta-convert with these arguments (no shell quoting
// needed); `env` as for velta_test::runBinary.
velta_test::RunResult runConvertBinary(const std::vector<std::string>& args,
                                       const std::string& env = "");

// Runs velta-convert with these arguments (argv[0] is added) in this process.
ConvertRun runConvert(const std::vector<std::string>& args);

// The data lines of a VCF or BCF (header lines left out), as VCF text.
std::vector<std::string> vcfBodyLines(const std::string& path);

// The whole file as VCF text: header lines, then data lines.
std::string vcfText(const std::string& path);

// Column `column` (from 0) of a tab-separated line.
std::string tabField(const std::string& line, int column);

// Writes VCF text as a bgzipped file with a .tbi index, or as BCF with a .csi
// index when the name ends in .bcf.
void writeIndexedVcf(const std::string& path, const std::string& vcfText);

// Writes the records of a SAM file, sorted by position, as an indexed BAM, or
// as a CRAM when `reference` is given.
void writeSortedCopy(const std::string& sam, const std::string& path,
                     const std::string& reference = "");

// Replaces the first occurrence of `from` in `text`; the test fails when it is absent.
std::string replaceOnce(std::string text, const std::string& from, const std::string& to);

}  // namespace convert_test
