#include "PhaseSets.h"

#include <cstdint>
#include <istream>
#include <sstream>

#include "Parameter.h"
#include "Read.h"
#include "VeltaIO.h"

namespace {

// velta's map record of the SNP map: reads are coded against its alleles.
Parameter veltaMapOf(const SnpMap& map) {
  std::stringstream text;
  for (std::size_t k = 0; k < map.size(); ++k) {
    writeMapLine(text, map.chrom[k].c_str(), map.name[k], map.position[k], map.major[k],
                 map.minor[k]);
  }
  Parameter parameter;
  parameter.initFromMapStream(text);
  return parameter;
}

// Per SNP, its chromosome's number when it is heterozygous, else kNeverLinked.
std::vector<std::uint32_t> linkableSnps(const SnpMap& map, const std::vector<bool>& heterozygous) {
  std::vector<std::uint32_t> segment(map.size(), kNeverLinked);
  std::uint32_t chromosome = 0;
  for (std::size_t k = 0; k < map.size(); ++k) {
    if (k > 0 && map.chrom[k] != map.chrom[k - 1]) ++chromosome;
    if (heterozygous[k]) segment[k] = chromosome;
  }
  return segment;
}

}  // namespace

void linkSnpsByReads(std::istream& in, const std::string& path, const SnpMap& map,
                     const std::vector<bool>& heterozygous, SnpLinks& sets) {
  const Parameter veltaMap = veltaMapOf(map);
  std::vector<Read> reads;
  readSeqStream(in, path.c_str(), reads, veltaMap);
  linkReadSnps(reads, linkableSnps(map, heterozygous), sets);
}
