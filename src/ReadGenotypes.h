// The reads' check of the sampler's genotypes: the reads' error rate
// measured at the SNPs called homozygous, and the genotypes the reads
// contradict clearly at that rate replaced by the reads' own call.
#pragma once

#include <vector>

class Read;

// Per SNP: 0 or 1 homozygous for that allele, 2 heterozygous.
using Genotypes = std::vector<unsigned char>;

// Fraction of the reads' calls at homozygous SNPs that show the other allele,
// kept within [1e-4, 0.25]; 0.01 when no read covers a homozygous SNP.
double measureCallError(const Genotypes& genotypes, const std::vector<Read>& reads);

// Replaces the genotype of every SNP whose read calls, at call error rate
// `error`, are more than e^`margin` times more likely under another genotype
// (the likeliest) than under the current one. Returns how many changed.
int recallGenotypes(Genotypes& genotypes, const std::vector<Read>& reads, double error,
                    double margin);
