#include "PhaseRange.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Haplotype.h"
#include "MutedStdout.h"
#include "Parameter.h"
#include "PhaseSets.h"
#include "Read.h"
#include "Reference.h"
#include "Velta.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

void ReadCallStore::add(const std::vector<SnpCall>& calls) {
  calls_.insert(calls_.end(), calls.begin(), calls.end());
  ends_.push_back(calls_.size());
}

namespace {

std::vector<MapRecord> mapRecords(const SnpMap& snps, SnpRange range) {
  std::vector<MapRecord> records;
  records.reserve(range.end - range.first);
  for (std::size_t k = range.first; k < range.end; ++k) {
    records.push_back({snps.chrom[k], snps.name[k], static_cast<double>(snps.position[k]),
                       snps.position[k], snps.major[k], snps.minor[k]});
  }
  return records;
}

SnpMap rangeMap(const SnpMap& snps, SnpRange range) {
  SnpMap map;
  for (std::size_t k = range.first; k < range.end; ++k) {
    appendSnp(map, snps.chrom[k], snps.name[k], snps.position[k], snps.major[k], snps.minor[k]);
  }
  return map;
}

// velta's read lines for the calls inside the range, SNPs numbered from the
// range's first; reads without an allele there give no line.
std::string rangeReadLines(const ReadCallStore& reads, SnpRange range) {
  std::string text;
  std::vector<SnpCall> inside;
  for (std::size_t r = 0; r < reads.size(); ++r) {
    inside.clear();
    for (const SnpCall* call = reads.begin(r); call != reads.end(r); ++call) {
      if (call->snp >= range.first && call->snp < range.end) {
        inside.push_back({static_cast<std::uint32_t>(call->snp - range.first), call->allele});
      }
    }
    appendReadLines(inside, text);
  }
  return text;
}

void writeTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  out << text;
  out.close();
  if (!out) veltaFatal("cannot write %s: %s", path.c_str(), std::strerror(errno));
}

// velta's input files, for a user who repeats the run with velta itself.
void keepInputs(const std::string& dir, const SnpMap& map, const std::string& readLines,
                const std::vector<std::string>& panelRows, SnpRange range) {
  std::ostringstream mapText;
  writeSnpMap(mapText, map);
  writeTextFile(dir + "/map.txt", mapText.str());
  writeTextFile(dir + "/reads.txt", readLines);
  if (panelRows.empty()) return;
  std::string panel;
  for (std::size_t k = range.first; k < range.end; ++k) (panel += panelRows[k]) += '\n';
  writeTextFile(dir + "/panel.txt", panel);
}

void linkAssemblyPhaseSets(const SnpMap& map, const std::string& readLines, const char* readsName,
                           RangePhase& phase) {
  SnpLinks sets(static_cast<std::uint32_t>(map.size()));
  std::istringstream lines(readLines);
  linkSnpsByReads(lines, readsName, map, std::vector<bool>(map.size(), true), sets);
  for (std::size_t k = 0; k < map.size(); ++k) {
    const std::uint32_t snp = static_cast<std::uint32_t>(k);
    if (phase.first[k] != phase.second[k] && sets.isLinked(snp)) {
      phase.phaseSet[k] = map.position[sets.firstOfBlock(snp)];
    }
  }
}

void setOnePhaseSet(const SnpMap& map, RangePhase& phase) {
  std::uint32_t setStart = 0;
  for (std::size_t k = 0; k < map.size(); ++k) {
    if (phase.first[k] == phase.second[k]) continue;
    if (setStart == 0) setStart = map.position[k];
    phase.phaseSet[k] = setStart;
  }
}

}  // namespace

RangePhase phaseSnpRange(const PhaseInputs& inputs, SnpRange range, const Parameter& settings,
                         unsigned int seed, const std::string& keepDir) {
  const bool inference = !inputs.panelRows.empty();
  const SnpMap map = rangeMap(inputs.snps, range);
  const std::string readLines = rangeReadLines(inputs.reads, range);
  if (!keepDir.empty()) keepInputs(keepDir, map, readLines, inputs.panelRows, range);

  // The order of velta's own run: seed, map, reads (one draw each), panel,
  // then the two haplotypes (one draw per SNP each).
  veltaSrand(seed);
  Parameter parameter(settings);
  parameter.initFromMapRecords(mapRecords(inputs.snps, range));
  std::vector<Read> reads;
  {
    std::istringstream lines(readLines);
    readSeqStream(lines, inputs.readsName.c_str(), reads, parameter);
  }
  Reference reference;
  if (inference) {
    reference.initFromRows(inputs.panelRows.data() + range.first, range.end - range.first,
                           inputs.panelName.c_str(), parameter);
    parameter.setSampleSize(std::min(parameter.getSampleSize(), reference.getHapNo()));
    parameter.renewTran(static_cast<unsigned int>(reference.getHapNo()));
  }
  const int nSnp = static_cast<int>(parameter.getNSnp());
  Haplotype first(nSnp);
  Haplotype second(nSnp);
  {
    const MutedStdout muted(parameter.getVerbose() < 2);
    if (inference) {
      inferHaplotypes(first, second, reads, reference, parameter);
    } else {
      assemblyGibbs(first, reads, parameter);
    }
  }

  RangePhase phase;
  phase.readsUsed = reads.size();
  phase.phaseSet.assign(map.size(), 0);
  for (std::size_t k = 0; k < map.size(); ++k) {
    // Assembly phases one haplotype; the other is its complement.
    const bool a = first[static_cast<unsigned>(k)];
    const bool b = inference ? second[static_cast<unsigned>(k)] : !a;
    phase.first.push_back(a ? 1 : 0);
    phase.second.push_back(b ? 1 : 0);
  }
  if (inference) {
    setOnePhaseSet(map, phase);
  } else {
    linkAssemblyPhaseSets(map, readLines, inputs.readsName.c_str(), phase);
  }
  if (!keepDir.empty()) {
    const std::string out = keepDir + "/haplotypes.txt";
    parameter.setOutFile(out.c_str());
    if (inference) {
      outputInference(first, second, parameter);
    } else {
      outputAssembly(first, parameter);
    }
  }
  return phase;
}
