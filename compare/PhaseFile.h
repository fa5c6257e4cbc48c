// Phased genotype files: one line per SNP holding the allele character of the
// first haplotype, then of the second, with nothing between them ("AG"). This
// is velta's output format and the format of the true haplotypes it is scored
// against.
#pragma once

#include <iosfwd>
#include <vector>

class Parameter;

// The two allele characters of one SNP, in haplotype order.
struct PhasedGenotype {
  char first;
  char second;

  bool isHeterozygous() const { return first != second; }
  // Same unordered pair of alleles (AG and GA agree, AG and AA do not).
  bool sameAlleles(const PhasedGenotype& other) const {
    return (first == other.first && second == other.second) ||
           (first == other.second && second == other.first);
  }
};

// Loads a phased genotype file, one entry per SNP line (SNPs from 0). Fatal,
// naming the file and the 1-based line, when the file cannot be opened, when a
// line is not exactly two allele characters (a carriage return before the line
// feed is allowed), or when an allele character is a blank, a control
// character, a byte outside ASCII or '-'. Empty lines after the last SNP line
// are ignored; an empty line before it is fatal, so no SNP is silently shifted.
std::vector<PhasedGenotype> loadPhaseFile(const char* fileName);
// The same from an open stream; `fileName` is only used in messages.
std::vector<PhasedGenotype> readPhaseStream(std::istream& in, const char* fileName);

// Fatal, naming the file, the line and the character, when an allele of
// `genotypes` is not one of the two alleles that the map gives its SNP. The
// caller has checked that the map and the file have the same number of SNPs.
void checkMapAlleles(const std::vector<PhasedGenotype>& genotypes, const char* fileName,
                     const Parameter& map);
