// velta: phases the two haplotypes of one diploid individual from sequencing
// reads, alone or with a reference panel of known haplotypes.
#include <cstdlib>
#include <ctime>

#include "Velta.h"
#include "VeltaUtil.h"

int main(int argc, char** argv) {
  veltaSrand(static_cast<unsigned>(std::time(nullptr)));
  return runVelta(argc, argv);
}
