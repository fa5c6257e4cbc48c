#include "ReadLines.h"

#include <algorithm>

#include "Read.h"

namespace {

// Builds the lines run by run, opening a new line when the next run would
// break a limit.
class LineBuilder {
 public:
  explicit LineBuilder(std::string& out) : out_(out) {}

  // Adds calls[first..last] (consecutive SNPs, no '-' at either end).
  void addRun(const std::vector<SnpCall>& calls, std::size_t first, std::size_t last) {
    const std::size_t length = last - first + 1;
    if (runs_ == Read::kMaxFragments || chars_ + length > Read::kMaxCharacters) finishLine();
    if (runs_ > 0) out_ += ' ';
    out_ += std::to_string(calls[first].snp + 1);
    out_ += ' ';
    for (std::size_t i = first; i <= last; ++i) out_ += calls[i].allele;
    ++runs_;
    chars_ += length;
  }

  void finishLine() {
    if (runs_ == 0) return;
    out_ += '\n';
    ++lines_;
    runs_ = 0;
    chars_ = 0;
  }

  std::size_t lines() const { return lines_; }

 private:
  std::string& out_;
  std::size_t runs_ = 0;
  std::size_t chars_ = 0;
  std::size_t lines_ = 0;
};

// Adds the consecutive calls[first..last] as runs of at most Read::kMaxFragmentLength
// characters, dropping the '-' at the ends of each.
void addBlock(const std::vector<SnpCall>& calls, std::size_t first, std::size_t last,
              LineBuilder& lines) {
  std::size_t start = first;
  while (start <= last) {
    const std::size_t chunkEnd = std::min(last, start + Read::kMaxFragmentLength - 1);
    std::size_t a = start;
    std::size_t b = chunkEnd;
    while (a <= b && calls[a].allele == '-') ++a;
    while (b > a && calls[b].allele == '-') --b;
    if (a <= b) lines.addRun(calls, a, b);
    start = chunkEnd + 1;
  }
}

}  // namespace

std::uint64_t mergeCalls(std::vector<SnpCall>& calls) {
  std::stable_sort(calls.begin(), calls.end(),
                   [](const SnpCall& x, const SnpCall& y) { return x.snp < y.snp; });
  std::uint64_t disagreements = 0;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (kept > 0 && calls[kept - 1].snp == calls[i].snp) {
      char& held = calls[kept - 1].allele;
      const char other = calls[i].allele;
      if (held == '-') {
        held = other;
      } else if (other != '-' && other != held) {
        held = '-';
        ++disagreements;
      }
      continue;
    }
    calls[kept++] = calls[i];
  }
  calls.resize(kept);
  return disagreements;
}

std::size_t appendReadLines(const std::vector<SnpCall>& calls, std::string& out) {
  LineBuilder lines(out);
  std::size_t first = 0;
  while (first < calls.size()) {
    std::size_t last = first;
    while (last + 1 < calls.size() && calls[last + 1].snp == calls[last].snp + 1) ++last;
    addBlock(calls, first, last, lines);
    first = last + 1;
  }
  lines.finishLine();
  return lines.lines();
}
