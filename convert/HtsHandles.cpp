#include "HtsHandles.h"

#include "Messages.h"

HtsFilePtr openHtsInput(const std::string& path, const char* what) {
  HtsFilePtr file(hts_open(path.c_str(), "r"));
  if (!file)
    convertFatal("cannot open %s %s (missing, unreadable or not a known format)", what,
                 path.c_str());
  return file;
}
