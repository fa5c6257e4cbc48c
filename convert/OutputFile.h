// An output file that appears under its name only when complete: a regular
// file (or a new name) is written as NAME.part and renamed at commit, so a run
// that ends early never leaves a file that looks finished, and no NAME.part is
// left behind on any end, a fatal one included. A name that is a symbolic link
// is followed to its target, which is replaced the same way while the link
// stays; anything else that is not a regular file (a device such as /dev/null
// or /dev/stdout, a named pipe) is written in place, and a failed write there
// ends the run as it does for a file.
#pragma once

#include <fstream>
#include <string>
#include <vector>

class OutputFile {
 public:
  // kStream: the data are written through stream(). kByName: the caller
  // opens writePath() itself (e.g. through htslib) and closes it before commit().
  enum class Writer { kStream, kByName };

  // Checks the name before any work and opens the place the data go: a
  // folder, a place that cannot be created, or a name that is an input of the
  // run (see protectInputs) ends the run naming it.
  explicit OutputFile(const std::string& path, Writer writer = Writer::kStream);
  // Removes the part files when commit() was not reached.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& stream() { return out_; }
  // The name given.
  const std::string& path() const { return path_; }
  // Where the data are written until commit(): NAME.part (beside a link's
  // target), or the name itself when it is written in place.
  const std::string& writePath() const { return writePath_; }
  // True for a device or a named pipe, which cannot be renamed or read back.
  bool inPlace() const { return inPlace_; }

  // An index of the data, NAME + suffix once committed (e.g. ".tbi"). Returns
  // the part name the caller builds it at, after the data are complete and
  // before commit(). Not for an output written in place.
  const std::string& addIndex(const std::string& suffix);

  // Closes the stream, checks that every write succeeded and puts the file
  // under its name. With an index, every index an earlier file left beside
  // NAME (NAME.tbi, NAME.csi) is removed first, then the data are renamed, then
  // the index: an index never lies next to data it does not describe. A
  // failure ends the run naming the file.
  void commit();

 private:
  std::string path_;
  std::string target_;  // the name after following symbolic links
  std::string writePath_;
  std::string indexPath_;  // NAME + suffix; empty without an index
  std::string indexPart_;
  bool inPlace_ = false;
  std::ofstream out_;
  bool committed_ = false;
};

// The run's input files: an output that is one of them (the same file under
// any name, NAME.part included) ends the run before anything is written, so an
// input is never overwritten. Set once, after the command line is read.
void protectInputs(const std::vector<std::string>& paths);
