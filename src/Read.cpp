#include "Read.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "Haplotype.h"
#include "Parameter.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

std::int64_t Read::time_ = 0;
std::uint64_t Read::count_ = 0;

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
}

// Copies the next white-space separated word of `text` from `pos` on into
// `word` and moves `pos` past it; false when only white space is left.
bool nextWord(const std::string& text, std::size_t& pos, std::string& word) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  const std::size_t start = pos;
  while (pos < text.size() && !isBlank(text[pos])) ++pos;
  word.assign(text, start, pos - start);
  return pos > start;
}

// A position is a whole word of decimal digits that fits in 32 bits.
bool parsePosition(const std::string& word, std::uint32_t* position) {
  if (word.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const unsigned long long value = std::strtoull(word.c_str(), nullptr, 10);
  if (errno == ERANGE || value > 0xFFFFFFFFULL) return false;
  *position = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

Read::Read(const std::string& text, const Parameter& parameter, const char* fileName,
           unsigned long lineNo)
    : flip_(veltaRand() & 1), size_(0), bitCount_(0) {
  unsigned int inconsistent = 0;
  parseLine(text, parameter, fileName, lineNo, inconsistent);
  if (inconsistent > kReportedPerLine) {
    composeLine(
        "Read file %s, line %lu: %u more allele characters match neither allele of their SNP "
        "or lie beyond the SNP map; dropped\n",
        fileName, lineNo, inconsistent - kReportedPerLine);
    veltaWarning(line);
  }
}

void Read::parseLine(const std::string& text, const Parameter& parameter, const char* fileName,
                     unsigned long lineNo, unsigned int& inconsistent) {
  std::size_t pos = 0;
  std::string positionWord;
  std::string token;
  while (nextWord(text, pos, positionWord)) {
    if (!nextWord(text, pos, token)) {
      composeLine("Read file %s, line %lu: position %s has no allele run after it; ignored\n",
                  fileName, lineNo, positionWord.c_str());
      veltaWarning(line);
      return;
    }
    std::uint32_t position = 0;
    if (!parsePosition(positionWord, &position)) {
      composeLine(
          "Read file %s, line %lu: expected a SNP position (a number from 1), found \"%s\"; "
          "the rest of the line is ignored\n",
          fileName, lineNo, positionWord.c_str());
      veltaWarning(line);
      return;
    }
    if (position == 0) {
      composeLine("Read file %s, line %lu: SNP positions count from 1, found position 0\n",
                  fileName, lineNo);
      veltaErrorExit(line);
    }
    appendToken(token, position - 1ULL, text, parameter, fileName, lineNo, inconsistent);
  }
}

unsigned int Read::validateReadEnd(std::string& token) const {
  const std::size_t first = token.find_first_not_of('-');
  if (first == std::string::npos) {
    const unsigned int all = static_cast<unsigned int>(token.size());
    token.clear();
    return all;
  }
  token.erase(0, first);
  token.erase(token.find_last_not_of('-') + 1);
  return static_cast<unsigned int>(first);
}

// Stores a trimmed run as fragments of at most kMaxFragmentLength characters,
// each trimmed of '-' at both ends, so a long run loses nothing.
void Read::appendToken(std::string& token, std::uint64_t start, const std::string& text,
                       const Parameter& parameter, const char* fileName, unsigned long lineNo,
                       unsigned int& inconsistent) {
  start += validateReadEnd(token);
  std::size_t offset = 0;
  while (offset < token.size()) {
    while (token[offset] == '-') ++offset;
    std::size_t length = std::min<std::size_t>(kMaxFragmentLength, token.size() - offset);
    const std::size_t next = offset + length;
    while (token[offset + length - 1] == '-') --length;
    appendFragment(token.data() + offset, static_cast<unsigned>(length), start + offset, text,
                   token, parameter, fileName, lineNo, inconsistent);
    offset = next;
  }
}

void Read::appendFragment(const char* characters, unsigned length, std::uint64_t start,
                          const std::string& text, const std::string& token,
                          const Parameter& parameter, const char* fileName, unsigned long lineNo,
                          unsigned int& inconsistent) {
  if (fragStart_.size() >= kMaxFragments) {
    composeLine(
        "Read file %s, line %lu: a read holds at most %u runs of alleles (a run longer than %u "
        "characters counts as several)\n",
        fileName, lineNo, kMaxFragments, kMaxFragmentLength);
    veltaErrorExit(line);
  }
  if (bitCount_ / 2 + length > kMaxCharacters) {
    composeLine("Read file %s, line %lu: a read holds at most %u allele characters\n", fileName,
                lineNo, kMaxCharacters);
    veltaErrorExit(line);
  }
  fragStart_.push_back(static_cast<std::uint32_t>(start));
  fragBit_.push_back(static_cast<std::uint16_t>(bitCount_));
  bits_.resize((bitCount_ + 2 * length + 63) / 64, 0);
  const std::uint64_t nSnp = parameter.getNSnp();
  for (unsigned j = 0; j < length; ++j, bitCount_ += 2) {
    const char c = characters[j];
    if (c == '-') continue;
    const std::uint64_t snp = start + j;
    // Beyond the map both allele getters answer '~', which no read character
    // may match.
    const bool inMap = snp < nSnp;
    const char minorAllele = inMap ? parameter.getMinorAllele(static_cast<unsigned>(snp)) : '~';
    const char majorAllele = inMap ? parameter.getMajorAllele(static_cast<unsigned>(snp)) : '~';
    if (!inMap || (c != minorAllele && c != majorAllele)) {
      // Each report quotes the whole line, so a long line full of such
      // characters would print its length squared: past the first few, the
      // characters are only counted.
      if (++inconsistent > kReportedPerLine) continue;
      std::printf("%s %s\n", text.c_str(), token.c_str());
      // The quoted line is cut so that the rest of the message always fits.
      composeLine(
          "[%.200s] - Inconsistent allele %c at position %llu, given %c, should be %c or %c",
          text.c_str(), c, static_cast<unsigned long long>(snp) + 1, c, minorAllele, majorAllele);
      veltaWarning(line);
      continue;
    }
    const bool minor = c == minorAllele;
    bits_[bitCount_ >> 6] |= std::uint64_t{1} << (bitCount_ & 63);
    if (minor) bits_[(bitCount_ + 1) >> 6] |= std::uint64_t{1} << ((bitCount_ + 1) & 63);
    ++size_;
  }
}

ReadIterator Read::begin() const {
  ReadIterator it(*this, 0, 0);
  if (!fragStart_.empty() && !bit(fragBit_[0])) ++it;
  return it;
}

ReadIterator Read::end() const {
  return ReadIterator(*this, static_cast<unsigned char>(fragStart_.size()), 0);
}

ReadIterator::ReadIterator(const Read& read, unsigned char frag, unsigned char index)
    : read_(&read), frag_(frag), index_(index) {}

std::pair<std::uint32_t, bool> ReadIterator::operator*() const {
  const unsigned presence = read_->fragBit_[frag_] + 2U * index_;
  return {read_->fragStart_[frag_] + index_, read_->bit(presence + 1)};
}

ReadIterator& ReadIterator::operator++() {
  const std::size_t nFrag = read_->fragStart_.size();
  do {
    if (index_ + 1U < read_->fragLength(frag_)) {
      ++index_;
    } else {
      ++frag_;
      index_ = 0;
      if (frag_ >= nFrag) return *this;
    }
  } while (!read_->bit(read_->fragBit_[frag_] + 2U * index_));
  return *this;
}

unsigned int Read::countMatch(const Haplotype& haplotype) const {
  unsigned int matches = 0;
  forEachRun([&](std::uint32_t snp, std::uint32_t present, std::uint32_t minor) {
    matches += __builtin_popcount(present & ~(minor ^ haplotype.getAlleleRun(snp)));
  });
  return matches;
}

bool Read::sampleFlip(const Haplotype& haplotype, const Parameter& parameter) {
  const double m = countMatch(haplotype);
  const double n = size_;
  const double mu = parameter.getSmoothMu();
  const double right = parameter.getSeqLogRight();
  const double error = parameter.getSeqLogError();
  const unsigned char flip = drawTwoValued(mu * (countLog(m, right) + countLog(n - m, error)),
                                           mu * (countLog(m, error) + countLog(n - m, right)));
  ++count_;
  const bool changed = flip != flip_;
  flip_ = flip;
  return changed;
}

bool Read::sampleFlip(const Haplotype& first, const Haplotype& second, const Parameter& parameter) {
  const double m1 = countMatch(first);
  const double m2 = countMatch(second);
  const double n = size_;
  const double mu = parameter.getSmoothMu();
  const double right = parameter.getSeqLogRight();
  const double error = parameter.getSeqLogError();
  const unsigned char flip = drawTwoValued(mu * (countLog(m1, right) + countLog(n - m1, error)),
                                           mu * (countLog(m2, right) + countLog(n - m2, error)));
  ++count_;
  const bool changed = flip != flip_;
  flip_ = flip;
  return changed;
}

void Read::print() const {
  std::uint32_t last = 0;
  bool any = false;
  for (ReadIterator it = begin(); it != end(); ++it) {
    last = std::max(last, (*it).first);
    any = true;
  }
  std::vector<char> cells(any ? last + 1 : 0, '-');
  for (ReadIterator it = begin(); it != end(); ++it) {
    cells[(*it).first] = (*it).second ? '1' : '0';
  }
  std::printf("Read\t");
  for (char cell : cells) {
    if (flip_ == 1 && cell != '-') {
      std::printf("(%c)\t", cell);
    } else {
      std::printf("%c\t", cell);
    }
  }
  std::printf("\n");
}
