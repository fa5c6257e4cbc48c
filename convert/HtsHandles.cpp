#include "HtsHandles.h"

#include "VeltaIO.h"

HtsFilePtr openHtsInput(const std::string& path, const char* what) {
  HtsFilePtr file(hts_open(path.c_str(), "r"));
  if (!file)
    veltaFatal("cannot open %s %s (missing, unreadable or not a known format)", what, path.c_str());
  return file;
}
