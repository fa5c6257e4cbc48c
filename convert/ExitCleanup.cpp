#include "ExitCleanup.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace {

std::mutex& listLock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::pair<std::string, PathRemover>>& listed() {
  static std::vector<std::pair<std::string, PathRemover>> paths;
  return paths;
}

void removeListed() {
  const std::lock_guard<std::mutex> held(listLock());
  for (const auto& [path, remove] : listed()) remove(path);
  listed().clear();
}

}  // namespace

void removeAtExit(const std::string& path, PathRemover remove) {
  std::vector<std::pair<std::string, PathRemover>>& paths = listed();
  // Registered after the list and its lock exist, so the hook runs before they go.
  listLock();
  static const bool hooked = std::atexit(removeListed) == 0;
  (void)hooked;
  const std::lock_guard<std::mutex> held(listLock());
  paths.emplace_back(path, remove);
}

void keepAtExit(const std::string& path) {
  std::vector<std::pair<std::string, PathRemover>>& paths = listed();
  const std::lock_guard<std::mutex> held(listLock());
  paths.erase(std::remove_if(paths.begin(), paths.end(),
                             [&](const auto& entry) { return entry.first == path; }),
              paths.end());
}
