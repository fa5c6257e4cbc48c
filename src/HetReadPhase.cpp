// The reads' own phase of the heterozygous SNPs, by the greedy phase polish
// over the reads' calls at those SNPs.
#include "HetReadPhase.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "PhasePolish.h"
#include "Read.h"

HetReadPhase phaseHetsByReads(const std::vector<std::uint32_t>& hets,
                              const std::vector<unsigned char>& startAllele,
                              const std::vector<Read>& reads, unsigned int nSnp,
                              double callError) {
  // A call at a homozygous SNP fits both haplotypes alike, so only the calls
  // at heterozygous SNPs, renumbered 0, 1, ... in SNP order, take part.
  std::vector<std::uint32_t> hetNumber(nSnp, UINT32_MAX);
  for (std::size_t i = 0; i < hets.size(); ++i) {
    hetNumber[hets[i]] = static_cast<std::uint32_t>(i);
  }
  ReadCalls calls;
  std::vector<std::pair<std::uint32_t, bool>> readCalls;
  for (const Read& read : reads) {
    readCalls.clear();
    for (ReadIterator it = read.begin(); it != read.end(); ++it) {
      const auto [snp, minor] = *it;
      if (snp < hetNumber.size() && hetNumber[snp] != UINT32_MAX) {
        readCalls.emplace_back(hetNumber[snp], minor);
      }
    }
    if (readCalls.size() >= 2) calls.addRead(readCalls);
  }

  PhasePolisher polisher(startAllele, std::move(calls));
  HetReadPhase result;
  result.mismatchBefore = polisher.mismatch();
  polisher.polish();
  result.mismatchAfter = polisher.mismatch();
  result.firstAllele.resize(hets.size());
  for (std::size_t i = 0; i < hets.size(); ++i) {
    result.firstAllele[i] = polisher.allele(static_cast<unsigned int>(i));
  }
  const double perMismatch = std::log((1 - callError) / callError);
  const std::vector<long long> cuts = polisher.cutChanges();
  result.linkLogOdds.resize(hets.size(), 0.0);
  for (std::size_t i = 1; i < hets.size(); ++i) {
    result.linkLogOdds[i] = static_cast<double>(cuts[i]) * perMismatch;
  }
  return result;
}
