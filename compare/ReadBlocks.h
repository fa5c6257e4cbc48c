// The blocks that reads connect. A read line links every SNP it shows an
// allele at; SNPs linked directly or through a chain of reads form one block.
// Only the positions of calls matter here, never the allele characters, so
// the read file is tokenised on its own rather than coded against a map.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Union-find over the SNPs, numbered from 0.
class SnpLinks {
 public:
  explicit SnpLinks(unsigned int nSnp);

  unsigned int size() const { return static_cast<unsigned int>(parent_.size()); }
  // Puts SNPs a and b into one block.
  void link(unsigned int a, unsigned int b);
  // Block number of every SNP: the first (smallest) SNP of its block, so the
  // numbering does not depend on the order in which links were made.
  std::vector<unsigned int> blockOf();

 private:
  unsigned int root(unsigned int snp);

  std::vector<unsigned int> parent_;  // one entry per SNP
};

// Appends to `snps` the 0-based SNPs at which one line of a read file shows an
// allele (any character of a run other than '-'), in line order. The line is
// pairs of a 1-based SNP number and a run of characters, one per consecutive
// SNP, separated by blanks, tabs or carriage returns. Fatal, naming the file
// and the 1-based line, on a SNP number that is not a whole number of at least
// 1, on a SNP number without a run after it, and on an allele shown past the
// last of `nSnp` SNPs. The caller skips lines that carry nothing (isEmpty).
void collectCalledSnps(const std::string& text, const char* fileName, unsigned long lineNo,
                       unsigned int nSnp, std::vector<unsigned int>& snps);

// Links the called SNPs of every line of a read file; `fileName` is only used
// in messages.
void linkReadStream(std::istream& in, const char* fileName, SnpLinks& links);

// Block number (see SnpLinks::blockOf) of each of `nSnp` SNPs under the reads
// of the named file. Fatal when the file cannot be opened.
std::vector<unsigned int> loadReadBlocks(const char* fileName, unsigned int nSnp);
