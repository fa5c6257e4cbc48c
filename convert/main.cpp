// velta-convert: VCF/BCF panels and calls and SAM/BAM/CRAM reads into velta's
// plain-text inputs, and velta's haplotypes into a phased VCF.
#include "Converter.h"

int main(int argc, char** argv) {
  return runConverter(argc, argv);
}
