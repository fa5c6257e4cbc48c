// velta-convert map: a SNP map from one sample's variant calls.
#pragma once

#include "Options.h"

// Keeps the biallelic SNPs where the sample has a called genotype (with
// --het-only, a heterozygous one; a call of three or more alleles is dropped)
// and writes one map line per SNP. Prints what
// was kept and dropped, by reason.
void convertMap(const ConvertOptions& options);
