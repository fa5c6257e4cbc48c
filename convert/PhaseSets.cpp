#include "PhaseSets.h"

#include <cerrno>
#include <cstdlib>
#include <istream>
#include <sstream>

#include "VeltaIO.h"

PhaseSets::PhaseSets(std::size_t snps) : parent_(snps), size_(snps, 1) {
  for (std::size_t k = 0; k < snps; ++k) parent_[k] = static_cast<std::uint32_t>(k);
}

std::uint32_t PhaseSets::root(std::uint32_t snp) {
  std::uint32_t top = snp;
  while (parent_[top] != top) top = parent_[top];
  while (parent_[snp] != top) {  // path compression
    const std::uint32_t next = parent_[snp];
    parent_[snp] = top;
    snp = next;
  }
  return top;
}

void PhaseSets::link(std::uint32_t a, std::uint32_t b) {
  std::uint32_t ra = root(a);
  std::uint32_t rb = root(b);
  if (ra == rb) return;
  if (rb < ra) std::swap(ra, rb);
  parent_[rb] = ra;
  size_[ra] += size_[rb];
}

std::uint32_t PhaseSets::firstOfGroup(std::uint32_t snp) {
  return root(snp);
}

bool PhaseSets::isLinked(std::uint32_t snp) {
  return size_[root(snp)] > 1;
}

namespace {

bool parseSnpNumber(const std::string& word, unsigned long* number) {
  if (word.empty() || word[0] < '0' || word[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  *number = std::strtoul(word.c_str(), &end, 10);
  return *end == '\0' && errno != ERANGE && *number > 0;
}

}  // namespace

void linkSnpsByReads(std::istream& in, const std::string& path, const SnpMap& map,
                     const std::vector<bool>& heterozygous, PhaseSets& sets) {
  std::string text;
  std::size_t lineNo = 0;
  while (std::getline(in, text)) {
    ++lineNo;
    std::istringstream words(text);
    std::string number;
    std::string run;
    long previous = -1;  // last linked SNP of this line
    while (words >> number) {
      unsigned long first = 0;
      if (!parseSnpNumber(number, &first) || !(words >> run)) {
        veltaFatal(
            "read file %s line %zu: expected pairs of a SNP number from 1 and a run of "
            "alleles, found '%.40s'",
            path.c_str(), lineNo, number.c_str());
      }
      if (first > map.size() || run.size() > map.size() - (first - 1)) {
        veltaFatal(
            "read file %s line %zu: SNPs %lu to %zu lie beyond the map's %zu SNPs (a read "
            "file of another map?)",
            path.c_str(), lineNo, first, static_cast<std::size_t>(first - 1) + run.size(),
            map.size());
      }
      for (std::size_t j = 0; j < run.size(); ++j) {
        const std::size_t k = first - 1 + j;
        const bool shows = run[j] == map.major[k] || run[j] == map.minor[k];
        if (!shows || !heterozygous[k]) continue;
        if (previous >= 0 && map.chrom[previous] == map.chrom[k]) {
          sets.link(static_cast<std::uint32_t>(previous), static_cast<std::uint32_t>(k));
        }
        previous = static_cast<long>(k);
      }
    }
  }
  if (in.bad()) veltaFatal("read file %s: read error after line %zu", path.c_str(), lineNo);
}
