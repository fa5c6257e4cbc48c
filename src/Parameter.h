// The run's settings and model constants: command-line values, file names and
// run mode, the SNP map, the logarithms of the error rates and the per-SNP
// transition log-probabilities of the copying model.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// One SNP of the map as its six fields, for callers that hold the map in
// memory rather than in a file.
struct MapRecord {
  std::string chromosome;  // column 1, stored only
  std::string name;        // column 2, stored only
  double coordinate;       // column 3: distances between SNPs drive the switch model
  std::uint32_t position;  // column 4, stored only
  char major;              // allele code 0
  char minor;              // allele code 1
};

// Reports how far a long stage has come, for callers that draw their own
// progress display; `context` is the pointer given with it.
using ProgressHandler = void (*)(double fraction, void* context);

class Parameter {
 public:
  Parameter();

  void setVerbose(unsigned char verbose) { verbose_ = verbose; }
  void setMaxIter(int maxIter) { maxIter_ = maxIter; }
  void setSubIter(int subIter) { subIter_ = subIter; }
  void setChunkSize(int chunkSize) { chunkSize_ = chunkSize; }
  void setOverlapSize(int overlapSize) { overlapSize_ = overlapSize; }
  void setSampleSize(int sampleSize) { sampleSize_ = sampleSize; }
  void setTranNe(double tranNe) { tranNe_ = tranNe; }
  void setSmoothMu(double smoothMu) { smoothMu_ = smoothMu; }
  void setOutFile(const char* name) { outFile_ = name; }
  // 1: the final phase stage runs after the sampler (assembly: the phase
  // polish); 0: the sampler's best state is the result.
  void setPolish(int polish) { polish_ = polish; }
  void setThreads(int threads) { threads_ = threads; }
  // A fixed seed for the random generator instead of the clock.
  void setSeed(unsigned int seed) {
    seed_ = seed;
    hasSeed_ = true;
  }
  // Called by the samplers after each iteration with the fraction done; none
  // by default.
  void setProgressHandler(ProgressHandler handler, void* context) {
    progressHandler_ = handler;
    progressContext_ = context;
  }
  void reportProgress(double fraction) const {
    if (progressHandler_ != nullptr) progressHandler_(fraction, progressContext_);
  }
  // Also recompute ln(x) and ln(1 - x).
  void setSeqError(double x);
  void setEmitError(double x);

  // File options check that their file opens. A missing read or map file is
  // fatal; a missing reference file warns and keeps assembly mode.
  void setSeqFile(const char* name);
  void setRefFile(const char* name);
  void setMapFile(const char* name);

  // Number of white-space separated words in `text`.
  int validateLine(const std::string& text) const;
  // Loads the map named by --mfile (an empty name gives an empty map).
  void initFromMapFile();
  // Loads a map from an open stream; fatal "Map file has wrong format" on a
  // line that is not six fields with a number in columns 3 and 4.
  void initFromMapStream(std::istream& in);
  // Loads a map held in memory, one record per SNP in map order.
  void initFromMapRecords(const std::vector<MapRecord>& records);

  // Rebuilds the transition log-probabilities for a panel of K haplotypes.
  void renewTran(unsigned int K);

  unsigned char getVerbose() const { return verbose_; }
  int getMaxIter() const { return maxIter_; }
  int getSubIter() const { return subIter_; }
  bool getHasRef() const { return hasRef_; }
  int getChunkSize() const { return chunkSize_; }
  int getOverlapSize() const { return overlapSize_; }
  int getSampleSize() const { return sampleSize_; }
  int getPolish() const { return polish_; }
  int getThreads() const { return threads_; }
  bool getHasSeed() const { return hasSeed_; }
  unsigned int getSeed() const { return seed_; }
  double getSeqError() const { return seqError_; }
  double getSeqRight() const { return 1.0 - seqError_; }
  double getSeqLogError() const { return seqLogError_; }
  double getSeqLogRight() const { return seqLogRight_; }
  double getEmitError() const { return emitError_; }
  double getEmitRight() const { return 1.0 - emitError_; }
  double getEmitLogError() const { return emitLogError_; }
  double getEmitLogRight() const { return emitLogRight_; }
  double getTranNe() const { return tranNe_; }
  // Transition log-probabilities of the interval ending at SNP j (j >= 1;
  // entry 0 stays 0). Not range-checked.
  double getTranLogDiff(unsigned int j) const { return tranLogDiff_[j]; }
  double getTranLogSame(unsigned int j) const { return tranLogSame_[j]; }
  double getTranLogPlus(unsigned int j) const { return tranLogPlus_[j]; }
  double getSmoothMu() const { return smoothMu_; }
  unsigned int getTranHapNo() const { return tranHapNo_; }
  const char* getSeqFile() const { return seqFile_; }
  const char* getRefFile() const { return refFile_; }
  const char* getMapFile() const { return mapFile_; }
  const char* getOutFile() const { return outFile_; }
  // Allele characters of SNP j (0-based); '~' outside the map.
  char getMajorAllele(unsigned int j) const { return j < nSnp_ ? majorAllele_[j] : '~'; }
  char getMinorAllele(unsigned int j) const { return j < nSnp_ ? minorAllele_[j] : '~'; }
  double getSnpPos(unsigned int j) const { return snpPos_[j]; }
  unsigned int getNSnp() const { return nSnp_; }

 private:
  unsigned char verbose_;
  int maxIter_;
  int subIter_;
  bool hasRef_;
  int chunkSize_;
  int overlapSize_;
  int sampleSize_;
  int polish_;
  int threads_;
  bool hasSeed_;
  unsigned int seed_;
  ProgressHandler progressHandler_;
  void* progressContext_;
  const char* seqFile_;
  const char* refFile_;
  const char* mapFile_;
  const char* outFile_;
  double seqError_;
  double emitError_;
  double tranNe_;
  double smoothMu_;
  unsigned int tranHapNo_;
  unsigned int nSnp_;
  std::vector<std::string> mapColumn1_;
  std::vector<std::string> mapColumn2_;
  std::vector<double> snpPos_;
  std::vector<std::uint32_t> mapColumn4_;
  std::vector<char> majorAllele_;
  std::vector<char> minorAllele_;
  double seqLogError_;
  double seqLogRight_;
  double emitLogError_;
  double emitLogRight_;
  std::vector<double> tranLogDiff_;  // nSnp_ entries
  std::vector<double> tranLogSame_;  // nSnp_ entries
  std::vector<double> tranLogPlus_;  // nSnp_ entries

  void appendMapRecord(const MapRecord& record);
  // Fixes the SNP count and sizes the transition tables to it.
  void finishMap();
};
