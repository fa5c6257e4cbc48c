#include "Region.h"

#include <cstring>

#include "VeltaIO.h"

namespace {

// Reads digits with optional thousands separators from `text` at `*at`; false
// when there is no digit or the number overflows.
bool readPosition(const std::string& text, std::size_t* at, std::int64_t* value) {
  std::int64_t number = 0;
  bool anyDigit = false;
  for (; *at < text.size(); ++*at) {
    const char c = text[*at];
    if (c == ',') continue;
    if (c < '0' || c > '9') break;
    if (number > (INT64_MAX - 9) / 10) return false;
    number = number * 10 + (c - '0');
    anyDigit = true;
  }
  *value = number;
  return anyDigit;
}

// Parses FROM, FROM- or FROM-TO; false when `range` is not of that shape.
bool parseRange(const std::string& range, std::int64_t* from, std::int64_t* to) {
  std::size_t at = 0;
  if (!readPosition(range, &at, from)) return false;
  if (at == range.size()) return true;
  if (range[at] != '-') return false;
  ++at;
  if (at == range.size()) return true;
  return readPosition(range, &at, to) && at == range.size();
}

}  // namespace

Region::Region(const std::string& text) : text_(text), chrom_(text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return;
  std::int64_t from = 1;
  std::int64_t to = INT64_MAX;
  if (!parseRange(text.substr(colon + 1), &from, &to)) {
    const char first = colon + 1 < text.size() ? text[colon + 1] : '\0';
    if (first >= '0' && first <= '9') {
      veltaFatal("--region %s: expected CHR, CHR:FROM or CHR:FROM-TO", text.c_str());
    }
    return;
  }
  if (colon == 0 || from < 1 || to < from) {
    veltaFatal("--region %s: expected CHR:FROM-TO with 1 <= FROM <= TO", text.c_str());
  }
  chrom_ = text.substr(0, colon);
  from_ = from;
  to_ = to;
}

Region Region::chromosome(const std::string& name) {
  Region region;
  region.text_ = name;
  region.chrom_ = name;
  return region;
}

bool Region::contains(const char* chrom, std::int64_t position) const {
  if (chrom_.empty()) return true;
  return std::strcmp(chrom, chrom_.c_str()) == 0 && position >= from_ && position <= to_;
}
