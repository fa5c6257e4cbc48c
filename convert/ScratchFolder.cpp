#include "ScratchFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "VeltaIO.h"

namespace {

// The folders not yet removed, for the exit hook; windows phased on several
// threads may end the run from any of them.
std::mutex& foldersLock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::string>& liveFolders() {
  static std::vector<std::string> folders;
  return folders;
}

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

void removeLiveFolders() {
  const std::lock_guard<std::mutex> held(foldersLock());
  for (const std::string& path : liveFolders()) removeFolder(path);
  liveFolders().clear();
}

void track(const std::string& path) {
  std::vector<std::string>& folders = liveFolders();
  // Registered after the list and its lock exist, so the hook runs before they go.
  foldersLock();
  static const bool hooked = std::atexit(removeLiveFolders) == 0;
  (void)hooked;
  const std::lock_guard<std::mutex> held(foldersLock());
  folders.push_back(path);
}

void untrack(const std::string& path) {
  std::vector<std::string>& folders = liveFolders();
  const std::lock_guard<std::mutex> held(foldersLock());
  folders.erase(std::remove(folders.begin(), folders.end(), path), folders.end());
}

}  // namespace

ScratchFolder::ScratchFolder(std::string path, const char* what) : path_(std::move(path)) {
  if (mkdir(path_.c_str(), 0777) != 0 && errno != EEXIST) {
    veltaFatal("cannot create the folder %s for %s: %s", path_.c_str(), what,
               std::strerror(errno));
  }
  track(path_);
}

ScratchFolder::~ScratchFolder() {
  untrack(path_);
  removeFolder(path_);
}
