#include "Read.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Haplotype.h"
#include "Parameter.h"
#include "VeltaIO.h"
#include "VeltaUtil.h"

thread_local std::int64_t Read::time_ = 0;
thread_local std::uint64_t Read::count_ = 0;

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
    : size_(0), flip_(veltaRand() & 1), fragmentCount_(0), runCount_(0), fragments_(nullptr) {
  LineCalls calls;
  parseLine(calls, text, parameter, fileName, lineNo);
  if (calls.inconsistent > kReportedPerLine) {
    veltaWarn(
        "Read file %s, line %lu: %u more allele characters match neither allele of their SNP "
        "or lie beyond the SNP map; dropped\n",
        fileName, lineNo, calls.inconsistent - kReportedPerLine);
  }
  storeRuns(calls.runs.data(), static_cast<unsigned>(calls.runs.size()), calls.fragmentList.data(),
            static_cast<unsigned>(calls.fragmentList.size()));
}

Read::Read(const Read& other)
    : size_(other.size_), flip_(other.flip_), fragmentCount_(0), runCount_(0), fragments_(nullptr) {
  storeRuns(other.runs(), other.runCount_, other.fragments_, other.fragmentCount_);
}

Read::Read(Read&& other) noexcept
    : size_(other.size_), flip_(other.flip_), fragmentCount_(0), runCount_(0), fragments_(nullptr) {
  takeRuns(other);
}

Read& Read::operator=(const Read& other) {
  if (this != &other) {
    release();
    size_ = other.size_;
    flip_ = other.flip_;
    storeRuns(other.runs(), other.runCount_, other.fragments_, other.fragmentCount_);
  }
  return *this;
}

Read& Read::operator=(Read&& other) noexcept {
  if (this != &other) {
    release();
    size_ = other.size_;
    flip_ = other.flip_;
    takeRuns(other);
  }
  return *this;
}

void Read::storeRuns(const Run* runs, unsigned count, const Fragment* fragments,
                     unsigned fragmentCount) {
  Run* target = local_;
  if (count > kLocalRuns) target = heap_ = new Run[count];
  std::copy(runs, runs + count, target);
  runCount_ = static_cast<std::uint16_t>(count);
  fragments_ = fragmentCount > 0 ? new Fragment[fragmentCount] : nullptr;
  std::copy(fragments, fragments + fragmentCount, fragments_);
  fragmentCount_ = static_cast<std::uint8_t>(fragmentCount);
}

void Read::release() {
  if (runCount_ > kLocalRuns) delete[] heap_;
  runCount_ = 0;
  delete[] fragments_;
  fragments_ = nullptr;
  fragmentCount_ = 0;
}

// Moves the runs of `other` (an owned block by its pointer) into this read,
// which holds none, and leaves `other` without runs.
void Read::takeRuns(Read& other) noexcept {
  if (other.runCount_ > kLocalRuns) {
    heap_ = other.heap_;
  } else {
    std::copy(other.local_, other.local_ + other.runCount_, local_);
  }
  runCount_ = other.runCount_;
  other.runCount_ = 0;
  fragments_ = other.fragments_;
  fragmentCount_ = other.fragmentCount_;
  other.fragments_ = nullptr;
  other.fragmentCount_ = 0;
}

void Read::parseLine(LineCalls& calls, const std::string& text, const Parameter& parameter,
                     const char* fileName, unsigned long lineNo) {
  std::size_t pos = 0;
  std::string positionWord;
  std::string token;
  while (nextWord(text, pos, positionWord)) {
    if (!nextWord(text, pos, token)) {
      veltaWarn("Read file %s, line %lu: position %s has no allele run after it; ignored\n",
                fileName, lineNo, positionWord.c_str());
      return;
    }
    std::uint32_t position = 0;
    if (!parsePosition(positionWord, &position)) {
      veltaWarn(
          "Read file %s, line %lu: expected a SNP position (a number from 1), found \"%s\"; "
          "the rest of the line is ignored\n",
          fileName, lineNo, positionWord.c_str());
      return;
    }
    if (position == 0) {
      veltaFatal("Read file %s, line %lu: SNP positions count from 1, found position 0\n", fileName,
                 lineNo);
    }
    appendToken(calls, token, position - 1ULL, text, parameter, fileName, lineNo);
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

// Takes a trimmed run as fragments of at most kMaxFragmentLength characters,
// each trimmed of '-' at both ends, so a long run loses nothing.
void Read::appendToken(LineCalls& calls, std::string& token, std::uint64_t start,
                       const std::string& text, const Parameter& parameter, const char* fileName,
                       unsigned long lineNo) {
  start += validateReadEnd(token);
  std::size_t offset = 0;
  while (offset < token.size()) {
    while (token[offset] == '-') ++offset;
    std::size_t length = std::min<std::size_t>(kMaxFragmentLength, token.size() - offset);
    const std::size_t next = offset + length;
    while (token[offset + length - 1] == '-') --length;
    appendFragment(calls, token.data() + offset, static_cast<unsigned>(length), start + offset,
                   text, token, parameter, fileName, lineNo);
    offset = next;
  }
}

void Read::appendFragment(LineCalls& calls, const char* characters, unsigned length,
                          std::uint64_t start, const std::string& text, const std::string& token,
                          const Parameter& parameter, const char* fileName, unsigned long lineNo) {
  if (calls.fragmentList.size() >= kMaxFragments) {
    veltaFatal(
        "Read file %s, line %lu: a read holds at most %u runs of alleles (a run longer than %u "
        "characters counts as several)\n",
        fileName, lineNo, kMaxFragments, kMaxFragmentLength);
  }
  if (calls.characters + length > kMaxCharacters) {
    veltaFatal("Read file %s, line %lu: a read holds at most %u allele characters\n", fileName,
               lineNo, kMaxCharacters);
  }
  calls.fragmentList.push_back(
      {static_cast<std::uint32_t>(start), static_cast<std::uint16_t>(length), 0});
  calls.characters += length;
  const std::uint64_t nSnp = parameter.getNSnp();
  for (unsigned j = 0; j < length; ++j) {
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
      if (++calls.inconsistent > kReportedPerLine) continue;
      std::printf("%s %s\n", text.c_str(), token.c_str());
      // The quoted line is cut so that the rest of the message always fits.
      veltaWarn("[%.200s] - Inconsistent allele %c at position %llu, given %c, should be %c or %c",
                text.c_str(), c, static_cast<unsigned long long>(snp) + 1, c, minorAllele,
                majorAllele);
      continue;
    }
    appendCall(calls.runs, static_cast<std::uint32_t>(snp), c == minorAllele);
    ++calls.fragmentList.back().calls;
    ++size_;
  }
}

void Read::appendCall(std::vector<Run>& runs, std::uint32_t snp, bool minor) {
  if (!runs.empty()) {
    Run& last = runs.back();
    const std::uint32_t lastCall = last.snp + 31 - __builtin_clz(last.present);
    if (snp > lastCall && snp - last.snp < 32) {
      last.present |= std::uint32_t{1} << (snp - last.snp);
      last.minor |= std::uint32_t{minor} << (snp - last.snp);
      return;
    }
  }
  runs.push_back({snp, 1, minor});
}

ReadIterator Read::begin() const {
  ReadIterator first(*this, 0, 0);
  if (fragmentCount_ > 0 && !first.atCall()) ++first;
  return first;
}

ReadIterator Read::end() const {
  return ReadIterator(*this, fragmentCount_, 0);
}

ReadIterator::ReadIterator(const Read& read, unsigned fragment, unsigned index)
    : read_(&read), fragment_(fragment), index_(index), run_(0), bit_(0), callsLeft_(0) {
  if (fragment >= read.fragmentCount_) return;
  // The calls come in line order: those of the earlier fragments, then this
  // one's, by SNP.
  unsigned skip = 0;
  for (unsigned f = 0; f < fragment; ++f) skip += read.fragments_[f].calls;
  const Read::Fragment& here = read.fragments_[fragment];
  callsLeft_ = here.calls;
  bit_ = read.runCount_ > 0 ? __builtin_ctz(read.runs()[0].present) : 0;
  while (skip > 0 || (callsLeft_ > 0 && callSnp() < here.snp + index)) {
    if (skip > 0) {
      --skip;
    } else {
      --callsLeft_;
    }
    nextCall();
  }
}

std::pair<std::uint32_t, bool> ReadIterator::operator*() const {
  const std::uint32_t snp = read_->fragments_[fragment_].snp + index_;
  return {snp, atCall() && ((read_->runs()[run_].minor >> bit_) & 1U)};
}

ReadIterator& ReadIterator::operator++() {
  if (atCall()) {
    --callsLeft_;
    nextCall();
  }
  // The next call is this fragment's, or the first of a later fragment with
  // calls, or there is none.
  if (callsLeft_ == 0) {
    do {
      ++fragment_;
    } while (fragment_ < read_->fragmentCount_ && read_->fragments_[fragment_].calls == 0);
    if (fragment_ == read_->fragmentCount_) {
      index_ = 0;
      return *this;
    }
    callsLeft_ = read_->fragments_[fragment_].calls;
  }
  index_ = callSnp() - read_->fragments_[fragment_].snp;
  return *this;
}

bool ReadIterator::atCall() const {
  return callsLeft_ > 0 && callSnp() == read_->fragments_[fragment_].snp + index_;
}

std::uint32_t ReadIterator::callSnp() const {
  return read_->runs()[run_].snp + bit_;
}

void ReadIterator::nextCall() {
  const Read::Run* runs = read_->runs();
  // The present positions of this run after the current one.
  const std::uint32_t later = runs[run_].present & ~((std::uint32_t{2} << bit_) - 1);
  if (later != 0) {
    bit_ = __builtin_ctz(later);
  } else if (++run_ < read_->runCount_) {
    bit_ = __builtin_ctz(runs[run_].present);
  } else {
    bit_ = 0;
  }
}

unsigned int Read::countMatch(const Haplotype& haplotype) const {
  unsigned int matches = 0;
  const Run* run = runs();
  for (const Run* end = run + runCount_; run != end; ++run) {
    matches += countSetBits(run->present & ~(run->minor ^ haplotype.getAlleleRun(run->snp)));
  }
  return matches;
}

namespace {

// Tempered log-likelihood of a read of n calls that agrees with a haplotype at
// m of them: every agreement a correct call, every disagreement an error.
double readLogWeight(double n, double m, double mu, double right, double error) {
  return mu * (countLog(m, right) + countLog(n - m, error));
}

}  // namespace

const FlipDrawTable& FlipDrawTable::forParameter(const Parameter& parameter) {
  static thread_local FlipDrawTable table;
  const double key[3] = {parameter.getSmoothMu(), parameter.getSeqLogRight(),
                         parameter.getSeqLogError()};
  // Compared bit for bit, so that settings that are not a number do not
  // rebuild the table at every draw.
  // Bit for bit on purpose: a NaN setting must match itself.
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  if (!table.built_ || std::memcmp(key, table.key_, sizeof key) != 0) {
    table.build(key);
  }
  return table;
}

void FlipDrawTable::build(const double (&key)[3]) {
  std::memcpy(key_, key, sizeof key_);
  built_ = true;
  oneThreshold_.assign(triangle(kLarge + 1), 0);
  weight_.assign(triangle(kLarge + 1), 0.0);
  for (unsigned n = 0; n <= kLarge; ++n) {
    for (unsigned m = 0; m <= n; ++m) {
      oneThreshold_[triangle(n) + m] = zeroThreshold(logWeight(n, m), logWeight(n, n - m));
      weight_[triangle(n) + m] = std::exp(logWeight(n, m));
    }
  }
  twoThreshold_.assign(std::size_t{kSmall} * kSmall * kSmall, 0);
  for (unsigned n = 0; n < kSmall; ++n) {
    for (unsigned m1 = 0; m1 <= n; ++m1) {
      for (unsigned m2 = 0; m2 <= n; ++m2) {
        twoThreshold_[(n * kSmall + m1) * kSmall + m2] =
            zeroThreshold(logWeight(n, m1), logWeight(n, m2));
      }
    }
  }
}

double FlipDrawTable::logWeight(unsigned n, unsigned m) const {
  return readLogWeight(n, m, key_[0], key_[1], key_[2]);
}

bool FlipDrawTable::chooseOneByFormula(unsigned n, unsigned m, std::uint32_t value) const {
  return chooseTwoValued(logWeight(n, m), logWeight(n, n - m), toUniform(value));
}

bool FlipDrawTable::chooseTwoByWeights(unsigned n, unsigned m1, unsigned m2,
                                       std::uint32_t value) const {
  return !(twoProbability(n, m1, m2) > toUniform(value));
}

double FlipDrawTable::twoProbability(unsigned n, unsigned m1, unsigned m2) const {
  if (n > kLarge) {
    return probabilityOfZero(std::exp(logWeight(n, m1)), std::exp(logWeight(n, m2)),
                             logWeight(n, m1), logWeight(n, m2));
  }
  return probabilityOfZero(weight_[triangle(n) + m1], weight_[triangle(n) + m2], logWeight(n, m1),
                           logWeight(n, m2));
}

inline unsigned char Read::drawFlip(const Haplotype& haplotype, const FlipDrawTable& table,
                                    std::uint32_t value) const {
  return table.chooseOne(size_, countMatch(haplotype), value);
}

inline unsigned char Read::drawFlip(const Haplotype& first, const Haplotype& second,
                                    const FlipDrawTable& table, std::uint32_t value) const {
  unsigned m1 = 0;
  unsigned m2 = 0;
  const Run* run = runs();
  for (const Run* end = run + runCount_; run != end; ++run) {
    m1 += countSetBits(run->present & ~(run->minor ^ first.getAlleleRun(run->snp)));
    m2 += countSetBits(run->present & ~(run->minor ^ second.getAlleleRun(run->snp)));
  }
  return table.chooseTwo(size_, m1, m2, value);
}

bool Read::sampleFlip(const Haplotype& haplotype, const Parameter& parameter) {
  const FlipDrawTable& table = FlipDrawTable::forParameter(parameter);
  const unsigned char flip = drawFlip(haplotype, table, veltaRand());
  ++count_;
  const bool changed = flip != flip_;
  flip_ = flip;
  return changed;
}

bool Read::sampleFlip(const Haplotype& first, const Haplotype& second, const Parameter& parameter) {
  const FlipDrawTable& table = FlipDrawTable::forParameter(parameter);
  const unsigned char flip = drawFlip(first, second, table, veltaRand());
  ++count_;
  const bool changed = flip != flip_;
  flip_ = flip;
  return changed;
}

// The passes are built twice, for processors with a bit-count instruction and
// for any other, and the first call picks one: counting agreements is most of
// a draw's work. Only g++ builds the clones of a member function; other
// compilers (clang for the fuzzers) build the portable pass alone.
#if defined(__GNUC__) && !defined(__clang__)
#define VELTA_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define VELTA_POPCOUNT_CLONES
#endif

VELTA_POPCOUNT_CLONES void Read::sampleFlips(
    std::vector<Read>& reads, Haplotype& haplotype, const Parameter& parameter) {
  const FlipDrawTable& table = FlipDrawTable::forParameter(parameter);
  RandomStream random;
  for (Read& read : reads) {
    const unsigned char flip = read.drawFlip(haplotype, table, random.next());
    if (flip == read.flip_) continue;
    read.flip_ = flip;
    haplotype.flipRead(read, Haplotype::ALL_READS);
  }
  count_ += reads.size();
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
