#include "NovelAlleles.h"

#include <algorithm>
#include <climits>

#include "Reference.h"

namespace {

bool alleleOf(const HaplotypeBits& haplotype, unsigned int snp) {
  return ((haplotype[snp >> 6] >> (snp & 63)) & 1U) != 0;
}

// Disagreements of the closest panel haplotype with `haplotype` over SNPs
// begin .. end - 1 other than `skip`.
int closestDistance(const HaplotypeBits& haplotype, unsigned int begin, unsigned int end,
                    unsigned int skip, const Reference& reference) {
  int closest = INT_MAX;
  for (int h = 0; h < reference.getHapNo(); ++h) {
    const unsigned short hap = static_cast<unsigned short>(h);
    int distance = 0;
    for (unsigned int j = begin; j < end && distance < closest; ++j) {
      distance += j != skip && reference.getAllele(hap, j) != alleleOf(haplotype, j);
    }
    closest = std::min(closest, distance);
  }
  return closest;
}

}  // namespace

int novelFirstAllele(const std::vector<HaplotypeBits>& haplotypes, unsigned int snp,
                     const Reference& reference, unsigned int flank) {
  const int hapNo = reference.getHapNo();
  int minorCarriers = 0;
  for (int h = 0; h < hapNo; ++h) {
    minorCarriers += reference.getAllele(static_cast<unsigned short>(h), snp);
  }
  if (hapNo == 0 || (minorCarriers > 0 && minorCarriers < hapNo)) return -1;
  const bool novel = minorCarriers == 0;  // the allele no panel haplotype carries
  const unsigned int nSnp = static_cast<unsigned int>(reference.getSnpNo());
  const unsigned int begin = snp > flank ? snp - flank : 0;
  const unsigned int end = std::min(nSnp, snp + flank + 1);
  const int first = closestDistance(haplotypes[0], begin, end, snp, reference);
  const int second = closestDistance(haplotypes[1], begin, end, snp, reference);
  if (first == second) return -1;
  // The first haplotype takes the novel allele when the panel fits it worse.
  return first > second ? novel : !novel;
}
