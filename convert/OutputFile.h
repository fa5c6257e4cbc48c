// An output file that appears under its name only when complete: it is
// written as NAME.part and renamed at commit, so a run that ends early never
// leaves a file that looks finished.
#pragma once

#include <fstream>
#include <string>
#include <utility>

class OutputFile {
 public:
  // Opens NAME.part; a file that cannot be created ends the run naming it.
  explicit OutputFile(const std::string& path);
  // Removes the part file when commit() was not reached.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& stream() { return out_; }
  const std::string& path() const { return path_; }
  // Closes the file, checks that every write succeeded and renames it to its
  // name; a failure ends the run naming the file.
  void commit();

 private:
  std::string path_;
  std::string partPath_;
  std::ofstream out_;
  bool committed_ = false;
};

// Renames a finished NAME.part to NAME; a failure ends the run naming it.
void renamePartFile(const std::string& partPath, const std::string& path);

// An output that a library writes by name (htslib): the caller writes
// NAME.part, and the part file is removed unless kept under its name, so a
// run that ends early (a test harness turns a fatal end into an exception)
// leaves nothing that looks finished.
class PartFile {
 public:
  explicit PartFile(std::string path) : path_(std::move(path)) {}
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  const std::string& path() const { return path_; }
  // Renames the part file to `path`; a failure ends the run naming it.
  void keepAs(const std::string& path);

 private:
  std::string path_;
  bool kept_ = false;
};
