#include "ScratchFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "ExitCleanup.h"
#include "VeltaIO.h"

namespace {

// Only the folder's own files: the run writes no subfolders there.
void removeFolder(const std::string& path) {
  // A thread still writing when the run ends may add a file after the
  // listing: list again while the folder is not empty.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (DIR* dir = opendir(path.c_str())) {
      std::string file;
      while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        file = path;
        (file += '/') += name;
        std::remove(file.c_str());
      }
      closedir(dir);
    }
    if (rmdir(path.c_str()) == 0 || errno != ENOTEMPTY) return;
  }
}

}  // namespace

void makeFolder(const std::string& path, const char* what) {
  if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    veltaFatal("cannot create the folder %s for %s: %s", path.c_str(), what,
               std::strerror(errno));
  }
  // A file of that name would make every later write into the folder fail.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    veltaFatal("%s for %s is not a folder", path.c_str(), what);
  }
}

ScratchFolder::ScratchFolder(std::string path, const char* what) : path_(std::move(path)) {
  makeFolder(path_, what);
  removeAtExit(path_, removeFolder);
}

ScratchFolder::~ScratchFolder() {
  keepAtExit(path_);
  removeFolder(path_);
}
