// A folder of intermediate files that no end of the run leaves behind: it is
// removed with everything in it when its owner goes, and on a fatal end too,
// which leaves through exit() past every destructor.
#pragma once

#include <string>

// Creates the folder `path` (an existing one is used as it is); a folder that
// cannot be created, or a file in its place, ends the run naming it and
// `what` it is for.
void makeFolder(const std::string& path, const char* what);

class ScratchFolder {
 public:
  // Creates the folder as makeFolder does.
  ScratchFolder(std::string path, const char* what);
  // Removes the files in the folder, then the folder.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  // The path of a file in the folder.
  std::string file(const std::string& name) const { return path_ + '/' + name; }

 private:
  std::string path_;
};
