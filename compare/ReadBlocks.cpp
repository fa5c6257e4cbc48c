#include "ReadBlocks.h"

#include <fstream>

#include "Parameter.h"
#include "Read.h"
#include "SnpLinks.h"
#include "VeltaIO.h"

std::vector<std::uint32_t> readBlocks(std::istream& in, const char* fileName,
                                      const Parameter& map) {
  std::vector<Read> reads;
  readSeqStream(in, fileName, reads, map);
  SnpLinks links(map.getNSnp());
  linkReadSnps(reads, {}, links);
  return links.blockOf();
}

std::vector<std::uint32_t> loadReadBlocks(const char* fileName, const Parameter& map) {
  std::ifstream in(fileName);
  if (!in) veltaFatal("Read file %s cannot be opened", fileName);
  return readBlocks(in, fileName, map);
}
