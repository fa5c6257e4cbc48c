#include "SnpMap.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "VeltaIO.h"

namespace {

const char kFields[] =
    "six fields: chromosome, name, coordinate, position, major allele, minor allele";

bool isNumber(const std::string& word) {
  const char* begin = word.c_str();
  char* end = nullptr;
  errno = 0;
  std::strtod(begin, &end);
  return end != begin && *end == '\0' && errno != ERANGE;
}

bool parsePosition(const std::string& word, std::uint32_t* position) {
  if (word.empty() || word[0] < '0' || word[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(word.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || value == 0 || value > 0xFFFFFFFFULL) return false;
  *position = static_cast<std::uint32_t>(value);
  return true;
}

void parseMapLine(const std::string& text, const std::string& path, std::size_t lineNo,
                  SnpMap& map) {
  std::istringstream words(text);
  std::string field[7];
  int count = 0;
  while (count < 7 && words >> field[count]) ++count;
  if (count != 6) {
    veltaFatal("SNP map %s line %zu: expected %s; found %d field%s", path.c_str(), lineNo, kFields,
               count, count == 1 ? "" : "s");
  }
  std::uint32_t position = 0;
  if (!isNumber(field[2]) || !parsePosition(field[3], &position)) {
    veltaFatal(
        "SNP map %s line %zu: expected a coordinate and a position from 1 in columns 3 "
        "and 4, found '%.40s' and '%.40s'",
        path.c_str(), lineNo, field[2].c_str(), field[3].c_str());
  }
  if (field[4].size() != 1 || field[5].size() != 1) {
    veltaFatal(
        "SNP map %s line %zu: expected one allele character in columns 5 and 6, found "
        "'%.40s' and '%.40s'",
        path.c_str(), lineNo, field[4].c_str(), field[5].c_str());
  }
  appendSnp(map, field[0], field[1], position, field[4][0], field[5][0]);
}

}  // namespace

SnpMap loadSnpMap(const std::string& path) {
  std::ifstream in(path);
  if (!in) veltaFatal("cannot open the SNP map %s", path.c_str());
  return readSnpMap(in, path);
}

SnpMap readSnpMap(std::istream& in, const std::string& path) {
  SnpMap map;
  std::string text;
  std::size_t lineNo = 0;
  while (std::getline(in, text)) parseMapLine(text, path, ++lineNo, map);
  if (in.bad()) veltaFatal("SNP map %s: read error after line %zu", path.c_str(), lineNo);
  if (map.size() == 0) veltaFatal("SNP map %s holds no SNP", path.c_str());
  return map;
}

bool hasWhiteSpace(const char* text) {
  for (; text != nullptr && *text != '\0'; ++text) {
    if (std::isspace(static_cast<unsigned char>(*text))) return true;
  }
  return false;
}

std::string snpName(const char* chrom, std::int64_t position, const char* id) {
  const bool named = id != nullptr && id[0] != '\0' && !(id[0] == '.' && id[1] == '\0');
  if (named && !hasWhiteSpace(id)) return id;
  return std::string(chrom) + ':' + std::to_string(position);
}

void writeMapLine(std::ostream& out, const char* chrom, const std::string& name,
                  std::int64_t position, char ref, char alt) {
  out << chrom << ' ' << name << ' ' << position << ' ' << position << ' ' << ref << ' ' << alt
      << '\n';
}

void appendSnp(SnpMap& map, const std::string& chrom, const std::string& name,
               std::uint32_t position, char major, char minor) {
  map.chrom.push_back(chrom);
  map.name.push_back(name);
  map.position.push_back(position);
  map.major.push_back(major);
  map.minor.push_back(minor);
}

void writeSnpMap(std::ostream& out, const SnpMap& map) {
  for (std::size_t k = 0; k < map.size(); ++k) {
    writeMapLine(out, map.chrom[k].c_str(), map.name[k], map.position[k], map.major[k],
                 map.minor[k]);
  }
}
