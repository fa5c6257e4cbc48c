#include "NovelAlleles.h"

#include <algorithm>

int novelFirstAllele(const std::vector<HaplotypeBits>& haplotypes, unsigned int snp,
                     const CopyingCandidates& panel, unsigned int flank) {
  const int panelAllele = panel.onlyAllele(snp);
  if (panelAllele < 0) return -1;
  const bool novel = panelAllele == 0;  // the allele no panel haplotype carries
  const unsigned int nSnp = panel.snpNo();
  const unsigned int begin = snp > flank ? snp - flank : 0;
  const unsigned int end = std::min(nSnp, snp + flank + 1);
  const int first = panel.closestDistance(haplotypes[0], begin, end, snp);
  const int second = panel.closestDistance(haplotypes[1], begin, end, snp);
  // The first haplotype takes the novel allele when the panel fits it worse.
  if (first != second) return first > second ? novel : !novel;
  // A tie nearby is common where the two haplotypes differ at few SNPs around
  // this one: the break in their agreement further out decides.
  const unsigned int firstReach = panel.matchReach(haplotypes[0], snp);
  const unsigned int secondReach = panel.matchReach(haplotypes[1], snp);
  if (firstReach == secondReach) return -1;
  return firstReach < secondReach ? novel : !novel;
}
