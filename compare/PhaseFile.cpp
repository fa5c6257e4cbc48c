#include "PhaseFile.h"

#include <cstdio>
#include <fstream>
#include <string>

#include "Parameter.h"
#include "VeltaIO.h"

namespace {

// Allele characters are printable ASCII other than the blank and '-', which
// read files use for "no allele".
bool isAlleleCharacter(char c) {
  return c > ' ' && c < 127 && c != '-';
}

// How a character reads in a message: printable ones as themselves, others by
// their byte value, so the message itself stays printable.
const char* describeCharacter(char c, char (&text)[16]) {
  const unsigned int byte = static_cast<unsigned char>(c);
  if (byte > ' ' && byte < 127) {
    std::snprintf(text, sizeof text, "'%c'", c);
  } else {
    std::snprintf(text, sizeof text, "byte 0x%02X", byte);
  }
  return text;
}

void stripCarriageReturn(std::string& text) {
  if (!text.empty() && text.back() == '\r') text.pop_back();
}

void checkAlleleCharacter(char c, const char* fileName, unsigned long lineNo) {
  if (isAlleleCharacter(c)) return;
  char shown[16];
  veltaFatal(
      "%s line %lu: %s is not an allele character (expected a printable character other "
      "than '-')",
      fileName, lineNo, describeCharacter(c, shown));
}

}  // namespace

std::vector<PhasedGenotype> loadPhaseFile(const char* fileName) {
  std::ifstream in(fileName);
  if (!in) {
    veltaFatal("Phased genotype file %s cannot be opened", fileName);
  }
  return readPhaseStream(in, fileName);
}

std::vector<PhasedGenotype> readPhaseStream(std::istream& in, const char* fileName) {
  std::vector<PhasedGenotype> genotypes;
  std::string text;
  unsigned long lineNo = 0;
  unsigned long firstEmptyLine = 0;  // 0: no empty line met yet
  while (std::getline(in, text)) {
    ++lineNo;
    stripCarriageReturn(text);
    if (text.empty()) {
      if (firstEmptyLine == 0) firstEmptyLine = lineNo;
      continue;
    }
    if (firstEmptyLine != 0) {
      veltaFatal("%s line %lu: empty line between SNP lines (expected two allele characters)",
                 fileName, firstEmptyLine);
    }
    if (text.size() != 2) {
      veltaFatal("%s line %lu: expected two allele characters, found %zu characters \"%.40s\"",
                 fileName, lineNo, text.size(), text.c_str());
    }
    checkAlleleCharacter(text[0], fileName, lineNo);
    checkAlleleCharacter(text[1], fileName, lineNo);
    genotypes.push_back(PhasedGenotype{text[0], text[1]});
  }
  if (in.bad()) veltaFatal("%s could not be read after line %lu", fileName, lineNo);
  return genotypes;
}

void checkMapAlleles(const std::vector<PhasedGenotype>& genotypes, const char* fileName,
                     const Parameter& map) {
  for (unsigned int j = 0; j < genotypes.size(); ++j) {
    const char major = map.getMajorAllele(j);
    const char minor = map.getMinorAllele(j);
    for (char allele : {genotypes[j].first, genotypes[j].second}) {
      if (allele == major || allele == minor) continue;
      veltaFatal(
          "%s line %u: allele '%c' is not an allele of SNP %u in the map (expected %c or %c)",
          fileName, j + 1, allele, j + 1, major, minor);
    }
  }
}
