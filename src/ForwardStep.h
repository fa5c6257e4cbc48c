// The forward step of the copying model over every panel haplotype, the
// kernel that the likelihood and the path draws spend most of their time in.
#pragma once

#include <cstddef>
#include <cstdint>

// One forward step over all panel haplotypes:
//   current[k] = (stay x previous[k] + move) x e(k)
// with e(k) = table[4 x nibble + k mod 4], `nibble` bits 4q .. 4q + 3 of
// panel[k / 64] XOR mask for q = (k mod 64) / 4 (bit t set where haplotype
// 4q + t of the word differs from the haplotype's allele): a table of 16 x 4
// factors. Eight running sums, sum t over haplotypes k = t mod 8
// in order, are added as ((s0 + s1) + (s2 + s3)) + ((s4 + s5) + (s6 + s7));
// returns that sum. velta_plain::forwardStep (tests/PlainKernels.h) is the
// same step written one haplotype at a time; both give the same bits.
double forwardStep(const double* previous, double* current, const std::uint64_t* panel,
                   std::uint64_t mask, std::size_t hapNo, double stay, double move,
                   const double* table);
