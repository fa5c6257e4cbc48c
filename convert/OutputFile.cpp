#include "OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ExitCleanup.h"
#include "VeltaIO.h"

namespace {

void removeFile(const std::string& path) { std::remove(path.c_str()); }

// The part files of the outputs not yet committed go if the run ends first.
void track(const std::string& part) { removeAtExit(part, removeFile); }

void untrack(const std::string& part) { keepAtExit(part); }

std::vector<std::string>& protectedInputs() {
  static std::vector<std::string> inputs;
  return inputs;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat x {};
  struct stat y {};
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

void refuseInputs(const std::string& output, const std::string& written) {
  for (const std::string& input : protectedInputs()) {
    if (sameFile(input, written)) {
      veltaFatal("output %s would overwrite the input %s: give the output another name",
                 output.c_str(), input.c_str());
    }
  }
}

// Follows symbolic links (relative ones from the link's folder) to the name
// that is not a link, existing or not.
std::string followLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> text(static_cast<std::size_t>(info.st_size) + 2);
    const ssize_t length = readlink(current.c_str(), text.data(), text.size() - 1);
    if (length < 0) return current;
    std::string target(text.data(), static_cast<std::size_t>(length));
    const std::size_t slash = current.rfind('/');
    if (target[0] != '/' && slash != std::string::npos) target.insert(0, current, 0, slash + 1);
    current = target;
  }
  veltaFatal("cannot create %s: too many levels of symbolic links", path.c_str());
}

void removeOldIndex(const std::string& index) {
  struct stat info {};
  if (lstat(index.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode) || std::remove(index.c_str()) != 0) {
    veltaFatal("cannot remove %s, an index that would not describe the new data: %s", index.c_str(),
               S_ISDIR(info.st_mode) ? "it is a folder" : std::strerror(errno));
  }
}

void renameInto(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    veltaFatal("cannot rename %s to %s: %s", from.c_str(), to.c_str(), std::strerror(errno));
  }
}

}  // namespace

void protectInputs(const std::vector<std::string>& paths) {
  protectedInputs() = paths;
}

OutputFile::OutputFile(const std::string& path, Writer writer)
    : path_(path), target_(followLinks(path)) {
  struct stat info {};
  if (stat(path_.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) veltaFatal("cannot create %s: it is a folder", path_.c_str());
    // A link that only the system can follow (/dev/stdout sent to a file) is
    // written through as well: replacing its target would not reach the file.
    inPlace_ = !S_ISREG(info.st_mode) || !sameFile(path_, target_);
  }
  if (inPlace_) {
    writePath_ = path_;
    if (writer == Writer::kByName) return;
    out_.open(writePath_, std::ios::out);
    if (!out_) veltaFatal("cannot open %s: %s", writePath_.c_str(), std::strerror(errno));
    return;
  }
  writePath_ = target_ + ".part";
  refuseInputs(path_, target_);
  refuseInputs(path_, writePath_);
  out_.open(writePath_, std::ios::out | std::ios::trunc);
  if (!out_) veltaFatal("cannot create %s: %s", writePath_.c_str(), std::strerror(errno));
  track(writePath_);
  if (writer == Writer::kByName) out_.close();
}

OutputFile::~OutputFile() {
  if (committed_) return;
  out_.close();
  if (inPlace_) return;
  std::remove(writePath_.c_str());
  untrack(writePath_);
  if (!indexPart_.empty()) {
    std::remove(indexPart_.c_str());
    untrack(indexPart_);
  }
}

const std::string& OutputFile::addIndex(const std::string& suffix) {
  indexPath_ = path_ + suffix;
  indexPart_ = indexPath_ + ".part";
  refuseInputs(indexPath_, indexPath_);
  refuseInputs(indexPath_, indexPart_);
  track(indexPart_);
  return indexPart_;
}

void OutputFile::commit() {
  if (out_.is_open()) {
    out_.close();
    if (!out_) {
      veltaFatal("cannot write %s: %s", writePath_.c_str(),
                 errno != 0 ? std::strerror(errno) : "write error (disk full?)");
    }
  }
  if (!inPlace_) {
    if (!indexPath_.empty()) {
      for (const char* suffix : {".tbi", ".csi"}) removeOldIndex(path_ + suffix);
    }
    renameInto(writePath_, target_);
    untrack(writePath_);
    if (!indexPath_.empty()) {
      renameInto(indexPart_, indexPath_);
      untrack(indexPart_);
    }
  }
  committed_ = true;
}
