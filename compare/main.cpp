// velta-compare: scores a phasing against the true haplotypes.
#include "Compare.h"

int main(int argc, char** argv) {
  return runCompare(argc, argv);
}
