#include "InputIndex.h"

#include <sys/stat.h>

#include <vector>

#include "VeltaIO.h"

namespace {

// The names htslib tries for one index extension: NAME.ext, then NAME with its
// last extension replaced.
std::vector<std::string> candidates(const std::string& path, const char* extension) {
  std::vector<std::string> names = {path + extension};
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1)) {
    names.push_back(path.substr(0, dot) + extension);
  }
  return names;
}

// The index extensions of a format, in the order htslib prefers them.
std::vector<const char*> extensionsOf(const htsFormat* format) {
  switch (format->format) {
    case bam:
      return {".csi", ".bai"};
    case cram:
      return {".crai"};
    case bcf:
      return {".csi"};
    case vcf:
      if (format->compression == bgzf) return {".csi", ".tbi"};
      return {};
    default:
      return {};
  }
}

}  // namespace

std::string freshIndexFile(const std::string& path, htsFile* file) {
  struct stat data {};
  if (stat(path.c_str(), &data) != 0 || !S_ISREG(data.st_mode)) return "";
  for (const char* extension : extensionsOf(hts_get_format(file))) {
    for (const std::string& name : candidates(path, extension)) {
      struct stat index {};
      if (stat(name.c_str(), &index) != 0 || !S_ISREG(index.st_mode)) continue;
      if (index.st_mtime < data.st_mtime) {
        veltaWarn(
            "the index %s is older than %s (an index of an earlier file?): it is not used, "
            "%s is read whole",
            name.c_str(), path.c_str(), path.c_str());
        return "";
      }
      return name;
    }
  }
  return "";
}
