#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Haplotype.h"
#include "Parameter.h"
#include "VeltaIO.h"

namespace velta_test {

Parameter mapFromText(const std::string& text) {
  std::istringstream in(text);
  Parameter parameter;
  parameter.initFromMapStream(in);
  return parameter;
}

Parameter uniformMap(int n) {
  std::ostringstream map;
  for (int i = 0; i < n; ++i) map << "1 s" << i << ' ' << i << " 0 A G\n";
  return mapFromText(map.str());
}

ScratchDir::ScratchDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velta_test_XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

ScratchDir::~ScratchDir() {
  const std::string command = "rm -rf '" + path_ + "'";
  if (std::system(command.c_str()) != 0) std::perror("rm");
}

std::string ScratchDir::write(const std::string& name, const std::string& content) const {
  const std::string path = file(name);
  std::ofstream out(path, std::ios::binary);
  out << content;
  return path;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool fileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

namespace {
std::string quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
}  // namespace

RunResult runVeltaBinary(const std::vector<std::string>& args, const std::string& env) {
  return runBinary(VELTA_BIN, args, env);
}

RunResult runBinary(const std::string& binary, const std::vector<std::string>& args,
                    const std::string& env) {
  ScratchDir scratch;
  const std::string outPath = scratch.file("stdout");
  const std::string errPath = scratch.file("stderr");
  // A run that writes more than 1 GiB to any file is cut off (and fails its
  // test) rather than filling the disk.
  std::string command = "ulimit -f 1048576 && " + env + " " + quote(binary);
  for (const std::string& arg : args) command += " " + quote(arg);
  command += " </dev/null >" + quote(outPath) + " 2>" + quote(errPath);
  const int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

std::string fatalMessageOf(const std::function<void()>& action) {
  ExitGuard guard;
  testing::internal::CaptureStderr();
  bool ended = false;
  try {
    action();
  } catch (const FatalExit& fatal) {
    ended = fatal.status == 1;
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ended) << "expected a fatal exit with status 1";
  return err;
}

std::string sharedDir() {
  const std::string dir = VELTA_SHARED_DIR;
  return fileExists(dir + "/data/README.md") ? dir : "";
}

std::vector<Read> mixedReads(int nSnp, int count, const Parameter& parameter) {
  std::vector<Read> reads;
  while (static_cast<int>(reads.size()) < count) {
    const int kind = veltaRand() % 10;
    const int length = kind < 6 ? 1 + veltaRand() % 6 : kind < 9 ? 1 + veltaRand() % 40 : 300;
    const int start = 1 + veltaRand() % (nSnp - length);
    std::string text = std::to_string(start) + " ";
    for (int j = 0; j < length; ++j) text += "AGAGAGA-"[veltaRand() % (j == 0 ? 7 : 8)];
    if (kind == 5 || kind == 8) text += " " + std::to_string(start) + " GA";
    Read read(text, parameter);
    if (read.size() > 0) reads.push_back(read);
  }
  return reads;
}

std::vector<int> flipsOf(const std::vector<Read>& reads) {
  std::vector<int> flips;
  for (const Read& read : reads) flips.push_back(read.getFlip());
  return flips;
}

std::vector<std::pair<int, int>> countsOf(const Haplotype& haplotype) {
  std::vector<std::pair<int, int>> counts;
  for (int j = 0; j < haplotype.getLength(); ++j) {
    counts.emplace_back(haplotype.getCount(j, false), haplotype.getCount(j, true));
  }
  return counts;
}

void loadSides(const std::vector<Read>& reads, Haplotype& first, Haplotype& second) {
  for (const Read& read : reads) {
    first.assignRead(read, Haplotype::UNFLIPPED_READS);
    second.assignRead(read, Haplotype::FLIPPED_READS);
  }
}

long long betterOrientationMismatch(const std::vector<bool>& alleles,
                                    const std::vector<Read>& reads) {
  long long total = 0;
  for (const Read& read : reads) {
    long long disagree = 0;
    for (ReadIterator it = read.begin(); it != read.end(); ++it) {
      disagree += alleles[(*it).first] != (*it).second;
    }
    total += std::min<long long>(disagree, read.size() - disagree);
  }
  return total;
}

}  // namespace velta_test
