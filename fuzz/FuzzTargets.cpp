#include "FuzzTargets.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ExitGuard.h"
#include "Haplotype.h"
#include "Parameter.h"
#include "Read.h"
#include "Reference.h"
#include "Velta.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

namespace velta_fuzz {

// 40 SNPs, so that runs of alleles cross the 32- and 64-bit word edges of
// the packed stores; allele characters of several kinds, one SNP with the
// same character twice.
const char kReadMap[] =
    "1 rs1 100 100 A G\n1 rs2 200 200 C T\n1 rs3 300 300 G A\n1 rs4 400 400 T C\n"
    "1 rs5 500 500 A C\n1 rs6 600 600 g t\n1 rs7 700 700 A A\n1 rs8 800 800 C G\n"
    "1 rs9 900 900 A G\n1 rs10 1000 1000 C T\n1 rs11 1100 1100 G A\n1 rs12 1200 1200 T C\n"
    "1 rs13 1300 1300 A G\n1 rs14 1400 1400 C T\n1 rs15 1500 1500 G A\n1 rs16 1600 1600 T C\n"
    "1 rs17 1700 1700 A G\n1 rs18 1800 1800 C T\n1 rs19 1900 1900 G A\n1 rs20 2000 2000 T C\n"
    "1 rs21 2100 2100 A G\n1 rs22 2200 2200 C T\n1 rs23 2300 2300 G A\n1 rs24 2400 2400 T C\n"
    "1 rs25 2500 2500 A G\n1 rs26 2600 2600 C T\n1 rs27 2700 2700 G A\n1 rs28 2800 2800 T C\n"
    "1 rs29 2900 2900 A G\n1 rs30 3000 3000 C T\n1 rs31 3100 3100 G A\n1 rs32 3200 3200 T C\n"
    "1 rs33 3300 3300 A G\n1 rs34 3400 3400 C T\n1 rs35 3500 3500 G A\n1 rs36 3600 3600 T C\n"
    "1 rs37 3700 3700 A G\n1 rs38 3800 3800 C T\n1 rs39 3900 3900 G A\n1 rs40 4000 4000 T C\n";

const char kPanelMap[] =
    "1 rs1 100 100 A G\n1 rs2 150 150 C T\n1 rs3 150 150 G A\n1 rs4 900 900 T C\n"
    "1 rs5 5000 5000 A T\n";

namespace {

// A broken invariant is a finding: abort so that the fuzzer records it.
void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

template <typename Load>
Outcome runGuarded(Load&& load) {
  velta_test::ExitGuard guard;
  try {
    load();
  } catch (const velta_test::FatalExit& exit) {
    require(exit.status == 1, "a fatal exit ends with status 1");
    return Outcome::kFatal;
  }
  return Outcome::kAccepted;
}

Parameter mapFromText(const char* text) {
  std::istringstream in(text);
  Parameter parameter;
  parameter.initFromMapStream(in);
  return parameter;
}

const Parameter& readMap() {
  static const Parameter parameter = mapFromText(kReadMap);
  return parameter;
}

// Alternating stretches of both alleles, so that matches and mismatches mix.
std::vector<bool> patternAlleles(unsigned int nSnp) {
  std::vector<bool> alleles(nSnp);
  for (unsigned int j = 0; j < nSnp; ++j) alleles[j] = ((j * 7U) / 3U) % 2U == 1U;
  return alleles;
}

// Checks what a loaded read holds against itself: the iterator, the packed
// runs, the match counts and the haplotype counts must all agree.
void checkRead(const Read& read, const Parameter& parameter) {
  const unsigned int nSnp = parameter.getNSnp();
  require(read.size() > 0, "a stored read has a present allele");
  unsigned int walked = 0;
  for (ReadIterator it = read.begin(); it != read.end(); ++it) {
    require((*it).first < nSnp, "every present allele lies inside the map");
    ++walked;
  }
  require(walked == read.size(), "the iterator visits size() alleles");
  unsigned int inRuns = 0;
  read.forEachRun([&](std::uint32_t snp, std::uint32_t present, std::uint32_t minor) {
    require((minor & ~present) == 0, "a minor bit only where an allele is present");
    const unsigned int last = 31 - static_cast<unsigned int>(__builtin_clz(present));
    require(snp + last < nSnp, "runs stay inside the map");
    inRuns += static_cast<unsigned int>(__builtin_popcount(present));
  });
  require(inRuns == read.size(), "the runs hold size() alleles");
  std::vector<bool> alleles = patternAlleles(nSnp);
  Haplotype haplotype(alleles);
  alleles.flip();
  const Haplotype complement(alleles);
  require(read.countMatch(haplotype) + read.countMatch(complement) == read.size(),
          "matches against a haplotype and its complement add up to size()");
  haplotype.appendRead(read, false);
  unsigned int counted = 0;
  for (unsigned int j = 0; j < nSnp; ++j) {
    counted += haplotype.getCount(j, false) + haplotype.getCount(j, true);
  }
  require(counted == read.size(), "a haplotype counts size() alleles of the read");
  haplotype.popRead(read, false);
  for (unsigned int j = 0; j < nSnp; ++j) {
    require(haplotype.getCount(j, false) == 0 && haplotype.getCount(j, true) == 0,
            "removing the read clears its counts");
  }
}

// Compares the stored panel with the text it came from, line by line.
void checkPanelAgainstText(const Reference& reference, const std::string& text,
                           const Parameter& parameter) {
  std::istringstream in(text);
  std::string alleles;
  unsigned int snp = 0;
  while (std::getline(in, alleles)) {
    if (reference.validateLine(alleles) == 0) continue;
    require(static_cast<int>(alleles.size()) == reference.getHapNo(), "one allele per haplotype");
    for (int h = 0; h < reference.getHapNo(); ++h) {
      const bool minor = alleles[static_cast<std::size_t>(h)] == parameter.getMinorAllele(snp);
      require(reference.getAllele(static_cast<unsigned short>(h), snp) == minor,
              "the stored allele is the one in the file");
    }
    ++snp;
  }
  require(snp == static_cast<unsigned int>(reference.getSnpNo()), "one SNP per allele line");
}

// One pass of the copying model over the loaded panel.
void runPanelModel(const Reference& reference, const Parameter& map) {
  Parameter parameter = map;
  parameter.renewTran(static_cast<unsigned int>(reference.getHapNo()));
  const Haplotype haplotype(patternAlleles(parameter.getNSnp()));
  const double likelihood = reference.forwardProb(haplotype, parameter);
  // Every panel haplotype starts with weight 1, so the likelihood reaches up to
  // ln K rather than 0.
  const double hapNo = reference.getHapNo();
  require(!std::isnan(likelihood) && likelihood <= std::log(hapNo) + 1e-9,
          "the likelihood is at most ln K");
  RefPath path(reference);
  reference.samplePath(path, haplotype, parameter);
  for (unsigned int j = 0; j < path.size(); ++j) {
    require(path.at(j) < reference.getHapNo(), "a path copies a panel haplotype");
  }
}

std::vector<std::string> splitWords(const std::string& text, std::size_t maxWords) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\0') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (words.size() == maxWords) return words;
    } else {
      word += c == '/' ? '_' : c;
    }
  }
  if (!word.empty() && words.size() < maxWords) words.push_back(word);
  return words;
}

std::string textOf(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace

Outcome fuzzMapLoader(const std::uint8_t* data, std::size_t size) {
  const std::string text = textOf(data, size);
  Parameter parameter;
  const Outcome outcome = runGuarded([&] {
    std::istringstream in(text);
    parameter.initFromMapStream(in);
  });
  if (outcome == Outcome::kFatal) return outcome;
  std::istringstream lines(text);
  std::string one;
  unsigned int lineCount = 0;
  while (std::getline(lines, one)) ++lineCount;
  require(parameter.getNSnp() == lineCount, "one SNP per map line");
  parameter.renewTran(10);
  for (unsigned int j = 0; j < parameter.getNSnp(); ++j) {
    require(!std::isnan(parameter.getTranLogDiff(j)) && !std::isnan(parameter.getTranLogSame(j)) &&
                !std::isnan(parameter.getTranLogPlus(j)),
            "transition log-probabilities are numbers");
  }
  return outcome;
}

Outcome fuzzReadLine(const std::uint8_t* data, std::size_t size) {
  const std::string text = textOf(data, size);
  const Parameter& parameter = readMap();
  return runGuarded([&] {
    const Read read(text, parameter, "fuzz.reads", 1);
    if (read.size() > 0) checkRead(read, parameter);
  });
}

Outcome fuzzReadFile(const std::uint8_t* data, std::size_t size) {
  const std::string text = textOf(data, size);
  const Parameter& parameter = readMap();
  return runGuarded([&] {
    std::istringstream in(text);
    std::vector<Read> reads;
    readSeqStream(in, "fuzz.reads", reads, parameter);
    for (const Read& read : reads) checkRead(read, parameter);
  });
}

Outcome fuzzPanelLoader(const std::uint8_t* data, std::size_t size) {
  const std::string text = textOf(data, size);
  static const Parameter map = mapFromText(kPanelMap);
  return runGuarded([&] {
    std::istringstream in(text);
    Reference reference;
    reference.initFromStream(in, "fuzz.panel", map);
    require(reference.getSnpNo() == static_cast<int>(map.getNSnp()), "one panel line per SNP");
    checkPanelAgainstText(reference, text, map);
    runPanelModel(reference, map);
  });
}

Outcome fuzzCommandLine(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words = splitWords(textOf(data, size), 64);
  words.insert(words.begin(), "velta");
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  return runGuarded([&] {
    Parameter parameter;
    parseInputParameter(static_cast<int>(words.size()), argv.data(), parameter);
    checkOutputWritable(parameter.getOutFile());
    parameter.initFromMapFile();
  });
}

void prepareCommandLineFolder() {
  std::ofstream("map.txt") << kPanelMap;
  std::ofstream("reads.txt") << "1 AC\n3 GTA\n";
  std::ofstream("panel.txt") << "AG\nCT\nGA\nTC\nAT\n";
}

}  // namespace velta_fuzz
