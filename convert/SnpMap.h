// velta's SNP map as the converter reads and writes it: six fields per line,
// chromosome, name, coordinate, bp position (1-based), major allele (code 0)
// and minor allele (code 1). SNP k (from 0) is line k + 1.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

struct SnpMap {
  std::vector<std::string> chrom;
  std::vector<std::string> name;
  std::vector<std::uint32_t> position;  // column 4, 1-based bp
  std::vector<char> major;              // column 5
  std::vector<char> minor;              // column 6
  std::size_t size() const { return position.size(); }
};

// Loads a map file. A line that is not six fields, with a number in column 3,
// a position from 1 in column 4 and one character in columns 5 and 6, ends
// the run naming the file, the line and what was expected.
SnpMap loadSnpMap(const std::string& path);
// The same from an open stream; `path` is only used in messages.
SnpMap readSnpMap(std::istream& in, const std::string& path);

// True when the text holds a blank, tab or other white space, which would
// split a map line's field.
bool hasWhiteSpace(const char* text);

// The SNP's name in the map: its VCF ID, or CHR:POS when it has none or one
// with white space (which would split the map line).
std::string snpName(const char* chrom, std::int64_t position, const char* id);

// Appends one SNP to the map.
void appendSnp(SnpMap& map, const std::string& chrom, const std::string& name,
               std::uint32_t position, char major, char minor);

// Writes the map, one line per SNP, as writeMapLine does.
void writeSnpMap(std::ostream& out, const SnpMap& map);

// One map line: the position is written as the coordinate and again as the
// integer column, then the REF and ALT bases.
void writeMapLine(std::ostream& out, const char* chrom, const std::string& name,
                  std::int64_t position, char ref, char alt);
