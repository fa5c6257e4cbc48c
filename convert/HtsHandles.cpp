#include "HtsHandles.h"

#include "VeltaIO.h"

HtsFilePtr openHtsInput(const std::string& path, const char* what) {
  HtsFilePtr file(hts_open(path.c_str(), "r"));
  if (!file)
    veltaFatal("cannot open %s %s (missing, unreadable or not a known format)", what, path.c_str());
  // A bgzipped file (or CRAM) ends with an empty block; without it the file
  // was cut short and would be read to the cut as if complete.
  if (hts_check_EOF(file.get()) == 0) {
    veltaFatal(
        "%s %s is cut short: it lacks the end-of-file block of a bgzipped file (an unfinished "
        "copy or download?)",
        what, path.c_str());
  }
  return file;
}
