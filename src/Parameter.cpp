#include "Parameter.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace {

const char kEmptyName[] = "";

bool canOpen(const char* name) {
  std::ifstream in(name);
  return static_cast<bool>(in);
}

// A folder opens for reading but yields no line, so it would load as an
// empty file: every file option rejects it at once.
void rejectFolder(const char* what, const char* name) {
  struct stat info;
  if (stat(name, &info) != 0 || !S_ISDIR(info.st_mode)) return;
  veltaFatal("%s %s is a folder, not a file\n", what, name);
}

}  // namespace

Parameter::Parameter()
    : verbose_(1),
      maxIter_(1000),
      subIter_(100),
      hasRef_(false),
      chunkSize_(5000),
      overlapSize_(500),
      sampleSize_(30),
      polish_(1),
      threads_(1),
      hasSeed_(false),
      seed_(0),
      progressHandler_(nullptr),
      progressContext_(nullptr),
      seqFile_(kEmptyName),
      refFile_(kEmptyName),
      mapFile_(kEmptyName),
      outFile_(kEmptyName),
      seqError_(0.01),
      emitError_(0.002),
      tranNe_(0.001),
      smoothMu_(1.0),
      tranHapNo_(0),
      nSnp_(0) {
  seqLogError_ = std::log(0.01);
  seqLogRight_ = std::log(1 - seqError_);
  emitLogError_ = std::log(emitError_);
  emitLogRight_ = std::log(1 - emitError_);
}

void Parameter::setSeqError(double x) {
  seqError_ = x;
  seqLogError_ = std::log(x);
  seqLogRight_ = std::log(1 - x);
}

void Parameter::setEmitError(double x) {
  emitError_ = x;
  emitLogError_ = std::log(x);
  emitLogRight_ = std::log(1 - x);
}

void Parameter::setSeqFile(const char* name) {
  rejectFolder("Sequencing file", name);
  if (!canOpen(name)) {
    veltaFatal("Sequencing file %s does not exist\n", name);
  }
  seqFile_ = name;
}

void Parameter::setRefFile(const char* name) {
  rejectFolder("Reference file", name);
  if (!canOpen(name)) {
    veltaWarn("Reference file %s does not exist, swithcing to haplotype assembly\n", name);
    hasRef_ = false;
    return;
  }
  refFile_ = name;
  hasRef_ = true;
}

void Parameter::setMapFile(const char* name) {
  rejectFolder("SNP map file", name);
  if (!canOpen(name)) {
    veltaFatal("SNP map file %s does not exist\n", name);
  }
  mapFile_ = name;
}

int Parameter::validateLine(const std::string& text) const {
  std::istringstream words(text);
  std::string word;
  int count = 0;
  while (words >> word) ++count;
  return count;
}

void Parameter::initFromMapFile() {
  std::ifstream in(mapFile_);
  if (!in) return;
  initFromMapStream(in);
}

void Parameter::initFromMapStream(std::istream& in) {
  std::string text;
  std::string field[6];
  while (std::getline(in, text)) {
    if (validateLine(text) != 6) veltaErrorExit("Map file has wrong format\n");
    std::istringstream words(text);
    for (std::string& f : field) words >> f;
    double position = 0;
    std::uint32_t column4 = 0;
    if (!parseDouble(field[2], &position) || !parseUnsigned32(field[3], &column4)) {
      veltaErrorExit("Map file has wrong format\n");
    }
    // The alleles are the first two characters after column 4, so a column 5
    // such as "AG" gives both and column 6 is not read.
    const std::string alleles = field[4] + field[5];
    appendMapRecord({field[0], field[1], position, column4, alleles[0], alleles[1]});
  }
  if (in.bad()) {
    veltaFatal("SNP map file %s could not be read after line %zu\n", mapFile_, snpPos_.size());
  }
  finishMap();
}

void Parameter::initFromMapRecords(const std::vector<MapRecord>& records) {
  for (const MapRecord& record : records) appendMapRecord(record);
  finishMap();
}

void Parameter::appendMapRecord(const MapRecord& record) {
  mapColumn1_.push_back(record.chromosome);
  mapColumn2_.push_back(record.name);
  snpPos_.push_back(record.coordinate);
  mapColumn4_.push_back(record.position);
  majorAllele_.push_back(record.major);
  minorAllele_.push_back(record.minor);
}

void Parameter::finishMap() {
  nSnp_ = static_cast<unsigned int>(snpPos_.size());
  tranLogDiff_.resize(nSnp_, 0.0);
  tranLogSame_.resize(nSnp_, 0.0);
  tranLogPlus_.resize(nSnp_, 0.0);
}

void Parameter::renewTran(unsigned int K) {
  tranHapNo_ = K;
  if (nSnp_ <= 1) return;
  const double hapNo = static_cast<double>(K);
  for (unsigned int j = 1; j < nSnp_; ++j) {
    double d = snpPos_[j] - snpPos_[j - 1];
    if (d < 1e-12) d = 1e-12;
    const double x = (4.0 * tranNe_) * d;
    const double q = std::exp(-x / hapNo);
    tranLogDiff_[j] = smoothMu_ * std::log((1 - q) / hapNo);
    tranLogSame_[j] = smoothMu_ * std::log((1 - q) / hapNo + q);
    tranLogPlus_[j] = std::log(1 - std::exp(tranLogDiff_[j] - tranLogSame_[j])) + tranLogSame_[j];
  }
}
