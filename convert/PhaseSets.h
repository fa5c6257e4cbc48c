// Phase sets: groups of heterozygous SNPs that reads connect, two SNPs being
// in one group when a chain of reads, each showing an allele at two of them,
// joins them. Only such SNPs have a phase that the reads support.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "SnpLinks.h"
#include "SnpMap.h"

// Reads a velta read file through velta's own loader, coded against the map's
// alleles exactly as velta codes it, and on each read links consecutive SNPs
// among those that are heterozygous (heterozygous[k]) and that the read shows
// an allele at, on one chromosome. The loader's faults (position 0, a read
// beyond velta's limits) end the run naming the file and line; calls velta
// drops (a character of neither allele, a SNP past the map) link nothing.
void linkSnpsByReads(std::istream& in, const std::string& path, const SnpMap& map,
                     const std::vector<bool>& heterozygous, SnpLinks& sets);
