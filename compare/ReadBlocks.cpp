#include "ReadBlocks.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "VeltaIO.h"

SnpLinks::SnpLinks(unsigned int nSnp) : parent_(nSnp) {
  for (unsigned int k = 0; k < nSnp; ++k) parent_[k] = k;
}

unsigned int SnpLinks::root(unsigned int snp) {
  while (parent_[snp] != snp) {
    parent_[snp] = parent_[parent_[snp]];  // path halving keeps the trees flat
    snp = parent_[snp];
  }
  return snp;
}

void SnpLinks::link(unsigned int a, unsigned int b) {
  const unsigned int rootA = root(a);
  const unsigned int rootB = root(b);
  if (rootA < rootB) {
    parent_[rootB] = rootA;
  } else {
    parent_[rootA] = rootB;
  }
}

std::vector<unsigned int> SnpLinks::blockOf() {
  // Linking always keeps the smaller root, so every root is the first SNP of
  // its block.
  std::vector<unsigned int> block(parent_.size());
  for (unsigned int k = 0; k < block.size(); ++k) block[k] = root(k);
  return block;
}

namespace {

bool isSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The next word of `text` from `pos` on, or an empty word at the end.
std::string nextWord(const std::string& text, std::size_t& pos) {
  while (pos < text.size() && isSeparator(text[pos])) ++pos;
  const std::size_t start = pos;
  while (pos < text.size() && !isSeparator(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

// A SNP number: digits only, at least 1, at most 2^32 - 1.
bool parseSnpNumber(const std::string& word, unsigned long long* value) {
  if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  *value = std::strtoull(word.c_str(), nullptr, 10);
  return errno != ERANGE && *value >= 1 && *value <= 0xFFFFFFFFULL;
}

}  // namespace

void collectCalledSnps(const std::string& text, const char* fileName, unsigned long lineNo,
                       unsigned int nSnp, std::vector<unsigned int>& snps) {
  std::size_t pos = 0;
  for (;;) {
    const std::string number = nextWord(text, pos);
    if (number.empty()) return;
    unsigned long long first = 0;
    if (!parseSnpNumber(number, &first)) {
      veltaFatal("%s line %lu: expected a SNP number (a whole number from 1), found \"%.40s\"",
                 fileName, lineNo, number.c_str());
    }
    const std::string run = nextWord(text, pos);
    if (run.empty()) {
      veltaFatal("%s line %lu: SNP number %llu has no run of alleles after it", fileName, lineNo,
                 first);
    }
    for (std::size_t j = 0; j < run.size(); ++j) {
      if (run[j] == '-') continue;
      const unsigned long long snp = first - 1 + j;
      if (snp >= nSnp) {
        veltaFatal(
            "%s line %lu: the run at SNP %llu shows an allele at SNP %llu, past the last "
            "of the %u SNPs",
            fileName, lineNo, first, snp + 1, nSnp);
      }
      snps.push_back(static_cast<unsigned int>(snp));
    }
  }
}

void linkReadStream(std::istream& in, const char* fileName, SnpLinks& links) {
  std::string text;
  std::vector<unsigned int> snps;
  unsigned long lineNo = 0;
  while (std::getline(in, text)) {
    ++lineNo;
    if (isEmpty(text)) continue;
    snps.clear();
    collectCalledSnps(text, fileName, lineNo, links.size(), snps);
    for (std::size_t i = 1; i < snps.size(); ++i) links.link(snps[0], snps[i]);
  }
}

std::vector<unsigned int> loadReadBlocks(const char* fileName, unsigned int nSnp) {
  std::ifstream in(fileName);
  if (!in) {
    veltaFatal("Read file %s cannot be opened", fileName);
  }
  SnpLinks links(nSnp);
  linkReadStream(in, fileName, links);
  return links.blockOf();
}
