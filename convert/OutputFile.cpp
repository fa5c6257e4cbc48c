#include "OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Messages.h"

OutputFile::OutputFile(const std::string& path) : path_(path), partPath_(path + ".part") {
  out_.open(partPath_, std::ios::out | std::ios::trunc);
  if (!out_) convertFatal("cannot create %s: %s", partPath_.c_str(), std::strerror(errno));
}

OutputFile::~OutputFile() {
  if (committed_) return;
  out_.close();
  std::remove(partPath_.c_str());
}

void OutputFile::commit() {
  out_.close();
  if (!out_) convertFatal("cannot write %s (disk full?)", partPath_.c_str());
  renamePartFile(partPath_, path_);
  committed_ = true;
}

void renamePartFile(const std::string& partPath, const std::string& path) {
  if (std::rename(partPath.c_str(), path.c_str()) != 0) {
    convertFatal("cannot rename %s to %s: %s", partPath.c_str(), path.c_str(),
                 std::strerror(errno));
  }
}

PartFile::~PartFile() {
  if (!kept_) std::remove(path_.c_str());
}

void PartFile::keepAs(const std::string& path) {
  renamePartFile(path_, path);
  kept_ = true;
}
