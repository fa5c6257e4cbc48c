// The alleles one read or read pair shows at the map's SNPs, and their velta
// read lines: pairs of a 1-based SNP number and a run of characters, one per
// consecutive SNP, '-' for a covered SNP without a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SnpCall {
  std::uint32_t snp;  // SNP number in the map, from 0
  char allele;        // the map's allele character, or '-' for no call
};

// Sorts the calls by SNP and keeps one per SNP. Where the two mates of a pair
// both cover a SNP: the same allele is kept once, a call wins over '-', and two
// different alleles become '-' (the pair contradicts itself there, so it is no
// evidence for either). Returns the number of such disagreements.
std::uint64_t mergeCalls(std::vector<SnpCall>& calls);

// Appends the read lines of one read or pair (calls sorted, one per SNP) to
// `out`, each ended by a line feed. Runs never begin or end with '-'. A read
// beyond velta's limits (Read::kMaxFragmentLength characters a run,
// Read::kMaxFragments runs and Read::kMaxCharacters characters a line) is cut
// into several lines, each within them. Returns
// the number of lines written: 0 when the read shows no allele.
std::size_t appendReadLines(const std::vector<SnpCall>& calls, std::string& out);
