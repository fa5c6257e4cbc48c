// The blocks that reads connect: SNPs linked directly or through a chain of
// reads form one block. The read file is read through velta's own loader
// against the map, so the blocks are the ones velta's sampler sees.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

class Parameter;

// Block number (SnpLinks::blockOf: the first SNP of its block) of each SNP of
// `map` under the reads of the stream; `fileName` is only used in messages,
// which are velta's own.
std::vector<std::uint32_t> readBlocks(std::istream& in, const char* fileName, const Parameter& map);
// The same from the named file. Fatal when it cannot be opened.
std::vector<std::uint32_t> loadReadBlocks(const char* fileName, const Parameter& map);
