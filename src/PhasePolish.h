// Greedy polish of an assembled haplotype by whole switches of phase and
// single-SNP complements, which the sampler's single-allele draws cannot make.
#pragma once

#include <vector>

class Haplotype;
class Read;

// Lowers the mismatch of an assembled haplotype by greedy moves that draw no
// random numbers: complementing one SNP, or every SNP from one on (a switch
// of phase), whichever lowers the mismatch most, while any does; each read
// then takes its better orientation and the counts are rebuilt. Returns the
// mismatch reached.
int polishAssembly(Haplotype& haplotype, std::vector<Read>& reads);
